#!/usr/bin/env bash
# Runs Doxygen over the installed headers (ZidVersion.h with them) through the build's zid_doc
# target and fails on any warning, with their count and the first ones; the reference lands in
# BUILD/doc/html.
#
#   scripts/doc-check.sh [BUILD]   BUILD: a configured build folder (default ${BUILD_DIR:-build});
#                                  without one, a library-only build-doc/ is configured
set -euo pipefail
cd "$(dirname "$0")/.."
command -v doxygen >/dev/null || { echo "doxygen is missing (scripts/setup.sh installs it)" >&2; exit 1; }
build=${1:-${BUILD_DIR:-build}}
if [ ! -f "$build/CMakeCache.txt" ]; then
  [ -n "${1:-}" ] || build=build-doc
  # Configuring is enough: the target stages the headers, it needs no compiled library.
  cmake -S . -B "$build" -DZID_BUILD_TESTS=OFF -DZID_BUILD_TOOLS=OFF -DZID_BUILD_INSTALLER=OFF \
        -DZID_BUILD_EXAMPLES=OFF >/dev/null
fi
if cmake --build "$build" --target zid_doc; then
  exit 0
fi
log=$build/doc/warnings.log
count=$(grep -cE ': (warning|error): ' "$log" 2>/dev/null || true)
echo "doc-check: ${count:-no} Doxygen warnings over the installed headers; all of them in $log" >&2
exit 1
