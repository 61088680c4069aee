// Complex threshold kernels: every SIMD build against references written from
// the element rules, over lengths, offsets and in place.  These kernels have
// no generic build; the 32fc ones exist from the ssse3 build on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/colour/threshold_cplx_builds.h"
#include "tests/primitives/colour/threshold_sweep.h"
#include "tests/support/generations.h"

namespace {

using threshold_sweep::sameBits;
using threshold_sweep::sweep;

struct CplxBuild {
  decltype(&sse2_ownsThreshold_16sc) mag16sc;
  decltype(&sse2_ownsThreshold_64fc) mag64fc;
  decltype(&sse2_ownsThreshold_LTVal_16sc) ltVal16sc, gtVal16sc;
  decltype(&ssse3_ownsThreshold_32fc) rescale32fc;
  decltype(&ssse3_ownsThreshold_32fc_I) rescale32fcI;
  decltype(&ssse3_ownsThreshold_LTVal_32fc) ltVal32fc, gtVal32fc;
};
#define CPLX_BUILD(gen, gen32fc)                                                                    \
  CplxBuild {                                                                                       \
    gen##_ownsThreshold_16sc, gen##_ownsThreshold_64fc, gen##_ownsThreshold_LTVal_16sc,             \
        gen##_ownsThreshold_GTVal_16sc, gen32fc(ownsThreshold_32fc), gen32fc(ownsThreshold_32fc_I), \
        gen32fc(ownsThreshold_LTVal_32fc), gen32fc(ownsThreshold_GTVal_32fc)                        \
  }
#define NONE(name) nullptr
#define SSSE3(name) ssse3_##name
#define SSE41(name) sse41_##name
#define AVX(name) avx_##name
#define AVX2(name) avx2_##name
// Indexed by generation; movbe runs the ssse3 build, px has none.
const CplxBuild kBuilds[7] = {{},
                              CPLX_BUILD(sse2, NONE),
                              CPLX_BUILD(ssse3, SSSE3),
                              CPLX_BUILD(ssse3, SSSE3),
                              CPLX_BUILD(sse41, SSE41),
                              CPLX_BUILD(avx, AVX),
                              CPLX_BUILD(avx2, AVX2)};

class ThresholdComplexKernels : public GenerationTest {
 protected:
  const CplxBuild& build() const { return kBuilds[generation()]; }
  // The 32fc kernels start at the ssse3 build.
  bool has32fc() const { return build().rescale32fc != nullptr; }
};

// ---------------------------------------------------------------------------
// 16sc, exact: rescaling by sqrt(L / m), parts truncated after a margin
// (toward the origin for GT, away from it for LT) and limited to 32767.
Prim16sc magnitude16sc(Prim16sc x, Prim32s levelArg, bool gt) {
  const long long level = static_cast<Prim16s>(levelArg);
  const long long L = level * level, m = 1LL * x.re * x.re + 1LL * x.im * x.im;
  if (gt ? m <= L : m >= L) return x;
  if (m == 0) return {static_cast<Prim16s>(level), 0};
  const double f = std::sqrt(static_cast<double>(L) / static_cast<double>(m));
  const double margin = gt ? 1.25e-11 : 0.9999999999582077;
  auto part = [&](int c) {
    const long long t = std::min(32767LL, static_cast<long long>(std::abs(c) * f + margin));
    return static_cast<Prim16s>(c < 0 ? -t : t);
  };
  return {part(x.re), part(x.im)};
}

Prim16sc value16sc(Prim16sc x, Prim32s levelArg, Prim32s value, bool gt) {
  const long long level = static_cast<Prim16s>(levelArg);
  const long long L = level * level, m = 1LL * x.re * x.re + 1LL * x.im * x.im;
  if (gt ? m <= L : m >= L) return x;
  return {static_cast<Prim16s>(value & 0xffff), static_cast<Prim16s>(value >> 16)};
}

std::vector<Prim16sc> pool16sc() {
  std::mt19937 rng(31);
  std::uniform_int_distribution<int> wide(-32768, 32767), narrow(-12, 12);
  std::vector<Prim16sc> v(120);
  for (std::size_t i = 0; i < v.size(); ++i) {
    auto& d = i % 2 ? wide : narrow;
    v[i] = {static_cast<Prim16s>(d(rng)), static_cast<Prim16s>(d(rng))};
  }
  v[10] = {-32768, -32768}, v[30] = {-32768, 0}, v[50] = {0, 0}, v[51] = {3, 4}, v[59] = {0, 0};
  v[60] = {32767, 32767}, v[70] = {1, 1}, v[80] = {-6, 8};
  return v;
}

TEST_P(ThresholdComplexKernels, Integer16scFollowTheElementRules) {
  const auto pool = pool16sc();
  // The last level carries garbage above its low 16 bits (100).
  for (Prim32s level : {0, 2, 10, 5000, 32767, -32768, -5, 0x7fff0064}) {
    for (Prim32s selector : {0, 1, -3}) {
      SCOPED_TRACE(testing::Message() << "level " << level << " selector " << selector);
      sweep<Prim16sc>(
          pool, threshold_sweep::lengths(),
          [&](const Prim16sc* s, Prim16sc* d, int n) { build().mag16sc(level, s, d, n, selector); },
          [&](const auto& in, const auto& out, int i) {
            return sameBits(out[i], magnitude16sc(in[i], level, selector != 0));
          });
    }
    const Prim32s value = static_cast<Prim32s>(0x8001'7ffeu);  // (32766, -32767)
    for (bool gt : {false, true}) {
      SCOPED_TRACE(testing::Message() << "value, level " << level << " gt " << gt);
      sweep<Prim16sc>(
          pool, threshold_sweep::lengths(),
          [&](const Prim16sc* s, Prim16sc* d, int n) {
            (gt ? build().gtVal16sc : build().ltVal16sc)(s, d, n, level, value);
          },
          [&](const auto& in, const auto& out, int i) {
            return sameBits(out[i], value16sc(in[i], level, value, gt));
          });
    }
  }
}

TEST_P(ThresholdComplexKernels, Integer16scExamples) {
  auto one = [&](Prim32s level, Prim16sc x, Prim32s selector) {
    Prim16sc out;
    build().mag16sc(level, &x, &out, 1, selector);
    return std::make_pair(out.re, out.im);
  };
  using P = std::pair<Prim16s, Prim16s>;
  EXPECT_EQ(one(2, {3, 4}, 1), P(1, 1));
  EXPECT_EQ(one(3, {1, 1}, 0), P(3, 3));
  EXPECT_EQ(one(10, {3, 4}, 0), P(6, 8));
  EXPECT_EQ(one(32767, {-32768, -32768}, 1), P(-23169, -23169));
  EXPECT_EQ(one(32767, {-32768, 0}, 1), P(-32767, 0));
  EXPECT_EQ(one(-32768, {1, 0}, 0), P(32767, 0));
  EXPECT_EQ(one(5, {0, 0}, 0), P(5, 0));
  EXPECT_EQ(one(-5, {0, 0}, 0), P(-5, 0));
  EXPECT_EQ(one(0, {-32768, -32768}, 0), P(-32768, -32768));
  EXPECT_EQ(one(0, {-7, 1}, 1), P(0, 0));
  EXPECT_EQ(one(5, {3, 4}, 0), P(3, 4));  // m == L is kept
  // The margins: 17 * sqrt(9 / 289) is 3 less 1 ulp; 41 * 43 / sqrt(1762) is
  // 42 + 6.8e-6, which LT takes up to 43.
  EXPECT_EQ(one(3, {17, 0}, 1), P(3, 0));
  EXPECT_EQ(one(43, {41, 9}, 0), P(43, 10));
  Prim16sc big{-32768, -32768}, out;
  build().ltVal16sc(&big, &out, 1, -32768, 0);
  EXPECT_TRUE(sameBits(out, big));
  build().gtVal16sc(&big, &out, 1, -32768, 0);
  EXPECT_EQ(out.re, 0);
}

// ---------------------------------------------------------------------------
// 64fc: exact where the squared magnitude and L / m are normal doubles.
Prim64fc magnitude64fc(Prim64fc x, double level, bool gt) {
  const double L = level * level, m = x.re * x.re + x.im * x.im;
  if (!(gt ? L < m : m < L)) return x;
  if (m == 0) return {level, 0.0};
  const double f = std::sqrt(L / m);
  return {x.re * f, x.im * f};
}

TEST_P(ThresholdComplexKernels, Float64cFollowTheElementRule) {
  std::mt19937 rng(32);
  std::uniform_real_distribution<double> d(-10.0, 10.0);
  std::vector<Prim64fc> pool(120);
  for (auto& x : pool) x = {d(rng), d(rng)};
  pool[20] = {0.0, 0.0}, pool[21] = {-0.0, 0.0}, pool[60] = {3, 4}, pool[61] = {-0.0, -0.0};
  for (double level : {5.0, -5.0, 0.0, 1e-3}) {
    for (Prim32s selector : {0, 1, 9}) {
      SCOPED_TRACE(testing::Message() << "level " << level << " selector " << selector);
      sweep<Prim64fc>(
          pool, threshold_sweep::lengths(),
          [&](const Prim64fc* s, Prim64fc* dst, int n) { build().mag64fc(level, s, dst, n, selector); },
          [&](const auto& in, const auto& out, int i) {
            return sameBits(out[i], magnitude64fc(in[i], level, selector != 0));
          });
    }
  }
}

// Elements whose squared magnitude or factor is not a normal double keep
// their direction and get magnitude |level|.
TEST_P(ThresholdComplexKernels, Float64cOutsideTheNormalRange) {
  auto run = [&](double level, Prim64fc x, Prim32s selector) {
    Prim64fc out;
    build().mag64fc(level, &x, &out, 1, selector);
    return out;
  };
  auto near = [](Prim64fc got, double re, double im) {
    const double tol = 1e-15 * std::max(std::fabs(re), std::fabs(im));
    return std::fabs(got.re - re) <= tol && std::fabs(got.im - im) <= tol;
  };
  const double r = std::sqrt(0.5);
  EXPECT_TRUE(near(run(2, {1e200, 1e200}, 1), 2 * r, 2 * r));
  EXPECT_TRUE(near(run(-2, {INFINITY, -INFINITY}, 1), 2 * r, -2 * r));
  EXPECT_TRUE(near(run(2, {-INFINITY, 5}, 1), -2, 0));
  EXPECT_TRUE(near(run(1e-150, {1e150, 0}, 1), 1e-150, 0));
  EXPECT_TRUE(near(run(1e10, {1e-160, 0}, 0), 1e10, 0));
  EXPECT_TRUE(near(run(1e300, {0, -1}, 0), 0, -1e300));  // L is infinite
  // Both squares underflow: a zero magnitude, which takes (level, +0.0).
  const Prim64fc z = run(3, {1e-200, 0}, 0);
  EXPECT_TRUE(z.re == 3 && z.im == 0 && !std::signbit(z.im));
  // A NaN level or a NaN part: nothing is beyond the level.
  const Prim64fc nanPart{NAN, 1};
  EXPECT_TRUE(sameBits(run(2, nanPart, 1), nanPart));
  EXPECT_TRUE(sameBits(run(NAN, {7, 7}, 0), Prim64fc{7, 7}));
}

// ---------------------------------------------------------------------------
// 32fc.  Squared magnitudes in single precision.
float squared(Prim32fc x) {
  const float a = x.re * x.re, b = x.im * x.im;
  return a + b;
}

// Rescaling: a rescaled element has magnitude |level| and its direction
// within the bound of the approximate factor; every other element keeps its
// bits, and a zero one under LT becomes (re + level, im).
bool rescaledRight(Prim32fc in, Prim32fc out, float level, bool gt) {
  const float L2 = level * level, m = squared(in);
  if (!gt && m == 0) return sameBits(out.re, in.re + level) && sameBits(out.im, in.im);
  if (gt ? !(L2 < m) : L2 <= m) return sameBits(out, in);
  if (std::isnan(m) || std::isnan(level)) return std::isnan(out.re) && std::isnan(out.im);
  double a = in.re, b = in.im;
  if (std::isinf(a) || std::isinf(b)) {
    a = std::isinf(a) ? std::copysign(1.0, a) : 0.0;
    b = std::isinf(b) ? std::copysign(1.0, b) : 0.0;
  }
  const double h = std::hypot(a, b), l = std::fabs(level), tol = std::ldexp(l, -20);
  return std::fabs(out.re - a / h * l) <= tol && std::fabs(out.im - b / h * l) <= tol;
}

std::vector<Prim32fc> pool32fc() {
  std::mt19937 rng(33);
  std::uniform_real_distribution<float> d(-8.0f, 8.0f);
  std::vector<Prim32fc> v(120);
  for (auto& x : v) x = {d(rng), d(rng)};
  const Prim32fc special[] = {
      {0, 0},         {-0.0f, -0.0f},       {3, 4},          {6, 8},      {0.6f, 0.8f},      {NAN, 1},
      {1, -INFINITY}, {INFINITY, INFINITY}, {1e30f, -1e30f}, {1e-23f, 0}, {-1e-30f, 2e-30f}, {2e19f, 1}};
  for (std::size_t i = 0; i < std::size(special); ++i) v[3 + 9 * i] = special[i];
  return v;
}

TEST_P(ThresholdComplexKernels, Float32cRescaleToTheLevel) {
  if (!has32fc()) GTEST_SKIP() << "the sse2 build carries no 32fc kernels";
  const auto pool = pool32fc();
  for (float level : {5.0f, -5.0f, 0.0f, 0.5f, 1e10f, static_cast<float>(NAN)}) {
    for (Prim32s selector : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "level " << level << " selector " << selector);
      auto check = [&](const auto& in, const auto& out, int i) {
        return rescaledRight(in[i], out[i], level, selector == 1);
      };
      sweep<Prim32fc>(
          pool, threshold_sweep::lengths(),
          [&](const Prim32fc* s, Prim32fc* d, int n) { build().rescale32fc(level, s, d, n, selector); },
          check);
      sweep<Prim32fc>(
          pool, threshold_sweep::lengths(),
          [&](const Prim32fc*, Prim32fc* d, int n) { build().rescale32fcI(level, d, n, selector); }, check,
          false);
    }
  }
}

// The in-place kernel stores no block in which nothing is rescaled.
TEST_P(ThresholdComplexKernels, Float32cUnchangedBlocksAreNotWritten) {
  if (!has32fc()) GTEST_SKIP() << "the sse2 build carries no 32fc kernels";
  const std::vector<Prim32fc> v(23, Prim32fc{3, -4});
  threshold_sweep::ReadOnlyCopy page(v.data(), v.size() * sizeof(Prim32fc));
  build().rescale32fcI(5, page.as<Prim32fc>() + 1, 22, 1);
  build().rescale32fcI(5, page.as<Prim32fc>(), 23, 0);
}

TEST_P(ThresholdComplexKernels, Float32cReplaceByValue) {
  if (!has32fc()) GTEST_SKIP() << "the sse2 build carries no 32fc kernels";
  const auto pool = pool32fc();
  const Prim32fc value{7.0f, -0.0f};
  for (float level : {5.0f, -5.0f, 0.0f, static_cast<float>(NAN), static_cast<float>(INFINITY)}) {
    for (bool gt : {false, true}) {
      SCOPED_TRACE(testing::Message() << "level " << level << " gt " << gt);
      sweep<Prim32fc>(
          pool, threshold_sweep::lengths(),
          [&](const Prim32fc* s, Prim32fc* d, int n) {
            (gt ? build().gtVal32fc : build().ltVal32fc)(s, d, n, level, value);
          },
          [&](const auto& in, const auto& out, int i) {
            const float L2 = level * level, m = squared(in[i]);
            const bool keep = gt ? m <= L2 : !(m < L2);
            return sameBits(out[i], keep ? in[i] : value);
          });
    }
  }
}

INSTANTIATE_GENERATIONS(ThresholdComplexKernels);

}  // namespace
