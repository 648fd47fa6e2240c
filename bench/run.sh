#!/usr/bin/env bash
# Runs every benchmark program of a build folder; later jobs also time ffmpeg and ImageMagick.
set -euo pipefail
build=${1:-build/default}
for b in "$build"/bench/bench_*; do
  [[ -x "$b" ]] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
