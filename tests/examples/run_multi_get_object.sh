#!/usr/bin/env bash
# Starts zid-local-service with one seeded object, writes a client configuration for it,
# and checks that example_multi_get_object downloads the object byte for byte and reports
# a missing object as a failure.
set -euo pipefail
service=$1
example=$2

work=$(mktemp -d /tmp/zid_example_XXXXXX)
pid=
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The service files a bucket under the first label of the Host header: name-appid.
app_id=1250000000
mkdir -p "$work/seed/example-$app_id/pkg"
head -c 5300000 /dev/urandom > "$work/seed/example-$app_id/pkg/app.zip"

# The service ends when its standard input closes; keep it open on descriptor 3.
mkfifo "$work/stdin"
"$service" --port 0 --seed "$work/seed" < "$work/stdin" > "$work/service.out" 2>&1 &
pid=$!
exec 3> "$work/stdin"

domain=
for _ in $(seq 100); do
  domain=$(sed -n 's/^listening on //p' "$work/service.out")
  [ -n "$domain" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$domain" ]; then
  echo "the loopback service did not start:" >&2
  cat "$work/service.out" >&2
  exit 1
fi

cat > "$work/config.json" <<JSON
{
  "AppID": $app_id,
  "SecretId": "AKID",
  "SecretKey": "SK",
  "Region": "ap-test",
  "DestDomain": "$domain",
  "DownloadThreadPoolSize": 4,
  "DownloadSliceSize": 1048576,
  "LogLevel": 1
}
JSON

"$example" "$work/config.json" example pkg/app.zip "$work/app.zip" | tee "$work/example.out"
cmp "$work/seed/example-$app_id/pkg/app.zip" "$work/app.zip"
grep -q '^progress 100% (5300000 of 5300000 bytes)$' "$work/example.out"

if "$example" "$work/config.json" example pkg/missing.zip "$work/missing.zip" 2> "$work/missing.err"; then
  echo "a missing object was reported as downloaded" >&2
  exit 1
fi
grep -q 'download of example/pkg/missing.zip failed' "$work/missing.err"
echo "example_multi_get_object: downloaded and verified; missing object reported"
