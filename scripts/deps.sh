#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: apt-get update and
# apt-get install run only when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libxkbcommon-dev
  libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0 mesa-utils
  libfreetype-dev libfontconfig1-dev fonts-dejavu-core
  # the faces named by the text presets: Tahoma (fonts-wine), Arial (Liberation Sans)
  fonts-wine fonts-liberation2
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libavdevice-dev
  libasound2-dev
  libgtk-3-dev
  libstb-dev libtiff-dev zlib1g-dev
  libvorbis-dev
  libdw-dev
  xvfb xauth libx11-dev libxtst-dev
  # the error box of a fatal stop is drawn with a core X font
  xfonts-base
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  clang libclang-rt-14-dev
  python3-collada
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
