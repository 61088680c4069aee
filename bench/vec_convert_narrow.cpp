// bench-libs: prim_convert prim_core
// Conversions to narrower integers in each build that has them, over 2048
// and over 1 Mi elements, reported as the speed relative to the generic rule
// written as a scalar loop (what a px build would run) over the same buffers
// in the same run ("vs_scalar" above 1 means faster).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "primitives/convert/vec_convert_builds.h"
#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/core/test_hooks.h"

namespace {

namespace cv = prim::generic::convert;

const char* const generationNames[] = {"px", "sse2", "ssse3", "movbe", "sse41", "avx", "avx2"};
const std::int32_t benchedGenerations[] = {2, 4, 5};  // movbe runs the ssse3 build

template <class F>
double secondsPerCall(F f, int calls) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / calls;
}

struct Buffers {
  std::vector<float> f;
  std::vector<double> d;
  std::vector<Prim64s> q;
  std::vector<Prim8u> o8;
  std::vector<Prim16s> o16;
  std::vector<Prim32s> o32;
  explicit Buffers(int n) : f(n), d(n), q(n), o8(n), o16(n), o32(n) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> v(-70000.0, 70000.0);
    for (int k = 0; k < n; ++k) f[k] = static_cast<float>(d[k] = v(rng)), q[k] = static_cast<Prim64s>(rng()) >> 20;
  }
};

// The generic rule over a buffer: scaled, rounded and saturated one by one.
template <class S, class D>
void scalarRule(const S* s, D* d, int n, cv::Round r, int sf) {
  cv::MxcsrScope scope(cv::kMxcsrNearest);
  const double m = cv::genericMultiplier(r, sf);
  for (int i = 0; i < n; ++i) {
    const Prim32s v = cv::roundScaled(static_cast<double>(s[i]) * m, r);
    d[i] = static_cast<D>(std::clamp<Prim32s>(v, std::numeric_limits<D>::min(), std::numeric_limits<D>::max()));
  }
}

volatile int benchShift = 8;

// One conversion: the build g of it (0: the scalar rule) over n elements.
using Op = std::function<void(std::int32_t g, Buffers& b, int n)>;

template <class Fn>
Fn pick(std::int32_t g, Fn ssse3, Fn sse41, Fn avx) {
  return g == 2 ? ssse3 : (g == 4 ? sse41 : avx);
}

const struct {
  const char* name;
  Op op;
} kOps[] = {
    {"convert_32f8u_near",
     [](std::int32_t g, Buffers& b, int n) {
       if (g == 0) return scalarRule(b.f.data(), b.o8.data(), n, cv::Round::nearestEven, 0);
       pick(g, ssse3_ownsConvert_32f8u_Sfs, sse41_ownsConvert_32f8u_Sfs, avx_ownsConvert_32f8u_Sfs)(
           b.f.data(), b.o8.data(), n, 1, 0);
     }},
    {"convert_32f16s_halfaway_sf3",
     [](std::int32_t g, Buffers& b, int n) {
       if (g == 0) return scalarRule(b.f.data(), b.o16.data(), n, cv::Round::halfAway, 3);
       pick(g, ssse3_ownsConvert_32f16s_Sfs_HalfAway, sse41_ownsConvert_32f16s_Sfs_HalfAway,
            avx_ownsConvert_32f16s_Sfs_HalfAway)(b.f.data(), b.o16.data(), n, 3);
     }},
    {"convert_64f32s_halfaway",
     [](std::int32_t g, Buffers& b, int n) {
       if (g == 0) return scalarRule(b.d.data(), b.o32.data(), n, cv::Round::halfAway, 0);
       pick(g, ssse3_ownsConvert_64f32s_Sfs_HalfAway, sse41_ownsConvert_64f32s_Sfs_HalfAway,
            avx_ownsConvert_64f32s_Sfs_HalfAway)(b.d.data(), b.o32.data(), n, 0);
     }},
    {"convert_64s32s_sf8",
     [](std::int32_t g, Buffers& b, int n) {
       if (g == 0) {
         // Half away from zero (the bench data cannot overflow), by a shift
         // the compiler does not know, like the kernel's.
         const int sf = benchShift;
         const Prim64s bias = (Prim64s{1} << (sf - 1)) - 1;
         for (int i = 0; i < n; ++i) {
           const Prim64s x = b.q[i], r = (x + bias + (x >= 0 ? 1 : 0)) >> sf;
           b.o32[i] = static_cast<Prim32s>(std::clamp<Prim64s>(r, INT32_MIN, INT32_MAX));
         }
         return;
       }
       pick(g, ssse3_ownsConvert_64s32s_Sfs_HalfAway, sse41_ownsConvert_64s32s_Sfs_HalfAway,
            avx_ownsConvert_64s32s_Sfs_HalfAway)(b.q.data(), b.o32.data(), n, 8);
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
  auto scalar = [&] {
    op(0, b, n);
    benchmark::ClobberMemory();
  };
  for (auto _ : state) ours();
  state.SetItemsProcessed(state.iterations() * n);
  const int calls = static_cast<int>(state.iterations() < 20 ? 20 : state.iterations());
  scalar();
  const double peer = secondsPerCall(scalar, calls);
  const double mine = secondsPerCall(ours, calls);
  state.counters["vs_scalar"] = peer / mine;
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
