#!/usr/bin/env bash
# Seeds for fuzz_text_lines: both line ends, empty lines, a line longer than the read-ahead.
set -euo pipefail
out=${1:?usage: text_lines_seeds.sh DIR}
printf 'a\r\nb\nc' > "$out/crlf"
printf '\r\n\r\n\n' > "$out/empty_lines"
head -c 9000 /dev/zero | tr '\0' 'x' > "$out/long_line"
