#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/colour/powx.h"
#include "tests/support/generations.h"

namespace {

std::uint32_t bitsOf(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
float fromBits(std::uint32_t u) {
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

const float kGammaIn = fromBits(0x40266666);   // 2.6
const float kGammaOut = fromBits(0x3ee8ba2f);  // 1/2.2

// Every build, px included.
class PowxTest : public GenerationTest {};

// Largest relative error of the primitive against a long double power over
// the inputs whose exact result is a normal float.
double maxRelativeError(const std::vector<float>& xs, float val) {
  std::vector<float> out(xs.size());
  EXPECT_GE(vecPowx_32f_A21(xs.data(), val, out.data(), static_cast<int>(xs.size())), 0);
  double worst = 0;
  for (size_t i = 0; i < xs.size(); ++i) {
    const long double exact = std::pow(static_cast<long double>(xs[i]), static_cast<long double>(val));
    if (exact > FLT_MAX) {
      EXPECT_TRUE(std::isinf(out[i]) || out[i] == FLT_MAX) << xs[i];
      continue;
    }
    if (exact < FLT_MIN) continue;  // subnormal results: no relative bound
    const double rel = static_cast<double>(std::fabs((out[i] - exact) / exact));
    if (rel > worst) worst = rel;
    if (rel > std::ldexp(1.0, -21)) {
      ADD_FAILURE() << "x=" << xs[i] << " val=" << val << " got " << out[i] << " exact "
                    << static_cast<double>(exact) << " rel " << rel;
      return rel;
    }
  }
  return worst;
}

std::vector<float> sweep(float lo, float hi, std::uint32_t stride) {
  std::vector<float> xs;
  for (std::uint32_t u = bitsOf(lo); u <= bitsOf(hi); u += stride) xs.push_back(fromBits(u));
  return xs;
}

TEST_P(PowxTest, GammaExponentsWithin21Bits) {
  // Dense over [0, 1] (every 257th float above 2^-20), sparser over the whole
  // positive range.
  std::vector<float> unit = sweep(std::ldexp(1.0f, -20), 1.0f, 257);
  std::vector<float> wide = sweep(FLT_MIN, FLT_MAX, 4099);
  for (float val : {kGammaIn, kGammaOut}) {
    const double e1 = maxRelativeError(unit, val);
    const double e2 = maxRelativeError(wide, val);
    RecordProperty("max_rel_error_log2", std::to_string(std::log2(std::max(e1, e2))));
    EXPECT_LT(std::max(e1, e2), std::ldexp(1.0, -21)) << generationName(generation());
  }
}

TEST_P(PowxTest, RandomExponentsWithin21Bits) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> base(0.0f, 64.0f), expo(-6.0f, 6.0f);
  std::vector<float> xs(4096);
  for (float& x : xs) x = base(rng);
  for (int k = 0; k < 24; ++k) EXPECT_LT(maxRelativeError(xs, expo(rng)), std::ldexp(1.0, -21));
  // Negative bases with integral exponents take the sign of an odd power.
  std::vector<float> neg(1000);
  for (float& x : neg) x = -base(rng);
  EXPECT_LT(maxRelativeError(neg, 3.0f), std::ldexp(1.0, -21));
  EXPECT_LT(maxRelativeError(neg, -5.0f), std::ldexp(1.0, -21));
  EXPECT_LT(maxRelativeError(neg, 6.0f), std::ldexp(1.0, -21));
}

struct Special {
  float x, val;
  std::uint32_t bits;  // expected result bits
  bool warning;
};

TEST_P(PowxTest, SpecialValueTable) {
  const float inf = INFINITY, nan = NAN;
  const std::uint32_t pInf = 0x7f800000, nInf = 0xff800000, pZero = 0, nZero = 0x80000000, one = 0x3f800000,
                      minusOne = 0xbf800000, defaultNaN = 0xffc00000;
  const Special rows[] = {
      {1.0f, nan, one, false},
      {nan, 0.0f, one, false},
      {5.0f, -0.0f, one, false},
      {0.0f, -1.0f, pInf, true},
      {-0.0f, -1.0f, nInf, true},
      {-0.0f, -2.0f, pInf, true},
      {-0.0f, 0.5f, pZero, false},
      {-0.0f, 3.0f, nZero, false},
      {0.0f, kGammaIn, pZero, false},
      {-1.0f, inf, one, false},
      {-1.0f, -inf, one, false},
      {-1.0f, 3.0f, minusOne, false},
      {-1.0f, 4.0f, one, false},
      {0.5f, inf, pZero, false},
      {0.5f, -inf, pInf, false},
      {2.0f, -inf, pZero, false},
      {2.0f, inf, pInf, false},
      {-inf, 3.0f, nInf, false},
      {-inf, -3.0f, nZero, false},
      {-inf, 2.5f, pInf, false},
      {inf, -0.5f, pZero, false},
      {-4.0f, 0.5f, defaultNaN, true},
      {-2.0f, 3.0f, bitsOf(-8.0f), false},
      {std::ldexp(1.0f, 127), kGammaIn, pInf, false},
  };
  for (const Special& r : rows) {
    float out = 123.0f;
    const PrimResult st = vecPowx_32f_A21(&r.x, r.val, &out, 1);
    EXPECT_EQ(bitsOf(out), r.bits) << "x=" << r.x << " val=" << r.val;
    EXPECT_EQ(st, r.warning ? primResultDomainWarning : primResultOk) << "x=" << r.x << " val=" << r.val;
  }
  // NaN operands give a NaN; the status stays 0.
  float out;
  const float x = nan;
  EXPECT_EQ(vecPowx_32f_A21(&x, kGammaIn, &out, 1), primResultOk);
  EXPECT_TRUE(std::isnan(out));
  const float two = 2.0f;
  EXPECT_EQ(vecPowx_32f_A21(&two, nan, &out, 1), primResultOk);
  EXPECT_TRUE(std::isnan(out));
}

TEST_P(PowxTest, WarningAmongOrdinaryElementsKeepsTheRest) {
  std::vector<float> xs(37, 0.25f), out(37);
  xs[20] = -3.0f;
  EXPECT_EQ(vecPowx_32f_A21(xs.data(), kGammaOut, out.data(), 37), primResultDomainWarning);
  EXPECT_EQ(bitsOf(out[20]), 0xffc00000u);
  const double expect = std::pow(0.25, static_cast<double>(kGammaOut));
  for (int i = 0; i < 37; ++i) {
    if (i == 20) continue;
    EXPECT_NEAR(out[i], expect, expect * 1e-6);
  }
}

TEST_P(PowxTest, SquareIsTheExactProduct) {
  const float xs[] = {-0.0f, -INFINITY, 3.0f, -1.5f, 1e20f, 1e-30f, 0.0f, 7.25f, 0.1f};
  float out[9];
  EXPECT_EQ(vecPowx_32f_A21(xs, 2.0f, out, 9), primResultOk);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(bitsOf(out[i]), bitsOf(xs[i] * xs[i])) << xs[i];
  const float nanIn = NAN;
  EXPECT_EQ(vecPowx_32f_A21(&nanIn, 2.0f, out, 1), primResultOk);
  EXPECT_TRUE(std::isnan(out[0]));
}

TEST_P(PowxTest, StatusOrderLengthBeforePointers) {
  float v = 1.0f;
  EXPECT_EQ(vecPowx_32f_A21(nullptr, kGammaIn, nullptr, 0), primResultBadSize);
  EXPECT_EQ(vecPowx_32f_A21(nullptr, kGammaIn, nullptr, -3), primResultBadSize);
  EXPECT_EQ(vecPowx_32f_A21(nullptr, kGammaIn, &v, 1), primResultNullPointer);
  EXPECT_EQ(vecPowx_32f_A21(&v, kGammaIn, nullptr, 1), primResultNullPointer);
}

TEST_P(PowxTest, InPlaceMatchesSeparateDestination) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> d(-2.0f, 50.0f);
  std::vector<float> xs(1001);
  for (float& x : xs) x = d(rng);
  xs[5] = 0.0f, xs[17] = INFINITY, xs[300] = 1e-40f;
  std::vector<float> sep(xs.size()), inplace = xs;
  const PrimResult a = vecPowx_32f_A21(xs.data(), 3.0f, sep.data(), 1001);
  const PrimResult b = vecPowx_32f_A21(inplace.data(), 3.0f, inplace.data(), 1001);
  EXPECT_EQ(a, b);
  EXPECT_EQ(0, std::memcmp(sep.data(), inplace.data(), sep.size() * 4));
}

TEST_P(PowxTest, CallerFloatingPointEnvironmentRestoredAndIgnored) {
  std::vector<float> xs = sweep(0.001f, 1.0f, 9973), ref(xs.size()), got(xs.size());
  vecPowx_32f_A21(xs.data(), kGammaOut, ref.data(), static_cast<int>(xs.size()));
  const unsigned saved = _mm_getcsr();
  // Round toward zero, flush to zero, a sticky flag and the invalid exception
  // unmasked: none of it may leak into or out of the call.
  const unsigned callerCsr = (0x1f80u & ~0x0080u) | 0x6000u | 0x8000u | 0x0020u;
  _mm_setcsr(callerCsr);
  const PrimResult st = vecPowx_32f_A21(xs.data(), kGammaOut, got.data(), static_cast<int>(xs.size()));
  const unsigned after = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(st, primResultOk);
  EXPECT_EQ(after, callerCsr);
  EXPECT_EQ(0, std::memcmp(ref.data(), got.data(), ref.size() * 4));
}

TEST_P(PowxTest, GammaOutOnUnitInterval) {
  const float xs[] = {0.0f, 1.0f};
  float out[2];
  EXPECT_EQ(vecPowx_32f_A21(xs, kGammaOut, out, 2), primResultOk);
  EXPECT_EQ(bitsOf(out[0]), 0u);
  EXPECT_EQ(out[1], 1.0f);
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, PowxTest, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

}  // namespace
