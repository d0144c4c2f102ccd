#!/usr/bin/env bash
# Screenshot of the agent's inform dialog for the README: a news text with
# bold runs and the download button, shown by msgbox-demo under wine64 on a
# private Xvfb display, found and closed by ui-robot, and cropped to the
# window: docs/inform-dialog.png.
#
#   scripts/screenshots-inform.sh [BUILD_DIR]     (default build/win64)
#
# Needs what scripts/screenshots-msgbox.sh needs (the win64 build, wine64,
# Xvfb, ImageMagick) and shares its prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

if [ "${1:-}" != "--inside-display" ]; then
  build="$(cd "${1:-$root/build/win64}" && pwd)"
  export WINEPREFIX="$build/wineprefix-screenshots"
  exec "$root/scripts/with-xvfb.sh" "$0" --inside-display "$build"
fi
build="$2"
demo="$build/tools/msgbox-demo/msgbox-demo.exe"
robot="$build/tools/ui-robot/ui-robot.exe"
for f in "$demo" "$robot"; do
  [ -f "$f" ] || { echo "screenshots-inform: $f is missing (build win64 first)" >&2; exit 2; }
done
for tool in import convert; do
  command -v "$tool" >/dev/null || { echo "screenshots-inform: $tool is missing (ImageMagick)" >&2; exit 2; }
done

wine="$root/scripts/wine-run.sh"
# shellcheck source=scripts/screenshot-prefix.sh
. "$root/scripts/screenshot-prefix.sh"
prepare_screenshot_prefix "$wine" screenshots-inform

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

text='<B>Sample Product 2.0 is available</B><P><P>What is new:<P><T>- <B>Faster</B> start-up and smaller downloads<P><T>- A dark theme for the main window<P><T>- Fixes for printing on network printers<P><P>Press <B>Download</B> to get the new version from the publisher'"'"'s web site.'
"$wine" "$demo" --shortcut inform --caption "New Version" --buttons Download --width 420 --height 300 \
  --address 'https://example.com/sample-product/download' --text "$text" >"$work/result" 2>/dev/null &
demo_pid=$!
if ! "$wine" "$robot" --class VxRichEditBox --timeout 30000 --dump >"$work/dump" 2>/dev/null; then
  echo "screenshots-inform: the dialog did not appear" >&2
  kill "$demo_pid" 2>/dev/null || true
  exit 1
fi
sleep 1  # let the dialog paint
read -r left top right bottom <<<"$(sed -n 's/^rect=//p' "$work/dump" | tr -d '\r')"
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
  "$root/docs/inform-dialog.png"
# Closed without the button: no browser is started.
"$wine" "$robot" --class VxRichEditBox --timeout 5000 --close --wait-gone >/dev/null 2>&1 || true
wait "$demo_pid" || true
echo "docs/inform-dialog.png: $(tr -d '\r' <"$work/result")"
