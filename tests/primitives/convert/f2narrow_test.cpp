// Float and double to narrower integer kernels of the sse2 build against an
// extended-precision reference: every rounding rule, scale factors across
// and beyond the exact range, saturation edges, NaN and infinities, every
// caller control setting, lengths, destination offsets and guard bytes.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/convert/vec_convert_builds.h"
#include "tests/primitives/convert/walk_support.h"

namespace {

// The rule: x * 2^-sf (an exact multiplier for nearest-even, a
// single-precision one otherwise: 0 from 150 on, infinity from -128 down),
// NaN to the minimum, limits beyond the range, then rounding.
template <class D, class S>
D reference(S x, int mode, int sf) {
  const long double lo = std::numeric_limits<D>::min(), hi = std::numeric_limits<D>::max();
  const int e = sf < -2000 ? -2000 : (sf > 2000 ? 2000 : sf);
  const long double m = mode == 1 ? static_cast<long double>(std::ldexp(1.0, -e))
                                  : static_cast<long double>(std::ldexp(1.0f, -e));
  const long double p = sf == 0 ? static_cast<long double>(x) : static_cast<long double>(x) * m;
  if (std::isnan(p) || p <= lo) return static_cast<D>(lo);
  if (p >= hi) return static_cast<D>(hi);
  const long double r = mode == 0 ? std::truncl(p) : (mode == 1 ? std::nearbyintl(p) : std::roundl(p));
  return static_cast<D>(r < lo ? lo : (r > hi ? hi : r));
}

template <class S>
std::vector<S> pool() {
  std::vector<S> v;
  const S inf = std::numeric_limits<S>::infinity(), nan = std::numeric_limits<S>::quiet_NaN();
  for (S x : {S(0),
              S(0.5),
              S(1.5),
              S(2.5),
              S(0.49999997f),
              S(0.49999999999999994),
              S(126.5),
              S(127.5),
              S(127.6),
              S(128),
              S(254.5),
              S(255.5),
              S(256),
              S(32766.5),
              S(32767.5),
              S(32768),
              S(65534.5),
              S(65535.5),
              S(65536),
              S(2147483520.0f),
              S(2147483647.4),
              S(2147483647.5),
              S(2147483648.0),
              S(3e9),
              S(1e30),
              inf,
              nan,
              std::numeric_limits<S>::denorm_min(),
              std::numeric_limits<S>::max()})
    v.push_back(x), v.push_back(-x);
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> wide(-70000.0, 70000.0), narrow(-300.0, 300.0);
  for (int i = 0; i < 400; ++i) v.push_back(static_cast<S>(i % 2 ? wide(rng) : narrow(rng)));
  for (int i = 0; i < 100; ++i) v.push_back(static_cast<S>(std::round(narrow(rng) * 2) / 2));  // ties
  return v;
}

template <class S, class D>
struct Kernels {
  void (*two)(const S*, D*, int, int, int);
  void (*halfAway)(const S*, D*, int, int);
  void run(const S* s, D* d, int len, int mode, int sf) const {
    if (mode == 2)
      halfAway(s, d, len, sf);
    else
      two(s, d, len, mode, sf);
  }
};

template <class S, class D>
void checkKernels(const Kernels<S, D>& k) {
  const std::vector<S> src = pool<S>();
  const int n = static_cast<int>(src.size());
  std::vector<D> out(n);
  for (int sf : {-2147483647 - 1, -200, -128, -127, -126, -30, -2, -1, 0, 1, 3, 17, 126, 127, 149, 150, 1000,
                 2147483647}) {
    for (int mode : {0, 1, 2}) {
      for (const CallerSetting& c : kCallerSettings) {
        ASSERT_EQ(runUnder(c.mxcsr, [&] { k.run(src.data(), out.data(), n, mode, sf); }), c.mxcsr) << c.name;
        for (int i = 0; i < n; ++i)
          ASSERT_EQ(out[i], reference<D>(src[i], mode, sf))
              << "x " << src[i] << " mode " << mode << " sf " << sf << " under " << c.name;
      }
    }
  }
  std::vector<D> want(n);
  for (int i = 0; i < n; ++i) want[i] = reference<D>(src[i], 1, 0);
  checkWalks(src, want, sweepLengths(40, {69}), [&](const S* s, D* d, int len) { k.run(s, d, len, 1, 0); });
}

TEST(FloatToNarrowSse2, To8s) {
  checkKernels<Prim32f, std::int8_t>({sse2_ownsConvert_32f8s_Sfs, sse2_ownsConvert_32f8s_HalfAway_Sfs});
}
TEST(FloatToNarrowSse2, To8u) {
  checkKernels<Prim32f, Prim8u>({sse2_ownsConvert_32f8u_Sfs, sse2_ownsConvert_32f8u_HalfAway_Sfs});
}
TEST(FloatToNarrowSse2, To16s) {
  checkKernels<Prim32f, Prim16s>({sse2_ownsConvert_32f16s_Sfs, sse2_ownsConvert_32f16s_HalfAway_Sfs});
}
TEST(FloatToNarrowSse2, To16u) {
  checkKernels<Prim32f, Prim16u>({sse2_ownsConvert_32f16u_Sfs, sse2_ownsConvert_32f16u_HalfAway_Sfs});
}
TEST(FloatToNarrowSse2, DoubleTo32s) {
  checkKernels<Prim64f, Prim32s>({sse2_ownsConvert_64f32s_Sfs, sse2_ownsConvert_64f32s_HalfAway_Sfs});
}

// A NaN of either sign gives the minimum of every destination.
TEST(FloatToNarrowSse2, NanGivesTheMinimum) {
  const float nans[2] = {NAN, -NAN};
  std::int8_t s8[2];
  Prim16u u16[2];
  sse2_ownsConvert_32f8s_HalfAway_Sfs(nans, s8, 2, 0);
  sse2_ownsConvert_32f16u_Sfs(nans, u16, 2, 1, 0);
  EXPECT_EQ(s8[0], -128);
  EXPECT_EQ(s8[1], -128);
  EXPECT_EQ(u16[0] | u16[1], 0);
}

}  // namespace
