#!/usr/bin/env bash
# Writes the seed corpus of every fuzz target into DIR/<target>/.
set -euo pipefail
out=${1:?usage: make_seeds.sh DIR}
mkdir -p "$out/fuzz_time_text" "$out/fuzz_text_lines"
i=0
for t in "01:05.040" "1:02:03.5" "59" ".5" "1:2:3:4" "00:59.999" "-3" "99999999999" " 7 "; do
  printf '%s' "$t" > "$out/fuzz_time_text/seed$((i++))"
done
printf 'a\r\nb\nc' > "$out/fuzz_text_lines/crlf"
printf '\r\n\r\n\n' > "$out/fuzz_text_lines/empty_lines"
head -c 9000 /dev/zero | tr '\0' 'x' > "$out/fuzz_text_lines/long_line"
