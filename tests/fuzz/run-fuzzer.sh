#!/usr/bin/env bash
# Runs the sound loading fuzzer: FUZZER CORPUS SEEDS [libFuzzer options...].
# New inputs go to CORPUS; SEEDS is only read. The loader's messages for
# every input are closed off; libFuzzer's own report still shows.
set -euo pipefail
fuzzer=$1 corpus=$2 seeds=$3
shift 3
mkdir -p "$corpus"
exec "$fuzzer" -max_len=16384 -close_fd_mask=3 -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
  "$@" "$corpus" "$seeds"
