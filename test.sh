#!/usr/bin/env bash
# Installs what is missing, builds everything in Release and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh
bash tools/check-format.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure
