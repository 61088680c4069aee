// Inverse 9/7 lifting in Q16 fixed point, along rows and down columns.
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

// --- An exact model of the Q16 lifting, written from its formulas ---------

long long R(long long p) { return (p + 32768) >> 16; }  // floor((p + 32768) / 65536)
long long sat(long long v) { return std::clamp(v, -32768LL, 32767LL); }
long long first(long long l, long long s) { return sat(R(80621 * l - 23627 * s)); }
long long second(long long h, long long s) { return sat(R(53274 * h - 57862 * s)); }
long long beta(long long e, long long s) { return sat(e - R(-3472 * s)); }
long long alpha(long long o, long long s) { return sat(o - R(-103949 * s)); }

// One row of width 2 or more: low samples at L(i), high samples at H(i),
// indices from -2.
template <class FL, class FH>
std::vector<Prim16s> modelRow(FL L, FH H, int w, bool phase0) {
  // Index shift of 4 so that arrays start at -4.
  auto idx = [](int i) { return i + 4; };
  std::vector<long long> e(w + 8), o(w + 8), ep(w + 8), op(w + 8);
  std::vector<Prim16s> out(2 * w);
  if (phase0) {
    for (int i = -1; i <= w + 1; ++i) e[idx(i)] = first(L(i), H(i - 1) + H(i));
    for (int i = -1; i <= w; ++i) o[idx(i)] = second(H(i), e[idx(i)] + e[idx(i + 1)]);
    for (int i = 0; i <= w; ++i) ep[idx(i)] = beta(e[idx(i)], o[idx(i - 1)] + o[idx(i)]);
    for (int i = 0; i < w; ++i) op[idx(i)] = alpha(o[idx(i)], ep[idx(i)] + ep[idx(i + 1)]);
    for (int i = 0; i < w; ++i) {
      out[2 * i] = static_cast<Prim16s>(ep[idx(i)]);
      out[2 * i + 1] = static_cast<Prim16s>(op[idx(i)]);
    }
  } else {
    for (int i = -2; i <= w; ++i) e[idx(i)] = first(L(i), H(i) + H(i + 1));
    for (int i = -1; i <= w; ++i) o[idx(i)] = second(H(i), e[idx(i - 1)] + e[idx(i)]);
    for (int i = -1; i < w; ++i) ep[idx(i)] = beta(e[idx(i)], o[idx(i)] + o[idx(i + 1)]);
    for (int i = 0; i < w; ++i) op[idx(i)] = alpha(o[idx(i)], ep[idx(i - 1)] + ep[idx(i)]);
    for (int i = 0; i < w; ++i) {
      out[2 * i] = static_cast<Prim16s>(op[idx(i)]);
      out[2 * i + 1] = static_cast<Prim16s>(ep[idx(i)]);
    }
  }
  return out;
}

// Synthesis filters of the irreversible 9/7 in double precision, as
// tabulated in the standard (low-pass g0 and high-pass g1, index 0 first).
const double g0[] = {1.115087052456994, 0.5912717631142470, -0.05754352622849957, -0.09127176311424948};
const double g1[] = {0.6029490182363579, -0.2668641184428723, -0.07822326652898785, 0.01686411844287495,
                     0.02674875741080976};
double tap0(int m) { return std::abs(m) <= 3 ? g0[std::abs(m)] : 0.0; }
double tap1(int m) { return std::abs(m) <= 4 ? g1[std::abs(m)] : 0.0; }

// Direct convolution: phase 0 puts L[k] at position 2k and H[k] at 2k+1,
// output sample j at position j; other phase puts H[k] at 2k-1, output j at
// position j-1.  Sources are read from index lo to hi.
template <class T>
std::vector<double> convolve(const T* L, const T* H, int w, bool phase0, int lo, int hi) {
  std::vector<double> out(2 * w);
  for (int j = 0; j < 2 * w; ++j) {
    const int m = phase0 ? j : j - 1;
    double s = 0;
    for (int k = lo; k <= hi; ++k) {
      s += L[k] * tap0(m - 2 * k);
      s += H[k] * tap1(m - (phase0 ? 2 * k + 1 : 2 * k - 1));
    }
    out[j] = s;
  }
  return out;
}

inline PrimResult rows97(const Prim16s* l, int ls, const Prim16s* h, int hs, int w, int ht, Prim16s* d,
                         int ds, int ph) {
  return imgInvLift97Rows_16s_C1R(l, ls, h, hs, w, ht, d, ds, ph);
}

class Lift97FixedTest : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam()))
      GTEST_SKIP() << "this processor cannot run the " << generationName(GetParam()) << " builds";
    ASSERT_EQ(primTestForceGeneration(GetParam()), 0);
  }
  void TearDown() override { primTestForceGeneration(0); }
};

// Rows with a margin of 3 samples before and after, random in [lo, hi].
struct FixedRows {
  std::vector<Prim16s> low, high;
  int w;
  FixedRows(int w_, int lo, int hi, int offset = 0) : low(w_ + 6 + offset), high(w_ + 6 + offset), w(w_) {
    fillUniform(low, lo, hi);
    fillUniform(high, lo, hi);
  }
  const Prim16s* L() const { return low.data() + 3 + (low.size() - w - 6); }
  const Prim16s* H() const { return high.data() + 3 + (high.size() - w - 6); }
};

void checkRowAgainstModel(int w, int phase, int lo, int hi, int offset) {
  FixedRows rows(w, lo, hi, offset);
  std::vector<Prim16s> got(2 * w + 16, 0x7777);
  const int dstOff = 4 + (offset * 3) % 5;
  Prim16s* dst = got.data() + dstOff;
  ASSERT_EQ(rows97(rows.L(), 2 * w, rows.H(), 2 * w, w, 1, dst, 4 * w, phase), 0);
  const auto want =
      modelRow([&](int i) { return rows.L()[i]; }, [&](int i) { return rows.H()[i]; }, w, phase == 0);
  for (int i = 0; i < 2 * w; ++i)
    ASSERT_EQ(dst[i], want[i]) << "width " << w << " phase " << phase << " sample " << i;
  for (int i = 0; i < dstOff; ++i) ASSERT_EQ(got[i], 0x7777);
  for (int i = dstOff + 2 * w; i < 2 * w + 16; ++i) ASSERT_EQ(got[i], 0x7777);
}

TEST_P(Lift97FixedTest, RowsEqualTheExactModel) {
  for (int phase : {0, 1})
    for (int w = 2; w <= 70; ++w) {
      checkRowAgainstModel(w, phase, -32768, 32767, w % 8);
      checkRowAgainstModel(w, phase, -3000, 3000, (w + 3) % 8);
    }
  // Several blocks of the vector middle, full range and saturating rows.
  for (int phase : {0, 1})
    for (int w : {1409, 1410, 1411, 1412, 3000, 4100}) {
      checkRowAgainstModel(w, phase, -32768, 32767, w % 5);
      checkRowAgainstModel(w, phase, 20000, 32767, 1);
    }
}

TEST_P(Lift97FixedTest, RowsFollowTheSynthesisFilters) {
  // Moderate samples stay clear of saturation.  Each step rounds once (0.5)
  // and passes on its inputs' errors times its constant: the first step is
  // off by at most 0.5, the second by 0.5 + 2 x 0.883 x 0.5 = 1.39, the beta
  // step by 1 + 2 x 0.053 x 1.39 = 1.15 and the alpha step by 1.39 + 0.5 +
  // 2 x 1.586 x 1.15 = 5.54; the Q16 constants add about 0.1 at this range.
  for (int phase : {0, 1})
    for (int w : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 33, 100}) {
      FixedRows rows(w, -4000, 4000);
      std::vector<Prim16s> got(2 * w);
      ASSERT_EQ(rows97(rows.L(), 2 * w, rows.H(), 2 * w, w, 1, got.data(), 4 * w, phase), 0);
      const auto ref = convolve(rows.L(), rows.H(), w, phase == 0, -2, w + 1);
      for (int j = 0; j < 2 * w; ++j)
        EXPECT_NEAR(got[j], ref[j], (j % 2 == 0) == (phase == 0) ? 1.3 : 5.7)
            << "width " << w << " phase " << phase << " sample " << j;
    }
}

TEST_P(Lift97FixedTest, RowWorkedValues) {
  // Width 1, phase 0, a single low or high sample of 1000.
  Prim16s L[6] = {}, H[6] = {}, d[2];
  L[2] = 1000;
  ASSERT_EQ(rows97(L + 2, 12, H + 2, 12, 1, 1, d, 4, 0), 0);
  EXPECT_EQ(d[0], 1115);
  EXPECT_EQ(d[1], 591);
  L[2] = 0;
  H[2] = 1000;
  ASSERT_EQ(rows97(L + 2, 12, H + 2, 12, 1, 1, d, 4, 0), 0);
  EXPECT_EQ(d[0], -267);
  EXPECT_EQ(d[1], 603);
  // Any non-zero phase is the odd phase.
  for (int w : {1, 2, 40}) {
    FixedRows rows(w, -32768, 32767);
    std::vector<Prim16s> d1(2 * w), d7(2 * w);
    ASSERT_EQ(rows97(rows.L(), 2 * w, rows.H(), 2 * w, w, 1, d1.data(), 4 * w, 1), 0);
    ASSERT_EQ(rows97(rows.L(), 2 * w, rows.H(), 2 * w, w, 1, d7.data(), 4 * w, 7), 0);
    EXPECT_TRUE(sameSamples(d1, d7));
  }
  // Every low sample 32767, every high 0: the saturated low-derived values
  // are the same in the middle of a row as at its ends.
  for (int phase : {0, 1}) {
    const int w = 40;
    std::vector<Prim16s> low(w + 6, 32767), high(w + 6, 0), d(2 * w);
    ASSERT_EQ(rows97(low.data() + 3, 2 * w, high.data() + 3, 2 * w, w, 1, d.data(), 4 * w, phase), 0);
    const Prim16s lowDerived = d[phase == 0 ? 0 : 1];
    for (int i = 0; i < w; ++i) EXPECT_EQ(d[2 * i + (phase == 0 ? 0 : 1)], lowDerived) << i;
  }
}

TEST_P(Lift97FixedTest, RowArgumentChecksAndRowSteps) {
  Prim16s L[8] = {}, H[8] = {}, d[8];
  std::fill(d, d + 8, Prim16s(5));
  EXPECT_EQ(rows97(L + 2, 8, H + 2, 8, 0, 1, nullptr, 8, 0), primResultNullPointer);
  EXPECT_EQ(rows97(L + 2, 8, nullptr, 8, 1, 1, d, 8, 0), primResultNullPointer);
  EXPECT_EQ(rows97(L + 2, 8, H + 2, 8, 0, 1, d, 0, 0), primResultBadStep);
  EXPECT_EQ(rows97(L + 2, 8, H + 2, -2, 1, 1, d, 8, 0), primResultBadStep);
  EXPECT_EQ(rows97(L + 2, 8, H + 2, 8, 0, 1, d, 8, 0), primResultBadSize);
  EXPECT_EQ(rows97(L + 2, 8, H + 2, 8, 1, 0, d, 8, 0), primResultBadSize);
  for (Prim16s v : d) EXPECT_EQ(v, 5);

  // Three rows with steps larger than the rows.
  const int w = 37, ls = w + 11, hs = w + 7, ds = 2 * w + 9;
  Image<Prim16s> low(ls, 3, 3, 0), high(hs, 3, 3, 0);
  fillUniform(low.buf, -32768, 32767);
  fillUniform(high.buf, -32768, 32767);
  for (int phase : {0, 2}) {
    Image<Prim16s> dst(ds, 3, 2, 0x2222);
    ASSERT_EQ(rows97(low.row(0), low.stepBytes(), high.row(0), high.stepBytes(), w, 3, dst.row(0),
                     dst.stepBytes(), phase),
              0);
    for (int r = 0; r < 3; ++r) {
      const auto want = modelRow([&](int i) { return low.row(r)[i]; }, [&](int i) { return high.row(r)[i]; },
                                 w, phase == 0);
      EXPECT_TRUE(sameSamples(want, std::vector<Prim16s>(dst.row(r), dst.row(r) + 2 * w)));
      for (int i = 2 * w; i < ds; ++i) EXPECT_EQ(dst.row(r)[i], 0x2222);
    }
  }
}

TEST_P(Lift97FixedTest, RowsReadOnlyTheirNeighbours) {
  // Rows exactly as long as the samples the primitive may read.
  for (int phase : {0, 1})
    for (int w : {1, 2, 3, 4, 9, 17, 24, 25, 40}) {
      const int lowFirst = phase == 0 ? -1 : -2;
      const int lowLast = phase == 0 ? std::max(w + 1, 2) : std::max(w, 1);
      const int highLast = std::max(w + 1, 2);
      std::vector<Prim16s> low(lowLast - lowFirst + 1), high(highLast + 3), d(2 * w);
      fillUniform(low, -32768, 32767);
      fillUniform(high, -32768, 32767);
      ASSERT_EQ(rows97(low.data() - lowFirst, 2, high.data() + 2, 2, w, 1, d.data(), 2, phase), 0);
      std::vector<Prim16s> want(2 * w);
      ASSERT_EQ(px_imgInvLift97Rows_16s_C1R(low.data() - lowFirst, 2, high.data() + 2, 2, w, 1, want.data(),
                                            2, phase),
                0);
      EXPECT_TRUE(sameSamples(want, d));
    }
}

// --- Column step ---------------------------------------------------------------

struct ColumnCase {
  Prim16s L, Hp, Hn, Ef, Og, Ed;
  Prim16s de, dout, ed, og;  // pDstEven, pDstOdd, pEvenDelta, pOddGamma after the step
};

TEST_P(Lift97FixedTest, ColumnWorkedValues) {
  const ColumnCase cases[] = {
      {1000, 0, 0, 0, 0, 0, 1230, -1086, -58, -92},     {10000, 0, 0, 0, 0, 0, 12302, -10861, -575, -912},
      {0, 1000, 0, 0, 0, 0, -361, 1132, 60, 95},        {0, 0, 1000, 0, 0, 0, -361, 319, 17, 27},
      {0, 0, 0, 0, 2048, 0, 0, 0, 108, 2219},           {0, 0, 0, 10000, 0, 0, 0, 0, 0, 15861},
      {32767, -32768, -32768, 0, 0, 0, 32767, 0, 0, 0}, {0, 32767, 0, 0, 0, -32768, 0, 32767, 0, 0},
  };
  for (const auto& c : cases) {
    // Width 17 carries the case at every index, through vector and scalar code.
    const int w = 17;
    std::vector<Prim16s> L(w, c.L), Hp(w, c.Hp), Hn(w, c.Hn), Ef(w, c.Ef), Og(w, c.Og), Ed(w, c.Ed), Do(w),
        De(w);
    ASSERT_EQ(imgInvLift97ColumnStep_16s_C1(L.data(), Hp.data(), Hn.data(), Ef.data(), Og.data(), Ed.data(),
                                            Do.data(), De.data(), w),
              0);
    for (int i = 0; i < w; ++i) {
      SCOPED_TRACE(testing::Message() << "case L=" << c.L << " Hp=" << c.Hp << " index " << i);
      if (c.L == 32767 || c.Hp == 32767) {
        // Only the saturating pass is given for these cases.
        if (c.L == 32767) {
          EXPECT_EQ(De[i], c.de);
        } else {
          EXPECT_EQ(Do[i], c.dout);
        }
        continue;
      }
      EXPECT_EQ(De[i], c.de);
      EXPECT_EQ(Do[i], c.dout);
      EXPECT_EQ(Ed[i], c.ed);
      EXPECT_EQ(Og[i], c.og);
    }
  }
}

TEST_P(Lift97FixedTest, ColumnStepEqualsTheExactModel) {
  for (int w : {1, 2, 7, 8, 15, 16, 17, 33, 64, 71, 1000})
    for (int off = 0; off < 8; off += (w > 100 ? 3 : 1)) {
      std::vector<Prim16s> in[4], io[2];
      for (auto& v : in) {
        v.resize(w + 8);
        fillUniform(v, -32768, 32767);
      }
      for (auto& v : io) {
        v.resize(w + 8);
        fillUniform(v, -32768, 32767);
      }
      const std::vector<Prim16s> og0 = io[0], ed0 = io[1];
      std::vector<Prim16s> dOdd(w + 16, 0x3333), dEven(w + 16, 0x3333);
      const int o[4] = {off, (off + 1) % 8, (off + 5) % 8, (off * 3) % 8};
      ASSERT_EQ(imgInvLift97ColumnStep_16s_C1(in[0].data() + o[0], in[1].data() + o[1], in[2].data() + o[2],
                                              in[3].data() + o[3], io[0].data() + o[2], io[1].data() + o[1],
                                              dOdd.data() + 4 + o[3], dEven.data() + 4 + o[0], w),
                0);
      for (int i = 0; i < w; ++i) {
        const long long L = in[0][o[0] + i], Hp = in[1][o[1] + i], Hn = in[2][o[2] + i], Ef = in[3][o[3] + i],
                        Og = og0[o[2] + i], Ed = ed0[o[1] + i];
        const long long De = first(L, Hp + Hn);
        const long long Do = second(Hp, Ed + De);
        const long long Ed2 = beta(Ed, Og + Do);
        const long long Og2 = alpha(Og, Ef + Ed2);
        ASSERT_EQ(dEven[4 + o[0] + i], De) << "width " << w << " index " << i;
        ASSERT_EQ(dOdd[4 + o[3] + i], Do) << "width " << w << " index " << i;
        ASSERT_EQ(io[1][o[1] + i], Ed2) << "width " << w << " index " << i;
        ASSERT_EQ(io[0][o[2] + i], Og2) << "width " << w << " index " << i;
      }
      // Nothing outside the rows changes.
      for (int i = 0; i < 4 + o[3]; ++i) ASSERT_EQ(dOdd[i], 0x3333);
      for (int i = 4 + o[3] + w; i < w + 16; ++i) ASSERT_EQ(dOdd[i], 0x3333);
      for (int i = 0; i < o[2]; ++i) ASSERT_EQ(io[0][i], og0[i]);
      for (int i = o[2] + w; i < w + 8; ++i) ASSERT_EQ(io[0][i], og0[i]);
    }
}

TEST_P(Lift97FixedTest, ColumnStepAtTheCornersOfTheRange) {
  // Every combination of extreme samples in the six input rows, one per
  // index: the widest products and sums the 32-bit lanes must hold.
  const Prim16s v[] = {-32768, -32767, -16385, -1, 0, 1, 16384, 32766, 32767};
  const int n = 9, w = n * n * n * n * n * n;
  std::vector<Prim16s> L(w), Hp(w), Hn(w), Ef(w), Og(w), Ed(w), Do(w), De(w);
  for (int i = 0, k = 0; k < w; ++k, i = k) {
    for (auto* r : {&L, &Hp, &Hn, &Ef, &Og, &Ed}) {
      (*r)[k] = v[i % n];
      i /= n;
    }
  }
  const std::vector<Prim16s> og0 = Og, ed0 = Ed;
  ASSERT_EQ(imgInvLift97ColumnStep_16s_C1(L.data(), Hp.data(), Hn.data(), Ef.data(), Og.data(), Ed.data(),
                                          Do.data(), De.data(), w),
            0);
  for (int i = 0; i < w; ++i) {
    const long long de = first(L[i], Hp[i] + Hn[i]);
    const long long dout = second(Hp[i], ed0[i] + de);
    const long long ed = beta(ed0[i], og0[i] + dout);
    const long long og = alpha(og0[i], Ef[i] + ed);
    ASSERT_EQ(De[i], de) << i;
    ASSERT_EQ(Do[i], dout) << i;
    ASSERT_EQ(Ed[i], ed) << i;
    ASSERT_EQ(Og[i], og) << i;
  }
}

TEST_P(Lift97FixedTest, ColumnArgumentChecks) {
  Prim16s a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
  EXPECT_EQ(imgInvLift97ColumnStep_16s_C1(a, a, a, a, b, b + 1, b + 2, nullptr, 0), primResultNullPointer);
  EXPECT_EQ(imgInvLift97ColumnStep_16s_C1(a, a, a, nullptr, b, b + 1, b + 2, b + 3, 1),
            primResultNullPointer);
  EXPECT_EQ(imgInvLift97ColumnStep_16s_C1(a, a, a, a, b, b + 1, b + 2, b + 3, 0), primResultBadSize);
  EXPECT_EQ(imgInvLift97ColumnStep_16s_C1(a, a, a, a, b, b + 1, b + 2, b + 3, -3), primResultBadSize);
  EXPECT_EQ(b[0] + b[1] + b[2] + b[3], 26);
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, Lift97FixedTest, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

}  // namespace
