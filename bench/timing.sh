# Timing helpers the peer benchmarks share (sourced, not run).

# CPU seconds (user + system) of one command, its output discarded.
cpu() {
  local TIMEFORMAT='%U+%S'
  { time "$@" > /dev/null 2>&1; } 2>&1 | bc -l
}

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# CPU seconds of the command, best of RUNS runs.
best_of() {
  local best="" t
  for ((run = 0; run < RUNS; ++run)); do
    t=$(cpu "$@")
    if [[ -z "$best" ]] || (($(echo "$t < $best" | bc -l))); then best=$t; fi
  done
  echo "$best"
}
