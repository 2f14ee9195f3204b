#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Drelk II need.
# Does nothing when all of them are present; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libcoin-dev libsoqt520-dev qtbase5-dev
  libsdl2-mixer-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libx11-dev
  xvfb xauth x11-utils xdotool imagemagick libgl1-mesa-dri
  fonts-dejavu-core
  fluidsynth fluid-soundfont-gm
  libfluidsynth-dev libsndfile1-dev libebur128-dev libvorbis-dev libogg-dev
  python3-pytest python3-xlib python3-numpy desktop-file-utils strace
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
