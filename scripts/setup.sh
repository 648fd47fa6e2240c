#!/usr/bin/env bash
# Installs every Debian package Reelforge needs to build, test, benchmark and fuzz.
# Quick and silent when everything is already present; works as root or through sudo.
set -euo pipefail

packages=(
  # compiler and build tools
  build-essential cmake ninja-build pkg-config git
  # tests, benchmarks, fuzzing and sanitizers
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  # image libraries
  libtiff-dev libpng-dev libjpeg62-turbo-dev
  # audio and video codecs and containers
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev libswscale-dev
  # desktop program and player
  qt6-base-dev qt6-multimedia-dev libgl-dev xvfb xauth
  # desktop entries, MIME types and the Debian package
  desktop-file-utils xdg-utils shared-mime-info xdg-user-dirs libglib2.0-bin dpkg-dev
  # peer tools used by the interoperability tests
  ffmpeg imagemagick sox
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then as_root=(); else as_root=(sudo); fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
