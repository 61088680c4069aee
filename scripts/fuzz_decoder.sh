#!/usr/bin/env bash
# Fuzzes the JPEG 2000 decoder (ReadHeader and ReadData on both sample paths,
# caller images capped at 256 K samples in all; the input's last byte says
# whether the caller's planes are lent, and a ReadData after a failed or a
# lent one must fail and leave the planes as they are) with libFuzzer for a
# bounded time: fuzz_decoder.sh [seconds] (default 60).  Builds with clang in
# build-fuzz/; the conformance and cinema codestreams (and a small
# irreversible one made with opj_compress, when installed) seed the corpus,
# new inputs go to build-fuzz/decoder-corpus, and a crash leaves its input in
# build-fuzz/.
set -euo pipefail
. "$(dirname "$0")/fuzz_common.sh"
fuzz_build decoder_fuzz decoder-corpus
fuzz_seeds conformance partone progression cinema
# The target leaves pictures as large as cinema frames at their headers; a
# small picture coded as they are (irreversible, three components, CPRL)
# takes their data path.
if command -v opj_compress >/dev/null && [ -f ../shared/testdata/partone/a2_colr.ppm ]; then
  mkdir -p build-fuzz/decoder-seeds
  opj_compress -i ../shared/testdata/partone/a2_colr.ppm -I -n 5 -b 32,32 -p CPRL \
    -o build-fuzz/decoder-seeds/ict.j2k >/dev/null
  seeds+=(build-fuzz/decoder-seeds)
fi
fuzz_run tests/decoder/decoder_fuzz decoder-corpus -max_len=1048576 -timeout=20 -rss_limit_mb=3072
