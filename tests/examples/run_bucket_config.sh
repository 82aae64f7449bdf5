#!/usr/bin/env bash
# Starts zid-local-service with pages of two keys and a few seeded objects, and checks that
# example_bucket_config puts a lifecycle configuration through its own request class, reads
# the same rules back, deletes it, then deletes every object under the prefix over several
# pages; example_list_bucket shows that only the objects outside the prefix are left.
set -euo pipefail
service=$1
example=$2
list=$3
source "$(dirname "$0")/../support/local_service.sh"

work=$(mktemp -d /tmp/zid_example_XXXXXX)
root="$work/seed/example-$zid_app_id"
mkdir -p "$root/logs/2024" "$root/logsarchive" "$root/other"
printf 'a' > "$root/logs/a.txt"
printf 'bb' > "$root/logs/b&b.txt"
printf 'ccc' > "$root/logs/2024/c.txt"
printf 'dddd' > "$root/logs/d.txt"
printf 'eeeee' > "$root/logs/e.txt"
printf 'x' > "$root/logsarchive/x.txt"
printf 'y' > "$root/other/y.txt"
zid_start_service "$service" "$work" "$work/seed" --page-size 2
zid_write_config "$work/config.json" ''

"$example" "$work/config.json" example logs/ > "$work/config.out"
cat > "$work/expected" <<OUT
lifecycle of example read back:
rule expire Enabled prefix logs/, expires after 30 days
rule archive Disabled prefix logs/, to ARCHIVE after 7 days
after the delete: http 404 NoSuchLifecycleConfiguration
deleted logs/2024/c.txt
deleted logs/a.txt
deleted logs/b&b.txt
deleted logs/d.txt
deleted logs/e.txt
5 objects deleted under "logs/"
OUT
# Loading the configuration prints its settings first.
grep -E '^(lifecycle|rule|after|deleted|[0-9]+ objects) ' "$work/config.out" | diff "$work/expected" -

"$list" "$work/config.json" example > "$work/left.out"
printf 'logsarchive/x.txt 1\nother/y.txt 1\n' > "$work/left.expected"
grep -E '^(logs|other)' "$work/left.out" | diff "$work/left.expected" -

# Nothing left under the prefix: a second run deletes nothing and still succeeds.
"$example" "$work/config.json" example logs/ > "$work/again.out"
grep -qx '0 objects deleted under "logs/"' "$work/again.out"
echo "example_bucket_config: lifecycle put, read back and deleted; objects under the prefix deleted"
