#!/usr/bin/env bash
# Runs the streaming library's test program under Wine against servers on
# 127.0.0.1 that this script starts and stops (tests/net/servers.sh): nginx
# (ranges supported), the scripted fault server and, when installed,
# icecast2 fed by ezstream. Usage:
#   run_streaming_tests.sh TEST_EXE WORK_DIR SHARED_DIR [gtest args...]
set -euo pipefail

exe=$1 work=$2 shared=$3
shift 3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)

source "$here/servers.sh"
start_test_servers "$work" "$shared"

runner=(bash "$repo/scripts/wine-run.sh")
# The settings dialog needs a display.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  runner=(xvfb-run -a "${runner[@]}")
fi
cd "$(dirname "$exe")"
"${runner[@]}" "$exe" "$@"
