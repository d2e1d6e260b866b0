#!/usr/bin/env bash
# End-to-end checks of jukebox.exe and the plug-in under Wine:
#   jukebox_checks.sh WIN_BIN NATIVE_BIN CONFORMANCE_DIR SOURCE_ROOT
# Every conformance stream that the native `bramble decode` decodes must
# come out of `jukebox play SRC --out F` byte for byte the same.
set -u
bin=$1 native=$2 conf=$3 root=$4
# Wine writes text-mode line ends; the checks compare plain lines.
run() { "$root/scripts/wine-run.sh" "$bin/jukebox.exe" "$@" 2>&1 | tr -d '\r'; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_line() {  # file, exact line
  grep -qxF -- "$2" "$1" || { fail "$(basename "$1"): no line '$2'"; sed 's/^/    /' "$1"; }
}

# A generated stream: 100 silent MPEG-1 Layer II frames (128 kbit/s, 48 kHz)
# and an ID3v1 tag.
python3 - "$work/tagged.mp2" <<'PY'
import sys
frames = b"".join(bytes([0xFF, 0xFD, 0x84, 0x00]) + bytes(380) for _ in range(100))
tag = b"TAG" + b"Hello".ljust(30, b"\0") + b"World".ljust(30, b"\0") + bytes(30) + b"2026" + bytes(30) + bytes([255])
open(sys.argv[1], "wb").write(frames + tag)
PY
src=$work/tagged.mp2

run info "$src" >"$work/info.txt" 2>&1
# The length leaves the ID3v1 tag out: 100 frames of 24 ms.
for line in "length_ms: 2400" "sample_rate: 48000" "channels: 2" "bitrate: 128000" "title: tagged.mp2"; do
  expect_line "$work/info.txt" "$line"
done

# Plain play: events in order, exactly 100 blocks written.
run play "$src" --out "$work/full.raw" --timeout 20000 >"$work/play.txt" 2>&1
for line in "setinfo 128 48 2 1" "play 0" "feed-init 0 48000" "end-of-stream" "notify source-ended" \
            "notify source-ended-after" "stopped" "written 460800"; do
  expect_line "$work/play.txt" "$line"
done
[ "$(stat -c %s "$work/full.raw")" = 460800 ] || fail "raw output is not 100 x 4608 bytes"

# The sample processor halves every block.
run play "$src" --out "$work/half.raw" --dsp-half --timeout 20000 >"$work/dsp.txt" 2>&1
expect_line "$work/dsp.txt" "written 230400"

# A refusing output: Play still succeeds, the stream ends at once.
run play "$src" --out "$work/refused.raw" --refuse-output --timeout 20000 >"$work/refuse.txt" 2>&1
for line in "play 0" "end-of-stream" "stopped" "written 0"; do expect_line "$work/refuse.txt" "$line"; done
grep -q '^feed-init' "$work/refuse.txt" && fail "refused output was fed"

# Seek, pause then stop while paused: no hang, the stop comes after the seek.
run play "$src" --out "$work/seek.raw" --seek 2000 --at 240 --pause-at 2100 --stop-at 2100 --timeout 20000 \
  >"$work/seek.txt" 2>&1
expect_line "$work/seek.txt" "stopped"
grep -q '^seek 2000 at ' "$work/seek.txt" || fail "no seek event"
grep -q '^pause at ' "$work/seek.txt" || fail "no pause event"
grep -q '^timeout' "$work/seek.txt" && fail "seek/pause/stop run timed out"

# Real-time pacing: 2.4 s of audio takes about that long, and drains.
start=$(date +%s%N)
run play "$src" --out "$work/rt.wav" --realtime --timeout 20000 >"$work/rt.txt" 2>&1
ms=$(( ($(date +%s%N) - start) / 1000000 ))
expect_line "$work/rt.txt" "end-of-stream"
{ [ "$ms" -ge 2000 ] && [ "$ms" -le 8000 ]; } || fail "real-time play took $ms ms for 2400 ms of audio"

# Missing file and directory: clean failure or clean end.
# A source that cannot be opened gives -100 while the streaming library is
# loaded, else -1.
run play "$work/missing.mp3" --out "$work/m.raw" >"$work/missing.txt" 2>&1
if [ -f "$bin/Plugins/Tolquin.DLL" ]; then
  expect_line "$work/missing.txt" "play -100"
else
  expect_line "$work/missing.txt" "play -1"
fi
run play "$work" --out "$work/d.raw" --timeout 20000 >"$work/dir.txt" 2>&1
grep -qx -e "play -1" -e "play -100" -e "stopped" "$work/dir.txt" || fail "directory name did not end cleanly"

# A 30 s variable-rate file as lame writes it (Xing header, LAME tag): its
# length, a seek to 20 s, and gapless playback as `bramble decode --gapless`.
if command -v sox >/dev/null && command -v lame >/dev/null; then
  vbr=$work/vbr.mp3
  sox -n -r 44100 -c 2 -b 16 "$work/sweep.wav" synth 30 sine 20:20000 vol 0.5 && lame --quiet -V 2 "$work/sweep.wav" "$vbr"
  run info "$vbr" >"$work/vbr_info.txt"
  len=$(sed -n 's/^length_ms: //p' "$work/vbr_info.txt")
  { [ -n "$len" ] && [ "$len" -ge 29950 ] && [ "$len" -le 30100 ]; } || fail "VBR length '$len' ms"
  # Held at its first block (1152 samples), then sent to 20 s: the rest is what follows.
  run play "$vbr" --out "$work/vbr_seek.raw" --seek 20000 --at 0 --timeout 60000 >"$work/vbr_seek.txt"
  written=$(sed -n 's/^written //p' "$work/vbr_seek.txt")
  left=$(( (${written:-0} - 4608) * 10 / 1764 ))
  { [ "$left" -ge 9650 ] && [ "$left" -le 10350 ]; } || fail "$left ms left to play after a seek to 20 s"
  echo "vbr: length $len ms, $left ms left after a seek to 20 s"
  key='HKCU\Software\Bramblecot\Jubora\InPlugins\Ostrel'
  "$root/scripts/wine-run.sh" reg add "$key" /v Gapless /t REG_DWORD /d 1 /f >/dev/null 2>&1
  run play "$vbr" --out "$work/vbr_gapless.raw" --timeout 60000 >"$work/vbr_gapless.txt"
  "$root/scripts/wine-run.sh" reg delete "$key" /v Gapless /f >/dev/null 2>&1
  expect_line "$work/vbr_gapless.txt" "written 5292000"
  if [ -x "$native/bramble" ]; then
    "$native/bramble" decode "$vbr" "$work/vbr_ref.raw" --gapless
    cmp -s "$work/vbr_ref.raw" "$work/vbr_gapless.raw" || fail "gapless playback differs from bramble decode --gapless"
  fi
else
  echo "vbr: skipped (no sox or lame)"
fi

# Identity with the native decoder.
if [ -x "$native/bramble" ]; then
  compared=0
  for stream in "$conf"/*.bit; do
    name=$(basename "$stream" .bit)
    "$native/bramble" decode "$stream" "$work/ref.raw" 2>/dev/null || continue
    run play "$stream" --out "$work/got.raw" --timeout 120000 >"$work/id.txt" 2>&1
    if ! cmp -s "$work/ref.raw" "$work/got.raw"; then
      fail "$name: jukebox output differs from bramble decode"
    fi
    compared=$((compared + 1))
    rm -f "$work/ref.raw" "$work/got.raw"
  done
  # WAV files too, header and all.
  first=$(ls "$conf"/l2-*.bit | head -1)
  first_ref_raw=$work/first.raw
  "$native/bramble" decode "$first" "$first_ref_raw"
  "$native/bramble" decode "$first" "$work/ref.wav" && run play "$first" --out "$work/got.wav" >/dev/null 2>&1
  cmp -s "$work/ref.wav" "$work/got.wav" || fail "WAV output of $(basename "$first") differs"
  echo "identity: $compared conformance streams compared"

  # Streams joined mid-way reach back into a reservoir the decoder never saw:
  # frames that yield nothing write nothing. A second file in the same
  # process starts from a clean state.
  if command -v lame >/dev/null && command -v sox >/dev/null; then
    sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 4 sine 300-3000 2>/dev/null
    lame --quiet -b 32 --resample 24 "$work/tone.wav" "$work/m2.mp3"
    lame --quiet -b 16 --resample 11.025 "$work/tone.wav" "$work/m25.mp3"
    size=$(stat -c %s "$work/m2.mp3"); tail -c $((size * 2 / 3)) "$work/m2.mp3" >"$work/m2-cut.mp3"
    size=$(stat -c %s "$work/m25.mp3"); tail -c $((size / 2)) "$work/m25.mp3" >"$work/m25-cut.mp3"
    for name in m2-cut m25-cut; do
      "$native/bramble" decode "$work/$name.mp3" "$work/$name.ref" 2>/dev/null
      run play "$work/$name.mp3" --out "$work/$name.got" --timeout 60000 >/dev/null
      cmp -s "$work/$name.ref" "$work/$name.got" ||
        fail "$name: jukebox output ($(stat -c %s "$work/$name.got") bytes) differs from bramble decode ($(stat -c %s "$work/$name.ref"))"
    done
    cat "$first_ref_raw" "$work/m2-cut.ref" "$work/m25-cut.ref" >"$work/chain.ref" 2>/dev/null
    run play "$first" --then "$work/m2-cut.mp3" --then "$work/m25-cut.mp3" --out "$work/chain.got" --timeout 60000 >/dev/null
    cmp -s "$work/chain.ref" "$work/chain.got" || fail "three files in one process differ from each decoded alone"
  fi
else
  echo "identity: skipped (no native bramble in $native)"
fi

[ "$failures" = 0 ] && echo "jukebox checks passed" || echo "$failures jukebox check(s) failed"
[ "$failures" = 0 ]
