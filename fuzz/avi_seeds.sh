#!/usr/bin/env bash
# Seeds for fuzz_avi: small AVIs made by ffmpeg with every stored kind the reader decodes, with
# and without an index, with and without sound.
set -euo pipefail
out=${1:?usage: avi_seeds.sh DIR}
mkdir -p "$out"
seed() {
  local name=$1
  shift
  ffmpeg -v error -y -f lavfi -i testsrc2=s=24x16:r=5:d=0.6 -f lavfi -i sine=r=8000:d=0.6 "$@" "$out/$name.avi" || true
}
seed raw -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le
seed pal8 -c:v rawvideo -pix_fmt pal8 -c:a pcm_u8
seed rgb555 -c:v rawvideo -pix_fmt rgb555le -an
seed mjpeg -c:v mjpeg -c:a adpcm_ima_wav
seed ffv1 -c:v ffv1 -c:a adpcm_ms
seed huffyuv -c:v huffyuv -an
seed mpeg4 -c:v mpeg4 -g 3 -c:a pcm_s16le
seed cinepak -c:v cinepak -an
seed mp3 -c:v mjpeg -c:a libmp3lame
ffmpeg -v error -y -f lavfi -i sine=r=8000:d=0.3 -c:a pcm_s16le "$out/sound_only.avi" || true
# The same file without its index, so that the reader scans the chunks.
if [[ -f "$out/mjpeg.avi" ]]; then
  python3 - "$out/mjpeg.avi" "$out/mjpeg_noindex.avi" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
at = data.rfind(b'idx1')
open(sys.argv[2], 'wb').write(data[:at] if at > 0 else data)
PY
fi
