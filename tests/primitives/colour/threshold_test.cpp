#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/colour/threshold.h"
#include "primitives/colour/threshold_builds.h"
#include "tests/support/generations.h"

namespace {

class ThresholdTest : public GenerationTest {};

// Runs `build` (the public entry under the forced generation) and the px
// build over every length 1..80 and every source/destination byte offset
// 0..7 (also offsets that break the element alignment), in place and not,
// with guards; the outputs must be identical.
template <class T, class Fn, class PxFn>
void compareWithPx(Fn fn, PxFn pxFn, T level, const std::vector<T>& pool) {
  for (int len = 1; len <= 80; ++len) {
    for (int so = 0; so < 8; so += (sizeof(T) == 4 ? 1 : 1)) {
      for (int dof = 0; dof < 8; ++dof) {
        std::vector<char> src(len * sizeof(T) + 64), a(src.size(), 0x5a), b(src.size(), 0x5a);
        std::memcpy(src.data() + 16 + so, pool.data() + len, len * sizeof(T));
        const T* s = reinterpret_cast<const T*>(src.data() + 16 + so);
        ASSERT_EQ(pxFn(s, reinterpret_cast<T*>(a.data() + 16 + dof), len, level), 0);
        ASSERT_EQ(fn(s, reinterpret_cast<T*>(b.data() + 16 + dof), len, level), 0);
        ASSERT_EQ(a, b) << "len " << len << " src offset " << so << " dst offset " << dof;
        // In place gives the same values.
        std::vector<char> inplace = src;
        T* p = reinterpret_cast<T*>(inplace.data() + 16 + so);
        ASSERT_EQ(fn(p, p, len, level), 0);
        ASSERT_EQ(0, std::memcmp(p, a.data() + 16 + dof, len * sizeof(T)));
      }
    }
  }
}

template <class T>
std::vector<T> pool(unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<T> v(200);
  for (T& x : v) x = static_cast<T>(static_cast<std::int32_t>(rng()));
  v[3] = std::numeric_limits<T>::min();
  v[9] = std::numeric_limits<T>::max();
  return v;
}

std::vector<float> floatPool() {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> d(-2.0f, 2.0f);
  std::vector<float> v(200);
  for (float& x : v) x = d(rng);
  for (int i = 0; i < 200; i += 13) v[i] = NAN;
  for (int i = 5; i < 200; i += 17) v[i] = -0.0f;
  for (int i = 7; i < 200; i += 19) v[i] = INFINITY;
  for (int i = 8; i < 200; i += 23) v[i] = -INFINITY;
  v[50] = 1.0f, v[51] = 0.0f;
  return v;
}

TEST_P(ThresholdTest, FloatBuildsMatchPx) {
  const std::vector<float> p = floatPool();
  compareWithPx<float>(vecThreshold_LT_32f, px_vecThreshold_LT_32f, 0.0f, p);
  compareWithPx<float>(vecThreshold_GT_32f, px_vecThreshold_GT_32f, 1.0f, p);
  compareWithPx<float>(vecThreshold_LT_32f, px_vecThreshold_LT_32f, -0.0f, p);
  compareWithPx<float>(vecThreshold_GT_32f, px_vecThreshold_GT_32f, NAN, p);
}

TEST_P(ThresholdTest, IntegerBuildsMatchPx) {
  const auto p16 = pool<Prim16s>(3);
  compareWithPx<Prim16s>(vecThreshold_LT_16s, px_vecThreshold_LT_16s, Prim16s{-100}, p16);
  compareWithPx<Prim16s>(vecThreshold_GT_16s, px_vecThreshold_GT_16s, Prim16s{4095}, p16);
  const auto p32 = pool<Prim32s>(4);
  compareWithPx<Prim32s>(vecThreshold_LT_32s, px_vecThreshold_LT_32s, -70000, p32);
  compareWithPx<Prim32s>(vecThreshold_GT_32s, px_vecThreshold_GT_32s, 1 << 20, p32);
}

TEST_P(ThresholdTest, LargeVectorsAroundTheAvxSplit) {
  std::vector<float> src(3000), a(3000), b(3000);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> d(-1, 2);
  for (float& x : src) x = d(rng);
  for (int len : {56, 57, 63, 64, 65, 1000, 2999}) {
    ASSERT_EQ(px_vecThreshold_LT_32f(src.data() + 1, a.data() + 1, len, 0.0f), 0);
    ASSERT_EQ(vecThreshold_LT_32f(src.data() + 1, b.data() + 1, len, 0.0f), 0);
    ASSERT_EQ(a, b) << len;
  }
}

TEST_P(ThresholdTest, ElementRules) {
  const float in[] = {-0.0f, NAN, -INFINITY, INFINITY, 0.5f, 1.0f, 2.0f, 0.0f};
  float lt[8], gt[8];
  ASSERT_EQ(vecThreshold_LT_32f(in, lt, 8, 0.0f), 0);
  ASSERT_EQ(vecThreshold_GT_32f(in, gt, 8, 1.0f), 0);
  EXPECT_FALSE(std::signbit(lt[0]));
  EXPECT_EQ(lt[1], 0.0f);
  EXPECT_EQ(lt[2], 0.0f);
  EXPECT_EQ(lt[3], INFINITY);
  EXPECT_EQ(lt[4], 0.5f);
  EXPECT_EQ(gt[1], 1.0f);
  EXPECT_EQ(gt[3], 1.0f);
  EXPECT_EQ(gt[5], 1.0f);
  EXPECT_EQ(gt[6], 1.0f);
  EXPECT_EQ(gt[2], -INFINITY);
  // A quiet NaN level comes back in every element.
  float q[8];
  ASSERT_EQ(vecThreshold_LT_32f(in, q, 8, NAN), 0);
  for (float v : q) EXPECT_TRUE(std::isnan(v));
  // Extreme integer levels copy the vector.
  const Prim16s s16[5] = {-32768, -1, 0, 1, 32767};
  Prim16s o16[5];
  ASSERT_EQ(vecThreshold_LT_16s(s16, o16, 5, -32768), 0);
  EXPECT_EQ(0, std::memcmp(s16, o16, sizeof s16));
  ASSERT_EQ(vecThreshold_GT_16s(s16, o16, 5, 32767), 0);
  EXPECT_EQ(0, std::memcmp(s16, o16, sizeof s16));
  const Prim32s s32[3] = {INT32_MIN, 0, INT32_MAX};
  Prim32s o32[3];
  ASSERT_EQ(vecThreshold_LT_32s(s32, o32, 3, INT32_MIN), 0);
  EXPECT_EQ(0, std::memcmp(s32, o32, sizeof s32));
  ASSERT_EQ(vecThreshold_GT_32s(s32, o32, 3, INT32_MAX), 0);
  EXPECT_EQ(0, std::memcmp(s32, o32, sizeof s32));
}

TEST_P(ThresholdTest, StatusesAndNothingWritten) {
  float f[2] = {5, 6};
  Prim16s s[2] = {5, 6};
  Prim32s i[2] = {5, 6};
  EXPECT_EQ(vecThreshold_LT_32f(nullptr, f, 0, 0.0f), primResultNullPointer);
  EXPECT_EQ(vecThreshold_GT_32f(f, nullptr, 2, 0.0f), primResultNullPointer);
  EXPECT_EQ(vecThreshold_LT_32f(f, f, 0, 10.0f), primResultBadSize);
  EXPECT_EQ(vecThreshold_GT_16s(s, s, -1, 0), primResultBadSize);
  EXPECT_EQ(vecThreshold_LT_16s(nullptr, s, 2, 0), primResultNullPointer);
  EXPECT_EQ(vecThreshold_LT_32s(i, nullptr, 2, 0), primResultNullPointer);
  EXPECT_EQ(vecThreshold_GT_32s(i, i, 0, 0), primResultBadSize);
  EXPECT_EQ(f[0], 5.0f);
  EXPECT_EQ(s[0], 5);
  EXPECT_EQ(i[0], 5);
}

TEST(ThresholdEntries, RelationCodes) {
  float f[2] = {1, 2};
  Prim16s s[2] = {1, 2};
  EXPECT_EQ(px_ownsThreshold_32f(f, f, 2, 0.0f, 1), primResultBadArgument);
  EXPECT_EQ(sse2_ownsThreshold_32f(f, f, 2, 0.0f, 2), primResultBadArgument);
  EXPECT_EQ(px_ownsThreshold_16s(s, s, 2, 0, 3), primResultBadArgument);
  EXPECT_EQ(sse2_ownsThreshold_16s(s, s, 0, 0, 3), primResultBadSize);  // length first
  EXPECT_EQ(sse2_ownsThreshold_16s(s, s, 2, 0, primRelationGT), primResultOk);
  EXPECT_EQ(s[1], 0);
  // The generic build hands a signalling NaN level back quiet.
  std::uint32_t snanBits = 0x7fa00000;
  float snan;
  std::memcpy(&snan, &snanBits, 4);
  float out;
  ASSERT_EQ(px_ownsThreshold_32f(f, &out, 1, snan, primRelationLT), primResultOk);
  std::uint32_t outBits;
  std::memcpy(&outBits, &out, 4);
  EXPECT_EQ(outBits, 0x7fe00000u);
}

INSTANTIATE_GENERATIONS(ThresholdTest);

}  // namespace
