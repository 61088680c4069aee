// bench-libs: prim_core
// Copy, zero and set of 1 KiB, 64 KiB and 8 MiB in each build, reported as
// the speed relative to memcpy / memset over the same buffers in the same
// run ("vs_libc" above 1 means faster than the C library).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "primitives/core/test_hooks.h"
#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_tables.h"

namespace {

const char* const generationNames[] = {"px", "sse2", "ssse3", "movbe", "sse41", "avx", "avx2"};
const std::int32_t benchedGenerations[] = {0, 1, 2, 4, 5, 6};  // movbe runs the ssse3 build

// Seconds per call of f, timed over the given number of calls.
template <class F>
double secondsPerCall(F f, int calls) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / calls;
}

enum class Op { copy, zero, set };

void run(benchmark::State& state, Op op, std::int32_t g) {
  if (!primTestGenerationSupported(g)) {
    state.SkipWithError("this processor cannot run the build");
    return;
  }
  const int bytes = static_cast<int>(state.range(0));
  std::vector<Prim8u> src(bytes + 64, 1), dst(bytes + 64, 0);
  Prim8u* s = src.data();
  Prim8u* d = dst.data();
  auto ours = [&] {
    switch (op) {
      case Op::copy:
        tbl_vecCopy_8u.entry[g](s, d, bytes);
        break;
      case Op::zero:
        tbl_vecZero_8u.entry[g](d, bytes);
        break;
      case Op::set:
        tbl_vecSet_8u.entry[g](0x5a, d, bytes);
        break;
    }
    benchmark::DoNotOptimize(d);
    benchmark::ClobberMemory();
  };
  auto libc = [&] {
    switch (op) {
      case Op::copy:
        std::memcpy(d, s, bytes);
        break;
      case Op::zero:
        std::memset(d, 0, bytes);
        break;
      case Op::set:
        std::memset(d, 0x5a, bytes);
        break;
    }
    benchmark::DoNotOptimize(d);
    benchmark::ClobberMemory();
  };
  for (auto _ : state) ours();
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  // The peer, timed right after over a comparable number of calls.
  const int calls = static_cast<int>(state.iterations() < 20 ? 20 : state.iterations());
  libc();
  const double peer = secondsPerCall(libc, calls);
  const double mine = secondsPerCall(ours, calls);
  state.counters["vs_libc"] = peer / mine;
}

void registerAll() {
  const struct {
    const char* name;
    Op op;
  } ops[] = {{"copy", Op::copy}, {"zero", Op::zero}, {"set", Op::set}};
  for (const auto& o : ops)
    for (std::int32_t g : benchedGenerations)
      benchmark::RegisterBenchmark((std::string("vec_") + o.name + "_8u/" + generationNames[g]).c_str(),
                                   [op = o.op, g](benchmark::State& st) { run(st, op, g); })
          ->Arg(1 << 10)
          ->Arg(64 << 10)
          ->Arg(8 << 20);
}

const int registered = (registerAll(), 0);

}  // namespace
