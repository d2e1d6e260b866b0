#!/usr/bin/env bash
# Plays a generated sample with an ID3v1 tag through the plug-in inside
# jukebox.exe under Wine, writes the WAVE file and prints the host's events
# and the file information. Needs build/native (bramble) and build/win64
# (jukebox.exe, BramblecotMp3.dll; the i686 product cannot run on machines
# without 32-bit user code, the x86_64 build of the same sources can).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bramble=build/native/bin/bramble
win=build/win64/bin
out=build/demo
mkdir -p "$out"
for f in "$bramble" "$win/jukebox.exe" "$win/BramblecotMp3.dll"; do
  [[ -e $f ]] || { echo "demo-player.sh: $f is missing (make build-native build-win64)" >&2; exit 1; }
done

sample=$out/player-sample.mp2
if [[ ! -f $sample ]]; then
  sox -n -r 44100 -c 2 -b 16 "$out/player-sample.wav" synth 4 sine 330-660 sine 550 fade 0.1 4 0.3 vol 0.5
  twolame --quiet -b 192 "$out/player-sample.wav" "$sample"
  "$bramble" tag "$sample" --title "Hedgerow Song" --artist "Bramblecot" --album "Demo" --year 2026 >/dev/null
fi

bash scripts/wine-prefix.sh start
jukebox() { scripts/wine-run.sh "$win/jukebox.exe" "$@" | tr -d '\r'; }
echo "== jukebox info $sample"
jukebox info "$sample"
echo "== jukebox play $sample --out $out/player.wav"
jukebox play "$sample" --out "$out/player.wav"
ls -l "$out/player.wav"
"$bramble" decode "$sample" "$out/player-native.wav"
if cmp -s "$out/player.wav" "$out/player-native.wav"; then
  echo "== the plug-in's output equals bramble decode's, byte for byte"
else
  echo "== the plug-in's output differs from bramble decode's" >&2
  exit 1
fi
