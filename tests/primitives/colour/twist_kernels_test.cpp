// One-pixel colour twist kernels for 32f, 8u, 16u and 16s pixels (C3, AC4,
// P3).  There is no generic build: every SIMD build is checked against the
// element formula, t = m3 + m0 s0, u = m1 s1 + m2 s2, r = t + u in single
// precision; integers clamped to the type (NaN: upper bound) and rounded to
// nearest even.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "primitives/colour/twist_builds.h"
#include "tests/support/generations.h"

namespace {

enum class Layout { C3, AC4, P3 };
constexpr Layout kLayouts[] = {Layout::C3, Layout::AC4, Layout::P3};

template <class T>
struct Kernels {
  void (*c3)(const T*, T*, int, const Prim32f*);
  void (*ac4)(const T*, T*, int, const Prim32f*);
  void (*p3)(const T*, T*, const Prim32s*, int, const Prim32f*);
};

#define TWIST_KERNELS(gen, type)                                                                          \
  Kernels<Prim##type> {                                                                                   \
    gen##_owniColorTwist_##type##_C3, gen##_owniColorTwist_##type##_AC4, gen##_owniColorTwist_##type##_P3 \
  }
#define TWIST_KERNEL_TABLE(type)                                                          \
  {                                                                                       \
    TWIST_KERNELS(sse2, type), TWIST_KERNELS(sse2, type), TWIST_KERNELS(ssse3, type),     \
        TWIST_KERNELS(ssse3, type), TWIST_KERNELS(sse41, type), TWIST_KERNELS(avx, type), \
        TWIST_KERNELS(avx2, type)                                                         \
  }

// Index: generation (entry 0 unused: no generic build).
const Kernels<Prim32f> k32f[7] = TWIST_KERNEL_TABLE(32f);
const Kernels<Prim8u> k8u[7] = TWIST_KERNEL_TABLE(8u);
const Kernels<Prim16u> k16u[7] = TWIST_KERNEL_TABLE(16u);
const Kernels<Prim16s> k16s[7] = TWIST_KERNEL_TABLE(16s);
const Kernels<Prim32f>& kernels(Prim32f, int g) { return k32f[g]; }
const Kernels<Prim8u>& kernels(Prim8u, int g) { return k8u[g]; }
const Kernels<Prim16u>& kernels(Prim16u, int g) { return k16u[g]; }
const Kernels<Prim16s>& kernels(Prim16s, int g) { return k16s[g]; }

// Block from a row-major 3x4 matrix; lane 3 of every column gets lane3.
std::vector<float> makeBlock(const float m[3][4], float lane3 = 0.0f) {
  std::vector<float> b(16, lane3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) b[4 * j + i] = m[i][j];
  return b;
}

template <class T>
T formula(const float* block, int i, const T s[3]) {
  const float s0 = s[0], s1 = s[1], s2 = s[2];
  const float t = block[12 + i] + block[i] * s0;
  const float u = block[4 + i] * s1 + block[8 + i] * s2;
  float r = t + u;
  if constexpr (std::is_floating_point_v<T>) return r;
  const float high = std::numeric_limits<T>::max(), low = std::numeric_limits<T>::min();
  if (!(r <= high)) r = high;
  if (r < low) r = low;
  return static_cast<T>(std::nearbyint(r));
}

template <class T>
T get(const std::vector<unsigned char>& buf, std::ptrdiff_t at) {
  T v;
  std::memcpy(&v, buf.data() + at, sizeof v);
  return v;
}
template <class T>
void put(std::vector<unsigned char>& buf, std::ptrdiff_t at, T v) {
  std::memcpy(buf.data() + at, &v, sizeof v);
}

// A run of pixels in guarded byte buffers: pixel p, channel c lies at
// base + plane[c] + p * pitch of its buffer.  P3 planes lie in ascending or
// descending order, the destination's further apart than the source's.
template <class T>
struct PixelRun {
  Layout layout;
  int pixels;
  std::ptrdiff_t pitch, srcBase, dstBase;
  std::ptrdiff_t srcPlane[4], dstPlane[4];
  std::vector<unsigned char> src, dst;

  PixelRun(Layout l, int n, int srcAlign, int dstAlign, bool descending = false) : layout(l), pixels(n) {
    const std::ptrdiff_t z = sizeof(T);
    pitch = l == Layout::C3 ? 3 * z : l == Layout::AC4 ? 4 * z : z;
    src.assign(place(srcPlane, srcBase, srcAlign, n * z + 24, descending), 0);
    dst.assign(place(dstPlane, dstBase, dstAlign, n * z + 56, descending), 0xA5);
  }
  // Lays out one image; returns its buffer size.
  std::size_t place(std::ptrdiff_t plane[4], std::ptrdiff_t& base, int align, std::ptrdiff_t gap,
                    bool descending) const {
    const std::ptrdiff_t z = sizeof(T);
    for (int c = 0; c < 4; ++c)
      plane[c] = layout != Layout::P3 ? c * z : c == 3 ? 0 : (descending ? -c : c) * gap;
    const std::ptrdiff_t span = layout == Layout::P3 ? 3 * gap : pixels * pitch;
    base = 64 + align + (layout == Layout::P3 && descending ? 2 * gap : 0);
    return static_cast<std::size_t>(span + 128);
  }
  std::ptrdiff_t srcAt(int p, int c) const { return srcBase + srcPlane[c] + p * pitch; }
  std::ptrdiff_t dstAt(int p, int c) const { return dstBase + dstPlane[c] + p * pitch; }

  // In place: the destination is the source, with the source's distances.
  void call(const Kernels<T>& k, const std::vector<float>& block, bool inPlace = false) {
    const T* s = reinterpret_cast<const T*>(src.data() + srcBase);
    T* d = inPlace ? reinterpret_cast<T*>(src.data() + srcBase) : reinterpret_cast<T*>(dst.data() + dstBase);
    const std::ptrdiff_t* dp = inPlace ? srcPlane : dstPlane;
    const Prim32s distances[4] = {Prim32s(srcPlane[1]), Prim32s(srcPlane[2]), Prim32s(dp[1]), Prim32s(dp[2])};
    switch (layout) {
      case Layout::C3:
        k.c3(s, d, 3 * pixels, block.data());
        break;
      case Layout::AC4:
        k.ac4(s, d, 4 * pixels, block.data());
        break;
      case Layout::P3:
        k.p3(s, d, distances, pixels, block.data());
        break;
    }
  }
};

template <class T>
T randomSample(std::mt19937& rng) {
  constexpr T lo = std::numeric_limits<T>::lowest(), hi = std::numeric_limits<T>::max();
  if constexpr (std::is_floating_point_v<T>) {
    return std::uniform_real_distribution<T>(-50, 300)(rng);
  } else {
    // A quarter of the samples are the type's extremes.
    const int r = static_cast<int>(rng() % 8);
    if (r < 2) return r == 0 ? lo : hi;
    return static_cast<T>(std::uniform_int_distribution<int>(lo, hi)(rng));
  }
}

// Fills the source with random samples (AC4 fourth samples included), runs
// the kernel and checks every destination byte: transformed channels against
// the formula, everything else (AC4 fourth samples, guards) untouched; the
// source stays as it was.
template <class T>
void checkRun(PixelRun<T>& run, const Kernels<T>& k, const std::vector<float>& block, unsigned seed) {
  std::mt19937 rng(seed);
  for (int p = 0; p < run.pixels; ++p)
    for (int c = 0; c < (run.layout == Layout::AC4 ? 4 : 3); ++c)
      put<T>(run.src, run.srcAt(p, c), randomSample<T>(rng));
  const std::vector<unsigned char> src = run.src;
  std::vector<unsigned char> want = run.dst;
  for (int p = 0; p < run.pixels; ++p) {
    T s[3];
    for (int c = 0; c < 3; ++c) s[c] = get<T>(src, run.srcAt(p, c));
    for (int i = 0; i < 3; ++i) put<T>(want, run.dstAt(p, i), formula(block.data(), i, s));
  }
  run.call(k, block);
  ASSERT_EQ(src, run.src) << "source changed";
  for (size_t i = 0; i < want.size(); ++i)
    ASSERT_EQ(want[i], run.dst[i]) << "byte " << i - run.dstBase << " from the destination";
  // In place gives the same samples.
  run.call(k, block, /*inPlace=*/true);
  for (int p = 0; p < run.pixels; ++p)
    for (int c = 0; c < 3; ++c)
      ASSERT_EQ(get<T>(run.src, run.srcAt(p, c)), get<T>(want, run.dstAt(p, c))) << "in place";
}

class TwistKernelTest : public GenerationTest {
 protected:
  template <class T>
  void formulaAtEveryLengthAndAlignment() {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> gain(-2.0f, 2.0f);
    const float range =
        std::is_floating_point_v<T> ? 255.0f : static_cast<float>(std::numeric_limits<T>::max());
    std::uniform_real_distribution<float> offset(-0.3f * range, 1.3f * range);
    for (Layout l : kLayouts)
      for (int n : {1, 2, 3, 5, 8, 17})
        for (int sa = 0; sa < 16; ++sa)
          for (int da = 0; da < 16; ++da) {
            float m[3][4];
            for (auto& row : m)
              row[0] = gain(rng), row[1] = gain(rng), row[2] = gain(rng), row[3] = offset(rng);
            const auto block = makeBlock(m, da % 2 ? NAN : 1e30f);  // lane 3 enters nothing
            PixelRun<T> run(l, n, sa, da, (sa + da) % 2 == 1);
            SCOPED_TRACE(::testing::Message()
                         << "layout " << int(l) << " pixels " << n << " alignments " << sa << "/" << da);
            checkRun(run, kernels(T{}, generation()), block, rng());
            if (HasFatalFailure()) return;
          }
  }

  // Output channel 0 of the one-pixel run (s0, s1, s2) in every layout; the
  // three layouts must agree.
  template <class T>
  std::vector<T> onePixel(const float m[3][4], T s0, T s1 = 0, T s2 = 0) {
    std::vector<T> outs[3];
    for (Layout l : kLayouts) {
      PixelRun<T> run(l, 1, 0, 0);
      const T s[3] = {s0, s1, s2};
      for (int c = 0; c < 3; ++c) put<T>(run.src, run.srcAt(0, c), s[c]);
      run.call(kernels(T{}, generation()), makeBlock(m));
      for (int c = 0; c < 3; ++c) outs[int(l)].push_back(get<T>(run.dst, run.dstAt(0, c)));
    }
    EXPECT_EQ(outs[0], outs[1]);
    EXPECT_EQ(outs[0], outs[2]);
    return outs[0];
  }

  template <class T>
  void identityAndSaturation() {
    constexpr T lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
    const float id[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    EXPECT_EQ(onePixel<T>(id, lo, hi, T(lo + 1)), (std::vector<T>{lo, hi, T(lo + 1)}));
    EXPECT_EQ(onePixel<T>(id, T(hi - 1), T(hi / 2), T(0)), (std::vector<T>{T(hi - 1), T(hi / 2), 0}));
    auto ch0 = [&](float gain, float add, T s0) {
      const float m[3][4] = {{gain, 0, 0, add}, {0, 0, 0, 0}, {0, 0, 0, 0}};
      return onePixel<T>(m, s0, hi, lo)[0];
    };
    EXPECT_EQ(ch0(2.0f, 0.0f, T(hi - 10)), hi);
    EXPECT_EQ(ch0(1.0f, -1e4f - (lo < 0 ? 32768.0f : 0.0f), T(5)), lo);
    EXPECT_EQ(ch0(1.0f, 1e10f, T(0)), hi);  // far beyond the 32-bit range
    EXPECT_EQ(ch0(1.0f, -1e10f, T(0)), lo);
    EXPECT_EQ(ch0(INFINITY, 0.0f, T(0)), hi);  // NaN: infinity times zero
    EXPECT_EQ(ch0(1.0f, NAN, T(1)), hi);
    EXPECT_EQ(ch0(INFINITY, 0.0f, T(1)), hi);
    EXPECT_EQ(ch0(-INFINITY, 0.0f, T(1)), lo);
    EXPECT_EQ(ch0(0.5f, 0.0f, T(5)), T(2));  // ties to even
    EXPECT_EQ(ch0(0.5f, 0.0f, T(7)), T(4));
    EXPECT_EQ(ch0(1.0f, -0.5f, T(1)), T(0));
  }
};

TEST_P(TwistKernelTest, MatchesFormulaAtEveryLengthAlignmentPlaneOrderAndInPlace) {
  formulaAtEveryLengthAndAlignment<Prim32f>();
  formulaAtEveryLengthAndAlignment<Prim8u>();
  formulaAtEveryLengthAndAlignment<Prim16u>();
  formulaAtEveryLengthAndAlignment<Prim16s>();
}

TEST_P(TwistKernelTest, IdentitySaturationNonFiniteAndRounding) {
  identityAndSaturation<Prim8u>();
  identityAndSaturation<Prim16u>();
  identityAndSaturation<Prim16s>();
  const float half[3][4] = {{0.5f, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  EXPECT_EQ(onePixel<Prim8u>(half, 5, 200, 9), (std::vector<Prim8u>{2, 0, 0}));
  const float minus10[3][4] = {{1, 0, 0, -10}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  EXPECT_EQ(onePixel<Prim8u>(minus10, 5)[0], 0);
  EXPECT_EQ(onePixel<Prim16s>(half, -5)[0], -2);  // -2.5 to even
}

INSTANTIATE_GENERATIONS(TwistKernelTest);

}  // namespace
