#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the loopback storage service with
# the sample package, runs the installer's engine against it into a temporary applications
# folder and home, and shows what was installed. Nothing outside the temporary folder is
# touched. With a display (DISPLAY set, xdotool there) the real window runs and Install and
# Open are clicked for you; without one, or with ZID_DEMO_HEADLESS=1, the engine runs
# headless. QUANT=1 builds a package with the quantitative option; --no-build skips the
# set-up and the build (BUILD_DIR names the build folder, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "${1:-}" != "--no-build" ]; then
  echo "== 1. set-up (Debian packages that are missing)"
  bash scripts/setup.sh
  echo "== 2. build"
  bash scripts/build.sh
fi
build=${BUILD_DIR:-build}
bin="$root/$build"

work=$(mktemp -d /tmp/zid-demo.XXXXXX)
svc_pid=
cleanup() {
  if [ -n "$svc_pid" ]; then kill "$svc_pid" 2>/dev/null || true; wait "$svc_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

app_id=1250000000
bucket=tamberlyn
echo "== 3. sample package in $work"
quant_flag=()
[ "${QUANT:-0}" = 1 ] && quant_flag=(--quant)
"$bin/tools/sample-package/zid-sample-package" --seed "$work/seed" --bucket "$bucket-$app_id" \
  --bundle "$work/installer/Installer.app" "${quant_flag[@]}"

echo "== 4. loopback storage service"
"$bin/tools/local-service/zid-local-service" --port 0 --root "$work/store" --seed "$work/seed" \
  >"$work/service.log" 2>&1 &
svc_pid=$!
port=
for _ in $(seq 1 100); do
  port=$(grep -o 'listening on 127.0.0.1:[0-9]*' "$work/service.log" 2>/dev/null | head -1 | sed 's/.*://') || true
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then echo "the service did not start:" >&2; cat "$work/service.log" >&2; exit 1; fi
echo "serving on 127.0.0.1:$port"

# The account file replaces the installer's built-in account and points it at the service.
cat >"$work/account.json" <<JSON
{"AppID": $app_id, "AccessKey": "AKID", "SecretKey": "SK", "Bucket": "$bucket",
 "DestDomain": "127.0.0.1:$port", "LogLevel": 2}
JSON
mkdir -p "$work/Applications" "$work/home"

export HOME="$work/home" ZID_INSTALLER_BUNDLE="$work/installer/Installer.app"
export ZID_INSTALLER_APPLICATIONS="$work/Applications" ZID_INSTALLER_ACCOUNT="$work/account.json"
app="$work/Applications/Tamberlyn.app"
window_bin="$bin/installer/zid-installer"
if [ "${ZID_DEMO_HEADLESS:-0}" != 1 ] && [ -n "${DISPLAY:-}" ] && [ -x "$window_bin" ] && command -v xdotool >/dev/null; then
  echo "== 5. install through the window on display $DISPLAY (Install is clicked with xdotool)"
  "$window_bin" >"$work/installer.log" 2>&1 &
  win_pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$win_pid" 2>/dev/null | head -1) || true
  if [ -z "$wid" ]; then echo "the installer window did not appear" >&2; cat "$work/installer.log" >&2; exit 1; fi
  echo "window \"$(xdotool getwindowname "$wid")\", $(xdotool getwindowgeometry "$wid" | sed -n 's/ *Geometry: //p')"
  xdotool windowraise "$wid"
  xdotool mousemove --window "$wid" 250 220 click 1   # the Install button
  echo "Install clicked; waiting for the run to end"
  for _ in $(seq 1 600); do
    if [ -f "$app/Contents/config/update.ini" ] && [ -z "$(ls -d "$HOME"/Library/tamberlyn9.5/2* 2>/dev/null)" ]; then
      break
    fi
    kill -0 "$win_pid" 2>/dev/null || break
    sleep 0.2
  done
  if [ ! -f "$app/Contents/config/update.ini" ]; then
    echo "the install did not finish" >&2; grep -v '^[a-z_0-9]*:' "$work/installer.log" >&2 || true; exit 1
  fi
  sleep 1
  echo "install finished"
  xdotool windowraise "$wid"
  xdotool mousemove --window "$wid" 250 220 click 1   # now the Open button: starts the program, closes the window
  for _ in $(seq 1 50); do kill -0 "$win_pid" 2>/dev/null || break; sleep 0.2; done
  if kill -0 "$win_pid" 2>/dev/null; then echo "the window did not close after Open" >&2; kill "$win_pid"; exit 1; fi
  wait "$win_pid" || { echo "the installer ended with an error" >&2; exit 1; }
  echo "-- what the installer's Open started"
  grep -v '^[a-z_0-9]*:\|^\[' "$work/installer.log" || true
else
  echo "== 5. install (headless engine, same message channel as the window)"
  # The storage client prints its settings ("name:value") when it starts; they are left out.
  "$bin/tools/sample-package/zid-install-headless" --timeout 300 2>&1 | grep -v '^[a-z_0-9]*:'
fi

echo "== 6. what was installed"
(cd "$work/Applications" && find . \( -type l -printf '%M %10s %p -> %l\n' \) -o -printf '%M %10s %p\n' | sort -k3)
echo "-- $app/Contents/config/update.ini"
cat "$app/Contents/config/update.ini"
echo "-- $app/Contents/config/tamberlyn.Default.pub"
cat "$app/Contents/config/tamberlyn.Default.pub"
if [ -d "$work/home/Library/tamberlyn9.5_quant" ]; then
  echo "-- quantitative runtime"
  (cd "$work/home/Library/tamberlyn9.5_quant" && find . | sort)
fi
echo "-- running the installed program"
"$app/Contents/MacOS/Tamberlyn"
echo "done: everything is under $work"
