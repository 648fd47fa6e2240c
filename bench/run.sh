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
echo "== peers: AVI identity run and FFV1 encode (ffmpeg)"
bash "$here/peers_avi.sh" "$build/apps/reelforge-cli/reelforge-cli"
echo "== peers: MPEG-1 + MP2 encode and random access in an MP4 (ffmpeg)"
bash "$here/peers_mpeg.sh" "$build/apps/reelforge-cli/reelforge-cli"
echo "== peers: GIF decode, size and quality (ffmpeg)"
bash "$here/peers_gif.sh" 100 "$build/apps/reelforge-cli/reelforge-cli"
echo "== peers: FLC writing (ffmpeg for scale)"
bash "$here/peers_flic.sh" "$build"
echo "== peers: HAV codecs against FFV1, HuffYUV and Ut Video (ffmpeg)"
bash "$here/peers_hav.sh" 50 "$build/bench/bench_hav"
echo "== peers: the whole pipeline, averaged rescale + brightness into a raw AVI (ffmpeg)"
bash "$here/peers_pipeline.sh" "$build/apps/reelforge-cli/reelforge-cli"
