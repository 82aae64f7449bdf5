#!/usr/bin/env bash
# Builds the select event-stream fuzz target with clang (libFuzzer + AddressSanitizer) in its
# own build folder and runs it for a bounded time over the seed corpus in the tree.
# Usage: tools/fuzz/run-select-fuzz.sh [seconds] (default 60). New inputs go to a temporary
# folder; the seeds in the tree are only read. A crash leaves its input in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
source tools/fuzz/fuzz-build.sh
fuzz_build zid_select_fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$fuzz_dir/tools/fuzz/zid_select_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$fuzz_dir/" "$work" tools/fuzz/corpus/select-stream
