#!/usr/bin/env bash
# The release from the i686 build: stripped DLLs, a zip with the user's
# README, the installer and their SHA-256 sums.
#   dist.sh WIN32_BUILD OUT_DIR
# Two runs on one commit give the same zip and DLL bytes: the build writes
# no time or path into the DLLs, the zip's entries are sorted and dated by
# the commit (or SOURCE_DATE_EPOCH). The installer carries a new package
# code each time, as Windows Installer wants.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
mkdir -p "$2" && out=$(cd "$2" && pwd)
# shellcheck disable=SC1091
. "$build/release.env"  # VERSION, NAME, RELEASE
stage=$build/release
# strip stamps the PE header with this time, the zip its entries.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 315532800)}
rm -rf "$stage"
mkdir -p "$stage"
for f in BramblecotMp3.dll RCENU.DLL; do
  i686-w64-mingw32-strip -o "$stage/$f" "$build/bin/$f"
done
# Windows line ends for Notepad.
sed -e "s/@NAME@/$NAME/g" -e "s/@VERSION@/$VERSION/g" -e "s/@RELEASE@/$RELEASE/g" -e 's/$/\r/' "$here/release/README.txt" >"$stage/README.txt"

zip=bramblecot-mp3-$RELEASE-win32.zip
msi=bramblecot-mp3-$RELEASE.msi
python3 - "$stage" "$out/$zip" "$SOURCE_DATE_EPOCH" BramblecotMp3.dll README.txt RCENU.DLL <<'PY'
import sys, time, zipfile
stage, path, epoch, names = sys.argv[1], sys.argv[2], int(sys.argv[3]), sorted(sys.argv[4:])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip's dates begin in 1980
with zipfile.ZipFile(path, "w") as z:
    for name in names:
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 0  # MS-DOS attributes, whatever system packs it
        info.external_attr = 0x20  # archive
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(f"{stage}/{name}", "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
PY
# wixl takes the files' paths relative to where it runs.
(cd "$stage" && wixl -a x86 -D Version="$VERSION" -D Bin=. -o "$out/$msi" "$here/release/bramblecot-mp3.wxs")
(cd "$out" && sha256sum "$zip" "$msi" >SHA256SUMS && sha256sum -c --quiet SHA256SUMS)
echo "dist: $out/$zip $out/$msi $out/SHA256SUMS"
