// bench-libs: prim_convert prim_core
// The decoder's conversions and shifts in each build, over one row of 2048
// samples and over 1 Mi samples, reported as the speed relative to the px
// build over the same buffers in the same run ("vs_px" above 1 means faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "primitives/convert/vec_convert_builds.h"
#include "primitives/core/test_hooks.h"

namespace {

const char* const generationNames[] = {"px", "sse2", "ssse3", "movbe", "sse41", "avx", "avx2"};
const std::int32_t benchedGenerations[] = {1, 2, 4, 5, 6};  // movbe runs the ssse3 build

template <class F>
double secondsPerCall(F f, int calls) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / calls;
}

struct Buffers {
  std::vector<float> f;
  std::vector<Prim32s> i32, o32;
  std::vector<Prim16s> i16, o16;
  explicit Buffers(int n) : f(n), i32(n), o32(n), i16(n), o16(n) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-70000.0f, 70000.0f);
    for (int k = 0; k < n; ++k) {
      f[k] = d(rng);
      i32[k] = static_cast<Prim32s>(f[k]);
      i16[k] = static_cast<Prim16s>(i32[k] / 4);
    }
  }
};

// One operation of the decoder: the build g of it over n samples.
using Op = std::function<void(std::int32_t g, Buffers& b, int n)>;

template <class Fn>
Fn pick(std::int32_t g, Fn px, Fn sse2, Fn ssse3, Fn sse41, Fn avx, Fn avx2) {
  const Fn all[] = {px, sse2, ssse3, ssse3, sse41, avx, avx2};
  return all[g];
}

const struct {
  const char* name;
  Op op;
} kOps[] = {
    {"convert_32f32s_near",
     [](std::int32_t g, Buffers& b, int n) {
       pick(g, px_vecConvert_32f32s_Sfs, sse2_vecConvert_32f32s_Sfs, ssse3_vecConvert_32f32s_Sfs,
            sse41_vecConvert_32f32s_Sfs, avx_vecConvert_32f32s_Sfs,
            avx2_vecConvert_32f32s_Sfs)(b.f.data(), b.o32.data(), n, 1, 0);
     }},
    {"convert_32f32s_halfaway_sf3",
     [](std::int32_t g, Buffers& b, int n) {
       pick(g, px_vecConvert_32f32s_Sfs, sse2_vecConvert_32f32s_Sfs, ssse3_vecConvert_32f32s_Sfs,
            sse41_vecConvert_32f32s_Sfs, avx_vecConvert_32f32s_Sfs,
            avx2_vecConvert_32f32s_Sfs)(b.f.data(), b.o32.data(), n, 2, 3);
     }},
    {"convert_32s16s",
     [](std::int32_t g, Buffers& b, int n) {
       pick(g, px_vecConvert_32s16s, sse2_vecConvert_32s16s, ssse3_vecConvert_32s16s, sse41_vecConvert_32s16s,
            avx_vecConvert_32s16s, avx2_vecConvert_32s16s)(b.i32.data(), b.o16.data(), n);
     }},
    {"convert_32s32f",
     [](std::int32_t g, Buffers& b, int n) {
       pick(g, px_vecConvert_32s32f_Sfs, sse2_vecConvert_32s32f_Sfs, ssse3_vecConvert_32s32f_Sfs,
            sse41_vecConvert_32s32f_Sfs, avx_vecConvert_32s32f_Sfs,
            avx2_vecConvert_32s32f_Sfs)(b.i32.data(), b.f.data(), n, 0);
     }},
    {"lshift_16s_inplace",
     [](std::int32_t g, Buffers& b, int n) {
       pick(g, px_vecLShiftC_16s, sse2_vecLShiftC_16s, ssse3_vecLShiftC_16s, sse41_vecLShiftC_16s,
            avx_vecLShiftC_16s, avx2_vecLShiftC_16s)(b.o16.data(), 1, b.o16.data(), n);
     }},
    {"rshift_16s_inplace",
     [](std::int32_t g, Buffers& b, int n) {
       pick(g, px_vecRShiftC_16s, sse2_vecRShiftC_16s, ssse3_vecRShiftC_16s, sse41_vecRShiftC_16s,
            avx_vecRShiftC_16s, avx2_vecRShiftC_16s)(b.i16.data(), 3, b.i16.data(), n);
     }},
    {"rshift_32s",
     [](std::int32_t g, Buffers& b, int n) {
       pick(g, px_vecRShiftC_32s, sse2_vecRShiftC_32s, ssse3_vecRShiftC_32s, sse41_vecRShiftC_32s,
            avx_vecRShiftC_32s, avx2_vecRShiftC_32s)(b.i32.data(), 1, b.o32.data(), n);
     }},
};

void run(benchmark::State& state, const Op& op, std::int32_t g) {
  if (!primTestGenerationSupported(g)) {
    state.SkipWithError("this processor cannot run the build");
    return;
  }
  const int n = static_cast<int>(state.range(0));
  Buffers b(n);
  auto ours = [&] {
    op(g, b, n);
    benchmark::ClobberMemory();
  };
  auto px = [&] {
    op(0, b, n);
    benchmark::ClobberMemory();
  };
  for (auto _ : state) ours();
  state.SetItemsProcessed(state.iterations() * n);
  const int calls = static_cast<int>(state.iterations() < 20 ? 20 : state.iterations());
  px();
  const double peer = secondsPerCall(px, calls);
  const double mine = secondsPerCall(ours, calls);
  state.counters["vs_px"] = peer / mine;
}

void registerAll() {
  for (const auto& o : kOps)
    for (std::int32_t g : benchedGenerations)
      benchmark::RegisterBenchmark((std::string("vec_") + o.name + "/" + generationNames[g]).c_str(),
                                   [&op = o.op, g](benchmark::State& st) { run(st, op, g); })
          ->Arg(2048)
          ->Arg(1 << 20);
}

const int registered = (registerAll(), 0);

}  // namespace
