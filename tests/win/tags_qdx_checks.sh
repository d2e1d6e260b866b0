#!/usr/bin/env bash
# Titles and information blocks through jukebox.exe and the plug-in under
# Wine:   tags_qdx_checks.sh WIN_BIN NATIVE_BIN SOURCE_ROOT
# NATIVE_BIN holds the native `bramble` and `qdxembed` (exit 77 without them).
#
# Times: `bramble qdx` prints the decode time T of the frame that completed
# a block; the plug-in hands the host a URL at T and a text at T - 1000, not
# below 0, with the switch flag on the first block of a source only, and on
# none when "QDX Auto Switch" is 0.
set -uo pipefail
bin=$1 native=$2 root=$3
[ -x "$native/bramble" ] && [ -x "$native/qdxembed" ] || { echo "SKIPPED: no native bramble/qdxembed in $native"; exit 77; }
wine_do() { "$root/scripts/wine-run.sh" "$@" 2>&1 | tr -d '\r'; }
run() { wine_do "$bin/jukebox.exe" "$@"; }
plugin_key='HKCU\Software\Bramblecot\Jubora\InPlugins\Ostrel'
notify_key='HKCU\Software\Bramblecot\Jubora\InPlugins\MP3'
work=$(mktemp -d)
cleanup() {
  wine_do reg delete "$plugin_key" /v ID3Tag /f >/dev/null
  wine_do reg delete "$notify_key" /v "QDX Auto Switch" /f >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cleanup_first() { wine_do reg delete "$plugin_key" /v ID3Tag /f >/dev/null; wine_do reg delete "$notify_key" /v "QDX Auto Switch" /f >/dev/null; }
cleanup_first
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# ---- titles ----
# 40 silent Layer II frames with a tag (title Hello, artist "World   ",
# year 2026), and the same frames without one.
python3 - "$work/song.mp2" "$work/plain.mp2" <<'PY'
import sys
frames = b"".join(bytes([0xFF, 0xFD, 0x84, 0x00]) + bytes(380) for _ in range(40))
tag = (b"TAG" + b"Hello".ljust(30, b"\0") + b"World   ".ljust(30, b"\0") + bytes(30) + b"2026"
       + bytes(30) + bytes([17]))
open(sys.argv[1], "wb").write(frames + tag)
open(sys.argv[2], "wb").write(frames)
PY
# ID3Tag image of (position, id, enabled) triples, little-endian.
order_hex() { python3 -c 'import struct,sys; v=[int(x) for x in sys.argv[1:]]; print(struct.pack("<%di" % len(v), *v).hex())' "$@"; }
store_order() { wine_do reg add "$plugin_key" /v ID3Tag /t REG_BINARY /d "$1" /f >/dev/null; }
expect_title() {  # file, expected title, what
  local out got
  out=$(run info "$1"; echo "exit $?")
  got=$(printf '%s\n' "$out" | sed -n 's/^title: //p')
  [ "$got" = "$2" ] || { fail "$3: title '$got', expected '$2'"; printf '%s\n' "$out" | sed 's/^/    /'; }
}
expect_title "$work/song.mp2" "song.mp2" "no stored order"
store_order "$(order_hex 0 4020 0 1 4014 1 2 4013 1 3 4015 0 4 4016 0 5 4017 0 6 4018 1 7 4019 0)"
expect_title "$work/song.mp2" "World Hello song.mp2" "artist, title, file title"
# Empty tag pieces still bring their separating spaces; only trailing ones go.
expect_title "$work/plain.mp2" "  plain.mp2" "tag pieces of a file without tag"
# A short value replaces only the entries it covers: two here.
store_order "$(order_hex 0 4013 1 1 4016 1)"
expect_title "$work/song.mp2" "Hello 2026 song.mp2" "two stored entries"
store_order "$(order_hex 0 4020 0 1 4014 0 2 4013 0 3 4015 1 4 4016 0 5 4017 0 6 4018 0 7 4019 0)"
expect_title "$work/song.mp2" "17" "genre alone"
expect_title "$work/plain.mp2" "-1" "genre of a file without tag"
store_order "$(order_hex 0 4020 0 1 4014 0 2 4013 0 3 4015 0 4 4016 0 5 4017 0 6 4018 0 7 4019 0)"
expect_title "$work/song.mp2" "song.mp2" "every piece off: the file title"
# A value longer than the table is not ours: the default stays.
store_order "$(order_hex 0 4013 1 1 4014 1 2 4015 1 3 4016 1 4 4017 1 5 4019 1 6 4018 1 7 4020 1 9)"
expect_title "$work/song.mp2" "song.mp2" "overlong stored value"
wine_do reg delete "$plugin_key" /v ID3Tag /f >/dev/null

# ---- information blocks end to end ----
# jukebox's notify lines for the planted blocks, as `bramble qdx` lines
# predict them; the end-of-source tab text is left out.
host_lines() { grep '^notify text ' "$1" | grep -vxF 'notify text time=0 url=0 switch=0 text=\t'; }
predict() {  # expected bramble lines, auto switch 0|1
  awk -F'\t' -v sw="$2" '{
    url = $2 == "url"; t = url ? $1 : ($1 > 1000 ? $1 - 1000 : 0)
    payload = $0; sub(/^[^\t]*\t[^\t]*\t/, "", payload)
    printf "notify text time=%d url=%d switch=%d text=%s\n", t, url, (NR == 1 && sw == 1), payload
  }' "$1"
}
check_stream() {  # name, qdxembed options...
  local name=$1
  shift
  "$native/qdxembed" "$work/$name.mp3" "$work/$name.expected" "$@" >/dev/null || { fail "$name: qdxembed failed"; return; }
  [ -s "$work/$name.expected" ] || { fail "$name: no blocks planted"; return; }
  "$native/bramble" qdx "$work/$name.mp3" >"$work/$name.bramble" || fail "$name: bramble qdx failed"
  cmp -s "$work/$name.bramble" "$work/$name.expected" || { fail "$name: bramble qdx differs from the planted blocks";
    diff "$work/$name.expected" "$work/$name.bramble" | sed 's/^/    /'; }
  for sw in 1 0; do
    if [ "$sw" = 0 ]; then
      wine_do reg add "$notify_key" /v "QDX Auto Switch" /t REG_DWORD /d 0 /f >/dev/null
    else
      wine_do reg delete "$notify_key" /v "QDX Auto Switch" /f >/dev/null
    fi
    run play "$work/$name.mp3" --out "$work/$name.raw" --timeout 60000 >"$work/$name.play$sw"
    grep -qx stopped "$work/$name.play$sw" || fail "$name: play did not stop cleanly"
    predict "$work/$name.bramble" "$sw" >"$work/$name.want$sw"
    host_lines "$work/$name.play$sw" >"$work/$name.got$sw"
    cmp -s "$work/$name.want$sw" "$work/$name.got$sw" || { fail "$name (auto switch $sw): host notifications differ";
      diff "$work/$name.want$sw" "$work/$name.got$sw" | sed 's/^/    /'; }
  done
  wine_do reg delete "$notify_key" /v "QDX Auto Switch" /f >/dev/null
  echo "$name: $(wc -l <"$work/$name.expected") blocks compared"
}
check_stream mpeg1_stereo --seed 1
check_stream mpeg2_mono --seed 5 --version 2 --mono
check_stream mpeg25_stereo --seed 8 --version 25

[ "$failures" = 0 ] && echo "tag and information block checks passed" || echo "$failures check(s) failed"
[ "$failures" = 0 ]
