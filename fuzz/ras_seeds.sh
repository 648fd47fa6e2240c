#!/usr/bin/env bash
# Seeds for fuzz_ras: colour-mapped, grey and true-colour pictures, and a run-length coded one
# made by hand (the seed tool writes no coded files).
set -euo pipefail
out=${1:?usage: ras_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
src="$out/.source.png"
"$convert" -seed 3 -size 8x5 plasma:fractal -depth 8 "$src"
"$convert" "$src" -type Palette "sun:$out/p8.ras"
"$convert" "$src" -type TrueColor "sun:$out/t24.ras"
"$convert" "$src" -type TrueColorAlpha -alpha set "sun:$out/t32.ras"
# 4 x 2, 8 bits, type 2, no map: an escaped 80 hex, a run of 6 and a literal.
printf '\x59\xa6\x6a\x95\0\0\0\x04\0\0\0\x02\0\0\0\x08\0\0\0\x06\0\0\0\x02\0\0\0\0\0\0\0\0\x80\0\x80\x05\x07\x33' \
  >"$out/coded.ras"
rm -f "$src"
