#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a bounded time on freshly generated seeds, one
# after the other, reports each, and fails at the end if any target found something.
# Usage: run.sh [BUILD [SECONDS [TARGET...]]]; without TARGET every fuzz_* of BUILD runs.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/fuzz}
seconds=${2:-30}
shift $(($# > 2 ? 2 : $#))
targets=("$@")
if ((${#targets[@]} == 0)); then
  for target in "$build"/fuzz/fuzz_*; do
    [[ -x "$target" ]] && targets+=("$(basename "$target")")
  done
fi
((${#targets[@]} > 0)) || { echo "no fuzz targets in $build/fuzz" >&2; exit 1; }

declare -a summary
failed=0
for name in "${targets[@]}"; do
  target="$build/fuzz/$name"
  seeds="$build/seeds/$name"
  corpus="$build/corpus/$name"
  findings="$build/findings/$name"
  mkdir -p "$seeds" "$corpus" "$findings"
  seeder="$here/${name#fuzz_}_seeds.sh"
  echo "== $name (${seconds}s)"
  if [[ -f "$seeder" ]] && ! bash "$seeder" "$seeds"; then
    summary+=("$name: seeds failed")
    failed=1
    continue
  fi
  if "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$seeds"; then
    summary+=("$name: clean")
  else
    summary+=("$name: FOUND (exit $?), input in $findings/")
    failed=1
  fi
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
