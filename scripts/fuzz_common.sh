# Set-up shared by the libFuzzer scripts (fuzz_decoder.sh, fuzz_mxf.sh);
# sourced, not run.  Takes the calling script's arguments: [seconds]
# (default 60).  Sets root (the source tree) and seconds, and works from the
# source tree.
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
cd "$root"

# fuzz_build <target> <corpus>: configures build-fuzz/ with clang and the
# fuzzer instrumentation, builds the fuzz program and makes its corpus folder.
fuzz_build() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDCP_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" >/dev/null
  cmake --build build-fuzz -j4 --target "$1"
  mkdir -p "build-fuzz/$2"
}

# fuzz_seeds <folder>...: the named folders of the shared test data that
# exist, in the array seeds.
fuzz_seeds() {
  seeds=()
  local d
  for d in "$@"; do
    [ -d "../shared/testdata/$d" ] && seeds+=("../shared/testdata/$d")
  done
  return 0
}

# fuzz_run <program> <corpus> <libFuzzer options>...: runs the program from
# build-fuzz/ for the given seconds over the corpus and the seeds.
fuzz_run() {
  local program=$1 corpus=$2
  shift 2
  cd build-fuzz
  # Undefined behaviour stops the run and leaves its input, like a crash.
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
  "./$program" -max_total_time="$seconds" "$@" -print_final_stats=1 "$corpus" "${seeds[@]/#/$root/}"
}
