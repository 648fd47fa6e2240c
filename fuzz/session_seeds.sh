#!/usr/bin/env bash
# Seeds for fuzz_session: a header alone, each chunk kind with items, an unknown chunk and a newer
# version, written byte by byte.
set -euo pipefail
out=${1:?usage: session_seeds.sh DIR}
mkdir -p "$out"
python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
def header(version=1):
    return struct.pack('<iii', 1122334455, 150, version) + b'Reelforge 0.1.0'.ljust(128, b'\0') + b'2024-01-31'
def item(data):
    return struct.pack('<i', len(data)) + data
def chunk(ident, count, items):
    body = b''.join(item(i) for i in items)
    return struct.pack('<iiii', ident, 16, count, len(body)) + body
def block(file, first, last, quants, freq, linked, link, duration=0.0):
    return struct.pack('<iiiidiidddd', file, first, last, quants, freq, linked, link, duration, 0, 0, 0)
NOT_SET = -1357902468
video = chunk(2, 2, [b'/tmp/a.avi', block(0, 0, 9, 10, 10.0, -1, 0), b'/tmp/b.bmp', block(1, 0, 0, 1, 25.0, 0, NOT_SET)])
audio = chunk(3, 2, [b'/tmp/a.avi', block(0, 0, 7999, 8000, 8000.0, -1, 0), b'', block(-12345, 0, 23999, 24000, 8000.0, 0, NOT_SET, 3.0)])
entry = struct.pack('<i', 2) + bytes([4]) + b'Blur'.ljust(64, b'\0') + struct.pack('<iiiiI', 0, 99, 0, -1, 0)
params = struct.pack('<ii', 12, -1) + struct.pack('<8d', 2, 0, 0, 0, 0, 0, 0, 0) + bytes(256)
effects = chunk(4, 1, [entry, params])
output = chunk(5, 1, [bytes(1496)])
files = {
    'header.rfs': header(),
    'full.rfs': header() + output + video + audio + effects,
    'files.rfs': header() + video + audio,
    'effects.rfs': header() + effects,
    'unknown.rfs': header() + chunk(7, 1, [b'junk']) + effects,
    'newer.rfs': header(2) + video,
}
for name, data in files.items():
    open(f'{out}/{name}', 'wb').write(data)
PY
