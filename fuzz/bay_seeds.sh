#!/usr/bin/env bash
# Seeds for fuzz_bay: one colour and one monochrome file of the only valid size.
set -euo pipefail
out=${1:?usage: bay_seeds.sh DIR}
for kind in 1 2; do
  {
    head -c 196608 /dev/zero | tr '\0' '\141'
    printf 'ML\0BAY 2\x0'"$kind"'\0\0\x03'
    head -c 1012 /dev/zero
  } >"$out/cam$kind.bay"
done
