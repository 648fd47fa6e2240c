#!/usr/bin/env bash
# Times the nearest ffmpeg filters to our effects, one thread, on a 640 x 480 picture, so that
# bench_effects' Mpx/s figures have something to stand beside. Each filter gets its input in the
# pixel format it works in, so no conversion is timed; reading the raw frames is timed separately
# (the "null" row of each format) and subtracted.
set -euo pipefail
ffmpeg=${FFMPEG:-/usr/bin/ffmpeg}
frames=${FRAMES:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$ffmpeg" -hide_banner -loglevel error -f lavfi -i testsrc2=size=640x480:rate=1 -frames:v 1 \
  -pix_fmt bgr24 -f rawvideo "$work/pic.bgr24"
for fmt in yuv444p gbrp; do
  "$ffmpeg" -hide_banner -loglevel error -f rawvideo -pix_fmt bgr24 -s 640x480 -i "$work/pic.bgr24" \
    -pix_fmt "$fmt" -f rawvideo "$work/pic.$fmt"
done

# User CPU seconds ffmpeg reports for running filter over the looped frame; CPU time rather
# than wall time, so that other work on the machine does not count.
seconds() {
  local fmt=$1 filter=$2
  "$ffmpeg" -hide_banner -nostats -benchmark -threads 1 -filter_threads 1 -stream_loop $((frames - 1)) \
    -f rawvideo -pix_fmt "$fmt" -s 640x480 -i "$work/pic.$fmt" -vf "$filter" -f null - 2>&1 |
    sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p'
}

conv() {  # kernel, divisor, bias on all three planes
  local m="$1" d="$2" b="$3" out=""
  for p in 0 1 2; do out+="${p}m='$m':${p}rdiv=$d:${p}bias=$b:"; done
  echo "convolution=${out%:}"
}

rows=(
  "bgr24|lutrgb (brightness)|lutrgb=r=val+51:g=val+51:b=val+51"
  "bgr24|negate|negate"
  "bgr24|hflip|hflip"
  "bgr24|vflip|vflip"
  "yuv444p|eq (contrast)|eq=contrast=1.3"
  "yuv444p|eq (gamma)|eq=gamma=1.5"
  "yuv444p|hue|hue=h=45"
  "gbrp|noise (uniform)|noise=alls=20:allf=u"
  "gbrp|noise (gaussian)|noise=alls=20"
  "gbrp|convolution soften|$(conv '1 1 1 1 8 1 1 1 1' 1/16 0)"
  "gbrp|convolution blur|$(conv '3 1 3 1 0 1 3 1 3' 1/16 0)"
  "gbrp|convolution sharpen|$(conv '0 -1 0 -1 8 -1 0 -1 0' 1/4 0)"
  "gbrp|convolution emboss|$(conv '-1 0 0 0 0 0 0 0 1' 1 128)"
  "gbrp|convolution find edges|$(conv '-1 -3 -1 -3 16 -3 -1 -3 -1' 1 0)"
  "gbrp|convolution edge enhance|$(conv '-1 -2 -1 -2 16 -2 -1 -2 -1' 1/4 0)"
  "gbrp|convolution trace contour|$(conv '0 -2 0 -2 8 -2 0 -2 0' 1 255)"
)

declare -A base
for fmt in bgr24 yuv444p gbrp; do base[$fmt]=$(seconds "$fmt" null); done

printf '%-30s %-8s %10s %10s\n' "ffmpeg filter (-threads 1)" format "ms/frame" "Mpx/s"
for row in "${rows[@]}"; do
  IFS='|' read -r fmt name filter <<<"$row"
  t=$(seconds "$fmt" "$filter")
  awk -v n="$name" -v f="$fmt" -v t="$t" -v b="${base[$fmt]}" -v k="$frames" 'BEGIN {
    s = t - b
    if (s <= 0.001 * k / 1000) { printf "%-30s %-8s %10s %10s\n", n, f, "~0", "(no copy)"; exit }
    printf "%-30s %-8s %10.3f %10.1f\n", n, f, 1000 * s / k, 640 * 480 * k / s / 1e6 }'
done
