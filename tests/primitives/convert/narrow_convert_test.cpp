// Conversions to narrower integers, kernels that no primitive calls: the
// float kernels of every build against the px 32-bit conversion saturated to
// the destination, the double kernels against the exact value in long
// double, the 64-bit integer kernel against exact 128-bit arithmetic; every
// one under every caller MXCSR setting, at every length and alignment, in
// place and inside guard bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/convert/vec_convert.h"
#include "primitives/convert/vec_convert_builds.h"
#include "tests/primitives/convert/convert_support.h"
#include "tests/support/generations.h"

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr int kHalfAway = 2;  // the round mode that selects a HalfAway kernel

// The rule a kernel call applies: the two-mode kernels truncate for 0 and
// round half to even for any other value; kHalfAway runs a HalfAway kernel.
int ruleOf(int mode) { return mode == kHalfAway ? 2 : (mode == 0 ? 0 : 1); }

// ---------------------------------------------------------------------------
// The kernels of one build.

template <class D>
struct FloatPair {
  void (*twoModes)(const Prim32f*, D*, int, int, int);
  void (*halfAway)(const Prim32f*, D*, int, int);
};

struct NarrowBuild {
  FloatPair<std::int8_t> f8s;
  FloatPair<Prim8u> f8u;
  FloatPair<Prim16s> f16s;
  FloatPair<Prim16u> f16u;
  void (*d)(const Prim64f*, Prim32s*, int, int, int);  // null in the avx build
  void (*dHalfAway)(const Prim64f*, Prim32s*, int, int);
  void (*q)(const Prim64s*, Prim32s*, int, int);

  template <class D>
  FloatPair<D> floats() const {
    if constexpr (std::is_same_v<D, std::int8_t>) return f8s;
    if constexpr (std::is_same_v<D, Prim8u>) return f8u;
    if constexpr (std::is_same_v<D, Prim16s>) return f16s;
    if constexpr (std::is_same_v<D, Prim16u>) return f16u;
  }
};

#define NARROW_BUILD(gen, d64)                                                                          \
  NarrowBuild {                                                                                         \
    {gen##_ownsConvert_32f8s_Sfs, gen##_ownsConvert_32f8s_Sfs_HalfAway},                                \
        {gen##_ownsConvert_32f8u_Sfs, gen##_ownsConvert_32f8u_Sfs_HalfAway},                            \
        {gen##_ownsConvert_32f16s_Sfs, gen##_ownsConvert_32f16s_Sfs_HalfAway},                          \
        {gen##_ownsConvert_32f16u_Sfs, gen##_ownsConvert_32f16u_Sfs_HalfAway}, d64,                     \
        gen##_ownsConvert_64f32s_Sfs_HalfAway, gen##_ownsConvert_64s32s_Sfs_HalfAway                    \
  }

// Generations with a build: ssse3 (also the movbe slot), sse41, avx.
NarrowBuild buildOf(std::int32_t g) {
  switch (g) {
    case 2:
      return NARROW_BUILD(ssse3, ssse3_ownsConvert_64f32s_Sfs);
    case 4:
      return NARROW_BUILD(sse41, sse41_ownsConvert_64f32s_Sfs);
    default:
      return NARROW_BUILD(avx, nullptr);
  }
}

class NarrowConvertTest : public GenerationTest {
 protected:
  NarrowBuild build() const { return buildOf(generation()); }
};

// Runs one float kernel: roundMode 0, 1 or any other value to the two-mode
// kernel, kHalfAway to the half-away kernel.
template <class D>
void runFloat(const NarrowBuild& b, const Prim32f* s, D* d, int len, int mode, int sf) {
  if (mode == kHalfAway)
    b.floats<D>().halfAway(s, d, len, sf);
  else
    b.floats<D>().twoModes(s, d, len, mode, sf);
}

void runDouble(const NarrowBuild& b, const Prim64f* s, Prim32s* d, int len, int mode, int sf) {
  if (mode == kHalfAway)
    b.dHalfAway(s, d, len, sf);
  else
    b.d(s, d, len, mode, sf);
}

// ---------------------------------------------------------------------------
// Float sources: expected results are px's 32-bit results saturated.

template <class D>
std::vector<D> expectedFloat(const std::vector<float>& in, int mode, int sf) {
  std::vector<std::int32_t> w(in.size());
  EXPECT_EQ(px_vecConvert_32f32s_Sfs(in.data(), w.data(), static_cast<int>(in.size()), ruleOf(mode), sf), 0);
  std::vector<D> out(in.size());
  constexpr std::int32_t lo = std::numeric_limits<D>::min(), hi = std::numeric_limits<D>::max();
  for (std::size_t i = 0; i < in.size(); ++i) out[i] = static_cast<D>(std::clamp(w[i], lo, hi));
  return out;
}

// Values that land, after scaling by 2^-sf, around the ties, the 8-, 16- and
// 32-bit saturation edges and zero; special values; random ones.
std::vector<float> floatInputs(int sf, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<float> v;
  const int at = sf < -126 || sf > 126 ? 0 : sf;
  for (double y : {0.5,    1.5,     2.5,      -2.5,    0.49999997, -0.49999997, -0.5,     -0.6,
                   126.5,  127.4,   127.5,    128.0,   -128.5,     -128.6,      -129.0,   254.5,
                   255.4,  255.5,   256.0,    32766.5, 32767.4,    32767.5,     32768.0,  -32768.5,
                   -32769.0, 65534.5, 65535.5, 65536.0, 2147483520.0, 2147483648.0, -3.0e9, 1.0e10})
    v.push_back(static_cast<float>(std::ldexp(y, at)));
  for (std::uint32_t b : {0x00000000u, 0x80000000u, 0x7f800000u, 0xff800000u, 0x7fc00000u, 0xffc00000u,
                          0x7f800001u, 0xff812345u, 0x7f7fffffu, 0xff7fffffu, 0x00000001u, 0x807fffffu})
    v.push_back(std::bit_cast<float>(b));
  std::uniform_int_distribution<int> bits(1, 20), quarter(0, 4);
  for (int i = 0; i < 300; ++i) {
    double y = static_cast<double>(static_cast<std::int32_t>(rng()) >> (32 - bits(rng)));
    const int q = quarter(rng);
    if (q < 4) y += 0.25 * q;  // quarters: ties among them
    v.push_back(static_cast<float>(std::ldexp(y, at)));
  }
  for (int i = 0; i < 60; ++i) v.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(rng())));
  return v;
}

const int kFloatModes[] = {0, 1, 7, kHalfAway};

std::vector<int> factors(int lo, int hi, std::initializer_list<int> extremes) {
  std::vector<int> f(extremes);
  for (int sf = lo; sf <= hi; ++sf) f.push_back(sf);
  return f;
}

template <class D>
void checkFloatEverywhere(const NarrowBuild& b) {
  const std::vector<int> sfs =
      factors(-130, 130, {kMin, -100000, -1075, -1024, -200, -150, 149, 150, 151, 1074, 1075, 100000, kMax});
  for (int sf : sfs) {
    const std::vector<float> in = floatInputs(sf, 40 + static_cast<unsigned>(sf));
    const int n = static_cast<int>(in.size());
    for (int mode : kFloatModes) {
      const std::vector<D> want = expectedFloat<D>(in, mode, sf);
      // Every caller setting at a few factors, the default elsewhere.
      const bool all = sf == 0 || sf == 3 || sf == -2 || sf == 127 || sf == -128;
      for (const CallerSetting& c : kCallerSettings) {
        if (!all && c.mxcsr != 0x1f80) continue;
        std::vector<D> got(in.size());
        const std::uint32_t after = runUnder(c.mxcsr, [&] { runFloat(b, in.data(), got.data(), n, mode, sf); });
        ASSERT_EQ(after, c.mxcsr) << "MXCSR changed: " << c.name << " mode " << mode << " sf " << sf;
        for (int i = 0; i < n; ++i)
          ASSERT_EQ(got[i], want[i]) << "x " << in[i] << " (0x" << std::hex << std::bit_cast<std::uint32_t>(in[i])
                                     << std::dec << ") mode " << mode << " sf " << sf << " caller " << c.name;
      }
    }
  }
}

TEST_P(NarrowConvertTest, FloatKernelsGiveThePxRuleSaturated) {
  const NarrowBuild b = build();
  checkFloatEverywhere<std::int8_t>(b);
  checkFloatEverywhere<Prim8u>(b);
  checkFloatEverywhere<Prim16s>(b);
  checkFloatEverywhere<Prim16u>(b);
}

struct Listed {
  float x;
  int mode, sf;
  int want8s, want8u, want16s, want16u;
};
const Listed kListed[] = {
    {0.5f, 1, 0, 0, 0, 0, 0},
    {1.5f, 1, 0, 2, 2, 2, 2},
    {2.5f, 1, 0, 2, 2, 2, 2},
    {-2.5f, 1, 0, -2, 0, -2, 0},
    {127.5f, 1, 0, 127, 128, 128, 128},
    {255.5f, 1, 0, 127, 255, 256, 256},
    {32767.5f, 1, 0, 127, 255, 32767, 32768},
    {65534.5f, 1, 0, 127, 255, 32767, 65534},
    {65535.5f, 1, 0, 127, 255, 32767, 65535},
    {40000.0f, 1, 0, 127, 255, 32767, 40000},
    {-40000.0f, 1, 0, -128, 0, -32768, 0},
    {2.9f, 0, 0, 2, 2, 2, 2},
    {-2.9f, 0, 0, -2, 0, -2, 0},
    {-0.9f, 0, 0, 0, 0, 0, 0},
    {65535.99f, 0, 0, 127, 255, 32767, 65535},
    {2.5f, kHalfAway, 0, 3, 3, 3, 3},
    {-2.5f, kHalfAway, 0, -3, 0, -3, 0},
    {0.4f, kHalfAway, 0, 0, 0, 0, 0},
    {0.49999997f, kHalfAway, 0, 0, 0, 0, 0},  // in every caller rounding mode
    {65534.5f, kHalfAway, 0, 127, 255, 32767, 65535},
    {5.0f, 1, 1, 2, 2, 2, 2},
    {5.0f, 0, 1, 2, 2, 2, 2},
    {5.0f, kHalfAway, 1, 3, 3, 3, 3},
    {40.0f, 1, -2, 127, 160, 160, 160},
    {20.0f, 1, 3, 2, 2, 2, 2},
    {20.0f, kHalfAway, 3, 3, 3, 3, 3},
    {3.0f, 1, -4, 48, 48, 48, 48},
    {1.0f, 1, -16, 127, 255, 32767, 65535},
    {131071.0f, kHalfAway, 1, 127, 255, 32767, 65535},
    {3.0e9f, 0, 0, 127, 255, 32767, 65535},
    {-3.0e9f, kHalfAway, 0, -128, 0, -32768, 0},
    {INFINITY, 1, 0, 127, 255, 32767, 65535},
    {-INFINITY, kHalfAway, 0, -128, 0, -32768, 0},
    {NAN, 1, 0, -128, 0, -32768, 0},
    {-NAN, 0, 0, -128, 0, -32768, 0},
    {NAN, kHalfAway, 0, -128, 0, -32768, 0},
    {5.0f, 1, -128, 127, 255, 32767, 65535},
    {-5.0f, kHalfAway, -128, -128, 0, -32768, 0},
    {0.0f, 0, -128, -128, 0, -32768, 0},  // 0 x infinity is NaN
    {3.0e38f, 1, 127, 2, 2, 2, 2},
};

template <class D>
void checkListed(const NarrowBuild& b, int Listed::*want) {
  for (const Listed& c : kListed) {
    for (const CallerSetting& caller : kCallerSettings) {
      // One element, and a vector of 37 (the steps and the tails).
      std::vector<float> in(37, c.x);
      std::vector<D> got(37);
      runUnder(caller.mxcsr, [&] { runFloat(b, in.data(), got.data(), 1, c.mode, c.sf); });
      ASSERT_EQ(got[0], static_cast<D>(c.*want)) << c.x << " mode " << c.mode << " sf " << c.sf << " " << caller.name;
      runUnder(caller.mxcsr, [&] { runFloat(b, in.data(), got.data(), 37, c.mode, c.sf); });
      for (D g : got) ASSERT_EQ(g, static_cast<D>(c.*want)) << c.x << " mode " << c.mode << " sf " << c.sf;
    }
  }
}

TEST_P(NarrowConvertTest, FloatListedResults) {
  const NarrowBuild b = build();
  checkListed<std::int8_t>(b, &Listed::want8s);
  checkListed<Prim8u>(b, &Listed::want8u);
  checkListed<Prim16s>(b, &Listed::want16s);
  checkListed<Prim16u>(b, &Listed::want16u);
}

// ---------------------------------------------------------------------------
// Lengths, alignments, in place and guard bytes, for every kernel.

// Runs convert(src, dst, len) at every length up to 70 and a few long ones,
// source and destination at byte offsets from 16, and in place; each against
// want(len) and inside guard bytes.
template <class S, class D, class Convert>
void checkBlocking(const std::vector<S>& pool, const std::vector<D>& want, Convert convert, const char* what) {
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
        ASSERT_TRUE(dst.guardsIntact()) << what << " len " << len << " offsets " << so << "/" << dof;
        ASSERT_EQ(0, std::memcmp(dst.window().data(), want.data(), outBytes))
            << what << " len " << len << " offsets " << so << "/" << dof;
      }
      // In place: the results land at the start of the source array.
      Guarded io(inBytes, so);
      io.fill(pool.data());
      convert(io.as<S>(), io.as<D>(), len);
      ASSERT_TRUE(io.guardsIntact()) << what << " in place, len " << len;
      ASSERT_EQ(0, std::memcmp(io.window().data(), want.data(), outBytes)) << what << " in place, len " << len;
    }
  }
}

template <class D>
void checkFloatBlocking(const NarrowBuild& b) {
  std::vector<float> pool = floatInputs(0, 99);
  pool.resize(1000, 3.75f);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> wide(-70000.0f, 70000.0f);
  for (std::size_t i = 400; i < pool.size(); ++i) pool[i] = i % 11 == 0 ? NAN : wide(rng);
  std::shuffle(pool.begin(), pool.end(), rng);
  const int modeFactor[][2] = {{1, 0}, {0, 0}, {kHalfAway, 0}, {1, 3}, {0, -5}, {kHalfAway, 2}, {1, 140}};
  for (const auto& mf : modeFactor) {
    const std::vector<D> want = expectedFloat<D>(pool, mf[0], mf[1]);
    checkBlocking(pool, want, [&](const float* s, D* d, int len) { runFloat(b, s, d, len, mf[0], mf[1]); },
                  "float");
  }
}

TEST_P(NarrowConvertTest, FloatEveryLengthAlignmentAndInPlace) {
  const NarrowBuild b = build();
  checkFloatBlocking<std::int8_t>(b);
  checkFloatBlocking<Prim8u>(b);
  checkFloatBlocking<Prim16s>(b);
  checkFloatBlocking<Prim16u>(b);
}

// ---------------------------------------------------------------------------
// Double sources: the exact value x * m in long double, m the generic rule's
// multiplier (a double 2^-sf under roundMode 1, a float one otherwise), then
// rounded and saturated; NaN and 0 x infinity give -2^31.

std::int32_t referenceDouble(double x, int mode, int sf) {
  mode = ruleOf(mode);
  if (std::isnan(x)) return kMin;
  long double p = x;
  if (sf != 0) {
    const bool nearest = mode == 1;
    if (nearest ? sf >= 1075 : sf >= 150) return std::isinf(x) ? kMin : 0;
    if (nearest ? sf <= -1024 : sf <= -128) return x == 0 ? kMin : (x > 0 ? kMax : kMin);
    p = std::ldexp(p, -sf);
  }
  if (std::isinf(p)) return p > 0 ? kMax : kMin;
  long double t = std::trunc(p);
  const long double f = p - t;
  const bool odd = std::fmod(t, 2.0L) != 0;
  if (mode == 1) {
    if (f > 0.5L || (f == 0.5L && odd)) t += 1;
    if (f < -0.5L || (f == -0.5L && odd)) t -= 1;
  } else if (mode != 0) {
    if (f >= 0.5L) t += 1;
    if (f <= -0.5L) t -= 1;
  }
  return t >= 2147483648.0L ? kMax : (t < -2147483648.0L ? kMin : static_cast<std::int32_t>(t));
}

std::vector<double> doubleInputs(int sf, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::vector<double> v;
  const int at = sf < -1000 || sf > 1000 ? 0 : sf;
  for (double y : {0.5, 1.5, 2.5, -2.5, 0.49999999999999994, -0.49999999999999994, 0.5000000000000001,
                   2147483647.0, 2147483647.4, 2147483647.5, 2147483647.6, 2147483600.0, 2147483648.0,
                   -2147483648.0, -2147483648.4, -2147483648.5, -2147483648.6, -2147483649.0, 4503599627370497.0,
                   1.0e300, -1.0e300})
    v.push_back(std::ldexp(y, at));
  for (std::uint64_t b : {0x0ull, 0x8000000000000000ull, 0x7ff0000000000000ull, 0xfff0000000000000ull,
                          0x7ff8000000000000ull, 0xfff8000000000000ull, 0x7ff0000000000001ull, 0x7ff0000100000000ull,
                          0x0000000000000001ull, 0x800fffffffffffffull, 0x7fefffffffffffffull})
    v.push_back(std::bit_cast<double>(b));
  std::uniform_int_distribution<int> bits(1, 34), quarter(0, 4);
  for (int i = 0; i < 200; ++i) {
    double y = static_cast<double>(static_cast<std::int64_t>(rng()) >> (64 - bits(rng)));
    const int q = quarter(rng);
    if (q < 4) y += 0.25 * q;
    v.push_back(std::ldexp(y, at));
  }
  for (int i = 0; i < 40; ++i) v.push_back(std::bit_cast<double>(rng()));
  return v;
}

TEST_P(NarrowConvertTest, DoubleKernelsGiveTheExactRoundedValue) {
  const NarrowBuild b = build();
  const std::vector<int> sfs = factors(-140, 140, {kMin, -2000, -1075, -1074, -1024, -1023, -1022, -1000, -300, 1000,
                                                   1022, 1023, 1024, 1074, 1075, 1076, 2000, kMax});
  for (int sf : sfs) {
    const std::vector<double> in = doubleInputs(sf, 7 + static_cast<unsigned>(sf));
    const int n = static_cast<int>(in.size());
    for (int mode : {0, 1, -3, kHalfAway}) {
      if (!b.d && mode != kHalfAway) continue;
      const bool all = sf == 0 || sf == 5 || sf == -1024;
      for (const CallerSetting& c : kCallerSettings) {
        if (!all && c.mxcsr != 0x1f80) continue;
        std::vector<std::int32_t> got(in.size());
        const std::uint32_t after = runUnder(c.mxcsr, [&] { runDouble(b, in.data(), got.data(), n, mode, sf); });
        ASSERT_EQ(after, c.mxcsr) << "MXCSR changed: " << c.name << " mode " << mode << " sf " << sf;
        for (int i = 0; i < n; ++i)
          ASSERT_EQ(got[i], referenceDouble(in[i], mode, sf))
              << "x " << in[i] << " (0x" << std::hex << std::bit_cast<std::uint64_t>(in[i]) << std::dec << ") mode "
              << mode << " sf " << sf << " caller " << c.name;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// 64-bit integer sources: x / 2^sf rounded half away from zero in 128-bit
// arithmetic, then saturated.

std::int32_t referenceLong(std::int64_t x, int sf) {
  __int128 v = x;
  if (sf <= 0) {
    if (sf < -40) return x == 0 ? 0 : (x > 0 ? kMax : kMin);
    v *= static_cast<__int128>(1) << -sf;
  } else if (sf > 100) {
    v = 0;
  } else {
    const __int128 a = v < 0 ? -v : v;
    const __int128 r = (a + (static_cast<__int128>(1) << (sf - 1))) >> sf;
    v = x < 0 ? -r : r;
  }
  return v > kMax ? kMax : (v < kMin ? kMin : static_cast<std::int32_t>(v));
}

std::vector<std::int64_t> longInputs(int sf, unsigned seed) {
  std::mt19937_64 rng(seed);
  constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max(), kMin64 = std::numeric_limits<std::int64_t>::min();
  std::vector<std::int64_t> v = {0, 1, -1, 3, -3, kMax64, kMin64, kMin64 + 1, 0xffffffffLL, 1LL << 32, -(1LL << 40),
                                 kMax, kMin, 4294967295LL * 2};
  // Ties and their neighbours at this factor, around the 32-bit edges too.
  if (sf >= 1 && sf <= 62) {
    const std::int64_t unit = std::int64_t{1} << sf, half = unit / 2;
    for (std::int64_t k : {std::int64_t{0}, std::int64_t{1}, std::int64_t{2}, std::int64_t{kMax}, std::int64_t{kMin},
                           std::int64_t{kMax} - 1})
      for (std::int64_t d : {-half - 1, -half, -half + 1, half - 1, half, half + 1}) {
        if (k > (kMax64 - unit) / unit || k < (kMin64 + unit) / unit) continue;
        const std::int64_t t = k * unit + d;
        v.push_back(t);
        v.push_back(static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(t)));
      }
  }
  std::uniform_int_distribution<int> shift(0, 63);
  for (int i = 0; i < 300; ++i) v.push_back(static_cast<std::int64_t>(rng()) >> shift(rng));
  return v;
}

TEST_P(NarrowConvertTest, LongKernelRoundsHalfAwayAndSaturates) {
  const NarrowBuild b = build();
  for (int sf : factors(-40, 70, {kMin, -1000, -64, -33, -32, 100, 1000, kMax})) {
    const std::vector<std::int64_t> in = longInputs(sf, 11 + static_cast<unsigned>(sf));
    std::vector<std::int32_t> got(in.size());
    b.q(in.data(), got.data(), static_cast<int>(in.size()), sf);
    for (std::size_t i = 0; i < in.size(); ++i) ASSERT_EQ(got[i], referenceLong(in[i], sf)) << in[i] << " sf " << sf;
  }
  const std::int64_t listed[] = {3, -3, 1, -1, 0xffffffffLL};
  const std::int32_t want[] = {2, -2, 1, -1, kMax};
  std::int32_t r[5];
  b.q(listed, r, 5, 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(r[i], want[i]) << listed[i];
}

TEST_P(NarrowConvertTest, DoubleAndLongEveryLengthAlignmentAndInPlace) {
  const NarrowBuild b = build();
  std::vector<double> dpool = doubleInputs(0, 3);
  dpool.resize(1000, -7.5);
  std::shuffle(dpool.begin(), dpool.end(), std::mt19937(8));
  for (int mode : {1, 0, kHalfAway}) {
    if (!b.d && mode != kHalfAway) continue;
    for (int sf : {0, -3}) {
      std::vector<std::int32_t> want(dpool.size());
      for (std::size_t i = 0; i < dpool.size(); ++i) want[i] = referenceDouble(dpool[i], mode, sf);
      checkBlocking(dpool, want, [&](const double* s, std::int32_t* d, int len) { runDouble(b, s, d, len, mode, sf); },
                    "double");
    }
  }
  std::vector<std::int64_t> qpool = longInputs(7, 4);
  qpool.resize(1000, -12345678901LL);
  std::shuffle(qpool.begin(), qpool.end(), std::mt19937(9));
  for (int sf : {7, 32, 0}) {
    std::vector<std::int32_t> want(qpool.size());
    for (std::size_t i = 0; i < qpool.size(); ++i) want[i] = referenceLong(qpool[i], sf);
    checkBlocking(qpool, want, [&](const std::int64_t* s, std::int32_t* d, int len) { b.q(s, d, len, sf); }, "64-bit");
  }
}

INSTANTIATE_TEST_SUITE_P(NarrowBuilds, NarrowConvertTest, ::testing::Values(2, 4, 5),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

}  // namespace
