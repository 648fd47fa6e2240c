#!/usr/bin/env bash
# Seeds for fuzz_mpg: tiny MPEG system and elementary streams, MPEG audio, and the other
# containers the reader opens, all made by ffmpeg.
set -euo pipefail
out=${1:?usage: mpg_seeds.sh DIR}
mkdir -p "$out"
src=(-f lavfi -i testsrc=size=32x32:rate=10:duration=0.4 -f lavfi -i sine=d=0.4:r=22050)
make() { ffmpeg -v error -y "${src[@]}" "$@" || true; }
make -c:v mpeg1video -c:a mp2 "$out/ps1.mpg"
make -c:v mpeg2video -bf 2 -g 3 -c:a mp2 "$out/ps2.mpg"
make -c:v mpeg2video -bf 2 -an -f mpeg2video "$out/es.m2v"
make -vn -c:a libmp3lame -f mp3 "$out/tone.mp3"
make -vn -c:a mp2 -f mp2 "$out/tone.mp2"
make -c:v libx264 -bf 2 -c:a aac "$out/clip.mp4"
make -c:v libx264 -an -f matroska "$out/clip.mkv"
