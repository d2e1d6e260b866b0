#!/usr/bin/env bash
# Screenshots of the configuration pages, the information dialog and the
# about box as a user sees them: the dialog tests run under Xvfb, pause at
# each dialog, and ImageMagick's import takes the picture into docs/.
#   bash scripts/dialog-screenshots.sh [build/win64]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build/win64}" && pwd)
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
bash "$here/scripts/wine-prefix.sh" start

cat > "$shots/run.sh" <<INNER
set -u
cd "$build/bin"
BRAMBLE_SCREENSHOT_DIR="Z:${shots//\//\\\\}" bash "$here/scripts/wine-run.sh" ./bramble_win_tests.exe \
  --gtest_filter='ConfigSheet.FirstOpening*:ConfigSheet.NetworkPageConfig*:FileInfo.PlayingFile*:About.ShowsThe*' \
  > "$shots/tests.log" 2>&1 &
tests=\$!
while kill -0 \$tests 2>/dev/null; do
  for ready in "$shots"/*.ready; do
    [ -e "\$ready" ] || continue
    name=\$(basename "\$ready" .ready)
    geometry=\$(tr -d '\r\n' < "\$ready")
    sleep 0.5  # let the window paint
    import -window root -crop "\$geometry" +repage "$here/docs/\$name.png"
    rm -f "\$ready"
    touch "$shots/\$name.done"
    echo "docs/\$name.png (\$geometry)"
  done
  sleep 0.2
done
wait \$tests
INNER
mkdir -p "$here/docs"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$shots/run.sh"
tail -3 "$shots/tests.log"
