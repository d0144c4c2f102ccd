#!/usr/bin/env bash
# Configures and builds the given presets (default: native win64 win32).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
for preset in "${@:-native win64 win32}"; do
  for p in $preset; do
    echo "== build $p" >&2
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p" -j "$jobs"
    if [ "$p" = win32 ]; then
      build/native/pe_fixup --check build/win32/src/stub/VarnelStub.exe 2>/dev/null \
        || build/win32/host/pe_fixup --check build/win32/src/stub/VarnelStub.exe
      # The release stub's size budget: a failed check fails the build.
      scripts/check-stub-size.sh build/win32/src/stub/VarnelStub.exe
    fi
  done
done
