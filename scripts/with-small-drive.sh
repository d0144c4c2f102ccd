#!/usr/bin/env bash
# with-small-drive.sh DIR COMMAND...
# Runs COMMAND with VARNEL_SMALL_DRIVE naming DIR, a 2 MiB tmpfs, for the
# tests of a temp drive that is short of room (they map it to a wine drive
# themselves). Mounting needs root: without it, or when the mount fails, the
# command runs without the variable and those tests skip. A tmpfs already
# mounted at DIR is used and left mounted.
set -u
dir=$1
shift
mounted=0
if mountpoint -q "$dir" 2>/dev/null; then
  export VARNEL_SMALL_DRIVE="$dir"
elif [ "$(id -u)" = 0 ] && mkdir -p "$dir" 2>/dev/null &&
  mount -t tmpfs -o size=2m,mode=0777 varnel-small "$dir" 2>/dev/null; then
  mounted=1
  export VARNEL_SMALL_DRIVE="$dir"
else
  echo "with-small-drive: no small drive at $dir (not root, or the mount failed); its tests skip" >&2
fi
"$@"
rc=$?
if [ "$mounted" = 1 ]; then umount "$dir" 2>/dev/null || umount -l "$dir" 2>/dev/null || true; fi
exit "$rc"
