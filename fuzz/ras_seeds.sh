#!/usr/bin/env bash
# Seeds for fuzz_ras: colour-mapped, grey and true-colour pictures of even and odd widths (rows
# padded), plain and run-length coded, and a coded one made by hand.
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
"$convert" "$src" -crop 7x5+0+0 -type TrueColor "sun:$out/t24_odd.ras"
"$convert" "$src" -crop 7x5+0+0 -type Palette "sun:$out/p8_odd.ras"
ffmpeg=/usr/bin/ffmpeg
if [[ -x $ffmpeg ]]; then
  for fmt in bgr24 pal8 gray; do
    "$ffmpeg" -v error -y -i "$src" -vf crop=7:5:0:0 -pix_fmt "$fmt" -c:v sunrast -rle 1 -f image2 "$out/f_${fmt}_rle.ras"
  done
fi
rm -f "$src"
