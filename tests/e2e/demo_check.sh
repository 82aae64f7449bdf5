#!/usr/bin/env bash
# Runs the demo with the already built programs and checks what it installed.
#   demo_check.sh BUILD_DIR [headless|window]
# The window run gets a virtual display of its own (no other test's window can take its
# clicks); without xvfb-run, xdotool or the window program it is skipped (exit 77).
set -euo pipefail
build_dir=$1
mode=${2:-headless}
root=$(cd "$(dirname "$0")/../.." && pwd)
run=()
if [ "$mode" = window ]; then
  if [ ! -x "$build_dir/installer/zid-installer" ] || ! command -v xdotool >/dev/null || ! command -v xvfb-run >/dev/null; then
    echo "no window program, xdotool or xvfb-run: skipped"; exit 77
  fi
  headless=0
  run=(xvfb-run -a -s "-screen 0 1280x800x24")
else
  headless=1
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"${run[@]}" env ZID_DEMO_HEADLESS=$headless BUILD_DIR="$(realpath --relative-to="$root" "$build_dir")" \
  bash "$root/scripts/demo.sh" --no-build >"$out" 2>&1 || { cat "$out"; echo "demo failed" >&2; exit 1; }
cat "$out"
if [ "$mode" = window ]; then
  grep -qx 'window "Mac岚帆安装", 500x310' "$out"
  grep -A1 -x -- "-- what the installer's Open started" "$out" | grep -qx "Tamberlyn 9.5.3 started"
else
  grep -q "^step 13: " "$out"
fi
grep -qx "install finished" "$out"
grep -q -- "-rwxr-xr-x .* ./Tamberlyn.app/Contents/MacOS/Tamberlyn$" "$out"
grep -q -- "./Tamberlyn.app/Contents/MacOS/run -> Tamberlyn$" "$out"
grep -q "9437184 ./Tamberlyn.app/Contents/Resources/data.bin$" "$out"
grep -qx "cur=9.5.3" "$out"
grep -qx "Tamberlyn 9.5.3 started" "$out"
work=$(sed -n 's/^done: everything is under //p' "$out")
[ -n "$work" ] && rm -rf "$work"
echo "demo check passed ($mode)"
