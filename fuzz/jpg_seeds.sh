#!/usr/bin/env bash
# Seeds for fuzz_jpg: baseline colour and grey, progressive, restart markers, CMYK.
set -euo pipefail
out=${1:?usage: jpg_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
src="$out/.source.png"
"$convert" -seed 3 -size 19x13 plasma:fractal -depth 8 "$src"
"$convert" "$src" -quality 80 "$out/c.jpg"
"$convert" "$src" -type Grayscale "$out/g.jpg"
"$convert" "$src" -interlace JPEG "$out/progressive.jpg"
"$convert" "$src" -define jpeg:restart-interval=1 "$out/restart.jpg"
"$convert" "$src" -colorspace CMYK "$out/cmyk.jpg"
rm -f "$src"
