#!/usr/bin/env bash
# Builds every configuration and runs all tests: natively, then the Windows
# build under wine with its own prefix and a private Xvfb display. The build
# checks the release stub's size budget (scripts/check-stub-size.sh); the
# win64 test executables that run the stub run a second time against the
# i686 release stub (their "_i686" tests), so win32 is built before they run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native win64 win32

echo "== test native" >&2
ctest --preset native

echo "== test win64, end-to-end also against the i686 release stub (wine)" >&2
export WINEPREFIX="$PWD/build/win64/wineprefix"
# A 2 MiB tmpfs (as root) serves the test of a temp drive short of room;
# nginx and the fault server on 127.0.0.1 serve the downloads (with-web.sh). The
# prefix is started once and left to settle, so that the first tests do not
# meet wine still finishing a new prefix (a process start can fail then).
scripts/with-xvfb.sh scripts/with-web.sh scripts/with-small-drive.sh "$PWD/build/win64/small-drive" \
  bash -c 'scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1; wineserver -w; ctest --preset win64'
