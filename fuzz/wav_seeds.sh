#!/usr/bin/env bash
# Seeds for fuzz_wav: small WAVs of every stored kind the reader decodes, and a few odd layouts.
set -euo pipefail
out=${1:?usage: wav_seeds.sh DIR}
mkdir -p "$out"
synth() { sox -n "$@" synth 0.05 sine 440 2>/dev/null || true; }
synth -r 8000 -c 1 -b 8 "$out/u8.wav"
synth -r 11025 -c 2 -b 16 "$out/s16.wav"
synth -r 8000 -c 2 -b 24 "$out/s24_ext.wav"
synth -r 8000 -c 1 -e ima-adpcm "$out/ima.wav"
synth -r 8000 -c 2 -e ms-adpcm "$out/ms.wav"
synth -r 8000 -c 1 -e a-law "$out/alaw.wav"
synth -r 8000 -c 1 -e mu-law "$out/mulaw.wav"
synth -r 8000 -c 1 -e gsm-full-rate "$out/gsm.wav"
synth -r 8000 -c 1 -e floating-point -b 32 "$out/float.wav"
ffmpeg -v error -f lavfi -i sine=d=0.05:r=8000 -metadata title=t -c:a pcm_s16le -y "$out/list.wav" || true
# A hand-made file: an odd-sized chunk before 'fmt ', then the data.
printf 'RIFF\x2e\0\0\0WAVEjunk\x03\0\0\0abc\0fmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data\x04\0\0\0\x01\x02\x03\x04' \
  > "$out/odd_chunk.wav"
