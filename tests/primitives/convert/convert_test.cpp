// Float to 32-bit integer and 32-bit integer to float conversions: the px
// build against a reference written here in long double, every other build
// against px bit for bit under every caller MXCSR setting, and the caller's
// MXCSR untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
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

float bitsToFloat(std::uint32_t b) {
  float f;
  std::memcpy(&f, &b, 4);
  return f;
}

// The conversion of one element as the generic build defines it, from the
// exact value x * 2^-sf in long double.  The generic multiplier is a double
// 2^-sf under roundMode 1 (0 from sf 1075 on, infinite from -1024 down) and a
// float 2^-sf otherwise (0 from sf 150 on, infinite from -128 down).  NaN and
// 0 x infinity give -2^31.
std::int32_t reference(float x, int roundMode, int sf) {
  if (std::isnan(x)) return kMin;
  long double p = x;
  if (sf != 0) {
    const bool nearest = roundMode == 1;
    const bool zeroMultiplier = nearest ? sf >= 1075 : sf >= 150;
    const bool infiniteMultiplier = nearest ? sf <= -1024 : sf <= -128;
    if (zeroMultiplier) return std::isinf(x) ? kMin : 0;
    if (infiniteMultiplier) return x == 0 ? kMin : (x > 0 ? kMax : kMin);
    p = std::ldexp(static_cast<long double>(x), -sf);  // exact in long double
  }
  if (std::isinf(p)) return p > 0 ? kMax : kMin;
  long double r;
  if (roundMode == 0) {
    r = std::trunc(p);
  } else if (roundMode == 1) {
    const long double f = std::floor(p), d = p - f;
    r = d > 0.5L ? f + 1 : (d < 0.5L ? f : (std::fmod(f, 2.0L) == 0 ? f : f + 1));
  } else {
    r = p < 0 ? -std::floor(-p + 0.5L) : std::floor(p + 0.5L);
  }
  if (r >= 2147483648.0L) return kMax;
  if (r < -2147483648.0L) return kMin;
  return static_cast<std::int32_t>(r);
}

// Inputs for one scale factor: values that land, after scaling, around the
// integers, the ties, the saturation edges and zero, plus special values.
std::vector<float> inputsFor(int sf, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<float> v;
  auto scaled = [&](double y) { v.push_back(static_cast<float>(std::ldexp(y, sf))); };
  for (double y : {0.5, 1.5, 2.5, 3.5, -0.5, -2.5, 0.49999997, 8388609.0, 2147483520.0, 2147483648.0,
                   -2147483648.0, -2147483904.0, 3.0e9, -3.0e9, 1.0e10, 2147483647.5, 1.0, -1.0})
    scaled(y);
  for (std::uint32_t b : {0x00000000u, 0x80000000u, 0x7f800000u, 0xff800000u, 0x7fc00000u, 0xffc00000u,
                          0x7f800001u, 0xff812345u, 0x7f7fffffu, 0xff7fffffu, 0x00000001u, 0x807fffffu,
                          0x00400000u, 0x4effffffu, 0x4f000000u, 0xcf000000u, 0xcf000001u})
    v.push_back(bitsToFloat(b));
  std::uniform_int_distribution<int> shift(0, 40), frac(0, 4);
  for (int i = 0; i < 600; ++i) {
    double y = std::ldexp(static_cast<double>(static_cast<std::int32_t>(rng())), -shift(rng) + 8);
    const int f = frac(rng);
    if (f < 4) y = std::floor(y) + 0.25 * f;  // integers and quarter steps: ties
    scaled(y);
  }
  for (int i = 0; i < 200; ++i) v.push_back(bitsToFloat(static_cast<std::uint32_t>(rng())));  // anything
  return v;
}

const int kRoundModes[] = {0, 1, 2, -1, 7};

std::vector<int> extremeFactors() {
  return {-2147483647 - 1,
          -100000,
          -2000,
          -1075,
          -1074,
          -1025,
          -1024,
          -1023,
          -300,
          -160,
          -150,
          -149,
          -129,
          -128,
          -127,
          127,
          128,
          129,
          148,
          149,
          150,
          151,
          200,
          1022,
          1023,
          1073,
          1074,
          1075,
          1076,
          100000,
          2147483647};
}

std::vector<std::int32_t> runPx(const std::vector<float>& in, int roundMode, int sf) {
  std::vector<std::int32_t> out(in.size());
  EXPECT_EQ(px_vecConvert_32f32s_Sfs(in.data(), out.data(), static_cast<int>(in.size()), roundMode, sf), 0);
  return out;
}

// ---------------------------------------------------------------------------
// The generic build.

TEST(ConvertFloatToIntPx, MatchesTheExactReferenceForEveryScaleFactor) {
  std::vector<int> factors = extremeFactors();
  for (int sf = -130; sf <= 130; ++sf) factors.push_back(sf);
  for (int sf : factors) {
    const std::vector<float> in = inputsFor(sf < -200 || sf > 200 ? 0 : sf, 100 + static_cast<unsigned>(sf));
    for (int mode : kRoundModes) {
      const std::vector<std::int32_t> out = runPx(in, mode, sf);
      for (std::size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(out[i], reference(in[i], mode, sf))
            << "x " << in[i] << " (0x" << std::hex << std::bit_cast<std::uint32_t>(in[i]) << std::dec
            << ") roundMode " << mode << " sf " << sf;
    }
  }
}

TEST(ConvertFloatToIntPx, DoesNotDependOnTheCallersSettings) {
  for (int sf : {0, 3, -2, -127, 127, 149, 150, -128, 1074}) {
    const std::vector<float> in = inputsFor(sf > 126 || sf < -126 ? 0 : sf, 7);
    for (int mode : kRoundModes) {
      const std::vector<std::int32_t> want = runPx(in, mode, sf);
      for (const CallerSetting& c : kCallerSettings) {
        std::vector<std::int32_t> got(in.size());
        const std::uint32_t after = runUnder(c.mxcsr, [&] {
          px_vecConvert_32f32s_Sfs(in.data(), got.data(), static_cast<int>(in.size()), mode, sf);
        });
        ASSERT_EQ(after, c.mxcsr) << c.name;
        ASSERT_EQ(got, want) << c.name << " roundMode " << mode << " sf " << sf;
      }
    }
  }
  // Subnormal sources count: 2^-127 scaled by 2^127 is 1, also under DAZ.
  const float tiny = bitsToFloat(0x00400000u);
  std::int32_t r = 0;
  runUnder(0x1fc0, [&] { px_vecConvert_32f32s_Sfs(&tiny, &r, 1, 0, -127); });
  EXPECT_EQ(r, 1);
}

struct ListedCase {
  float x;
  int mode, sf;
  std::int32_t want;
};
const ListedCase kListed[] = {{2.5f, 1, 0, 2},
                              {3.5f, 1, 0, 4},
                              {-2.5f, 1, 0, -2},
                              {-0.5f, 1, 0, 0},
                              {-0.0f, 1, 0, 0},
                              {2147483520.0f, 1, 0, 2147483520},
                              {2147483648.0f, 1, 0, kMax},
                              {INFINITY, 1, 0, kMax},
                              {-2147483648.0f, 1, 0, kMin},
                              {-3.0e9f, 1, 0, kMin},
                              {-INFINITY, 1, 0, kMin},
                              {NAN, 1, 0, kMin},
                              {-NAN, 1, 0, kMin},
                              {2.9f, 0, 0, 2},
                              {-2.9f, 0, 0, -2},
                              {1.0e10f, 0, 0, kMax},
                              {NAN, 0, 0, kMin},
                              {0.5f, 2, 0, 1},
                              {-0.5f, 2, 0, -1},
                              {1.5f, -1, 0, 2},
                              {0.49999997f, 7, 0, 0},
                              {8388609.0f, 2, 0, 8388609},
                              {2.5f, 2, 0, 3},
                              {-2.5f, 2, 0, -3},
                              {3.0e9f, 2, 0, kMax},
                              {NAN, 2, 0, kMin},
                              {-NAN, 2, 0, kMin},
                              {20.0f, 1, 3, 2},
                              {28.0f, 1, 3, 4},
                              {1.5f, 1, -2, 6},
                              {5.0f, 1, 1, 2},
                              {5.0f, 2, 1, 3},
                              {5.0f, 0, 1, 2},
                              {1.25f, 1, -1, 2},
                              {1.25f, 2, -1, 3},
                              {1.25f, 0, -1, 2},
                              {3.0e38f, 0, 150, 0},
                              {INFINITY, 0, 150, kMin},
                              {1.0f, 0, -128, kMax},
                              {-1.0f, 2, -128, kMin},
                              {0.0f, 0, -128, kMin},
                              {3.0e38f, 1, 150, 0},
                              {3.0e38f, 1, 127, 2},
                              {3.0e38f, 0, 127, 1},
                              {3.0e38f, 2, 127, 2},
                              {1.0f, 1, -2147483647 - 1, kMax},
                              {1.0e-30f, 1, 2147483647, 0}};

TEST(ConvertFloatToIntPx, ListedResults) {
  for (const ListedCase& c : kListed) {
    std::int32_t r = 12345;
    ASSERT_EQ(px_vecConvert_32f32s_Sfs(&c.x, &r, 1, c.mode, c.sf), 0);
    EXPECT_EQ(r, c.want) << c.x << " roundMode " << c.mode << " sf " << c.sf;
  }
}

// ---------------------------------------------------------------------------
// Every build against px.

class ConvertBuildsTest : public GenerationTest {};

TEST_P(ConvertBuildsTest, ListedResults) {
  // Each case alone, and as a whole vector (the vector paths).
  for (const ListedCase& c : kListed) {
    std::int32_t r = 12345;
    ASSERT_EQ(vecConvert_32f32s_Sfs(&c.x, &r, 1, c.mode, c.sf), 0);
    EXPECT_EQ(r, c.want) << c.x << " roundMode " << c.mode << " sf " << c.sf;
    std::vector<float> v(40, c.x);
    std::vector<std::int32_t> out(40);
    ASSERT_EQ(vecConvert_32f32s_Sfs(v.data(), out.data(), 40, c.mode, c.sf), 0);
    for (std::int32_t o : out) ASSERT_EQ(o, c.want) << c.x << " roundMode " << c.mode << " sf " << c.sf;
  }
}

TEST_P(ConvertBuildsTest, FloatToIntMatchesPxForEveryScaleFactorAndCallerSetting) {
  std::vector<int> factors = extremeFactors();
  for (int sf = -126; sf <= 126; ++sf) factors.push_back(sf);
  for (int sf : factors) {
    const std::vector<float> in = inputsFor(sf < -200 || sf > 200 ? 0 : sf, 300 + static_cast<unsigned>(sf));
    const int n = static_cast<int>(in.size());
    for (int mode : kRoundModes) {
      const std::vector<std::int32_t> want = runPx(in, mode, sf);
      for (const CallerSetting& c : kCallerSettings) {
        // Offsets 1 and 4 elements: the heads and the unaligned forms.
        for (int off : {0, 1}) {
          std::vector<std::int32_t> got(n + 1, 0x5a5a5a5a);
          const std::uint32_t after = runUnder(c.mxcsr, [&] {
            ASSERT_EQ(vecConvert_32f32s_Sfs(in.data(), got.data() + off, n, mode, sf), 0);
          });
          ASSERT_EQ(after, c.mxcsr) << "MXCSR changed: " << c.name << " roundMode " << mode << " sf " << sf;
          for (int i = 0; i < n; ++i)
            ASSERT_EQ(got[off + i], want[i])
                << "x " << in[i] << " (0x" << std::hex << std::bit_cast<std::uint32_t>(in[i]) << std::dec
                << ") roundMode " << mode << " sf " << sf << " caller " << c.name;
        }
      }
    }
  }
}

TEST_P(ConvertBuildsTest, FloatToIntEveryLengthAndAlignmentInPlace) {
  std::vector<float> pool = inputsFor(0, 77);
  pool.resize(2100);
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> d(-3.0e9f, 3.0e9f);
  for (std::size_t i = 800; i < pool.size(); ++i)
    pool[i] = i % 7 == 0 ? NAN : d(rng) / static_cast<float>(1 << (i % 30));
  std::shuffle(pool.begin(), pool.end(), rng);
  std::vector<int> lengths;
  for (int len = 1; len <= 70; ++len) lengths.push_back(len);
  for (int len : {1392, 1393, 2049}) lengths.push_back(len);
  const int modeFactor[][2] = {{1, 0}, {0, 0}, {2, 0}, {1, 3}, {0, -5}, {7, 1}, {1, 127}, {2, -128}};
  for (const auto& mf : modeFactor) {
    for (int len : lengths) {
      const std::vector<float> in(pool.begin(), pool.begin() + len);
      const std::vector<std::int32_t> want = runPx(in, mf[0], mf[1]);
      const std::size_t bytes = std::size_t(len) * 4;
      for (std::size_t so : {0, 4, 8, 12, 2}) {
        for (std::size_t dof = 0; dof < 16; ++dof) {
          if (len > 100 && dof % 4 != 0 && dof != 3) continue;
          Guarded src(bytes, so), dst(bytes, dof);
          src.fill(in.data());
          ASSERT_EQ(vecConvert_32f32s_Sfs(src.as<float>(), dst.as<std::int32_t>(), len, mf[0], mf[1]), 0);
          ASSERT_TRUE(dst.guardsIntact()) << "len " << len << " dst offset " << dof;
          ASSERT_EQ(0, std::memcmp(dst.window().data(), want.data(), bytes))
              << "len " << len << " src offset " << so << " dst offset " << dof << " roundMode " << mf[0];
        }
        // In place: the same results, NaN elements included.
        Guarded io(bytes, so);
        io.fill(in.data());
        ASSERT_EQ(vecConvert_32f32s_Sfs(io.as<float>(), io.as<std::int32_t>(), len, mf[0], mf[1]), 0);
        ASSERT_TRUE(io.guardsIntact());
        ASSERT_EQ(0, std::memcmp(io.window().data(), want.data(), bytes)) << "in place, len " << len;
      }
    }
  }
}

TEST_P(ConvertBuildsTest, FloatToIntKernelsAsTheEntryCallsThem) {
  // The kernels themselves, with the mode argument the entries pass.
  using K = void (*)(const Prim32f*, Prim32s*, int, int, int);
  using H = void (*)(const Prim32f*, Prim32s*, int, int);
  const K kernels[] = {nullptr,
                       sse2_ownsConvert_32f32s_Sfs,
                       ssse3_ownsConvert_32f32s_Sfs,
                       ssse3_ownsConvert_32f32s_Sfs,
                       sse41_ownsConvert_32f32s_Sfs,
                       avx_ownsConvert_32f32s_Sfs,
                       avx2_ownsConvert_32f32s_Sfs};
  const H halfAway[] = {nullptr,
                        sse2_ownsConvert_32f32s_HalfAway_Sfs,
                        ssse3_ownsConvert_32f32s_Sfs_HalfAway,
                        ssse3_ownsConvert_32f32s_Sfs_HalfAway,
                        sse41_ownsConvert_32f32s_Sfs_HalfAway,
                        avx_ownsConvert_32f32s_Sfs_HalfAway,
                        avx2_ownsConvert_32f32s_Sfs_HalfAway};
  const std::vector<float> in = inputsFor(-4, 5);
  const int n = static_cast<int>(in.size());
  std::vector<std::int32_t> got(n);
  kernels[generation()](in.data(), got.data(), n, 1, -4);
  EXPECT_EQ(got, runPx(in, 1, -4));
  kernels[generation()](in.data(), got.data(), n, 0, -4);
  EXPECT_EQ(got, runPx(in, 0, -4));
  halfAway[generation()](in.data(), got.data(), n, -4);
  EXPECT_EQ(got, runPx(in, 2, -4));
}

// ---------------------------------------------------------------------------
// 32-bit integer to float.

std::vector<std::int32_t> intPool(unsigned seed, std::size_t n) {
  std::mt19937 rng(seed);
  std::vector<std::int32_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int32_t>(rng()) >> (i % 32);
  const std::int32_t edges[] = {0, 1, -1, kMax, kMin, 16777217, -16777217, 16777219, 33554435, 3};
  for (std::size_t i = 0; i < std::size(edges) && i < n; ++i) v[i * 3 % n] = edges[i];
  return v;
}

// x * 2^-sf (sf clamped to -96..126) rounded once to float by the rounding
// control rc (0 nearest, 1 down, 2 up, 3 toward zero), in integer arithmetic:
// x is rounded to 24 significant bits, the power of two is exact.
float referenceToFloat(std::int32_t x, int sf, int rc) {
  sf = sf > 126 ? 126 : (sf < -96 ? -96 : sf);
  const bool negative = x < 0;
  std::uint64_t a = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(static_cast<std::int64_t>(x))
                             : static_cast<std::uint64_t>(x);
  int shift = 0;
  while ((a >> shift) >= (std::uint64_t{1} << 24)) ++shift;
  if (shift > 0) {
    std::uint64_t q = a >> shift;
    const std::uint64_t rem = a & ((std::uint64_t{1} << shift) - 1), half = std::uint64_t{1} << (shift - 1);
    const bool up = rc == 0   ? (rem > half || (rem == half && (q & 1)))
                    : rc == 1 ? (negative && rem)
                    : rc == 2 ? (!negative && rem)
                              : false;
    a = (q + (up ? 1 : 0)) << shift;
  }
  const double v = std::ldexp(static_cast<double>(a), -sf);  // exact
  return static_cast<float>(negative ? -v : v);              // exact
}

TEST(ConvertIntToFloatPx, MatchesTheReferenceUnderEveryRoundingMode) {
  const std::vector<std::int32_t> in = intPool(21, 500);
  for (int sf : {0, 1, -1, 24, -7, 126, 127, 200, -96, -97, -200, kMin, kMax}) {
    for (int rc = 0; rc < 4; ++rc) {
      std::vector<float> out(in.size());
      const std::uint32_t mxcsr = 0x1f80u | (static_cast<std::uint32_t>(rc) << 13);
      const std::uint32_t after = runUnder(
          mxcsr, [&] { px_vecConvert_32s32f_Sfs(in.data(), out.data(), static_cast<int>(in.size()), sf); });
      EXPECT_EQ(after, mxcsr);
      for (std::size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(out[i]),
                  std::bit_cast<std::uint32_t>(referenceToFloat(in[i], sf, rc)))
            << in[i] << " sf " << sf << " rc " << rc;
    }
  }
  const std::int32_t edge[] = {16777217, 3, 1, 2147483647};
  float r[4];
  px_vecConvert_32s32f_Sfs(edge, r, 1, 0);
  EXPECT_EQ(r[0], 16777216.0f);
  px_vecConvert_32s32f_Sfs(edge + 1, r, 1, 1);
  EXPECT_EQ(r[0], 1.5f);
  px_vecConvert_32s32f_Sfs(edge + 2, r, 1, 200);
  EXPECT_EQ(r[0], std::ldexp(1.0f, -126));
  px_vecConvert_32s32f_Sfs(edge + 3, r, 1, -200);
  EXPECT_EQ(r[0], std::ldexp(1.0f, 127));
}

TEST_P(ConvertBuildsTest, IntToFloatMatchesPx) {
  const std::vector<std::int32_t> pool = intPool(33, 2100);
  std::vector<int> lengths;
  for (int len = 1; len <= 70; ++len) lengths.push_back(len);
  for (int len : {1392, 1393, 2049}) lengths.push_back(len);
  for (int sf : {0, 1, -3, 126, -96, 300}) {
    for (std::uint32_t mxcsr : {0x1f80u, 0x3f80u, 0x5f80u, 0x7f80u, 0x9fc0u}) {
      for (int len : lengths) {
        const std::size_t bytes = std::size_t(len) * 4;
        std::vector<float> want(len);
        runUnder(mxcsr, [&] { px_vecConvert_32s32f_Sfs(pool.data(), want.data(), len, sf); });
        for (std::size_t so : {0, 4, 8}) {
          for (std::size_t dof : {0, 4, 8, 12, 1, 2, 16, 20, 28}) {
            if (len > 100 && so != 0 && dof > 4) continue;
            Guarded src(bytes, so), dst(bytes, dof);
            src.fill(pool.data());
            const std::uint32_t after = runUnder(mxcsr, [&] {
              ASSERT_EQ(vecConvert_32s32f_Sfs(src.as<std::int32_t>(), dst.as<float>(), len, sf), 0);
            });
            ASSERT_EQ(after, mxcsr);
            ASSERT_TRUE(dst.guardsIntact());
            ASSERT_EQ(0, std::memcmp(dst.window().data(), want.data(), bytes))
                << "len " << len << " sf " << sf << " offsets " << so << "/" << dof << " mxcsr " << std::hex
                << mxcsr;
          }
          Guarded io(bytes, so);
          io.fill(pool.data());
          runUnder(mxcsr, [&] { vecConvert_32s32f_Sfs(io.as<std::int32_t>(), io.as<float>(), len, sf); });
          ASSERT_EQ(0, std::memcmp(io.window().data(), want.data(), bytes)) << "in place, len " << len;
        }
      }
    }
  }
}

TEST_P(ConvertBuildsTest, StatusesInOrderAndNothingWritten) {
  float f[2] = {1.5f, 2.5f};
  std::int32_t i[2] = {7, 8};
  Prim16s s[2] = {9, 10};
  EXPECT_EQ(vecConvert_32f32s_Sfs(nullptr, i, 0, 1, 0), primResultNullPointer);
  EXPECT_EQ(vecConvert_32f32s_Sfs(f, nullptr, 2, 1, 0), primResultNullPointer);
  EXPECT_EQ(vecConvert_32f32s_Sfs(f, i, 0, 1, 0), primResultBadSize);
  EXPECT_EQ(vecConvert_32f32s_Sfs(f, i, -5, 2, 0), primResultBadSize);
  EXPECT_EQ(vecConvert_32s32f_Sfs(nullptr, f, 0, 0), primResultNullPointer);
  EXPECT_EQ(vecConvert_32s32f_Sfs(i, nullptr, 2, 0), primResultNullPointer);
  EXPECT_EQ(vecConvert_32s32f_Sfs(i, f, 0, 0), primResultBadSize);
  EXPECT_EQ(vecConvert_32s16s(nullptr, s, 0), primResultNullPointer);
  EXPECT_EQ(vecConvert_32s16s(i, nullptr, 2), primResultNullPointer);
  EXPECT_EQ(vecConvert_32s16s(i, s, 0), primResultBadSize);
  EXPECT_EQ(i[0], 7);
  EXPECT_EQ(f[0], 1.5f);
  EXPECT_EQ(s[0], 9);
}

INSTANTIATE_GENERATIONS(ConvertBuildsTest);

}  // namespace
