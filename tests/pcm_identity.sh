#!/usr/bin/env bash
# The 32-bit build's `bramble` against the native 64-bit one, for every
# conformance stream: the same exit status, the same PCM (SHA-256) from
# `decode`, the same `info` lines; and one WAVE file byte for byte.
#   pcm_identity.sh RUN32 BRAMBLE32 NATIVE_BRAMBLE CONFORMANCE_DIR
set -u
run32=$1 tool32=$2 native=$3 conf=$4
if [ ! -x "$native" ]; then
  echo "FAIL: no native bramble at $native (make build-native first)"
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 compared=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for stream in "$conf"/*.bit; do
  name=$(basename "$stream" .bit)
  want=$(set -o pipefail; "$native" decode "$stream" - 2>/dev/null | sha256sum); want_rc=$?
  got=$(set -o pipefail; "$run32" "$tool32" decode "$stream" - 2>/dev/null | sha256sum); got_rc=$?
  [ "$want_rc" = "$got_rc" ] || fail "$name: decode exit $got_rc, native $want_rc"
  [ "$want" = "$got" ] || fail "$name: PCM differs (sha256 ${got%% *}, native ${want%% *})"
  "$native" info "$stream" >"$work/want.txt" 2>&1; want_rc=$?
  "$run32" "$tool32" info "$stream" >"$work/got.txt" 2>&1; got_rc=$?
  if [ "$want_rc" != "$got_rc" ] || ! cmp -s "$work/want.txt" "$work/got.txt"; then
    fail "$name: info differs"
    diff "$work/want.txt" "$work/got.txt" | sed 's/^/    /'
  fi
  compared=$((compared + 1))
done
[ "$compared" -gt 0 ] || fail "no streams in $conf"

first=$(ls "$conf"/l2-*.bit | head -1)
"$native" decode "$first" "$work/want.wav" 2>/dev/null
"$run32" "$tool32" decode "$first" "$work/got.wav" 2>/dev/null
cmp -s "$work/want.wav" "$work/got.wav" || fail "WAVE file of $(basename "$first") differs"

echo "identity: $compared conformance streams compared"
[ "$failures" = 0 ] && echo "32-bit and native output identical" || echo "$failures difference(s)"
[ "$failures" = 0 ]
