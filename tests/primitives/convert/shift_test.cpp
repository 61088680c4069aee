// Shifts by a constant: statuses and their order, the copy, zero and sign
// fill hand-overs, every build against px at every length, alignment and
// count, in place; the kernels nothing in the system calls.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "primitives/convert/vec_convert.h"
#include "primitives/convert/vec_convert_builds.h"
#include "tests/primitives/convert/walk_support.h"
#include "tests/support/generations.h"

namespace {

template <class T>
std::vector<T> pool(unsigned seed, std::size_t n) {
  std::mt19937 rng(seed);
  std::vector<T> v(n);
  for (T& x : v) x = static_cast<T>(rng());
  v[0] = std::numeric_limits<T>::min();
  v[1] = std::numeric_limits<T>::max();
  v[2] = T(-1);
  v[3] = T(1);
  v[4] = T(0);
  return v;
}

// The element rules, in plain integer arithmetic.
Prim16s lshift16(Prim16s v, int n) {
  return n > 15 ? 0
                : static_cast<Prim16s>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(v)) << n) &
                                       0xffff);
}
Prim16s rshift16(Prim16s v, int n) {
  if (n > 15) return v < 0 ? -1 : 0;
  // Division by 2^n rounded toward minus infinity.
  const std::int32_t d = 1 << n;
  return static_cast<Prim16s>(v >= 0 ? v / d : -((-std::int32_t{v} + d - 1) / d));
}
Prim32s rshift32(Prim32s v, int n) {
  if (n > 31) return v < 0 ? -1 : 0;
  const std::int64_t d = std::int64_t{1} << n;
  return static_cast<Prim32s>(v >= 0 ? v / d : -((-std::int64_t{v} + d - 1) / d));
}

TEST(ShiftPx, ElementRules) {
  const std::vector<Prim16s> s16 = pool<Prim16s>(1, 500);
  const std::vector<Prim32s> s32 = pool<Prim32s>(2, 500);
  std::vector<Prim16s> o16(500);
  std::vector<Prim32s> o32(500);
  for (int n : {1, 2, 7, 14, 15, 16, 17, 31, 32, 33, 100, 2147483647}) {
    ASSERT_EQ(px_vecLShiftC_16s(s16.data(), n, o16.data(), 500), 0);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(o16[i], lshift16(s16[i], n)) << s16[i] << " << " << n;
    ASSERT_EQ(px_vecRShiftC_16s(s16.data(), n, o16.data(), 500), 0);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(o16[i], rshift16(s16[i], n)) << s16[i] << " >> " << n;
    ASSERT_EQ(px_vecRShiftC_32s(s32.data(), n, o32.data(), 500), 0);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(o32[i], rshift32(s32[i], n)) << s32[i] << " >> " << n;
  }
}

class ShiftTest : public GenerationTest {};

TEST_P(ShiftTest, ListedResults) {
  Prim16s a[3] = {0x4001, -1, 1}, r[3];
  ASSERT_EQ(vecLShiftC_16s(a, 1, r, 1), 0);
  EXPECT_EQ(r[0], -32766);
  ASSERT_EQ(vecLShiftC_16s(a + 1, 15, r, 1), 0);
  EXPECT_EQ(r[0], -32768);
  ASSERT_EQ(vecLShiftC_16s(a, 2, r, 1), 0);
  EXPECT_EQ(r[0], 4);
  Prim16s b[4] = {-5, 5, -32768, 32767};
  ASSERT_EQ(vecRShiftC_16s(b, 1, r, 2), 0);
  EXPECT_EQ(r[0], -3);
  EXPECT_EQ(r[1], 2);
  ASSERT_EQ(vecRShiftC_16s(b + 2, 15, r, 2), 0);
  EXPECT_EQ(r[0], -1);
  EXPECT_EQ(r[1], 0);
  Prim32s c[2] = {-1, 0x7fffffff}, q[2];
  ASSERT_EQ(vecRShiftC_32s(c, 31, q, 2), 0);
  EXPECT_EQ(q[0], -1);
  EXPECT_EQ(q[1], 0);
  ASSERT_EQ(vecRShiftC_32s(c, 32, q, 2), 0);
  EXPECT_EQ(q[0], -1);
  EXPECT_EQ(q[1], 0);
}

TEST_P(ShiftTest, StatusesInOrderAndNothingWritten) {
  Prim16s s[4] = {1, -2, 3, -4}, d[4] = {9, 9, 9, 9};
  Prim32s s32[4] = {1, -2, 3, -4}, d32[4] = {9, 9, 9, 9};
  using F16 = PrimResult (*)(const Prim16s*, int, Prim16s*, int);
  for (F16 f : {F16(vecLShiftC_16s), F16(vecRShiftC_16s)}) {
    // Shift 0 is the copy, with the copy's checks.
    EXPECT_EQ(f(nullptr, 0, d, 4), primResultNullPointer);
    EXPECT_EQ(f(s, 0, nullptr, 4), primResultNullPointer);
    EXPECT_EQ(f(s, 0, d, 0), primResultBadSize);
    // A negative count is reported after the pointers and the length.
    EXPECT_EQ(f(s, -1, d, 0), primResultBadSize);
    EXPECT_EQ(f(nullptr, -1, d, 0), primResultNullPointer);
    EXPECT_EQ(f(s, -1, nullptr, 4), primResultNullPointer);
    EXPECT_EQ(f(s, -1, d, 4), primResultBadShift);
    EXPECT_EQ(f(s, -2147483647 - 1, d, 4), primResultBadShift);
    EXPECT_EQ(f(s, 3, nullptr, 4), primResultNullPointer);
    EXPECT_EQ(f(nullptr, 3, d, 4), primResultNullPointer);
    EXPECT_EQ(f(s, 3, d, -1), primResultBadSize);
    // Counts beyond the width: the source is tested although not read.
    EXPECT_EQ(f(nullptr, 16, d, 4), primResultNullPointer);
    EXPECT_EQ(f(s, 16, nullptr, 4), primResultNullPointer);
    EXPECT_EQ(f(s, 16, d, 0), primResultBadSize);
    for (Prim16s v : d) EXPECT_EQ(v, 9);
  }
  EXPECT_EQ(vecRShiftC_32s(nullptr, 0, d32, 4), primResultNullPointer);
  EXPECT_EQ(vecRShiftC_32s(s32, 0, d32, 0), primResultBadSize);
  EXPECT_EQ(vecRShiftC_32s(s32, -1, d32, 0), primResultBadSize);
  EXPECT_EQ(vecRShiftC_32s(s32, -1, nullptr, 4), primResultNullPointer);
  EXPECT_EQ(vecRShiftC_32s(s32, -1, d32, 4), primResultBadShift);
  EXPECT_EQ(vecRShiftC_32s(s32, 40, d32, 0), primResultBadSize);
  EXPECT_EQ(vecRShiftC_32s(nullptr, 40, d32, 4), primResultNullPointer);
  for (Prim32s v : d32) EXPECT_EQ(v, 9);
}

TEST_P(ShiftTest, DegenerateCountsCopyZeroAndSignFill) {
  const std::vector<Prim16s> s16 = pool<Prim16s>(5, 77);
  const std::vector<Prim32s> s32 = pool<Prim32s>(6, 77);
  std::vector<Prim16s> d16(77, 9);
  std::vector<Prim32s> d32(77, 9);
  ASSERT_EQ(vecLShiftC_16s(s16.data(), 0, d16.data(), 77), 0);
  EXPECT_EQ(d16, s16);
  std::fill(d16.begin(), d16.end(), 9);
  ASSERT_EQ(vecRShiftC_16s(s16.data(), 0, d16.data(), 77), 0);
  EXPECT_EQ(d16, s16);
  ASSERT_EQ(vecRShiftC_32s(s32.data(), 0, d32.data(), 77), 0);
  EXPECT_EQ(d32, s32);
  std::vector<Prim16s> same = s16;
  ASSERT_EQ(vecLShiftC_16s(same.data(), 0, same.data(), 77), 0);
  EXPECT_EQ(same, s16);
  for (int n : {16, 40, 1000, 2147483647}) {
    std::fill(d16.begin(), d16.end(), 9);
    ASSERT_EQ(vecLShiftC_16s(s16.data(), n, d16.data(), 77), 0);
    for (Prim16s v : d16) ASSERT_EQ(v, 0) << n;
    ASSERT_EQ(vecRShiftC_16s(s16.data(), n, d16.data(), 77), 0);
    for (int i = 0; i < 77; ++i) ASSERT_EQ(d16[i], s16[i] < 0 ? -1 : 0) << n;
    ASSERT_EQ(vecRShiftC_32s(s32.data(), n == 2147483647 ? n : n + 16, d32.data(), 77), 0);
    for (int i = 0; i < 77; ++i) ASSERT_EQ(d32[i], s32[i] < 0 ? -1 : 0) << n;
  }
}

// Every count 0..33 (and a few wider), every length 1..70 plus 1392/1393
// around the avx2 head threshold, source and destination at byte offsets
// that include odd addresses, and in place, against px.
template <class T, class Build, class Px>
void compareShift(Build build, Px px, int maxCount, unsigned seed) {
  const std::vector<T> src = pool<T>(seed, 1400);
  std::vector<int> lengths;
  for (int len = 1; len <= 70; ++len) lengths.push_back(len);
  for (int len : {1392, 1393}) lengths.push_back(len);
  std::vector<int> counts;
  for (int n = 0; n <= maxCount + 2; ++n) counts.push_back(n);
  counts.push_back(1000);
  for (int n : counts) {
    for (int len : lengths) {
      const std::size_t bytes = std::size_t(len) * sizeof(T);
      std::vector<T> want(len);
      ASSERT_EQ(px(src.data(), n, want.data(), len), 0);
      for (std::size_t so : {0, 1, 2, 4, 6, 8}) {
        for (std::size_t dof = 0; dof < 32; ++dof) {
          if (len > 70 && dof % 2 == 0 && dof % 32 != 0 && dof != 2 && dof != 4) continue;
          if (len <= 70 && dof >= 16 && dof != 17) continue;
          Guarded s(bytes, so), d(bytes, dof);
          s.fill(src.data());
          ASSERT_EQ(build(s.as<T>(), n, d.as<T>(), len), 0);
          ASSERT_TRUE(d.guardsIntact()) << "count " << n << " len " << len << " dst offset " << dof;
          ASSERT_EQ(0, std::memcmp(d.window().data(), want.data(), bytes))
              << "count " << n << " len " << len << " offsets " << so << "/" << dof;
        }
        Guarded io(bytes, so);
        io.fill(src.data());
        ASSERT_EQ(build(io.as<T>(), n, io.as<T>(), len), 0);
        ASSERT_TRUE(io.guardsIntact());
        ASSERT_EQ(0, std::memcmp(io.window().data(), want.data(), bytes))
            << "in place, count " << n << " len " << len;
      }
    }
  }
}

TEST_P(ShiftTest, LeftShift16MatchesPx) { compareShift<Prim16s>(vecLShiftC_16s, px_vecLShiftC_16s, 15, 11); }
TEST_P(ShiftTest, RightShift16MatchesPx) { compareShift<Prim16s>(vecRShiftC_16s, px_vecRShiftC_16s, 15, 12); }
TEST_P(ShiftTest, RightShift32MatchesPx) { compareShift<Prim32s>(vecRShiftC_32s, px_vecRShiftC_32s, 31, 13); }

INSTANTIATE_GENERATIONS(ShiftTest);

// ---------------------------------------------------------------------------
// The shift kernels of the sse2 to avx builds that no primitive reaches, and
// the reached ones called directly.

struct ShiftKernels {
  const char* name;
  std::int32_t generation;
  void (*l16)(const Prim16s*, int, Prim16s*, int);
  void (*r16)(const Prim16s*, int, Prim16s*, int);
  void (*r16u)(const Prim16u*, int, Prim16u*, int);
  void (*r32)(const Prim32s*, int, Prim32s*, int);
  void (*l32)(const Prim32s*, int, Prim32s*, int);
  void (*l8)(const Prim8u*, int, Prim8u*, int);
  void (*r8)(const Prim8u*, int, Prim8u*, int);
};
#define PRIM_KERNELS(g, gen)                                                                     \
  ShiftKernels {                                                                                 \
#g, gen, g##_ownsLShiftC_16s, g##_ownsRShiftC_16s, g##_ownsRShiftC_16u, g##_ownsRShiftC_32s, \
        g##_ownsLShiftC_32s, g##_ownsLShiftC_8u, g##_ownsRShiftC_8u                              \
  }
const ShiftKernels kKernels[] = {PRIM_KERNELS(sse2, primGenSse2), PRIM_KERNELS(ssse3, primGenSsse3),
                                 PRIM_KERNELS(sse41, primGenSse41), PRIM_KERNELS(avx, primGenAvx)};
#undef PRIM_KERNELS

template <class T, class K, class Rule>
void checkShiftKernel(const char* name, K kernel, Rule rule, int minCount, int maxCount, unsigned seed) {
  const std::vector<T> src = pool<T>(seed, 200);
  for (int n = minCount; n <= maxCount; ++n) {
    for (int len = 1; len <= 140; ++len) {
      const std::size_t bytes = std::size_t(len) * sizeof(T);
      for (std::size_t so : {0, 1, 2, 4}) {
        for (std::size_t dof = 0; dof < 16; ++dof) {
          Guarded s(bytes, so), d(bytes, dof);
          s.fill(src.data());
          kernel(s.as<T>(), n, d.as<T>(), len);
          ASSERT_TRUE(d.guardsIntact()) << name << " count " << n << " len " << len << " dst offset " << dof;
          const std::vector<unsigned char> out = d.window();
          for (int i = 0; i < len; ++i) {
            T v;
            std::memcpy(&v, out.data() + i * sizeof(T), sizeof(T));
            ASSERT_EQ(v, rule(src[i], n))
                << name << " count " << n << " len " << len << " offsets " << so << "/" << dof;
          }
        }
        Guarded io(bytes, so);
        io.fill(src.data());
        kernel(io.as<T>(), n, io.as<T>(), len);
        const std::vector<unsigned char> out = io.window();
        for (int i = 0; i < len; ++i) {
          T v;
          std::memcpy(&v, out.data() + i * sizeof(T), sizeof(T));
          ASSERT_EQ(v, rule(src[i], n)) << name << " in place, count " << n << " len " << len;
        }
      }
    }
  }
}

// Every kernel of one of the sse2 to avx builds.
class ShiftKernelBuilds : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(kKernels[GetParam()].generation))
      GTEST_SKIP() << "this processor cannot run the " << kKernels[GetParam()].name << " builds";
  }
};

TEST_P(ShiftKernelBuilds, EveryKernel) {
  const ShiftKernels& k = kKernels[GetParam()];
  checkShiftKernel<Prim16s>(k.name, k.l16, lshift16, 1, 15, 21);
  checkShiftKernel<Prim16s>(k.name, k.r16, rshift16, 1, 15, 22);
  checkShiftKernel<Prim16u>(
      k.name, k.r16u, [](Prim16u v, int n) { return static_cast<Prim16u>(v >> n); }, 1, 15, 23);
  checkShiftKernel<Prim32s>(k.name, k.r32, rshift32, 1, 31, 24);
  checkShiftKernel<Prim32s>(
      k.name, k.l32,
      [](Prim32s v, int n) { return static_cast<Prim32s>(static_cast<std::uint32_t>(v) << n); }, 1, 31, 25);
  // Byte counts of 8 to 15 clear every byte.
  checkShiftKernel<Prim8u>(
      k.name, k.l8, [](Prim8u v, int n) { return static_cast<Prim8u>(n > 7 ? 0 : (v << n) & 0xff); }, 1, 15,
      26);
  checkShiftKernel<Prim8u>(
      k.name, k.r8, [](Prim8u v, int n) { return static_cast<Prim8u>(n > 7 ? 0 : v >> n); }, 1, 15, 27);
  const Prim8u bytes[2] = {0x81, 0xff};
  Prim8u out[2];
  k.l8(bytes, 1, out, 2);
  EXPECT_EQ(out[0], 0x02);
  EXPECT_EQ(out[1], 0xfe);
  k.r8(bytes, 1, out, 2);
  EXPECT_EQ(out[0], 0x40);
  EXPECT_EQ(out[1], 0x7f);
}
INSTANTIATE_TEST_SUITE_P(Builds, ShiftKernelBuilds, ::testing::Range(0, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(kKernels[info.param].name);
                         });

// Counts at or beyond the element width (negative ones read as unsigned):
// zero fill, or sign fill for the arithmetic right shifts, for every element
// of every length and alignment.
TEST(ShiftKernels, CountsBeyondTheWidthFill) {
  const std::vector<Prim8u> b = pool<Prim8u>(31, 300);
  const std::vector<Prim16s> h = pool<Prim16s>(32, 300);
  const std::vector<Prim32s> w = pool<Prim32s>(33, 300);
  const std::vector<Prim16u> u = pool<Prim16u>(34, 300);
  std::vector<Prim8u> zero8(300, 0);
  std::vector<Prim16u> zero16u(300, 0);
  std::vector<Prim16s> zero16(300, 0), fill16(300);
  std::vector<Prim32s> zero32(300, 0), fill32(300);
  for (int i = 0; i < 300; ++i) fill16[i] = h[i] < 0 ? -1 : 0, fill32[i] = w[i] < 0 ? -1 : 0;
  const std::vector<int> lengths = sweepLengths(40, {64, 65, 257});
  for (const ShiftKernels& k : kKernels) {
    const std::string name = k.name;
    if (!primTestGenerationSupported(k.generation)) continue;
    for (int n : {32, 33, 1000, -1, -2147483647 - 1}) {
      SCOPED_TRACE(name + " by " + std::to_string(n));
      checkWalks(
          b, zero8, lengths, [&](const Prim8u* s, Prim8u* d, int len) { k.l8(s, n, d, len); }, true);
      checkWalks(
          b, zero8, lengths, [&](const Prim8u* s, Prim8u* d, int len) { k.r8(s, n, d, len); }, true);
      checkWalks(
          h, zero16, lengths, [&](const Prim16s* s, Prim16s* d, int len) { k.l16(s, n, d, len); }, true);
      checkWalks(
          h, fill16, lengths, [&](const Prim16s* s, Prim16s* d, int len) { k.r16(s, n, d, len); }, true);
      checkWalks(
          u, zero16u, lengths, [&](const Prim16u* s, Prim16u* d, int len) { k.r16u(s, n, d, len); }, true);
      checkWalks(
          w, zero32, lengths, [&](const Prim32s* s, Prim32s* d, int len) { k.l32(s, n, d, len); }, true);
      checkWalks(
          w, fill32, lengths, [&](const Prim32s* s, Prim32s* d, int len) { k.r32(s, n, d, len); }, true);
    }
  }
}

}  // namespace

namespace {

class IntegerMxcsrTest : public GenerationTest {};

// The integer primitives neither read nor change the caller's MXCSR.
TEST_P(IntegerMxcsrTest, CallerMxcsrUntouched) {
  std::vector<Prim16s> a16(100, -7), b16(100);
  std::vector<Prim32s> a32(100, 70000), b32(100);
  for (const CallerSetting& c : kCallerSettings) {
    const std::uint32_t after = runUnder(c.mxcsr, [&] {
      vecLShiftC_16s(a16.data(), 3, b16.data(), 100);
      vecRShiftC_16s(a16.data(), 3, b16.data(), 100);
      vecRShiftC_32s(a32.data(), 3, b32.data(), 100);
      vecConvert_32s16s(a32.data(), b16.data(), 100);
    });
    EXPECT_EQ(after, c.mxcsr) << c.name;
  }
}

INSTANTIATE_GENERATIONS(IntegerMxcsrTest);

}  // namespace
