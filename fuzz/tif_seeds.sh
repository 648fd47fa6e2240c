#!/usr/bin/env bash
# Seeds for fuzz_tif: palette, grey and colour pictures with every compression ImageMagick writes,
# one bilevel fax file and one tiled file.
set -euo pipefail
out=${1:?usage: tif_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
src="$out/.source.png"
"$convert" -seed 3 -size 9x7 plasma:fractal -depth 8 "$src"
for compress in None LZW RLE Zip; do
  "$convert" "$src" -compress "$compress" -type Palette "$out/p8_$compress.tif"
  "$convert" "$src" -compress "$compress" -type Grayscale "$out/g8_$compress.tif"
  "$convert" "$src" -compress "$compress" -type TrueColor "$out/t24_$compress.tif"
done
"$convert" "$src" -compress JPEG -type TrueColor "$out/t24_jpeg.tif"
"$convert" "$src" -monochrome -compress Group4 "$out/g4.tif"
"$convert" "$src" -define tiff:tile-geometry=16x16 "$out/tiled.tif"
rm -f "$src"
