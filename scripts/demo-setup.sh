#!/usr/bin/env bash
# Packs examples/sample-product with the test engine as its setup engine,
# runs the setup under wine with /hide on a private display, and shows what
# happened: the engine's command line and the files it found beside itself,
# the setup's exit code, and whether the working directory is gone.
#
# usage: scripts/demo-setup.sh VARNEL_PACK WIN64_BUILD_DIR [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
pack=$(realpath "$1")
win64=$(realpath "$2")
out=$(realpath -m "${3:-build/demo}")
wine=${WINE:-wine}

rm -rf "$out"
mkdir -p "$out/payload"
cp -r examples/sample-product/. "$out/payload/"
cp "$win64/tools/test-engine/test-engine.exe" "$out/payload/Engine.exe"
"$pack" build --stub "$win64/src/stub/VarnelStub.exe" --output "$out/Setup.exe" \
  --engine Engine.exe --engine-args "/FromPackage=1" "$out/payload" >/dev/null
echo "Demo setup written to $out/Setup.exe ($(stat -c %s "$out/Setup.exe") bytes)"

export WINEPREFIX=${WINEPREFIX:-$win64/wineprefix}
export WINEDEBUG=-all
log_unix=$out/engine.log
export VARNEL_ENGINE_LOG="Z:${log_unix//\//\\}"
export VARNEL_ENGINE_EXIT=${VARNEL_ENGINE_EXIT:-7}
export VARNEL_ENGINE_REMOVEATOM=1

set +e
scripts/with-xvfb.sh sh -c "\"$wine\" \"$out/Setup.exe\" /hide /Demo=1 >/dev/null 2>&1; echo \$? >\"$out/exit-code\""
set -e
code=$(cat "$out/exit-code" 2>/dev/null || echo "?")

if [ ! -s "$log_unix" ]; then
  echo "The engine did not run (setup exit code $code)."
  exit 1
fi
tr -d '\r' <"$log_unix" >"$out/engine.txt"
echo "Engine command line: $(sed -n 's/^CommandLine=//p' "$out/engine.txt")"
echo "Files beside the engine (name|size|DOS date):"
sed -n 's/^File=/  /p' "$out/engine.txt"
echo "Setup exit code: $code (the engine's: $VARNEL_ENGINE_EXIT)"
engine_dir=$(sed -n 's/^EngineDir=//p' "$out/engine.txt")
engine_dir_unix=""
case "$engine_dir" in
  [Cc]:\\*) engine_dir_unix="$WINEPREFIX/drive_c/$(printf '%s' "${engine_dir:3}" | tr '\\' '/')" ;;
esac
if [ -n "$engine_dir_unix" ] && [ ! -e "$engine_dir_unix" ]; then
  echo "Working directory $engine_dir: deleted"
else
  echo "Working directory $engine_dir: still there"
fi
