// Inverse reversible and irreversible component transforms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#include "primitives/jpeg2000/colour_transform.h"
#include "primitives/jpeg2000/colour_transform_builds.h"
#include "tests/primitives/jpeg2000/wavelet_test_util.h"
#include "tests/support/generations.h"

using namespace wavelet_test;

namespace {

class ColourTest : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam()))
      GTEST_SKIP() << "this processor cannot run the " << generationName(GetParam()) << " builds";
    ASSERT_EQ(primTestForceGeneration(GetParam()), 0);
  }
  void TearDown() override { primTestForceGeneration(0); }
  bool isPx() const { return GetParam() == primGenPx; }
};

// One sample through a transform: planes of width 1.
template <class T, class F>
void one(F f, T& p0, T& p1, T& p2) {
  T a = p0, b = p1, c = p2;
  T* planes[3] = {&a, &b, &c};
  ASSERT_EQ(f(planes, static_cast<int>(sizeof(T)), 1, 1), 0);
  p0 = a;
  p1 = b;
  p2 = c;
}

// Three planes of `height` rows, `step` samples apart, in one buffer each.
template <class T>
struct Planes {
  std::vector<T> buf[3];
  int step, width, height, offset[3];
  Planes(int width_, int height_, int pad, const int off[3]) : width(width_), height(height_) {
    step = width + pad;
    for (int k = 0; k < 3; ++k) {
      offset[k] = off[k];
      buf[k].resize(static_cast<size_t>(step) * height + 16);
    }
  }
  T* plane(int k) { return buf[k].data() + offset[k]; }
};

// --- Reversible ------------------------------------------------------------

TEST_P(ColourTest, ReversibleWorkedValues) {
  auto f16 = imgInvReversibleColor_16s_P3IR;
  auto f32 = imgInvReversibleColor_32s_P3IR;
  {  // floor, not truncation toward zero
    Prim16s y = 0, u = -1, v = 0;
    one(f16, y, u, v);
    EXPECT_EQ(y, 1);
    EXPECT_EQ(u, 1);
    EXPECT_EQ(v, 0);
  }
  {  // the 16-bit sum of U and V is not wrapped
    Prim16s y = 100, u = 20000, v = 20000;
    one(f16, y, u, v);
    EXPECT_EQ(u, -9900);
    EXPECT_EQ(y, 10100);
    EXPECT_EQ(v, 10100);
  }
  {  // results wrap
    Prim16s y = 32767, u = -4, v = -4;
    one(f16, y, u, v);
    EXPECT_EQ(u, -32767);
    EXPECT_EQ(y, 32765);
    EXPECT_EQ(v, 32765);
  }
  {  // 32 bits: the sum wraps to -2^31 before the shift
    Prim32s y = 0, u = 1 << 30, v = 1 << 30;
    one(f32, y, u, v);
    EXPECT_EQ(u, 1 << 29);
    EXPECT_EQ(y, 3 * (1 << 29));
    EXPECT_EQ(v, 3 * (1 << 29));
  }
}

// Forward reversible transform from the standard's formulas.
template <class T>
void forwardRct(T r, T g, T b, T& y, T& u, T& v) {
  y = static_cast<T>((static_cast<long long>(r) + 2LL * g + b) >> 2);
  u = static_cast<T>(b - g);
  v = static_cast<T>(r - g);
}

template <class T>
void reversibleRoundTrip(int width, int height, long long range, const int off[3]) {
  Planes<T> p(width, height, 5, off);
  std::vector<T> rgb[3];
  for (int k = 0; k < 3; ++k) {
    rgb[k].resize(p.buf[k].size());
    fillUniform(rgb[k], -range, range - 1);
  }
  for (int yy = 0; yy < height; ++yy)
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(yy) * p.step + x;
      forwardRct(rgb[0][i], rgb[1][i], rgb[2][i], p.plane(0)[i], p.plane(1)[i], p.plane(2)[i]);
    }
  T* planes[3] = {p.plane(0), p.plane(1), p.plane(2)};
  const int stepBytes = p.step * static_cast<int>(sizeof(T));
  if constexpr (sizeof(T) == 2)
    ASSERT_EQ(imgInvReversibleColor_16s_P3IR(planes, stepBytes, width, height), 0);
  else
    ASSERT_EQ(imgInvReversibleColor_32s_P3IR(planes, stepBytes, width, height), 0);
  for (int yy = 0; yy < height; ++yy)
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(yy) * p.step + x;
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(p.plane(k)[i], rgb[k][i]) << "plane " << k << " x " << x << " y " << yy;
    }
}

TEST_P(ColourTest, ReversibleInvertsTheForwardTransform) {
  for (int w = 1; w <= 40; ++w) {
    const int off[3] = {w % 8, (w / 2) % 8, (w * 3) % 8};
    reversibleRoundTrip<Prim16s>(w, 2, 1 << 14, off);
    reversibleRoundTrip<Prim32s>(w, 2, 1 << 29, off);
  }
  const int off[3] = {1, 2, 3};
  reversibleRoundTrip<Prim16s>(2048, 3, 1 << 14, off);
  reversibleRoundTrip<Prim32s>(2048, 3, 1 << 29, off);
}

// --- Irreversible ----------------------------------------------------------

TEST_P(ColourTest, IrreversibleWorkedValues16s) {
  auto f = imgInvIrreversibleColor_16s_P3IR;
  struct Case {
    Prim16s y, cb, cr, r, g, b;
  };
  // Every build saturates and rounds G as (8192 - 5638 Cb - 11700 Cr) >> 14.
  const Case cases[] = {
      {0, 4096, 0, 0, -1409, 7258},
      {0, -256, -128, -179, 180, -454},
      {32767, 0, 32767, 32767, 9368, 32767},
      {20000, 16000, 0, 20000, 14494, 32767},
      {-32768, 0, -32768, -32768, -9368, -32768},
  };
  for (const auto& c : cases) {
    Prim16s p0 = c.y, p1 = c.cb, p2 = c.cr;
    one(f, p0, p1, p2);
    EXPECT_EQ(p0, c.r) << c.y << " " << c.cb << " " << c.cr;
    EXPECT_EQ(p1, c.g) << c.y << " " << c.cb << " " << c.cr;
    EXPECT_EQ(p2, c.b) << c.y << " " << c.cb << " " << c.cr;
  }
}

TEST_P(ColourTest, IrreversibleFollowsItsFormulas16s) {
  // Against the real coefficients: each result lies within one half of
  // rounding plus the Q14 error of its coefficients (below 2^-15 each).
  const int off[3] = {0, 3, 6};
  Planes<Prim16s> p(300, 2, 3, off);
  for (auto& b : p.buf) fillUniform(b, -32768, 32767);
  std::vector<Prim16s> in[3] = {p.buf[0], p.buf[1], p.buf[2]};
  Prim16s* planes[3] = {p.plane(0), p.plane(1), p.plane(2)};
  ASSERT_EQ(imgInvIrreversibleColor_16s_P3IR(planes, p.step * 2, p.width, p.height), 0);
  for (int yy = 0; yy < p.height; ++yy)
    for (int x = 0; x < p.width; ++x) {
      const size_t i = static_cast<size_t>(yy) * p.step + x;
      const double Y = in[0][off[0] + i], Cb = in[1][off[1] + i], Cr = in[2][off[2] + i];
      const double want[3] = {Y + 1.402 * Cr, Y - 0.34413 * Cb - 0.71414 * Cr, Y + 1.772 * Cb};
      for (int k = 0; k < 3; ++k) {
        const double clamped = std::clamp(want[k], -32768.0, 32767.0);
        EXPECT_NEAR(p.plane(k)[i], clamped, 0.5 + 2.0) << "plane " << k << " x " << x;
      }
    }
}

TEST_P(ColourTest, IntegerTransformsAtTheCornersOfTheRange16s) {
  // Every combination of extreme samples against the formulas: the
  // reversible one wraps, the irreversible one saturates.
  const Prim16s v[] = {-32768, -32767, -16385, -2, -1, 0, 1, 16383, 32766, 32767};
  const int n = 10, w = n * n * n;
  std::vector<Prim16s> p[3], q[3];
  for (int k = 0; k < 3; ++k) p[k].resize(w);
  for (int i = 0; i < w; ++i) {
    p[0][i] = v[i % n];
    p[1][i] = v[i / n % n];
    p[2][i] = v[i / (n * n)];
  }
  for (int k = 0; k < 3; ++k) q[k] = p[k];
  Prim16s* planes[3] = {p[0].data(), p[1].data(), p[2].data()};
  Prim16s* planesQ[3] = {q[0].data(), q[1].data(), q[2].data()};
  ASSERT_EQ(imgInvReversibleColor_16s_P3IR(planes, 2 * w, w, 1), 0);
  ASSERT_EQ(imgInvIrreversibleColor_16s_P3IR(planesQ, 2 * w, w, 1), 0);
  for (int i = 0; i < w; ++i) {
    const int y = v[i % n], u = v[i / n % n], vv = v[i / (n * n)];
    const int g = y - static_cast<int>(std::floor((u + vv) / 4.0));
    EXPECT_EQ(p[1][i], static_cast<Prim16s>(g));
    EXPECT_EQ(p[0][i], static_cast<Prim16s>(vv + g));
    EXPECT_EQ(p[2][i], static_cast<Prim16s>(u + g));
    auto sat = [](double x) { return static_cast<Prim16s>(std::clamp(x, -32768.0, 32767.0)); };
    EXPECT_EQ(q[0][i], sat(y + std::floor((22970.0 * vv + 8192) / 16384)));
    EXPECT_EQ(q[1][i], sat(y + std::floor((8192.0 - 5638.0 * u - 11700.0 * vv) / 16384)));
    EXPECT_EQ(q[2][i], sat(y + std::floor((29032.0 * u + 8192) / 16384)));
  }
}

TEST_P(ColourTest, IrreversibleWorkedValues32f) {
  float y = 1, cb = 1, cr = 1;
  one(imgInvIrreversibleColor_32f_P3IR, y, cb, cr);
  EXPECT_EQ(y, 2.40199995f);
  EXPECT_EQ(cr, 2.77199984f);
  // The generic build rounds G once from double precision; the processor
  // builds add the two chroma products in single precision first.
  EXPECT_EQ(cb, isPx() ? -0.0582700074f : -0.0582699776f);
}

TEST_P(ColourTest, IrreversibleEqualsTheModel32f) {
  for (int w = 1; w <= 40; ++w)
    for (int o = 0; o < 4; ++o) {
      const int off[3] = {o, (o + 1) % 4, (o + 3) % 4};
      Planes<float> p(w, 2, 3, off);
      for (auto& b : p.buf) fillUniformF(b, -500, 500);
      std::vector<float> in[3] = {p.buf[0], p.buf[1], p.buf[2]};
      float* planes[3] = {p.plane(0), p.plane(1), p.plane(2)};
      ASSERT_EQ(imgInvIrreversibleColor_32f_P3IR(planes, p.step * 4, w, 2), 0);
      for (int yy = 0; yy < 2; ++yy)
        for (int x = 0; x < w; ++x) {
          const size_t i = static_cast<size_t>(yy) * p.step + x;
          const float Y = in[0][off[0] + i], Cb = in[1][off[1] + i], Cr = in[2][off[2] + i];
          float want[3];
          if (isPx()) {
            want[0] = static_cast<float>(double(1.402f) * Cr + Y);
            want[1] = static_cast<float>((Y - double(0.34413f) * Cb) - double(0.71414f) * Cr);
            want[2] = static_cast<float>(Y + double(1.772f) * Cb);
          } else {
            want[0] = Cr * 1.402f + Y;
            want[1] = (Cb * -0.34413f + Cr * -0.71414f) + Y;
            want[2] = Cb * 1.772f + Y;
          }
          for (int k = 0; k < 3; ++k)
            ASSERT_EQ(bits(p.plane(k)[i]), bits(want[k])) << "plane " << k << " x " << x;
        }
    }
}

TEST_P(ColourTest, ArgumentChecksComeFirstAndWriteNothing) {
  Prim16s a[2] = {7, 7}, b[2] = {7, 7}, c[2] = {7, 7};
  Prim16s* planes[3] = {a, b, c};
  Prim16s* withNull[3] = {a, nullptr, c};
  EXPECT_EQ(imgInvReversibleColor_16s_P3IR(nullptr, 4, 1, 1), primResultNullPointer);
  EXPECT_EQ(imgInvReversibleColor_16s_P3IR(withNull, 0, 0, 0), primResultNullPointer);
  EXPECT_EQ(imgInvReversibleColor_16s_P3IR(planes, 0, 0, 1), primResultBadStep);
  EXPECT_EQ(imgInvReversibleColor_16s_P3IR(planes, 4, 0, 1), primResultBadSize);
  EXPECT_EQ(imgInvReversibleColor_16s_P3IR(planes, 4, 1, 0), primResultBadSize);
  EXPECT_EQ(imgInvIrreversibleColor_16s_P3IR(withNull, 4, 1, 1), primResultNullPointer);
  EXPECT_EQ(imgInvIrreversibleColor_16s_P3IR(planes, -2, 1, 1), primResultBadStep);
  EXPECT_EQ(imgInvIrreversibleColor_16s_P3IR(planes, 4, 1, -1), primResultBadSize);
  Prim32s d[1] = {7};
  Prim32s* p32[3] = {d, d, nullptr};
  EXPECT_EQ(imgInvReversibleColor_32s_P3IR(p32, 4, 1, 1), primResultNullPointer);
  p32[2] = d;
  EXPECT_EQ(imgInvReversibleColor_32s_P3IR(p32, 0, 1, 1), primResultBadStep);
  float e[1] = {7};
  float* pf[3] = {e, e, e};
  EXPECT_EQ(imgInvIrreversibleColor_32f_P3IR(pf, 4, 0, 1), primResultBadSize);
  for (Prim16s v : {a[0], a[1], b[0], b[1], c[0], c[1]}) EXPECT_EQ(v, 7);
  EXPECT_EQ(d[0], 7);
  EXPECT_EQ(e[0], 7.0f);
  // Into samples: pointers, length, then the bounds.
  const Prim32f* src[3] = {e, e, e};
  const Prim32f* srcNull[3] = {e, nullptr, e};
  Prim32s* dst[3] = {d, d, d};
  const Prim32s zero[3] = {0, 0, 0}, big[3] = {0, (1 << 23) + 1, 0}, negBig[3] = {0, 0, -(1 << 23) - 1},
                one[3] = {0, 1, 0};
  auto f = imgInvIrreversibleColorToSamples_32f32s_P3;
  EXPECT_EQ(f(srcNull, dst, 1, zero, zero, zero), primResultNullPointer);
  EXPECT_EQ(f(src, dst, -1, zero, nullptr, zero), primResultNullPointer);
  EXPECT_EQ(f(src, dst, -1, big, zero, zero), primResultBadSize);
  EXPECT_EQ(f(src, dst, 1, big, zero, big), primResultBadArgument);
  EXPECT_EQ(f(src, dst, 1, zero, negBig, zero), primResultBadArgument);
  EXPECT_EQ(f(src, dst, 1, zero, zero, big), primResultBadArgument);
  EXPECT_EQ(f(src, dst, 1, zero, one, zero), primResultBadArgument);  // low above high
  EXPECT_EQ(d[0], 7);
}

// --- Irreversible into samples ---------------------------------------------

// Bounds of one component: offset, low, high.
struct SampleBounds {
  Prim32s offset, low, high;
};
const SampleBounds kSampleBounds[] = {{2048, 0, 4095},
                                      {0, -128, 127},
                                      {1 << 22, 0, (1 << 23) - 1},
                                      {1 << 23, -(1 << 23), 1 << 23},
                                      {-(1 << 23), -(1 << 23), 1 << 23}};

// A float plane of len pixels (and one spare, so that none is empty): the
// first pixels carry, in Y alone, values that round, tie, leave the 32-bit
// range, are infinite, subnormal or not a number (so that the ties reach the
// rounding); after them about one pixel in three takes one of those, the
// rest random values.
std::vector<float> toSamplesInput(int len, int plane) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const float special[] = {0.5f,        1.5f,  -2.5f,  2047.5f,       8388607.5f,    -4194304.5f,
                           16777215.0f, -0.0f, 1e-40f, 2147483520.0f, 2147483648.0f, 3e9f,
                           -3e9f,       inf,   -inf,   nan,           0.0f};
  std::vector<float> v(static_cast<size_t>(len) + 1);
  fillUniformF(v, -5000, 5000);
  const int n = static_cast<int>(std::size(special));
  for (int i = 0; i < len; ++i) {
    if (i < n)
      v[i] = plane == 0 ? special[i] : 0.0f;
    else if (rng()() % 3 == 0)
      v[i] = special[rng()() % n];
  }
  return v;
}

// The sample stage as separate steps on one transformed value: the
// saturating conversion rounding to nearest, ties to even (NaN to the lowest
// integer), the saturating addition, the clamp.
Prim32s separateSteps(float v, const SampleBounds& b) {
  const long long lo32 = INT32_MIN, hi32 = INT32_MAX;
  long long r =
      std::isnan(v)
          ? lo32
          : static_cast<long long>(std::clamp(std::nearbyint(double{v}), -2147483648.0, 2147483647.0));
  r = std::clamp(r + b.offset, lo32, hi32);
  return static_cast<Prim32s>(std::clamp(r, static_cast<long long>(b.low), static_cast<long long>(b.high)));
}

TEST_P(ColourTest, IrreversibleToSamplesFollowsTheSeparateSteps) {
  for (int len : {0, 1, 3, 4, 7, 8, 9, 13, 17, 40})
    for (int first = 0; first < 5; ++first) {
      std::vector<float> in[3];
      for (int k = 0; k < 3; ++k) in[k] = toSamplesInput(len, k);
      Prim32s offset[3], low[3], high[3];
      for (int k = 0; k < 3; ++k) {
        const SampleBounds& b = kSampleBounds[(first + k) % 5];
        offset[k] = b.offset;
        low[k] = b.low;
        high[k] = b.high;
      }
      // In place: each plane's integers over its floats.
      std::vector<float> io[3] = {in[0], in[1], in[2]};
      const Prim32f* src[3] = {io[0].data(), io[1].data(), io[2].data()};
      Prim32s* dst[3];
      for (int k = 0; k < 3; ++k) dst[k] = reinterpret_cast<Prim32s*>(io[k].data());
      ASSERT_EQ(imgInvIrreversibleColorToSamples_32f32s_P3(src, dst, len, offset, low, high), 0);
      for (int i = 0; i < len; ++i) {
        const float Y = in[0][i], Cb = in[1][i], Cr = in[2][i];
        const float rgb[3] = {Y + 1.402f * Cr, (Y - 0.34413f * Cb) - 0.71414f * Cr, Y + 1.772f * Cb};
        for (int k = 0; k < 3; ++k) {
          Prim32s got;
          std::memcpy(&got, &io[k][i], 4);
          ASSERT_EQ(got, separateSteps(rgb[k], {offset[k], low[k], high[k]}))
              << "plane " << k << " pixel " << i << " of " << len << " value " << rgb[k];
        }
      }
    }
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, ColourTest, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

// Processor builds against px over the full sample range.
class ColourBuildsTest : public GenerationTest {};

template <class T, class Fn>
void compareWithPx(Fn pxBuild, Fn entry, int width, int height, const int off[3], int pad, long long lo,
                   long long hi) {
  Planes<T> a(width, height, pad, off);
  for (auto& b : a.buf) fillUniform(b, lo, hi);
  Planes<T> b = a;
  T* pa[3] = {a.plane(0), a.plane(1), a.plane(2)};
  T* pb[3] = {b.plane(0), b.plane(1), b.plane(2)};
  const int step = a.step * static_cast<int>(sizeof(T));
  ASSERT_EQ(pxBuild(pa, step, width, height), 0);
  ASSERT_EQ(entry(pb, step, width, height), 0);
  for (int k = 0; k < 3; ++k)
    ASSERT_TRUE(sameSamples(a.buf[k], b.buf[k])) << "plane " << k << " width " << width;
}

TEST_P(ColourBuildsTest, IntegerTransformsMatchPxBitForBit) {
  for (int w = 1; w <= 40; ++w)
    for (int o = 0; o < 16; o += 2) {
      const int off[3] = {o % 8, o / 2, (o * 3) % 16};
      compareWithPx<Prim16s>(px_imgInvReversibleColor_16s_P3IR, imgInvReversibleColor_16s_P3IR, w, 2, off, 3,
                             -32768, 32767);
      compareWithPx<Prim16s>(px_imgInvIrreversibleColor_16s_P3IR, imgInvIrreversibleColor_16s_P3IR, w, 2, off,
                             3, -32768, 32767);
      compareWithPx<Prim32s>(px_imgInvReversibleColor_32s_P3IR, imgInvReversibleColor_32s_P3IR, w, 2, off, 3,
                             INT32_MIN, INT32_MAX);
    }
  const int off[3] = {1, 0, 5};
  for (int w : {724, 2400, 4099}) {
    compareWithPx<Prim16s>(px_imgInvReversibleColor_16s_P3IR, imgInvReversibleColor_16s_P3IR, w, 1, off, 0,
                           -32768, 32767);
    compareWithPx<Prim16s>(px_imgInvIrreversibleColor_16s_P3IR, imgInvIrreversibleColor_16s_P3IR, w, 1, off,
                           0, -32768, 32767);
    compareWithPx<Prim32s>(px_imgInvReversibleColor_32s_P3IR, imgInvReversibleColor_32s_P3IR, w, 1, off, 0,
                           INT32_MIN, INT32_MAX);
  }
}

TEST_P(ColourBuildsTest, Reversible16sOverlappingPlanesMatchPx) {
  // Two planes the same, or rows whose spans overlap: the sample-by-sample
  // order of the generic build.
  for (int w : {8, 17, 64}) {
    for (int shift : {0, 1, 3, 8}) {
      std::vector<Prim16s> a(3 * w + 16);
      fillUniform(a, -32768, 32767);
      std::vector<Prim16s> b = a;
      Prim16s* pa[3] = {a.data(), a.data() + w + 2, a.data() + shift};
      Prim16s* pb[3] = {b.data(), b.data() + w + 2, b.data() + shift};
      ASSERT_EQ(px_imgInvReversibleColor_16s_P3IR(pa, 2 * (3 * w), w, 1), 0);
      ASSERT_EQ(imgInvReversibleColor_16s_P3IR(pb, 2 * (3 * w), w, 1), 0);
      EXPECT_TRUE(sameSamples(a, b)) << "width " << w << " shift " << shift;
    }
  }
}

TEST_P(ColourBuildsTest, IrreversibleToSamplesMatchesPxBitForBit) {
  // Long rows, every alignment of the sources, a destination off the 4-byte
  // grid, and the same in place.
  const int len = 4099;
  for (int shift = 0; shift < 4; ++shift) {
    std::vector<float> in[3];
    for (int k = 0; k < 3; ++k) in[k] = toSamplesInput(len + 3, k);
    const Prim32f* src[3] = {in[0].data() + shift, in[1].data() + (shift + 1) % 4, in[2].data() + 3 - shift};
    const SampleBounds& b = kSampleBounds[shift];
    const Prim32s offset[3] = {b.offset, b.offset, b.offset}, low[3] = {b.low, b.low, b.low},
                  high[3] = {b.high, b.high, b.high};
    std::vector<Prim32s> want[3];
    Prim32s* pxDst[3];
    for (int k = 0; k < 3; ++k) {
      want[k].assign(len, 0);
      pxDst[k] = want[k].data();
    }
    ASSERT_EQ(px_imgInvIrreversibleColorToSamples_32f32s_P3(src, pxDst, len, offset, low, high), 0);
    std::vector<unsigned char> bytes[3];
    Prim32s* dst[3];
    for (int k = 0; k < 3; ++k) {
      bytes[k].assign(4 * len + 8, 0);
      dst[k] = reinterpret_cast<Prim32s*>(bytes[k].data() + 2);
    }
    ASSERT_EQ(imgInvIrreversibleColorToSamples_32f32s_P3(src, dst, len, offset, low, high), 0);
    for (int k = 0; k < 3; ++k)
      ASSERT_EQ(std::memcmp(bytes[k].data() + 2, want[k].data(), 4 * len), 0)
          << "plane " << k << " shift " << shift;
    Prim32s* inPlace[3];
    for (int k = 0; k < 3; ++k) inPlace[k] = const_cast<Prim32s*>(reinterpret_cast<const Prim32s*>(src[k]));
    ASSERT_EQ(imgInvIrreversibleColorToSamples_32f32s_P3(src, inPlace, len, offset, low, high), 0);
    for (int k = 0; k < 3; ++k)
      ASSERT_EQ(std::memcmp(src[k], want[k].data(), 4 * len), 0)
          << "in place, plane " << k << " shift " << shift;
  }
}

INSTANTIATE_GENERATIONS(ColourBuildsTest);

}  // namespace
