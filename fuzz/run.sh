#!/usr/bin/env bash
# Builds the unpacker fuzz target (libFuzzer, ASan + UBSan) straight from the
# portable core and the POSIX backends, writes the seed corpus of real
# packages and fuzzes for a bounded time.
#
# Usage: fuzz/run.sh [seconds]          (default 60; 0 = no time limit)
# Environment: VARNEL_FUZZ_BUILD  build, corpus and artifact folder (default <repo>/build-fuzz)
#              VARNEL_FUZZ_TMP    folder the runs extract into, removed afterwards
#                                 (default: below /dev/shm when it exists, else <build>/tmp)
#              CXX                 clang++ by default
#              FUZZ_JOBS           parallel compiles (default 2)
#              FUZZ_RUNS           stop after this many executions (default: no limit)
# Extra libFuzzer options may follow the seconds: fuzz/run.sh 0 -jobs=1 ...
set -euo pipefail

seconds="${1:-60}"
shift || true
repo="$(cd "$(dirname "$0")/.." && pwd)"
out="${VARNEL_FUZZ_BUILD:-$repo/build-fuzz}"
cxx="${CXX:-clang++}"
jobs="${FUZZ_JOBS:-2}"
mkdir -p "$out/obj" "$out/corpus" "$out/seeds" "$out/artifacts"

common=(-std=c++20 -g -O1 -fno-omit-frame-pointer -I"$repo/src"
        -fsanitize=address,undefined -fno-sanitize-recover=undefined)

# Core and POSIX sources; the Win32 ones and the stub's process entry stay out.
mapfile -t sources < <(find "$repo/src" -name '*.cpp' ! -name '*_win32.cpp' | sort)

objects=()
pending=()
for src in "${sources[@]}"; do
  rel="${src#"$repo"/src/}"
  obj="$out/obj/${rel//\//_}.o"
  objects+=("$obj")
  # Rebuilt when the source or any project header is newer than the object.
  if [ ! -f "$obj" ] || [ -n "$(find "$repo/src" -newer "$obj" -name '*.[ch]*' -print -quit)" ]; then
    pending+=("$src" "$obj")
  fi
done
if [ "${#pending[@]}" -gt 0 ]; then
  echo "== compiling $(( ${#pending[@]} / 2 )) sources" >&2
  # The flags travel in a response file so that paths with blanks survive xargs.
  printf '"%s"\n' "${common[@]}" -fsanitize=fuzzer-no-link > "$out/compile.rsp"
  printf '%s\0' "${pending[@]}" | xargs -0 -n 2 -P "$jobs" sh -c '"$0" @"$1" -c "$2" -o "$3"' "$cxx" "$out/compile.rsp"
fi
echo "== linking" >&2
"$cxx" "${common[@]}" -fsanitize=fuzzer "$repo/fuzz/UnpackFuzz.cpp" "${objects[@]}" -ldeflate -lz -lcrypto -o "$out/unpack_fuzz"

rm -rf "$out/seeds"
VARNEL_FUZZ_SEEDS="$out/seeds" "$out/unpack_fuzz" >&2

echo "== fuzzing for $seconds s" >&2
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Each run extracts below this folder; it is removed afterwards. A memory
# file system spares the disk the many small files and doubles the speed.
if [ -z "${VARNEL_FUZZ_TMP:-}" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    VARNEL_FUZZ_TMP="/dev/shm/varnel-fuzz-$$"
  else
    VARNEL_FUZZ_TMP="$out/tmp"
  fi
fi
export VARNEL_FUZZ_TMP
runs=()
[ -n "${FUZZ_RUNS:-}" ] && runs=(-runs="$FUZZ_RUNS")
status=0
"$out/unpack_fuzz" -max_total_time="$seconds" "${runs[@]}" -max_len=32768 -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$out/artifacts/" "$@" "$out/corpus" "$out/seeds" || status=$?
rm -rf "$VARNEL_FUZZ_TMP"
exit "$status"
