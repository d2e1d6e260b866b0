#!/usr/bin/env bash
# Runs a network test program under Wine against nginx (ranges, an access
# log) and tests/net/fault_server.py on 127.0.0.1, started here and stopped
# on exit. With JUKEBOX_BIN, jukebox.exe there then plays a file from nginx
# through the plug-in and the real streaming library, and its PCM and length
# must be the local file's.
#   run_net_tests.sh WORK_DIR SHARED_DIR TEST_EXE [JUKEBOX_BIN]
set -u
work=$1 shared=$2 exe=$3 bin=${4:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_run() { timeout 120 bash "$here/../../scripts/wine-run.sh" "$@"; }
# Never let a proxy setting send loopback traffic elsewhere.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

rm -rf "$work"
mkdir -p "$work/www" "$work/nginx"
www=$work/www name=l3-he_44khz.bit
cp "$shared/conformance/$name" "$www/"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait' EXIT
timeout 600 python3 "$here/fault_server.py" "$work/fault.port" "$www" &
pids+=($!)
nginx_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; pid $work/nginx/nginx.pid; error_log $work/nginx/error.log;
events {}
http { access_log $work/nginx/access.log; types { audio/mpeg bit; }
       server { listen 127.0.0.1:$nginx_port; root $www; } }
CONF
timeout 600 nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
pids+=($!)
for _ in $(seq 200); do   # both servers answer within 10 s
  [ -s "$work/fault.port" ] && (exec 3<>"/dev/tcp/127.0.0.1/$nginx_port") 2>/dev/null && break
  sleep 0.05
done
export BRAMBLE_NGINX_PORT=$nginx_port BRAMBLE_FAULT_PORT=$(cat "$work/fault.port") BRAMBLE_WWW="Z:${www//\//\\}"
export BRAMBLE_NGINX_LOG="Z:${work//\//\\}\\nginx\\access.log"

(cd "$(dirname "$exe")" && wine_run "$exe") || exit 1
[ -n "$bin" ] || exit 0
for src in "$www/$name" "http://127.0.0.1:$nginx_port/$name"; do
  out=$work/$([ -f "$src" ] && echo file || echo net)
  wine_run "$bin/jukebox.exe" play "$src" --out "$out.pcm" --timeout 60000 </dev/null >"$out.raw" 2>&1
  tr -d '\r' <"$out.raw" | grep -E '^(length|end-of-stream|play )' >"$out.txt"
done
cat "$work/net.txt"
grep -qx "end-of-stream" "$work/net.txt" && cmp "$work/file.pcm" "$work/net.pcm" && [ -s "$work/net.pcm" ] &&
  diff "$work/file.txt" "$work/net.txt" && echo "stream from nginx: PCM and length are the file's"
