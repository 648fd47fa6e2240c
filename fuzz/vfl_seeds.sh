#!/usr/bin/env bash
# Seeds for fuzz_vfl: simple and versatile lists with comments, odd keys and both line ends.
set -euo pipefail
out=${1:?usage: vfl_seeds.sh DIR}
mkdir -p "$out"
printf '/m/a.avi\r\n/m/b.wav\r\n' > "$out/simple.lst"
printf '# list\r\n\r\nb.avi|vIn=11|vLen=50|vFPS=25\r\n/m/a.avi|vIn=1|vLen=0|vFPS=0|aIn=101|aLen=2000\r\n' > "$out/versatile.vfl"
printf 'c.avi | VLEN=5 | vfps=29.97 | AIN=1\nd.avi|vLen=x|vFPS=|aLen=1.5\n|vLen=3\n' > "$out/odd.vfl"
