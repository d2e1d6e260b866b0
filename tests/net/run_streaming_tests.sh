#!/usr/bin/env bash
# Runs the streaming library's test program under Wine against servers on
# 127.0.0.1 that this script starts and stops: nginx (ranges supported),
# the scripted fault server and, when installed, icecast2 fed by ezstream. Usage:
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

# A live mount: icecast2 fed in real time by ezstream (when both exist).
if command -v icecast2 >/dev/null && command -v ezstream >/dev/null; then
  ice_port=$(free_port)
  mkdir -p "$work/icecast/log"
  owner=""
  if [ "$(id -u)" = 0 ]; then   # icecast2 drops root rights itself
    chown icecast2 "$work/icecast/log"
    owner="<changeowner><user>icecast2</user><group>icecast</group></changeowner>"
  fi
  cat > "$work/icecast/icecast.xml" <<CONF
<icecast>
  <limits><clients>8</clients><sources>2</sources><queue-size>524288</queue-size>
    <client-timeout>30</client-timeout><header-timeout>15</header-timeout>
    <source-timeout>10</source-timeout><burst-size>65536</burst-size></limits>
  <authentication><source-password>loopsource</source-password>
    <admin-user>admin</admin-user><admin-password>loopadmin</admin-password></authentication>
  <hostname>127.0.0.1</hostname>
  <listen-socket><port>$ice_port</port><bind-address>127.0.0.1</bind-address></listen-socket>
  <fileserve>0</fileserve>
  <paths><basedir>/usr/share/icecast2</basedir><logdir>$work/icecast/log</logdir>
    <webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>
  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>
  <security><chroot>0</chroot>$owner</security>
</icecast>
CONF
  cat > "$work/icecast/ezstream.xml" <<CONF
<ezstream>
  <servers><server><hostname>127.0.0.1</hostname><port>$ice_port</port>
    <password>loopsource</password><tls>None</tls></server></servers>
  <streams><stream><mountpoint>/live.mp3</mountpoint><format>MP3</format>
    <stream_name>Loopback Live</stream_name><stream_genre>Test Genre</stream_genre>
    <stream_description>Live Description</stream_description></stream></streams>
  <intakes><intake><type>file</type><filename>$www/tone.mp3</filename></intake></intakes>
</ezstream>
CONF
  chmod 600 "$work/icecast/ezstream.xml"   # ezstream refuses readable passwords
  timeout 280 icecast2 -c "$work/icecast/icecast.xml" >"$work/icecast/icecast.out" 2>&1 &
  pids+=($!)
  python3 - "$ice_port" <<'PY' || { echo "icecast2 did not start"; exit 1; }
import socket, sys, time
end = time.time() + 10
while time.time() < end:
    try:
        socket.create_connection(("127.0.0.1", int(sys.argv[1])), 0.5).close()
        sys.exit(0)
    except OSError:
        time.sleep(0.1)
sys.exit(1)
PY
  timeout 280 ezstream -c "$work/icecast/ezstream.xml" >"$work/icecast/ezstream.out" 2>&1 &
  pids+=($!)
  # The mount exists once the source is connected.
  python3 - "$ice_port" <<'PY' || { echo "the live mount did not appear"; exit 1; }
import socket, sys, time
end = time.time() + 10
while time.time() < end:
    try:
        s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), 0.5)
        s.sendall(b"GET /live.mp3 HTTP/1.0\r\n\r\n")
        s.settimeout(2)
        ok = s.recv(64).startswith(b"HTTP/1.0 200")
        s.close()
        if ok:
            sys.exit(0)
    except OSError:
        pass
    time.sleep(0.2)
sys.exit(1)
PY
  export BRAMBLE_ICECAST_PORT=$ice_port
fi

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
