#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer into ${ASAN_BUILD_DIR:-build-asan}
# and runs the tests there. Any sanitizer report fails the run, also one from a child process
# whose exit status no test looks at (the loopback service, the installer, the demo's programs):
# every report goes to a log file, and the run fails when one was written.
# The package tests (they install and rebuild the library) and the fuzz target (it has its own
# run) are left to the normal run. Extra arguments go to ctest, e.g. -R op.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ASAN_BUILD_DIR:-build-asan}
jobs=${ZID_BUILD_JOBS:-$(nproc)}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZID_SANITIZE=ON \
  -DZID_PACKAGE_TESTS=OFF -DZID_BUILD_FUZZ=OFF >/dev/null
cmake --build "$build" -j"$jobs"

logs="$root/$build/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
common="print_stacktrace=1:halt_on_error=1:log_path=$logs/report"
export ASAN_OPTIONS="$common:detect_leaks=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="$common"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"

status=0
run=(ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 600 -E '^package_' "$@")
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1280x800x24" "${run[@]}" || status=$?
else
  "${run[@]}" || status=$?
fi

source "$root/scripts/sanitizer-reports.sh"
sanitizer_reports "$logs" "$status"
