#!/usr/bin/env bash
# Uploads a file of several parts with example_multipart_upload to zid-local-service, reads
# it back with example_multi_get_object and compares; a missing local file is a failure.
set -euo pipefail
service=$1
upload=$2
download=$3
source "$(dirname "$0")/../support/local_service.sh"

work=$(mktemp -d /tmp/zid_example_XXXXXX)
zid_start_service "$service" "$work" "$work/seed"
zid_write_config "$work/config.json" '"UploadPartSize": 1048576, "UploadThreadPoolSize": 3'
head -c 5300000 /dev/urandom > "$work/big.bin"

"$upload" "$work/config.json" example pkg/big.bin "$work/big.bin" | tee "$work/upload.out"
grep -q '^progress 100% (5300000 of 5300000 bytes)$' "$work/upload.out"
grep -q "^uploaded $work/big.bin to example/pkg/big.bin (5300000 bytes, upload id " "$work/upload.out"
"$download" "$work/config.json" example pkg/big.bin "$work/back.bin" > /dev/null
cmp "$work/big.bin" "$work/back.bin"

if "$upload" "$work/config.json" example pkg/none.bin "$work/none.bin" > /dev/null 2> "$work/none.err"; then
  echo "a missing local file was reported as uploaded" >&2
  exit 1
fi
grep -q "upload of $work/none.bin to example/pkg/none.bin failed" "$work/none.err"
echo "example_multipart_upload: uploaded in parts, read back and compared; missing file reported"
