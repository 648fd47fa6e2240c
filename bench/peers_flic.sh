#!/usr/bin/env bash
# FLC writing of 640 x 480 frames, one thread. ffmpeg has no FLIC encoder, so it stands beside us
# with what it can do on the same frames: decoding our FLC, and writing them as a GIF and as raw
# 8-bit frames (net of reading them). Ours comes from bench_flc on the same frames, and from the
# command line turning the 8-bit BMP sequence into an FLC. CPU milliseconds per frame, medians of
# RUNS runs (default 5), on a moving test pattern (deltas) and on it with noise (uncompressed
# frames).
#   [RUNS=5] bash bench/peers_flic.sh [build folder]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
build=${1:-build/default}
BENCH=$build/bench/bench_flc
CLI=$build/apps/reelforge-cli/reelforge-cli
RUNS=${RUNS:-5}
FRAMES=100
work=$(mktemp -d "${TMPDIR:-/tmp}/rfflic.XXXXXX")
trap 'rm -rf "$work"' EXIT

# CPU seconds (user + system) of one command.
# Median CPU seconds of RUNS runs of a command.
seconds() {
  local run times=()
  for ((run = 0; run < RUNS; ++run)); do times+=("$(cpu "$@")"); done
  printf "%s\n" "${times[@]}" | median
}
ms() { echo "$1" | awk -v f=$FRAMES '{ printf "%.2f", $1 * 1000 / f }'; }
# Our CPU milliseconds per frame of one benchmark of bench_flc.
ours() {
  FLC_BENCH_FRAMES=$1 "$BENCH" --benchmark_filter="^$2\$" --benchmark_min_time=0.5 \
    --benchmark_repetitions="$RUNS" --benchmark_format=csv 2> /dev/null |
    awk -F, '$1 ~ /_median"$/ { printf "%.2f", $4 }'
}

ff=("$FFMPEG" -v error -threads 1 -filter_threads 1 -y)
echo "CPU ms per 640 x 480 frame ($FRAMES frames; ffmpeg writes net of reading the BMPs)"
printf "%-9s %9s %10s %10s %10s %12s %10s %12s\n" "material" "FLC KB/fr" "ours write" "ours read" \
  "ours CLI" "ff read FLC" "ff GIF" "ff raw pal8"
for kind in pattern noise; do
  filter="testsrc2=s=640x480:r=25"
  [[ $kind == noise ]] && filter+=",noise=alls=20:allf=t"
  dir="$work/$kind"
  mkdir -p "$dir/in"
  # 8-bit frames, so that every job stores the pictures as they are.
  "$FFMPEG" -v error -f lavfi -i "$filter" -frames:v $FRAMES -pix_fmt pal8 -start_number 0 "$dir/in/f%04d.bmp"
  "${ff[@]}" -i "$dir/in/f%04d.bmp" -f rawvideo -pix_fmt pal8 "$dir/frames.raw"
  flc="$dir/out.flc"
  cli=("$CLI" render --sequences -q -o "$flc" "$dir/in/f0000.bmp")
  "${cli[@]}" > /dev/null
  base=$(seconds "${ff[@]}" -i "$dir/in/f%04d.bmp" -f null -)
  gif=$(seconds "${ff[@]}" -i "$dir/in/f%04d.bmp" "$dir/out.gif")
  raw=$(seconds "${ff[@]}" -i "$dir/in/f%04d.bmp" -f rawvideo -pix_fmt pal8 "$dir/out.raw")
  printf "%-9s %9s %10s %10s %10s %12s %10s %12s\n" "$kind" "$(($(stat -c %s "$flc") / FRAMES / 1024))" \
    "$(ours "$dir/frames.raw" BM_FlcWrite)" "$(ours "$dir/frames.raw" BM_FlcRead)" "$(ms "$(seconds "${cli[@]}")")" \
    "$(ms "$(seconds "${ff[@]}" -i "$flc" -f null -)")" "$(ms "$(echo "$gif - $base" | bc -l)")" \
    "$(ms "$(echo "$raw - $base" | bc -l)")"
done
