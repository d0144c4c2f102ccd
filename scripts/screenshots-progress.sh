#!/usr/bin/env bash
# Screenshot of the stub's progress window for the README: a real setup
# (win64 VarnelStub.exe, about 256 MB of random files, the test engine as
# engine, activity bar on) runs in the foreground under wine64 on a private
# Xvfb display; the window is captured while the progress bar is part-way:
# docs/progress-window.png.
#
#   scripts/screenshots-progress.sh [BUILD_DIR]     (default build/win64)
#
# Needs wine64, Xvfb, xwininfo and xwd (x11-utils, x11-apps) and ImageMagick
# (convert); builds the win64 stub, the test engine and the native
# varnel-pack when they are missing. The payload and the setup go to a
# scratch folder that is removed at the end. The wine prefix is the one of
# scripts/screenshots-msgbox.sh (in the build tree, unmanaged windows).
#
# The extraction lasts about a second, too short to find the window with
# ui-robot and then shoot, so the window is found with xwininfo and dumped
# with xwd again and again until its progress bar is between 35 % and 75 %.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
caption="Varnel Installation Suite"

# built PRESET BUILD_DIR FILE TARGET...: builds the targets when FILE is missing.
built() {
  local preset="$1" dir="$2" file="$3"
  shift 3
  [ -f "$file" ] && return 0
  echo "screenshots-progress: building $* in $dir" >&2
  [ -f "$dir/CMakeCache.txt" ] || (cd "$root" && cmake --preset "$preset" >/dev/null)
  cmake --build "$dir" -j2 --target "$@" >/dev/null
}

if [ "${1:-}" != "--inside-display" ]; then
  build="${1:-$root/build/win64}"
  built win64 "$build" "$build/src/stub/VarnelStub.exe" VarnelStub
  built win64 "$build" "$build/tools/test-engine/test-engine.exe" test-engine
  built native "$root/build/native" "$root/build/native/tools/varnel-pack/varnel-pack" varnel-pack
  build="$(cd "$build" && pwd)"
  export WINEPREFIX="$build/wineprefix-screenshots"
  exec "$root/scripts/with-xvfb.sh" "$0" --inside-display "$build"
fi
build="$2"
pack="$root/build/native/tools/varnel-pack/varnel-pack"
for tool in xwininfo xwd convert openssl; do
  command -v "$tool" >/dev/null || { echo "screenshots-progress: $tool is missing (run scripts/setup.sh)" >&2; exit 2; }
done

wine="$root/scripts/wine-run.sh"
# shellcheck source=scripts/screenshot-prefix.sh
. "$root/scripts/screenshot-prefix.sh"
prepare_screenshot_prefix "$wine" screenshots-progress

work="$(mktemp -d "${TMPDIR:-/tmp}/screenshots-progress.XXXXXX")"
setup_pid=""
cleanup() {
  if [ -n "$setup_pid" ]; then kill "$setup_pid" 2>/dev/null || true; fi
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work" "$WINEPREFIX"/drive_c/users/*/Temp/SETUP_*
}
trap cleanup EXIT

# ---- the setup ---------------------------------------------------------
# 128 files of 2 MB each: one progress step per file, and random bytes that
# do not compress, so the extraction takes a while.
mkdir -p "$work/payload/data"
for ((i = 1; i <= 128; i++)); do
  openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv "$(printf '%032x' "$i")" \
    </dev/zero 2>/dev/null | head -c 2097152 >"$work/payload/data/part$(printf %03d "$i").bin" || true
done
cp "$build/tools/test-engine/test-engine.exe" "$work/payload/Engine.exe"
"$pack" build --no-progress --stub "$build/src/stub/VarnelStub.exe" -o "$work/Setup.exe" \
  --engine Engine.exe --activity-bar --seed 1 "$work/payload"
rm -rf "$work/payload"

# ---- the progress bar, read from a window dump --------------------------
colours() { convert "xwd:$1" -crop "$2" +repage txt:- | awk 'NR > 1 { print $3 }'; }
# From a list of colours, the first and last index (from 0) of the second run
# of non-background colours counted from the end: the progress bar, seen
# from the window's bottom or right frame.
bar_run() {
  awk -v bg="$1" '{ c[NR] = $1 } END {
    i = NR; while (i > 0 && c[i] != bg) i--; while (i > 0 && c[i] == bg) i--
    last = i; while (i > 0 && c[i] != bg) i--
    if (last > 0) print i, last - 1
  }'
}
# layout DUMP: finds the bar in a dump of the window with an empty bar and
# sets bg, bar_y, bar_left, bar_right (interior) and empty (its colour).
layout() {
  local width height mid first last
  read -r width height < <(convert "xwd:$1" -format '%w %h\n' info:)
  mid=$((width / 2))
  bg=$(colours "$1" "1x$height+$mid+0" | sort | uniq -c | sort -rn | awk 'NR == 1 { print $2 }')
  read -r first last < <(colours "$1" "1x$height+$mid+0" | bar_run "$bg") || return 1
  bar_y=$(((first + last) / 2))
  read -r first last < <(colours "$1" "${width}x1+0+$bar_y" | bar_run "$bg") || return 1
  bar_left=$((first + 1)) bar_right=$((last - 1))
  ((bar_right - bar_left > 100)) || return 1
  empty=$(colours "$1" "1x1+$bar_right+$bar_y")
}
# fill DUMP: the filled share of the bar in percent.
fill() {
  colours "$1" "$((bar_right - bar_left + 1))x1+$bar_left+$bar_y" |
    awk -v e="$empty" '$1 != e { n++ } END { printf "%d\n", 100 * n / NR }'
}

# ---- run and shoot -------------------------------------------------------
"$wine" "$work/Setup.exe" >/dev/null 2>&1 &
setup_pid=$!
window=""
for ((i = 0; i < 600; i++)); do
  info=$(xwininfo -name "$caption" 2>/dev/null || true)
  if grep -q IsViewable <<<"$info"; then
    window=$(awk '/Window id:/ { print $4; exit }' <<<"$info")
    break
  fi
  sleep 0.05
done
[ -n "$window" ] || { echo "screenshots-progress: the stub window did not appear" >&2; exit 1; }
sleep 0.3  # let it paint; the extraction starts a second after the window shows
xwd -id "$window" -silent >"$work/empty.xwd"
layout "$work/empty.xwd" || { echo "screenshots-progress: no progress bar found in the window" >&2; exit 1; }

best="" best_fill=-1
while xwininfo -id "$window" 2>/dev/null | grep -q IsViewable; do
  xwd -id "$window" -silent >"$work/shot.xwd" 2>/dev/null || break
  f=$(fill "$work/shot.xwd")
  if ((f > 0 && f < 100)) && ((best_fill < 0 || (f - 55) ** 2 < (best_fill - 55) ** 2)); then
    mv "$work/shot.xwd" "$work/best.xwd"
    best="$work/best.xwd" best_fill=$f
  fi
  ((f >= 35 && f <= 75)) && break
done
wait "$setup_pid" && code=0 || code=$?
setup_pid=""
[ -n "$best" ] || { echo "screenshots-progress: no dump with a part-filled bar (setup exit code $code)" >&2; exit 1; }
mkdir -p "$root/docs"
convert "xwd:$best" -strip "$root/docs/progress-window.png"
echo "docs/progress-window.png: progress bar at $best_fill % (setup exit code $code)"
