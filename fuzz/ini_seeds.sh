#!/usr/bin/env bash
# Seeds for fuzz_ini: a preferences file, comments, keys before any section and odd headers.
set -euo pipefail
out=${1:?usage: ini_seeds.sh DIR}
mkdir -p "$out"
printf '[Local]\r\nRecentFiles=\r\nDetectImgSeq=1\r\nDefaultFPS=30.0000000000\r\n\r\n[Forms]\r\nMain=10,10,640,480\r\n' > "$out/prefs.ini"
printf 'top=1\n; note\n[ Spaced ]\nKey = a value \nno equals\n[]\n=x\n[a]b]\nk==v\n' > "$out/odd.ini"
printf '[velmora]\nReelforge-Path=/usr/bin/reelforge\nReelforge-Date=2000-06-13\n' > "$out/shared.ini"
