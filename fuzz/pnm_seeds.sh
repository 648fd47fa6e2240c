#!/usr/bin/env bash
# Seeds for fuzz_pnm: bitmaps, grey and colour maps in text and binary form, maximum values 1, 15,
# 63, 255 and 65535, and headers with comments.
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
"$convert" "$src" -monochrome -compress none "pbm:$out/p1.pbm"
"$convert" "$src" -monochrome "pbm:$out/p4.pbm"
"$convert" "$src" -depth 6 "ppm:$out/p6_63.ppm"
"$convert" "$src" -colorspace gray -depth 1 "pgm:$out/p5_1.pgm"
printf 'P1\n# bits need no blanks\n4 4\n0110100110010110\n' >"$out/glued.pbm"
printf 'P2\n# made by hand\n4 # width\n4\n15\n0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n' >"$out/comments.pgm"
rm -f "$src"
