#!/usr/bin/env bash
# Seeds for fuzz_hav: movies written by our own writer through the command line (FAST at 8, 16
# and 24 bits, one with sound), copies whose header names the BEST and BEST-P decoders, and a
# sound-only file made by hand (the command line writes HAV only with pictures). The command
# line is $REELFORGE_CLI, else the first one built.
set -euo pipefail
out=${1:?usage: hav_seeds.sh DIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
# Sound only: two blocks of type 3, header size 16, next block, sample frames, 16-bit stereo.
python3 - "$out" <<'PY'
import struct, sys, os
out = sys.argv[1]
def blocks(at, counts):
    data = b""
    for i, n in enumerate(counts):
        nxt = at + len(data) + 16 + 4 * n if i + 1 < len(counts) else 0
        data += struct.pack("<4I", 3, 16, nxt, n) + bytes((k * 7) & 255 for k in range(4 * n))
    return data
with open(os.path.join(out, "snd.hav"), "wb") as f:
    f.write(struct.pack("<3I", 0x1A564148, 64, 97) + bytes(24) + struct.pack("<d5I", 25.0, 7, 8000, 64, 0, 30)
            + blocks(64, [20, 10]))
PY
cli=${REELFORGE_CLI:-}
if [[ -z "$cli" ]]; then
  for c in "$here"/../build/*/apps/reelforge-cli/reelforge-cli; do
    [[ -x "$c" ]] && { cli=$c; break; }
  done
fi
[[ -x "${cli:-}" ]] || { echo "hav_seeds.sh: no reelforge-cli built, only the sound-only seed" >&2; exit 0; }
src=$(mktemp -d "${TMPDIR:-/tmp}/havseeds.XXXXXX")
trap 'rm -rf "$src"' EXIT
ffmpeg -v error -f lavfi -i "testsrc=s=12x8:r=25" -frames:v 30 "$src/p%02d.bmp"
sox -n -r 8000 -c 2 -b 16 "$src/tone.wav" synth 0.1 sine 440 2>/dev/null || true
render() { "$cli" render -q --sequences "$@" 2>/dev/null || true; }
render --depth 24 -o "$out/t24.hav" "$src/p01.bmp"
render --depth 16 -o "$out/t16.hav" "$src/p01.bmp"
render --depth 8 -o "$out/t8.hav" "$src/p01.bmp"
render -o "$out/t24snd.hav" --audio-out "$out/t24snd.hav" "$src/p01.bmp" "$src/tone.wav"
# The codec field is the header's 32-bit word at offset 24.
for f in "$out"/t24.hav "$out"/t8.hav; do
  [[ -f "$f" ]] || continue
  for codec in 0 2; do
    cp "$f" "${f%.hav}_c$codec.hav"
    printf "\\x0$codec" | dd of="${f%.hav}_c$codec.hav" bs=1 seek=24 conv=notrunc 2>/dev/null
  done
done
