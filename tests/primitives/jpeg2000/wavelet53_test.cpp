// Inverse 5/3 lifting along rows and down columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "primitives/jpeg2000/wavelet.h"
#include "primitives/jpeg2000/wavelet_builds.h"
#include "tests/primitives/jpeg2000/wavelet_test_util.h"
#include "tests/support/generations.h"

using namespace wavelet_test;

namespace {

// Forward reversible 5/3 of x (even length, whole-sample symmetric extension
// at both ends) straight from the standard's lifting formulas:
//   H[n] = x[2n+1] - floor((x[2n] + x[2n+2]) / 2)
//   L[n] = x[2n] + floor((H[n-1] + H[n] + 2) / 4)
void forward53(const std::vector<long long>& x, std::vector<long long>& low, std::vector<long long>& high) {
  const int n = static_cast<int>(x.size());
  auto X = [&](int i) {
    while (i < 0 || i >= n) i = i < 0 ? -i : 2 * (n - 1) - i;
    return x[i];
  };
  auto floorDiv = [](long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  high.assign(n / 2, 0);
  low.assign(n / 2, 0);
  for (int k = 0; k < n / 2; ++k) high[k] = X(2 * k + 1) - floorDiv(X(2 * k) + X(2 * k + 2), 2);
  for (int k = 0; k < n / 2; ++k) {
    const long long hPrev = k > 0 ? high[k - 1] : high[0];
    low[k] = X(2 * k) + floorDiv(hPrev + high[k] + 2, 4);
  }
}

template <class T>
std::vector<T> narrow(const std::vector<long long>& v) {
  return std::vector<T>(v.begin(), v.end());
}

// Calls the public entry (whatever generation is forced).
inline PrimResult rows53(const Prim16s* l, int ls, const Prim16s* h, int hs, int w, int ht, Prim16s* d,
                         int ds, int ph) {
  return imgInvLift53Rows_16s_C1R(l, ls, h, hs, w, ht, d, ds, ph);
}
inline PrimResult rows53(const Prim32s* l, int ls, const Prim32s* h, int hs, int w, int ht, Prim32s* d,
                         int ds, int ph) {
  return imgInvLift53Rows_32s_C1R(l, ls, h, hs, w, ht, d, ds, ph);
}
inline PrimResult rows53Px(const Prim16s* l, int ls, const Prim16s* h, int hs, int w, int ht, Prim16s* d,
                           int ds, int ph) {
  return px_imgInvLift53Rows_16s_C1R(l, ls, h, hs, w, ht, d, ds, ph);
}
inline PrimResult rows53Px(const Prim32s* l, int ls, const Prim32s* h, int hs, int w, int ht, Prim32s* d,
                           int ds, int ph) {
  return px_imgInvLift53Rows_32s_C1R(l, ls, h, hs, w, ht, d, ds, ph);
}
inline PrimResult column53(const Prim16s* l, const Prim16s* hp, const Prim16s* hn, const Prim16s* e,
                           Prim16s* o, Prim16s* ev, int w) {
  return imgInvLift53ColumnStep_16s_C1(l, hp, hn, e, o, ev, w);
}
inline PrimResult column53(const Prim32s* l, const Prim32s* hp, const Prim32s* hn, const Prim32s* e,
                           Prim32s* o, Prim32s* ev, int w) {
  return imgInvLift53ColumnStep_32s_C1(l, hp, hn, e, o, ev, w);
}
inline PrimResult column53Px(const Prim16s* l, const Prim16s* hp, const Prim16s* hn, const Prim16s* e,
                             Prim16s* o, Prim16s* ev, int w) {
  return px_imgInvLift53ColumnStep_16s_C1(l, hp, hn, e, o, ev, w);
}
inline PrimResult column53Px(const Prim32s* l, const Prim32s* hp, const Prim32s* hn, const Prim32s* e,
                             Prim32s* o, Prim32s* ev, int w) {
  return px_imgInvLift53ColumnStep_32s_C1(l, hp, hn, e, o, ev, w);
}

// Every generation including px, through the public entry.
class Lift53Test : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam()))
      GTEST_SKIP() << "this processor cannot run the " << generationName(GetParam()) << " builds";
    ASSERT_EQ(primTestForceGeneration(GetParam()), 0);
  }
  void TearDown() override { primTestForceGeneration(0); }
};

// Rebuilds the interior of a line from its forward transform and compares
// with the line: phase 0 starts the output at x[4], other phase at x[5].
template <class T>
void roundTripRows(int width, int phase, long long range) {
  const int n = 2 * (width + 4);
  std::vector<long long> x(n), low, high;
  std::uniform_int_distribution<long long> d(-range, range - 1);
  for (auto& v : x) v = d(rng());
  forward53(x, low, high);
  const std::vector<T> L = narrow<T>(low), H = narrow<T>(high);
  std::vector<T> out(2 * width + 2, T(0x5a5a));
  const int first = phase == 0 ? 4 : 5;
  const T* pLow = phase == 0 ? &L[2] : &L[3];
  ASSERT_EQ(rows53(pLow, 1000, &H[2], 1000, width, 1, out.data() + 1, 1000, phase), 0);
  for (int i = 0; i < 2 * width; ++i)
    ASSERT_EQ(out[i + 1], static_cast<T>(x[first + i])) << "width " << width << " sample " << i;
  EXPECT_EQ(out[0], T(0x5a5a));
  EXPECT_EQ(out[2 * width + 1], T(0x5a5a));
}

TEST_P(Lift53Test, RowsInvertTheForwardTransform) {
  for (int phase : {0, 1}) {
    for (int w = 1; w <= 40; ++w) {
      roundTripRows<Prim16s>(w, phase, 8192);
      roundTripRows<Prim32s>(w, phase, 1 << 28);
    }
    for (int w : {63, 64, 65, 200, 1001}) {
      roundTripRows<Prim16s>(w, phase, 8192);
      roundTripRows<Prim32s>(w, phase, 1 << 28);
    }
  }
}

// A column pipeline as the decoder runs it, for `width` independent columns
// of `rows` samples: the test makes the first and the last row, the step
// every pair between.
template <class T>
void roundTripColumns(int width, int rows, long long range) {
  std::vector<std::vector<long long>> x(width), low(width), high(width);
  std::uniform_int_distribution<long long> d(-range, range - 1);
  for (int c = 0; c < width; ++c) {
    x[c].resize(rows);
    for (auto& v : x[c]) v = d(rng());
    forward53(x[c], low[c], high[c]);
  }
  const int half = rows / 2;
  std::vector<std::vector<T>> L(half, std::vector<T>(width)), H(half, std::vector<T>(width));
  for (int n = 0; n < half; ++n)
    for (int c = 0; c < width; ++c) {
      L[n][c] = static_cast<T>(low[c][n]);
      H[n][c] = static_cast<T>(high[c][n]);
    }
  std::vector<std::vector<T>> out(rows, std::vector<T>(width));
  for (int c = 0; c < width; ++c) out[0][c] = static_cast<T>(L[0][c] - ((2LL * H[0][c] + 2) >> 2));
  for (int n = 1; n < half; ++n)
    ASSERT_EQ(column53(L[n].data(), H[n - 1].data(), H[n].data(), out[2 * n - 2].data(),
                       out[2 * n - 1].data(), out[2 * n].data(), width),
              0);
  for (int c = 0; c < width; ++c) out[rows - 1][c] = static_cast<T>(H[half - 1][c] + out[rows - 2][c]);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < width; ++c)
      ASSERT_EQ(out[r][c], static_cast<T>(x[c][r])) << "row " << r << " column " << c;
}

TEST_P(Lift53Test, ColumnStepsInvertTheForwardTransform) {
  for (int w : {1, 2, 7, 8, 9, 16, 31, 32, 33, 70}) {
    roundTripColumns<Prim16s>(w, 10, 8192);
    roundTripColumns<Prim32s>(w, 10, 1 << 28);
  }
  roundTripColumns<Prim16s>(333, 6, 8192);
  roundTripColumns<Prim32s>(333, 6, 1 << 28);
}

TEST_P(Lift53Test, ArgumentChecksComeFirstAndWriteNothing) {
  Prim16s l[8] = {}, h[8] = {}, d[8];
  std::fill(d, d + 8, Prim16s(77));
  EXPECT_EQ(rows53(l + 2, 8, h + 2, 8, 0, 1, nullptr, 8, 0), primResultNullPointer);
  EXPECT_EQ(rows53(nullptr, 8, h + 2, 8, 1, 1, d, 8, 0), primResultNullPointer);
  EXPECT_EQ(rows53(l + 2, 8, h + 2, 8, 0, 1, d, 0, 0), primResultBadStep);
  EXPECT_EQ(rows53(l + 2, 8, h + 2, 8, 0, 1, d, -4, 0), primResultBadStep);
  EXPECT_EQ(rows53(l + 2, 0, h + 2, 8, 1, 1, d, 8, 0), primResultBadStep);
  EXPECT_EQ(rows53(l + 2, 8, h + 2, 8, 0, 1, d, 8, 0), primResultBadSize);
  EXPECT_EQ(rows53(l + 2, 8, h + 2, 8, 1, -1, d, 8, 0), primResultBadSize);
  Prim32s l32[4] = {}, h32[4] = {}, d32[4] = {};
  EXPECT_EQ(rows53(l32 + 1, 8, h32 + 1, 8, 1, 0, d32, 8, 1), primResultBadSize);
  for (Prim16s v : d) EXPECT_EQ(v, 77);

  EXPECT_EQ(column53(l, h, h, l, nullptr, d, 0), primResultNullPointer);
  EXPECT_EQ(column53(l, h, nullptr, l, d, d + 4, 4), primResultNullPointer);
  EXPECT_EQ(column53(l, h, h, l, d, d + 4, 0), primResultBadSize);
  EXPECT_EQ(column53(l32, h32, h32, l32, d32, d32 + 2, -1), primResultBadSize);
  for (Prim16s v : d) EXPECT_EQ(v, 77);
}

TEST_P(Lift53Test, WorkedValues) {
  // Floors, not truncation: e = 0 - floor(-1/4) = 1, o = -3 + floor(-1/2) = -4.
  {
    const Prim16s L[1] = {0}, Hp[1] = {-3}, Hn[1] = {0}, E[1] = {-2};
    Prim16s o[1], e[1];
    ASSERT_EQ(column53(L, Hp, Hn, E, o, e, 1), 0);
    EXPECT_EQ(e[0], 1);
    EXPECT_EQ(o[0], -4);
    const Prim32s L2[1] = {100}, Hp2[1] = {20}, Hn2[1] = {30}, E2[1] = {50};
    Prim32s o2[1], e2[1];
    ASSERT_EQ(column53(L2, Hp2, Hn2, E2, o2, e2, 1), 0);
    EXPECT_EQ(e2[0], 87);
    EXPECT_EQ(o2[0], 88);
  }
  // 32 bits: 2^30 + 2^30 + 2 wraps to 2 - 2^31.
  {
    const Prim32s L[1] = {0}, Hp[1] = {1 << 30}, E[1] = {0};
    Prim32s o[1], e[1];
    ASSERT_EQ(column53(L, Hp, Hp, E, o, e, 1), 0);
    EXPECT_EQ(e[0], 1 << 29);
    EXPECT_EQ(o[0], (1 << 30) + (1 << 28));
  }
  // 16 bits beyond the range where lane sums would wrap: sums stay exact.
  {
    const Prim16s L[1] = {0}, Hp[1] = {16383}, E[1] = {0};
    Prim16s o[1], e[1];
    ASSERT_EQ(column53(L, Hp, Hp, E, o, e, 1), 0);
    EXPECT_EQ(e[0], -8192);
    EXPECT_EQ(o[0], 12287);
    const Prim16s L2[1] = {-32768}, H2[1] = {0}, E2[1] = {-32768};
    ASSERT_EQ(column53(L2, H2, H2, E2, o, e, 1), 0);
    EXPECT_EQ(e[0], -32768);
    EXPECT_EQ(o[0], -32768);
  }
  // Rows, 32 bits: two high neighbours of 2^30 - 1 give a low sample plus 2^29.
  {
    const Prim32s L[3] = {5, 5, 5}, H[3] = {(1 << 30) - 1, (1 << 30) - 1, (1 << 30) - 1};
    Prim32s d[2];
    ASSERT_EQ(rows53(L + 1, 12, H + 1, 12, 1, 1, d, 8, 1), 0);
    EXPECT_EQ(d[1], 5 + (1 << 29));
  }
  // Rows, 16 bits, width 8, other phase, every high sample 2^14 - 1: every
  // neighbour sum plus 2 is 2^15; odds 2^13 - 1 and evens -2^13 throughout.
  {
    alignas(16) Prim16s L[16] = {}, H[16];
    alignas(16) Prim16s d[16];
    std::fill(H, H + 16, Prim16s(16383));
    ASSERT_EQ(rows53(L + 8, 32, H + 1, 32, 8, 1, d, 32, 1), 0);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(d[2 * i], 8191) << i;
      EXPECT_EQ(d[2 * i + 1], -8192) << i;
    }
  }
}

TEST_P(Lift53Test, ColumnStepAtTheCornersOfTheRange) {
  // Every combination of extreme 16-bit samples, one per index, against the
  // formulas with exact sums and 16-bit results.
  const Prim16s v[] = {-32768, -32767, -16385, -2, -1, 0, 1, 16383, 32766, 32767};
  const int n = 10, w = n * n * n * n;
  std::vector<Prim16s> L(w), Hp(w), Hn(w), E(w), o(w), e(w);
  for (int k = 0; k < w; ++k) {
    L[k] = v[k % n];
    Hp[k] = v[k / n % n];
    Hn[k] = v[k / (n * n) % n];
    E[k] = v[k / (n * n * n)];
  }
  ASSERT_EQ(column53(L.data(), Hp.data(), Hn.data(), E.data(), o.data(), e.data(), w), 0);
  for (int k = 0; k < w; ++k) {
    const Prim16s ev = static_cast<Prim16s>(L[k] - static_cast<int>(std::floor((Hp[k] + Hn[k] + 2) / 4.0)));
    const Prim16s od = static_cast<Prim16s>(Hp[k] + static_cast<int>(std::floor((E[k] + ev) / 2.0)));
    ASSERT_EQ(e[k], ev) << k;
    ASSERT_EQ(o[k], od) << k;
  }
}

TEST_P(Lift53Test, PhasesAndRowSteps) {
  // Any non-zero phase is the odd phase; three rows with steps larger than
  // the rows leave the bytes between destination rows alone.
  const int w = 21, lowStep = w + 9, highStep = w + 13, dstStep = 2 * w + 11;
  Image<Prim16s> low(lowStep, 3, 2, 0), high(highStep, 3, 2, 0);
  fillUniform(low.buf, -32768, 32767);
  fillUniform(high.buf, -32768, 32767);
  Image<Prim16s> d1(dstStep, 3, 3, 0x1234), d5(dstStep, 3, 3, 0x1234);
  ASSERT_EQ(
      rows53(low.row(0), low.stepBytes(), high.row(0), high.stepBytes(), w, 3, d1.row(0), d1.stepBytes(), 1),
      0);
  ASSERT_EQ(
      rows53(low.row(0), low.stepBytes(), high.row(0), high.stepBytes(), w, 3, d5.row(0), d5.stepBytes(), 5),
      0);
  EXPECT_TRUE(sameSamples(d1.buf, d5.buf));
  for (int r = 0; r < 3; ++r) {
    // Each row is computed from its own rows alone.
    std::vector<Prim16s> one(2 * w);
    ASSERT_EQ(rows53Px(low.row(r), 1, high.row(r), 1, w, 1, one.data(), 1, 1), 0);
    EXPECT_TRUE(sameSamples(one, std::vector<Prim16s>(d1.row(r), d1.row(r) + 2 * w)));
    for (int i = 2 * w; i < dstStep; ++i) EXPECT_EQ(d1.row(r)[i], 0x1234);
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(d1.buf[i], 0x1234);
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, Lift53Test, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

// Processor builds against px over the full sample range, every width up to
// 70 and some longer ones, each phase and many relative alignments.
class Lift53BuildsTest : public GenerationTest {};

template <class T>
void compareRows(int width, int height, int phase, int offL, int offH, int offD) {
  const int lowStep = width + 2 + 5, highStep = width + 2 + 3, dstStep = 2 * width + 7;
  Image<T> low(lowStep, height, 1 + offL, 0), high(highStep, height, 1 + offH, 0);
  fillUniform(low.buf, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
  fillUniform(high.buf, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
  Image<T> want(dstStep, height, offD, T(-21555)), got(dstStep, height, offD, T(-21555));
  ASSERT_EQ(rows53Px(low.row(0), low.stepBytes(), high.row(0), high.stepBytes(), width, height, want.row(0),
                     want.stepBytes(), phase),
            0);
  ASSERT_EQ(rows53(low.row(0), low.stepBytes(), high.row(0), high.stepBytes(), width, height, got.row(0),
                   got.stepBytes(), phase),
            0);
  ASSERT_TRUE(sameSamples(want.buf, got.buf))
      << "width " << width << " phase " << phase << " offsets " << offL << offH << offD;
}

TEST_P(Lift53BuildsTest, RowsMatchPxBitForBit) {
  for (int phase : {0, 1}) {
    for (int w = 1; w <= 70; ++w) {
      compareRows<Prim16s>(w, 2, phase, w % 8, (w / 8) % 8, (w * 3) % 8);
      compareRows<Prim32s>(w, 2, phase, w % 4, (w / 4) % 4, (w * 3) % 4);
    }
    for (int w : {127, 128, 129, 1000, 2049})
      for (int off = 0; off < 8; ++off) {
        compareRows<Prim16s>(w, 1, phase, off, (off + 3) % 8, (off * 5) % 8);
        compareRows<Prim32s>(w, 1, phase, off % 4, (off + 1) % 4, off / 2);
      }
  }
}

TEST_P(Lift53BuildsTest, RowsReadOnlyTheirNeighbours) {
  // Each row of its own exactly as long as the samples the primitive may
  // read: a read beyond them is an error under the address sanitizer.
  for (int phase : {0, 3})
    for (int w : {1, 2, 7, 8, 9, 16, 17, 40}) {
      std::vector<Prim16s> L(w + 1), H(w + 2), want(2 * w), got(2 * w);
      fillUniform(L, -32768, 32767);
      fillUniform(H, -32768, 32767);
      const Prim16s* pL = phase == 0 ? L.data() : L.data() + 1;
      ASSERT_EQ(rows53Px(pL, 2, H.data() + 1, 2, w, 1, want.data(), 2, phase), 0);
      ASSERT_EQ(rows53(pL, 2, H.data() + 1, 2, w, 1, got.data(), 2, phase), 0);
      EXPECT_TRUE(sameSamples(want, got));
      std::vector<Prim32s> L32(w + 1), H32(w + 2), want32(2 * w), got32(2 * w);
      fillUniform(L32, INT32_MIN, INT32_MAX);
      fillUniform(H32, INT32_MIN, INT32_MAX);
      const Prim32s* pL32 = phase == 0 ? L32.data() : L32.data() + 1;
      ASSERT_EQ(rows53Px(pL32, 4, H32.data() + 1, 4, w, 1, want32.data(), 4, phase), 0);
      ASSERT_EQ(rows53(pL32, 4, H32.data() + 1, 4, w, 1, got32.data(), 4, phase), 0);
      EXPECT_TRUE(sameSamples(want32, got32));
    }
}

template <class T>
void compareColumn(int width, int off, bool sharedHigh) {
  const T lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
  std::vector<T> L(width + 8), Hp(width + 8), Hn(width + 8), E(width + 8);
  for (auto* v : {&L, &Hp, &Hn, &E}) fillUniform(*v, lo, hi);
  std::vector<T> oddA(width + 16, T(99)), evenA(width + 16, T(99));
  std::vector<T> oddB(oddA), evenB(evenA);
  const T* pHn = sharedHigh ? Hp.data() + off : Hn.data() + (off * 3) % 8;
  ASSERT_EQ(column53Px(L.data() + off, Hp.data() + off, pHn, E.data() + (off + 1) % 8,
                       oddA.data() + 4 + (off * 5) % 8, evenA.data() + 4 + off, width),
            0);
  ASSERT_EQ(column53(L.data() + off, Hp.data() + off, pHn, E.data() + (off + 1) % 8,
                     oddB.data() + 4 + (off * 5) % 8, evenB.data() + 4 + off, width),
            0);
  ASSERT_TRUE(sameSamples(oddA, oddB)) << "width " << width << " offset " << off;
  ASSERT_TRUE(sameSamples(evenA, evenB)) << "width " << width << " offset " << off;
}

TEST_P(Lift53BuildsTest, ColumnStepsMatchPxBitForBit) {
  for (int w = 1; w <= 70; ++w)
    for (int off = 0; off < 8; ++off) {
      compareColumn<Prim16s>(w, off, off == 5);
      compareColumn<Prim32s>(w, off, off == 5);
    }
  for (int w : {255, 256, 1000, 4097}) {
    compareColumn<Prim16s>(w, w % 8, false);
    compareColumn<Prim32s>(w, w % 8, false);
  }
}

INSTANTIATE_GENERATIONS(Lift53BuildsTest);

}  // namespace
