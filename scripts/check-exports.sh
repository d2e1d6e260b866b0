#!/usr/bin/env bash
# The i686 product cannot run on machines without 32-bit user code, so its
# binaries are checked statically: undecorated exports, 32-bit PE images.
set -euo pipefail
bin=${1:-build/win32/bin}
objdump=i686-w64-mingw32-objdump
fail=0
check_export() {  # FILE SYMBOL
  if ! $objdump -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF == 0 {t=0} t' | grep -qw "$2"; then
    echo "check-exports: $1 does not export $2 undecorated" >&2
    fail=1
  fi
}
check_pe32() {
  if ! $objdump -f "$1" | grep -q "file format pei-i386"; then
    echo "check-exports: $1 is not a 32-bit PE image" >&2
    fail=1
  fi
}
for f in "$bin/BramblecotMp3.dll" "$bin/Plugins/Tolquin.DLL" "$bin/jukebox.exe" "$bin/RCENU.DLL" "$bin/About.exe" "$bin/bramble.exe"; do
  [[ -e $f ]] || { echo "check-exports: $f is missing" >&2; fail=1; continue; }
  check_pe32 "$f"
done
[[ -e $bin/BramblecotMp3.dll ]] && check_export "$bin/BramblecotMp3.dll" JbraGetInModule
[[ -e $bin/Plugins/Tolquin.DLL ]] && check_export "$bin/Plugins/Tolquin.DLL" GetStreamingObject
[[ $fail == 0 ]] && echo "check-exports: i686 binaries and exports OK"
exit $fail
