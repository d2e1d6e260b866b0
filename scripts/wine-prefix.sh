#!/usr/bin/env bash
# Makes the private Wine prefix (once) and starts a persistent wineserver,
# so that each test process starts in milliseconds instead of seconds.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${BRAMBLE_WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
wine=$(bash "$here/scripts/wine-loader.sh")
case "${1:-start}" in
  start)
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$wine" wineboot -i >/dev/null 2>&1 || true
    fi
    # Windows need a graphics driver: X11 under Xvfb, else the null driver,
    # so that hidden host windows also work without a display. The desktop
    # reads this once per wineserver, so it is set before the server starts.
    if ! grep -q '"Graphics"="x11,null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
      "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f >/dev/null 2>&1 || true
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
    fi
    wineserver -p >/dev/null 2>&1 || true
    # Start the session's services now, with no terminal or pipe to inherit:
    # started by the first test instead, they would hold its output pipe open
    # for as long as the persistent server lives.
    "$wine" wineboot </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    ;;
esac
