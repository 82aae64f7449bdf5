#!/usr/bin/env bash
# Starts zid-local-service with its bare address bound to the example bucket, and checks that
# example_presigned_get stores a text, fetches it back through a presigned URL of a five-minute
# window with a plain HTTP client, and sees a URL whose window has passed refused.
set -euo pipefail
service=$1
example=$2
source "$(dirname "$0")/../support/local_service.sh"

work=$(mktemp -d /tmp/zid_example_XXXXXX)
# A presigned URL made with "DestDomain" names 127.0.0.1:PORT, no bucket of its own.
zid_start_service "$service" "$work" "$work/seed" --domain-bucket "example-$zid_app_id"
zid_write_config "$work/config.json" ''

"$example" "$work/config.json" example docs/readme.txt > "$work/presigned.out"
# Loading the configuration prints its settings first.
url=$(sed -n 's/^presigned URL: //p' "$work/presigned.out")
case "$url" in
  "http://$zid_domain/docs/readme.txt?sign=q-sign-algorithm%3Dsha1%26q-ak%3DAKID%26"*) ;;
  *) echo "unexpected presigned URL: $url" >&2; exit 1 ;;
esac
window=$(printf '%s' "$url" | sed -n 's/.*q-sign-time%3D\([0-9]*\)%3B\([0-9]*\)%26.*/\1 \2/p')
read -r start end <<< "$window"
[ $((end - start)) -eq 300 ] || { echo "window of the URL is not 300 s: $window" >&2; exit 1; }
grep -qx 'fetched 48 bytes, the same as stored: shared through a presigned URL: docs/readme.txt' \
  "$work/presigned.out"
grep -qx 'expired URL refused: http 403 AccessDenied' "$work/presigned.out"
echo "example_presigned_get: fetched through a presigned URL; an expired one refused"
