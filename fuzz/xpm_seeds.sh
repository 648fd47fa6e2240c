#!/usr/bin/env bash
# Seeds for fuzz_xpm: named and hex colours, two characters per pixel, every key, the XPM2 layout.
set -euo pipefail
out=${1:?usage: xpm_seeds.sh DIR}
convert=/usr/bin/convert
if [[ -x $convert ]]; then
  "$convert" -seed 3 -size 9x7 plasma:fractal -colors 20 "$out/hex.xpm"
  "$convert" -seed 3 -size 12x9 plasma:fractal -colors 120 "$out/cpp2.xpm"
  "$convert" -size 4x2 xc:red -fill white -draw "point 0,0" "$out/named.xpm"
fi
printf '! XPM2\n2 1 2 1\na c #010203\nb c None\nab\n' > "$out/xpm2.xpm"
printf '/* XPM */\n/* keys */\nstatic const char *k[] = {\n"3 2 3 2 0 0",\n" a\tc red",\n" b s bg g4 #808080 m white",\n".c c #FFFFF321F321",\n/* pixels */\n" a b.c",\n".c a b"\n};\n' > "$out/keys.xpm"
