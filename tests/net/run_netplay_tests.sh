#!/usr/bin/env bash
# Network-stream playback through the plug-in in jukebox.exe under Wine,
# against servers on 127.0.0.1 that this script starts and stops
# (tests/net/servers.sh). Usage:
#   run_netplay_tests.sh WIN_BIN WORK_DIR SHARED_DIR [FAKE_TEST_EXE]
# FAKE_TEST_EXE, when given, is the test program that drives the plug-in
# with a scripted streaming library; it runs first, without servers.
set -u
bin=$1 work=$2 shared=$3 fake=${4:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)

failures=0 checks=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {  # description, command...
  local what=$1
  shift
  checks=$((checks + 1))
  "$@" || fail "$what"
}

wine_run() { bash "$repo/scripts/wine-run.sh" "$@"; }
# Output goes to files, never pipes: a Wine service started by the first
# program would keep a pipe open.
wine_run cmd /c exit </dev/null >/dev/null 2>&1

if [ -n "$fake" ]; then
  checks=$((checks + 1))
  (cd "$(dirname "$fake")" && wine_run "$fake" >"$work.fake.txt" 2>&1)
  rc=$?
  tr -d '\r' <"$work.fake.txt"
  [ "$rc" = 0 ] || fail "plug-in tests with the scripted streaming library"
fi

rm -rf "$work"
mkdir -p "$work/out"
source "$here/servers.sh"
start_test_servers "$work" "$shared" || { echo "FAIL: servers did not start"; exit 1; }

# Time-outs for the streaming library, removed again at the end: short ones
# only for the faults that test them, so that a loaded machine cannot end a
# healthy stream early.
settings='HKCU\Software\Bramblecot\Jubora\Tolquin'
connect_s=2 read_s=3
set_timeouts() {  # connect s, read s
  wine_run reg add "$settings" /v ConnectTimeout /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wine_run reg add "$settings" /v ReadTimeout /t REG_DWORD /d "$2" /f >/dev/null 2>&1
}
set_timeouts 10 15
cleanup() {
  wine_run reg delete "$settings" /f >/dev/null 2>&1
  stop_test_servers
}
trap cleanup EXIT

out=$work/out
# jukebox ARGS... > $out/NAME.txt; sets $ms (wall clock) and $rss (kB).
run() {
  local name=$1 start
  shift
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$out/$name.rss" timeout 60 bash "$repo/scripts/wine-run.sh" "$bin/jukebox.exe" "$@" \
    >"$out/$name.raw.txt" 2>&1
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  rss=$(tail -1 "$out/$name.rss")
  tr -d '\r' <"$out/$name.raw.txt" >"$out/$name.txt"
}
has() { grep -qxF -- "$2" "$out/$1.txt" || { echo "    $1: no line '$2'"; sed 's/^/      /' "$out/$1.txt"; false; }; }
lacks() { ! grep -q -- "$2" "$out/$1.txt" || { echo "    $1: unexpected '$2'"; false; }; }
value() { sed -n "s/^$2 //p" "$out/$1.txt" | head -1; }
within() { [ "$1" -le "$2" ] || { echo "    took $1 ms, bound $2 ms"; false; }; }

nginx=http://127.0.0.1:$nginx_port
fault=http://127.0.0.1:$fault_port

# A VBR lame file behind an ID3v2 tag: bytes before the first frame.
sox -q -n -r 44100 -c 2 -b 16 "$work/t.wav" synth 3 sine 500 sine 700
lame --quiet -V 4 --add-id3v2 --tt "Loopback Title" "$work/t.wav" "$www/tagged.mp3"

# 1. The stream's PCM is the local file's, and so is its length: content
#    length x 8000 / stream bit rate, or a lame file's frame count.
for f in l1-fl4.bit l2-fl13.bit l3-compl.bit l2-test32.bit M2L3_compl24.bit l3-he_44khz.bit tone.mp3 tagged.mp3; do
  run "file-$f" play "$www/$f" --out "$out/file-$f.pcm" --timeout 50000
  run "net-$f" play "$nginx/$f" --out "$out/net-$f.pcm" --timeout 50000
  check "$f: stream ends cleanly" has "net-$f" "end-of-stream"
  check "$f: stream PCM equals the file's" cmp -s "$out/file-$f.pcm" "$out/net-$f.pcm"
  [ -s "$out/net-$f.pcm" ] || fail "$f: no PCM from the stream"
  expect=$(value "file-$f" length)
  check "$f: GetLength is the file's, ${expect:=none} ms" has "net-$f" "length $expect"
  check "$f: duration reported in whole seconds" \
    grep -q "^stream-info set-item .* duration=$((expect / 1000)) first=$f second=-$" "$out/net-$f.txt"
  run "info-$f" info "$nginx/$f"
  check "$f: info gives the stream's length" has "info-$f" "length_ms: $expect"
done
check "file titles: flags 0x21, no second text" grep -q "flags=0x21 duration=[0-9]* first=tone.mp3 second=-" \
  "$out/net-tone.mp3.txt"

# 2. A seek asks nginx for a range at the byte offset of the new time.
run seek play "$nginx/tone.mp3" --out "$out/seek.pcm" --seek 2000 --at 300 --timeout 30000
check "seek: clean end" has seek "end-of-stream"
# tone.mp3 has an Info header: its table places 2000 ms near byte 32000.
range=$(sed -n 's/.*"GET \/tone.mp3 HTTP\/1.1" 206 .*range="bytes=\([1-9][0-9]*\)-".*/\1/p' \
  "$work/nginx/access.log" | tail -1)
check "seek: range request at 2000 ms, ${range:=none} near 32000 bytes" \
  test "${range/none/0}" -ge 31500 -a "${range/none/0}" -le 33000
full=$(stat -c %s "$out/net-tone.mp3.pcm")
got=$(stat -c %s "$out/seek.pcm")
check "seek: about 1.7 s of audio skipped ($got of $full bytes)" \
  test $(( full - got )) -gt 250000 -a $(( full - got )) -lt 350000

# 3. Texts from the reply reach JukeboxStreamInfo with their flags.
run icy-desc play "$fault/icy-desc/tone.mp3" --out "$out/icy.pcm" --timeout 30000
check "icy: name and description, flags 0x31" \
  grep -q "^stream-info set-item item=1 size=[0-9]* kind=92 flags=0x31 duration=0 first=Loopback Radio second=Test Description$" \
  "$out/icy-desc.txt"
check "icy: no length without content length" has icy-desc "length 268435455"
run icy-genre play "$fault/icy-genre/tone.mp3" --out "$out/icy.pcm" --timeout 30000
check "icy: genre as second text" grep -q "flags=0x31 duration=0 first=Loopback Radio second=Test Genre$" \
  "$out/icy-genre.txt"
run nameless play "$fault/icy-nameless/tone.mp3/" --out "$out/icy.pcm" --timeout 30000
check "empty first text, second text: flags 0x30" grep -q "flags=0x30 duration=0 first=- second=Test Genre$" \
  "$out/nameless.txt"
check "icy: the stream plays" has icy-desc "end-of-stream"

# 4. A live mount: no length, plays in real time, Stop ends it at once.
if [ -n "$ice_port" ]; then
  run live play "http://127.0.0.1:$ice_port/live.mp3" --out "$out/live.pcm" --realtime --stop-after 3000 \
    --timeout 30000
  check "live: texts and no duration" \
    grep -q "flags=0x31 duration=0 first=Loopback Live second=Live Description$" "$out/live.txt"
  check "live: not seekable, length 268435455" has live "length 268435455"
  check "live: stopped by the host, no end of stream" lacks live "end-of-stream"
  check "live: Stop returned at once" within "$(value live stop-ms)" 1000
  bytes=$(stat -c %s "$out/live.pcm" 2>/dev/null || echo 0)
  # Real-time pacing on a loaded machine: ask only for a clear second of audio.
  check "live: at least 1 s of audio in 3 s ($bytes bytes)" test "$bytes" -ge 176400
  run live-info info "http://127.0.0.1:$ice_port/live.mp3"
  check "live: info length 0 without content length" has live-info "length_ms: 0"
else
  echo "live mount: skipped (icecast2 or ezstream missing)"
fi

# 5. Faults end cleanly within the time-outs, in bounded memory.
set_timeouts $connect_s $read_s
head_ms=$(( (connect_s + read_s) * 1000 ))
fault_case() {  # name, url, expected line, bound in ms
  run "$1" play "$2" --out "$out/$1.pcm" --timeout 40000
  check "$1: '$3'" has "$1" "$3"
  check "$1: no host time-out" lacks "$1" "^timeout"
  check "$1: ended within $4 ms" within "$ms" "$4"
  check "$1: memory bounded (${rss} kB)" test "${rss:-0}" -lt 300000
}
fault_case refused "http://127.0.0.1:$closed_port/tone.mp3" "play -100" 4000
fault_case missing "$nginx/missing.mp3" "play -100" 4000
fault_case loop "$fault/loop" "play -100" 6000
fault_case stall-head "$fault/stall-head" "play -100" $(( 2 * head_ms + 3000 ))
fault_case truncate "$fault/truncate/tone.mp3" "end-of-stream" 8000
fault_case garbage "$fault/garbage" "end-of-stream" 8000
check "garbage: nothing written" has garbage "written 0"
fault_case bighead "$fault/bighead/tone.mp3" "stopped" 8000
# A server that stops sending: the read time-out ends the stream.
fault_case stall "$fault/stall-after/40000/tone.mp3" "end-of-stream" $(( read_s * 1000 + 4000 ))
fault_case stall-early "$fault/stall/tone.mp3" "end-of-stream" $(( 2 * read_s * 1000 + 4000 ))
# Stop during a stalled read returns at once.
run stall-stop play "$fault/stall-after/40000/tone.mp3" --out "$out/ss.pcm" --stop-after 1500 --timeout 30000
check "stalled read: stopped by the host" has stall-stop "stop after 1500"
check "stalled read: no end-of-stream notice after Stop" lacks stall-stop "end-of-stream"
check "stalled read: Stop within 1000 ms" within "$(value stall-stop stop-ms)" 1000
set_timeouts 10 15

# 6. Letter case: only "http://" is claimed, any case plays as a stream.
run claims-lower info "$nginx/l2-fl13.bit"
check "ClaimsName http://" has claims-lower "claims: 1"
run claims-upper info "HTTP://127.0.0.1:$nginx_port/l2-fl13.bit"
check "ClaimsName HTTP:// is 0" has claims-upper "claims: 0"
check "HTTP:// measured as the open stream" has claims-upper "length_ms: $(value info-l2-fl13.bit length_ms:)"
run upper play "Http://127.0.0.1:$nginx_port/l2-fl13.bit" --out "$out/upper.pcm" --timeout 50000
check "Http:// plays as a stream" cmp -s "$out/upper.pcm" "$out/file-l2-fl13.bit.pcm"

# 7. Without Plugins\Tolquin.DLL a stream fails to open (-1), a missing
#    file with the library present gives -100.
mkdir -p "$work/nolib"
cp -f "$bin/jukebox.exe" "$bin/BramblecotMp3.dll" "$work/nolib/"
start=$(date +%s%N)
timeout 60 bash "$repo/scripts/wine-run.sh" "$work/nolib/jukebox.exe" play "$nginx/tone.mp3" --out "$out/nolib.pcm" \
  >"$out/nolib.raw.txt" 2>&1
tr -d '\r' <"$out/nolib.raw.txt" >"$out/nolib.txt"
check "no streaming library: play -1" has nolib "play -1"
run missing-file play "$work/missing.mp3" --out "$out/mf.pcm"
check "missing file with the library loaded: play -100" has missing-file "play -100"

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
