#!/usr/bin/env bash
# Seeds for fuzz_bmp: 8-bit plain and run-length, 16- and 24-bit, the OS/2 and the long headers.
set -euo pipefail
out=${1:?usage: bmp_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
src="$out/.source.png"
"$convert" -seed 9 -size 7x5 plasma:fractal -depth 8 "$src"
"$convert" "$src" -type Palette -compress None "bmp3:$out/p8.bmp"
"$convert" "$src" -type Palette -compress RLE "bmp3:$out/rle8.bmp"
"$convert" "$src" -type TrueColor "bmp3:$out/t24.bmp"
"$convert" "$src" -type TrueColor "$out/v5.bmp"
"$convert" "$src" -type Palette "bmp2:$out/os2.bmp"
"$convert" "$src" -define bmp:subtype=RGB555 "$out/t16.bmp" 2>/dev/null || true
rm -f "$src"
