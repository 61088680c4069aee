// Half-precision conversion kernels of the sse2, sse41 and avx builds against
// exact scalar references (themselves checked against the processor's F16C
// conversions where it has them): every half, every 16-bit integer, the
// float ties between halves, scale factors, every caller control setting,
// lengths, alignments, guard bytes and in place.
#include <cpuid.h>
#include <gtest/gtest.h>
#include <immintrin.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/convert/vec_half_builds.h"
#include "primitives/core/test_hooks.h"
#include "tests/primitives/convert/walk_support.h"

namespace {

std::uint32_t bitsOf(float f) { return std::bit_cast<std::uint32_t>(f); }
float floatOf(std::uint32_t u) { return std::bit_cast<float>(u); }

// ---------------------------------------------------------------------------
// Exact references in double precision and integers.

double halfValue(std::uint16_t h) {  // finite halves only
  const int e = (h >> 10) & 31, f = h & 0x3ff;
  const double mag = e == 0 ? std::ldexp(f, -24) : std::ldexp(1024 + f, e - 25);
  return (h & 0x8000) ? -mag : mag;
}

std::uint32_t refHalfToFloat(std::uint16_t h) {
  const std::uint32_t sign = std::uint32_t(h & 0x8000) << 16;
  if ((h & 0x7c00) == 0x7c00)
    return sign | 0x7f800000u | ((h & 0x3ff) ? 0x400000u | (std::uint32_t(h & 0x3ff) << 13) : 0u);
  return bitsOf(static_cast<float>(halfValue(h)));
}

// q rounded to an integer: ties to even, or toward zero.
double roundQ(double q, bool nearest) {
  double fl = std::floor(q);
  if (!nearest) return q < 0 ? std::ceil(q) : fl;
  const double diff = q - fl;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(fl, 2.0) != 0)) fl += 1;
  return fl;
}

std::uint16_t refFloatToHalf(std::uint32_t u, bool nearest) {
  const std::uint16_t sign = static_cast<std::uint16_t>((u >> 16) & 0x8000);
  const std::uint32_t a = u & 0x7fffffff;
  if (a > 0x7f800000) return sign | 0x7e00 | ((a >> 13) & 0x3ff);
  if (a == 0x7f800000) return sign | 0x7c00;
  const double x = floatOf(a);
  const int e = x < std::ldexp(1, -14) ? -14 : std::ilogb(x);
  const double q = roundQ(std::ldexp(x, 10 - e), nearest);  // in units of the half's last place
  // Below 2^-14 the pattern is q itself; a carry out of the fraction is the
  // next exponent.
  std::uint32_t bits =
      x < std::ldexp(1, -14) ? std::uint32_t(q) : std::uint32_t((e + 15) << 10) + std::uint32_t(q) - 1024;
  if (bits >= 0x7c00) bits = nearest ? 0x7c00 : 0x7bff;
  return static_cast<std::uint16_t>(sign | bits);
}

Prim16s refHalfToInt(std::uint16_t h, bool nearest, int sf) {
  if ((h & 0x7fff) > 0x7c00) return 0;
  if ((h & 0x7fff) == 0x7c00) return (h & 0x8000) ? -32768 : 32767;
  const double sfClamped = sf > 100 ? 100 : (sf < -100 ? -100 : sf);
  const double r = roundQ(std::ldexp(halfValue(h), -static_cast<int>(sfClamped)), nearest);
  return static_cast<Prim16s>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
}

// The processor's own conversions, where it has them.
// F16C: CPUID leaf 1, ECX bit 29; its VEX encoding needs the AVX state.
bool haveF16c() {
  unsigned a, b, c, d;
  return primTestGenerationSupported(primGenAvx) && __get_cpuid(1, &a, &b, &c, &d) && (c >> 29 & 1);
}
__attribute__((target("f16c"))) std::uint32_t f16cToFloat(std::uint16_t h) {
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_castps_si128(_mm_cvtph_ps(_mm_cvtsi32_si128(h)))));
}
__attribute__((target("f16c"))) std::uint16_t f16cToHalf(std::uint32_t u, bool nearest) {
  const __m128 x = _mm_castsi128_ps(_mm_cvtsi32_si128(static_cast<int>(u)));
  const __m128i r = nearest ? _mm_cvtps_ph(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC)
                            : _mm_cvtps_ph(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  return static_cast<std::uint16_t>(_mm_cvtsi128_si32(r));
}

// Float patterns that exercise every rounding decision: each half's value,
// the midpoints between neighbouring halves and one float either side of
// them, values beyond the half range, float subnormals, NaNs and randoms.
std::vector<std::uint32_t> floatPool() {
  std::vector<std::uint32_t> v;
  for (std::uint32_t h = 0; h < 0x7c00; ++h) {
    const double lo = halfValue(static_cast<std::uint16_t>(h)),
                 hi = halfValue(static_cast<std::uint16_t>(h + 1));
    const std::uint32_t mid = bitsOf(static_cast<float>((lo + hi) / 2));  // exact in float
    for (std::uint32_t u : {bitsOf(static_cast<float>(lo)), mid - 1, mid, mid + 1})
      v.push_back(u), v.push_back(u | 0x80000000u);
  }
  for (std::uint32_t u : {0x477fe000u, 0x477fefffu, 0x477ff000u, 0x477fffffu, 0x47800000u, 0x4f000000u,
                          0x7f7fffffu, 0x7f800000u, 0x7f800001u, 0x7fc00000u, 0x7fffffffu, 0x00000001u,
                          0x007fffffu, 0x00800000u, 0x33000000u, 0x33000001u, 0x32ffffffu})
    v.push_back(u), v.push_back(u | 0x80000000u);
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) v.push_back(rng());
  return v;
}

TEST(HalfReference, AgreesWithTheProcessorsConversions) {
  if (!haveF16c()) GTEST_SKIP() << "this processor has no F16C conversions";
  for (std::uint32_t h = 0; h < 65536; ++h)
    ASSERT_EQ(refHalfToFloat(static_cast<std::uint16_t>(h)), f16cToFloat(static_cast<std::uint16_t>(h))) << h;
  for (std::uint32_t u : floatPool())
    for (bool nearest : {true, false}) ASSERT_EQ(refFloatToHalf(u, nearest), f16cToHalf(u, nearest)) << u;
}

// ---------------------------------------------------------------------------
struct HalfKernels {
  const char* name;
  std::int32_t gen;
  void (*i2h)(const Prim16s*, Prim16u*, int, int);
  void (*h2i)(const Prim16u*, Prim16s*, int, int, int);
  void (*h2f)(const Prim16u*, Prim32f*, int);
  void (*f2h)(const Prim32f*, Prim16u*, int, int);
};
#define PRIM_HALF(g, n)                                                                \
  HalfKernels {                                                                        \
#g, n, g##_ownsConvert_16s16f, g##_ownsConvert_16f16s_Sfs, g##_ownsConvert_16f32f, \
        g##_ownsConvert_32f16f                                                         \
  }
const HalfKernels kBuilds[] = {PRIM_HALF(sse2, primGenSse2), PRIM_HALF(sse41, primGenSse41),
                               PRIM_HALF(avx, primGenAvx)};
#undef PRIM_HALF

void PrintTo(const HalfKernels& k, std::ostream* os) { *os << k.name; }

class HalfTest : public ::testing::TestWithParam<HalfKernels> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam().gen))
      GTEST_SKIP() << "processor cannot run " << GetParam().name;
  }
  const HalfKernels& k() const { return GetParam(); }
};

std::vector<std::uint16_t> allHalves() {
  std::vector<std::uint16_t> v(65536);
  for (std::uint32_t i = 0; i < 65536; ++i) v[i] = static_cast<std::uint16_t>(i);
  return v;
}

// Every kernel over a whole pool under every caller setting: the results
// equal the reference and the caller's register comes back exactly.
TEST_P(HalfTest, WholePoolsUnderEveryCallerSetting) {
  const std::vector<std::uint16_t> halves = allHalves();
  const std::vector<std::uint32_t> floats = floatPool();
  const int nh = 65536, nf = static_cast<int>(floats.size());
  std::vector<std::uint32_t> f32(nh);
  std::vector<std::uint16_t> h16(std::max(nh, nf));
  std::vector<Prim16s> i16(nh);
  for (const CallerSetting& c : kCallerSettings) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(runUnder(c.mxcsr, [&] { k().h2f(halves.data(), reinterpret_cast<float*>(f32.data()), nh); }),
              c.mxcsr);
    for (int i = 0; i < nh; ++i) ASSERT_EQ(f32[i], refHalfToFloat(halves[i])) << "half " << i;
    for (int nearest : {1, 0}) {
      ASSERT_EQ(
          runUnder(c.mxcsr,
                   [&] { k().f2h(reinterpret_cast<const float*>(floats.data()), h16.data(), nf, nearest); }),
          c.mxcsr);
      for (int i = 0; i < nf; ++i)
        ASSERT_EQ(h16[i], refFloatToHalf(floats[i], nearest)) << "float " << floats[i];
      ASSERT_EQ(runUnder(c.mxcsr,
                         [&] {
                           k().i2h(reinterpret_cast<const Prim16s*>(halves.data()), h16.data(), nh, nearest);
                         }),
                c.mxcsr);
      for (int i = 0; i < nh; ++i)
        ASSERT_EQ(h16[i], refFloatToHalf(bitsOf(static_cast<float>(static_cast<Prim16s>(i))), nearest)) << i;
      ASSERT_EQ(runUnder(c.mxcsr, [&] { k().h2i(halves.data(), i16.data(), nh, nearest, 3); }), c.mxcsr);
      for (int i = 0; i < nh; ++i) ASSERT_EQ(i16[i], refHalfToInt(halves[i], nearest, 3)) << "half " << i;
    }
  }
}

TEST_P(HalfTest, HalfToIntegerAtEveryScaleFactor) {
  const std::vector<std::uint16_t> halves = allHalves();
  std::vector<Prim16s> out(65536);
  for (int sf :
       {-2147483647 - 1, -1000, -41, -40, -39, -24, -16, -15, -14, -13, -1, 0, 1, 2, 4, 15, 16, 17, 18, 150,
        2147483647})
    for (int nearest : {1, 0}) {
      k().h2i(halves.data(), out.data(), 65536, nearest, sf);
      for (int i = 0; i < 65536; ++i)
        ASSERT_EQ(out[i], refHalfToInt(halves[i], nearest, sf))
            << "half " << i << " sf " << sf << " mode " << nearest;
    }
}

TEST_P(HalfTest, EveryLengthAndAlignment) {
  std::mt19937 rng(11);
  std::vector<std::uint16_t> halves(257);
  for (auto& h : halves) h = static_cast<std::uint16_t>(rng());
  const std::vector<std::uint32_t> fp = floatPool();
  std::vector<float> floats(257);
  for (auto& f : floats) f = floatOf(fp[rng() % fp.size()]);
  const std::vector<Prim16s> ints(halves.begin(), halves.end());
  std::vector<std::uint16_t> wantH(257), wantI2h(257);
  std::vector<float> wantF(257);
  std::vector<Prim16s> wantI(257);
  for (int i = 0; i < 257; ++i) {
    wantF[i] = floatOf(refHalfToFloat(halves[i]));
    wantH[i] = refFloatToHalf(bitsOf(floats[i]), true);
    wantI2h[i] = refFloatToHalf(bitsOf(static_cast<float>(ints[i])), false);
    wantI[i] = refHalfToInt(halves[i], true, -2);
  }
  const std::vector<int> lengths = sweepLengths(40, {63, 64, 65, 257});
  checkWalks(halves, wantF, lengths, [&](const std::uint16_t* s, float* d, int n) { k().h2f(s, d, n); });
  checkWalks(floats, wantH, lengths, [&](const float* s, std::uint16_t* d, int n) { k().f2h(s, d, n, 1); });
  checkWalks(
      ints, wantI2h, lengths, [&](const Prim16s* s, std::uint16_t* d, int n) { k().i2h(s, d, n, 0); }, true);
  checkWalks(
      halves, wantI, lengths, [&](const std::uint16_t* s, Prim16s* d, int n) { k().h2i(s, d, n, 1, -2); },
      true);
}

INSTANTIATE_TEST_SUITE_P(Builds, HalfTest, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<HalfKernels>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
