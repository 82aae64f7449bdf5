#!/usr/bin/env bash
# Runs the demo with the already built programs and checks what it installed.
set -euo pipefail
build_dir=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
BUILD_DIR=$(realpath --relative-to="$root" "$build_dir") bash "$root/scripts/demo.sh" --no-build >"$out" 2>&1 || {
  cat "$out"; echo "demo failed" >&2; exit 1; }
cat "$out"
grep -qx "install finished" "$out"
grep -q -- "-rwxr-xr-x .* ./Tamberlyn.app/Contents/MacOS/Tamberlyn$" "$out"
grep -q -- "./Tamberlyn.app/Contents/MacOS/run -> Tamberlyn$" "$out"
grep -q "9437184 ./Tamberlyn.app/Contents/Resources/data.bin$" "$out"
grep -qx "cur=9.5.3" "$out"
grep -qx "Tamberlyn 9.5.3 started" "$out"
work=$(sed -n 's/^done: everything is under //p' "$out")
[ -n "$work" ] && rm -rf "$work"
echo "demo check passed"
