#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix.
# The prefix is made once per run (scripts/wine-prefix.sh); this only uses it.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${BRAMBLE_WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${BRAMBLE_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree=;mshtml="
exec "$(bash "$here/scripts/wine-loader.sh")" "$@"
