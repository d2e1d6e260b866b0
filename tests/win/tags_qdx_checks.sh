#!/usr/bin/env bash
# Information blocks through jukebox.exe and the plug-in under Wine, against
# the native tools:   tags_qdx_checks.sh WIN_BIN NATIVE_BIN SOURCE_ROOT
# `bramble qdx` prints the decode time T of the frame that completed a block;
# the plug-in hands the host a URL at T and a text at T - 1000, not below 0,
# with the switch flag on the first block of a source only, and on none when
# "QDX Auto Switch" is 0.
set -uo pipefail
bin=$1 native=$2 root=$3
[ -x "$native/bramble" ] && [ -x "$native/qdxembed" ] || { echo "SKIPPED: no native bramble/qdxembed in $native"; exit 77; }
wine_do() { "$root/scripts/wine-run.sh" "$@" 2>&1 | tr -d '\r'; }
key='HKCU\Software\Bramblecot\Jubora\InPlugins\MP3'
work=$(mktemp -d)
trap 'wine_do reg delete "$key" /v "QDX Auto Switch" /f >/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The host's lines for the planted blocks as `bramble qdx` lines predict
# them, source after source.
predict() {  # auto switch 0|1, expected bramble lines of each source...
  local sw=$1
  shift
  for f in "$@"; do
    awk -F'\t' -v sw="$sw" '{
      url = $2 == "url"; t = url ? $1 : ($1 > 1000 ? $1 - 1000 : 0)
      payload = $0; sub(/^[^\t]*\t[^\t]*\t/, "", payload)
      printf "notify text time=%d url=%d switch=%d text=%s\n", t, url, (NR == 1 && sw == 1), payload
    }' "$f"
  done
}
chain=() bramble=()
for spec in "mpeg1_stereo --seed 1" "mpeg2_mono --seed 5 --version 2 --mono" "mpeg25_stereo --seed 8 --version 25"; do
  set -- $spec
  name=$1
  shift
  "$native/qdxembed" "$work/$name.mp3" "$work/$name.expected" "$@" >/dev/null && [ -s "$work/$name.expected" ] ||
    { fail "$name: qdxembed planted nothing"; continue; }
  "$native/bramble" qdx "$work/$name.mp3" >"$work/$name.bramble" || fail "$name: bramble qdx failed"
  cmp -s "$work/$name.bramble" "$work/$name.expected" || { fail "$name: bramble qdx differs from the planted blocks";
    diff "$work/$name.expected" "$work/$name.bramble" | sed 's/^/    /'; }
  echo "$name: $(wc -l <"$work/$name.expected") blocks"
  if [ ${#chain[@]} = 0 ]; then chain=("$work/$name.mp3"); else chain+=(--then "$work/$name.mp3"); fi
  bramble+=("$work/$name.bramble")
done
for sw in 1 0; do
  [ $sw = 0 ] && wine_do reg add "$key" /v "QDX Auto Switch" /t REG_DWORD /d 0 /f >/dev/null
  wine_do "$bin/jukebox.exe" play "${chain[@]}" --out "$work/out.raw" --timeout 300000 >"$work/play$sw"
  [ "$(grep -cx stopped "$work/play$sw")" = 3 ] || fail "auto switch $sw: the three sources did not stop cleanly"
  # The end of each source's tab text is left out.
  grep '^notify text ' "$work/play$sw" | grep -vxF 'notify text time=0 url=0 switch=0 text=\t' >"$work/got$sw"
  predict $sw "${bramble[@]}" >"$work/want$sw"
  cmp -s "$work/want$sw" "$work/got$sw" || { fail "auto switch $sw: host notifications differ";
    diff "$work/want$sw" "$work/got$sw" | sed 's/^/    /'; }
done

[ "$failures" = 0 ] && echo "information block checks passed" || echo "$failures check(s) failed"
[ "$failures" = 0 ]
