#!/usr/bin/env bash
# The release's installer under Wine, in a fresh prefix:
#   install_test.sh DIST_DIR WIN32_BUILD WIN64_BUILD NATIVE_BIN CONFORMANCE_DIR
# An older package from the same source around the x86_64 build (which runs
# on every machine) installs into INSTALLDIR, and jukebox.exe plays a file
# through its plug-in as `bramble decode` does. The release upgrades it in
# that folder unasked: the zip's DLLs, their versions read back, one entry
# left (where 32-bit programs run, the installed i686 DLL plays too).
# Uninstalling removes both files and the entry and keeps the settings.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
dist=$(cd "$1" && pwd) win32=$(cd "$2" && pwd) win64=$(cd "$3" && pwd) native=$4 conf=$5
. "$win32/release.env"  # VERSION, NAME, RELEASE
msi=$dist/bramblecot-mp3-$RELEASE.msi work=$win64/install-test
export BRAMBLE_WINEPREFIX=$work/prefix
rm -rf "$work" && mkdir -p "$work/old"
trap 'bash "$here/scripts/wine-prefix.sh" stop; rm -rf "$work"' EXIT
wine() { "$here/scripts/wine-run.sh" "$@" </dev/null 2>&1 | tr -d '\r'; }
msiexec() { wine msiexec "$1" "Z:${2//\//\\}" /qn "${@:3}" || fail "msiexec $1 $(basename "$2")"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
installed() {  # a package's uninstall entry, in the 32-bit view
  local code; code=$(msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
  wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code" /reg:32 >/dev/null
}
play() {  # BUILD: its jukebox plays the installed plug-in
  wine "$1/bin/jukebox.exe" play "$work/song.mp3" --out "$work/out.raw" --plugin "$dir\\BramblecotMp3.dll" \
    --timeout 300000 >"$work/play.txt"
  cmp -s "$work/ref.raw" "$work/out.raw" || { fail "$1: not bramble decode's PCM"; sed 's/^/    /' "$work/play.txt"; }
}

bash "$here/scripts/wine-prefix.sh" start
dir='C:\Jubora Test\Plugins' unix_dir="$BRAMBLE_WINEPREFIX/drive_c/Jubora Test/Plugins"
settings=('HKCU\Software\Bramblecot\Jubora\InPlugins\Ostrel /v ThreadPriority /d 4'
          'HKLM\Software\Bramblecot\Jubora\InPlugins\Ostrel /v Filter /d 14')
for s in "${settings[@]}"; do wine reg add $s /f >/dev/null; done
cp "$win64/bin/BramblecotMp3.dll" "$win64/bin/RCENU.DLL" "$work/old/"
(cd "$work/old" && wixl -a x86 -D Version=1.3.0.0 -D Bin=. -o "$work/old.msi" "$here/release/bramblecot-mp3.wxs")
msiexec /i "$work/old.msi" "INSTALLDIR=$dir"
cp "$conf/l3-compl.bit" "$work/song.mp3" && "$native/bramble" decode "$work/song.mp3" "$work/ref.raw"
play "$win64"

msiexec /i "$msi"
for f in BramblecotMp3.dll RCENU.DLL; do
  cmp -s "$win32/release/$f" "$unix_dir/$f" || fail "$f in INSTALLDIR is not the release's"
  wine "$win64/bin/version_check.exe" "$dir\\$f" >"$work/version.txt"
  for line in "file $VERSION product $VERSION" "CompanyName: Bramblecot" "ProductName: Bramblecot MP3 Player" \
              "FileVersion: $VERSION" "ProductVersion: $VERSION" "OriginalFilename: $f"; do
    grep -qxF "$line" "$work/version.txt" || fail "$f: no version line '$line'"
  done
  grep -q "^FileDescription: .* V$NAME\$" "$work/version.txt" || fail "$f: the description does not name V$NAME"
done
installed "$msi" || fail "no uninstall entry for the release"
installed "$work/old.msi" && fail "the older package is still installed after the upgrade"
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then play "$win32"
else echo "SKIPPED: the installed i686 DLL's playback (this machine runs no 32-bit programs; the x86_64 twin played)"; fi

msiexec /x "$msi"
for f in BramblecotMp3.dll RCENU.DLL; do [ -e "$unix_dir/$f" ] && fail "$f left after uninstalling"; done
installed "$msi" && fail "the uninstall entry is left"
for s in "${settings[@]}"; do
  wine reg query ${s% /d*} | grep -q "REG_SZ *${s##* }\$" || fail "setting gone: ${s% /d*}"
done
[ $failures = 0 ] && echo "install: the older package, the upgrade, the version resources, the uninstall"
exit $((failures > 0))
