#!/usr/bin/env bash
# Makes a short Layer II sample (cached in build/demo/), decodes it to WAVE
# with the native bramble tool and describes it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bramble=build/native/bin/bramble
out=build/demo
mkdir -p "$out"
[[ -x $bramble ]] || { echo "demo.sh: build $bramble first (make build-native)" >&2; exit 1; }

sample=$out/sample.mp2
if [[ ! -f $sample ]]; then
  # Five seconds: a rising tone on the left, a chord on the right.
  sox -n -r 44100 -c 2 -b 16 "$out/sample.wav" synth 5 sine 300-900 sine 440 sine 660 \
      remix 1 2v0.5,3v0.5 fade 0.1 5 0.3 vol 0.5
  twolame --quiet -b 192 "$out/sample.wav" "$sample"
fi

echo "== bramble info $sample"
"$bramble" info "$sample"
echo "== bramble decode $sample $out/decoded.wav"
"$bramble" decode "$sample" "$out/decoded.wav"
ls -l "$out/decoded.wav"
