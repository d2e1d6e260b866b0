#!/usr/bin/env bash
# Runs the streaming library's test program under Wine against servers on
# 127.0.0.1 that this script starts and stops: nginx (ranges supported) and
# the scripted fault server. Usage:
#   run_streaming_tests.sh TEST_EXE WORK_DIR SHARED_DIR [gtest args...]
set -euo pipefail

exe=$1 work=$2 shared=$3
shift 3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)

# Never let a proxy setting send loopback traffic elsewhere.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

command -v nginx >/dev/null || { echo "nginx missing (scripts/install-deps.sh)"; exit 1; }

mkdir -p "$work/www" "$work/nginx"
www=$work/www
for f in l1-fl4 l2-fl13 l3-compl l2-test32 M2L3_compl24 l3-he_44khz; do
  cp -f "$shared/conformance/$f.bit" "$www/"
done
if [ ! -s "$www/tone.mp3" ]; then
  sox -q -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 4 sine 440 sine 660
  lame --quiet -b 128 "$work/tone.wav" "$www/tone.mp3"
  rm -f "$work/tone.wav"
fi

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}
nginx_port=$(free_port)
fault_port=$(free_port)
closed_port=$(free_port)   # nothing listens there: connection refused

cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx/body;
  default_type application/octet-stream;
  types { audio/mpeg mp3 bit; }
  server {
    listen 127.0.0.1:$nginx_port;
    root $www;
  }
}
CONF
: > "$work/nginx/access.log"

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
pids+=($!)
python3 "$here/fault_server.py" --port "$fault_port" --root "$www" --stall 20 --lifetime 300 &
pids+=($!)

# Both must listen before the tests start (bounded wait).
for port in "$nginx_port" "$fault_port"; do
  python3 - "$port" <<'PY'
import socket, sys, time
end = time.time() + 10
while time.time() < end:
    try:
        socket.create_connection(("127.0.0.1", int(sys.argv[1])), 0.5).close()
        sys.exit(0)
    except OSError:
        time.sleep(0.1)
sys.exit("server on port %s did not start" % sys.argv[1])
PY
done

export BRAMBLE_NGINX_PORT=$nginx_port BRAMBLE_FAULT_PORT=$fault_port BRAMBLE_CLOSED_PORT=$closed_port
export BRAMBLE_WWW="Z:${www//\//\\}"
export BRAMBLE_NGINX_LOG="Z:${work//\//\\}\\nginx\\access.log"

runner=(bash "$repo/scripts/wine-run.sh")
# The settings dialog needs a display.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  runner=(xvfb-run -a "${runner[@]}")
fi
cd "$(dirname "$exe")"
"${runner[@]}" "$exe" "$@"
