#!/usr/bin/env bash
# Screenshots of the markup message box for the README: a warning, a yes/no
# question with bold text and an error, shown by msgbox-demo under wine64 on
# a private Xvfb display, found and answered by ui-robot, and cropped to the
# box: docs/msgbox-warning.png, docs/msgbox-question.png, docs/msgbox-error.png.
#
#   scripts/screenshots-msgbox.sh [BUILD_DIR]     (default build/win64)
#
# Needs the win64 build (msgbox-demo and ui-robot), wine64, Xvfb and
# ImageMagick (import, convert). The wine prefix lives in the build tree; it
# is set to unmanaged windows so that wine draws the frames itself (there is
# no window manager on the Xvfb display).
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
  [ -f "$f" ] || { echo "screenshots-msgbox: $f is missing (build win64 first)" >&2; exit 2; }
done
for tool in import convert; do
  command -v "$tool" >/dev/null || { echo "screenshots-msgbox: $tool is missing (ImageMagick)" >&2; exit 2; }
done

wine="$root/scripts/wine-run.sh"
# shellcheck source=scripts/screenshot-prefix.sh
. "$root/scripts/screenshot-prefix.sh"
prepare_screenshot_prefix "$wine" screenshots-msgbox

out="$root/docs"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# shot NAME ANSWER-KEY DEMO-ARGS...: shows the box, saves docs/msgbox-NAME.png, answers it.
shot() {
  local name="$1" key="$2"
  shift 2
  "$wine" "$demo" --timeout 60000 "$@" >"$work/$name.result" 2>/dev/null &
  local demo_pid=$!
  if ! "$wine" "$robot" --class VxMsgBox --timeout 30000 --dump >"$work/$name.dump" 2>/dev/null; then
    echo "screenshots-msgbox: the $name box did not appear" >&2
    kill "$demo_pid" 2>/dev/null || true
    return 1
  fi
  sleep 1  # let the box paint
  local rect
  rect=$(sed -n 's/^rect=//p' "$work/$name.dump" | tr -d '\r')
  read -r left top right bottom <<<"$rect"
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    "$out/msgbox-$name.png"
  "$wine" "$robot" --class VxMsgBox --timeout 5000 --key "$key" --wait-gone >/dev/null 2>&1 || true
  wait "$demo_pid" || true
  echo "docs/msgbox-$name.png: $(tr -d '\r' <"$work/$name.result")"
}

shot warning Enter --shortcut warning --owner 0 --caption Attention \
  --text 'Limited Free Space on your Temp Drive! (C:)<P><P>Estimated space required on your Temp drive is: <T>  120 MB<P>Free space available on your Temp drive is: <T>  85 MB<P><P>Continue with Setup?'
shot question N --shortcut yesno --owner 1 --caption Confirm \
  --text '<b>INTERNET DOWNLOAD</b><p><p>Varnel will download the Setup File from the Internet...<p>Please make sure your Internet connection is properly set.<p><p>Continue with Setup?<p><P>Size: <B>12.5 MB</B><P>'
shot error Enter --shortcut error --owner 0 --caption Error \
  --text 'Bad CRC!<P>This indicates that your setup file might be corrupted...'
