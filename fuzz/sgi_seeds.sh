#!/usr/bin/env bash
# Seeds for fuzz_sgi: grey, colour and colour with alpha pictures, plain and run-length coded,
# and a 2 x 2 grey-with-alpha file made by hand (the seed tool writes those with four channels).
set -euo pipefail
out=${1:?usage: sgi_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
src="$out/.source.png"
"$convert" -seed 3 -size 7x5 plasma:fractal -depth 8 "$src"
for compress in None RLE; do
  common=(-compress "$compress" -depth 8)
  "$convert" "$src" "${common[@]}" -type Grayscale "sgi:$out/g_$compress.sgi"
  "$convert" "$src" "${common[@]}" -type TrueColor "sgi:$out/t_$compress.sgi"
  "$convert" "$src" "${common[@]}" -type TrueColorAlpha -alpha set "sgi:$out/ta_$compress.sgi"
done
{
  printf '\x01\xda\x00\x01\x00\x03\x00\x02\x00\x02\x00\x02'
  head -c 500 /dev/zero
  printf '\x10\x20\x30\x40\xff\x80\x00\x7f'
} >"$out/ga_by_hand.sgi"
rm -f "$src"
