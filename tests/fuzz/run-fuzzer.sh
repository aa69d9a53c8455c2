#!/usr/bin/env bash
# Runs a fuzzer: FUZZER CORPUS SEEDS... [libFuzzer options...], with the
# dictionary FUZZ_DICT (the sound file dictionary when it is not set).
# New inputs go to CORPUS, inputs that fail to CORPUS-artifacts/; the SEEDS
# folders are only read. The loader's messages for every input are closed
# off; libFuzzer's own report still shows.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fuzzer=$1 corpus=$2
shift 2
seeds=() options=()
for arg in "$@"; do
  case $arg in
    -*) options+=("$arg") ;;
    *) seeds+=("$arg") ;;
  esac
done
mkdir -p "$corpus" "$corpus-artifacts"
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# A smaller quarantine and no fill of new blocks: the analysis buffers of every
# input are large and short-lived; this keeps the fuzzer at a fifth of the
# memory and spares it most of the page faults.
export ASAN_OPTIONS="max_malloc_fill_size=0:quarantine_size_mb=16:malloc_context_size=4${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
exec "$fuzzer" -dict="${FUZZ_DICT:-$here/sound.dict}" -max_len=8192 -close_fd_mask=3 -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
  -artifact_prefix="$corpus-artifacts/" "${options[@]}" "$corpus" "${seeds[@]}"
