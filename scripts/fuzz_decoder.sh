#!/usr/bin/env bash
# Fuzzes the JPEG 2000 decoder (ReadHeader and ReadData on both sample paths,
# caller images capped at 4 M samples per component) with libFuzzer for a
# bounded time: fuzz_decoder.sh [seconds] (default 60).  Builds with clang in
# build-fuzz/; the conformance, part-one, progression and cinema codestreams
# seed the corpus, new inputs go to build-fuzz/decoder-corpus, and a crash, a
# timeout or undefined behaviour leaves its input in build-fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
cd "$root"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDCP_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" >/dev/null
cmake --build build-fuzz -j4 --target decoder_fuzz
mkdir -p build-fuzz/decoder-corpus
seeds=()
for d in conformance partone progression cinema; do
  [ -d ../shared/testdata/$d ] && seeds+=(../shared/testdata/$d)
done
cd build-fuzz
# Undefined behaviour stops the run and leaves its input, like a crash.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
./tests/decoder/decoder_fuzz -max_total_time="$seconds" -max_len=1048576 -timeout=20 -rss_limit_mb=3072 \
  -print_final_stats=1 decoder-corpus "${seeds[@]/#/$root/}"
