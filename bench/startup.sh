#!/usr/bin/env bash
# Times the start-up of the command line: `--version` and `info` of a small picture, the median
# wall time of RUNS runs (default 20) each, with the number of shared libraries the dynamic loader
# maps for it; sox's `--version` and soxi on a small sound do the same small jobs beside it.
#   [RUNS=20] bash bench/startup.sh [reelforge-cli]   (default build/default/apps/reelforge-cli/reelforge-cli)
set -euo pipefail

CLI=${1:-build/default/apps/reelforge-cli/reelforge-cli}
RUNS=${RUNS:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/rfstartup.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A 16 x 16 24-bit BMP and a tenth of a second of 16-bit mono sound, written byte by byte.
bmp() {
  local pixels=$((16 * 16 * 3))
  printf 'BM'
  printf '%08x' $((54 + pixels)) | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/' | xargs -0 printf
  printf '\0\0\0\0\x36\0\0\0\x28\0\0\0\x10\0\0\0\x10\0\0\0\x01\0\x18\0\0\0\0\0'
  printf '%08x' $pixels | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/' | xargs -0 printf
  printf '\x13\x0b\0\0\x13\x0b\0\0\0\0\0\0\0\0\0\0'
  head -c $pixels /dev/zero | tr '\0' '\200'
}
bmp > "$work/small.bmp"
if command -v sox > /dev/null; then sox -n -r 8000 -c 1 -b 16 "$work/small.wav" synth 0.1 sine 440; fi

# Median wall time in milliseconds of RUNS runs of a command.
median_ms() {
  local times=() start end
  for ((run = 0; run < RUNS; ++run)); do
    start=$EPOCHREALTIME
    "$@" > /dev/null 2>&1
    end=$EPOCHREALTIME
    times+=("$(echo "($end - $start) * 1000" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m }'
}

# Shared objects the dynamic loader maps while the command runs (the program itself not counted).
libraries() {
  LD_DEBUG=files "$@" 2>&1 > /dev/null | grep -c 'file=.*\[0\];  generating link map' || true
}

row() {  # row <label> <command...>
  local label=$1
  shift
  printf '%-34s %8s ms %6s libraries\n' "$label" "$(median_ms "$@")" "$(libraries "$@")"
}

echo "start-up, median of $RUNS runs"
# What starting any program costs here, so that the rows below can be read against it.
row "/bin/true (starting a program)" /bin/true
row "reelforge-cli --version" "$CLI" --version
row "reelforge-cli info small.bmp" "$CLI" info "$work/small.bmp"
if command -v sox > /dev/null; then
  row "reelforge-cli info small.wav" "$CLI" info "$work/small.wav"
  row "sox --version" sox --version
  row "soxi small.wav" soxi "$work/small.wav"
fi
