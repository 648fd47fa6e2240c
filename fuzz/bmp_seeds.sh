#!/usr/bin/env bash
# Seeds for fuzz_bmp: 1-, 4- and 8-bit plain and run-length, 16-, 24- and 32-bit with and without
# bit fields, the OS/2 and the long headers, and a top-down file.
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
"$convert" "$src" -colors 16 -type Palette "bmp3:$out/p4.bmp"
"$convert" "$src" -colors 16 -type Palette "$out/p4v5.bmp"
"$convert" "$src" -monochrome "bmp3:$out/m1.bmp"
"$convert" "$src" -type TrueColorAlpha -alpha set "$out/a32.bmp"
ffmpeg=/usr/bin/ffmpeg
if [[ -x $ffmpeg ]]; then
  for fmt in bgra rgb565 rgb444; do "$ffmpeg" -v error -y -i "$src" -pix_fmt "$fmt" "$out/f_$fmt.bmp"; done
fi
# 4 x 2, 4 bits, run-length coded: a run, a line end, a copy of three nibbles, the end.
printf 'BM\x4e\0\0\0\0\0\0\0\x42\0\0\0\x28\0\0\0\x04\0\0\0\x02\0\0\0\x01\0\x04\0\x02\0\0\0' >"$out/rle4.bmp"
printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\xff\0\0\0\0\xff\0\0' >>"$out/rle4.bmp"
printf '\x04\x01\0\0\0\x03\x10\x10\0\x01' >>"$out/rle4.bmp"
# 2 x 2, 24 bits, top row first (negative height).
printf 'BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x02\0\0\0\xfe\xff\xff\xff\x01\0\x18\0' >"$out/topdown.bmp"
printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' >>"$out/topdown.bmp"
printf '\x01\x02\x03\x04\x05\x06\0\0\x07\x08\x09\x0a\x0b\x0c\0\0' >>"$out/topdown.bmp"
rm -f "$src"
