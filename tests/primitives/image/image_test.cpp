#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/image/image.h"
#include "primitives/image/image_builds.h"
#include "tests/support/generations.h"

namespace {

// A byte buffer with a region placed at an offset; everything outside the
// region is guard filling, so comparing whole buffers also proves that no
// build writes outside its region.
struct Buffer {
  std::vector<Prim8u> bytes;
  explicit Buffer(size_t n, unsigned seed) : bytes(n) {
    std::mt19937 rng(seed);
    for (auto& b : bytes) b = static_cast<Prim8u>(rng());
  }
  template <class T>
  T* at(size_t offset) {
    return reinterpret_cast<T*>(bytes.data() + offset);
  }
};

struct Geometry {
  int width, height, srcStepExtra, dstStepExtra, srcOffset, dstOffset;
};

std::vector<Geometry> geometries(int elemSize) {
  std::vector<Geometry> g;
  for (int w : {1, 2, 3, 6, 7, 8, 14, 15, 16, 22, 23, 24, 31, 32, 33, 57, 63, 64, 65, 130})
    for (int off : {0, 1, 2, 4, 14, 30}) g.push_back({w, 3, elemSize * 3 + 1, 6, off, (off * 7 + 2) % 33});
  // Contiguous regions (steps equal to the row) and a single row.
  for (int w : {1, 5, 40, 333}) g.push_back({w, 4, 0, 0, 0, 0}), g.push_back({w, 4, 0, 0, 16, 16});
  g.push_back({1000, 1, 0, 0, 3, 5});
  return g;
}

class ImageTest : public GenerationTest {};

// Runs `op(px?)` on two identical buffers, once with px and once with the
// public entry (forced generation), and compares them.
template <class T, class Op>
void compareCopyLike(Op op, unsigned seed) {
  for (const Geometry& g : geometries(sizeof(T))) {
    const int rowBytes = g.width * static_cast<int>(sizeof(T));
    const int srcStep = rowBytes + g.srcStepExtra, dstStep = rowBytes + g.dstStepExtra;
    const size_t size = static_cast<size_t>(std::max(srcStep, dstStep)) * g.height + 128;
    Buffer src(size, seed), a(size, seed + 1), b(size, seed + 1);
    const T* s = src.at<T>(32 + g.srcOffset);
    ASSERT_EQ(op(true, s, srcStep, a.at<T>(32 + g.dstOffset), dstStep, g.width, g.height), 0);
    ASSERT_EQ(op(false, s, srcStep, b.at<T>(32 + g.dstOffset), dstStep, g.width, g.height), 0);
    ASSERT_EQ(a.bytes, b.bytes) << "width " << g.width << " src offset " << g.srcOffset << " dst offset "
                                << g.dstOffset;
  }
}

TEST_P(ImageTest, CopyMatchesPx) {
  compareCopyLike<Prim16s>(
      [](bool px, const Prim16s* s, int ss, Prim16s* d, int ds, int w, int h) {
        return (px ? px_imgCopy_16s_C1R : imgCopy_16s_C1R)(s, ss, d, ds, w, h);
      },
      1);
  compareCopyLike<Prim32s>(
      [](bool px, const Prim32s* s, int ss, Prim32s* d, int ds, int w, int h) {
        return (px ? px_imgCopy_32s_C1R : imgCopy_32s_C1R)(s, ss, d, ds, w, h);
      },
      2);
}

TEST_P(ImageTest, LargeCopiesStreamWhenTheCacheIsSmall) {
  // 0x100000 bytes and a bit more, contiguous and not, with the cache lookup
  // forced small (streaming) and failing (ordinary stores).
  for (int cache : {0, 4096}) {
    owniTestRegionCacheSize = cache;
    for (int w : {262144, 262160}) {
      Buffer src(w * 4 + 64, 3), a(w * 4 + 64, 4), b(w * 4 + 64, 4);
      ASSERT_EQ(px_imgCopy_32s_C1R(src.at<Prim32s>(4), w * 4, a.at<Prim32s>(12), w * 4, w, 1), 0);
      ASSERT_EQ(imgCopy_32s_C1R(src.at<Prim32s>(4), w * 4, b.at<Prim32s>(12), w * 4, w, 1), 0);
      ASSERT_EQ(a.bytes, b.bytes);
      const int rows = w / 200;  // 1000-byte rows, merged: about 1.3 MB
      Buffer src2(1000 * rows + 64, 5), c(1000 * rows + 64, 6), d(1000 * rows + 64, 6);
      ASSERT_EQ(px_imgCopy_16s_C1R(src2.at<Prim16s>(3), 1000, c.at<Prim16s>(1), 1000, 500, rows), 0);
      ASSERT_EQ(imgCopy_16s_C1R(src2.at<Prim16s>(3), 1000, d.at<Prim16s>(1), 1000, 500, rows), 0);
      ASSERT_EQ(c.bytes, d.bytes);
    }
  }
  owniTestRegionCacheSize = -1;
}

TEST_P(ImageTest, SetMatchesPx) {
  for (const Geometry& g : geometries(1)) {
    const int step = g.width + g.dstStepExtra;
    const size_t size = static_cast<size_t>(step) * g.height + 128;
    Buffer a(size, 9), b(size, 9);
    ASSERT_EQ(px_imgSet_8u_C1R(0xa5, a.at<Prim8u>(32 + g.dstOffset), step, g.width, g.height), 0);
    ASSERT_EQ(imgSet_8u_C1R(0xa5, b.at<Prim8u>(32 + g.dstOffset), step, g.width, g.height), 0);
    ASSERT_EQ(a.bytes, b.bytes) << g.width;
  }
  // A large contiguous fill (its cache query may choose streaming stores).
  Buffer a(0x180000, 1), b(0x180000, 1);
  ASSERT_EQ(px_imgSet_8u_C1R(7, a.at<Prim8u>(5), 0x1000, 0x1000, 0x170), 0);
  ASSERT_EQ(imgSet_8u_C1R(7, b.at<Prim8u>(5), 0x1000, 0x1000, 0x170), 0);
  ASSERT_EQ(a.bytes, b.bytes);
}

using Set16Fn = PrimResult (*)(Prim16s, Prim16s*, int, int, int);
const Set16Fn kSet16[7] = {px_imgSet_16s_C1R,    sse2_imgSet_16s_C1R,  ssse3_imgSet_16s_C1R,
                           ssse3_imgSet_16s_C1R, sse41_imgSet_16s_C1R, avx_imgSet_16s_C1R,
                           avx2_imgSet_16s_C1R};

TEST_P(ImageTest, Set16MatchesPxAtOddAddresses) {
  for (const Geometry& g : geometries(2)) {
    const int step = 2 * g.width + g.dstStepExtra;
    const size_t size = static_cast<size_t>(step) * g.height + 128;
    Buffer a(size, 5), b(size, 5);
    ASSERT_EQ(px_imgSet_16s_C1R(0x1234, a.at<Prim16s>(32 + g.dstOffset), step, g.width, g.height), 0);
    ASSERT_EQ(kSet16[generation()](0x1234, b.at<Prim16s>(32 + g.dstOffset), step, g.width, g.height), 0);
    ASSERT_EQ(a.bytes, b.bytes) << g.width << " at offset " << g.dstOffset;
  }
}

TEST_P(ImageTest, MultiplyMatchesPxInEveryCase) {
  for (int sf : {0, 1, 2, 5, 11, 15, 16, 30, 31, -1, -5, -14, -15, -40}) {
    for (Prim16s value : {Prim16s{0}, Prim16s{1}, Prim16s{-1}, Prim16s{3}, Prim16s{2048 + 700},
                          Prim16s{-32768}, Prim16s{32767}, Prim16s{-6}}) {
      compareCopyLike<Prim16s>(
          [&](bool px, const Prim16s* s, int ss, Prim16s* d, int ds, int w, int h) {
            return (px ? px_imgMulC_16s_C1RSfs : imgMulC_16s_C1RSfs)(s, ss, value, d, ds, w, h, sf);
          },
          11);
    }
  }
}

TEST_P(ImageTest, MultiplyInPlace) {
  std::vector<Prim16s> a(4000), b;
  std::mt19937 rng(8);
  for (auto& x : a) x = static_cast<Prim16s>(rng());
  b = a;
  std::vector<Prim16s> c(a.size());
  ASSERT_EQ(px_imgMulC_16s_C1RSfs(a.data(), 200, 2900, c.data(), 200, 100, 40, 12), 0);
  ASSERT_EQ(imgMulC_16s_C1RSfs(b.data(), 200, 2900, b.data(), 200, 100, 40, 12), 0);
  EXPECT_EQ(b, c);
}

TEST_P(ImageTest, FloatMultiplyMatchesPx) {
  for (float value : {0.0f, -0.0f, 1.0f, 0.5f, -3.75f, 2.0f, 1e-30f}) {
    compareCopyLike<Prim32f>(
        [&](bool px, const Prim32f* s, int ss, Prim32f* d, int ds, int w, int h) {
          return (px ? px_imgMulC_32f_C1R : imgMulC_32f_C1R)(s, ss, value, d, ds, w, h);
        },
        21);
  }
}

TEST_P(ImageTest, ShiftMatchesPx) {
  for (Prim32u shift : {0u, 1u, 3u, 7u, 15u, 16u, 31u, 32u, 4294967295u}) {
    compareCopyLike<Prim16s>(
        [&](bool px, const Prim16s* s, int ss, Prim16s* d, int ds, int w, int h) {
          return (px ? px_imgRShiftC_16s_C1R : imgRShiftC_16s_C1R)(s, ss, shift, d, ds, w, h);
        },
        31);
  }
}

TEST_P(ImageTest, ChecksInOrderLeaveTheDestinationAlone) {
  Prim16s s[4] = {1, 2, 3, 4}, d[4] = {9, 9, 9, 9};
  EXPECT_EQ(imgCopy_16s_C1R(nullptr, 8, d, 8, 0, 1), primResultNullPointer);
  EXPECT_EQ(imgCopy_16s_C1R(s, 8, d, 8, 4, 0), primResultBadSize);
  EXPECT_EQ(imgMulC_16s_C1RSfs(s, 8, 0, nullptr, 8, 4, 1, 0), primResultNullPointer);
  EXPECT_EQ(imgMulC_16s_C1RSfs(s, 8, 0, d, 8, 0, 1, 0), primResultBadSize);
  EXPECT_EQ(imgMulC_32f_C1R(nullptr, 8, 1.0f, nullptr, 8, 0, 0), primResultNullPointer);
  EXPECT_EQ(imgRShiftC_16s_C1R(nullptr, 0, 1, d, 8, 0, 1), primResultNullPointer);
  EXPECT_EQ(imgRShiftC_16s_C1R(s, 0, 1, d, 8, 0, 1), primResultBadStep);
  EXPECT_EQ(imgRShiftC_16s_C1R(s, 8, 0, d, 0, 4, 1), primResultBadStep);
  EXPECT_EQ(imgRShiftC_16s_C1R(s, 8, 1, d, 8, 4, 0), primResultBadSize);
  EXPECT_EQ(imgSet_8u_C1R(1, nullptr, 8, 0, 0), primResultNullPointer);
  EXPECT_EQ(imgSet_8u_C1R(1, reinterpret_cast<Prim8u*>(d), 8, 8, 0), primResultBadSize);
  for (Prim16s v : d) EXPECT_EQ(v, 9);
}

TEST_P(ImageTest, StepZeroWritesTheFirstRowAgain) {
  Prim8u row[20] = {};
  EXPECT_EQ(imgSet_8u_C1R(3, row + 1, 0, 10, 5), 0);
  EXPECT_EQ(row[0], 0);
  EXPECT_EQ(row[10], 3);
  EXPECT_EQ(row[11], 0);
}

INSTANTIATE_GENERATIONS(ImageTest);

// --- Results against independent formulas -------------------------------

// r x 2^-sf rounded half to even in exact integer arithmetic, saturated.
Prim16s reference(std::int64_t p, int sf) {
  std::int64_t q;
  if (sf >= 0) {
    if (sf > 40) {
      q = 0;
    } else {
      const std::int64_t div = std::int64_t{1} << sf;
      q = p / div;  // toward zero
      std::int64_t rem = p - q * div;
      if (rem < 0) rem = -rem;
      const std::int64_t twice = 2 * rem;
      if (twice > div || (twice == div && (q & 1))) q += p < 0 ? -1 : 1;
    }
  } else {
    q = -sf > 20 ? (p > 0 ? 1 << 20 : p < 0 ? -(1 << 20) : 0) : p * (std::int64_t{1} << -sf);
  }
  return static_cast<Prim16s>(std::clamp<std::int64_t>(q, -32768, 32767));
}

TEST(ImageMultiplyRule, GenericBuildFollowsTheScaleFactorRule) {
  std::mt19937 rng(77);
  std::vector<Prim16s> src(512);
  for (auto& x : src) x = static_cast<Prim16s>(rng());
  src[0] = -32768, src[1] = 32767, src[2] = 0, src[3] = 1, src[4] = -1;
  std::vector<Prim16s> out(src.size());
  for (int sf = -20; sf <= 33; ++sf) {
    for (int value : {-32768, -24576, -16384, -1000, -3, -1, 1, 2, 3, 1000, 2748, 32767}) {
      ASSERT_EQ(
          px_imgMulC_16s_C1RSfs(src.data(), 1024, static_cast<Prim16s>(value), out.data(), 1024, 512, 1, sf),
          0);
      for (size_t i = 0; i < src.size(); ++i)
        ASSERT_EQ(out[i], reference(std::int64_t{src[i]} * value, sf))
            << src[i] << " x " << value << " sf " << sf;
    }
  }
}

TEST(ImageMultiplyRule, DocumentedExamples) {
  auto one = [](Prim16s s, Prim16s v, int sf) {
    Prim16s d;
    EXPECT_EQ(imgMulC_16s_C1RSfs(&s, 2, v, &d, 2, 1, 1, sf), 0);
    return d;
  };
  EXPECT_EQ(one(-32768, -32768, 0), 32767);
  EXPECT_EQ(one(-32768, -32768, 15), 32767);
  EXPECT_EQ(one(-32768, -32768, 16), 16384);
  EXPECT_EQ(one(-32768, -32768, 30), 1);
  EXPECT_EQ(one(-32768, -32768, 31), 0);
  EXPECT_EQ(one(-32768, -16384, 30), 0);
  EXPECT_EQ(one(-32768, -24576, 30), 1);
  EXPECT_EQ(one(1000, 1000, 5), 31250);
  EXPECT_EQ(one(1, 1, -14), 16384);
  EXPECT_EQ(one(1, 2, -14), 32767);
  EXPECT_EQ(one(5, -3, -15), -32768);
  EXPECT_EQ(one(0, 5, -15), 0);
  EXPECT_EQ(one(3, 1, 1), 2);
  EXPECT_EQ(one(-3, 1, 1), -2);
  EXPECT_EQ(one(-32768, -1, 0), 32767);
  EXPECT_EQ(one(7, 1, INT32_MIN), 32767);
  EXPECT_EQ(one(7, 1, INT32_MAX), 0);
}

TEST(ImageShiftRule, SignFillAndRounding) {
  const Prim16s src[5] = {-1, -3, 3, -32768, 32767};
  Prim16s out[5];
  ASSERT_EQ(imgRShiftC_16s_C1R(src, 10, 1, out, 10, 5, 1), 0);
  const Prim16s one[5] = {-1, -2, 1, -16384, 16383};
  EXPECT_EQ(0, std::memcmp(out, one, sizeof out));
  for (Prim32u count : {15u, 16u, 31u, 32u, 4294967295u}) {
    ASSERT_EQ(imgRShiftC_16s_C1R(src, 10, count, out, 10, 5, 1), 0);
    const Prim16s fill[5] = {-1, -1, 0, -1, 0};
    EXPECT_EQ(0, std::memcmp(out, fill, sizeof out)) << count;
  }
}

TEST(ImageAllocation, StepsAndFailures) {
  int step = -1;
  Prim8u* p = imgMalloc_8u_C1(1, 1, &step);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(step, 64);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 64, 0u);
  imgFree(p);
  p = imgMalloc_8u_C1(1000, 3, &step);
  EXPECT_EQ(step, 1024);
  p[3 * 1024 - 1] = 1;  // the whole request is usable
  imgFree(p);
  imgFree(imgMalloc_8u_C1(65, 1, &step));
  EXPECT_EQ(step, 128);
  step = 5;
  EXPECT_EQ(imgMalloc_8u_C1(0, 3, &step), nullptr);
  EXPECT_EQ(step, 0);
  EXPECT_EQ(imgMalloc_8u_C1(64, 1, nullptr), nullptr);
  // Sizes that do not fit an int are refused, never wrapped.
  EXPECT_EQ(imgMalloc_8u_C1(INT32_MAX - 10, 1, &step), nullptr);
  EXPECT_EQ(imgMalloc_8u_C1(1 << 20, 1 << 12, &step), nullptr);
  EXPECT_EQ(step, 1 << 20);
  imgFree(nullptr);
}

TEST(ImageFloatMultiply, NoShortcuts) {
  const float src[4] = {5.0f, -5.0f, INFINITY, NAN};
  float out[4];
  ASSERT_EQ(imgMulC_32f_C1R(src, 16, 0.0f, out, 16, 4, 1), 0);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_TRUE(std::signbit(out[1]));
  EXPECT_TRUE(std::isnan(out[2]));
  EXPECT_TRUE(std::isnan(out[3]));
}

}  // namespace
