#!/usr/bin/env bash
# jukebox.exe and the plug-in end to end under Wine, against the native tools:
#   jukebox_checks.sh WIN_BIN NATIVE_BIN CONFORMANCE_DIR SOURCE_ROOT
# What the DLL plays must equal `bramble decode` byte for byte (in full
# accuracy too), and the host must get the information blocks `bramble qdx`
# finds.
set -u
bin=$1 native=$2 conf=$3 root=$4
[ -x "$native/bramble" ] && [ -x "$native/qdxembed" ] || { echo "SKIPPED: no bramble/qdxembed in $native"; exit 77; }
command -v lame >/dev/null && command -v sox >/dev/null && command -v mpg123 >/dev/null || { echo "SKIPPED: no lame, sox or mpg123"; exit 77; }
# Wine writes text-mode line ends; the checks compare plain lines. A run
# ends by itself long before its time-out; one that times out fails.
run() { "$root/scripts/wine-run.sh" "$bin/jukebox.exe" "$@" --timeout 300000 2>&1 | tr -d '\r'; }
work=$(mktemp -d)
key='HKCU\Software\Bramblecot\Jubora\InPlugins'
reg() { "$root/scripts/wine-run.sh" reg "$@" /f >/dev/null 2>&1; }
trap 'reg delete "$key\MP3" /v "QDX Auto Switch"; reg delete "$key\Ostrel" /v FullAccuracy; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # output file, exact lines; a run that timed out fails too
  local out=$1 line bad=0
  shift
  for line in "$@"; do grep -qxF -- "$line" "$out" || { fail "$(basename "$out"): no line '$line'"; bad=1; }; done
  grep -q '^timeout' "$out" && { fail "$(basename "$out"): timed out"; bad=1; }
  [ $bad = 0 ] || sed 's/^/    /' "$out"
}

# 100 silent MPEG-1 Layer II frames (128 kbit/s, 48 kHz) and an ID3v1 tag,
# which is no audio: 2400 ms.
python3 -c 'import sys; open(sys.argv[1], "wb").write(bytes([255, 253, 132, 0] + [0] * 380) * 100
  + b"TAG" + b"Hello".ljust(30, b"\0") + bytes(94) + b"\xff")' "$work/tagged.mp2"
run info "$work/tagged.mp2" >"$work/info.txt"
expect "$work/info.txt" "length_ms: 2400" "sample_rate: 48000" "channels: 2" "bitrate: 128000" "title: tagged.mp2"
run play "$work/tagged.mp2" --out "$work/full.raw" >"$work/play.txt"
expect "$work/play.txt" "setinfo 128 48 2 1" "play 0" "feed-init 0 48000" "end-of-stream" "notify source-ended" \
  "notify source-ended-after" "stopped" "written 460800"

# sox -R: the same streams each run (its dither is seeded afresh otherwise).
# A 30 s variable-rate file as lame writes it (Xing header, LAME tag): its
# length, a seek to 20 s, and gapless playback as `bramble decode --gapless`.
sox -R -n -r 44100 -c 2 -b 16 "$work/sweep.wav" synth 30 sine 20:20000 vol 0.5 && lame --quiet -V 2 "$work/sweep.wav" "$work/vbr.mp3"
run info "$work/vbr.mp3" >"$work/vbr_info.txt"
len=$(sed -n 's/^length_ms: //p' "$work/vbr_info.txt")
{ [ -n "$len" ] && [ "$len" -ge 29950 ] && [ "$len" -le 30100 ]; } || fail "VBR length '$len' ms"
# The seek waits for the first block (26 ms): posted at once after Play it
# could reach the thread before the stream's first frame. A block or a few
# are written before the seek (the host lets the output go as it posts it);
# what follows is the rest from 20 s on.
run play "$work/vbr.mp3" --out "$work/vbr_seek.raw" --seek 20000 --at 26 >"$work/vbr_seek.txt"
expect "$work/vbr_seek.txt" "end-of-stream" "stopped"
grep -qE '^seek 20000 at (2[6-9]|[3-9][0-9]|[0-9]{3,})$' "$work/vbr_seek.txt" || fail "the seek came before the first block"
written=$(sed -n 's/^written //p' "$work/vbr_seek.txt")
left=$(( (${written:-0} - 4608) * 10 / 1764 ))
{ [ "$left" -ge 9650 ] && [ "$left" -le 10350 ]; } || fail "$left ms left to play after a seek to 20 s"
echo "vbr: length $len ms, $left ms left after a seek to 20 s"
reg add "$key\Ostrel" /v Gapless /t REG_DWORD /d 1
run play "$work/vbr.mp3" --out "$work/vbr_gapless.raw" >"$work/vbr_gapless.txt"
reg delete "$key\Ostrel" /v Gapless
expect "$work/vbr_gapless.txt" "written 5292000"
"$native/bramble" decode "$work/vbr.mp3" "$work/vbr_ref.raw" --gapless
cmp -s "$work/vbr_ref.raw" "$work/vbr_gapless.raw" || fail "gapless playback differs from bramble decode --gapless"

# Variable rate without a header, as `lame -t` writes it (18 s of MPEG-2
# mono, 60 s of MPEG-1 stereo): GetFileInfo's and GetLength's lengths within
# 50 ms of mpg123's sample count, and a seek to half leaves half +- 300 ms.
sox -R -n -r 22050 -c 1 -b 16 "$work/v6.wav" synth 6 sine 440 : synth 6 whitenoise vol 0.6 : synth 6 sine 300-3000
sox -R "$work/sweep.wav" "$work/sweep.wav" "$work/sweep60.wav"
lame --quiet -t -V 6 "$work/v6.wav" "$work/v6.mp3" && lame --quiet -t -V 2 "$work/sweep60.wav" "$work/v2.mp3"
for spec in "v6.mp3 22050 2304" "v2.mp3 44100 4608"; do
  set -- $spec
  want=$(( $(mpg123 -q -s --stereo "$work/$1" | wc -c) / 4 * 1000 / $2 )) half=$(( want / 2 ))
  len=$(run info "$work/$1" | sed -n 's/^length_ms: //p')
  run play "$work/$1" --out "$work/half.raw" --seek $half --at 26 >"$work/half.txt"
  got=$(sed -n 's/^length //p' "$work/half.txt") written=$(sed -n 's/^written //p' "$work/half.txt")
  left=$(( (${written:-0} - $3) * 1000 / ($2 * 4) ))
  for l in "${len:-0}" "${got:-0}"; do [ $(( l - want )) -le 50 ] && [ $(( want - l )) -le 50 ] || fail "$1: length $l ms, mpg123 $want"; done
  [ $(( left - want + half )) -le 300 ] && [ $(( want - half - left )) -le 300 ] ||
    { fail "$1: $left ms left after a seek to $half of $want"; sed 's/^/    /' "$work/half.txt"; }
  echo "$1 without a header: length $len and $got ms (mpg123 $want), $left ms left after a seek to $half"
done

# Every conformance stream the native decoder takes, then lame streams cut
# mid-way (they reach back into a reservoir the decoder never saw: frames
# that yield nothing write nothing), played as one chain in one process:
# each must start from a clean state. Then again with "FullAccuracy" 1,
# against `bramble decode --full-accuracy`.
sox -R -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 4 sine 300-3000 2>/dev/null
lame --quiet -b 32 --resample 24 "$work/tone.wav" "$work/m2.mp3"
lame --quiet -b 16 --resample 11.025 "$work/tone.wav" "$work/m25.mp3"
tail -c $(( $(stat -c %s "$work/m2.mp3") * 2 / 3 )) "$work/m2.mp3" >"$work/m2-cut.mp3"
tail -c $(( $(stat -c %s "$work/m25.mp3") / 2 )) "$work/m25.mp3" >"$work/m25-cut.mp3"
for option in "" --full-accuracy; do
  chain=() offsets=() total=0
  rm -f "$work/chain.ref"
  for stream in "$conf"/*.bit "$work/m2-cut.mp3" "$work/m25-cut.mp3"; do
    "$native/bramble" decode "$stream" "$work/one.raw" $option 2>/dev/null || continue
    cat "$work/one.raw" >>"$work/chain.ref"
    total=$((total + $(stat -c %s "$work/one.raw")))
    offsets+=("$total $(basename "$stream")")
    chain+=(--then "$stream")
  done
  [ -n "$option" ] && reg add "$key\Ostrel" /v FullAccuracy /t REG_DWORD /d 1
  run play "${chain[@]:1}" --out "$work/chain.got" >"$work/chain.txt"
  [ -n "$option" ] && reg delete "$key\Ostrel" /v FullAccuracy
  expect "$work/chain.txt" "written $total"
  if ! cmp -s "$work/chain.ref" "$work/chain.got"; then
    at=$(cmp "$work/chain.ref" "$work/chain.got" 2>&1 | sed -n 's/.* byte \([0-9]*\).*/\1/p')
    for o in "${offsets[@]}"; do
      [ "${o%% *}" -ge "${at:-0}" ] && { fail "${o#* }: jukebox output differs from bramble decode $option"; break; }
    done
  fi
  echo "identity${option:+ (full accuracy)}: ${#offsets[@]} streams compared"
done

# Information blocks planted by `qdxembed` in three sources, played as one
# chain. `bramble qdx` prints the decode time T of the frame that completed
# a block; the host gets a URL at T and a text at T - 1000, not below 0,
# with the switch flag on the first block of each source only, and on none
# when "QDX Auto Switch" is 0. The end of each source's tab text is left out.
chain=() blocks=()
for spec in "mpeg1_stereo --seed 1" "mpeg2_mono --seed 5 --version 2 --mono" "mpeg25_stereo --seed 8 --version 25"; do
  set -- $spec
  "$native/qdxembed" "$work/$1.mp3" "$work/$1.planted" "${@:2}" >/dev/null && [ -s "$work/$1.planted" ] ||
    { fail "$1: qdxembed planted nothing"; continue; }
  "$native/bramble" qdx "$work/$1.mp3" >"$work/$1.qdx"
  cmp -s "$work/$1.qdx" "$work/$1.planted" || fail "$1: bramble qdx differs from the planted blocks"
  chain+=(--then "$work/$1.mp3") blocks+=("$work/$1.qdx")
done
for sw in 1 0; do
  [ $sw = 0 ] && reg add "$key\MP3" /v "QDX Auto Switch" /t REG_DWORD /d 0
  run play "${chain[@]:1}" --out "$work/qdx.raw" >"$work/qdx$sw.txt"
  grep '^notify text ' "$work/qdx$sw.txt" | grep -vxF 'notify text time=0 url=0 switch=0 text=\t' >"$work/got$sw"
  for f in "${blocks[@]}"; do
    awk -F'\t' -v sw=$sw '{ url = $2 == "url"; t = url ? $1 : ($1 > 1000 ? $1 - 1000 : 0); text = $0
      sub(/^[^\t]*\t[^\t]*\t/, "", text)
      printf "notify text time=%d url=%d switch=%d text=%s\n", t, url, NR == 1 && sw == 1, text }' "$f"
  done >"$work/want$sw"
  [ "$(grep -cx stopped "$work/qdx$sw.txt")" = 3 ] || fail "information blocks: the three sources did not stop cleanly"
  cmp -s "$work/want$sw" "$work/got$sw" ||
    { fail "auto switch $sw: host notifications differ"; diff "$work/want$sw" "$work/got$sw" | sed 's/^/    /'; }
done
echo "information blocks: $(cat "${blocks[@]}" | wc -l) compared"

[ "$failures" = 0 ] && echo "jukebox checks passed" || echo "$failures jukebox check(s) failed"
[ "$failures" = 0 ]
