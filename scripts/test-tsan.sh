#!/usr/bin/env bash
# Builds the library, the loopback service and the non-window tests with ThreadSanitizer into
# ${TSAN_BUILD_DIR:-build-tsan} and runs those tests there. The installer and its window,
# end-to-end, example and package tests are left out: they are built without the installer.
# Any report fails the run, also one from a child process whose exit status no test looks at:
# every report goes to a log file, and the run fails when one was written.
# Extra arguments go to ctest, e.g. -R Resumable.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${TSAN_BUILD_DIR:-build-tsan}
jobs=${ZID_BUILD_JOBS:-$(nproc)}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZID_TSAN=ON \
  -DZID_BUILD_INSTALLER=OFF -DZID_BUILD_EXAMPLES=OFF -DZID_PACKAGE_TESTS=OFF \
  -DZID_BUILD_FUZZ=OFF "${launcher[@]}" >/dev/null
targets=(zid-local-service)
for folder in util trsf request response op api service; do targets+=("zid_tests_$folder"); done
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

logs="$root/$build/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
# die_after_fork=0: the kill-and-resume tests fork a download that starts its own threads.
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:print_suppressions=0:halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:log_path=$logs/report"

status=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 600 "$@" || status=$?

source "$root/scripts/sanitizer-reports.sh"
sanitizer_reports "$logs" "$status"
