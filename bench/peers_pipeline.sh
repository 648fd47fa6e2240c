#!/usr/bin/env bash
# Times the whole per-frame pipeline through the command line against ffmpeg, one thread each:
# a 640 x 480 24-bit uncompressed AVI averaged down to 320 x 240, brightened, and written as a
# 24-bit uncompressed AVI (ffmpeg: scale with area averaging, lutrgb, rawvideo). The two tools
# take turns run by run; prints the CPU time per frame of each and the ratio ours / ffmpeg
# (median of the pairs).
#   [RUNS=5] [FRAMES=100] bash bench/peers_pipeline.sh [reelforge-cli]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
CLI=${1:-build/default/apps/reelforge-cli/reelforge-cli}
RUNS=${RUNS:-5}
FRAMES=${FRAMES:-100}
work=$(mktemp -d "${TMPDIR:-/tmp}/rfpipe.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$FFMPEG" -v error -f lavfi -i "testsrc2=s=640x480:r=25,noise=alls=12:allf=t" -frames:v "$FRAMES" \
  -pix_fmt bgr24 -c:v rawvideo "$work/in.avi"

ours=("$CLI" render -q --size 320x240 --resample --effect "Brightness:20,20,20" --codec DIB
  -o "$work/ours.avi" "$work/in.avi")
ff=("$FFMPEG" -v error -threads 1 -filter_threads 1 -i "$work/in.avi"
  -vf "scale=320:240:flags=area,lutrgb=r=val+51:g=val+51:b=val+51" -pix_fmt bgr24 -c:v rawvideo
  -y "$work/ff.avi")

# A warm-up, so that both outputs exist and the input is in the page cache.
rm -f "$work/ours.avi"
"${ours[@]}" > /dev/null
"${ff[@]}"
oursT=() ffT=() ratios=()
for ((run = 0; run < RUNS; ++run)); do
  rm -f "$work/ours.avi"
  a=$(cpu "${ours[@]}")
  b=$(cpu "${ff[@]}")
  oursT+=("$a") ffT+=("$b")
  ratios+=("$(echo "$a / $b" | bc -l)")
done
perFrame() { printf "%s\n" "$@" | median | awk -v f="$FRAMES" '{ printf "%.2f", $1 * 1000 / f }'; }
printf "%-44s %14s %14s %8s\n" "job ($FRAMES frames, one thread)" "ours ms/frame" "ffmpeg ms/fr." "ratio"
printf "%-44s %14s %14s %8.2f\n" "640x480 AVI -> 320x240 averaged + brightness" "$(perFrame "${oursT[@]}")" \
  "$(perFrame "${ffT[@]}")" "$(printf "%s\n" "${ratios[@]}" | median)"
