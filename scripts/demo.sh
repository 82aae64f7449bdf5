#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the loopback storage service with
# the sample package, runs the installer's engine against it into a temporary applications
# folder and home, and shows what was installed. Nothing outside the temporary folder is
# touched. QUANT=1 builds a package with the quantitative option; --no-build skips the
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

echo "== 5. install (headless engine, same message channel as the window)"
HOME="$work/home" ZID_INSTALLER_BUNDLE="$work/installer/Installer.app" \
ZID_INSTALLER_APPLICATIONS="$work/Applications" ZID_INSTALLER_ACCOUNT="$work/account.json" \
  "$bin/tools/sample-package/zid-install-headless" --timeout 300 2> >(grep -v '^[a-z_0-9]*:' >&2)

echo "== 6. what was installed"
app="$work/Applications/Tamberlyn.app"
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
