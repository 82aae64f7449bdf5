# The figures of run-transfer-bench.sh, read from its rows file ($rows): one line per step,
# tab-separated: "NAME #ROUND", ok|failed|corrupt, microseconds, bytes, operations, CPU seconds,
# peak RSS KiB, load average. Round 0 is the warm-up: shown, never in a ratio.

report_table() {
  awk -F'\t' '
    BEGIN { printf "%-34s %8s %9s %9s %7s %9s %8s %5s\n", "client", "seconds", "MiB/s", "ops/s",
                   "CPU s", "CPU s/GiB", "peak MiB", "load" }
    $2 != "ok" { printf "%-34s %8s\n", $1, $2; next }
    { s = $3 / 1e6
      printf "%-34s %8.3f %9.1f %9s %7.2f %9.2f %8.1f %5s\n", $1, s, $4 / 1048576 / s,
             ($5 > 1 ? sprintf("%.0f", $5 / s) : "-"), $6, $6 / ($4 / 1073741824), $7 / 1024, $8 }
  ' "$rows"
}

# The per-round values of one client, rounds 1 and up:
# "ROUND SECONDS CPU-S-PER-GIB PEAK-MIB OPS-PER-S" (the rate is 0 for a single operation).
per_round() {
  awk -F'\t' -v want="$1" '
    $2 == "ok" { name = $1; round = name; sub(/ #[0-9]+$/, "", name); sub(/.* #/, "", round)
                 if (name == want && round > 0) print round, $3 / 1e6, $6 / ($4 / 1073741824), $7 / 1024,
                                                     ($5 > 1 ? $5 / ($3 / 1e6) : 0) }
  ' "$rows"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# compare LABEL A B speed|cpu [GOAL]: the median over rounds of A's speed over B's (B's seconds
# over A's; at least GOAL), or of A's CPU per GiB over B's (at most GOAL), with both medians
# (and both median rates, for passes of many operations).
compare() {
  local label=$1 a=$2 b=$3 kind=$4 goal=${5:-}
  local joined
  joined=$(join <(per_round "$a" | sort -k1,1) <(per_round "$b" | sort -k1,1))
  if [ -z "$joined" ]; then echo "$label: $a against $b: no round where both succeeded"; return; fi
  local col ratio ma mb ra rb
  [ "$kind" = speed ] && col='$6 / $2' || col='$3 / $7'
  ratio=$(awk "{ print $col }" <<<"$joined" | median)
  if [ "$kind" = speed ]; then
    ma=$(awk '{ print $2 }' <<<"$joined" | median); mb=$(awk '{ print $6 }' <<<"$joined" | median)
    ra=$(awk '{ print $5 }' <<<"$joined" | median); rb=$(awk '{ print $9 }' <<<"$joined" | median)
    printf '%s: %s %.2fx %s (median seconds %.3f against %.3f' "$label" "$a" "$ratio" "$b" "$ma" "$mb"
    awk -v ra="$ra" -v rb="$rb" 'BEGIN { if (ra > 0) printf ", ops/s %.0f against %.0f", ra, rb }'
    printf ', %d rounds)' "$(wc -l <<<"$joined")"
  else
    ma=$(awk '{ print $3 }' <<<"$joined" | median); mb=$(awk '{ print $7 }' <<<"$joined" | median)
    printf '%s: %s %.2f s/GiB, %s %.2f s/GiB: %.2fx (%d rounds)' "$label" "$a" "$ma" "$b" "$mb" \
      "$ratio" "$(wc -l <<<"$joined")"
  fi
  if [ -n "$goal" ]; then
    awk -v r="$ratio" -v g="$goal" -v k="$kind" 'BEGIN {
      met = k == "speed" ? r >= g : r <= g
      printf "; goal %s %sx: %s", k == "speed" ? "at least" : "at most", g, met ? "met" : "MISSED" }'
  fi
  echo
}

# cpu_goal LABEL A GOAL: A's median CPU seconds per GiB, at most GOAL.
cpu_goal() {
  local m
  m=$(per_round "$2" | awk '{ print $3 }' | median)
  [ "$m" = - ] && { echo "$1: no round succeeded"; return; }
  awk -v l="$1" -v m="$m" -v g="$3" 'BEGIN {
    printf "%s: CPU %.2f s/GiB (median); goal at most %s: %s\n", l, m, g, m <= g ? "met" : "MISSED" }'
}

# peak LABEL A GOAL-MIB: A's highest peak RSS over the rounds, at most GOAL-MIB.
peak() {
  local m
  m=$(per_round "$2" | awk '{ print $4 }' | sort -g | tail -1)
  [ -z "$m" ] && { echo "$1: no round succeeded"; return; }
  awk -v l="$1" -v m="$m" -v g="$3" 'BEGIN {
    printf "%s: peak RSS %.1f MiB (highest round); goal at most %s MiB: %s\n", l, m, g, m <= g ? "met" : "MISSED" }'
}
