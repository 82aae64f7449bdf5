#!/usr/bin/env bash
# Builds the unzip fuzz target with clang (libFuzzer + AddressSanitizer) in the fuzz build
# folder and runs it for a bounded time over seed archives written at run time by
# make-unzip-seeds.py. Usage: tools/fuzz/run-unzip-fuzz.sh [seconds] (default 60). The
# archives are unpacked in a temporary sandbox; new inputs go to a temporary folder. A
# crash or an escape leaves its input in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
source tools/fuzz/fuzz-build.sh
fuzz_build zid_unzip_fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/seeds" "$work/sandbox"
python3 tools/fuzz/make-unzip-seeds.py "$work/seeds"
# -close_fd_mask=2 silences the unzip's log lines; libFuzzer and the target report on a
# copy of stderr.
ZID_FUZZ_SANDBOX="$work/sandbox" "$fuzz_dir/tools/fuzz/zid_unzip_fuzz" -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$fuzz_dir/" \
  "$work/corpus" "$work/seeds"
