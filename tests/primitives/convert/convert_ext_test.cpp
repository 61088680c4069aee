// The further sse2 conversion kernels: unrolled integer-to-float widenings
// against the language's exact conversions, the 64-bit narrowing against
// extended-precision arithmetic, at every length around the steps, every
// destination offset, guard bytes, in place and every caller setting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/convert/vec_convert_builds.h"
#include "primitives/convert/vec_convert_ext_builds.h"
#include "tests/primitives/convert/walk_support.h"

namespace {

template <class S>
std::vector<S> pool(unsigned seed, std::size_t n) {
  std::mt19937_64 rng(seed);
  std::vector<S> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<S>(rng() >> (i % 3 == 0 ? (i % 61) : 0));
  v[1] = std::numeric_limits<S>::min();
  v[2] = std::numeric_limits<S>::max();
  return v;
}

// kernel against want(src[i]) at lengths around every step (the prefetching
// form from 4096 on), offsets, guard bytes, in place where allowed.
template <class S, class D, class K, class Want>
void check(K kernel, Want want, bool inPlace = false) {
  const std::vector<S> src = pool<S>(sizeof(S) * 7 + sizeof(D), 4113);
  std::vector<D> expect(src.size());
  for (std::size_t i = 0; i < src.size(); ++i) expect[i] = want(src[i]);
  checkWalks(src, expect, sweepLengths(72, {127, 128, 129, 4096, 4113}), kernel, inPlace);
}

TEST(UnrolledToFloat, ExactWidenings) {
  check<std::int8_t, float>(sse2_ownsConvert_8s32f_Unrolled, [](std::int8_t v) { return float(v); });
  check<Prim8u, float>(sse2_ownsConvert_8u32f_Unrolled, [](Prim8u v) { return float(v); });
  check<Prim16s, float>(sse2_ownsConvert_16s32f_Unrolled, [](Prim16s v) { return float(v); });
  check<Prim16u, float>(sse2_ownsConvert_16u32f_Unrolled, [](Prim16u v) { return float(v); });
  check<Prim32s, double>(sse2_ownsConvert_32s64f_Unrolled, [](Prim32s v) { return double(v); });
  check<Prim32s, float>(
      sse2_ownsConvert_32s32f_Unrolled, [](Prim32s v) { return float(v); }, true);
}

// The rounding conversion follows the caller's rounding mode, and leaves its
// register exactly as it was.
TEST(UnrolledToFloat, RoundingConversionUnderEveryCallerSetting) {
  const std::vector<Prim32s> src = pool<Prim32s>(3, 300);
  std::vector<float> out(300);
  for (const CallerSetting& c : kCallerSettings) {
    std::vector<float> want(300);
    runUnder(c.mxcsr, [&] {
      for (int i = 0; i < 300; ++i) {
        volatile Prim32s v = src[i];
        want[i] = static_cast<float>(v);
      }
    });
    ASSERT_EQ(runUnder(c.mxcsr, [&] { sse2_ownsConvert_32s32f_Unrolled(src.data(), out.data(), 300); }),
              c.mxcsr)
        << c.name;
    ASSERT_EQ(0, std::memcmp(out.data(), want.data(), sizeof(float) * 300)) << c.name;
  }
  const Prim32s big = 16777217;
  float f;
  sse2_ownsConvert_32s32f_Unrolled(&big, &f, 1);
  EXPECT_EQ(f, 16777216.0f);
}

// x * 2^-sf in extended precision (exact for every 64-bit integer), rounded
// half away from zero, saturated.
Prim32s narrowRef(Prim64s x, int sf) {
  const long double v = std::roundl(std::ldexp(static_cast<long double>(x), -sf));
  return v > 2147483647.0L ? INT32_MAX : (v < -2147483648.0L ? INT32_MIN : static_cast<Prim32s>(v));
}

TEST(Narrow64, EveryScaleFactorAgainstExtendedPrecision) {
  for (int sf :
       {-2147483647 - 1, -70, -64, -63, -33, -32, -31, -1, 0, 1, 2, 15, 31, 32, 33, 62, 63, 64, 65, 66, 200,
        2147483647}) {
    SCOPED_TRACE(sf);
    const int clamped = sf < -200 ? -200 : (sf > 200 ? 200 : sf);
    check<Prim64s, Prim32s>(
        [sf](const Prim64s* s, Prim32s* d, int n) { sse2_ownsConvert_64s32s_Sfs(s, d, n, sf); },
        [clamped](Prim64s x) { return narrowRef(x, clamped); }, true);
  }
}

TEST(Narrow64, ListedValues) {
  const Prim64s in[6] = {3, -3, 0xffffffffLL, INT64_MAX, INT64_MIN, -(Prim64s{1} << 40)};
  Prim32s out[6];
  sse2_ownsConvert_64s32s_Sfs(in, out, 6, 1);
  const Prim32s want[6] = {2, -2, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], want[i]) << in[i];
}

}  // namespace
