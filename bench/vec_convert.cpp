// bench-libs: prim_convert prim_core
// The decoder's conversions and shifts in each build, over one row of 2048
// samples and over 1 Mi samples, reported as the speed relative to the px
// build over the same buffers in the same run ("vs_px" above 1 means faster).
// The conversions to narrower integers, which have no px build, run in the
// builds that have them against the generic rule as a scalar loop.
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
  std::vector<double> f64;
  std::vector<Prim64s> i64;
  std::vector<Prim8u> o8;
  explicit Buffers(int n) : f(n), i32(n), o32(n), i16(n), o16(n), f64(n), i64(n), o8(n) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-70000.0f, 70000.0f);
    for (int k = 0; k < n; ++k) {
      f[k] = d(rng);
      i32[k] = static_cast<Prim32s>(f[k]);
      i16[k] = static_cast<Prim16s>(i32[k] / 4);
      f64[k] = f[k] + 0.25 * (k % 4);
      i64[k] = static_cast<Prim64s>(i32[k]) << (k % 32);  // a part saturates at 32 bits
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

namespace cv = prim::generic::convert;

volatile int benchShift = 8;

// The generic rule of the conversions to narrower integers as a scalar loop:
// scaled, rounded and saturated one by one (their "px" here).
template <class S, class D>
void scalarRule(const S* s, D* d, int n, cv::Round r, int sf) {
  cv::MxcsrScope scope(cv::kMxcsrNearest);
  const double m = cv::genericMultiplier(r, sf);
  for (int i = 0; i < n; ++i) {
    const Prim32s v = cv::roundScaled(static_cast<double>(s[i]) * m, r);
    d[i] =
        static_cast<D>(std::clamp<Prim32s>(v, std::numeric_limits<D>::min(), std::numeric_limits<D>::max()));
  }
}

template <class Fn>
Fn pickNarrow(std::int32_t g, Fn ssse3, Fn sse41, Fn avx) {
  return g == 2 ? ssse3 : (g == 4 ? sse41 : avx);
}

// Builds that carry an operation, one bit per generation.
constexpr std::uint32_t kAllBuilds = 0x76, kNarrowBuilds = 0x34;

const struct {
  const char* name;
  Op op;
  std::uint32_t builds = kAllBuilds;
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
    {"convert_32f8u_near",
     [](std::int32_t g, Buffers& b, int n) {
       if (g == 0) return scalarRule(b.f.data(), b.o8.data(), n, cv::Round::nearestEven, 0);
       pickNarrow(g, ssse3_ownsConvert_32f8u_Sfs, sse41_ownsConvert_32f8u_Sfs, avx_ownsConvert_32f8u_Sfs)(
           b.f.data(), b.o8.data(), n, 1, 0);
     },
     kNarrowBuilds},
    {"convert_32f16s_halfaway_sf3",
     [](std::int32_t g, Buffers& b, int n) {
       if (g == 0) return scalarRule(b.f.data(), b.o16.data(), n, cv::Round::halfAway, 3);
       pickNarrow(g, ssse3_ownsConvert_32f16s_Sfs_HalfAway, sse41_ownsConvert_32f16s_Sfs_HalfAway,
                  avx_ownsConvert_32f16s_Sfs_HalfAway)(b.f.data(), b.o16.data(), n, 3);
     },
     kNarrowBuilds},
    {"convert_64f32s_halfaway",
     [](std::int32_t g, Buffers& b, int n) {
       if (g == 0) return scalarRule(b.f64.data(), b.o32.data(), n, cv::Round::halfAway, 0);
       pickNarrow(g, ssse3_ownsConvert_64f32s_Sfs_HalfAway, sse41_ownsConvert_64f32s_Sfs_HalfAway,
                  avx_ownsConvert_64f32s_Sfs_HalfAway)(b.f64.data(), b.o32.data(), n, 0);
     },
     kNarrowBuilds},
    {"convert_64s32s_sf8",
     [](std::int32_t g, Buffers& b, int n) {
       if (g == 0) {
         // Half away from zero by a shift the compiler does not know (the
         // bench data cannot overflow the sum).
         const int sf = benchShift;
         const Prim64s bias = (Prim64s{1} << (sf - 1)) - 1;
         for (int i = 0; i < n; ++i) {
           const Prim64s x = b.i64[i], r = (x + bias + (x >= 0 ? 1 : 0)) >> sf;
           b.o32[i] = static_cast<Prim32s>(std::clamp<Prim64s>(r, INT32_MIN, INT32_MAX));
         }
         return;
       }
       pickNarrow(g, ssse3_ownsConvert_64s32s_Sfs_HalfAway, sse41_ownsConvert_64s32s_Sfs_HalfAway,
                  avx_ownsConvert_64s32s_Sfs_HalfAway)(b.i64.data(), b.o32.data(), n, 8);
     },
     kNarrowBuilds},
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
      if ((o.builds >> g) & 1)
        benchmark::RegisterBenchmark((std::string("vec_") + o.name + "/" + generationNames[g]).c_str(),
                                     [&op = o.op, g](benchmark::State& st) { run(st, op, g); })
            ->Arg(2048)
            ->Arg(1 << 20);
}

const int registered = (registerAll(), 0);

}  // namespace
