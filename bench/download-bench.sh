#!/usr/bin/env bash
# Download benchmark: one file served by nginx on loopback (scripts/with-web.sh),
# fetched by curl into a file, by a plain WinINet reader with 1 MiB reads
# (tools/wininet-get) under wine64, and by the stub's downloader
# (HTTP_DownloadFile_Incremental, tools/http-get) under wine64. Prints, per
# tool, the best rate of RUNS runs, the peak memory, and the ratios, with the
# goal figures beside them.
#
# usage: bench/download-bench.sh [SIZE_MB]      (default 256; 32 for a quick run)
# env:   WIN64_BUILD  win64 build with the two tools (default build/win64)
#        RUNS         runs per tool, best is kept (default 3)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
self=$root/bench/download-bench.sh
MB=1048576

# ---- inner mode: inside scripts/with-xvfb.sh and scripts/with-web.sh -------
if [[ ${1:-} == --inner ]]; then
  size_mb=$2 build=$3 runs=$4
  : "${VARNEL_WEB_ROOT:?run through bench/download-bench.sh (needs scripts/with-web.sh)}"
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/download-bench.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
  export WINEPREFIX=$build/wineprefix-bench WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
  bytes=$(( size_mb * MB ))
  # Random bytes from AES-CTR with a fixed key: the same size gives the same file.
  openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv 0 </dev/zero 2>/dev/null |
    head -c "$bytes" >"$VARNEL_WEB_ROOT/bench.bin" || true
  url=$VARNEL_HTTP_URL/bench.bin
  winpath() { echo "Z:${1//\//\\}"; }
  "$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true   # creates the prefix, untimed
  wineserver -p >/dev/null 2>&1 </dev/null || true                   # one server for all runs
  curl -s -o /dev/null "$url"                                        # the file into the page cache

  # Each runner prints "<ms> <peak KiB> <peak private KiB>" and leaves the file
  # at $scratch/out.bin. curl's peak is its maximum resident size (its
  # private figure is that too); a wine tool's is its PeakWorkingSetSize,
  # which counts wine's own libraries, and PeakPagefileUsage, the private
  # memory it committed.
  run_curl() {
    local t0 t1 kib
    t0=$(date +%s%N)
    kib=$( { /usr/bin/time -f %M curl -s -o "$scratch/out.bin" "$url"; } 2>&1 )
    t1=$(date +%s%N)
    echo "$(( (t1 - t0) / 1000000 )) $kib $kib"
  }
  run_wine() { # EXE
    local line ms peak private
    line=$(wine "$1" "$url" "$(winpath "$scratch/out.bin")" 2>&1 | tr -d '\r' | grep '^bytes=') ||
      { echo "$(basename "$1") failed" >&2; return 1; }
    ms=$(sed -n 's/.* ms=\([0-9]*\).*/\1/p' <<<"$line")
    peak=$(sed -n 's/.* peak_ws=\([0-9]*\).*/\1/p' <<<"$line")
    private=$(sed -n 's/.* peak_private=\([0-9]*\).*/\1/p' <<<"$line")
    echo "$ms $(( peak / 1024 )) $(( private / 1024 ))"
  }
  expected=$(sha256sum <"$VARNEL_WEB_ROOT/bench.bin")
  plain_exe=$build/tools/wininet-get/wininet-get.exe
  ours_exe=$build/tools/http-get/http-get.exe
  # One untimed run of each: wine's first WinINet transfer in a prefix is slow.
  run_wine "$plain_exe" >/dev/null && run_wine "$ours_exe" >/dev/null
  # The tools take turns, so that a busy moment of the machine hits them alike;
  # per tool the best time and the largest peak are kept.
  declare -A best_ms peak_kib private_kib
  measure() { # NAME RUNNER ARGS...
    local name=$1 ms kib pkib
    shift
    rm -f "$scratch/out.bin"
    read -r ms kib pkib < <("$@") || return 1
    [[ $(sha256sum <"$scratch/out.bin") == "$expected" ]] || { echo "$name: the file differs" >&2; return 1; }
    (( ms > 0 )) || ms=1
    if [[ -z ${best_ms[$name]:-} ]] || (( ms < best_ms[$name] )); then best_ms[$name]=$ms; fi
    if [[ -z ${peak_kib[$name]:-} ]] || (( kib > peak_kib[$name] )); then peak_kib[$name]=$kib; fi
    if [[ -z ${private_kib[$name]:-} ]] || (( pkib > private_kib[$name] )); then private_kib[$name]=$pkib; fi
  }
  for ((r = 0; r < runs; r++)); do
    measure curl run_curl
    measure plain run_wine "$plain_exe"
    measure ours run_wine "$ours_exe"
  done
  curl_ms=${best_ms[curl]} plain_ms=${best_ms[plain]} ours_ms=${best_ms[ours]}
  wineserver -k >/dev/null 2>&1 || true

  rate() { awk -v b="$bytes" -v ms="$1" 'BEGIN { printf "%.1f", b / 1048576 / (ms / 1000) }'; }
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
  printf '\n%s MB over loopback from nginx, best of %s runs\n' "$size_mb" "$runs"
  printf '%-26s %8s %9s %10s %13s %11s\n' tool ms MB/s "peak MiB" "private MiB" "rate/ours"
  row() { # LABEL NAME
    printf '%-26s %8s %9s %10s %13s %11s\n' "$1" "${best_ms[$2]}" "$(rate "${best_ms[$2]}")" \
      "$(( peak_kib[$2] / 1024 ))" "$(( private_kib[$2] / 1024 ))" "$(ratio "$ours_ms" "${best_ms[$2]}")"
  }
  row "curl -o file" curl
  row "wininet-get (wine64)" plain
  row "http-get, ours (wine64)" ours
  echo
  echo "ours / plain WinINet rate: $(ratio "$plain_ms" "$ours_ms")   (goal: at least 0.80)"
  echo "ours / curl rate:          $(ratio "$curl_ms" "$ours_ms")"
  echo "peak memory, ours:         $(( peak_kib[ours] / 1024 )) MiB working set (wine's libraries included),"
  echo "                           $(( private_kib[ours] / 1024 )) MiB private   (goal: under 32 MiB)"
  exit 0
fi

size_mb=${1:-256}
runs=${RUNS:-3}
if ! [[ $size_mb =~ ^[0-9]+$ ]] || (( size_mb < 1 )); then
  echo "SIZE_MB must be a number >= 1" >&2; exit 2
fi
build=$(realpath "${WIN64_BUILD:-$root/build/win64}")
for exe in tools/wininet-get/wininet-get.exe tools/http-get/http-get.exe; do
  [[ -f $build/$exe ]] || { echo "missing $build/$exe (build the win64 preset)" >&2; exit 2; }
done
for t in curl openssl nginx wine wineserver /usr/bin/time sha256sum; do
  command -v "$t" >/dev/null || { echo "missing $t (run scripts/setup.sh)" >&2; exit 2; }
done
exec "$root/scripts/with-xvfb.sh" "$root/scripts/with-web.sh" "$self" --inner "$size_mb" "$build" "$runs"
