#!/usr/bin/env bash
# The 32-bit build's `bramble` against the native 64-bit one, for a few
# conformance streams that between them take every layer, version and
# kernel path (full-scale sine on the exact windowing, block switching,
# channel-count changes, full accuracy): the same exit status and the same
# PCM (SHA-256) from `decode` with each kernel table the processor offers
# (capped by BRAMBLE_KERNELS); the same `info` lines and WAVE file for one.
#   pcm_identity.sh RUN32 BRAMBLE32 NATIVE_BRAMBLE CONFORMANCE_DIR
set -u
run32=$1 tool32=$2 native=$3 conf=$4
[ -x "$native" ] || { echo "FAIL: no native bramble at $native (make build-native first)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A cap above what the processor has gives its best table: run each table once.
chosen() { BRAMBLE_KERNELS=$1 "$run32" "$tool32" bench "$conf/l1-fl4.bit" --seconds 0.001 | sed -n 's/^kernels: //p'; }
tables=""
for cap in scalar mmx sse2 avx2; do
  table=$(chosen $cap)
  case " $tables " in *" $table "*) ;; *) tables="$tables $table" ;; esac
done
[ -n "$(chosen "")" ] || fail "no kernel table reported"
echo "kernel tables:$tables"

# Full accuracy too, on one stream of each layer.
for entry in l1-fl7 l2-fl14 l2-test32 l3-si_block l3-he_mode l3-sin1k0db M2L3_compl24 \
  "l1-fl7 --full-accuracy" "l2-test32 --full-accuracy" "l3-he_mode --full-accuracy"; do
  read -r name mode <<<"$entry"
  stream=$conf/$name.bit
  [ -f "$stream" ] || { fail "$name: no stream"; continue; }
  want=$(set -o pipefail; "$native" decode "$stream" - $mode 2>/dev/null | sha256sum); want_rc=$?
  for table in $tables; do
    got=$(set -o pipefail; BRAMBLE_KERNELS=$table "$run32" "$tool32" decode "$stream" - $mode 2>/dev/null | sha256sum); got_rc=$?
    [ "$want_rc" = "$got_rc" ] || fail "$entry ($table): decode exit $got_rc, native $want_rc"
    [ "$want" = "$got" ] || fail "$entry ($table): PCM differs (sha256 ${got%% *}, native ${want%% *})"
  done
done

one=$conf/l3-he_mode.bit
"$native" info "$one" >"$work/want.txt" 2>&1
"$run32" "$tool32" info "$one" >"$work/got.txt" 2>&1
cmp -s "$work/want.txt" "$work/got.txt" || { fail "info differs"; diff "$work/want.txt" "$work/got.txt" | sed 's/^/    /'; }
"$native" decode "$one" "$work/want.wav" 2>/dev/null
"$run32" "$tool32" decode "$one" "$work/got.wav" 2>/dev/null
cmp -s "$work/want.wav" "$work/got.wav" || fail "WAVE file differs"

[ "$failures" = 0 ] && echo "32-bit and native output identical" || echo "$failures difference(s)"
[ "$failures" = 0 ]
