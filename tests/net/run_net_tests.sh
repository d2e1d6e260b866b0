#!/usr/bin/env bash
# run_net_tests.sh WORK_DIR SHARED_DIR TEST_EXE [JUKEBOX_BIN]: the test program
# under Wine against servers on 127.0.0.1: nginx (ranges, an access log,
# /hop/PATH redirects to /PATH, /gz/ claims a gzip body unless told what the
# client accepts, /coded/ always does), one that sends a reply head and the
# first 4096 bytes, then nothing, and one that never answers. With
# JUKEBOX_BIN, jukebox.exe plays a constant-rate file from nginx through the
# plug-in and the real library: the local file's PCM and length.
set -u
work=$1 www=$1/www name=l3-he_44khz.bit played=l3-compl.bit exe=$3 bin=${4:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_run() { timeout 120 bash "$here/../../scripts/wine-run.sh" "$@"; }
# Never let a proxy setting send loopback traffic elsewhere.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

rm -rf "$work"
mkdir -p "$www" "$work/nginx"
cp "$2/conformance/$name" "$2/conformance/$played" "$www/"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; pid $work/nginx/nginx.pid; error_log $work/nginx/error.log;
events {}
http { access_log $work/nginx/access.log;
       server { listen 127.0.0.1:$port; root $www; location /hop/ { rewrite ^/hop(/.*)$ \$1 redirect; }
                location /gz/ { alias $www/; if (\$http_accept_encoding = "") { add_header Content-Encoding gzip; } }
                location /coded/ { alias $www/; add_header Content-Encoding gzip; } } }
CONF
timeout 600 nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
pids=($!)
timeout 600 python3 - "$work/stall.port" "$www/$name" <<'PY' &
import os, socket, sys
server = socket.create_server(("127.0.0.1", 0))
silent = socket.create_server(("127.0.0.1", 0))  # connects, never answers
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write("%d %d" % (server.getsockname()[1], silent.getsockname()[1]))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
body, held = open(sys.argv[2], "rb").read(), []
while True:
    client = server.accept()[0]
    client.recv(65536)
    client.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body[:4096])
    held.append(client)
PY
pids+=($!)
trap 'kill "${pids[@]}" 2>/dev/null; wait' EXIT
for _ in $(seq 200); do   # both answer within 10 s
  [ -s "$work/stall.port" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done
read -r stall silent <"$work/stall.port"
export BRAMBLE_NGINX_PORT=$port BRAMBLE_STALL_PORT=$stall BRAMBLE_SILENT_PORT=$silent BRAMBLE_WWW="Z:${www//\//\\}"
export BRAMBLE_NGINX_LOG="Z:${work//\//\\}\\nginx\\access.log"

(cd "$(dirname "$exe")" && wine_run "$exe") || exit 1
[ -n "$bin" ] || exit 0
for src in "$www/$played" "http://127.0.0.1:$port/$played"; do
  out=$work/$([ -f "$src" ] && echo file || echo net)
  wine_run "$bin/jukebox.exe" play "$src" --out "$out.pcm" --timeout 60000 </dev/null 2>&1 | tr -d '\r' |
    grep -E '^(length|end-of-stream|play )' >"$out.txt"
done
grep -qx "end-of-stream" "$work/net.txt" && [ -s "$work/net.pcm" ] && cmp "$work/file.pcm" "$work/net.pcm" &&
  diff "$work/file.txt" "$work/net.txt" && echo "stream from nginx: the file's PCM and length"
