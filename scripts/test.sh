#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through
# CTest; builds every target again as Release and with clang (no second test
# run: these catch warnings that only one optimiser or compiler reports);
# then builds and runs the tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer.  Every build treats warnings as errors.  First
# of all, every C++ source must be formatted as .clang-format says.  Each
# configure names every option it relies on, since CMake keeps what an
# earlier configure of the same folder set (the quick start configures
# build-release without tests and benchmarks).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh
jobs=$(nproc)

git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

all=(-DDCP_BUILD_TESTS=ON -DDCP_BUILD_BENCH=ON -DDCP_SANITIZE=OFF -DDCP_WERROR=ON)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${all[@]}"
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release "${all[@]}"
cmake --build build-release -j "$jobs"

CC=clang CXX=clang++ cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Debug "${all[@]}"
cmake --build build-clang -j "$jobs"

cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DDCP_BUILD_TESTS=ON -DDCP_BUILD_BENCH=OFF -DDCP_SANITIZE=ON \
  -DDCP_WERROR=ON
cmake --build build-san -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  DCP_SANITIZED=1 ctest --test-dir build-san --output-on-failure -j "$jobs"
