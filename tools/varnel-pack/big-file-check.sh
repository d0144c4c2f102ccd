#!/usr/bin/env bash
# Manual check of a file and a package beyond 4 GiB (too slow for the test
# suite): builds a setup from a 4.5 GiB file, stored (level 0) so that the
# package end pointer needs its high word, inspects it and extracts it with
# the stub's unpacker, then compares. Needs about 10 GiB of free space.
#
# usage: tools/varnel-pack/big-file-check.sh [BUILD_DIR] [WORK_DIR] [LEVEL]
set -euo pipefail
build=${1:-build/native}
work=${2:-$(mktemp -d)}
level=${3:-0}
tool=$(realpath "$build/tools/varnel-pack/varnel-pack")
mkdir -p "$work/payload" "$work/out"
cd "$work"

# A stand-in stub: "MZ" at 0 and "PE" at 256 are all the builder checks.
{ printf 'MZ'; head -c 254 /dev/zero; printf 'PE'; head -c 766 /dev/zero; } > stub.exe
# A sparse 4.5 GiB file with some bytes at its start, across 4 GiB and at its end.
truncate -s 4608M payload/big.bin
head -c 1048576 /dev/urandom | dd of=payload/big.bin conv=notrunc status=none
head -c 1048576 /dev/urandom | dd of=payload/big.bin bs=1M seek=4095 conv=notrunc status=none
head -c 1048576 /dev/urandom | dd of=payload/big.bin bs=1M seek=4607 conv=notrunc status=none
echo "small file" > payload/Engine.exe

time "$tool" build --stub stub.exe -o out/setup.exe --engine Engine.exe --level "$level" payload
"$tool" inspect --json out/setup.exe > inspect.json
size=$(stat -c %s out/setup.exe)
grep -q "\"packageEnd\":$size" inspect.json || { echo "package end is not the file size $size"; exit 1; }
grep -q '"problems":\[\]' inspect.json || { echo "inspect found problems"; exit 1; }
echo "package: $size bytes, $(grep -o '"name":"big.bin"' inspect.json | wc -l) entries for big.bin"
time "$tool" extract out/setup.exe extracted
cmp payload/big.bin extracted/big.bin
cmp payload/Engine.exe extracted/Engine.exe
echo "OK: the 4.5 GiB file came back whole (work folder: $work)"
