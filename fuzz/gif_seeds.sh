#!/usr/bin/env bash
# Seeds for fuzz_gif: stills of both versions, animations with windows, every disposal method,
# transparency, interlace and local colour tables, and one from ffmpeg with changed rectangles.
set -euo pipefail
out=${1:?usage: gif_seeds.sh DIR}
convert=/usr/bin/convert
ffmpeg=/usr/bin/ffmpeg
if [[ -x $convert ]]; then
  "$convert" -size 7x5 plasma:fractal -seed 3 -colors 16 "$out/still89.gif"
  "$convert" -size 6x4 gradient:red-blue -colors 4 "GIF87:$out/still87.gif"
  "$convert" -delay 5 -dispose none -size 16x12 gradient:navy-orange \
    -dispose previous -page +2+2 -size 6x5 gradient:red-yellow \
    -dispose background -page +8+3 -size 5x5 xc:none -fill green -draw 'point 2,2' \
    -page +1+6 -size 7x4 xc:purple "$out/windows.gif"
  "$convert" "$out/windows.gif" -interlace GIF "$out/interlaced.gif"
  "$convert" -delay 10 -size 12x8 gradient:red-blue gradient:green-yellow "$out/local.gif"
fi
if [[ -x $ffmpeg ]]; then
  "$ffmpeg" -v error -y -f lavfi -i testsrc=size=16x12:rate=10 -frames:v 8 "$out/ffmpeg.gif"
fi
