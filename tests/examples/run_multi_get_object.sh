#!/usr/bin/env bash
# Starts zid-local-service with one seeded object, writes a client configuration for it,
# and checks that example_multi_get_object downloads the object byte for byte and reports
# a missing object as a failure.
set -euo pipefail
service=$1
example=$2
source "$(dirname "$0")/../support/local_service.sh"

work=$(mktemp -d /tmp/zid_example_XXXXXX)
mkdir -p "$work/seed/example-$zid_app_id/pkg"
head -c 5300000 /dev/urandom > "$work/seed/example-$zid_app_id/pkg/app.zip"
zid_start_service "$service" "$work" "$work/seed"
zid_write_config "$work/config.json" '"DownloadThreadPoolSize": 4, "DownloadSliceSize": 1048576'

"$example" "$work/config.json" example pkg/app.zip "$work/app.zip" | tee "$work/example.out"
cmp "$work/seed/example-$zid_app_id/pkg/app.zip" "$work/app.zip"
grep -q '^progress 100% (5300000 of 5300000 bytes)$' "$work/example.out"

if "$example" "$work/config.json" example pkg/missing.zip "$work/missing.zip" 2> "$work/missing.err"; then
  echo "a missing object was reported as downloaded" >&2
  exit 1
fi
grep -q 'download of example/pkg/missing.zip failed' "$work/missing.err"
echo "example_multi_get_object: downloaded and verified; missing object reported"
