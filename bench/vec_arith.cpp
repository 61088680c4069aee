// bench-libs: prim_arith prim_core
// Each build of the vector arithmetic primitives against the generic build
// px on the same data.  The counter "speedup_vs_px" is px's time per call
// divided by the build's (both measured here, back to back, on one core).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/test_hooks.h"

namespace {

constexpr const char* kGenNames[] = {"px", "sse2", "ssse3", "movbe", "sse41", "avx", "avx2"};

// Data of one call: two sources and a destination of n elements each.
template <class T>
struct Data {
  std::vector<T> a, b, d;
  explicit Data(int n) : a(n), b(n), d(n) {
    std::mt19937 rng(3);
    for (int i = 0; i < n; ++i) {
      a[i] = static_cast<T>(static_cast<int>(rng() % 20000) - 10000);
      b[i] = static_cast<T>(static_cast<int>(rng() % 20000) - 10000);
    }
  }
};

double nsPerCall(const std::function<void()>& f) {
  using clock = std::chrono::steady_clock;
  for (int i = 0; i < 50; ++i) f();
  int reps = 64;
  for (;;) {
    const auto t0 = clock::now();
    for (int i = 0; i < reps; ++i) f();
    const double ns = std::chrono::duration<double, std::nano>(clock::now() - t0).count();
    if (ns > 2e7 || reps > (1 << 24)) return ns / reps;
    reps *= 4;
  }
}

// Registers one benchmark per build of a primitive; builds[g] is null for a
// slot that has no build of its own.
void add(const std::string& name, int len, std::vector<std::function<void()>> builds) {
  for (int g = 1; g < 7; ++g) {
    if (!builds[g]) continue;
    benchmark::RegisterBenchmark((name + "/" + kGenNames[g] + "/" + std::to_string(len)).c_str(),
                                 [g, builds, len](benchmark::State& state) {
                                   if (!primTestGenerationSupported(g)) {
                                     state.SkipWithError("processor cannot run this build");
                                     return;
                                   }
                                   for (auto _ : state) builds[g]();
                                   state.SetItemsProcessed(state.iterations() * len);
                                   state.counters["speedup_vs_px"] =
                                       nsPerCall(builds[0]) / nsPerCall(builds[g]);
                                 });
  }
}

#define BUILDS7(expr)                                                                            \
  {                                                                                              \
    [=] { expr(px); }, [=] { expr(sse2); }, [=] { expr(ssse3); }, nullptr, [=] { expr(sse41); }, \
        [=] { expr(avx); }, [=] { expr(avx2); }                                                  \
  }

void registerAll() {
  for (int len : {64, 1024, 16384}) {
    auto* f = new Data<Prim32f>(len);
    auto* s = new Data<Prim16s>(len);
    auto* w = new Data<Prim32s>(len);
#define MULC(g) benchmark::DoNotOptimize(g##_vecMulC_32f(f->a.data(), 0.75f, f->d.data(), len))
#define ADDF(g) benchmark::DoNotOptimize(g##_vecAdd_32f(f->a.data(), f->b.data(), f->d.data(), len))
#define SUBF(g) benchmark::DoNotOptimize(g##_vecSub_32f(f->a.data(), f->b.data(), f->d.data(), len))
    add("vecMulC_32f", len, BUILDS7(MULC));
    // The sse41 slot of the float addition runs the ssse3 build.
    add("vecAdd_32f", len,
        {[=] { ADDF(px); }, [=] { ADDF(sse2); }, [=] { ADDF(ssse3); }, nullptr, nullptr, [=] { ADDF(avx); },
         [=] { ADDF(avx2); }});
    add("vecSub_32f", len, BUILDS7(SUBF));
    for (int sf : {0, 1, 3, -2}) {
      const std::string tag = "_sf" + std::to_string(sf);
#define ADDC16(g) benchmark::DoNotOptimize(g##_vecAddC_16s_Sfs(s->a.data(), 128, s->d.data(), len, sf))
#define ADD16(g) benchmark::DoNotOptimize(g##_vecAdd_16s_Sfs(s->a.data(), s->b.data(), s->d.data(), len, sf))
#define SUB16(g) benchmark::DoNotOptimize(g##_vecSub_16s_Sfs(s->a.data(), s->b.data(), s->d.data(), len, sf))
#define ADDC32(g) benchmark::DoNotOptimize(g##_vecAddC_32s_Sfs(w->a.data(), 2048, w->d.data(), len, sf))
#define ADD32(g) benchmark::DoNotOptimize(g##_vecAdd_32s_Sfs(w->a.data(), w->b.data(), w->d.data(), len, sf))
#define SUB32(g) benchmark::DoNotOptimize(g##_vecSub_32s_Sfs(w->a.data(), w->b.data(), w->d.data(), len, sf))
      add("vecAddC_16s_Sfs" + tag, len, BUILDS7(ADDC16));
      {
        std::vector<std::function<void()>> b = BUILDS7(ADD16);
        b[3] = [=] { ADD16(movbe); };  // the one primitive with a movbe build
        add("vecAdd_16s_Sfs" + tag, len, b);
      }
      add("vecSub_16s_Sfs" + tag, len, BUILDS7(SUB16));
      add("vecAddC_32s_Sfs" + tag, len, BUILDS7(ADDC32));
      add("vecAdd_32s_Sfs" + tag, len, BUILDS7(ADD32));
      add("vecSub_32s_Sfs" + tag, len, BUILDS7(SUB32));
    }
    // The sign saturation of the 32-bit primitives (inline in every entry).
    const int sf = -40;
    add("vecAdd_32s_Sfs_sf-40", len, BUILDS7(ADD32));
  }
}

const int registered = (registerAll(), 0);

}  // namespace
