#!/usr/bin/env bash
# Runs a command with a private Xvfb display (windows under wine need one),
# then stops the display and any wine server the command left running.
set -u
if ! command -v Xvfb >/dev/null; then
  echo "with-xvfb: Xvfb is missing (run scripts/setup.sh)" >&2
  exit 2
fi
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 display <"$fifo"
rm -f "$fifo"
if [ -z "${display:-}" ]; then
  echo "with-xvfb: Xvfb did not start" >&2
  kill "$xvfb_pid" 2>/dev/null
  exit 2
fi
export DISPLAY=":$display"
cleanup() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
"$@"
