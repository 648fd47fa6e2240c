#!/usr/bin/env bash
# Times the command line against ffmpeg on AVI jobs, one thread each, the two tools taking turns
# run by run: a raw 640 x 480 AVI copied into a raw AVI (the identity run), and a BMP sequence
# encoded into an FFV1 AVI (both call the same encoder). Prints the CPU time per frame of each
# and the ratio ours / ffmpeg (median of the pairs).
#   [RUNS=7] bash bench/peers_avi.sh [reelforge-cli]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
CLI=${1:-build/default/apps/reelforge-cli/reelforge-cli}
RUNS=${RUNS:-7}
FRAMES=100
work=$(mktemp -d "${TMPDIR:-/tmp}/rfavi.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/in"
"$FFMPEG" -v error -f lavfi -i "testsrc2=s=640x480:r=25,noise=alls=12:allf=t" -frames:v $FRAMES \
  -pix_fmt bgr24 -start_number 0 "$work/in/f%04d.bmp"
"$FFMPEG" -v error -i "$work/in/f%04d.bmp" -c:v rawvideo -pix_fmt bgr24 "$work/raw.avi"

# name|our command|ffmpeg's command
jobs=(
  "raw AVI to raw AVI|$CLI convert -q $work/raw.avi $work/ours_raw.avi --codec DIB|$FFMPEG -v error -threads 1 -filter_threads 1 -i $work/raw.avi -c:v rawvideo -y $work/ff_raw.avi"
  "BMP sequence to FFV1|$CLI render -q --sequences --codec FFV1 -o $work/ours_ffv1.avi $work/in/f0000.bmp|$FFMPEG -v error -threads 1 -filter_threads 1 -i $work/in/f%04d.bmp -c:v ffv1 -pix_fmt bgr0 -y $work/ff_ffv1.avi"
)

# CPU seconds (user + system) of one command.


printf "%-24s %14s %14s %8s\n" "job (100 frames)" "ours ms/frame" "ffmpeg ms/fr." "ratio"
for job in "${jobs[@]}"; do
  IFS='|' read -r name ours theirs <<< "$job"
  read -ra oursCmd <<< "$ours"
  read -ra ffCmd <<< "$theirs"
  # A warm-up, so that both outputs exist before the timed runs.
  "${oursCmd[@]}" > /dev/null
  "${ffCmd[@]}"
  ratios=() oursT=() ffT=()
  for ((run = 0; run < RUNS; ++run)); do
    a=$(cpu "${oursCmd[@]}")
    b=$(cpu "${ffCmd[@]}")
    oursT+=("$a")
    ffT+=("$b")
    ratios+=("$(echo "$a / $b" | bc -l)")
  done
  perFrame() { printf "%s\n" "$@" | median | awk -v f=$FRAMES '{ printf "%.2f", $1 * 1000 / f }'; }
  ratio=$(printf "%s\n" "${ratios[@]}" | median)
  printf "%-24s %14s %14s %8.2f\n" "$name" "$(perFrame "${oursT[@]}")" "$(perFrame "${ffT[@]}")" "$ratio"
done
