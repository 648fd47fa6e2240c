#!/usr/bin/env bash
# Installs the build into a staging folder and checks what the desktop sees there: every entry
# is valid, and the MIME database built from our package names the types the entries list.
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
share=$stage/usr/share
for f in usr/bin/vistrel usr/bin/reelforge-cli usr/share/applications/reelforge.desktop \
  usr/share/applications/vistrel.desktop usr/share/icons/hicolor/scalable/apps/reelforge.svg \
  usr/share/icons/hicolor/scalable/apps/vistrel.svg usr/share/mime/packages/reelforge.xml; do
  [[ -e $stage/$f ]] || { echo "missing after install: $f"; exit 1; }
done
for entry in "$share"/applications/*.desktop; do desktop-file-validate "$entry"; done
update-mime-database "$share/mime" 2>/dev/null

# A sample of each type our package adds, and of shared ones the entries rely on.
samples=$stage/samples
mkdir -p "$samples"
printf 'HAV\x1a\x40\x00\x00\x00\x61\x00\x00\x00' >"$samples/clip.hav"
printf 'HAV\x1a\x40\x00\x00\x00\x61\x00\x00\x00' >"$samples/renamed.bin"
printf 'RFS\x00\x01\x00\x00\x00' >"$samples/work.rfs"
printf '\x00\x01\x02\x03' >"$samples/shot.bay"
printf '\x00\x00\x01\xb3' >"$samples/video.m1v"
printf 'RIFF\x24\x00\x00\x00WAVEfmt ' >"$samples/sound.wav"
declare -A expected=([clip.hav]=video/x-hav [renamed.bin]=video/x-hav [work.rfs]=application/x-reelforge-session
  [shot.bay]=image/x-bay [video.m1v]=video/mpeg [sound.wav]=audio/x-wav)
status=0
for name in "${!expected[@]}"; do
  got=$(XDG_CURRENT_DESKTOP=GNOME XDG_DATA_DIRS=$share:/usr/share xdg-mime query filetype "$samples/$name")
  want=${expected[$name]}
  [[ $got == "$want" ]] || { echo "$name: xdg-mime says $got, expected $want"; status=1; }
  # The type must be one the entries declare, or the desktop will not offer our programs.
  [[ $name == renamed.bin ]] && continue
  grep -q "^MimeType=.*$want;" "$share/applications/reelforge.desktop" || { echo "$want not in reelforge.desktop"; status=1; }
done
exit $status
