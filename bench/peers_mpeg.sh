#!/usr/bin/env bash
# Times the command line against ffmpeg on MPEG work, one thread each, the two tools taking turns
# run by run: (1) a 352 x 288 MPEG-1 + MP2 system stream from 100 BMP pictures and a WAV, at the
# same data rates (the same encoders do the work, so the goal is at most 1.1 x ffmpeg's time);
# (2) 100 frames at random places of a 2-minute MP4: ours in one run (the index is built once),
# ffmpeg in 100 runs of "-ss" (the goal: faster). Prints CPU seconds and the ratio ours / ffmpeg
# (median of the pairs).
#   [RUNS=3] bash bench/peers_mpeg.sh [reelforge-cli]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
CLI=${1:-build/default/apps/reelforge-cli/reelforge-cli}
RUNS=${RUNS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/rfmpeg.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/ours" "$work/ff"

"$FFMPEG" -v error -f lavfi -i "testsrc2=s=352x288:r=25" -frames:v 100 -pix_fmt bgr24 -start_number 0 \
  "$work/in/f%04d.bmp"
"$FFMPEG" -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=4" -ac 2 "$work/in/sound.wav"
"$FFMPEG" -v error -f lavfi -i "testsrc2=s=320x240:r=25:d=120" -c:v libx264 -threads 1 -g 50 -bf 2 \
  -pix_fmt yuv420p "$work/in/long.mp4"


encodeOurs() { "$CLI" render --sequences -q -o "$work/ours/out.mpg" "$work/in/f0000.bmp" "$work/in/sound.wav"; }
encodeFfmpeg() {
  "$FFMPEG" -v error -threads 1 -filter_threads 1 -framerate 25 -i "$work/in/f%04d.bmp" -i "$work/in/sound.wav" \
    -c:v mpeg1video -b:v 1152000 -c:a mp2 -b:a 160k -y "$work/ff/out.mpg"
}

# 100 frame numbers spread over the 3000 frames in a fixed shuffled order.
frames=$(awk 'BEGIN { srand(7); for (i = 0; i < 100; ++i) print int(rand() * 3000) }')
seekOurs() {
  local args=()
  for f in $frames; do args+=("$work/in/long.mp4@$f-$f"); done
  "$CLI" render -q -o "$work/ours/r0000.bmp" "${args[@]}"
}
seekFfmpeg() {
  local n=0
  for f in $frames; do
    "$FFMPEG" -v error -threads 1 -ss "$(awk -v f="$f" 'BEGIN { printf "%.4f", f / 25 }')" -i "$work/in/long.mp4" -frames:v 1 \
      -y "$work/ff/r$((n++)).bmp"
  done
}

printf "%-40s %10s %10s %8s\n" "job" "ours s" "ffmpeg s" "ratio"
for job in encode seek; do
  ours=() ff=() ratios=()
  for ((run = 0; run < RUNS; ++run)); do
    o=$(cpu "${job}Ours")
    f=$(cpu "${job}Ffmpeg")
    ours+=("$o") ff+=("$f") ratios+=("$(echo "$o / $f" | bc -l)")
  done
  label=$([[ $job == encode ]] && echo "MPEG-1+MP2 352x288, 100 frames + WAV" || echo "100 random frames of a 2-min MP4")
  printf "%-40s %10.2f %10.2f %8.2f\n" "$label" "$(printf '%s\n' "${ours[@]}" | median)" \
    "$(printf '%s\n' "${ff[@]}" | median)" "$(printf '%s\n' "${ratios[@]}" | median)"
done
