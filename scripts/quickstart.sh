#!/usr/bin/env bash
# From a fresh checkout to a movie: installs what is missing, builds the
# tool (Release), makes a small sample track file when there is none yet and
# converts it, then says where the movie is.  JOBS limits the parallel build
# and coding jobs (default: the processor count).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh
build=$root/build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDCP_BUILD_TESTS=OFF -DDCP_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target dcp2mov mxf_wrap
sample=$build/sample/sample.mxf
[ -f "$sample" ] || BUILD_DIR=$build bash scripts/make_sample.sh "$sample"
"$build/converter/dcp2mov" -v "$sample" "$build/sample/sample"
echo "movie: $build/sample/sample.mov"
