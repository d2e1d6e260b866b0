#!/usr/bin/env bash
# Runs the Windows test groups under Wine: the x86_64 build always, the
# i686 product build too where this machine runs 32-bit programs.
#   wine-tests.sh WIN64_BUILD WIN32_BUILD [GROUP_REGEX]
# One X display (Xvfb unless one exists) and one desktop serve the whole run,
# so no test waits for Wine to bring a desktop up again.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
win64=$(cd "$1" && pwd) win32=$(cd "$2" && pwd)
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "${BASH_SOURCE[0]}" "$@"
fi
bash "$here/scripts/wine-prefix.sh" stop
bash "$here/scripts/wine-prefix.sh" start --keep-desktop "$win64/bin/desktop_keeper.exe"
(cd "$win64" && ctest --output-on-failure ${3:+-R "$3"})
rc=$?
if [ $rc = 0 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "32-bit programs run here: the i686 product's tests too"
  (cd "$win32" && ctest --output-on-failure ${3:+-R "$3"})
  rc=$?
fi
bash "$here/scripts/wine-prefix.sh" stop
exit $rc
