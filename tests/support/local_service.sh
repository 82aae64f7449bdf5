# Sourced by the scripts that run programs against zid-local-service as a separate process.
#
#   zid_start_service SERVICE WORK SEED [OPTION...]
#                                         starts the service on a free port with the files under
#                                         SEED (SEED/<bucket>/<key>), and the service's further
#                                         options, and sets zid_domain
#   zid_write_config FILE EXTRA_JSON      a client configuration for it ("AppID" $zid_app_id)
#   zid_stop_service                      ends it (also on exit, with the work folder removed)
#
# The service files a bucket under the first label of the Host header: NAME-APPID. A bucket
# exists once made: every folder SEED/NAME-APPID is one (an empty one too), and
# zid_start_service always makes SEED/example-$zid_app_id, the examples' bucket "example";
# any other bucket a script uses is a folder it makes under SEED first.
zid_app_id=1250000000
zid_domain=
zid_service_pid=
zid_work=

zid_stop_service() {
  exec 3>&- 2>/dev/null || true
  if [ -n "$zid_service_pid" ]; then
    kill "$zid_service_pid" 2>/dev/null || true
    wait "$zid_service_pid" 2>/dev/null || true
    zid_service_pid=
  fi
}

zid_cleanup() {
  zid_stop_service
  if [ -n "$zid_work" ]; then rm -rf "$zid_work"; fi
}

zid_start_service() {
  local service=$1 seed=$3
  zid_work=$2
  trap zid_cleanup EXIT
  mkdir -p "$seed/example-$zid_app_id"
  # The service ends when its standard input closes; keep it open on descriptor 3.
  mkfifo "$zid_work/service.stdin"
  "$service" --port 0 --seed "$seed" "${@:4}" < "$zid_work/service.stdin" > "$zid_work/service.out" 2>&1 &
  zid_service_pid=$!
  exec 3> "$zid_work/service.stdin"
  for _ in $(seq 100); do
    zid_domain=$(sed -n 's/^listening on //p' "$zid_work/service.out")
    [ -n "$zid_domain" ] && return 0
    kill -0 "$zid_service_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the loopback service did not start:" >&2
  cat "$zid_work/service.out" >&2
  return 1
}

zid_write_config() {
  cat > "$1" <<JSON
{
  "AppID": $zid_app_id,
  "SecretId": "AKID",
  "SecretKey": "SK",
  "Region": "ap-test",
  "DestDomain": "$zid_domain",
  ${2:+$2,}
  "LogLevel": 1
}
JSON
}
