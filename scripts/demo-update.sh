#!/usr/bin/env bash
# The agent's whole round under wine: installs version 1.0 of a sample product
# with a setup that carries the agent, starts the product, publishes version
# 2.0 on a local nginx, signed with the publisher's key, starts the agent and
# prints what it did: the probe, the download, the signature checks, the
# shutdown, the update run, the version written and the restarted product. Runs inside scripts/with-web.sh (nginx) and
# scripts/with-xvfb.sh (a display).
#
# usage: scripts/demo-update.sh VARNEL_PACK WIN64_BUILD_DIR [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
pack=$(realpath "$1")
win64=$(realpath "$2")
out=$(realpath -m "${3:-build/demo-update}")
wine=${WINE:-wine}
: "${VARNEL_WEB_ROOT:?run inside scripts/with-web.sh}"
: "${VARNEL_HTTP_URL:?run inside scripts/with-web.sh}"

export WINEPREFIX=${WINEPREFIX:-$win64/wineprefix}
export WINEDEBUG=-all
product_win='C:\VarnelDemo'
product_unix="$WINEPREFIX/drive_c/VarnelDemo"
info_url="$VARNEL_HTTP_URL/demo-update"
token="Sample-Product-2026"

rm -rf "$out" "$product_unix" "$VARNEL_WEB_ROOT/demo-update"
mkdir -p "$out/v1" "$out/v2" "$VARNEL_WEB_ROOT/demo-update"

# Version 1.0: the product, its settings for the agent and the engine, which
# "installs" by copying what it finds beside itself into the product folder.
cp "$win64/tools/dummy-product/dummy-product.exe" "$out/v1/Product.exe"
cp "$win64/tools/test-engine/test-engine.exe" "$out/v1/Engine.exe"
printf 'Sample product 1.0\r\n' >"$out/v1/readme.txt"
printf '[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=1\r\nProbeSecondsInterval=0\r\nProgramName=Sample Product\r\n[Directories]\r\nTargetDir=%s\r\n' \
  "$product_win" >"$out/v1/Prod.original"
# The publisher's key pair: the public key goes into the setup, the private
# key signs what is published.
"$pack" keygen "$out/publisher.key" "$out/publisher.pub" >/dev/null
"$pack" build --stub "$win64/src/stub/VarnelStub.exe" -o "$out/Setup-1.0.exe" --engine Engine.exe \
  --update-key "$out/publisher.pub" --carries-agent --agent-file Prod.exe --info-url "$info_url" --info-file Prod.AutoUpdate.info \
  --token "$token" --agent-trace-log --seed 1 "$out/v1" >/dev/null
echo "1. Setup of version 1.0 written: $out/Setup-1.0.exe"

export VARNEL_ENGINE_KEEP="$product_win" VARNEL_ENGINE_REMOVEATOM=1
mkdir -p "$product_unix"
"$wine" "$out/Setup-1.0.exe" /hide >/dev/null 2>&1 || true
for name in Product.exe Prod.exe Prod.original readme.txt; do
  [ -e "$product_unix/$name" ] || { echo "The setup did not install $name."; exit 1; }
done
echo "2. Installed into $product_win: $(cd "$product_unix" && ls | tr '\n' ' ')"

"$wine" "$product_win\\Product.exe" /ExitFile="$product_win\\exit.txt" /Life=120000 >/dev/null 2>&1 &
echo "3. Product 1.0 started"

# Version 2.0 on the web server, with the same token, and its INFO file.
cp "$out/v1/Product.exe" "$out/v1/Engine.exe" "$out/v2/"
printf 'Sample product 2.0\r\n' >"$out/v2/readme.txt"
"$pack" build --stub "$win64/src/stub/VarnelStub.exe" -o "$VARNEL_WEB_ROOT/demo-update/Setup.exe" \
  --engine Engine.exe --token "$token" --update-key "$out/publisher.pub" --seed 2 "$out/v2" >/dev/null
size=$(stat -c %s "$VARNEL_WEB_ROOT/demo-update/Setup.exe")
printf '[NewSetup]\r\nDownloadURL_UPDATE=%s\r\nNameOfUpdateFile=Setup.exe\r\nSizeOfUpdateFile=%s\r\nVersionNew=200\r\nStamp=2\r\nProgramName=Sample Product\r\nShutDownMethod=Using WM_CLOSE\r\nRestartProcess=1\r\nRunningProcess=<InstallDir>\\Product.exe\r\n' \
  "$info_url" "$size" >"$VARNEL_WEB_ROOT/demo-update/Prod.AutoUpdate.info"
"$pack" sign "$VARNEL_WEB_ROOT/demo-update/Setup.exe" --key "$out/publisher.key" >/dev/null
"$pack" sign "$VARNEL_WEB_ROOT/demo-update/Prod.AutoUpdate.info" --key "$out/publisher.key" >/dev/null
echo "4. Version 2.0 published and signed at $info_url ($size bytes)"

"$wine" "$product_win\\Prod.exe" /DELAY=0 >/dev/null 2>&1 &
echo "5. Agent started"
log="$product_unix/X_Prod.log"
for _ in $(seq 1 600); do
  grep -q "PerformAutoUpdate() - END" "$log" 2>/dev/null && break
  sleep 0.1
done
if ! grep -q "PerformAutoUpdate() - END" "$log" 2>/dev/null; then
  echo "The agent did not finish an update within a minute. Its trace log:"
  cat "$log" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  exit 1
fi
tr -d '\r' <"$log" | grep -E "GetOkToPerformAU = |Download START: .*Setup.exe|Signature (verified|refused)|Shut Down Process\(\) - START|Update run: |PerformAutoUpdate\(\) - END|WinExec" |
  sed -E 's/^[^A-Za-z.]*(X )?/   agent: /'
version=$(tr -d '\r' <"$product_unix/Prod.original" | sed -n 's/^VersionOriginal=//p')
echo "6. Version now: $version; readme: $(tr -d '\r' <"$product_unix/readme.txt")"
echo "   Product 1.0 ended by: $(tr -d '\r' <"$product_unix/exit.txt" 2>/dev/null | sed -n 's/^reason=//p')"
for _ in $(seq 1 100); do
  pgrep -f 'VarnelDemo.Product.exe' >/dev/null && break
  sleep 0.1
done
if pgrep -f 'VarnelDemo.Product.exe' >/dev/null; then
  echo "   Product restarted: running again"
else
  echo "   Product restarted: no"
fi
wineserver -k 2>/dev/null || true
