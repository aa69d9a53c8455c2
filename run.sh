#!/bin/bash
# Builds Zolta Fenri and starts it from this folder, with demo sounds in ./loops/
# when there are none. Arguments are passed to the instrument (the MIDI input port).
# On a machine without a display or a sound server it brings up a virtual display
# (Xvfb) and a PulseAudio null sink for the instrument, and ends them afterwards.
set -u
cd "$(dirname "$(readlink -f "$0")")" || exit 1
# shellcheck source=tests/e2e/lib.sh
. tests/e2e/lib.sh

PACKAGES="build-essential cmake pkg-config librtaudio-dev librtmidi-dev libstk-dev libkissfft-dev
libsndfile1-dev freeglut3-dev libglu1-mesa-dev libgtest-dev libbenchmark-dev
xvfb xdotool pulseaudio imagemagick x11-utils sox"
BUILD_DIR=build
E2E_LOG_PREFIX="run.sh:"

build() {
    cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
        cmake --build "$BUILD_DIR" -j "$(nproc)" --target zoltafenri zoltademos
}

fill_empty_loops() {
    if [ -z "$(ls -A loops 2>/dev/null)" ]; then
        echo "run.sh: ./loops/ is missing or empty, writing the demo sounds into it"
        "$BUILD_DIR/zoltademos" loops || exit 1
    fi
}

# shellcheck disable=SC2086
e2e_install_packages $PACKAGES || { echo "run.sh: could not install the packages" >&2; exit 1; }
build || { echo "run.sh: the build failed" >&2; exit 1; }
fill_empty_loops
mkdir -p bounces

e2e_make_tmp
[ -n "${DISPLAY:-}" ] || e2e_start_xvfb
pactl info >/dev/null 2>&1 || e2e_start_pulse

"$BUILD_DIR/zoltafenri" "$@"
exit $?
