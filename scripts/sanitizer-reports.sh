# Sourced by the sanitizer scripts. sanitizer_reports DIR STATUS prints every report a sanitizer
# wrote to DIR and exits with STATUS, or with 1 when the tests passed but a report was written
# (a child process's report fails the run even when no test looked at its exit status).
sanitizer_reports() {
  local logs=$1 status=$2
  local reports=("$logs"/report.*)
  if [ -e "${reports[0]}" ]; then
    echo "sanitizer reports (${#reports[@]}):" >&2
    for r in "${reports[@]}"; do
      echo "==== $r" >&2
      cat "$r" >&2
    done
    if [ "$status" -eq 0 ]; then status=1; fi
  fi
  exit "$status"
}
