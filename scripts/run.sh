#!/usr/bin/env bash
# The main job: builds everything, then shows what the stub reads from a
# package. With a file argument it inspects that file; without, it packs a
# small sample setup with the release stub and inspects that, then runs a
# demo setup of examples/sample-product under wine (scripts/demo-setup.sh)
# and the agent updating an installed product (scripts/demo-update.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native win64 win32 >/dev/null

tool=build/native/tools/varnel-pack/varnel-pack
if [ $# -gt 0 ]; then
  exec "$tool" inspect "$1"
fi
sample=build/SampleSetup.exe
"$tool" sample --stub build/win32/src/stub/VarnelStub.exe "$sample"
echo "Sample setup written to $sample ($(stat -c %s "$sample") bytes)"
"$tool" inspect "$sample"

# The setup run end to end: the sample product packed with the test engine,
# run under wine with /hide.
echo
scripts/demo-setup.sh "$tool" build/win64 build/demo

# The agent's round: version 1.0 of the sample product installed with its
# agent, version 2.0 published on a local nginx, the agent carrying it out.
echo
scripts/with-xvfb.sh scripts/with-web.sh scripts/demo-update.sh "$tool" build/win64 build/demo-update
