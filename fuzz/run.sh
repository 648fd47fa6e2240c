#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a bounded time on freshly generated seeds.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/fuzz}
seconds=${2:-30}
for target in "$build"/fuzz/fuzz_*; do
  [[ -x "$target" ]] || continue
  name=$(basename "$target")
  seeds="$build/seeds/$name"
  corpus="$build/corpus/$name"
  mkdir -p "$seeds" "$corpus"
  seeder="$here/${name#fuzz_}_seeds.sh"
  [[ -f "$seeder" ]] && bash "$seeder" "$seeds"
  echo "== $name (${seconds}s)"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    "$corpus" "$seeds"
done
