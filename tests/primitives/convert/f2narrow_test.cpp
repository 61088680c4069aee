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

#include "primitives/convert/vec_f2narrow_builds.h"
#include "tests/primitives/convert/convert_support.h"

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
  for (S x : {S(0), S(0.5), S(1.5), S(2.5), S(0.49999997f), S(0.49999999999999994), S(126.5), S(127.5), S(127.6),
              S(128), S(254.5), S(255.5), S(256), S(32766.5), S(32767.5), S(32768), S(65534.5), S(65535.5), S(65536),
              S(2147483520.0f), S(2147483647.4), S(2147483647.5), S(2147483648.0), S(3e9), S(1e30), inf, nan,
              std::numeric_limits<S>::denorm_min(), std::numeric_limits<S>::max()})
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
  // Every length to 40 and a few longer, every destination offset, guards.
  for (int len = 1; len <= 70; len += (len < 40 ? 1 : 29)) {
    std::vector<D> want(len);
    for (int i = 0; i < len; ++i) want[i] = reference<D>(src[i], 1, 0);
    for (std::size_t so : {0, 4, 8}) {
      for (std::size_t dof = 0; dof < 16; ++dof) {
        Guarded s(len * sizeof(S), so), d(len * sizeof(D), dof);
        s.fill(src.data());
        k.run(s.as<S>(), d.as<D>(), len, 1, 0);
        ASSERT_TRUE(d.guardsIntact()) << "len " << len << " dst offset " << dof;
        ASSERT_EQ(0, std::memcmp(d.window().data(), want.data(), len * sizeof(D)))
            << "len " << len << " offsets " << so << "/" << dof;
      }
    }
  }
}

TEST(FloatToNarrowSse2, To8s) { checkKernels<Prim32f, std::int8_t>({sse2_ownsConvert_32f8s_Sfs, sse2_ownsConvert_32f8s_HalfAway_Sfs}); }
TEST(FloatToNarrowSse2, To8u) { checkKernels<Prim32f, Prim8u>({sse2_ownsConvert_32f8u_Sfs, sse2_ownsConvert_32f8u_HalfAway_Sfs}); }
TEST(FloatToNarrowSse2, To16s) {
  checkKernels<Prim32f, Prim16s>({sse2_ownsConvert_32f16s_Sfs, sse2_ownsConvert_32f16s_HalfAway_Sfs});
}
TEST(FloatToNarrowSse2, To16u) {
  checkKernels<Prim32f, Prim16u>({sse2_ownsConvert_32f16u_Sfs, sse2_ownsConvert_32f16u_HalfAway_Sfs});
}
TEST(FloatToNarrowSse2, DoubleTo32s) {
  checkKernels<Prim64f, Prim32s>({sse2_ownsConvert_64f32s_Sfs, sse2_ownsConvert_64f32s_HalfAway_Sfs});
}

TEST(FloatToNarrowSse2, ListedValues) {
  auto to8s = [](float x, int mode, int sf = 0) {
    std::int8_t r;
    if (mode == 2)
      sse2_ownsConvert_32f8s_HalfAway_Sfs(&x, &r, 1, sf);
    else
      sse2_ownsConvert_32f8s_Sfs(&x, &r, 1, mode, sf);
    return int{r};
  };
  EXPECT_EQ(to8s(126.5f, 1), 126);
  EXPECT_EQ(to8s(127.6f, 1), 127);
  EXPECT_EQ(to8s(-200.0f, 1), -128);
  EXPECT_EQ(to8s(NAN, 1), -128);  // NaN gives the minimum
  EXPECT_EQ(to8s(-1.9f, 0), -1);
  EXPECT_EQ(to8s(5.0f, 2, 1), 3);
  EXPECT_EQ(to8s(0.49999997f, 2), 0);
  float x = 40.0f;
  Prim8u u;
  sse2_ownsConvert_32f8u_Sfs(&x, &u, 1, 1, -2);
  EXPECT_EQ(u, 160);
  for (float v : {-3.0f, 70000.0f, 3.0e9f}) {
    Prim16u w;
    sse2_ownsConvert_32f16u_Sfs(&v, &w, 1, 1, 0);
    EXPECT_EQ(w, v < 0 ? 0 : 65535) << v;
  }
  Prim16s h;
  x = -2.5f;
  sse2_ownsConvert_32f16s_HalfAway_Sfs(&x, &h, 1, 0);
  EXPECT_EQ(h, -3);
  const double big = 2147483647.4;
  Prim32s i;
  sse2_ownsConvert_64f32s_Sfs(&big, &i, 1, 1, 0);
  EXPECT_EQ(i, 2147483647);
}

}  // namespace
