// bench-libs: prim_colour
// The converter's per-row colour path (input gamma, XYZ-to-RGB twist, clamps
// to [0, 1], output gamma) on a 2048-pixel row, in each build.  Compare the
// builds' times with px's in the same run.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "primitives/colour/powx.h"
#include "primitives/colour/threshold.h"
#include "primitives/colour/twist.h"
#include "primitives/core/test_hooks.h"

namespace {

const float kTwist[3][4] = {{3.2404542f, -1.5371385f, -0.4985314f, 0.0f},
                            {-0.9692660f, 1.8760108f, 0.0415560f, 0.0f},
                            {0.0556434f, -0.2040259f, 1.0572252f, 0.0f}};

void ColourRow(benchmark::State& state) {
  const int generation = static_cast<int>(state.range(0));
  if (primTestForceGeneration(generation) != 0) {
    state.SkipWithError("generation not supported here");
    return;
  }
  const int width = 2048, n = 3 * width;
  std::vector<float> input(n), row(n);
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> d(0.0f, 1.0f);
  for (float& v : input) v = d(rng);
  for (auto _ : state) {
    row = input;
    vecPowx_32f_A21(row.data(), 2.6f, row.data(), n);
    imgColorTwist_32f_C3R(row.data(), n, row.data(), n, {width, 1}, kTwist);
    vecThreshold_LT_32f(row.data(), row.data(), n, 0.0f);
    vecThreshold_GT_32f(row.data(), row.data(), n, 1.0f);
    vecPowx_32f_A21(row.data(), 1.0f / 2.2f, row.data(), n);
    benchmark::DoNotOptimize(row.data());
  }
  state.SetItemsProcessed(state.iterations() * width);
  primTestForceGeneration(0);
}

}  // namespace

BENCHMARK(ColourRow)->ArgName("generation")->DenseRange(0, 6);
