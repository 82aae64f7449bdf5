#!/usr/bin/env bash
# Download and upload throughput of the client against curl and aria2c, on loopback only.
# Usage: run-transfer-bench.sh [MiB]  (or ZID_BENCH_MIB; default 1024)
#   ZID_BENCH_BUILD  build folder holding tools/bench and tools/local-service (default: build)
#   ZID_BENCH_RUNS   rounds of every download (default 3; the table shows each round and
#                    the ratios of the medians, since one round on a shared machine is noisy)
#   ZID_BENCH_TIMEOUT  seconds any one step may take (default 300)
#   TMPDIR           where the temporary folder for the object and the downloads goes
# Downloads come from nginx (HEAD and ranged GETs, no signatures), uploads go to
# zid-local-service. Prints figures; it never fails on a ratio.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mib=${1:-${ZID_BENCH_MIB:-1024}}
runs=${ZID_BENCH_RUNS:-3}
build=${ZID_BENCH_BUILD:-$root/build}
bench=$build/tools/bench/zid-bench-transfer
service=$build/tools/local-service/zid-local-service
threads=10
slice=$((4 << 20))
limit=${ZID_BENCH_TIMEOUT:-300}

for tool in "$bench" "$service"; do
  [ -x "$tool" ] || { echo "missing $tool: build first" >&2; exit 2; }
done
for tool in nginx curl aria2c cmp /usr/bin/time timeout; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] ||
    { echo "missing $tool (scripts/setup.sh installs it)" >&2; exit 2; }
done
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d "${TMPDIR:-/tmp}/zid-bench.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# nginx's workers may run as another user when we are root: they must read the object.
chmod 755 "$work"
mkdir -p "$work/www" "$work/out" "$work/nginx"

echo "making ${mib} MiB of random data"
head -c $((mib << 20)) /dev/urandom >"$work/www/obj"
chmod 644 "$work/www/obj"
size=$(stat -c %s "$work/www/obj")

free_port() {
  local p
  for _ in $(seq 50); do
    p=$((20000 + RANDOM % 30000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then echo "$p"; return; fi
  done
  return 1
}

start_nginx() {
  local port
  for _ in 1 2 3 4 5; do
    port=$(free_port)
    cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 4;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { }
  default_type application/octet-stream;
  sendfile on;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
EOF
    "$nginx_bin" -p "$work/nginx" -e "$work/nginx/error.log" -c "$work/nginx/nginx.conf" \
      </dev/null >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 50); do
      if curl -sf -o /dev/null -I "http://127.0.0.1:$port/obj"; then
        pids+=("$pid"); nginx_port=$port; return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
  done
  echo "nginx did not start:" >&2; cat "$work/nginx/error.log" >&2; return 1
}

start_service() {
  mkfifo "$work/service.in"
  "$service" --port 0 --no-signature-check <"$work/service.in" >"$work/service.out" 2>&1 &
  pids+=("$!")
  exec 4>"$work/service.in"  # holding the pipe keeps the service alive; closing it ends it
  for _ in $(seq 100); do
    service_domain=$(sed -n 's/^listening on //p' "$work/service.out")
    [ -n "$service_domain" ] && return 0
    sleep 0.1
  done
  echo "zid-local-service did not start:" >&2; cat "$work/service.out" >&2; return 1
}

rows=()
# measure NAME BYTES OUTPUT-TO-CHECK COMMAND...: wall time and peak RSS of the client process.
measure() {
  local name=$1 bytes=$2 check=$3; shift 3
  local t0 t1 rc=0
  # Dirty pages of the previous step must not be written back on this one's time.
  sync
  # A virtual machine's host may take back memory the guest freed a while ago; writing and
  # dropping a file of the object's size just before the step gives every client memory the
  # guest holds, instead of charging page faults on the host to whichever runs after a pause.
  head -c "$size" /dev/zero >"$work/out/warm"
  rm -f "$work/out/warm"
  sync
  t0=$(date +%s%N)
  timeout "$limit" /usr/bin/time -f "%M" -o "$work/rss" "$@" >"$work/step.out" 2>"$work/step.err" || rc=$?
  t1=$(date +%s%N)
  if [ $rc -ne 0 ]; then
    echo "$name failed (exit $rc):" >&2; tail -5 "$work/step.err" >&2
    rows+=("$name|failed|-|-"); return 0
  fi
  if [ -n "$check" ] && ! cmp -s "$work/www/obj" "$check"; then
    echo "$name: downloaded file differs from the source" >&2
    rows+=("$name|corrupt|-|-"); rm -f "$check"; return 0
  fi
  [ -n "$check" ] && rm -f "$check"
  local secs mibps rss
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.3f", (b-a)/1e9}')
  mibps=$(awk -v s="$secs" -v n="$bytes" 'BEGIN{printf "%.1f", n/1048576/s}')
  rss=$(tail -1 "$work/rss")
  rows+=("$name|$secs|$mibps|$rss")
}

start_nginx
start_service
url="http://127.0.0.1:$nginx_port/obj"
echo "nginx on 127.0.0.1:$nginx_port, zid-local-service on $service_domain; load: $(cut -d' ' -f1-3 /proc/loadavg)"

# Round 0 warms the machine up (after a pause the first burst of threads runs slow on a
# shared host); it is shown but left out of the ratios.
for r in $(seq 0 "$runs"); do
  tag="#$r"; [ "$r" = 0 ] && tag="(warm-up)"
  # Interleaved, so a change of load hits all three alike.
  measure "zid MultiThreadDownload $tag" "$size" "$work/out/zid" \
    "$bench" download "127.0.0.1:$nginx_port" obj "$work/out/zid" "$threads" "$slice"
  measure "zid ResumableGetObject $tag" "$size" "$work/out/zid-resumable" \
    "$bench" resumable "127.0.0.1:$nginx_port" obj "$work/out/zid-resumable" "$threads" "$slice"
  measure "zid Resumable, no fdatasync $tag" "$size" "$work/out/zid-nosync" \
    "$bench" resumable-nosync "127.0.0.1:$nginx_port" obj "$work/out/zid-nosync" "$threads" "$slice"
  measure "curl $tag" "$size" "$work/out/curl" curl -sS -f -o "$work/out/curl" "$url"
  measure "aria2c -x10 -s10 -k4M $tag" "$size" "$work/out/aria2" \
    aria2c -q -x10 -s10 -k4M --file-allocation=none --allow-overwrite=true \
    --auto-file-renaming=false --check-certificate=false -d "$work/out" -o aria2 "$url"
done

host=$("$bench" host)
measure "zid MultiUploadObject" "$size" "" "$bench" upload "$service_domain" up-zid "$work/www/obj"
measure "curl single PUT" "$size" "" curl -sS -f -o /dev/null -T "$work/www/obj" \
  -H "Host: $host" "http://$service_domain/up-curl"

echo
echo "object: $size bytes; threads $threads, slice $slice bytes; load after: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-40s %10s %10s %14s\n' "client" "seconds" "MiB/s" "peak RSS MiB"
for row in "${rows[@]}"; do
  IFS='|' read -r name secs mibps rss <<<"$row"
  if [ "$mibps" = "-" ]; then
    printf '%-40s %10s\n' "$name" "$secs"
  else
    printf '%-40s %10s %10s %14.1f\n' "$name" "$secs" "$mibps" "$(awk -v k="$rss" 'BEGIN{print k/1024}')"
  fi
done

# Ratios per round: the client's throughput over curl's and aria2c's.
rate() { for row in "${rows[@]}"; do [[ $row == "$1"* ]] && { IFS='|' read -r _ _ m _ <<<"$row"; echo "$m"; return; }; done; echo -; }
echo
rss_goal=$(awk -v t=$threads -v s=$slice 'BEGIN{printf "%.1f", 1.25*t*s/1048576+16}')
for r in $(seq "$runs"); do
  z=$(rate "zid MultiThreadDownload #$r|"); c=$(rate "curl #$r|"); a=$(rate "aria2c -x10 -s10 -k4M #$r|")
  awk -v z="$z" -v c="$c" -v a="$a" -v r="$r" 'BEGIN{
    if (z == "-" || c == "-" || a == "-") { printf "round %d: no ratio (a client failed)\n", r; exit }
    printf "round %d: zid/curl %.2fx (goal 2x), zid/aria2c %.2fx (goal 1.0x)\n", r, z/c, z/a }'
done
median() {
  for row in "${rows[@]}"; do
    if [[ $row == "$1"* ]]; then IFS='|' read -r _ _ m _ <<<"$row"; echo "$m"; fi
  done |
    grep -v '^-$' | sort -n | awk '{v[NR]=$1} END{if (NR) print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2); else print "-"}'
}
zm=$(median "zid MultiThreadDownload #"); cm=$(median "curl #"); am=$(median "aria2c -x10 -s10 -k4M #")
rm_=$(median "zid ResumableGetObject #"); nm=$(median "zid Resumable, no fdatasync #")
awk -v r="$rm_" -v n="$nm" -v z="$zm" 'BEGIN{
  if (r == "-" || n == "-" || z == "-") exit
  printf "resumable: %.1f MiB/s with fdatasync, %.1f without (sync costs %.0f%%), %.2fx the multi-threaded download\n", r, n, (1 - r/n)*100, r/z }'
awk -v z="$zm" -v c="$cm" -v a="$am" 'BEGIN{
  if (z == "-" || c == "-" || a == "-") exit
  printf "medians: zid %.1f, curl %.1f, aria2c %.1f MiB/s: zid/curl %.2fx, zid/aria2c %.2fx\n", z, c, a, z/c, z/a }'
zu=$(rate "zid MultiUploadObject|"); cu=$(rate "curl single PUT|")
awk -v z="$zu" -v c="$cu" 'BEGIN{ if (z != "-" && c != "-") printf "upload: zid multipart/curl PUT %.2fx\n", z/c }'
echo "peak RSS goal for the download: at most $rss_goal MiB"
