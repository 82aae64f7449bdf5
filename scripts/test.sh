#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build=${BUILD_DIR:-build}
# Window tests need a display; run the whole suite under one virtual X server.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
