// In-place 32s and 64f threshold kernels and the 32s two-level kernels:
// every SIMD build against the element rules, over lengths, offsets and in
// place.  These kernels have no generic build.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/colour/threshold_inplace_builds.h"
#include "tests/primitives/colour/threshold_sweep.h"
#include "tests/support/generations.h"

namespace {

using threshold_sweep::sameBits;
using threshold_sweep::sweep;

struct InPlaceBuild {
  decltype(&sse2_ownsThreshold_LT_32s_I) lt32sI, gt32sI;
  decltype(&sse2_ownsThreshold_LTValGTVal_32s_I) twoLevelI;
  decltype(&sse2_ownsThreshold_LTValGTVal_32s) twoLevel;
  decltype(&sse2_ownsThresholdMinMax_64f_I) minMax64fI;
};
#define IN_PLACE_BUILD(gen)                                                                           \
  InPlaceBuild {                                                                                      \
    gen##_ownsThreshold_LT_32s_I, gen##_ownsThreshold_GT_32s_I, gen##_ownsThreshold_LTValGTVal_32s_I, \
        gen##_ownsThreshold_LTValGTVal_32s, gen##_ownsThresholdMinMax_64f_I                           \
  }
// Indexed by generation; movbe runs the ssse3 build, px has none.
const InPlaceBuild kBuilds[7] = {{},
                                 IN_PLACE_BUILD(sse2),
                                 IN_PLACE_BUILD(ssse3),
                                 IN_PLACE_BUILD(ssse3),
                                 IN_PLACE_BUILD(sse41),
                                 IN_PLACE_BUILD(avx),
                                 IN_PLACE_BUILD(avx2)};

class ThresholdInPlaceKernels : public GenerationTest {
 protected:
  const InPlaceBuild& build() const { return kBuilds[generation()]; }
};

std::vector<Prim32s> pool32s() {
  std::mt19937 rng(21);
  std::uniform_int_distribution<Prim32s> small(-300, 300);
  std::vector<Prim32s> v(120);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = i % 3 ? small(rng) : static_cast<Prim32s>(rng());
  v[5] = INT32_MIN, v[40] = INT32_MAX, v[61] = 100, v[62] = -100, v[63] = 7;
  return v;
}

Prim32s twoLevelRule(Prim32s x, Prim32s lLT, Prim32s vLT, Prim32s lGT, Prim32s vGT) {
  const bool below = lLT > x, above = x > lGT;
  return (below ? vLT : 0) | (above ? vGT : 0) | (below || above ? 0 : x);
}

TEST_P(ThresholdInPlaceKernels, Integer32sFollowTheElementRules) {
  const auto pool = pool32s();
  for (Prim32s level : {-100, 0, 100, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(level);
    sweep<Prim32s>(
        pool, threshold_sweep::lengths(),
        [&](const Prim32s*, Prim32s* d, int n) { build().lt32sI(d, n, level); },
        [&](const auto& in, const auto& out, int i) { return out[i] == std::max(in[i], level); }, false);
    sweep<Prim32s>(
        pool, threshold_sweep::lengths(),
        [&](const Prim32s*, Prim32s* d, int n) { build().gt32sI(d, n, level); },
        [&](const auto& in, const auto& out, int i) { return out[i] == std::min(in[i], level); }, false);
  }
  // Ordered, equal and crossed levels; replacement values with distinct bits
  // show the OR of both values where crossed levels select both.
  const Prim32s levels[][4] = {{-100, 0x11, 100, 0x22},
                               {7, -1, 7, 1 << 30},
                               {100, 0x0f00, -100, 0x00f0},
                               {INT32_MIN, 5, INT32_MAX, 6}};
  for (const auto& l : levels) {
    SCOPED_TRACE(testing::Message() << l[0] << " " << l[2]);
    auto check = [&](const auto& in, const auto& out, int i) {
      return out[i] == twoLevelRule(in[i], l[0], l[1], l[2], l[3]);
    };
    sweep<Prim32s>(
        pool, threshold_sweep::lengths(),
        [&](const Prim32s* s, Prim32s* d, int n) { build().twoLevel(s, d, n, l[0], l[1], l[2], l[3]); },
        check);
    sweep<Prim32s>(
        pool, threshold_sweep::lengths(),
        [&](const Prim32s*, Prim32s* d, int n) { build().twoLevelI(d, n, l[0], l[1], l[2], l[3]); }, check,
        false);
  }
}

// Blocks with nothing beyond the levels are not stored: an aligned vector
// whose length leaves no always-written step lives on a read-only page.
TEST_P(ThresholdInPlaceKernels, UnchangedBlocksAreNotWritten) {
  std::vector<Prim32s> v(64);
  for (int i = 0; i < 64; ++i) v[i] = i - 20;
  threshold_sweep::ReadOnlyCopy page(v.data(), v.size() * sizeof(Prim32s));
  Prim32s* p = page.as<Prim32s>();
  build().lt32sI(p, 64, -20);
  build().gt32sI(p, 62, 43);
  build().twoLevelI(p + 1, 61, -21, 0, 44, 0);
  EXPECT_EQ(0, std::memcmp(p, v.data(), v.size() * sizeof(Prim32s)));
}

std::vector<double> pool64f() {
  std::mt19937 rng(22);
  std::uniform_real_distribution<double> d(-3.0, 3.0);
  std::vector<double> v(120);
  for (double& x : v) x = d(rng);
  for (std::size_t i = 0; i < v.size(); i += 11) v[i] = NAN;
  for (std::size_t i = 4; i < v.size(); i += 13) v[i] = -0.0;
  for (std::size_t i = 6; i < v.size(); i += 17) v[i] = 1.0;
  v[50] = INFINITY, v[51] = -INFINITY, v[52] = 0.0;
  return v;
}

TEST_P(ThresholdInPlaceKernels, Float64ClampFollowsTheElementRule) {
  const auto pool = pool64f();
  for (double level : {1.0, 0.0, -0.0, static_cast<double>(NAN)}) {
    for (int selector : {0, 1, 7}) {
      SCOPED_TRACE(testing::Message() << level << " selector " << selector);
      sweep<double>(
          pool, threshold_sweep::lengths(),
          [&](const double*, double* d, int n) { build().minMax64fI(level, d, n, selector); },
          [&](const auto& in, const auto& out, int i) {
            const double x = in[i];
            const double want = selector == 0 ? (x > level ? x : level) : (x < level ? x : level);
            return sameBits(out[i], want);
          },
          false);
    }
  }
}

INSTANTIATE_GENERATIONS(ThresholdInPlaceKernels);

}  // namespace
