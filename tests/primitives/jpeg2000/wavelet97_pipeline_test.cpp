// The 9/7 column steps run as the decoder's vertical pipeline: five output
// rows rotating, one call per two output rows.  The test seeds the top rows,
// runs the steps down columns of 3 to 12 output pairs and compares every
// finished row with the lifting of the whole column (16 bits: exactly; float:
// with the double-precision synthesis filters).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "primitives/jpeg2000/wavelet.h"
#include "tests/primitives/jpeg2000/wavelet_test_util.h"
#include "tests/support/generations.h"

using namespace wavelet_test;

namespace {

// The lifting of one column in phase 0, values indexed from -4: e(i) after
// the first step, o(i) after the second, ep(i) and op(i) final.
template <class V>
struct Lifting {
  std::vector<V> e, o, ep, op;
  V& at(std::vector<V>& v, int i) { return v[i + 4]; }
};

long long R(long long p) { return (p + 32768) >> 16; }
long long sat(long long v) { return std::clamp(v, -32768LL, 32767LL); }

// Exact Q16 lifting of a column with M low and M high samples (plus borders
// L(-1), H(-2), H(-1) and L(M), H(M) beyond).
template <class FL, class FH>
Lifting<long long> fixedLifting(FL L, FH H, int M) {
  Lifting<long long> s;
  for (auto* v : {&s.e, &s.o, &s.ep, &s.op}) v->assign(M + 10, 0);
  for (int i = -1; i <= M; ++i) s.at(s.e, i) = sat(R(80621LL * L(i) - 23627LL * (H(i - 1) + H(i))));
  for (int i = -1; i < M; ++i)
    s.at(s.o, i) = sat(R(53274LL * H(i) - 57862LL * (s.at(s.e, i) + s.at(s.e, i + 1))));
  for (int i = 0; i < M; ++i)
    s.at(s.ep, i) = sat(s.at(s.e, i) - R(-3472LL * (s.at(s.o, i - 1) + s.at(s.o, i))));
  for (int i = 0; i < M - 1; ++i)
    s.at(s.op, i) = sat(s.at(s.o, i) - R(-103949LL * (s.at(s.ep, i) + s.at(s.ep, i + 1))));
  return s;
}

class Pipeline97Test : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam()))
      GTEST_SKIP() << "this processor cannot run the " << generationName(GetParam()) << " builds";
    ASSERT_EQ(primTestForceGeneration(GetParam()), 0);
  }
  void TearDown() override { primTestForceGeneration(0); }
};

// Sources of `width` columns: low row n at low[n + 2], high row n at
// high[n + 2], for n from -2 to M.
template <class T>
struct Sources {
  std::vector<std::vector<T>> low, high;
  Sources(int M, int width) : low(M + 3, std::vector<T>(width)), high(M + 3, std::vector<T>(width)) {}
  const T* L(int n) const { return low[n + 2].data(); }
  const T* H(int n) const { return high[n + 2].data(); }
};

// Runs the pipeline for n = 2..M over five rotating output rows and collects
// the finished rows x(0) .. x(2M-2).  seed(c, k) gives the starting values
// of x(0) (final), x(1) (after gamma) and x(2) (after delta) in column c.
template <class T, class Step, class Seed>
std::vector<std::vector<T>> runPipeline(const Sources<T>& s, int M, int width, Step step, Seed seed) {
  std::vector<std::vector<T>> ring(5, std::vector<T>(width + 8));
  std::vector<std::vector<T>> done;
  // Rows by image index k live in ring[k % 5], at an offset that varies.
  auto row = [&](int k) { return ring[k % 5].data() + (k % 3); };
  for (int k = 0; k < 3; ++k)
    for (int c = 0; c < width; ++c) row(k)[c] = seed(c, k);
  done.emplace_back(row(0), row(0) + width);
  for (int n = 2; n <= M; ++n) {
    step(s.L(n), s.H(n - 1), s.H(n), row(2 * n - 4), row(2 * n - 3), row(2 * n - 2), row(2 * n - 1),
         row(2 * n), width);
    done.emplace_back(row(2 * n - 3), row(2 * n - 3) + width);
    done.emplace_back(row(2 * n - 2), row(2 * n - 2) + width);
  }
  return done;
}

TEST_P(Pipeline97Test, FixedPointColumnsEqualTheExactLifting) {
  for (int M = 3; M <= 12; ++M)
    for (int width : {1, 2, 3, 5, 8, 10, 17, 40}) {
      Sources<Prim16s> s(M, width);
      for (auto* rows : {&s.low, &s.high})
        for (auto& r : *rows) fillUniform(r, -32768, 32767);
      std::vector<Lifting<long long>> lift;
      for (int c = 0; c < width; ++c)
        lift.push_back(fixedLifting([&](int n) { return s.L(n)[c]; }, [&](int n) { return s.H(n)[c]; }, M));
      const auto done = runPipeline(s, M, width, imgInvLift97ColumnStep_16s_C1, [&](int c, int k) -> Prim16s {
        auto& l = lift[c];
        return static_cast<Prim16s>(k == 0 ? l.at(l.ep, 0) : k == 1 ? l.at(l.o, 0) : l.at(l.e, 1));
      });
      ASSERT_EQ(static_cast<int>(done.size()), 2 * M - 1);
      for (int k = 0; k < 2 * M - 1; ++k)
        for (int c = 0; c < width; ++c) {
          auto& l = lift[c];
          const long long want = k % 2 == 0 ? l.at(l.ep, k / 2) : l.at(l.op, k / 2);
          ASSERT_EQ(done[k][c], want) << "pairs " << M << " width " << width << " row " << k;
        }
    }
}

const double g0[] = {1.115087052456994, 0.5912717631142470, -0.05754352622849957, -0.09127176311424948};
const double g1[] = {0.6029490182363579, -0.2668641184428723, -0.07822326652898785, 0.01686411844287495,
                     0.02674875741080976};
double tap0(int m) { return std::abs(m) <= 3 ? g0[std::abs(m)] : 0.0; }
double tap1(int m) { return std::abs(m) <= 4 ? g1[std::abs(m)] : 0.0; }

TEST_P(Pipeline97Test, FloatColumnsFollowTheSynthesisFilters) {
  const double K = 1.2301741f, DK = 0.36052364f, IK = 0.8128931f, G = 0.8829111f, B = -0.052980117f;
  for (int M = 3; M <= 12; ++M)
    for (int width : {1, 2, 3, 7, 8, 10, 16, 17, 57, 64}) {
      Sources<float> s(M, width);
      for (auto* rows : {&s.low, &s.high})
        for (auto& r : *rows) fillUniformF(r, -1000, 1000);
      // Seeds in double precision from the lifting formulas.
      auto seed = [&](int c, int k) -> float {
        auto e = [&](int i) { return K * s.L(i)[c] - DK * (double(s.H(i - 1)[c]) + s.H(i)[c]); };
        auto o = [&](int i) { return IK * s.H(i)[c] - G * (e(i) + e(i + 1)); };
        if (k == 0) return static_cast<float>(e(0) - B * (o(-1) + o(0)));
        return static_cast<float>(k == 1 ? o(0) : e(1));
      };
      const auto done = runPipeline(s, M, width, imgInvLift97ColumnStep_32f_C1, seed);
      for (int k = 0; k < 2 * M - 1; ++k)
        for (int c = 0; c < width; ++c) {
          double ref = 0, scale = 0;
          for (int n = -2; n <= M; ++n) {
            const double a = s.L(n)[c] * tap0(k - 2 * n), b = s.H(n)[c] * tap1(k - 2 * n - 1);
            ref += a + b;
            scale += std::abs(a) + std::abs(b);
          }
          ASSERT_NEAR(done[k][c], ref, scale * 0x1p-20)
              << "pairs " << M << " width " << width << " row " << k << " column " << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, Pipeline97Test, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

}  // namespace
