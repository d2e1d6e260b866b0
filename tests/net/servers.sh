# Test servers on 127.0.0.1, sourced by the network test scripts:
#   source servers.sh; start_test_servers WORK_DIR SHARED_DIR
# Starts nginx (ranges supported, access log with the Range header), the
# scripted fault server and, when installed, icecast2 fed by ezstream on a
# live mount; stops them all when the sourcing script exits. Exports the
# ports and paths as BRAMBLE_* variables and sets $www, $nginx_port,
# $fault_port, $closed_port and $ice_port (empty without icecast2).

net_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Never let a proxy setting send loopback traffic elsewhere.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

server_pids=()
stop_test_servers() {
  local p
  for p in "${server_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${server_pids[@]}"; do wait "$p" 2>/dev/null || true; done
  server_pids=()
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# Waits (at most 10 s) until something accepts connections on the port.
wait_for_port() {
  python3 - "$1" <<'PY'
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
}

# The files every test serves: conformance streams and a lame tone.
fill_www() {
  local work=$1 shared=$2 f
  mkdir -p "$work/www"
  for f in l1-fl4 l2-fl13 l3-compl l2-test32 M2L3_compl24 l3-he_44khz; do
    cp -f "$shared/conformance/$f.bit" "$work/www/"
  done
  if [ ! -s "$work/www/tone.mp3" ]; then
    sox -q -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 4 sine 440 sine 660
    lame --quiet -b 128 "$work/tone.wav" "$work/www/tone.mp3"
    rm -f "$work/tone.wav"
  fi
}

start_nginx() {
  local work=$1
  mkdir -p "$work/nginx"
  nginx_port=$(free_port)
  cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  log_format ranged '\$remote_addr - \$remote_user [\$time_local] "\$request" \$status \$body_bytes_sent '
                    '"\$http_referer" "\$http_user_agent" range="\$http_range"';
  access_log $work/nginx/access.log ranged;
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
  nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
  server_pids+=($!)
  wait_for_port "$nginx_port"
}

start_fault_server() {
  fault_port=$(free_port)
  python3 "$net_here/fault_server.py" --port "$fault_port" --root "$www" --stall 20 --lifetime 300 &
  server_pids+=($!)
  wait_for_port "$fault_port"
}

# A live mount /live.mp3: icecast2 fed in real time by ezstream.
start_icecast() {
  local work=$1 owner=""
  ice_port=$(free_port)
  mkdir -p "$work/icecast/log"
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
  server_pids+=($!)
  wait_for_port "$ice_port" || { echo "icecast2 did not start"; return 1; }
  timeout 280 ezstream -c "$work/icecast/ezstream.xml" >"$work/icecast/ezstream.out" 2>&1 &
  server_pids+=($!)
  # The mount exists once the source is connected.
  python3 - "$ice_port" <<'PY' || { echo "the live mount did not appear"; return 1; }
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
}

start_test_servers() {
  local work=$1 shared=$2
  command -v nginx >/dev/null || { echo "nginx missing (scripts/install-deps.sh)"; return 1; }
  trap stop_test_servers EXIT
  fill_www "$work" "$shared"
  www=$work/www
  closed_port=$(free_port)   # nothing listens there: connection refused
  start_nginx "$work" || return 1
  start_fault_server || return 1
  ice_port=""
  if command -v icecast2 >/dev/null && command -v ezstream >/dev/null; then
    start_icecast "$work" || return 1
    export BRAMBLE_ICECAST_PORT=$ice_port
  fi
  export BRAMBLE_NGINX_PORT=$nginx_port BRAMBLE_FAULT_PORT=$fault_port BRAMBLE_CLOSED_PORT=$closed_port
  export BRAMBLE_WWW="Z:${www//\//\\}"
  export BRAMBLE_NGINX_LOG="Z:${work//\//\\}\\nginx\\access.log"
}
