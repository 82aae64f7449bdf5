#!/usr/bin/env bash
# Transfer figures of the client against its peers on loopback only, each with its CPU seconds
# per GiB and the ratios of the medians of alternating rounds.
# Usage: run-transfer-bench.sh [MiB]  (or ZID_BENCH_MIB; default 1024)
#   ZID_BENCH_ONLY     which parts run (default "download small upload md5")
#   ZID_BENCH_BUILD    build folder holding tools/bench and tools/local-service (default: build)
#   ZID_BENCH_RUNS     rounds of the download and the upload (default 3), after an untimed
#                      warm-up round; the ratios are medians over the rounds
#   ZID_BENCH_SMALL    objects of a small-object pass (default 1000, 4 KiB each)
#   ZID_BENCH_SMALL_RUNS  rounds of the small objects (default 9: a pass is short, so noisy)
#   ZID_BENCH_TIMEOUT  seconds any one step may take (default 300)
#   ZID_BENCH_PEER     another build's zid-bench-small (e.g. of an earlier commit, built in a
#                      worktree of its own): its 4 KiB GETs and PUTs one after another run in
#                      the same rounds against the same service, and the ratios show
#   ZID_BENCH_PEER_NAME  its label (default: the commit of the worktree it was built in)
#   ZID_BENCH_PEER_TRANSFER  another build's zid-bench-transfer: its plain GET runs beside ours
#                      in the MD5 part, so a change in the client shows against the same service
#   TMPDIR             where the object and the downloads go (/dev/shm keeps the disk out)
# Download: from nginx (HEAD and ranged GETs, no signatures): the client, a bare ranged-GET
# client of the same threads and slice size, curl and aria2c. Small objects and the upload:
# zid-local-service without its signature check (curl cannot sign), so both sides cost the
# service the same; the upload also goes to a plain sink (zid-bench-sink). Every step checks
# the bytes it moved. MD5: one plain GET of the object from zid-local-service, with and
# without the check of the body against its ETag. Prints figures; it never fails on a ratio.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mib=${1:-${ZID_BENCH_MIB:-1024}}
only=${ZID_BENCH_ONLY:-download small upload md5}
runs=${ZID_BENCH_RUNS:-3}
small_count=${ZID_BENCH_SMALL:-1000}
small_runs=${ZID_BENCH_SMALL_RUNS:-9}
build=${ZID_BENCH_BUILD:-$root/build}
limit=${ZID_BENCH_TIMEOUT:-300}
peer_transfer=${ZID_BENCH_PEER_TRANSFER:-}
tools=$build/tools/bench
bench=$tools/zid-bench-transfer
small=$tools/zid-bench-small
bare=$tools/zid-bench-bare-get
sink=$tools/zid-bench-sink
service=$build/tools/local-service/zid-local-service
threads=10
slice=$((4 << 20))
small_threads=8
peer=${ZID_BENCH_PEER:-}
if [ -n "$peer" ]; then
  [ -x "$peer" ] || { echo "missing $peer" >&2; exit 2; }
  peer_name=${ZID_BENCH_PEER_NAME:-$(git -C "$(dirname "$peer")" rev-parse --short HEAD 2>/dev/null || echo peer)}
fi

for tool in "$bench" "$small" "$bare" "$sink" "$service"; do
  [ -x "$tool" ] || { echo "missing $tool: build first" >&2; exit 2; }
done
[ -z "$peer_transfer" ] || [ -x "$peer_transfer" ] || { echo "missing $peer_transfer" >&2; exit 2; }
for tool in nginx curl aria2c cmp /usr/bin/time timeout; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] ||
    { echo "missing $tool (scripts/setup.sh installs it)" >&2; exit 2; }
done
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
wants() { [[ " $only " == *" $1 "* ]]; }

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
mkdir -p "$work/www" "$work/out" "$work/nginx" "$work/small"
load() { cut -d' ' -f1-3 /proc/loadavg; }

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

# start_held NAME COMMAND...: a server that says "listening on HOST:PORT" and ends when the
# pipe we hold on its standard input closes; sets held_domain.
held_fd=4
start_held() {
  local name=$1; shift
  mkfifo "$work/$name.in"
  "$@" <"$work/$name.in" >"$work/$name.out" 2>&1 &
  pids+=("$!")
  eval "exec $held_fd>\"$work/$name.in\""
  held_fd=$((held_fd + 1))
  for _ in $(seq 100); do
    held_domain=$(sed -n 's/^listening on //p' "$work/$name.out")
    [ -n "$held_domain" ] && return 0
    sleep 0.1
  done
  echo "$name did not start:" >&2; cat "$work/$name.out" >&2; return 1
}

# measure NAME BYTES OPS CHECK COMMAND...: wall time, CPU (user + system, the command's
# children included) and peak RSS of one client process; CHECK is evaluated after it and must
# succeed for the figures to count (standard output of the command is in $work/step.out).
rows=$work/rows
measure() {
  local name=$1 bytes=$2 ops=$3 check=$4; shift 4
  local t0 t1 rc=0
  if [ "$bytes" -ge $((64 << 20)) ]; then
    # Dirty pages of the previous step must not be written back on this one's time.
    sync
    # A virtual machine's host may take back memory the guest freed a while ago; writing and
    # dropping a file of the object's size just before the step gives every client memory the
    # guest holds, instead of charging page faults on the host to whichever runs after a pause.
    head -c "$bytes" /dev/zero >"$work/out/warm"
    rm -f "$work/out/warm"
    sync
  fi
  t0=$(date +%s%N)
  timeout "$limit" /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" \
    >"$work/step.out" 2>"$work/step.err" || rc=$?
  t1=$(date +%s%N)
  if [ $rc -ne 0 ]; then
    echo "$name failed (exit $rc):" >&2; tail -5 "$work/step.err" >&2
    printf '%s\tfailed\n' "$name" >>"$rows"; return 0
  fi
  if ! eval "$check"; then
    echo "$name: the bytes moved are not the bytes sent" >&2
    printf '%s\tcorrupt\n' "$name" >>"$rows"; return 0
  fi
  local user sys rss
  read -r user sys rss <"$work/time"
  printf '%s\tok\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$(((t1 - t0) / 1000))" "$bytes" "$ops" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN{print u + s}')" "$rss" "$(load | cut -d' ' -f1)" >>"$rows"
}

# ---- download -------------------------------------------------------------------------------
got_is_obj() { cmp -s "$work/www/obj" "$1" && rm -f "$1"; }
run_downloads() {
  start_nginx
  local url="http://127.0.0.1:$nginx_port/obj" d="127.0.0.1:$nginx_port" out=$work/out r tag
  echo "download: nginx on $d; load $(load)"
  # Round 0 warms the machine up (after a pause the first burst of threads runs slow on a
  # shared host); it is shown but left out of the ratios.
  for r in $(seq 0 "$runs"); do
    tag="#$r"
    # Interleaved, so a change of load hits all of them alike.
    measure "zid MultiThreadDownload $tag" "$size" 1 "got_is_obj $out/zid" \
      "$bench" download "$d" obj "$out/zid" "$threads" "$slice"
    measure "bare ranged GET $tag" "$size" 1 "got_is_obj $out/bare" \
      "$bare" "$d" /obj "$out/bare" "$threads" "$slice"
    measure "zid ResumableGetObject $tag" "$size" 1 "got_is_obj $out/zid-resumable" \
      "$bench" resumable "$d" obj "$out/zid-resumable" "$threads" "$slice"
    measure "zid Resumable, no fdatasync $tag" "$size" 1 "got_is_obj $out/zid-nosync" \
      "$bench" resumable-nosync "$d" obj "$out/zid-nosync" "$threads" "$slice"
    measure "curl $tag" "$size" 1 "got_is_obj $out/curl" curl -sS -f -o "$out/curl" "$url"
    measure "aria2c -x10 -s10 -k4M $tag" "$size" 1 "got_is_obj $out/aria2" \
      aria2c -q -x10 -s10 -k4M --file-allocation=none --allow-overwrite=true \
      --auto-file-renaming=false --check-certificate=false -d "$out" -o aria2 "$url"
  done
}

# ---- small objects --------------------------------------------------------------------------
# curl_config get|put PREFIX [DIR]: one curl process for all objects, so its connection is
# kept; GETs write to standard output or, with DIR, each to its own file there.
curl_config() {
  local i name
  printf 'header = "Host: %s"\n' "$host"
  for ((i = 0; i < small_count; i++)); do
    printf -v name 'o%05d' "$i"
    [ "$1" = put ] && printf 'upload-file = "%s"\n' "$work/small/src/$name"
    [ -n "${3:-}" ] && printf 'output = "%s"\n' "$3/$name"
    printf 'url = "http://%s/%s/%s"\n' "$service_domain" "$2" "$name"
  done
}
small_ok() { "$small" verify "$1" "$small_count"; }
# Parallel GETs write a file per object: in one stream their bodies would interleave.
small_files_ok() {
  find "$1" -type f -exec cat {} + >"$work/small/files.out" && rm -rf "$1" &&
    small_ok "$work/small/files.out"
}
# What a PUT pass stored, read back by one keep-alive curl.
stored_ok() {
  curl_config get "$1" >"$work/small/check.cfg"
  curl -sS -f -K "$work/small/check.cfg" >"$work/small/check.out" && small_ok "$work/small/check.out"
}
# peer_small get|put: one pass of the other build's client, one object after another (uses
# run_small's round, tag and sizes).
peer_small() {
  [ -n "$peer" ] || return 0
  if [ "$1" = get ]; then
    measure "$peer_name GET x1 $tag" "$bytes" "$n" "small_ok $work/step.out" \
      "$peer" get "$service_domain" small "$n" 1
  else
    measure "$peer_name PUT x1 $tag" "$bytes" "$n" "stored_ok p-peer-$r" \
      "$peer" put "$service_domain" "p-peer-$r" "$cfg/src" "$n" 1
  fi
}
run_small() {
  local r tag n=$small_count bytes=$((small_count * 4096)) cfg=$work/small
  mkdir -p "$cfg/src"
  "$small" gen "$cfg/src" "$n"
  curl_config get small >"$cfg/get.cfg"
  curl_config get small "$cfg/curl8" >"$cfg/get8.cfg"
  curl_config put small >"$cfg/seed.cfg"
  curl -sS -f -o /dev/null -K "$cfg/seed.cfg"
  stored_ok small
  echo "small objects: $n x 4 KiB on zid-local-service $service_domain; load $(load)"
  for r in $(seq 0 "$small_runs"); do
    tag="#$r"
    curl_config put "p-curl-$r" >"$cfg/put.cfg"
    curl_config put "p-curl8-$r" >"$cfg/put8.cfg"
    # The other build goes first in every other round, so that neither always follows the
    # same step.
    [ $((r % 2)) -eq 1 ] && peer_small get
    measure "zid GET x1 $tag" "$bytes" "$n" "small_ok $work/step.out" \
      "$small" get "$service_domain" small "$n" 1
    measure "curl GET keep-alive $tag" "$bytes" "$n" "small_ok $work/step.out" \
      curl -sS -f -K "$cfg/get.cfg"
    [ $((r % 2)) -eq 0 ] && peer_small get
    [ $((r % 2)) -eq 1 ] && peer_small put
    measure "zid PUT x1 $tag" "$bytes" "$n" "stored_ok p-zid-$r" \
      "$small" put "$service_domain" "p-zid-$r" "$cfg/src" "$n" 1
    measure "curl PUT keep-alive $tag" "$bytes" "$n" "stored_ok p-curl-$r" \
      curl -sS -f -o /dev/null -K "$cfg/put.cfg"
    [ $((r % 2)) -eq 0 ] && peer_small put
    rm -rf "$cfg/zid8" "$cfg/curl8"; mkdir "$cfg/zid8" "$cfg/curl8"
    measure "zid GET x$small_threads $tag" "$bytes" "$n" "small_files_ok $cfg/zid8" \
      "$small" get "$service_domain" small "$n" "$small_threads" "$cfg/zid8"
    measure "curl -Z GET $tag" "$bytes" "$n" "small_files_ok $cfg/curl8" \
      curl -sS -f -Z --parallel-max "$small_threads" -K "$cfg/get8.cfg"
    measure "zid PUT x$small_threads $tag" "$bytes" "$n" "stored_ok p-zid8-$r" \
      "$small" put "$service_domain" "p-zid8-$r" "$cfg/src" "$n" "$small_threads"
    measure "curl -Z PUT $tag" "$bytes" "$n" "stored_ok p-curl8-$r" \
      curl -sS -f -o /dev/null -Z --parallel-max "$small_threads" -K "$cfg/put8.cfg"
  done
}

# ---- upload ---------------------------------------------------------------------------------
# The service's copy read back whole, then dropped: it holds objects in memory.
service_has_obj() {
  local u="http://$service_domain/$1"
  curl -sS -f -H "Host: $host" "$u" | cmp -s - "$work/www/obj" &&
    curl -sS -f -o /dev/null -X DELETE -H "Host: $host" "$u"
}
sink_has_obj() { grep -qx "object /$1 $obj_crc" "$work/sink.out"; }
run_uploads() {
  local r tag obj=$work/www/obj
  obj_crc=$("$sink" crc32 "$obj")
  echo "upload: zid-local-service $service_domain, sink $sink_domain; load $(load)"
  for r in $(seq 0 "$runs"); do
    tag="#$r"
    measure "zid upload to sink $tag" "$size" 1 "sink_has_obj up-zid-$r" \
      "$bench" upload "$sink_domain" "up-zid-$r" "$obj" "$threads" "$slice"
    measure "curl -T to sink $tag" "$size" 1 "sink_has_obj up-curl-$r" \
      curl -sS -f -o /dev/null -T "$obj" -H "Host: $host" "http://$sink_domain/up-curl-$r"
    measure "zid upload to service $tag" "$size" 1 "service_has_obj up-zid-$r" \
      "$bench" upload "$service_domain" "up-zid-$r" "$obj" "$threads" "$slice"
    measure "curl -T to service $tag" "$size" 1 "service_has_obj up-curl-$r" \
      curl -sS -f -o /dev/null -T "$obj" -H "Host: $host" "http://$service_domain/up-curl-$r"
  done
}

# ---- MD5-checked GET ------------------------------------------------------------------------
run_md5() {
  local r tag out=$work/out
  curl -sS -f -o /dev/null -T "$work/www/obj" -H "Host: $host" "http://$service_domain/md5-obj"
  echo "MD5-checked GET: zid-local-service $service_domain; load $(load)"
  for r in $(seq 0 "$runs"); do
    tag="#$r"
    measure "zid GetObject $tag" "$size" 1 "got_is_obj $out/get" \
      "$bench" get "$service_domain" md5-obj "$out/get"
    measure "zid GetObject, MD5 check $tag" "$size" 1 "got_is_obj $out/get-md5" \
      "$bench" get-md5 "$service_domain" md5-obj "$out/get-md5"
    if [ -n "$peer_transfer" ]; then
      measure "peer GetObject $tag" "$size" 1 "got_is_obj $out/get-peer" \
        "$peer_transfer" get "$service_domain" md5-obj "$out/get-peer"
    fi
  done
  curl -sS -f -o /dev/null -X DELETE -H "Host: $host" "http://$service_domain/md5-obj"
}

host=$("$bench" host)
: >"$rows"
if wants small || wants upload || wants md5; then
  start_held service "$service" --port 0 --no-signature-check
  service_domain=$held_domain
  # The service serves only buckets that were made.
  curl -sS -f -o /dev/null -X PUT -H "Host: $host" "http://$service_domain/"
fi
wants download && run_downloads
wants small && run_small
wants md5 && run_md5
if wants upload; then
  start_held sink "$sink"
  sink_domain=$held_domain
  run_uploads
fi

echo
echo "object: $size bytes; threads $threads, slice and part $slice bytes; load after: $(load)"
# shellcheck source=bench-report.sh
. "$here/bench-report.sh"
report_table
echo
rss_goal=$(((threads * slice >> 20) + 16))
if wants download; then
  compare "download CPU/GiB" "zid MultiThreadDownload" "bare ranged GET" cpu 1.15
  compare "download wall" "zid MultiThreadDownload" "bare ranged GET" speed
  compare "download wall" "zid MultiThreadDownload" "curl" speed
  compare "download wall" "zid MultiThreadDownload" "aria2c -x10 -s10 -k4M" speed
  compare "resumable wall" "zid ResumableGetObject" "zid MultiThreadDownload" speed
  compare "fdatasync cost" "zid ResumableGetObject" "zid Resumable, no fdatasync" speed
  peak "download" "zid MultiThreadDownload" "$rss_goal"
fi
if wants small; then
  compare "4 KiB GET, one after another" "zid GET x1" "curl GET keep-alive" speed 1.0
  compare "4 KiB PUT, one after another" "zid PUT x1" "curl PUT keep-alive" speed 1.0
  if [ -n "$peer" ]; then
    compare "4 KiB GET, one after another" "zid GET x1" "$peer_name GET x1" speed 1.0
    compare "4 KiB PUT, one after another" "zid PUT x1" "$peer_name PUT x1" speed
    compare "4 KiB GET, one after another" "$peer_name GET x1" "curl GET keep-alive" speed
    compare "4 KiB PUT, one after another" "$peer_name PUT x1" "curl PUT keep-alive" speed
  fi
  compare "4 KiB GET, $small_threads threads" "zid GET x$small_threads" "curl -Z GET" speed 1.0
  compare "4 KiB PUT, $small_threads threads" "zid PUT x$small_threads" "curl -Z PUT" speed 1.0
  compare "4 KiB GET CPU" "zid GET x1" "curl GET keep-alive" cpu
  compare "4 KiB PUT CPU" "zid PUT x1" "curl PUT keep-alive" cpu
fi
if wants md5; then
  compare "MD5 check wall" "zid GetObject, MD5 check" "zid GetObject" speed
  compare "MD5 check CPU/GiB" "zid GetObject, MD5 check" "zid GetObject" cpu
  if [ -n "$peer_transfer" ]; then
    compare "single GET wall" "zid GetObject" "peer GetObject" speed
    compare "single GET CPU/GiB" "zid GetObject" "peer GetObject" cpu
  fi
fi
if wants upload; then
  compare "upload to sink wall" "zid upload to sink" "curl -T to sink" speed 2.5
  cpu_goal "upload to sink" "zid upload to sink" 2.0
  compare "upload to sink CPU" "zid upload to sink" "curl -T to sink" cpu
  compare "upload to service wall" "zid upload to service" "curl -T to service" speed
  peak "upload" "zid upload to sink" "$rss_goal"
fi
