// Conversions to narrower integers, kernels that no primitive calls: every
// build against the exact rule (long double for float and double sources,
// 128-bit integers for 64-bit ones) under every caller MXCSR setting, at
// every length and alignment, in place and inside guard bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/convert/vec_convert_builds.h"
#include "tests/primitives/convert/convert_support.h"
#include "tests/support/generations.h"

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr int kHalfAway = 2;  // runs a HalfAway kernel; 0, 1 and others a two-mode kernel

template <class S, class D>
struct Pair {
  void (*twoModes)(const S*, D*, int, int, int);  // null: no such kernel in the build
  void (*halfAway)(const S*, D*, int, int);
  void operator()(const S* s, D* d, int len, int mode, int sf) const {
    mode == kHalfAway ? halfAway(s, d, len, sf) : twoModes(s, d, len, mode, sf);
  }
};

struct NarrowBuild {
  Pair<Prim32f, std::int8_t> f8s;
  Pair<Prim32f, Prim8u> f8u;
  Pair<Prim32f, Prim16s> f16s;
  Pair<Prim32f, Prim16u> f16u;
  Pair<Prim64f, Prim32s> d32s;
  void (*q32s)(const Prim64s*, Prim32s*, int, int);
};

#define NARROW_PAIR(gen, name) \
  { gen##_ownsConvert_##name##_Sfs, gen##_ownsConvert_##name##_Sfs_HalfAway }
#define NARROW_BUILD(gen, d64)                                                                            \
  NarrowBuild {                                                                                           \
    NARROW_PAIR(gen, 32f8s), NARROW_PAIR(gen, 32f8u), NARROW_PAIR(gen, 32f16s), NARROW_PAIR(gen, 32f16u), \
        {d64, gen##_ownsConvert_64f32s_Sfs_HalfAway}, gen##_ownsConvert_64s32s_Sfs_HalfAway               \
  }

// ssse3 (also the movbe slot), sse41 and avx carry these kernels.
class NarrowConvertTest : public GenerationTest {
 protected:
  NarrowBuild build() const {
    if (generation() == 2) return NARROW_BUILD(ssse3, ssse3_ownsConvert_64f32s_Sfs);
    if (generation() == 4) return NARROW_BUILD(sse41, sse41_ownsConvert_64f32s_Sfs);
    return NARROW_BUILD(avx, nullptr);
  }
};

// ---------------------------------------------------------------------------
// Float and double sources.  The rule: x * m exactly, m = 2^-sf as a double
// under nearest-even (0 from sf 1075 on, infinite from -1024 down) and as a
// float under the other modes (0 from 150 on, infinite from -128 down); NaN
// and 0 x infinity give the minimum; rounded, then saturated to D.
template <class D>
D rule(long double x, int mode, int sf) {
  const int r = mode == kHalfAway ? 2 : (mode == 0 ? 0 : 1);
  constexpr long double lo = std::numeric_limits<D>::min(), hi = std::numeric_limits<D>::max();
  if (std::isnan(x)) return static_cast<D>(lo);
  if (sf != 0) {
    if (r == 1 ? sf >= 1075 : sf >= 150) return static_cast<D>(std::isinf(x) ? lo : 0);
    if (r == 1 ? sf <= -1024 : sf <= -128) return static_cast<D>(x > 0 ? hi : lo);
    x = std::ldexp(x, -sf);
  }
  x = std::clamp(x, lo - 2, hi + 2);
  long double t = std::trunc(x);
  const long double f = x - t;  // exact
  const bool odd = std::fmod(t, 2.0L) != 0;
  if (r == 1 && (f > 0.5L || (f == 0.5L && odd))) t += 1;
  if (r == 1 && (f < -0.5L || (f == -0.5L && odd))) t -= 1;
  if (r == 2 && f >= 0.5L) t += 1;
  if (r == 2 && f <= -0.5L) t -= 1;
  return static_cast<D>(std::clamp(t, lo, hi));
}

// Values that land, after scaling, on and around ties, the 8-, 16- and
// 32-bit saturation edges and zero; special values; random ones.
template <class S>
std::vector<S> inputs(int sf, unsigned seed) {
  using L = std::numeric_limits<S>;
  std::mt19937_64 rng(seed);
  const int at = std::abs(sf) > L::max_exponent - 2 ? 0 : sf;
  std::vector<S> v;
  for (double y : {0.5,          1.5,          2.5,           -2.5,          -0.5,         -0.6,
                   126.5,        127.5,        128.0,         -128.5,        -129.0,       254.5,
                   255.5,        256.0,        32766.5,       32767.5,       32768.0,      -32768.5,
                   -32769.0,     65534.5,      65535.5,       65536.0,       2147483520.0, 2147483647.4,
                   2147483647.5, 2147483648.0, -2147483648.5, -2147483649.0, -3.0e9,       1.0e10})
    v.push_back(static_cast<S>(std::ldexp(y, at)));
  const S half = std::nextafter(S(0.5), S(0));  // the largest value below one half
  for (S x : {half, -half, S(0), -S(0), L::infinity(), -L::infinity(), L::quiet_NaN(), -L::quiet_NaN(),
              L::signaling_NaN(), L::denorm_min(), -L::denorm_min(), L::max(), L::lowest()})
    v.push_back(x);
  std::uniform_int_distribution<int> bits(1, 34), quarter(0, 4);
  for (int i = 0; i < 250; ++i) {
    double y = static_cast<double>(static_cast<std::int64_t>(rng()) >> (64 - bits(rng)));
    if (int q = quarter(rng); q < 4) y += 0.25 * q;  // quarters: ties among them
    v.push_back(static_cast<S>(std::ldexp(y, at)));
  }
  for (int i = 0; i < 50; ++i) {
    const std::uint64_t b = rng();
    S x;
    std::memcpy(&x, &b, sizeof(S));
    v.push_back(x);
  }
  return v;
}

// Every factor from -130 to 130 and the extremes, every mode, and every
// caller setting at a few factors: results and the caller's MXCSR.
template <class S, class D>
void checkRule(const Pair<S, D>& kernel) {
  std::vector<int> sfs = {kMin, -100000, -1075, -1024, -1023, -200, 149, 150, 1022, 1074, 1075, 100000, kMax};
  for (int sf = -130; sf <= 130; ++sf) sfs.push_back(sf);
  for (int sf : sfs) {
    const std::vector<S> in = inputs<S>(sf, 40 + static_cast<unsigned>(sf));
    const int n = static_cast<int>(in.size());
    for (int mode : {0, 1, 7, kHalfAway}) {
      if (!kernel.twoModes && mode != kHalfAway) continue;
      const bool all = sf == 0 || sf == 3 || sf == -2 || sf == 127 || sf == -128 || sf == -1024;
      for (const CallerSetting& c : kCallerSettings) {
        if (!all && c.mxcsr != 0x1f80) continue;
        std::vector<D> got(in.size());
        const std::uint32_t after = runUnder(c.mxcsr, [&] { kernel(in.data(), got.data(), n, mode, sf); });
        ASSERT_EQ(after, c.mxcsr) << "MXCSR changed: " << c.name << " mode " << mode << " sf " << sf;
        for (int i = 0; i < n; ++i)
          ASSERT_EQ(got[i], rule<D>(in[i], mode, sf))
              << "x " << in[i] << " mode " << mode << " sf " << sf << " caller " << c.name;
      }
    }
  }
}

TEST_P(NarrowConvertTest, FloatAndDoubleKernelsFollowTheRule) {
  const NarrowBuild b = build();
  checkRule(b.f8s);
  checkRule(b.f8u);
  checkRule(b.f16s);
  checkRule(b.f16u);
  checkRule(b.d32s);
}

TEST_P(NarrowConvertTest, FloatListedResults) {
  struct Case {
    float x;
    int mode, sf, want[4];  // 8s, 8u, 16s, 16u
  };
  const Case cases[] = {{2.5f, 1, 0, {2, 2, 2, 2}},
                        {-2.5f, 1, 0, {-2, 0, -2, 0}},
                        {-2.9f, 0, 0, {-2, 0, -2, 0}},
                        {-2.5f, kHalfAway, 0, {-3, 0, -3, 0}},
                        {0.49999997f, kHalfAway, 0, {0, 0, 0, 0}},  // under every caller rounding mode
                        {65535.5f, 1, 0, {127, 255, 32767, 65535}},
                        {-40000.0f, 1, 0, {-128, 0, -32768, 0}},
                        {5.0f, kHalfAway, 1, {3, 3, 3, 3}},
                        {40.0f, 1, -2, {127, 160, 160, 160}},
                        {INFINITY, 0, 0, {127, 255, 32767, 65535}},
                        {-NAN, kHalfAway, 0, {-128, 0, -32768, 0}},
                        {0.0f, 0, -128, {-128, 0, -32768, 0}}};  // 0 x infinity is NaN
  const NarrowBuild b = build();
  for (const Case& c : cases) {
    for (const CallerSetting& caller : kCallerSettings) {
      std::int8_t r8s;
      Prim8u r8u;
      Prim16s r16s;
      Prim16u r16u;
      runUnder(caller.mxcsr, [&] {
        b.f8s(&c.x, &r8s, 1, c.mode, c.sf);
        b.f8u(&c.x, &r8u, 1, c.mode, c.sf);
        b.f16s(&c.x, &r16s, 1, c.mode, c.sf);
        b.f16u(&c.x, &r16u, 1, c.mode, c.sf);
      });
      EXPECT_EQ((std::vector<int>{r8s, r8u, r16s, r16u}), std::vector<int>(c.want, c.want + 4))
          << c.x << " mode " << c.mode << " sf " << c.sf << " caller " << caller.name;
    }
  }
}

// ---------------------------------------------------------------------------
// 64-bit integer sources: x / 2^sf rounded half away from zero in 128-bit
// arithmetic, then saturated.
std::int32_t ruleLong(std::int64_t x, int sf) {
  __int128 v = x;
  if (sf < -40) return x == 0 ? 0 : (x > 0 ? kMax : kMin);
  if (sf <= 0) {
    v *= static_cast<__int128>(1) << -sf;
  } else {
    const __int128 a = v < 0 ? -v : v;
    const __int128 r = sf > 100 ? 0 : (a + (static_cast<__int128>(1) << (sf - 1))) >> sf;
    v = x < 0 ? -r : r;
  }
  return static_cast<std::int32_t>(std::clamp<__int128>(v, kMin, kMax));
}

// Ties and their neighbours at the factor, around 0 and the 32-bit edges,
// the 64-bit extremes and random values.
std::vector<std::int64_t> longInputs(int sf, unsigned seed) {
  using L = std::numeric_limits<std::int64_t>;
  std::vector<std::int64_t> v = {0, 1, -1, 3, -3, L::max(), L::min(), L::min() + 1, 0xffffffffLL, 1LL << 32};
  for (std::int64_t k : {0LL, 1LL, 2LL, 2147483646LL, 2147483647LL, -2147483648LL, 1LL << 40}) {
    if (sf < 1 || sf > 62 || std::abs(k) > (L::max() >> sf) - 1) continue;
    const std::int64_t half = std::int64_t{1} << (sf - 1), t = k * (half << 1);
    for (std::int64_t d : {-half - 1, -half, -half + 1, half - 1, half, half + 1})
      v.push_back(t + d), v.push_back(-(t + d));
  }
  std::mt19937_64 rng(seed);
  for (int i = 0; i < 300; ++i) v.push_back(static_cast<std::int64_t>(rng()) >> (i % 64));
  return v;
}

TEST_P(NarrowConvertTest, LongKernelRoundsHalfAwayAndSaturates) {
  const NarrowBuild b = build();
  std::vector<int> sfs = {kMin, -1000, 100, 1000, kMax};
  for (int sf = -40; sf <= 70; ++sf) sfs.push_back(sf);
  for (int sf : sfs) {
    const std::vector<std::int64_t> in = longInputs(sf, 11 + static_cast<unsigned>(sf));
    std::vector<std::int32_t> got(in.size());
    b.q32s(in.data(), got.data(), static_cast<int>(in.size()), sf);
    for (std::size_t i = 0; i < in.size(); ++i)
      ASSERT_EQ(got[i], ruleLong(in[i], sf)) << in[i] << " sf " << sf;
  }
}

// ---------------------------------------------------------------------------
// Lengths 1 to 70 and a few long ones, source and destination at byte
// offsets within 16, and in place (results at the start of the source
// array); each against the rule and inside guard bytes.
template <class S, class D, class Convert, class Want>
void checkBlocking(const std::vector<S>& pool, Convert convert, Want want) {
  std::vector<D> expect(pool.size());
  std::transform(pool.begin(), pool.end(), expect.begin(), want);
  std::vector<int> lengths;
  for (int len = 1; len <= 70; ++len) lengths.push_back(len);
  for (int len : {255, 256, 257, 1000}) lengths.push_back(len);
  for (int len : lengths) {
    const std::size_t inBytes = std::size_t(len) * sizeof(S), outBytes = std::size_t(len) * sizeof(D);
    for (std::size_t so : {0, 4, 8, 12, 1}) {
      for (std::size_t dof = 0; dof < 16; ++dof) {
        if (len > 70 && dof % 4 != 0 && dof != 1) continue;
        Guarded src(inBytes, so), dst(outBytes, dof);
        src.fill(pool.data());
        convert(src.as<S>(), dst.as<D>(), len);
        ASSERT_TRUE(dst.guardsIntact()) << "len " << len << " offsets " << so << "/" << dof;
        ASSERT_EQ(0, std::memcmp(dst.window().data(), expect.data(), outBytes))
            << "len " << len << " offsets " << so << "/" << dof;
      }
      Guarded io(inBytes, so);
      io.fill(pool.data());
      convert(io.as<S>(), io.as<D>(), len);
      ASSERT_TRUE(io.guardsIntact()) << "in place, len " << len;
      ASSERT_EQ(0, std::memcmp(io.window().data(), expect.data(), outBytes)) << "in place, len " << len;
    }
  }
}

template <class S, class D>
void checkBlocking(const Pair<S, D>& kernel) {
  std::vector<S> pool = inputs<S>(0, 99);
  pool.resize(1000, S(-7.5));
  std::shuffle(pool.begin(), pool.end(), std::mt19937(5));
  const std::pair<int, int> modeFactor[] = {{1, 0}, {0, -5}, {kHalfAway, 2}, {1, 140}};
  for (const auto& mf : modeFactor) {
    const int mode = mf.first, sf = mf.second;
    if (!kernel.twoModes && mode != kHalfAway) continue;
    checkBlocking<S, D>(
        pool, [&](const S* s, D* d, int len) { kernel(s, d, len, mode, sf); },
        [&](S x) { return rule<D>(x, mode, sf); });
  }
}

TEST_P(NarrowConvertTest, EveryLengthAlignmentAndInPlace) {
  const NarrowBuild b = build();
  checkBlocking(b.f8s);
  checkBlocking(b.f8u);
  checkBlocking(b.f16s);
  checkBlocking(b.f16u);
  checkBlocking(b.d32s);
  std::vector<std::int64_t> pool = longInputs(7, 4);
  pool.resize(1000, -12345678901LL);
  std::shuffle(pool.begin(), pool.end(), std::mt19937(9));
  for (int sf : {7, 32, 0})
    checkBlocking<std::int64_t, std::int32_t>(
        pool, [&](const std::int64_t* s, std::int32_t* d, int len) { b.q32s(s, d, len, sf); },
        [&](std::int64_t x) { return ruleLong(x, sf); });
}

TEST_P(NarrowConvertTest, NothingWrittenForLengthsBelowOne) {
  const NarrowBuild b = build();
  Guarded src(64, 0);
  src.fill(std::vector<unsigned char>(64, 0x41).data());
  for (int len : {0, -1, -100}) {
    Guarded dst(0, 4);
    for (int sf : {3, 200}) {
      for (int mode : {0, 1, kHalfAway}) {
        b.f8s(src.as<float>(), dst.as<std::int8_t>(), len, mode, sf);
        b.f8u(src.as<float>(), dst.as<Prim8u>(), len, mode, sf);
        b.f16s(src.as<float>(), dst.as<Prim16s>(), len, mode, sf);
        b.f16u(src.as<float>(), dst.as<Prim16u>(), len, mode, sf);
        if (b.d32s.twoModes || mode == kHalfAway) b.d32s(src.as<double>(), dst.as<Prim32s>(), len, mode, sf);
      }
      b.q32s(src.as<std::int64_t>(), dst.as<Prim32s>(), len, sf);
    }
    ASSERT_TRUE(dst.guardsIntact()) << "len " << len;
  }
}

INSTANTIATE_TEST_SUITE_P(NarrowBuilds, NarrowConvertTest, ::testing::Values(2, 4, 5),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

}  // namespace
