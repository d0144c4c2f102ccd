#!/usr/bin/env bash
# Extraction benchmark: our unpacker (varnel-pack extract) against unzip and
# 7z on the same payload zipped with zip -6. Prints, per tool, the best wall
# time of three runs, the output rate, the peak resident memory, and the
# ratios to ours, with the goal figures beside them. One more row times the
# real setup: the payload behind the win64 VarnelStub.exe with the test
# engine as engine, run with /hide under wine64, from its launch to the
# engine's start; wine's start-up and a setup with the engine only are
# timed beside it, so that the extraction under wine can be told apart.
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
self=$root/bench/extract-bench.sh

# ---- inner mode: the wine timings, on the display of scripts/with-xvfb.sh --
# --wine-times SETUP BARE_SETUP ENGINE RUNS FILES: prints the best nanoseconds
# from launch to the engine's StartTime= of the test engine alone, of the
# setup with the engine only, and of the setup (checking that its engine saw
# FILES files beside itself).
if [[ ${1:-} == --wine-times ]]; then
  setup=$2 bare=$3 engine=$4 runs=$5 files=$6
  log=$(dirname "$setup")/engine.log
  export VARNEL_ENGINE_LOG="Z:${log//\//\\}" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
  trap 'rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/SETUP_*' EXIT
  "$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true   # creates the prefix, untimed
  wineserver -w                                                      # then one server for all runs,
  wineserver -p >/dev/null 2>&1 </dev/null || true                   # stopped by with-xvfb.sh
  wine "$engine" >/dev/null 2>&1 || true                             # loads wine's files into the cache
  # launch_to_engine CMD...: nanoseconds from launch to the engine's start.
  launch_to_engine() {
    rm -f "$log"
    local t0 ticks
    t0=$(date +%s%N)
    wine "$@" >/dev/null 2>&1 || { echo "wine $*: exit code $?" >&2; return 1; }
    ticks=$(tr -d '\r' <"$log" 2>/dev/null | sed -n 's/^StartTime=//p')
    [[ -n $ticks ]] || { echo "the test engine logged no StartTime= (rebuild the win64 test-engine)" >&2; return 1; }
    # FILETIME: 100 ns ticks since 1601-01-01 UTC; 11644473600 s before 1970.
    echo $(( (ticks - 116444736000000000) * 100 - t0 ))
  }
  best() { # CMD...: the least of $runs launch_to_engine figures
    local b="" t
    for ((r = 0; r < runs; r++)); do
      t=$(launch_to_engine "$@") || return 1
      if [[ -z $b ]] || (( t < b )); then b=$t; fi
    done
    echo "$b"
  }
  engine_ns=$(best "$engine") || exit 1
  bare_ns=$(best "$bare" /hide) || exit 1
  setup_ns=$(best "$setup" /hide) || exit 1
  seen=$(grep -c '^File=' "$log" || true)
  (( seen == files )) || { echo "the engine saw $seen files beside itself, not $files" >&2; exit 1; }
  echo "$engine_ns $bare_ns $setup_ns"
  exit 0
fi

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
declare -A best_t peak_m wine_x
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
# stub and, when the win32 build has it, behind the i686 release stub. Timed
# from the launch of the stub (date before wine starts it) to the engine's
# start (StartTime= in its log): wine's start-up, the stub's fixed waits and
# the extraction. A setup with the engine only, timed the same way, tells the
# extraction apart. The prefix lives in the win64 build tree; it is created
# and its server started before anything is timed.
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
    if wine_ns=$(WINEPREFIX="$win64/wineprefix-bench" "$root/scripts/with-xvfb.sh" \
                   bash "$self" --wine-times "$scratch/setup-wine-$arch.exe" "$scratch/setup-bare-$arch.exe" \
                   "$scratch/wine/TestEngine.exe" "$runs" "$nwine"); then
      wine_times[$arch]=$wine_ns
      wine_rows+=("$arch")
    else
      wine_note="the setup run under wine failed with the $arch stub (see above)"
    fi
  done
fi

# ---- table ---------------------------------------------------------------
echo
printf 'extraction of %d MB (%s bytes, %d files), best of %d\n' "$size_mb" "$bytes" "$(find payload -type f | wc -l)" "$runs"
printf '%-9s %9s %9s %10s %10s %10s\n' tool 'time s' 'MB/s' 'peak MiB' 'time/ours' 'mem/ours'
for name in ours unzip 7z; do
  awk -v n="$name" -v t="${best_t[$name]}" -v m="${peak_m[$name]}" -v b="$bytes" \
      -v ot="${best_t[ours]}" -v om="${peak_m[ours]}" 'BEGIN {
    rate = (t > 0) ? b / 1048576 / t : 0
    printf "%-9s %9.3f %9.1f %10.1f %10.2f %10.2f\n", n, t, rate, m / 1024, (ot > 0 ? t / ot : 0), m / om
  }'
done
for arch in "${wine_rows[@]}"; do
  read -r wine_start_ns wine_bare_ns wine_setup_ns <<<"${wine_times[$arch]}"
  awk -v a="$arch" -v s="$wine_start_ns" -v e="$wine_bare_ns" -v n="$wine_setup_ns" -v b="$bytes" \
      -v ot="${best_t[ours]}" 'BEGIN {
    t = n / 1e9; s /= 1e9; e /= 1e9; x = t - e
    printf "%-9s %9.3f %9.1f %10s %10.2f %10s\n", "wine/" a, t, b / 1048576 / t, "-", t / ot, "-"
    printf "\nwine/%s: the %s VarnelStub.exe with /hide under wine, from its launch to the\n", a, a
    printf "start of its engine (best of each):\n"
    printf "  %7.3f s  wine start-up: the test engine started alone\n", s
    printf "  %7.3f s  a setup with the engine only: the stub'"'"'s start-up and window, its fixed\n", e
    printf "             waits (first timer tick, 1 s before and 1 s after unpacking), the engine'"'"'s start\n"
    printf "  %7.3f s  the difference: extraction under wine, %.1f MB/s, %.2f x ours\n\n", \
      x, (x > 0 ? b / 1048576 / x : 0), x / ot
  }'
  wine_x[$arch]=$(awk -v e="$wine_bare_ns" -v n="$wine_setup_ns" 'BEGIN { printf "%.3f", (n - e) / 1e9 }')
done
if [[ -n $wine_note ]]; then echo "stub/wine: $wine_note"; fi
echo
awk -v ot="${best_t[ours]}" -v st="${best_t[7z]}" -v om="${peak_m[ours]}" 'BEGIN {
  goal = 0.5 * st
  printf "goal: ours time <= 0.5 x 7z time:  %.3f s <= %.3f s  %s\n", ot, goal, (ot <= goal ? "MET" : "NOT MET")
  printf "goal: ours peak memory < 64 MiB:   %.1f MiB        %s\n", om / 1024, (om / 1024 < 64 ? "MET" : "NOT MET")
}'
for arch in "${wine_rows[@]}"; do
  awk -v a="$arch" -v x="${wine_x[$arch]}" -v ot="${best_t[ours]}" 'BEGIN {
    printf "goal: extraction under wine (%s) <= 1.3 x ours: %.3f s <= %.3f s  %s\n", a, x, 1.3 * ot,
      (x <= 1.3 * ot ? "MET" : "NOT MET")
  }'
done
