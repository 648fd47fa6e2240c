#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a bounded time on freshly generated seeds.
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-30}
seeds="$build/seeds"
bash "$(dirname "$0")/make_seeds.sh" "$seeds"
for target in "$build"/fuzz/fuzz_*; do
  [[ -x "$target" ]] || continue
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name (${seconds}s)"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    "$corpus" "$seeds/$name"
done
