#!/usr/bin/env bash
# Decode speed of `bramble bench` beside the cpu time of a reference
# command-line decoder on the same file. Generated files: build/bench/.
# Environment: BUILD (default build/native), BENCH_SECONDS (default 3).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bramble=${BUILD:-build/native}/bin/bramble
seconds=${BENCH_SECONDS:-3}
out=build/bench
mkdir -p "$out"
[[ -x $bramble ]] || { echo "bench.sh: build $bramble first (make build-native)" >&2; exit 1; }
for tool in sox twolame lame mpg123; do
  command -v $tool >/dev/null || { echo "bench.sh: $tool is missing (make deps)" >&2; exit 1; }
done

# 60 s of music-like stereo: two chords (one with tremolo) over pink noise.
signal=$out/signal.wav
if [[ ! -f $signal ]]; then
  sox -n -r 44100 -c 2 -b 16 "$out/tones1.wav" synth 60 sine 220 sine 330 vol 0.25
  sox -n -r 44100 -c 2 -b 16 "$out/tones2.wav" synth 60 sine 440 sine 554 tremolo 3 40 vol 0.2
  sox -n -r 44100 -c 2 -b 16 "$out/noise.wav" synth 60 pinknoise pinknoise vol 0.05
  sox -m "$out/tones1.wav" "$out/tones2.wav" "$out/noise.wav" "$signal"
  rm -f "$out/tones1.wav" "$out/tones2.wav" "$out/noise.wav"
fi

# One line per test file: name, then the encoder command (IN and OUT are
# replaced by the signal and the file).
encodings=(
  "l2_192k.mp2|twolame --quiet -b 192 IN OUT"
  "l3_128k_joint.mp3|lame --quiet -t -b 128 -m j IN OUT"
  "l3_320k.mp3|lame --quiet -t -b 320 IN OUT"
)

# Smallest user+system cpu seconds of three runs of a command.
cpu_seconds() {
  local best="" t
  for _ in 1 2 3; do
    t=$( { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1 | awk '{print $1 + $2}')
    if [[ -z $best ]] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}

printf '%-20s %12s %14s %16s %16s %8s\n' file x_realtime ns_per_frame bramble_cpu_s reference_cpu_s ratio
for entry in "${encodings[@]}"; do
  name=${entry%%|*}
  command=${entry#*|}
  file=$out/$name
  if [[ ! -f $file ]]; then
    command=${command//IN/$signal}
    eval "${command//OUT/$file}"
  fi
  result=$("$bramble" bench "$file" --seconds "$seconds")
  x=$(awk '/^x_realtime:/ {print $2}' <<<"$result")
  ns=$(awk '/^ns_per_frame:/ {print $2}' <<<"$result")
  frames=$(awk '/^frames_per_pass:/ {print $2}' <<<"$result")
  ours=$(awk "BEGIN{printf \"%.4f\", $ns * $frames / 1e9}")
  ref=$(cpu_seconds mpg123 -q -s "$file")
  ratio=$(awk "BEGIN{ if ($ref > 0) printf \"%.2f\", $ours / $ref; else print \"n/a\" }")
  printf '%-20s %12s %14s %16s %16s %8s\n' "$name" "$x" "$ns" "$ours" "$ref" "$ratio"
done

# 1000 title look-ups of a file whose ID3v2 tag holds a 5 MB picture before
# its texts, and of the same file without the picture: the picture is
# stepped over by its size, never read.
plain=$out/titled.mp3
pictured=$out/titled_picture.mp3
if [[ ! -f $pictured ]]; then
  python3 - "$out/l3_128k_joint.mp3" "$plain" "$pictured" <<'EOF'
import struct, sys
def frame(fid, data): return fid + struct.pack('>I', len(data)) + b'\0\0' + data
def tag(frames):
    n = len(frames)
    return b'ID3\3\0\0' + bytes([n >> 21 & 127, n >> 14 & 127, n >> 7 & 127, n & 127]) + frames
texts = frame(b'TIT2', b'\0Morning Song') + frame(b'TPE1', b'\0Ada Quill')
picture = frame(b'APIC', b'\0image/jpeg\0\3\0' + bytes(5 << 20))
audio = open(sys.argv[1], 'rb').read()
open(sys.argv[2], 'wb').write(tag(texts) + audio)
open(sys.argv[3], 'wb').write(tag(picture + texts) + audio)
EOF
fi
printf '\n%-20s %18s\n' file titles_1000_ms  # the best of three runs
for file in "$plain" "$pictured"; do
  ms=$(for _ in 1 2 3; do "$bramble" title "$file" --order "1:4014:1,2:4013:1" --repeat 1000; done |
    awk '/^title_lookups_ms:/ && (best == "" || $2 < best) {best = $2} END {print best}')
  printf '%-20s %18s\n' "$(basename "$file")" "$ms"
done

# Full accuracy: whole-process cpu time of `bramble decode` (default and
# --full-accuracy, PCM to /dev/null) against mpg123 on the same files in
# the same run, five runs back to back per figure. Target: full <= 1.0.
runs5() { for _ in 1 2 3 4 5; do "$@" >/dev/null 2>&1; done; }
printf '\n%-20s %16s %16s %16s %8s %8s\n' file default_cpu_s full_cpu_s mpg123_cpu_s default full
for entry in "${encodings[@]}"; do
  file=$out/${entry%%|*}
  default=$(cpu_seconds runs5 "$bramble" decode "$file" /dev/null)
  full=$(cpu_seconds runs5 "$bramble" decode "$file" /dev/null --full-accuracy)
  ref=$(cpu_seconds runs5 mpg123 -q -s "$file")
  printf '%-20s %16s %16s %16s %8s %8s\n' "$(basename "$file")" "$default" "$full" "$ref" \
    "$(awk "BEGIN{printf \"%.2f\", $default / $ref}")" "$(awk "BEGIN{printf \"%.2f\", $full / $ref}")"
done
