#!/usr/bin/env bash
# Seeds for fuzz_png: palette, grey, colour, alpha, 16-bit and interlaced pictures.
set -euo pipefail
out=${1:?usage: png_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
src="$out/.source.png"
"$convert" -seed 3 -size 9x7 plasma:fractal -depth 8 "$src"
"$convert" "$src" -type Palette "png8:$out/p8.png"
"$convert" "$src" -colors 4 "png8:$out/p2.png"
"$convert" "$src" -type Grayscale "$out/g8.png"
"$convert" "$src" -monochrome "$out/g1.png"
"$convert" "$src" "png24:$out/t24.png"
"$convert" "$src" -alpha set -channel A -evaluate set 60% +channel "png32:$out/t32.png"
"$convert" "$src" -depth 16 "png48:$out/t48.png"
"$convert" "$src" -interlace PNG "$out/interlaced.png"
rm -f "$src"
