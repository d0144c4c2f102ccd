#!/usr/bin/env bash
# Signature verification benchmark: the time to verify a signed update of
# SIZE_MB, by `varnel-pack verify` (the stub's own verification code: the
# SHA-256 of the file read in blocks, then ECDSA P-256) under wine64, beside
# `openssl dgst -sha256 -verify` natively and `varnel-pack verify` natively,
# in one run on the same file. Wine's start-up (the same program printing its
# usage) is timed on its own and taken off the wine figure.
#
# usage: bench/verify-bench.sh [SIZE_MB]      (default 256)
# env:   VARNEL_PACK      native varnel-pack (default build/native/tools/varnel-pack/varnel-pack)
#        VARNEL_PACK_EXE  win64 varnel-pack.exe (default build/win64/tools/varnel-pack/varnel-pack.exe)
#        RUNS             runs per row, best is kept (default 5)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-256}
runs=${RUNS:-5}
pack=${VARNEL_PACK:-$root/build/native/tools/varnel-pack/varnel-pack}
pack_exe=${VARNEL_PACK_EXE:-$root/build/win64/tools/varnel-pack/varnel-pack.exe}
for f in "$pack" "$pack_exe"; do
  [[ -x $f || -f $f ]] || { echo "verify-bench: $f is missing (build native and win64 first)" >&2; exit 1; }
done
export WINEPREFIX=${WINEPREFIX:-$root/build/win64/wineprefix} WINEDEBUG=-all

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
head -c $((size_mb << 20)) \
  < <(openssl enc -aes-128-ctr -K 00112233445566778899aabbccddeeff -iv 0 -nosalt -in /dev/zero 2>/dev/null) > update.exe
"$pack" keygen publisher.pem publisher.pub >/dev/null
"$pack" sign update.exe --key publisher.pem >/dev/null
openssl pkey -in publisher.pem -pubout -out publisher-pub.pem
openssl dgst -sha256 -sign publisher.pem -out update.der update.exe

# Best wall time in seconds of "$@" over $runs runs; the command must succeed.
best() {
  local best_ns=-1 start end
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "verify-bench: failed: $*" >&2; exit 1; }
    end=$(date +%s%N)
    if (( best_ns < 0 || end - start < best_ns )); then best_ns=$((end - start)); fi
  done
  echo "scale=3; $best_ns / 1000000000" | bc
}

cat update.exe > /dev/null  # the file comes from the page cache for every row
openssl_s=$(best openssl dgst -sha256 -verify publisher-pub.pem -signature update.der update.exe)
native_s=$(best "$pack" verify update.exe --pub publisher.pub)
scripts_wine=$root/scripts/wine-run.sh
"$scripts_wine" "$pack_exe" --help >/dev/null 2>&1 || true  # prefix and wineserver up
startup_s=$(best bash -c "'$scripts_wine' '$pack_exe' verify --help; true")
wine_s=$(best "$scripts_wine" "$pack_exe" verify "$(winepath -w update.exe 2>/dev/null || echo update.exe)" --pub publisher.pub)
wine_net_s=$(echo "scale=3; $wine_s - $startup_s" | bc)
ratio=$(echo "scale=2; $wine_net_s / $openssl_s" | bc)

printf 'verification of a signed %d MB update (best of %d)\n' "$size_mb" "$runs"
printf '  %-44s %8.3f s\n' "openssl dgst -sha256 -verify (native)" "$openssl_s"
printf '  %-44s %8.3f s\n' "varnel-pack verify (native)" "$native_s"
printf '  %-44s %8.3f s\n' "varnel-pack.exe verify (wine64)" "$wine_s"
printf '  %-44s %8.3f s\n' "  wine start-up alone" "$startup_s"
printf '  %-44s %8.3f s   %.2f x openssl (goal: at most 1.5)\n' "  verification under wine64" "$wine_net_s" "$ratio"
