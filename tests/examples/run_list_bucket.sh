#!/usr/bin/env bash
# Starts zid-local-service with pages of two keys and a few seeded objects, writes a client
# configuration for it, and checks that example_list_bucket lists every object under a
# prefix, page after page, and nothing outside it.
set -euo pipefail
service=$1
example=$2
source "$(dirname "$0")/../support/local_service.sh"

work=$(mktemp -d /tmp/zid_example_XXXXXX)
root="$work/seed/example-$zid_app_id"
mkdir -p "$root/logs/2024" "$root/other"
printf 'a' > "$root/logs/a.txt"
printf 'bb' > "$root/logs/b b.txt"
printf 'ccc' > "$root/logs/2024/c.txt"
printf 'dddd' > "$root/logs/d&d.txt"
printf 'eeeee' > "$root/logs/e.txt"
printf 'x' > "$root/other/x.txt"
zid_start_service "$service" "$work" "$work/seed" --page-size 2
zid_write_config "$work/config.json" ''

"$example" "$work/config.json" example logs/ > "$work/list.out"
cat > "$work/expected" <<OUT
logs/2024/c.txt 3
logs/a.txt 1
logs/b b.txt 2
logs/d&d.txt 4
logs/e.txt 5
5 objects in 3 pages
OUT
# Loading the configuration prints its settings first.
grep -E '^logs/| objects in ' "$work/list.out" | diff "$work/expected" -

"$example" "$work/config.json" example nothing/ > "$work/empty.out"
grep -qx '0 objects in 1 pages' "$work/empty.out"

if "$example" "$work/config.json" Not_A_Bucket 2> "$work/bad.err"; then
  echo "a bad bucket name was listed" >&2
  exit 1
fi
grep -q 'Invalid bucket_name argument :Not_A_Bucket' "$work/bad.err"
echo "example_list_bucket: listed every object under the prefix over three pages"
