#!/usr/bin/env bash
# Speed against a reference command-line decoder (mpg123), in blocks that
# each print their own table. Generated files: build/bench/.
# Environment: BUILD (default build/native), BUILD32 (default
# build/native32), WIN64 (default build/win64), BENCH_SECONDS (default 3),
# BENCH_RUNS (paired whole-process runs, default 5).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bramble=${BUILD:-build/native}/bin/bramble
bramble32=${BUILD32:-build/native32}/bin/bramble
win64=${WIN64:-build/win64}
seconds=${BENCH_SECONDS:-3}
runs=${BENCH_RUNS:-5}
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
for entry in "${encodings[@]}"; do
  file=$out/${entry%%|*}
  command=${entry#*|}
  if [[ ! -f $file ]]; then
    command=${command//IN/$signal}
    eval "${command//OUT/$file}"
  fi
done
# The file the comparisons of both builds use.
main_file=$out/l3_128k_joint.mp3

# Where 32-bit programs cannot run, the 32-bit build runs under qemu-i386:
# right output, meaningless times.
native32=no
/lib/ld-linux.so.2 --version >/dev/null 2>&1 && native32=yes

# User plus system cpu seconds of one run of a command.
cpu_once() {
  { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1 | awk '{print $1 + $2}'
}

# Smallest of three runs.
cpu_seconds() {
  local best="" t
  for _ in 1 2 3; do
    t=$(cpu_once "$@")
    if [[ -z $best ]] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}

# Median of the numbers on standard input.
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Audio seconds of a file, from `bramble info`.
audio_seconds() { "$bramble" info "$1" | awk '/^length_ms:/ {print $2 / 1000}'; }

# --- Decode loop per file: `bramble bench` beside mpg123's cpu time. ---
block_decode_loop() {
  echo "== decode loop (bramble bench, kernels $("$bramble" bench "$main_file" --seconds 0.01 | sed -n 's/^kernels: //p'))"
  printf '%-20s %12s %14s %16s %16s %8s\n' file x_realtime ns_per_frame bramble_cpu_s reference_cpu_s ratio
  local entry name file result x ns frames ours ref ratio
  for entry in "${encodings[@]}"; do
    name=${entry%%|*}
    file=$out/$name
    result=$("$bramble" bench "$file" --seconds "$seconds")
    x=$(awk '/^x_realtime:/ {print $2}' <<<"$result")
    ns=$(awk '/^ns_per_frame:/ {print $2}' <<<"$result")
    frames=$(awk '/^frames_per_pass:/ {print $2}' <<<"$result")
    ours=$(awk "BEGIN{printf \"%.4f\", $ns * $frames / 1e9}")
    ref=$(cpu_seconds mpg123 -q -s "$file")
    ratio=$(awk "BEGIN{ if ($ref > 0) printf \"%.2f\", $ours / $ref; else print \"n/a\" }")
    printf '%-20s %12s %14s %16s %16s %8s\n' "$name" "$x" "$ns" "$ours" "$ref" "$ratio"
  done
}

# --- Whole process against mpg123, paired runs: `bramble decode F -` and
# `mpg123 -q -s F`, each to /dev/null; the median of the per-pair ratios.
# F is the main file ten times over, so that start-up and the clock's
# granularity do not decide the result. ---
block_whole_process() {
  local decoder long=$out/l3_128k_joint_x10.mp3
  [[ -f $long ]] || for _ in $(seq 10); do cat "$main_file"; done >"$long"
  decoder=$(mpg123 --test-cpu 2>&1 | sed -n 's/^Supported decoders: *\([^ ]*\).*/\1/p')
  echo "== whole process on $(basename "$long"), $runs paired runs (mpg123 decoder: ${decoder:-unknown})"
  printf '%-10s %14s %18s %10s\n' build cpu_s_median mpg123_cpu_s_median ratio
  local build tool ours ref i
  for build in native 32-bit; do
    tool=$bramble
    if [[ $build == 32-bit ]]; then
      tool=$bramble32
      [[ -x $tool ]] || { printf '%-10s %s\n' "$build" "n/a: build it first (make build-native32)"; continue; }
      [[ $native32 == yes ]] || { printf '%-10s %s\n' "$build" "n/a: this machine runs no 32-bit programs (qemu-i386 times mean nothing)"; continue; }
    fi
    : >"$out/pairs.txt"
    for ((i = 0; i < runs; ++i)); do
      ours=$(cpu_once "$tool" decode "$long" -)
      ref=$(cpu_once mpg123 -q -s "$long")
      echo "$ours $ref" >>"$out/pairs.txt"
    done
    printf '%-10s %14s %18s %10s\n' "$build" "$(awk '{print $1}' "$out/pairs.txt" | median)" \
      "$(awk '{print $2}' "$out/pairs.txt" | median)" \
      "$(awk '{ if ($2 > 0) printf "%.3f\n", $1 / $2 }' "$out/pairs.txt" | median)"
  done
}

# --- Instructions per audio second of `decode F -` (callgrind). Where
# valgrind cannot run the 32-bit build (no 32-bit programs), qemu-i386
# counts its guest instructions through scripts/qemu_insn_count.c. ---
block_instructions() {
  echo "== instructions per audio second on $(basename "$main_file")"
  printf '%-10s %-10s %16s %14s %s\n' build kernels instructions per_audio_s counted_by
  local audio build tool count how kernels plugin=""
  audio=$(audio_seconds "$main_file")
  for build in native 32-bit; do
    tool=$bramble
    [[ $build == 32-bit ]] && tool=$bramble32
    [[ -x $tool ]] || { printf '%-10s %s\n' "$build" "n/a: not built"; continue; }
    count="" how=""
    if [[ $build == native || $native32 == yes ]] && command -v valgrind >/dev/null; then
      count=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$tool" decode "$main_file" - 2>&1 >/dev/null |
        sed -n 's/.*Collected : *\([0-9]*\).*/\1/p')
      how=callgrind
    elif command -v qemu-i386 >/dev/null && command -v gcc >/dev/null; then
      plugin=$out/qemu_insn_count.so
      [[ $plugin -nt scripts/qemu_insn_count.c ]] || gcc -O2 -shared -fPIC -o "$plugin" scripts/qemu_insn_count.c
      count=$(qemu-i386 -plugin "$plugin" -d plugin "$tool" decode "$main_file" - 2>&1 >/dev/null |
        sed -n 's/^instructions: //p')
      how="qemu-i386 plugin"
    fi
    [[ -n $count ]] || { printf '%-10s %s\n' "$build" "n/a: no valgrind or qemu-i386 here"; continue; }
    if [[ $build == 32-bit && $native32 == no ]]; then
      kernels=$(qemu-i386 "$tool" bench "$main_file" --seconds 0.01 | sed -n 's/^kernels: //p')
    else
      kernels=$("$tool" bench "$main_file" --seconds 0.01 | sed -n 's/^kernels: //p')
    fi
    printf '%-10s %-10s %16s %14s %s\n' "$build" "$kernels" "$count" \
      "$(awk "BEGIN{printf \"%.2fM\", $count / $audio / 1e6}")" "$how"
  done
}

# --- Play to the first block written, through jukebox.exe and the x86_64
# DLL under Wine, for a 1 MB and a 100 MB file (the main file repeated).
# Playback stops at 100 ms of output. ---
block_first_block() {
  echo "== Play to first block (jukebox.exe, $win64)"
  [[ -x $win64/bin/jukebox.exe || -f $win64/bin/jukebox.exe ]] ||
    { echo "n/a: build it first (make build-win64)"; return; }
  command -v "$(bash scripts/wine-loader.sh)" >/dev/null || { echo "n/a: no Wine"; return; }
  local big=$out/play_100mb.mp3 small=$out/play_1mb.mp3 file size ms
  if [[ ! -f $big || ! -f $small ]]; then
    for _ in $(seq 110); do cat "$main_file"; done >"$big"
    truncate -s $((100 << 20)) "$big"
    head -c $((1 << 20)) "$big" >"$small"
  fi
  bash scripts/wine-prefix.sh start
  printf '%-16s %10s %16s\n' file size_mb first_write_ms
  for file in "$small" "$big"; do
    : >"$out/first.txt"
    for _ in 1 2 3; do
      bash scripts/wine-run.sh "$win64/bin/jukebox.exe" play "$file" --out "$out/first.raw" --stop-at 100 \
        --timeout 60000 2>&1 | tr -d '\r' | sed -n 's/^first-write-ms //p' >>"$out/first.txt" || true
    done
    size=$(($(stat -c %s "$file") >> 20))
    ms=$(median <"$out/first.txt")
    printf '%-16s %10s %16s\n' "$(basename "$file")" "$size" "${ms:-n/a}"
  done
  rm -f "$out/first.raw"
  bash scripts/wine-prefix.sh stop
}

# 1000 title look-ups of a file whose ID3v2 tag holds a 5 MB picture before
# its texts, and of the same file without the picture: the picture is
# stepped over by its size, never read.
block_titles() {
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
}

# Full accuracy: whole-process cpu time of `bramble decode` (default and
# --full-accuracy, PCM to /dev/null) against mpg123 on the same files in
# the same run, five runs back to back per figure. Target: full <= 1.0.
block_full_accuracy() {
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
}

# The time to learn a length: a 60-minute constant-rate file (16 probes)
# and a 60-minute variable-rate file without a header (a walk over every
# frame), each 60 copies of a one-minute encode, read from the page cache.
block_lengths() {
  cbr60=$out/cbr_60min.mp3 vbr60=$out/vbr_noheader_60min.mp3
  [[ -f $out/vbr_noheader.mp3 ]] || lame --quiet -t -V 2 "$signal" "$out/vbr_noheader.mp3"
  [[ -f $cbr60 ]] || for _ in $(seq 60); do cat "$out/l3_128k_joint.mp3"; done >"$cbr60"
  [[ -f $vbr60 ]] || for _ in $(seq 60); do cat "$out/vbr_noheader.mp3"; done >"$vbr60"
  printf '\n%-28s %12s %10s %12s\n' file length_ms scan_ms scan_cpu_ms
  for file in "$cbr60" "$vbr60"; do
    result=$("$bramble" bench "$file" --length)
    field() { awk -v k="$1:" '$1 == k {print $2}' <<<"$result"; }
    printf '%-28s %12s %10s %12s\n' "$(basename "$file")" "$(field length_ms)" "$(field scan_ms)" "$(field scan_cpu_ms)"
  done
}

block_decode_loop
block_whole_process
block_instructions
block_titles
block_full_accuracy
block_lengths
block_first_block
