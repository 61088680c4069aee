// Integer conversions: the narrowing primitive in every build, and the
// widening and integer-to-float kernels nothing in the system calls.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "primitives/convert/vec_convert.h"
#include "primitives/convert/vec_convert_builds.h"
#include "tests/primitives/convert/convert_support.h"
#include "tests/support/generations.h"

namespace {

std::vector<std::int32_t> narrowPool(std::size_t n) {
  std::mt19937 rng(4);
  std::vector<std::int32_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int32_t>(rng()) >> (i % 24);
  const std::int32_t edges[] = {32767,           32768, -32768, -32769, 2147483647,
                                -2147483647 - 1, 0,     -1,     40000,  -40000};
  for (std::size_t i = 0; i < std::size(edges); ++i) v[i * 5 % n] = edges[i];
  return v;
}

Prim16s saturate16(std::int32_t v) {
  return static_cast<Prim16s>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

TEST(NarrowPx, SaturatesToSixteenBits) {
  const std::vector<std::int32_t> in = narrowPool(300);
  std::vector<Prim16s> out(in.size());
  ASSERT_EQ(px_vecConvert_32s16s(in.data(), out.data(), static_cast<int>(in.size())), 0);
  for (std::size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], saturate16(in[i])) << in[i];
}

class IntegerConvertTest : public GenerationTest {};

TEST_P(IntegerConvertTest, NarrowingMatchesPxAtEveryLengthAndAlignment) {
  const std::vector<std::int32_t> pool = narrowPool(2100);
  std::vector<int> lengths;
  for (int len = 1; len <= 70; ++len) lengths.push_back(len);
  for (int len : {1392, 1393, 2049}) lengths.push_back(len);
  for (int len : lengths) {
    std::vector<Prim16s> want(len);
    ASSERT_EQ(px_vecConvert_32s16s(pool.data(), want.data(), len), 0);
    for (std::size_t so : {0, 4, 8, 12, 2, 1}) {
      for (std::size_t dof = 0; dof < 16; ++dof) {
        Guarded src(std::size_t(len) * 4, so), dst(std::size_t(len) * 2, dof);
        src.fill(pool.data());
        ASSERT_EQ(vecConvert_32s16s(src.as<std::int32_t>(), dst.as<Prim16s>(), len), 0);
        ASSERT_TRUE(dst.guardsIntact()) << "len " << len << " dst offset " << dof;
        ASSERT_EQ(0, std::memcmp(dst.window().data(), want.data(), std::size_t(len) * 2))
            << "len " << len << " offsets " << so << "/" << dof;
      }
      // In place: the 16-bit results land at the start of the 32-bit array.
      Guarded io(std::size_t(len) * 4, so);
      io.fill(pool.data());
      ASSERT_EQ(vecConvert_32s16s(io.as<std::int32_t>(), io.as<Prim16s>(), len), 0);
      ASSERT_EQ(0, std::memcmp(io.window().data(), want.data(), std::size_t(len) * 2)) << "in place " << len;
    }
  }
}

TEST_P(IntegerConvertTest, NarrowingThroughTheStreamingPath) {
  // Above the largest threshold (699050 elements after the head), at an
  // aligned and an unaligned source.
  const int len = 700200;
  const std::vector<std::int32_t> pool = narrowPool(len + 8);
  std::vector<Prim16s> want(len), got(len + 8);
  ASSERT_EQ(px_vecConvert_32s16s(pool.data() + 1, want.data(), len), 0);
  for (int off : {0, 3}) {
    ASSERT_EQ(vecConvert_32s16s(pool.data() + 1, got.data() + off, len), 0);
    ASSERT_EQ(0, std::memcmp(got.data() + off, want.data(), std::size_t(len) * 2)) << off;
  }
}

// The kernels of the generation under test, from the builds header.
struct IntKernels {
  void (*narrow)(const Prim32s*, Prim16s*, int);
  void (*widen8)(const std::int8_t*, Prim16s*, int);
  void (*widen16)(const Prim16s*, Prim32s*, int);
};
IntKernels kernelsOf(std::int32_t g) {
  switch (g) {
    case 1:
      return {sse2_ownsConvert_32s16s, sse2_ownsConvert_8s16s, sse2_ownsConvert_16s32s};
    case 2:
    case 3:
      return {ssse3_ownsConvert_32s16s, ssse3_ownsConvert_8s16s, ssse3_ownsConvert_16s32s};
    case 4:
      return {sse41_ownsConvert_32s16s, sse41_ownsConvert_8s16s, sse41_ownsConvert_16s32s};
    case 5:
      return {avx_ownsConvert_32s16s, avx_ownsConvert_8s16s, avx_ownsConvert_16s32s};
    default:
      return {avx2_ownsConvert_32s16s, avx2_ownsConvert_8s16s, avx2_ownsConvert_16s32s};
  }
}

// Runs kernel(src, dst, len) for lengths 1..80 and 700100 at source and
// destination offsets, against element-wise expectations.
template <class S, class D, class K, class Want>
void checkKernel(K kernel, Want want, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<S> pool(700200);
  for (S& x : pool) x = static_cast<S>(rng());
  pool[1] = std::numeric_limits<S>::min();
  pool[2] = std::numeric_limits<S>::max();
  std::vector<int> lengths;
  for (int len = 1; len <= 80; ++len) lengths.push_back(len);
  lengths.push_back(700100);
  for (int len : lengths) {
    for (std::size_t so : {0, 1, 4, 8}) {
      for (std::size_t dof : {0, 2, 4, 8, 12, 1}) {
        if (len > 80 && (so > 1 || dof > 4)) continue;
        Guarded src(std::size_t(len) * sizeof(S), so), dst(std::size_t(len) * sizeof(D), dof);
        src.fill(pool.data());
        kernel(src.as<S>(), dst.as<D>(), len);
        ASSERT_TRUE(dst.guardsIntact()) << "len " << len;
        const std::vector<unsigned char> out = dst.window();
        for (int i = 0; i < len; ++i) {
          D d;
          std::memcpy(&d, out.data() + i * sizeof(D), sizeof(D));
          const D w = want(pool[i]);
          ASSERT_EQ(std::memcmp(&d, &w, sizeof(D)), 0)
              << "len " << len << " element " << i << " offsets " << so << "/" << dof;
        }
      }
    }
  }
}

TEST_P(IntegerConvertTest, WideningAndNarrowingKernels) {
  const IntKernels k = kernelsOf(generation());
  checkKernel<std::int32_t, Prim16s>(k.narrow, saturate16, 1);
  checkKernel<std::int8_t, Prim16s>(
      k.widen8, [](std::int8_t v) { return Prim16s{v}; }, 2);
  checkKernel<Prim16s, Prim32s>(
      k.widen16, [](Prim16s v) { return Prim32s{v}; }, 3);
}

INSTANTIATE_GENERATIONS(IntegerConvertTest);

// The integer to float kernels of the sse2 and ssse3 builds (one source).
struct ToFloatKernels {
  void (*s8)(const std::int8_t*, Prim32f*, int);
  void (*u8)(const Prim8u*, Prim32f*, int);
  void (*s16)(const Prim16s*, Prim32f*, int);
  void (*u16)(const Prim16u*, Prim32f*, int);
  void (*s32d)(const Prim32s*, Prim64f*, int);
  void (*s32)(const Prim32s*, Prim32f*, int);
};

class IntToFloatKernels : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam())) GTEST_SKIP() << "no " << generationName(GetParam());
  }
  ToFloatKernels kernels() const {
    if (GetParam() == 1)
      return {sse2_ownsConvert_8s32f,  sse2_ownsConvert_8u32f,  sse2_ownsConvert_16s32f,
              sse2_ownsConvert_16u32f, sse2_ownsConvert_32s64f, sse2_ownsConvert_32s32f};
    return {ssse3_ownsConvert_8s32f,  ssse3_ownsConvert_8u32f,  ssse3_ownsConvert_16s32f,
            ssse3_ownsConvert_16u32f, ssse3_ownsConvert_32s64f, ssse3_ownsConvert_32s32f};
  }
};

TEST_P(IntToFloatKernels, ExactConversions) {
  const ToFloatKernels k = kernels();
  checkKernel<std::int8_t, float>(
      k.s8, [](std::int8_t v) { return static_cast<float>(v); }, 4);
  checkKernel<Prim8u, float>(
      k.u8, [](Prim8u v) { return static_cast<float>(v); }, 5);
  checkKernel<Prim16s, float>(
      k.s16, [](Prim16s v) { return static_cast<float>(v); }, 6);
  checkKernel<Prim16u, float>(
      k.u16, [](Prim16u v) { return static_cast<float>(v); }, 7);
  checkKernel<Prim32s, double>(
      k.s32d, [](Prim32s v) { return static_cast<double>(v); }, 8);
  checkKernel<Prim32s, float>(
      k.s32, [](Prim32s v) { return static_cast<float>(v); }, 9);
  const Prim8u b = 255;
  const std::int8_t c = -128;
  float f = 0;
  k.u8(&b, &f, 1);
  EXPECT_EQ(f, 255.0f);
  k.s8(&c, &f, 1);
  EXPECT_EQ(f, -128.0f);
}

TEST_P(IntToFloatKernels, RoundsUnderTheCallersModeAndKeepsItsRegister) {
  // 16777217 and 2147483647 round by the caller's mode; the inexact flag
  // raised by the rounding does not stay, in place or not, at every length.
  const ToFloatKernels k = kernels();
  for (std::uint32_t mxcsr : {0x1f80u, 0x7f80u, 0x5f80u, 0x1fbfu}) {
    const bool towardZero = (mxcsr & 0x6000) == 0x6000, up = (mxcsr & 0x6000) == 0x4000;
    const float want[] = {towardZero ? 16777216.0f : (up ? 16777218.0f : 16777216.0f),
                          towardZero ? 2147483520.0f : 2147483648.0f};
    for (int len = 1; len <= 19; ++len) {
      std::vector<Prim32s> io(len);
      for (int i = 0; i < len; ++i) io[i] = i % 2 ? 2147483647 : 16777217;
      std::vector<float> out(len);
      const std::uint32_t after = runUnder(mxcsr, [&] {
        k.s32(io.data(), out.data(), len);
        k.s32(io.data(), reinterpret_cast<float*>(io.data()), len);
      });
      EXPECT_EQ(after, mxcsr);
      for (int i = 0; i < len; ++i) {
        float inPlace;
        std::memcpy(&inPlace, &io[i], 4);
        ASSERT_EQ(out[i], want[i % 2]) << "len " << len << " MXCSR " << std::hex << mxcsr;
        ASSERT_EQ(inPlace, want[i % 2]) << "in place, len " << len;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ToFloatBuilds, IntToFloatKernels, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

}  // namespace
