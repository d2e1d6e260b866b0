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
    # No window manager runs on Xvfb: unmanaged windows keep Wine from
    # waiting for one each time a window is hidden.
    if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
      "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    fi
    wineserver -p >/dev/null 2>&1 || true
    # Start the session's services now, with no terminal or pipe to inherit:
    # started by the first test instead, they would hold its output pipe open
    # for as long as the persistent server lives.
    "$wine" wineboot </dev/null >/dev/null 2>&1 || true
    # With --keep-desktop EXE: hold the desktop up for the whole run (see
    # tests/win/keeper/DesktopKeeper.cpp). Its explorer takes this DISPLAY.
    keeper=
    [ "${2:-}" = --keep-desktop ] && keeper=${3:-}
    pidfile=$WINEPREFIX/desktop_keeper.pid
    if [ -n "$keeper" ] && [ -f "$keeper" ] && ! { [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }; then
      "$wine" "$keeper" </dev/null >/dev/null 2>&1 &
      echo $! >"$pidfile"
      for _ in $(seq 50); do pgrep -f 'explorer\.exe /desktop' >/dev/null && break; sleep 0.1; done
    fi
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    rm -f "$WINEPREFIX/desktop_keeper.pid"
    ;;
esac
