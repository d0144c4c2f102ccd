#!/usr/bin/env bash
# Extraction benchmark: our unpacker (varnel-pack extract) against unzip and
# 7z on the same payload zipped with zip -6. Prints, per tool, the best wall
# time of three runs, the output rate, the peak resident memory, and the
# ratios to ours, with the goal figures beside them. More rows time the real
# setup: the payload behind the win64 and the i686 VarnelStub.exe with the
# test engine as engine, run with /hide under wine (bench/extract-wine-times.sh),
# beside our native extraction into the same folder.
#
# usage: bench/extract-bench.sh [SIZE_MB]      (default 256; 32 for a quick run)
# env:   VARNEL_PACK  varnel-pack binary (default build/native/tools/varnel-pack/varnel-pack)
#        STUB         stub executable (default build/win32/src/stub/VarnelStub.exe
#                     if present, otherwise a minimal stand-in)
#        WIN64_BUILD  win64 build for the wine row (default build/win64; the row
#                     is skipped when it or wine64 is missing)
#        RUNS         runs per tool, best is kept (default 3)
#        KEEP=1       keep the scratch folder
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

size_mb=${1:-256}
runs=${RUNS:-3}
if ! [[ $size_mb =~ ^[0-9]+$ ]] || (( size_mb < 8 )); then
  echo "SIZE_MB must be a number >= 8" >&2; exit 2
fi

tool=${VARNEL_PACK:-$root/build/native/tools/varnel-pack/varnel-pack}
[[ -x $tool ]] || { echo "varnel-pack not found at $tool (build the native preset)" >&2; exit 2; }
tool=$(realpath "$tool")
for t in zip unzip 7z openssl /usr/bin/time; do
  command -v "$t" >/dev/null || { echo "missing $t (run scripts/setup.sh)" >&2; exit 2; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/extract-bench.XXXXXX")
cleanup() { if [[ ${KEEP:-0} == 1 ]]; then echo "scratch kept: $scratch"; else rm -rf "$scratch"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM
cd "$scratch"
mkdir payload

# ---- payload -------------------------------------------------------------
# Deterministic: text from a seeded awk generator, random bytes from AES-CTR
# over zeros with a fixed key (a different IV per file).
MB=1048576
text_file() { # PATH BYTES SEED
  awk -v seed="$3" -v bytes="$2" 'BEGIN {
    srand(seed)
    n = split("the of and to in is that for it as was with be by on not he this are or his from at which but have an they you were her she there been one all we their has would when if so no more out up into do any your what some time can only other new about may these its than first also could after like over such made most very where through well should years use because each between must same how both under those while work part system file package setup data value", w, " ")
    s = 0
    while (s < bytes) {
      l = ""; k = 4 + int(rand() * 12)
      for (i = 0; i < k; i++) l = l w[1 + int(rand() * n)] " "
      l = l int(rand() * 100000)
      if (s + length(l) + 1 > bytes) l = substr(l, 1, bytes - s - 1)
      print l; s += length(l) + 1
    }
  }' > "$1"
}
random_file() { # PATH BYTES SEED
  openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f \
    -iv "$(printf '%016x%016x' "$3" 0)" < /dev/zero 2>/dev/null | head -c "$2" > "$1" || true
}

total=$(( size_mb * MB ))
big=$(( total * 100 / 256 ))           # "about 100 MB" at the default size
rest=$(( total - big ))
text_total=$(( rest * 2 / 3 ))
rand_total=$(( rest - text_total ))
nfiles=$(( size_mb * 300 / 256 )); (( nfiles >= 30 )) || nfiles=30
ntext=$(( nfiles * 4 / 5 )); nrand=$(( nfiles - ntext ))

echo "payload: $size_mb MB in $scratch/payload ..."
mkdir -p payload/docs payload/data payload/bin
# Text files of varying sizes (weights 1..8), summing to text_total.
wsum=0; for ((i = 0; i < ntext; i++)); do wsum=$(( wsum + 1 + i % 8 )); done
left=$text_total
for ((i = 0; i < ntext; i++)); do
  b=$(( text_total * (1 + i % 8) / wsum )); (( i == ntext - 1 )) && b=$left
  left=$(( left - b ))
  text_file "payload/docs/text$(printf %04d $i).txt" "$b" $(( 1000 + i ))
done
left=$rand_total
for ((i = 0; i < nrand; i++)); do
  b=$(( rand_total / nrand )); (( i == nrand - 1 )) && b=$left
  left=$(( left - b ))
  random_file "payload/bin/blob$(printf %04d $i).bin" "$b" $(( 5000 + i ))
done
# The big file: 1 MB text and 1 MB random chunks, alternating.
chunks=$(( big / MB ))
text_file big.txt $(( ((chunks + 1) / 2) * MB )) 42
random_file big.rnd $(( (chunks / 2) * MB + big % MB )) 43
{
  for ((c = 0; c < chunks; c++)); do
    if (( c % 2 == 0 )); then dd if=big.txt bs=$MB skip=$(( c / 2 )) count=1 status=none
    else dd if=big.rnd bs=$MB skip=$(( c / 2 )) count=1 status=none; fi
  done
  dd if=big.rnd bs=$MB skip=$(( chunks / 2 )) status=none
} > payload/data/big.dat
rm big.txt big.rnd
printf 'engine' > payload/Engine.exe
find payload -exec touch -d '2026-01-01 12:00:00' {} +   # same dates, same package bytes
bytes=$(find payload -type f -printf "%s\n" | awk "{ s += \$1 } END { print s }")
echo "payload: $(find payload -type f | wc -l) files, $bytes bytes"

# ---- archives ------------------------------------------------------------
if [[ -n ${STUB:-} ]]; then stub=$STUB
elif [[ -f $root/build/win32/src/stub/VarnelStub.exe ]]; then stub=$root/build/win32/src/stub/VarnelStub.exe
else
  # A stand-in stub: "MZ" at 0 and "PE" at 256 are all the builder checks.
  { printf 'MZ'; head -c 254 /dev/zero; printf 'PE'; head -c 766 /dev/zero; } > stub.exe
  stub=stub.exe
fi
/usr/bin/time -f '%e %M' -o build.time \
  "$tool" build --no-progress --stub "$stub" -o setup.exe --engine Engine.exe --seed 1 payload
(cd payload && /usr/bin/time -f '%e %M' -o ../zip.time zip -6 -X -r -q ../payload.zip .)
echo "setup.exe: $(stat -c %s setup.exe) bytes with the $(stat -c %s "$stub")-byte stub (built in $(cut -d' ' -f1 build.time) s)," \
     "payload.zip: $(stat -c %s payload.zip) bytes (zipped in $(cut -d' ' -f1 zip.time) s)"

# ---- runs ----------------------------------------------------------------
# Best wall time of $runs runs (clock around /usr/bin/time, ms resolution);
# peak RSS (/usr/bin/time %M) is the largest seen. Output folder
# is removed (untimed) before each run; the archive stays in the page cache.
declare -A best_t peak_m wine_x wine_native
measure() { # NAME CMD...
  local name=$1; shift
  local bt="" pm=0 t m
  for ((r = 0; r < runs; r++)); do
    rm -rf out; sync
    local t0 t1
    t0=$(date +%s%N)
    /usr/bin/time -f '%M' -o run.time "$@" > run.log 2>&1 || { cat run.log >&2; echo "$name failed" >&2; exit 1; }
    t1=$(date +%s%N)
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    m=$(tail -n 1 run.time)
    if [[ -z $bt ]] || awk -v a="$t" -v b="$bt" 'BEGIN { exit !(a < b) }'; then bt=$t; fi
    if (( m > pm )); then pm=$m; fi
  done
  best_t[$name]=$bt; peak_m[$name]=$pm
}

measure ours "$tool" extract --no-progress setup.exe out
diff -rq payload out > /dev/null || { echo "ours: extracted files differ from the payload" >&2; exit 1; }
measure unzip unzip -q payload.zip -d out
measure 7z 7z x -y -oout payload.zip
rm -rf out

# ---- the setup under wine ------------------------------------------------
# The same payload, plus the test engine as TestEngine.exe, behind the win64
# stub and, when the win32 build has it, behind the i686 release stub; a
# setup with the engine only beside each. Timed from the files the stub
# writes into its working folder (see bench/extract-wine-times.sh), beside
# our native extraction into the same folder. The prefix lives in the win64
# build tree; it is created and its server started before anything is timed.
win64=${WIN64_BUILD:-$root/build/win64}
win32_stub=${WIN32_STUB:-$root/build/win32/src/stub/VarnelStub.exe}
wine_note=""
declare -A wine_times
wine_rows=()
if ! command -v wine >/dev/null; then
  wine_note="wine64 is missing (run scripts/setup.sh)"
elif ! command -v Xvfb >/dev/null; then
  wine_note="Xvfb is missing (run scripts/setup.sh)"
elif [[ ! -f $win64/src/stub/VarnelStub.exe || ! -f $win64/tools/test-engine/test-engine.exe ]]; then
  wine_note="no win64 build in $win64 (VarnelStub.exe and test-engine.exe; cmake --preset win64 && cmake --build --preset win64)"
else
  mkdir -p wine
  cp "$win64/tools/test-engine/test-engine.exe" wine/TestEngine.exe
  nwine=$(( $(find payload -type f | wc -l) + 1 ))
  stubs=("x86_64:$win64/src/stub/VarnelStub.exe")
  [[ -f $win32_stub ]] && stubs+=("i686:$win32_stub")
  for entry in "${stubs[@]}"; do
    arch=${entry%%:*} wstub=${entry#*:}
    echo "setup under wine: packing with $wstub ..."
    "$tool" build --no-progress --stub "$wstub" -o "setup-wine-$arch.exe" \
      --engine TestEngine.exe --seed 1 payload wine/TestEngine.exe
    "$tool" build --no-progress --stub "$wstub" -o "setup-bare-$arch.exe" \
      --engine TestEngine.exe --seed 1 wine/TestEngine.exe
    # On the disk of the build tree, and in a folder on the memory file
    # system where the machine has one.
    for place in disk memory; do
      prefix=$win64/wineprefix-bench memory_temp=""
      if [[ $place == memory ]]; then
        [[ -d /dev/shm && -w /dev/shm ]] || continue
        prefix=$win64/wineprefix-bench-memory memory_temp=/dev/shm/varnel-bench-temp
      fi
      if wine_ns=$(WINEPREFIX="$prefix" MEMORY_TEMP="$memory_temp" "$root/scripts/with-xvfb.sh" \
                     bash "$root/bench/extract-wine-times.sh" "$scratch/setup-wine-$arch.exe" \
                     "$scratch/setup-bare-$arch.exe" "$scratch/setup.exe" "$tool" "$runs" "$nwine"); then
        wine_times[$arch/$place]=$wine_ns
        wine_rows+=("$arch/$place")
      else
        wine_note="the setup run under wine failed with the $arch stub (see above)"
      fi
    done
    rm -rf /dev/shm/varnel-bench-temp
  done
fi

# ---- table ---------------------------------------------------------------
echo
printf 'extraction of %d MB (%s bytes, %d files), best of %d\n' "$size_mb" "$bytes" "$(find payload -type f | wc -l)" "$runs"
printf '%-16s %9s %9s %10s %10s %10s\n' tool 'time s' 'MB/s' 'peak MiB' 'time/ours' 'mem/ours'
for name in ours unzip 7z; do
  awk -v n="$name" -v t="${best_t[$name]}" -v m="${peak_m[$name]}" -v b="$bytes" \
      -v ot="${best_t[ours]}" -v om="${peak_m[ours]}" 'BEGIN {
    rate = (t > 0) ? b / 1048576 / t : 0
    printf "%-16s %9.3f %9.1f %10.1f %10.2f %10.2f\n", n, t, rate, m / 1024, (ot > 0 ? t / ot : 0), m / om
  }'
done
for arch in "${wine_rows[@]}"; do
  read -r nat_wall nat_window bare_first setup_first setup_window setup_engine <<<"${wine_times[$arch]}"
  # Extraction under wine: what the payload adds before the first file (the
  # package's check) and the span from the first file to the last.
  x=$(awk -v bf="$bare_first" -v sf="$setup_first" -v sx="$setup_window" 'BEGIN {
    pre = sf - bf; if (pre < 0) pre = 0; printf "%.3f", (pre + sx) / 1e9 }')
  nat=$(awk -v w="$nat_wall" 'BEGIN { printf "%.3f", w / 1e9 }')
  awk -v a="$arch" -v x="$x" -v b="$bytes" -v ot="${best_t[ours]}" 'BEGIN {
    printf "%-16s %9.3f %9.1f %10s %10.2f %10s\n", "wine/" a, x, b / 1048576 / x, "-", x / ot, "-"
  }'
  wine_rows_text+=$(awk -v a="$arch" -v nw="$nat_wall" -v nx="$nat_window" -v bf="$bare_first" \
      -v sf="$setup_first" -v sx="$setup_window" -v se="$setup_engine" -v x="$x" 'BEGIN {
    split(a, part, "/")
    printf "\n%s: the %s VarnelStub.exe with /hide under wine, its working folder on %s (best of each):\n",
      a, part[1], (part[2] == "disk" ? "the disk" : "a memory file system")
    printf "  %7.3f s  launch to the first file, a setup with the engine only (start-up, 1 s wait)\n", bf / 1e9
    printf "  %7.3f s  launch to the first file, the setup with the payload\n", sf / 1e9
    printf "  %7.3f s  first file to last file of the setup with the payload\n", sx / 1e9
    printf "  %7.3f s  extraction under wine: the second less the first (when more), plus the third\n", x
    printf "  %7.3f s  launch to the engine'"'"'s start (fixed waits included)\n", se / 1e9
    printf "  %7.3f s  ours natively into the same folder, in the same rounds (first to last file %.3f s)\n",
      nw / 1e9, nx / 1e9
  }')$'\n'
  wine_x[$arch]=$x
  wine_native[$arch]=$nat
done
printf '%s' "${wine_rows_text:-}"
if [[ -n $wine_note ]]; then echo "stub/wine: $wine_note"; fi
echo
awk -v ot="${best_t[ours]}" -v st="${best_t[7z]}" -v om="${peak_m[ours]}" 'BEGIN {
  goal = 0.5 * st
  printf "goal: ours time <= 0.5 x 7z time:  %.3f s <= %.3f s  %s\n", ot, goal, (ot <= goal ? "MET" : "NOT MET")
  printf "goal: ours peak memory < 64 MiB:   %.1f MiB        %s\n", om / 1024, (om / 1024 < 64 ? "MET" : "NOT MET")
}'
for arch in "${wine_rows[@]}"; do
  awk -v a="$arch" -v x="${wine_x[$arch]}" -v nt="${wine_native[$arch]}" 'BEGIN {
    printf "goal: extraction under wine (%s) <= 1.3 x ours in the same folder: %.3f s <= %.3f s  %s\n", a, x,
      1.3 * nt, (x <= 1.3 * nt ? "MET" : "NOT MET")
  }'
done
