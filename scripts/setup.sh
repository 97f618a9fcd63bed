#!/bin/bash
# Installs, as root on Debian, every package that building, running and
# testing needs. Packages already present are left as they are.
set -euo pipefail
packages=(
  build-essential cmake clang-14 libclang-rt-14-dev
  freeglut3-dev libglew-dev libgl-dev libglu1-mesa-dev libx11-dev libxtst-dev libxdamage-dev
  libxkbcommon-dev
  libgtest-dev libbenchmark-dev
  console-data zlib1g-dev
  xvfb xdotool x11-utils x11-xkb-utils x11-xserver-utils xauth imagemagick python3 gdb strace openbox
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
