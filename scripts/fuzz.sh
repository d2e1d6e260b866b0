#!/usr/bin/env bash
# Runs every fuzz target of a -DBRAMBLE_FUZZ=ON build for SECONDS each,
# starting from a corpus cut from the compliance streams. Fails on a crash.
# usage: scripts/fuzz.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?usage: scripts/fuzz.sh BUILD_DIR [SECONDS]}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
shared=${BRAMBLE_SHARED:-}
if [[ -z $shared ]]; then
  for d in "$root/../shared" "$root/../../shared"; do
    [[ -d $d/conformance ]] && shared=$(cd "$d" && pwd) && break
  done
fi
[[ -n $shared && -d $shared/conformance ]] || { echo "fuzz.sh: no conformance streams found" >&2; exit 1; }

targets=$(find "$build/bin" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort)
[[ -n $targets ]] || { echo "fuzz.sh: no fuzz targets in $build/bin (configure with -DBRAMBLE_FUZZ=ON)" >&2; exit 1; }

# Seed corpus: the head of every stream plus a few 4 KB pieces from inside,
# each behind a selector byte (even = file reading, odd = stream reading;
# 4 and 5 decode in full accuracy).
seeds=$build/fuzz-seeds
if [[ ! -d $seeds ]]; then
  mkdir -p "$seeds"
  for bit in "$shared"/conformance/*.bit; do
    name=$(basename "$bit" .bit)
    size=$(stat -c %s "$bit")
    for sel in 0 1 4 5; do
      { printf "\\x0$sel"; head -c 12000 "$bit"; } > "$seeds/$name-head-$sel"
    done
    # The first frame alone (to the next sync word like its own): a file of one frame.
    first=$(python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); print(d.find(d[:2], 10))' "$bit")
    (( first > 0 )) && { printf '\x00'; head -c "$first" "$bit"; } > "$seeds/$name-one-frame"
    for off in 5000 20000 60000; do
      (( off < size )) || continue
      { printf '\x00'; head -c $((off + 4096)) "$bit" | tail -c 4096; } > "$seeds/$name-$off"
    done
  done
fi

status=0
for target in $targets; do
  name=$(basename "$target")
  corpus=$build/fuzz-corpus/$name
  mkdir -p "$corpus" "$build/fuzz-artifacts/$name"
  dict=$root/tests/fuzz/$name.dict  # a target's format tokens, if it has them
  options=()
  [[ -f $dict ]] && options+=(-dict="$dict")
  echo "== $name: ${seconds}s"
  if ! "$target" "$corpus" "$seeds" "${options[@]}" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
      -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name/" \
      > "$build/fuzz-$name.log" 2>&1; then
    echo "!! $name failed; log: $build/fuzz-$name.log" >&2
    tail -n 40 "$build/fuzz-$name.log" >&2
    status=1
  else
    grep -E 'stat::number_of_executed_units|cov:' "$build/fuzz-$name.log" | tail -n 2
  fi
done
exit $status
