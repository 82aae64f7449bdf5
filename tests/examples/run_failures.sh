#!/usr/bin/env bash
# Starts zid-local-service with an object of many download slices and checks what
# example_failures prints for each failure: the service's 404 for a missing key with its
# code and request id, a download cancelled from its progress callback, and no answer from
# a port nobody listens on.
set -euo pipefail
service=$1
example=$2
source "$(dirname "$0")/../support/local_service.sh"

work=$(mktemp -d /tmp/zid_example_XXXXXX)
mkdir -p "$work/seed/example-$zid_app_id/pkg"
head -c 33554432 /dev/urandom > "$work/seed/example-$zid_app_id/pkg/big.bin"
zid_start_service "$service" "$work" "$work/seed"
zid_write_config "$work/config.json" '"DownloadThreadPoolSize": 2, "DownloadSliceSize": 65536'

# A port that refuses a connection now.
closed=
for _ in $(seq 50); do
  port=$((20000 + RANDOM % 40000))
  if ! (exec 4<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    closed=$port
    break
  fi
done
[ -n "$closed" ] || { echo "no closed port found" >&2; exit 1; }

"$example" "$work/config.json" example pkg/big.bin "$work/big.bin" "127.0.0.1:$closed" \
  > "$work/failures.out"
# Each case's lines, from its title to the next one (log lines left out).
section() {
  sed -n "/^$1:\$/,/^[a-z].*:\$/p" "$work/failures.out" | grep '^  '
}
section 'missing key' > "$work/missing"
grep -qx '  the service answered http 404' "$work/missing"
grep -qx '  error code: NoSuchKey' "$work/missing"
grep -qx '  error message: The specified key does not exist.' "$work/missing"
grep -qx "  resource: example-$zid_app_id\..*/no/such/key" "$work/missing"
grep -qx '  request id: zid-[0-9a-f-]*' "$work/missing"

section 'cancelled download' > "$work/cancelled"
# The status is the last answer taken before the cancel, or -1 when it came mid-body.
grep -Eqx '  cancelled by the caller \(http (206|-1)\)' "$work/cancelled"
grep -qx '  error message: Request canceled by user' "$work/cancelled"
grep -qx '  transfer status: FAILED, stopped before the end' "$work/cancelled"

section 'unreachable host' > "$work/unreachable"
grep -qx '  no answer (http -1)' "$work/unreachable"
grep -qx '  error code: ' "$work/unreachable"
grep -q '^  error message: .*Connection refused' "$work/unreachable"
grep -qx '  request id: ' "$work/unreachable"
echo "example_failures: a service error, a cancelled download and no answer each reported"
