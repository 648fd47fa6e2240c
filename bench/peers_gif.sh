#!/usr/bin/env bash
# GIF beside ffmpeg, one thread each: the decode of a 320 x 240 animation of 100 frames (CPU time
# per frame, the tool's start and the writing of the frames subtracted), and the size and the
# PSNR against the 24-bit source of our GIF and of ffmpeg's palettegen + paletteuse GIF.
#   [RUNS=3] bash bench/peers_gif.sh [frames] [reelforge-cli]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

FFMPEG=${FFMPEG:-/usr/bin/ffmpeg}
FRAMES=${1:-100}
CLI=${2:-build/default/apps/reelforge-cli/reelforge-cli}
W=320
H=240
work=$(mktemp -d "${TMPDIR:-/tmp}/rfgif.XXXXXX")
trap 'rm -rf "$work"' EXIT
ff() { "$FFMPEG" -nostdin -v error -y -threads 1 -filter_threads 1 "$@"; }

# The 24-bit source as numbered BMP pictures, and ffmpeg's GIF of it.
mkdir "$work/src" "$work/a" "$work/b" "$work/c"
ff -f lavfi -i "testsrc2=s=${W}x${H}:r=25" -frames:v "$FRAMES" -pix_fmt bgr24 "$work/src/f%04d.bmp"
ff -framerate 25 -i "$work/src/f%04d.bmp" -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse" "$work/ffmpeg.gif"
"$CLI" render -q --sequences -o "$work/ours.gif" "$work/src/f0001.bmp" > /dev/null

# CPU seconds (user + system) of one command, best of RUNS runs.
RUNS=${RUNS:-3}
per_frame() { echo "$1 $2" | awk -v n="$FRAMES" '{ printf "%.3f", ($1 - $2) * 1000 / (n - 1) }'; }

# Decode: the whole animation less its first frame alone; ours writes the frames as 8-bit BMP
# pictures, so the same pictures read and written again are taken off too.
"$CLI" render -q -o "$work/c/g0001.bmp" "$work/ffmpeg.gif" > /dev/null
ff_all=$(best_of ff -i "$work/ffmpeg.gif" -f null -)
ff_one=$(best_of ff -i "$work/ffmpeg.gif" -frames:v 1 -f null -)
rf_all=$(best_of "$CLI" render -q -o "$work/a/g0001.bmp" "$work/ffmpeg.gif")
rf_copy=$(best_of "$CLI" render -q --sequences -o "$work/b/g0001.bmp" "$work/c/g0001.bmp")
ff_ms=$(per_frame "$ff_all" "$ff_one")
rf_ms=$(per_frame "$rf_all" "$rf_copy")
echo "decode ${W}x${H} x ${FRAMES} frames, ms per frame: ffmpeg $ff_ms, ours $rf_ms," \
  "ratio $(echo "$rf_ms $ff_ms" | awk '{ printf "%.2f", $1 / $2 }') (goal <= 0.67)"

# Size and quality of the two GIFs of the same frames.
# The PSNR filter reports at the information level, so this run keeps ffmpeg's messages.
psnr() {
  "$FFMPEG" -nostdin -i "$1" -framerate 25 -i "$work/src/f%04d.bmp" \
    -lavfi "[0:v]format=rgb24[x];[1:v]format=rgb24[y];[x][y]psnr" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p'
}
for gif in ours ffmpeg; do
  printf '%-7s %9d bytes  PSNR %s dB\n' "$gif" "$(stat -c %s "$work/$gif.gif")" "$(psnr "$work/$gif.gif")"
done
