#!/usr/bin/env bash
# Runs a Windows test program under Wine, inside Xvfb unless a display exists.
# Extra arguments go to the test program (e.g. --gtest_filter=...).
set -u
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
runner=(bash "$here/scripts/wine-run.sh" "$exe" "$@")
if [ -z "${DISPLAY:-}" ]; then
  if ! command -v xvfb-run >/dev/null; then
    echo "xvfb-run missing: the dialogs need a display" >&2
    exit 77
  fi
  runner=(xvfb-run -a -s "-screen 0 1024x768x24" "${runner[@]}")
fi
cd "$(dirname "$exe")" && exec "${runner[@]}"
