#!/usr/bin/env bash
# Installs, with apt-get, every Debian package that building, running and
# testing the instrument needs and that this machine does not have yet.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache clang-format clang-tidy clang libclang-rt-14-dev
  librtaudio-dev librtmidi-dev libstk-dev libkissfft-dev libsndfile1-dev libsoxr-dev
  freeglut3-dev libglu1-mesa-dev
  libgtest-dev libbenchmark-dev
  xvfb xdotool x11-utils x11-xkb-utils pulseaudio pulseaudio-utils imagemagick sox
  jackd2 libjack-jackd2-dev python3-jack-client python3-numpy liblo-dev liblo-tools procps
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing missing packages: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
