#!/usr/bin/env bash
# Times the command line against ffmpeg on picture-sequence jobs: 100 frames of 640 x 480 BMP
# into a BMP sequence and into a TGA sequence, one thread each, the two tools taking turns run by
# run. Prints the CPU time per frame of each, the ratio ours / ffmpeg (median of the pairs), and
# the system calls per frame of each job (without those of starting the program).
#   [RUNS=7] bash bench/peers_sequences.sh [reelforge-cli]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
CLI=${1:-build/default/apps/reelforge-cli/reelforge-cli}
RUNS=${RUNS:-7}
FRAMES=100
work=$(mktemp -d "${TMPDIR:-/tmp}/rfseq.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/in" "$work/ours" "$work/ff"
"$FFMPEG" -v error -f lavfi -i "testsrc2=s=640x480:r=25,noise=alls=12:allf=t" -frames:v $FRAMES \
  -pix_fmt bgr24 -start_number 0 "$work/in/f%04d.bmp"

oursJob() {  # oursJob <extension>: the command line of our job
  echo "$CLI" render --sequences -q -o "$work/ours/o0000.$1" "$work/in/f0000.bmp"
}
# Both write TGA files run-length packed, and BMP files plain.
ffJob() {
  echo "$FFMPEG" -v error -threads 1 -filter_threads 1 -i "$work/in/f%04d.bmp" -y "$work/ff/o%04d.$1"
}

# CPU seconds (user + system) of one command.


# System calls of a command, from strace's summary.
calls() {
  strace -f -c -o "$work/strace.txt" "$@" > /dev/null 2>&1
  awk '$NF == "total" { print $(NF - 2) }' "$work/strace.txt"
}

printf "%-22s %14s %14s %8s %16s %16s\n" "job (100 frames)" "ours ms/frame" "ffmpeg ms/fr." "ratio" "ours calls/fr." "ffmpeg calls/fr."
for ext in bmp tga; do
  read -ra oursCmd <<< "$(oursJob "$ext")"
  read -ra ffCmd <<< "$(ffJob "$ext")"
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
  oursCalls=n/a ffCalls=n/a
  if command -v strace > /dev/null; then
    base=$(calls "$CLI" --version)
    ffBase=$(calls "$FFMPEG" -v error -version)
    oursCalls=$(echo "($(calls "${oursCmd[@]}") - $base) / $FRAMES" | bc -l)
    ffCalls=$(echo "($(calls "${ffCmd[@]}") - $ffBase) / $FRAMES" | bc -l)
    oursCalls=$(printf "%.1f" "$oursCalls")
    ffCalls=$(printf "%.1f" "$ffCalls")
  fi
  printf "%-22s %14s %14s %8.2f %16s %16s\n" "BMP sequence to ${ext^^}" "$(perFrame "${oursT[@]}")" \
    "$(perFrame "${ffT[@]}")" "$ratio" "$oursCalls" "$ffCalls"
done
