#!/usr/bin/env bash
# check-stub-size.sh [FILE [BUDGET_BYTES]]
# Prints the size of the release stub and fails when it exceeds the budget:
# 256 KiB, no larger than the stub image of the package layout's example.
set -u
file=${1:-build/win32/src/stub/VarnelStub.exe}
budget=${2:-262144}
if [ ! -f "$file" ]; then
  echo "size budget: $file is missing (build the win32 preset)" >&2
  exit 1
fi
size=$(stat -c %s "$file")
kib=$(( (size + 1023) / 1024 ))
if [ "$size" -gt "$budget" ]; then
  echo "size budget: FAILED: $file is $size bytes ($kib KiB), over the budget of $budget bytes ($((budget / 1024)) KiB)" >&2
  exit 1
fi
echo "size budget: $file is $size bytes ($kib KiB) of $budget bytes ($((budget / 1024)) KiB)" >&2
