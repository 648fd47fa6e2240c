#!/usr/bin/env bash
# Seeds for fuzz_pnm: grey and colour maps in text and binary form, maximum values 15, 255 and
# 65535, and a header with comments.
set -euo pipefail
out=${1:?usage: pnm_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
src="$out/.source.png"
"$convert" -seed 3 -size 6x5 plasma:fractal -depth 8 "$src"
"$convert" "$src" -compress none -type Grayscale "pgm:$out/p2.pgm"
"$convert" "$src" -compress none "ppm:$out/p3.ppm"
"$convert" "$src" -type Grayscale "pgm:$out/p5.pgm"
"$convert" "$src" "ppm:$out/p6.ppm"
"$convert" "$src" -depth 4 "ppm:$out/p6_15.ppm"
"$convert" "$src" -depth 16 "ppm:$out/p6_16bit.ppm"
printf 'P2\n# made by hand\n4 # width\n4\n15\n0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n' >"$out/comments.pgm"
rm -f "$src"
