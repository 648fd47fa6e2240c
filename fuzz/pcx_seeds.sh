#!/usr/bin/env bash
# Seeds for fuzz_pcx: 8-bit with palette and 24-bit planes, at odd and even widths.
set -euo pipefail
out=${1:?usage: pcx_seeds.sh DIR}
convert=/usr/bin/convert
[[ -x $convert ]] || exit 0
for size in 7x5 8x3; do
  src="$out/.source.png"
  "$convert" -seed 5 -size "$size" plasma:fractal -depth 8 "$src"
  "$convert" "$src" -type Palette "$out/p8_$size.pcx"
  "$convert" "$src" -type TrueColor "$out/t24_$size.pcx"
  rm -f "$src"
done
