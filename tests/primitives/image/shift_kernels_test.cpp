// The shift module's region kernels of every generation (left, logical right
// and arithmetic right shifts of 8-, 16- and 32-bit elements; one channel,
// C4, AC4, AC4Same) against the element definition.  There is no generic
// build of these kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "primitives/image/image_builds.h"
#include "tests/support/generations.h"

namespace {

enum class Op { Left, Logical, Arith };
enum Layout { C1, C4, AC4, AC4Same };

// Every kernel called on byte addresses; C1 kernels get shifts[0].
using Kernel = std::function<void(const Prim8u*, int, Prim8u*, int, int, int, const Prim32u*)>;

template <class T>
Kernel wrap(void (*f)(const T*, int, T*, int, int, int, Prim32u)) {
  return [f](const Prim8u* s, int ss, Prim8u* d, int ds, int w, int h, const Prim32u* n) {
    f(reinterpret_cast<const T*>(s), ss, reinterpret_cast<T*>(d), ds, w, h, n[0]);
  };
}
template <class T>
Kernel wrap(void (*f)(const T*, int, T*, int, int, int, const Prim32u*)) {
  return [f](const Prim8u* s, int ss, Prim8u* d, int ds, int w, int h, const Prim32u* n) {
    f(reinterpret_cast<const T*>(s), ss, reinterpret_cast<T*>(d), ds, w, h, n);
  };
}

#define LAYOUTS(gen, name) \
  { wrap(gen##_##name), wrap(gen##_##name##_C4), wrap(gen##_##name##_AC4), wrap(gen##_##name##_AC4Same) }
#define BUILDS(name)                                                                       \
  {                                                                                        \
    LAYOUTS(sse2, name), LAYOUTS(ssse3, name), LAYOUTS(ssse3, name), LAYOUTS(sse41, name), \
        LAYOUTS(avx, name), LAYOUTS(avx2, name)                                            \
  }

struct Family {
  const char* name;
  Op op;
  int bits;
  Kernel builds[6][4];  // generation - 1, layout
};

const Family kFamilies[] = {
    {"LShiftC_8u", Op::Left, 8, BUILDS(owniLShiftC_8u)},
    {"RShiftC_8u", Op::Logical, 8, BUILDS(owniRShiftC_8u)},
    {"RShiftC_8s", Op::Arith, 8, BUILDS(owniRShiftC_8s)},
    {"LShiftC_16u", Op::Left, 16, BUILDS(owniLShiftC_16u)},
    {"RShiftC_16u", Op::Logical, 16, BUILDS(owniRShiftC_16u)},
    {"RShiftC_16s", Op::Arith, 16, BUILDS(owniRShiftC_16s)},
    {"LShiftC_32s", Op::Left, 32, BUILDS(owniLShiftC_32s)},
    {"RShiftC_32s", Op::Arith, 32, BUILDS(owniRShiftC_32s)},
};

// The element definition on the element's bits.
std::uint32_t expected(Op op, int bits, std::uint32_t u, Prim32u n) {
  const std::uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  const std::int64_t sv = (u & (1u << (bits - 1))) ? std::int64_t{u} - (std::int64_t{1} << bits) : u;
  switch (op) {
    case Op::Left:
      return n >= static_cast<Prim32u>(bits) ? 0 : static_cast<std::uint32_t>((std::uint64_t{u} << n) & mask);
    case Op::Logical:
      return n >= static_cast<Prim32u>(bits) ? 0 : u >> n;
    default:
      return static_cast<std::uint32_t>(sv >> std::min<Prim32u>(n, bits - 1)) & mask;
  }
}

std::uint32_t getElement(const std::vector<Prim8u>& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.data() + at, bytes);
  return v;
}

struct Region {
  int width, height, srcOff, dstOff, srcStep, dstStep;
};

// out gets, inside the region at dBase/dStep, what the kernel must write for
// the source at sBase/sStep; everything else in out stays.
void model(const Family& f, Layout l, const std::vector<Prim8u>& src, std::size_t sBase, int sStep,
           std::vector<Prim8u>& out, std::size_t dBase, int dStep, const Region& r, const Prim32u shifts[4]) {
  const int bytes = f.bits / 8, channels = l == C1 ? 1 : 4;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x)
      for (int c = 0; c < (l == AC4 || l == AC4Same ? 3 : channels); ++c) {
        const Prim32u n = l == C4 || l == AC4 ? shifts[c] : shifts[0];
        const std::size_t unit = static_cast<std::size_t>((x * channels + c) * bytes);
        const std::uint32_t v = expected(f.op, f.bits, getElement(src, sBase + y * sStep + unit, bytes), n);
        std::memcpy(out.data() + dBase + y * dStep + unit, &v, bytes);
      }
}

// Runs the kernel on random bytes: the destination (rows, gaps, guards,
// alpha) must hold the model's bytes, the source must stay, and in place must
// give the same elements.
void checkRegion(const Family& f, Layout l, const Kernel& k, const Region& r, const Prim32u shifts[4],
                 std::mt19937& rng) {
  const std::size_t srcSize = 64 + static_cast<std::size_t>(r.srcStep) * r.height;
  const std::size_t dstSize = 64 + static_cast<std::size_t>(r.dstStep) * r.height;
  std::vector<Prim8u> src(srcSize), dst(dstSize);
  for (auto& b : src) b = static_cast<Prim8u>(rng());
  for (auto& b : dst) b = static_cast<Prim8u>(rng());
  const std::size_t sBase = 16 + r.srcOff, dBase = 16 + r.dstOff;
  std::vector<Prim8u> want = dst, srcBefore = src;
  model(f, l, src, sBase, r.srcStep, want, dBase, r.dstStep, r, shifts);
  k(src.data() + sBase, r.srcStep, dst.data() + dBase, r.dstStep, r.width, r.height, shifts);
  ASSERT_EQ(src, srcBefore) << "source written";
  for (std::size_t i = 0; i < dst.size(); ++i)
    ASSERT_EQ(int{want[i]}, int{dst[i]}) << "destination byte " << static_cast<long>(i - dBase);
  std::vector<Prim8u> inPlace = src, wantInPlace = src;
  model(f, l, src, sBase, r.srcStep, wantInPlace, sBase, r.srcStep, r, shifts);
  k(inPlace.data() + sBase, r.srcStep, inPlace.data() + sBase, r.srcStep, r.width, r.height, shifts);
  ASSERT_EQ(inPlace, wantInPlace) << "in place";
}

class ShiftKernelTest : public GenerationTest {
 protected:
  const Kernel& kernel(const Family& f, Layout l) const { return f.builds[generation() - 1][l]; }
};

TEST_P(ShiftKernelTest, EveryKernelMatchesTheDefinitionAcrossWidthsAlignmentsAndCounts) {
  std::mt19937 rng(23);
  for (const Family& f : kFamilies) {
    const Prim32u counts[] = {0,  1,  2,    Prim32u(f.bits - 1), Prim32u(f.bits), Prim32u(f.bits + 1),
                              31, 32, 1000, 0xFFFFFFF7u,         0xFFFFFFFFu};
    auto count = [&]() -> Prim32u { return rng() % 3 ? counts[rng() % std::size(counts)] : rng() % f.bits; };
    for (Layout l : {C1, C4, AC4, AC4Same}) {
      const int unit = f.bits / 8 * (l == C1 ? 1 : 4);
      const std::vector<int> widths =
          l == C1 ? std::vector<int>{1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 80}
                  : std::vector<int>{1, 2, 3, 4, 5, 7, 8, 9, 16, 17};
      for (int w : widths)
        for (int dstOff = 0; dstOff < 16; ++dstOff)
          for (int srcOff : {dstOff, (dstOff + 5) % 16, (dstOff + 8) % 16}) {
            // Odd extra bytes in the steps: each row starts at a new alignment.
            const Region r{w, 3, srcOff, dstOff, w * unit + 3 + 2 * (w % 2), w * unit + 5};
            const Prim32u shifts[4] = {count(), count(), count(), count()};
            SCOPED_TRACE(::testing::Message() << f.name << " layout " << l << " width " << w << " offsets "
                                              << srcOff << "/" << dstOff << " counts " << shifts[0] << ","
                                              << shifts[1] << "," << shifts[2] << "," << shifts[3]);
            checkRegion(f, l, kernel(f, l), r, shifts, rng);
            if (HasFatalFailure()) return;
          }
    }
  }
}

// Values from the definition, written out.
TEST_P(ShiftKernelTest, KnownValues) {
  auto run = [&](int family, Layout l, std::vector<std::uint32_t> in, std::vector<Prim32u> shifts) {
    const Family& f = kFamilies[family];
    const int bytes = f.bits / 8;
    std::vector<Prim8u> src(in.size() * bytes), dst(src.size(), 0x5A);
    for (std::size_t i = 0; i < in.size(); ++i) std::memcpy(src.data() + i * bytes, &in[i], bytes);
    const int width = static_cast<int>(l == C1 ? in.size() : in.size() / 4);
    shifts.resize(4);
    kernel(f, l)(src.data(), static_cast<int>(src.size()), dst.data(), static_cast<int>(dst.size()), width, 1,
                 shifts.data());
    std::vector<std::uint32_t> out(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) out[i] = getElement(dst, i * bytes, bytes);
    return out;
  };
  using V = std::vector<std::uint32_t>;
  EXPECT_EQ(run(0, C1, {0x80, 0xFF, 0x01}, {1}), (V{0x00, 0xFE, 0x02}));
  EXPECT_EQ(run(0, C1, {0x01, 0x03}, {7}), (V{0x80, 0x80}));
  EXPECT_EQ(run(0, C1, {0xFF, 0x01}, {8}), (V{0, 0}));
  EXPECT_EQ(run(1, C1, {0xFF}, {1}), (V{0x7F}));
  EXPECT_EQ(run(2, C1, {0x80, 0xFF, 0x7F}, {1}), (V{0xC0, 0xFF, 0x3F}));  // -128 -1 127
  EXPECT_EQ(run(2, C1, {0x80, 0x7F}, {7}), (V{0xFF, 0x00}));
  EXPECT_EQ(run(2, C1, {0x80, 0x7F}, {0xFFFFFFFFu}), (V{0xFF, 0x00}));
  EXPECT_EQ(run(3, C1, {1, 3, 1}, {15}), (V{0x8000, 0x8000, 0x8000}));
  EXPECT_EQ(run(3, C1, {1}, {16}), (V{0}));
  EXPECT_EQ(run(4, C1, {0xFFFF}, {15}), (V{1}));
  EXPECT_EQ(run(6, C1, {1, 3}, {31}), (V{0x80000000u, 0x80000000u}));
  EXPECT_EQ(run(6, C1, {1}, {32}), (V{0}));
  EXPECT_EQ(run(7, C1, {0x80000000u, 0x7FFFFFFF}, {31}), (V{0xFFFFFFFFu, 0}));
  EXPECT_EQ(run(7, C1, {0x80000000u, 5}, {1000}), (V{0xFFFFFFFFu, 0}));
  EXPECT_EQ(run(0, C4, {9, 9, 9, 9}, {0, 8, 16, 40}), (V{9, 0, 0, 0}));
  EXPECT_EQ(run(5, C4, {0x8000, 0x8000, 0x8000, 0x8000}, {1, 2, 15, 16}),
            (V{0xC000, 0xE000, 0xFFFF, 0xFFFF}));
  EXPECT_EQ(run(5, C4, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {1, 2, 15, 16}),
            (V{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}));
  // AC4Same reads one count; the destination's alpha (0x5A5A) stays.
  EXPECT_EQ(run(4, AC4Same, {0x80, 0x80, 0x80, 0x80}, {2, 5, 7}), (V{0x20, 0x20, 0x20, 0x5A5A}));
  EXPECT_EQ(run(4, AC4, {0x80, 0x80, 0x80, 0x80}, {2, 5, 7}), (V{0x20, 0x04, 0x01, 0x5A5A}));
}

INSTANTIATE_GENERATIONS(ShiftKernelTest);

}  // namespace
