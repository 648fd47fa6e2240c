#!/usr/bin/env bash
# Seeds for fuzz_flc: small FLC and FLI files made byte by byte, holding every chunk kind the
# reader decodes, a chunk before the first frame and a sub-chunk of an unknown type.
set -euo pipefail
out=${1:?usage: flc_seeds.sh DIR}
mkdir -p "$out"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/flcseeds.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

byte() {
  local v
  for v in "$@"; do printf "\\x$(printf %02x $((v & 255)))"; done
}
le16() { byte "$1" $(($1 >> 8)); }
le32() { le16 $(($1 & 0xFFFF)); le16 $(($1 >> 16)); }
size() { wc -c < "$1"; }

# sub TYPE FILE: a sub-chunk holding the file's bytes.
sub() { le32 $((6 + $(size "$2"))); le16 "$1"; cat "$2"; }
# chunk TYPE FILE...: a frame chunk (or another chunk) of the sub-chunk files.
chunk() {
  local type=$1
  shift
  cat "$@" > "$tmp/body"
  le32 $((16 + $(size "$tmp/body")))
  le16 "$type"
  le16 $#
  byte 0 0 0 0 0 0 0 0
  cat "$tmp/body"
}
# flic FILE MAGIC WIDTH HEIGHT FRAMES SPEED CHUNKFILE...: the header and the chunks.
flic() {
  local file=$1 magic=$2 w=$3 h=$4 frames=$5 speed=$6
  shift 6
  cat "$@" > "$tmp/chunks"
  {
    le32 $((128 + $(size "$tmp/chunks")))
    le16 "$magic"
    le16 "$frames"
    le16 "$w"
    le16 "$h"
    le16 8
    le16 3
    le32 "$speed"
    byte $(printf '0 %.0s' {1..18})
    le16 1
    le16 1
    byte $(printf '0 %.0s' {1..38})
    le32 128
    le32 0
    byte $(printf '0 %.0s' {1..40})
    cat "$tmp/chunks"
  } > "$file"
}

# Sub-chunk data for 8 x 4 pictures.
{ le16 1; byte 0 0; for i in $(seq 0 255); do byte "$i" $((255 - i)) $((i * 7)); done; } > "$tmp/pal256"
{ le16 2; byte 1 3 10 20 30 40 50 60 1 2 1 2 3 4 5 6 63 62 61 60; } > "$tmp/pal64"
{ for y in 0 1 2 3; do byte 2 4 $((y + 1)) 0xFC 9 8 7 6; done; } > "$tmp/run"
{ le16 2; le16 $((0x10000 - 1)); le16 $((0x8000 | 77)); le16 1; byte 2 0xFE 5 6; le16 1; byte 0 1 8 9; } > "$tmp/word"
{ le16 1; le16 2; byte 1 2 0xFD 9 0; } > "$tmp/byte"
: > "$tmp/black"
byte $(seq 1 7 223) > "$tmp/copy"
printf 'stamp' > "$tmp/stamp"

sub 4 "$tmp/pal256" > "$tmp/s_pal256"
sub 11 "$tmp/pal64" > "$tmp/s_pal64"
sub 15 "$tmp/run" > "$tmp/s_run"
sub 7 "$tmp/word" > "$tmp/s_word"
sub 12 "$tmp/byte" > "$tmp/s_byte"
sub 13 "$tmp/black" > "$tmp/s_black"
sub 16 "$tmp/copy" > "$tmp/s_copy"
sub 18 "$tmp/stamp" > "$tmp/s_stamp"

chunk 0xF1FA "$tmp/s_pal256" "$tmp/s_run" > "$tmp/f_first"
chunk 0xF1FA "$tmp/s_word" > "$tmp/f_word"
chunk 0xF1FA "$tmp/s_byte" > "$tmp/f_byte"
chunk 0xF1FA "$tmp/s_black" > "$tmp/f_black"
chunk 0xF1FA "$tmp/s_copy" > "$tmp/f_copy"
chunk 0xF1FA "$tmp/s_pal64" "$tmp/s_stamp" "$tmp/s_run" > "$tmp/f_fli"
chunk 0xF100 "$tmp/s_stamp" > "$tmp/f_prefix"

flic "$out/all_kinds.flc" 0xAF12 8 4 5 40 "$tmp/f_first" "$tmp/f_word" "$tmp/f_byte" "$tmp/f_black" "$tmp/f_copy" \
  "$tmp/f_first"
flic "$out/fli.fli" 0xAF11 8 4 3 5 "$tmp/f_fli" "$tmp/f_byte" "$tmp/f_byte" "$tmp/f_fli"
flic "$out/prefix.flc" 0xAF12 8 4 2 0 "$tmp/f_prefix" "$tmp/f_copy" "$tmp/f_word"
