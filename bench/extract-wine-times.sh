#!/usr/bin/env bash
# The wine rows of bench/extract-bench.sh; runs on the display of
# scripts/with-xvfb.sh with WINEPREFIX set.
#
# usage: extract-wine-times.sh SETUP BARE_SETUP NATIVE_SETUP VARNEL_PACK RUNS FILES
#
# In each of RUNS rounds, on a quiet wine server:
#   1. our native extraction (VARNEL_PACK extract NATIVE_SETUP) into a folder
#      beside the stub's working folders, so that both write into the same
#      folder of the same file system (file creation costs differ a lot
#      between folders of a busy file system);
#   2. BARE_SETUP (the engine only) and SETUP (the payload and the engine)
#      with /hide; the test engine logs its start and sleeps, and meanwhile
#      the files of the working folder are looked at: the first one's birth
#      time and the last change time of any (the unpacker sets each file's
#      date as its last step).
# Prints the best of each, in nanoseconds, on one line:
#   native_wall native_window bare_first setup_first setup_window setup_engine
# where *_first is launch to the first file, *_window the first file's birth
# to the last change, setup_engine launch to the engine's start. SETUP's
# engine must have seen FILES files beside itself.
set -euo pipefail

setup=$1 bare=$2 native_setup=$3 tool=$4 runs=$5 files=$6
root=$(cd "$(dirname "$0")/.." && pwd)
log=$(dirname "$setup")/engine.log
export VARNEL_ENGINE_LOG="Z:${log//\//\\}" VARNEL_ENGINE_SLEEP=2000
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

"$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true  # creates the prefix, untimed
wineserver -w
wineserver -p >/dev/null 2>&1 </dev/null || true                    # one server for all runs
temp=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp | head -n 1)
# MEMORY_TEMP=DIR: the prefix's Temp folder becomes a link to DIR (a folder
# on a memory file system), so that file creation costs little on either side.
if [[ -n ${MEMORY_TEMP:-} && -n $temp ]]; then
  mkdir -p "$MEMORY_TEMP"
  if [[ ! -L $temp ]]; then rm -rf "$temp"; ln -s "$MEMORY_TEMP" "$temp"; fi
  [[ $(readlink "$temp") == "$MEMORY_TEMP" ]] || { echo "$temp does not lead to $MEMORY_TEMP" >&2; exit 1; }
fi
[[ -d $temp ]] || { echo "no Temp folder in $WINEPREFIX" >&2; exit 1; }
native_out=$temp/NATIVE_EXTRACT
trap 'rm -rf "$temp"/SETUP_* "$native_out"' EXIT

# files_span DIR: "FIRST_BIRTH_NS LAST_CHANGE_NS" of the files below DIR.
files_span() {
  find "$1" -type f -exec stat -c '%.9W %.9Z' {} + | awk '
    { b = $1 * 1e9; c = $2 * 1e9
      if (NR == 1 || b < first) first = b
      if (NR == 1 || c > last) last = c }
    END { if (NR == 0 || first <= 0) exit 1; printf "%.0f %.0f\n", first, last }'
}

# Runs a setup; prints "FIRST WINDOW ENGINE" (ns) of that run.
setup_run() {
  local exe=$1 t0 pid dir span ticks waited=0
  rm -f "$log"
  sync
  t0=$(date +%s%N)
  wine "$exe" /hide >/dev/null 2>&1 &
  pid=$!
  # The engine writes its log as it starts, then sleeps while the files are looked at.
  until [[ -s $log ]]; do
    sleep 0.02
    (( ++waited < 6000 )) && kill -0 "$pid" 2>/dev/null || { echo "$exe: the engine did not start" >&2; return 1; }
  done
  dir=$(ls -d "$temp"/SETUP_* | head -n 1)
  span=$(files_span "$dir") || { echo "no birth times in $dir (the file system keeps none)" >&2; return 1; }
  wait "$pid" || { echo "$exe: exit code $?" >&2; return 1; }
  ticks=$(tr -d '\r' <"$log" | sed -n 's/^StartTime=//p')
  # FILETIME: 100 ns ticks since 1601-01-01 UTC; 11644473600 s before 1970.
  read -r first last <<<"$span"
  echo "$(( first - t0 )) $(( last - first )) $(( (ticks - 116444736000000000) * 100 - t0 ))"
}

native_run() { # prints "WALL WINDOW" (ns)
  local t0 t1 span
  rm -rf "$native_out"
  sync
  t0=$(date +%s%N)
  "$tool" extract --no-progress "$native_setup" "$native_out" >/dev/null
  t1=$(date +%s%N)
  span=$(files_span "$native_out") || { echo "no birth times in $native_out" >&2; return 1; }
  rm -rf "$native_out"
  read -r first last <<<"$span"
  echo "$(( t1 - t0 )) $(( last - first ))"
}

least() { if [[ -z $1 ]] || (( $2 < $1 )); then echo "$2"; else echo "$1"; fi; }

wine "$(dirname "$setup")/wine/TestEngine.exe" >/dev/null 2>&1 || true  # wine's files into the cache
nw="" nx="" bf="" sf="" sx="" se=""
round_native() {
  out=$(native_run) || exit 1
  read -r wall window <<<"$out"
  nw=$(least "$nw" "$wall") nx=$(least "$nx" "$window")
}
round_setups() {
  out=$(setup_run "$bare") || exit 1
  read -r first _ _ <<<"$out"
  bf=$(least "$bf" "$first")
  out=$(setup_run "$setup") || exit 1
  read -r first window engine <<<"$out"
  seen=$(grep -c '^File=' "$log" || true)
  (( seen == files )) || { echo "the engine saw $seen files beside itself, not $files" >&2; exit 1; }
  sf=$(least "$sf" "$first") sx=$(least "$sx" "$window") se=$(least "$se" "$engine")
}
# Files deleted a moment ago can make creating files slower (ext4 without a
# journal passes over recently freed inodes): the order alternates so that
# neither side always comes after the other's deletions.
# A round untimed first: a new prefix is still busy with its own start for a while.
round_native; round_setups
nw="" nx="" bf="" sf="" sx="" se=""
for ((r = 0; r < runs; r++)); do
  if (( r % 2 == 0 )); then round_native; round_setups; else round_setups; round_native; fi
done
echo "$nw $nx $bf $sf $sx $se"
