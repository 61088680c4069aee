// Inverse 9/7 lifting in float, along rows and down columns.
//
// The generic build evaluates in double precision; the processor builds in
// single precision, the avx2 build with fused multiply-adds at the ends of a
// row and on one path of the column step.  Each build is checked bit for bit
// against a scalar model of its own arithmetic, and all of them against the
// double-precision synthesis filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "primitives/jpeg2000/wavelet.h"
#include "primitives/jpeg2000/wavelet_builds.h"
#include "tests/primitives/jpeg2000/wavelet_test_util.h"
#include "tests/support/generations.h"

using namespace wavelet_test;

namespace {

const float K = 1.2301741f, DK = 0.36052364f, IK = 0.8128931f, G = 0.8829111f, B = -0.052980117f,
            A = -1.5861343f;

// --- Scalar models of the single-precision arithmetic ---------------------

// p - k x s: rounded product then difference, or one rounding when fused.
float sub(float p, float k, float s, bool fused) { return fused ? std::fma(-k, s, p) : p - k * s; }

struct Model {
  enum class Grouping { TwoTermFirst, KTermFirst } grouping;
  bool fusedEnds;
};

// Which build computes which arithmetic.
Model modelOf(std::int32_t generation) {
  if (generation == primGenSse2) return {Model::Grouping::TwoTermFirst, false};
  if (generation == primGenAvx2) return {Model::Grouping::KTermFirst, true};
  return {Model::Grouping::KTermFirst, false};
}

// One row of width 2 or more in single precision.  Values at the ends of a
// row (made before and after the middle) use fused arithmetic when the model
// says so; the middle never does.
template <class FL, class FH>
std::vector<float> modelRow(FL L, FH H, int w, bool phase0, Model m) {
  std::vector<float> e(w + 8), o(w + 8), ep(w + 8), op(w + 8), out(2 * w);
  auto at = [](std::vector<float>& v, int i) -> float& { return v[i + 4]; };
  const bool f = m.fusedEnds;
  auto s1 = [&](int i, int ha, int hb, bool fused) { return sub(K * L(i), DK, H(ha) + H(hb), fused); };
  // e(w) + (K L(l) - DK (H(a) + H(b))), the second term formed only in parts.
  auto sumWithFirst = [&](float ev, int l, int a, int b) {
    if (f) return std::fma(-DK, H(a) + H(b), std::fma(K, L(l), ev));
    if (m.grouping == Model::Grouping::TwoTermFirst) return s1(l, a, b, false) + ev;
    return (ev + K * L(l)) - DK * (H(a) + H(b));
  };
  auto gammaPair = [&](int h, float ov, float sumE) {
    return f ? std::fma(-G, sumE, std::fma(IK, H(h), ov)) : (IK * H(h) + ov) - G * sumE;
  };
  if (phase0) {
    for (int i = -1; i <= w; ++i) at(e, i) = s1(i, i - 1, i, f && (i <= 1 || i == w));
    for (int i = -1; i < w; ++i)
      at(o, i) = sub(IK * H(i), G, at(e, i) + at(e, i + 1), f && (i <= 0 || i == w - 1));
    for (int i = 0; i < w; ++i)
      at(ep, i) = sub(at(e, i), B, at(o, i - 1) + at(o, i), f && (i == 0 || i == w - 1));
    for (int i = 0; i < w - 1; ++i) at(op, i) = sub(at(o, i), A, at(ep, i) + at(ep, i + 1), f && i == w - 2);
    const float t = gammaPair(w, at(o, w - 1), sumWithFirst(at(e, w), w + 1, w, w + 1));
    const float s = sub(at(ep, w - 1) + at(e, w), B, t, f);
    at(op, w - 1) = sub(at(o, w - 1), A, s, f);
    for (int i = 0; i < w; ++i) {
      out[2 * i] = at(ep, i);
      out[2 * i + 1] = at(op, i);
    }
  } else {
    for (int i = -2; i < w; ++i) at(e, i) = s1(i, i, i + 1, f && i <= 1);
    for (int i = -1; i < w; ++i)
      at(o, i) = sub(IK * H(i), G, at(e, i - 1) + at(e, i), f && (i == -1 || i == 1));
    if (f) at(o, 0) = sub(sub(IK * H(0), G, at(e, -1), true), G, at(e, 0), true);
    for (int i = 0; i < w - 1; ++i) at(ep, i) = sub(at(e, i), B, at(o, i) + at(o, i + 1), f && i == 0);
    const float t = gammaPair(w, at(o, w - 1), sumWithFirst(at(e, w - 1), w, w, w + 1));
    at(ep, w - 1) = sub(at(e, w - 1), B, t, f);
    const float s0 = sub(at(ep, 0) + at(e, -1), B, at(o, -1) + at(o, 0), f);
    at(op, 0) = sub(at(o, 0), A, s0, f);
    for (int i = 1; i < w; ++i) at(op, i) = sub(at(o, i), A, at(ep, i - 1) + at(ep, i), f && i == w - 1);
    for (int i = 0; i < w; ++i) {
      out[2 * i] = at(op, i);
      out[2 * i + 1] = at(ep, i);
    }
  }
  return out;
}

// Width 1: the synthesis taps added in the order of the filter.
std::vector<float> modelWidth1(const float* L, const float* H, bool phase0, bool fused) {
  auto acc = [&](std::initializer_list<std::pair<float, float>> terms) {
    float s = 0;
    bool firstTerm = true;
    for (auto [tap, x] : terms) {
      s = firstTerm ? tap * x : (fused ? std::fma(tap, x, s) : s + tap * x);
      firstTerm = false;
    }
    return s;
  };
  const float lowOut = phase0 ? acc({{-0.057543527f, L[-1] + L[1]},
                                     {1.115087f, L[0]},
                                     {0.01686412f, H[-2] + H[1]},
                                     {-0.26686412f, H[-1] + H[0]}})
                              : acc({{-0.057543527f, L[-1] + L[1]},
                                     {1.115087f, L[0]},
                                     {0.01686412f, H[-1] + H[2]},
                                     {-0.26686412f, H[0] + H[1]}});
  const float highOut = acc({{-0.091271766f, phase0 ? L[-1] + L[2] : L[-2] + L[1]},
                             {0.59127176f, phase0 ? L[0] + L[1] : L[-1] + L[0]},
                             {0.026748758f, H[-2] + H[2]},
                             {-0.078223266f, H[-1] + H[1]},
                             {0.602949f, H[0]}});
  if (phase0) return {lowOut, highOut};
  return {highOut, lowOut};
}

// Double-precision synthesis filters of the standard (see the fixed-point test).
const double g0[] = {1.115087052456994, 0.5912717631142470, -0.05754352622849957, -0.09127176311424948};
const double g1[] = {0.6029490182363579, -0.2668641184428723, -0.07822326652898785, 0.01686411844287495,
                     0.02674875741080976};
double tap0(int m) { return std::abs(m) <= 3 ? g0[std::abs(m)] : 0.0; }
double tap1(int m) { return std::abs(m) <= 4 ? g1[std::abs(m)] : 0.0; }

// Output j and the sum of the magnitudes of its terms (the scale of its
// rounding errors).
void convolve(const float* L, const float* H, int w, bool phase0, std::vector<double>& out,
              std::vector<double>& scale) {
  out.assign(2 * w, 0);
  scale.assign(2 * w, 0);
  for (int j = 0; j < 2 * w; ++j) {
    const int m = phase0 ? j : j - 1;
    for (int k = -2; k <= w + 1; ++k) {
      const double a = L[k] * tap0(m - 2 * k);
      const double b = H[k] * tap1(m - (phase0 ? 2 * k + 1 : 2 * k - 1));
      out[j] += a + b;
      scale[j] += std::abs(a) + std::abs(b);
    }
  }
}

struct FloatRows {
  std::vector<float> low, high;
  int w, off;
  FloatRows(int w_, float range, int off_ = 0) : low(w_ + 8), high(w_ + 8), w(w_), off(off_) {
    fillUniformF(low, -range, range);
    fillUniformF(high, -range, range);
  }
  const float* L() const { return low.data() + 3 + off; }
  const float* H() const { return high.data() + 3 + (off * 3) % 4; }
};

class Lift97FloatTest : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam()))
      GTEST_SKIP() << "this processor cannot run the " << generationName(GetParam()) << " builds";
    ASSERT_EQ(primTestForceGeneration(GetParam()), 0);
  }
  void TearDown() override { primTestForceGeneration(0); }
  bool isPx() const { return GetParam() == primGenPx; }
};

inline PrimResult rows97(const float* l, int ls, const float* h, int hs, int w, int ht, float* d, int ds,
                         int ph) {
  return imgInvLift97Rows_32f_C1R(l, ls, h, hs, w, ht, d, ds, ph);
}

TEST_P(Lift97FloatTest, RowsEqualTheModelOfTheirArithmetic) {
  // Widths around the vector kernel's thresholds (21 and 22 new positions)
  // and its block of 514 positions.
  std::vector<int> widths;
  for (int w = 1; w <= 70; ++w) widths.push_back(w);
  for (int w : {513, 514, 515, 516, 1200, 2049}) widths.push_back(w);
  for (int phase : {0, 1})
    for (int w : widths)
      for (int off : {0, 1, 2}) {
        FloatRows rows(w, 1000.0f, off);
        std::vector<float> got(2 * w + 8, 7.0f);
        float* dst = got.data() + 1 + off;
        ASSERT_EQ(rows97(rows.L(), 4 * w, rows.H(), 4 * w, w, 1, dst, 8 * w, phase), 0);
        for (int i = 0; i < 1 + off; ++i) ASSERT_EQ(got[i], 7.0f);
        for (int i = 1 + off + 2 * w; i < 2 * w + 8; ++i) ASSERT_EQ(got[i], 7.0f);
        if (isPx()) continue;  // double precision: see RowsFollowTheSynthesisFilters
        const Model m = modelOf(GetParam());
        const auto want = w == 1 ? modelWidth1(rows.L(), rows.H(), phase == 0, m.fusedEnds)
                                 : modelRow([&](int i) { return rows.L()[i]; },
                                            [&](int i) { return rows.H()[i]; }, w, phase == 0, m);
        for (int i = 0; i < 2 * w; ++i)
          ASSERT_EQ(bits(dst[i]), bits(want[i])) << "width " << w << " phase " << phase << " sample " << i
                                                 << ": " << dst[i] << " vs " << want[i];
      }
}

TEST_P(Lift97FloatTest, RowsFollowTheSynthesisFilters) {
  // Every output lies within 2^-20 of the sum of the magnitudes of its
  // terms from the double-precision filters: a few units in the last place
  // of the largest term.  The single-precision constants alone account for
  // about 2^-24 of it.
  for (int phase : {0, 1})
    for (int w : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 24, 100, 600}) {
      FloatRows rows(w, 1000.0f);
      std::vector<float> got(2 * w);
      ASSERT_EQ(rows97(rows.L(), 4 * w, rows.H(), 4 * w, w, 1, got.data(), 8 * w, phase), 0);
      std::vector<double> ref, scale;
      convolve(rows.L(), rows.H(), w, phase == 0, ref, scale);
      for (int j = 0; j < 2 * w; ++j)
        EXPECT_NEAR(got[j], ref[j], scale[j] * 0x1p-20)
            << "width " << w << " phase " << phase << " sample " << j;
    }
}

TEST_P(Lift97FloatTest, RowWorkedValues) {
  float L[6] = {}, H[6] = {}, d[2];
  L[2] = 1000;
  ASSERT_EQ(rows97(L + 2, 24, H + 2, 24, 1, 1, d, 8, 0), 0);
  EXPECT_EQ(d[0], 1115.0870361328125f);
  EXPECT_EQ(d[1], 591.271728515625f);
  L[2] = 0;
  H[2] = 1000;
  ASSERT_EQ(rows97(L + 2, 24, H + 2, 24, 1, 1, d, 8, 0), 0);
  EXPECT_EQ(d[0], -266.8641357421875f);
  EXPECT_EQ(d[1], 602.9490356445312f);
  // Constant low rows give constant rows, to a few units in the last place.
  for (int phase : {0, 1})
    for (int w : {2, 3, 30, 700}) {
      std::vector<float> low(w + 6, 1.0f), high(w + 6, 0.0f), out(2 * w);
      ASSERT_EQ(rows97(low.data() + 3, 4 * w, high.data() + 3, 4 * w, w, 1, out.data(), 8 * w, phase), 0);
      for (float v : out) EXPECT_NEAR(v, 1.0f, 4 * 0x1p-23);
    }
  // Any non-zero phase is the odd phase.
  FloatRows rows(40, 100.0f);
  std::vector<float> d1(80), d7(80);
  ASSERT_EQ(rows97(rows.L(), 160, rows.H(), 160, 40, 1, d1.data(), 320, 1), 0);
  ASSERT_EQ(rows97(rows.L(), 160, rows.H(), 160, 40, 1, d7.data(), 320, 7), 0);
  EXPECT_TRUE(sameSamples(d1, d7));
}

TEST_P(Lift97FloatTest, RowArgumentChecksAndRowSteps) {
  float L[8] = {}, H[8] = {}, d[4] = {3, 3, 3, 3};
  EXPECT_EQ(rows97(L + 2, 8, H + 2, 8, 0, 1, nullptr, 8, 0), primResultNullPointer);
  EXPECT_EQ(rows97(L + 2, 8, H + 2, 8, 0, 1, d, 0, 0), primResultBadStep);
  EXPECT_EQ(rows97(L + 2, 8, H + 2, 8, 5, 0, d, 8, 0), primResultBadSize);
  EXPECT_EQ(rows97(L + 2, 8, H + 2, 8, 0, 1, d, 8, 0), primResultBadSize);
  for (float v : d) EXPECT_EQ(v, 3.0f);

  const int w = 45, ls = w + 9, hs = w + 12, ds = 2 * w + 5;
  Image<float> low(ls, 3, 3, 0), high(hs, 3, 3, 0);
  fillUniformF(low.buf, -50, 50);
  fillUniformF(high.buf, -50, 50);
  for (int phase : {0, 1}) {
    Image<float> dst(ds, 3, 1, -9.0f);
    ASSERT_EQ(rows97(low.row(0), low.stepBytes(), high.row(0), high.stepBytes(), w, 3, dst.row(0),
                     dst.stepBytes(), phase),
              0);
    for (int r = 0; r < 3; ++r) {
      std::vector<float> one(2 * w);
      ASSERT_EQ(rows97(low.row(r), 4, high.row(r), 4, w, 1, one.data(), 4, phase), 0);
      EXPECT_TRUE(sameSamples(one, std::vector<float>(dst.row(r), dst.row(r) + 2 * w)));
      for (int i = 2 * w; i < ds; ++i) EXPECT_EQ(dst.row(r)[i], -9.0f);
    }
  }
}

TEST_P(Lift97FloatTest, RowsReadOnlyTheirNeighbours) {
  for (int phase : {0, 1})
    for (int w : {1, 2, 3, 23, 24, 25, 60}) {
      const int lowFirst = phase == 0 ? -1 : -2;
      const int lowLast = phase == 0 ? std::max(w + 1, 2) : std::max(w, 1);
      const int highLast = std::max(w + 1, 2);
      std::vector<float> low(lowLast - lowFirst + 1), high(highLast + 3), d(2 * w);
      fillUniformF(low, -10, 10);
      fillUniformF(high, -10, 10);
      ASSERT_EQ(rows97(low.data() - lowFirst, 4, high.data() + 2, 4, w, 1, d.data(), 4, phase), 0);
    }
}

// --- Column step ---------------------------------------------------------------

inline PrimResult column97(const float* l, const float* hp, const float* hn, const float* ef, float* og,
                           float* ed, float* dodd, float* deven, int w) {
  return imgInvLift97ColumnStep_32f_C1(l, hp, hn, ef, og, ed, dodd, deven, w);
}

// Arithmetic of one element of the column step.
enum class ColumnArith { Double, Single, FusedVector, FusedOne };

struct ColumnValues {
  float de, dodd, ed, og;
};

// a1 and a2: the arithmetic of passes 1 and 2 (in the avx2 build each pass
// takes its own path); passes 3 and 4 follow a2.
ColumnValues modelColumn(float L, float Hp, float Hn, float Ef, float Og, float Ed, ColumnArith a1,
                         ColumnArith a2) {
  auto twoProducts = [&](ColumnArith a, float c, float x, float d, float s) -> float {
    switch (a) {
      case ColumnArith::Double:
        return static_cast<float>(double(c) * x - double(d) * s);
      case ColumnArith::Single:
        return c * x - d * s;
      case ColumnArith::FusedVector:
        return std::fma(c, x, -(d * s));
      case ColumnArith::FusedOne:
        return std::fma(-d, s, c * x);
    }
    return 0;
  };
  const ColumnArith a = a2;
  auto update = [&](float e, float d, float s) -> float {
    switch (a) {
      case ColumnArith::Double:
        return static_cast<float>(e - double(d) * s);
      case ColumnArith::Single:
        return e - d * s;
      default:
        return std::fma(-d, s, e);
    }
  };
  // Sums of two samples: in double for the generic build.
  auto add = [&](float x, float y) -> double {
    return a == ColumnArith::Double ? double(x) + y : double(x + y);
  };
  ColumnValues v;
  if (a == ColumnArith::Double) {
    v.de = static_cast<float>(double(K) * L - double(DK) * add(Hp, Hn));
    v.dodd = static_cast<float>(double(IK) * Hp - double(G) * add(Ed, v.de));
    v.ed = static_cast<float>(Ed - double(B) * add(Og, v.dodd));
    v.og = static_cast<float>(Og - double(A) * add(Ef, v.ed));
  } else {
    v.de = twoProducts(a1, K, L, DK, Hp + Hn);
    v.dodd = twoProducts(a2, IK, Hp, G, Ed + v.de);
    v.ed = update(Ed, B, Og + v.dodd);
    v.og = update(Og, A, Ef + v.ed);
  }
  return v;
}

// Which elements of a pass the avx2 build takes through its vector path.
std::vector<bool> avx2VectorElements(int width, const float* written, int longRow) {
  std::vector<bool> vec(width, false);
  if (width < 16) return vec;
  int i = 0;
  if (width >= longRow) {
    const auto addr = reinterpret_cast<std::uintptr_t>(written);
    if (addr % 4 != 0) return vec;
    i = static_cast<int>((32 - addr % 32) % 32 / 4);
  }
  for (; i + 16 <= width; i += 16)
    for (int k = 0; k < 16; ++k) vec[i + k] = true;
  if (i + 8 <= width)
    for (int k = 0; k < 8; ++k) vec[i + k] = true;
  return vec;
}

TEST_P(Lift97FloatTest, ColumnStepEqualsTheModelOfItsArithmetic) {
  for (int w : {1, 2, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 56, 57, 58, 64, 100, 1001})
    for (int off = 0; off < 8; ++off) {
      std::vector<float> rows[8];
      for (auto& r : rows) {
        r.resize(w + 16);
        fillUniformF(r, -1000, 1000);
      }
      const int o[8] = {off,           (off + 1) % 8, (off + 2) % 8, (off + 3) % 8,
                        (off + 5) % 8, (off * 3) % 8, (off * 5) % 8, 7 - off};
      float* p[8];
      for (int k = 0; k < 8; ++k) p[k] = rows[k].data() + 4 + o[k];
      const std::vector<float> og0(p[4], p[4] + w), ed0(p[5], p[5] + w);
      const std::vector<float> before[4] = {rows[4], rows[5], rows[6], rows[7]};
      ASSERT_EQ(column97(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], w), 0);
      const std::int32_t g = GetParam();
      const auto vecEven = avx2VectorElements(w, p[7], 57), vecOdd = avx2VectorElements(w, p[6], 57);
      for (int i = 0; i < w; ++i) {
        ColumnArith a1 = ColumnArith::Single, a2 = ColumnArith::Single;
        if (g == primGenPx) a1 = a2 = ColumnArith::Double;
        if (g == primGenAvx2) {
          a1 = vecEven[i] ? ColumnArith::FusedVector : ColumnArith::FusedOne;
          a2 = vecOdd[i] ? ColumnArith::FusedVector : ColumnArith::FusedOne;
        }
        const ColumnValues v = modelColumn(p[0][i], p[1][i], p[2][i], p[3][i], og0[i], ed0[i], a1, a2);
        SCOPED_TRACE(testing::Message() << "width " << w << " offset " << off << " index " << i);
        ASSERT_EQ(bits(p[7][i]), bits(v.de));
        ASSERT_EQ(bits(p[6][i]), bits(v.dodd));
        ASSERT_EQ(bits(p[5][i]), bits(v.ed));
        ASSERT_EQ(bits(p[4][i]), bits(v.og));
      }
      // Nothing outside the written rows changes.
      for (int k = 4; k < 8; ++k)
        for (int i = 0; i < w + 16; ++i)
          if (i < 4 + o[k] || i >= 4 + o[k] + w) {
            ASSERT_EQ(bits(rows[k][i]), bits(before[k - 4][i]));
          }
    }
}

TEST_P(Lift97FloatTest, ColumnBitPatterns) {
  // L = 1 alone: the same in every build.
  for (int w : {1, 16}) {
    std::vector<float> L(w, 1.0f), Z(w, 0.0f), Og(w, 0.0f), Ed(w, 0.0f), Do(w), De(w);
    ASSERT_EQ(column97(L.data(), Z.data(), Z.data(), Z.data(), Og.data(), Ed.data(), Do.data(), De.data(), w),
              0);
    for (int i = 0; i < w; ++i) {
      EXPECT_EQ(bits(De[i]), 0x3F9D7658u);
      EXPECT_EQ(bits(Do[i]), 0xBF8B0673u);
      EXPECT_EQ(bits(Ed[i]), 0xBD6BB2C2u);
      EXPECT_EQ(bits(Og[i]), 0xBDBAECB0u);
    }
  }
  // L = 1, Hp = 1, Hn = 2: the generic build and the avx2 element path round
  // one way, the single-precision builds and the avx2 vector path the other.
  for (int w : {1, 15, 16}) {
    std::vector<float> L(w, 1.0f), Hp(w, 1.0f), Hn(w, 2.0f), Z(w, 0.0f), Og(w, 0.0f), Ed(w, 0.0f), Do(w),
        De(w);
    ASSERT_EQ(
        column97(L.data(), Hp.data(), Hn.data(), Z.data(), Og.data(), Ed.data(), Do.data(), De.data(), w), 0);
    const bool first = GetParam() == primGenPx || (GetParam() == primGenAvx2 && w < 16);
    for (int i = 0; i < w; ++i) {
      EXPECT_EQ(bits(De[i]), first ? 0x3E182B6Cu : 0x3E182B70u) << w;
      EXPECT_EQ(bits(Do[i]), first ? 0x3F2E8338u : 0x3F2E8337u) << w;
      EXPECT_EQ(bits(Ed[i]), first ? 0x3D13EE60u : 0x3D13EE5Fu) << w;
      EXPECT_EQ(bits(Og[i]), first ? 0x3D6AA380u : 0x3D6AA37Fu) << w;
    }
  }
}

TEST_P(Lift97FloatTest, ColumnOverlappingRowsRunInIndexOrder) {
  // pDstEven one sample after pLowRow: each sample takes the value written
  // just before as its low sample.
  for (int w : {5, 16, 40, 100}) {
    std::vector<float> low(w + 1), Hp(w), Hn(w), Ef(w), Og(w), Ed(w), Do(w);
    for (auto* v : {&low, &Hp, &Hn, &Ef, &Og, &Ed}) fillUniformF(*v, -10, 10);
    const std::vector<float> low0 = low, og0 = Og, ed0 = Ed;
    ASSERT_EQ(column97(low.data(), Hp.data(), Hn.data(), Ef.data(), Og.data(), Ed.data(), Do.data(),
                       low.data() + 1, w),
              0);
    ColumnArith a = GetParam() == primGenPx     ? ColumnArith::Double
                    : GetParam() == primGenAvx2 ? ColumnArith::FusedOne
                                                : ColumnArith::Single;
    float prev = low0[0];
    for (int i = 0; i < w; ++i) {
      const ColumnValues v = modelColumn(prev, Hp[i], Hn[i], Ef[i], og0[i], ed0[i], a, a);
      ASSERT_EQ(bits(low[i + 1]), bits(v.de)) << "width " << w << " index " << i;
      prev = v.de;
    }
  }
}

TEST_P(Lift97FloatTest, ColumnArgumentChecksAndWidthOne) {
  float a[4] = {1, 2, 3, 4}, b[8] = {5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(column97(a, a, a, a, b, b + 2, b + 4, nullptr, 0), primResultNullPointer);
  EXPECT_EQ(column97(nullptr, a, a, a, b, b + 2, b + 4, b + 6, 1), primResultNullPointer);
  EXPECT_EQ(column97(a, a, a, a, b, b + 2, b + 4, b + 6, 0), primResultBadSize);
  EXPECT_EQ(column97(a, a, a, a, b, b + 2, b + 4, b + 6, -1), primResultBadSize);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(b[i], 5.0f + i);
  ASSERT_EQ(column97(a, a, a, a, b, b + 2, b + 4, b + 6, 1), 0);
  for (int i : {1, 3, 5, 7}) EXPECT_EQ(b[i], 5.0f + i);  // only index 0 of each row changes
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, Lift97FloatTest, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

}  // namespace
