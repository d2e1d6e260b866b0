#!/usr/bin/env bash
# The release's installer under Wine, in a fresh prefix:
#   install_test.sh DIST_DIR WIN32_BUILD WIN64_BUILD NATIVE_BIN CONFORMANCE_DIR
# 1. An older package, made from the same installer source around the
#    x86_64 build (which runs on every machine), installs into INSTALLDIR;
#    jukebox.exe plays a file through the plug-in it put there exactly as
#    `bramble decode` does.
# 2. The release's package upgrades it without being told the folder: the
#    zip's DLLs replace the older ones there, their versions read back and
#    only the release is left installed. Where 32-bit programs run, the
#    installed i686 DLL plays the file too.
# 3. Uninstalling removes both files and the entry; the settings stay.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
dist=$(cd "$1" && pwd) win32=$(cd "$2" && pwd) win64=$(cd "$3" && pwd) native=$4 conf=$5
# shellcheck disable=SC1091
. "$win32/release.env"  # VERSION, NAME, RELEASE
msi=$dist/bramblecot-mp3-$RELEASE.msi
work=$win64/install-test
export BRAMBLE_WINEPREFIX=$work/prefix
rm -rf "$work" && mkdir -p "$work/old"
trap 'bash "$here/scripts/wine-prefix.sh" stop; rm -rf "$work"' EXIT
wine() { "$here/scripts/wine-run.sh" "$@" </dev/null 2>&1 | tr -d '\r'; }
winpath() { echo "Z:${1//\//\\}"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
installed() {  # the uninstall entry of a package (a 32-bit package's view)
  wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(product_code "$1")" /reg:32 >/dev/null
}

bash "$here/scripts/wine-prefix.sh" start
dir='C:\Jubora Test\Plugins' unix_dir="$BRAMBLE_WINEPREFIX/drive_c/Jubora Test/Plugins"
user_key='HKCU\Software\Bramblecot\Jubora\InPlugins\Ostrel'
machine_key='HKLM\Software\Bramblecot\Jubora\InPlugins\Ostrel'
wine reg add "$user_key" /v ThreadPriority /d 4 /f >/dev/null
wine reg add "$machine_key" /v Filter /d 14 /f >/dev/null

cp "$win64/bin/BramblecotMp3.dll" "$win64/bin/RCENU.DLL" "$work/old/"
(cd "$work/old" && wixl -a x86 -D Version=1.3.0.0 -D Bin=. -o "$work/old.msi" "$here/release/bramblecot-mp3.wxs")
wine msiexec /i "$(winpath "$work/old.msi")" /qn "INSTALLDIR=$dir" || fail "msiexec /i of the older package"
cmp -s "$work/old/BramblecotMp3.dll" "$unix_dir/BramblecotMp3.dll" || fail "the older package put no plug-in into INSTALLDIR"

cp "$conf/l3-compl.bit" "$work/song.mp3"
"$native/bramble" decode "$work/song.mp3" "$work/ref.raw"
play() {  # BUILD OUT: the build's jukebox plays the installed plug-in
  wine "$1/bin/jukebox.exe" play "$work/song.mp3" --out "$2" --plugin "$dir\\BramblecotMp3.dll" --timeout 300000 >"$2.txt"
  cmp -s "$work/ref.raw" "$2" || { fail "$(basename "$1"): the installed plug-in's PCM differs from bramble decode"; sed 's/^/    /' "$2.txt"; }
}
play "$win64" "$work/x86_64.raw"

wine msiexec /i "$(winpath "$msi")" /qn || fail "msiexec /i of the release"
for f in BramblecotMp3.dll RCENU.DLL; do
  cmp -s "$win32/release/$f" "$unix_dir/$f" || fail "$f in INSTALLDIR is not the release's"
  wine "$win64/bin/version_check.exe" "$dir\\$f" >"$work/$f.txt"
  for line in "file $VERSION product $VERSION" "CompanyName: Bramblecot" "ProductName: Bramblecot MP3 Player" \
              "FileVersion: $VERSION" "ProductVersion: $VERSION" "OriginalFilename: $f"; do
    grep -qxF "$line" "$work/$f.txt" || fail "$f: no version line '$line'"
  done
  grep -q "^FileDescription: .* V$NAME\$" "$work/$f.txt" || fail "$f: the description does not name V$NAME"
done
installed "$msi" || fail "no uninstall entry for the release"
installed "$work/old.msi" && fail "the older package is still installed after the upgrade"
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  play "$win32" "$work/i686.raw"
else
  echo "SKIPPED: the installed i686 DLL's playback (this machine runs no 32-bit programs; the x86_64 twin played)"
fi

wine msiexec /x "$(winpath "$msi")" /qn || fail "msiexec /x"
for f in BramblecotMp3.dll RCENU.DLL; do [ -e "$unix_dir/$f" ] && fail "$f left after uninstalling"; done
installed "$msi" && fail "the uninstall entry is left"
wine reg query "$user_key" /v ThreadPriority | grep -q 'REG_SZ *4$' || fail "the user's settings are gone"
wine reg query "$machine_key" /v Filter | grep -q 'REG_SZ *14$' || fail "the machine's settings are gone"
[ $failures = 0 ] && echo "install: the older package, the upgrade, the version resources, the uninstall"
exit $((failures > 0))
