#!/usr/bin/env bash
# Times FLC writing of 640 x 480 frames through the command line, one thread. ffmpeg has no FLIC
# encoder, so it stands beside us with what it can do on the same frames: decoding our FLC, and
# writing them as a GIF and as raw 8-bit frames. Our FLC write is also shown net of the same job
# writing a BMP sequence, so that reading the inputs does not count. CPU time per frame, median of
# RUNS runs (default 5), on two kinds of material: a moving test pattern (deltas) and the same
# with noise on every frame (uncompressed frames).
#   [RUNS=5] bash bench/peers_flic.sh [reelforge-cli]
set -euo pipefail

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
CLI=${1:-build/default/apps/reelforge-cli/reelforge-cli}
RUNS=${RUNS:-5}
FRAMES=100
work=$(mktemp -d "${TMPDIR:-/tmp}/rfflic.XXXXXX")
trap 'rm -rf "$work"' EXIT

# CPU seconds (user + system) of one command.
cpu() {
  local TIMEFORMAT='%U+%S'
  { time "$@" > /dev/null 2>&1; } 2>&1 | bc -l
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Milliseconds per frame of a command: the median of RUNS runs.
perFrame() {
  local run times=()
  for ((run = 0; run < RUNS; ++run)); do times+=("$(cpu "$@")"); done
  printf "%s\n" "${times[@]}" | median | awk -v f=$FRAMES '{ printf "%.2f", $1 * 1000 / f }'
}

ff=("$FFMPEG" -v error -threads 1 -filter_threads 1 -y)
echo "CPU ms per frame of 640 x 480 ($FRAMES frames); FLC KB per frame"
printf "%-12s %10s %10s %10s %10s %12s %12s %12s\n" "material" "FLC KB/fr" "ours FLC" "ours BMP" \
  "ours net" "ff dec. FLC" "ff GIF" "ff raw pal8"
for kind in pattern noise; do
  filter="testsrc2=s=640x480:r=25"
  [[ $kind == noise ]] && filter+=",noise=alls=20:allf=t"
  mkdir -p "$work/$kind/in" "$work/$kind/seq"
  # 8-bit inputs, so that both tools write the pictures as they are.
  "$FFMPEG" -v error -f lavfi -i "$filter" -frames:v $FRAMES -pix_fmt pal8 -start_number 0 "$work/$kind/in/f%04d.bmp"
  flc="$work/$kind/out.flc"
  oursFlc=("$CLI" render --sequences -q -o "$flc" "$work/$kind/in/f0000.bmp")
  oursBmp=("$CLI" render --sequences -q -o "$work/$kind/seq/o0000.bmp" "$work/$kind/in/f0000.bmp")
  "${oursFlc[@]}" > /dev/null
  a=$(perFrame "${oursFlc[@]}")
  b=$(perFrame "${oursBmp[@]}")
  c=$(perFrame "${ff[@]}" -i "$flc" -f null -)
  d=$(perFrame "${ff[@]}" -i "$work/$kind/in/f%04d.bmp" "$work/$kind/out.gif")
  e=$(perFrame "${ff[@]}" -i "$work/$kind/in/f%04d.bmp" -f rawvideo -pix_fmt pal8 "$work/$kind/out.raw")
  size=$(($(stat -c %s "$flc") / FRAMES / 1024))
  printf "%-12s %10s %10s %10s %10s %12s %12s %12s\n" "$kind" "$size" "$a" "$b" \
    "$(echo "$a - $b" | bc -l | awk '{ printf "%.2f", $1 }')" "$c" "$d" "$e"
done
