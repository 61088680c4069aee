#!/usr/bin/env bash
# Fuzzes the MXF reading layer (EssenceType, OpenRead, ReadFrame of every
# frame) with libFuzzer for a bounded time: fuzz_mxf.sh [seconds] (default 60).
# Builds with clang in build-fuzz/; the real track files seed the corpus, new
# inputs go to build-fuzz/mxf-corpus, and a crash leaves its input in build-fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
cd "$root"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDCP_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" >/dev/null
cmake --build build-fuzz -j4 --target mxf_fuzz
mkdir -p build-fuzz/mxf-corpus
seeds=()
[ -d ../shared/testdata/mxf ] && seeds+=(../shared/testdata/mxf)
cd build-fuzz
# Undefined behaviour stops the run and leaves its input, like a crash.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
./tests/mxf/mxf_fuzz -max_total_time="$seconds" -max_len=262144 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 mxf-corpus "${seeds[@]/#/$root/}"
