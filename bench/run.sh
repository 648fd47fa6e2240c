#!/usr/bin/env bash
# Runs every benchmark program of a build folder, then times the peer tools on the same jobs so
# that our figures and theirs stand side by side.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/default}
for b in "$build"/bench/bench_*; do
  [[ -x "$b" ]] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
echo "== peers: picture operations (ours, ffmpeg, ImageMagick)"
bash "$here/peers.sh" 200 "$build/bench/bench_image"
echo "== peers: effects (ffmpeg filters)"
bash "$here/peers_effects.sh"
echo "== peers: picture sequences through the command line (ffmpeg)"
bash "$here/peers_sequences.sh" "$build/apps/reelforge-cli/reelforge-cli"
echo "== start-up of the command line (ours, sox)"
bash "$here/startup.sh" "$build/apps/reelforge-cli/reelforge-cli"
