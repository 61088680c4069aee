#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/colour/twist.h"
#include "primitives/colour/twist_builds.h"
#include "tests/support/generations.h"

namespace {

using Matrix = float[3][4];

// The SIMD association: (m3 + m0 s0) + (m1 s1 + m2 s2), single precision.
void simdModel(const Matrix m, const float* s, float* d) {
  for (int i = 0; i < 3; ++i) {
    const float t = m[i][3] + m[i][0] * s[0];
    const float u = m[i][1] * s[1] + m[i][2] * s[2];
    d[i] = t + u;
  }
}
// The generic association: ((m0 s0 + m3) + m1 s1) + m2 s2 in double, rounded once.
void pxModel(const Matrix m, const float* s, float* d) {
  for (int i = 0; i < 3; ++i)
    d[i] = static_cast<float>(((double{m[i][0]} * s[0] + m[i][3]) + double{m[i][1]} * s[1]) +
                              double{m[i][2]} * s[2]);
}

const Matrix kXyzToRgb = {{3.2404542f, -1.5371385f, -0.4985314f, 0.01f},
                          {-0.9692660f, 1.8760108f, 0.0415560f, -0.02f},
                          {0.0556434f, -0.2040259f, 1.0572252f, 0.0f}};

class TwistTest : public GenerationTest {};

std::vector<float> randomFloats(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-1.0f, 2.0f);
  std::vector<float> v(n);
  for (float& x : v) x = d(rng);
  return v;
}

constexpr float kGuard = -12345.5f;

// A region with arbitrary byte steps inside guarded buffers; each output
// pixel is compared with the model of the build running.
void checkRegion(int width, int height, int srcStep, int dstStep, int srcOffset, int dstOffset, bool px) {
  const size_t srcBytes = static_cast<size_t>(srcStep) * (height - 1) + 12 * width + 64;
  const size_t dstBytes = static_cast<size_t>(dstStep) * (height - 1) + 12 * width + 64;
  std::vector<char> src(srcBytes + 64), dst(dstBytes + 64);
  std::vector<float> values = randomFloats(src.size() / 4, 7 + width);
  std::memcpy(src.data(), values.data(), values.size() * 4);
  for (size_t i = 0; i + 4 <= dst.size(); i += 4) std::memcpy(dst.data() + i, &kGuard, 4);
  const auto* s = reinterpret_cast<const float*>(src.data() + 16 + srcOffset);
  auto* d = reinterpret_cast<float*>(dst.data() + 16 + dstOffset);
  std::vector<char> before = dst;
  ASSERT_EQ(imgColorTwist_32f_C3R(s, srcStep, d, dstStep, {width, height}, kXyzToRgb), primResultOk);
  for (int r = 0; r < height; ++r) {
    for (int x = 0; x < width; ++x) {
      float in[3], want[3], got[3];
      std::memcpy(in, src.data() + 16 + srcOffset + r * srcStep + 12 * x, 12);
      (px ? pxModel : simdModel)(kXyzToRgb, in, want);
      std::memcpy(got, dst.data() + 16 + dstOffset + r * dstStep + 12 * x, 12);
      ASSERT_EQ(0, std::memcmp(want, got, 12)) << "row " << r << " pixel " << x;
      std::memcpy(before.data() + 16 + dstOffset + r * dstStep + 12 * x, got, 12);
    }
  }
  EXPECT_EQ(before, dst) << "bytes outside the region were written";
}

TEST_P(TwistTest, MatchesItsAssociationAtEveryAlignmentAndWidth) {
  const bool px = generation() == 0;
  for (int width : {1, 2, 3, 4, 5, 7, 8, 11, 64, 65})
    for (int so : {0, 4, 8, 12, 2})
      for (int dof : {0, 4, 1}) checkRegion(width, 3, 12 * width + 20, 12 * width + 8, so, dof, px);
}

TEST_P(TwistTest, ContiguousRowsAndNonTemporalPath) {
  const bool px = generation() == 0;
  checkRegion(11664, 1, 12 * 11664, 12 * 11664, 0, 0, px);     // n = 34992: normal kernel
  checkRegion(11665, 1, 12 * 11665, 12 * 11665, 0, 4, px);     // non-temporal
  checkRegion(11665, 1, 12 * 11665, 12 * 11665, 4, 1, px);     // non-temporal, misaligned dst
  checkRegion(700, 20, 12 * 700, 12 * 700, 8, 0, px);          // merged rows, non-temporal
  checkRegion(700, 20, 12 * 700 + 4, 12 * 700 + 4, 0, 0, px);  // per-row, non-temporal
  checkRegion(5, 3, 63, 63, 0, 0, px);                         // steps not a multiple of 4
}

TEST_P(TwistTest, InPlaceMatchesSeparate) {
  std::vector<float> a = randomFloats(3 * 12000, 3), b(a.size());
  std::vector<float> inplace = a;
  const int w = 12000;
  ASSERT_EQ(imgColorTwist_32f_C3R(a.data(), 12 * w, b.data(), 12 * w, {w, 1}, kXyzToRgb), 0);
  ASSERT_EQ(imgColorTwist_32f_C3R(inplace.data(), 3 * w, inplace.data(), 3 * w, {w, 1}, kXyzToRgb), 0);
  EXPECT_EQ(0, std::memcmp(b.data(), inplace.data(), b.size() * 4));
  std::vector<float> small = randomFloats(3 * 9, 5), smallOut(small.size()), smallIn = small;
  ASSERT_EQ(imgColorTwist_32f_C3R(small.data(), 27, smallOut.data(), 27, {9, 1}, kXyzToRgb), 0);
  ASSERT_EQ(imgColorTwist_32f_C3R(smallIn.data(), 27, smallIn.data(), 27, {9, 1}, kXyzToRgb), 0);
  EXPECT_EQ(smallOut, smallIn);
}

TEST_P(TwistTest, IdentityAndNonFiniteInputs) {
  const Matrix id = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  float px[6] = {0.1f, -7.5f, 1e30f, -0.0f, INFINITY, 2.0f}, out[6];
  ASSERT_EQ(imgColorTwist_32f_C3R(px, 24, out, 24, {2, 1}, id), 0);
  EXPECT_EQ(out[0], 0.1f);
  EXPECT_EQ(out[1], -7.5f);
  EXPECT_EQ(out[2], 1e30f);
  float negZero[3] = {-0.0f, -0.0f, -0.0f}, zeroOut[3];
  ASSERT_EQ(imgColorTwist_32f_C3R(negZero, 12, zeroOut, 12, {1, 1}, id), 0);
  for (float z : zeroOut) EXPECT_FALSE(std::signbit(z));  // -0 + (+0) = +0
  EXPECT_TRUE(std::isnan(out[3]));                        // 0 x infinity
  EXPECT_EQ(out[4], INFINITY);
  EXPECT_TRUE(std::isnan(out[5]));
}

TEST_P(TwistTest, ChecksInOrderAndWriteNothing) {
  float buf[3] = {1, 2, 3};
  EXPECT_EQ(imgColorTwist_32f_C3R(nullptr, 0, buf, 12, {0, 1}, kXyzToRgb), primResultNullPointer);
  EXPECT_EQ(imgColorTwist_32f_C3R(buf, 12, nullptr, 12, {1, 1}, kXyzToRgb), primResultNullPointer);
  EXPECT_EQ(imgColorTwist_32f_C3R(buf, 12, buf, 12, {1, 1}, nullptr), primResultNullPointer);
  EXPECT_EQ(imgColorTwist_32f_C3R(buf, 0, buf, 12, {0, 1}, kXyzToRgb), primResultBadSize);
  EXPECT_EQ(imgColorTwist_32f_C3R(buf, 12, buf, 12, {1, 0}, kXyzToRgb), primResultBadSize);
  EXPECT_EQ(imgColorTwist_32f_C3R(buf, 12, buf, 0, {1, 1}, kXyzToRgb), primResultBadStep);
  EXPECT_EQ(imgColorTwist_32f_C3R(buf, -12, buf, 12, {1, 1}, kXyzToRgb), primResultBadStep);
  EXPECT_EQ(buf[0], 1.0f);
  EXPECT_EQ(buf[2], 3.0f);
}

TEST(TwistBuildsAgree, ExactArithmeticGivesTheSameFloatsInPxAndSimd) {
  const Matrix m = {{2, 0.5f, -1, 3}, {0.25f, 1, 4, -2}, {1, 1, 1, 0}};
  std::vector<float> src(3 * 100), a(src.size()), b(src.size());
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>(static_cast<int>(i % 37) - 18);
  ASSERT_EQ(px_imgColorTwist_32f_C3R(src.data(), 1200, a.data(), 1200, {100, 1}, m), 0);
  ASSERT_EQ(sse2_imgColorTwist_32f_C3R(src.data(), 1200, b.data(), 1200, {100, 1}, m), 0);
  EXPECT_EQ(a, b);
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, TwistTest, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

}  // namespace
