#!/usr/bin/env bash
# Fuzzes the JPEG 2000 decoder (ReadHeader and ReadData on both sample paths,
# caller images capped at 4 M samples per component) with libFuzzer for a
# bounded time: fuzz_decoder.sh [seconds] (default 60).  Builds with clang in
# build-fuzz/; the conformance and cinema codestreams seed the corpus, new
# inputs go to build-fuzz/decoder-corpus, and a crash leaves its input in
# build-fuzz/.
set -euo pipefail
. "$(dirname "$0")/fuzz_common.sh"
fuzz_build decoder_fuzz decoder-corpus
fuzz_seeds conformance partone progression cinema
fuzz_run tests/decoder/decoder_fuzz decoder-corpus -max_len=1048576 -timeout=20 -rss_limit_mb=3072
