#!/usr/bin/env bash
# Seeds for fuzz_time_text: the time texts users type.
set -euo pipefail
out=${1:?usage: time_text_seeds.sh DIR}
i=0
for t in "01:05.040" "1:02:03.5" "59" ".5" "1:2:3:4" "00:59.999" "-3" "99999999999" " 7 "; do
  printf '%s' "$t" > "$out/seed$((i++))"
done
