#!/usr/bin/env bash
# Seeds for fuzz_tga: colour-mapped, true-colour and alpha pictures, plain and run-length coded,
# both origins, grey ones, one with an ID field.
set -euo pipefail
out=${1:?usage: tga_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
src="$out/.source.png"
"$convert" -seed 3 -size 7x5 plasma:fractal -depth 8 "$src"
for orient in BottomLeft TopLeft; do
  for compress in None RLE; do
    common=(-orient "$orient" -compress "$compress")
    "$convert" "$src" "${common[@]}" -type Palette "$out/p8_${orient}_$compress.tga"
    "$convert" "$src" "${common[@]}" -type TrueColor "$out/t24_${orient}_$compress.tga"
    "$convert" "$src" "${common[@]}" -type TrueColorAlpha "$out/t32_${orient}_$compress.tga"
    "$convert" "$src" "${common[@]}" -type Grayscale "$out/g8_${orient}_$compress.tga"
  done
done
"$convert" "$src" -set comment seed -type Palette "$out/id.tga"
"$convert" "$src" -depth 5 -define tga:bits-per-pixel=16 "$out/t16.tga" 2>/dev/null || true
rm -f "$src"
