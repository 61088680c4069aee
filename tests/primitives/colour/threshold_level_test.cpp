// The further threshold kernels of every SIMD build against scalar
// references written from their element rules, bit for bit: every length
// across head, body and tail, every byte offset 0..15 of source and
// destination, in place, with guard bytes around the destination.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "primitives/colour/threshold_level_kernels.h"
#include "tests/support/generations.h"

namespace {

// The kernel of the forced generation's build (movbe runs ssse3); null where
// that build carries none.
template <class Fn>
Fn pick(std::int32_t g, Fn sse2, Fn ssse3, Fn sse41, Fn avx = nullptr, Fn avx2 = nullptr) {
  const Fn all[] = {nullptr, sse2, ssse3, ssse3, sse41, avx, avx2};
  return all[g];
}
#define BUILDS(name) sse2_##name, ssse3_##name, sse41_##name, avx_##name, avx2_##name
#define SSE_BUILDS(name) sse2_##name, ssse3_##name, sse41_##name

template <class T>
using Bits = std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>;

// Where an element sits: the one position-dependent rule (the last element
// of the 64f by-level kernel) needs it.
struct Pos {
  int i, len;
  std::uintptr_t dst;
};

// Runs kernel(src, dst, len) out of place and kernel(p, p, len) in place
// (only the latter when inPlaceOnly) for every length 1..40 and byte offset
// 0..15 of each pointer; every element must have the bits of expect(x, pos)
// and no byte around the vector may change.
template <class T, class Kernel, class Expect>
void sweep(const std::vector<T>& pool, Kernel kernel, Expect expect, bool inPlaceOnly = false) {
  constexpr int kMaxLen = 40;
  const std::size_t bytes = kMaxLen * sizeof(T) + 128;
  std::vector<unsigned char> srcBuf(bytes + 64), dstBuf(bytes + 64);
  const std::vector<unsigned char> guards(bytes, 0xa5);
  // 64 guard bytes, then the vector at a 64-byte boundary plus the offset.
  auto at64 = [](std::vector<unsigned char>& b) {
    return b.data() + (64 - std::uintptr_t(b.data()) % 64) % 64 + 64;
  };
  unsigned char* const src0 = at64(srcBuf);
  unsigned char* const dst0 = at64(dstBuf);
  for (int len = 1; len <= kMaxLen; ++len) {
    const T* in = pool.data() + (len * 7) % (pool.size() - len);
    for (int so = 0; so < 16; ++so) {
      for (int dof = inPlaceOnly ? so : 0; dof < (inPlaceOnly ? so + 1 : 16); ++dof) {
        for (int inPlace = inPlaceOnly ? 1 : 0; inPlace < 2; ++inPlace) {
          std::memcpy(dst0 - 64, guards.data(), bytes);
          unsigned char* d = dst0 + dof;
          unsigned char* s = inPlace ? d : src0 + so;
          std::memcpy(s, in, len * sizeof(T));
          kernel(reinterpret_cast<const T*>(s), reinterpret_cast<T*>(d), len);
          for (int i = 0; i < len; ++i) {
            const T want = expect(in[i], Pos{i, len, std::uintptr_t(d)});
            ASSERT_EQ(std::memcmp(d + i * sizeof(T), &want, sizeof(T)), 0)
                << "element " << i << " of " << len << ", offsets " << so << "/" << dof
                << (inPlace ? " in place" : "");
          }
          unsigned char* const end = d + len * sizeof(T);
          ASSERT_EQ(std::memcmp(dst0 - 64, guards.data(), d - (dst0 - 64)), 0)
              << "written before, length " << len;
          ASSERT_EQ(std::memcmp(end, guards.data(), dst0 - 64 + bytes - end), 0)
              << "written after, length " << len;
        }
      }
    }
  }
}

// Reference MIN and MAX: the second operand unless the comparison holds.
template <class T>
T refMin(T a, T b) {
  return a < b ? a : b;
}
template <class T>
T refMax(T a, T b) {
  return a > b ? a : b;
}
template <class T>
T orBits(T a, T b) {
  return std::bit_cast<T>(static_cast<Bits<T>>(std::bit_cast<Bits<T>>(a) | std::bit_cast<Bits<T>>(b)));
}

// Random elements, the ends of the type (NaN, infinities and signed zeros
// for floats) and the neighbours of the given levels.
template <class T>
std::vector<T> pool(unsigned seed, std::initializer_list<T> levels) {
  using L = std::numeric_limits<T>;
  std::mt19937 rng(seed);
  std::vector<T> v(300);
  std::vector<T> special{L::lowest(), L::max(), T(0), T(1), T(-1)};
  if constexpr (std::is_floating_point_v<T>) {
    std::uniform_real_distribution<T> dist(-3, 3);
    for (T& x : v) x = dist(rng);
    const Bits<T> inf = std::bit_cast<Bits<T>>(L::infinity());
    special.insert(special.end(), {-T(0), L::infinity(), -L::infinity(), L::quiet_NaN(), -L::quiet_NaN(),
                                   std::bit_cast<T>(static_cast<Bits<T>>(inf | 1)), L::denorm_min()});
    for (T l : levels)
      special.insert(special.end(), {l, -l, std::nextafter(l, T(0)), -std::nextafter(l, T(9))});
  } else {
    for (T& x : v) x = static_cast<T>(rng());
    for (std::int64_t l : levels)  // wrapping at the ends of the type
      for (int d = -1; d <= 1; ++d) special.insert(special.end(), {T(l + d), T(-l + d)});
  }
  for (std::size_t i = 0; i < special.size(); ++i) v[3 + 5 * i] = special[i];
  return v;
}

// ---- by-level and by-value, 32f and 64f ----

class ThresholdLevelValueTest : public GenerationTest {};

template <class T>
void byValue(const std::vector<T>& p, T level, void (*lt)(const T*, T*, int, T, T),
             void (*gt)(const T*, T*, int, T, T)) {
  const T value = T(-7.25);
  sweep<T>(
      p, [&](const T* s, T* d, int n) { lt(s, d, n, level, value); },
      [&](T x, Pos) { return level <= x ? x : value; });
  if (gt)
    sweep<T>(
        p, [&](const T* s, T* d, int n) { gt(s, d, n, level, value); },
        [&](T x, Pos) { return level < x ? value : x; });
}

TEST_P(ThresholdLevelValueTest, MatchesElementRules) {
  const std::int32_t g = generation();
  const auto pf = pool<float>(1, {1.5f});
  const auto minMax32 = pick(g, SSE_BUILDS(ownsThresholdMinMax_32f_I));
  for (float level :
       {1.5f, 0.0f, -0.0f, -1.5f, std::bit_cast<float>(0x7fc01234u), std::bit_cast<float>(0x7f801234u)}) {
    for (std::int32_t sel : {0, 1, 2, -1}) {  // greater-than for 1 only
      SCOPED_TRACE(testing::Message() << "32f level " << level << " selector " << sel);
      if (minMax32)
        sweep<float>(
            pf, [&](const float*, float* d, int n) { minMax32(level, d, n, sel); },
            [&](float x, Pos) { return sel == 1 ? refMin(x, level) : refMax(x, level); }, true);
    }
    byValue<float>(pf, level, pick(g, BUILDS(ownsThreshold_LTVal_32f)),
                   pick(g, SSE_BUILDS(ownsThreshold_GTVal_32f)));
  }
  const auto pd = pool<double>(2, {1.5});
  const auto minMax64 = pick(g, BUILDS(ownsThresholdMinMax_64f));
  for (double level : {1.5, 0.0, -0.0, -1.5, std::bit_cast<double>(0x7ff8000000001234u)}) {
    for (std::int32_t sel : {0, 1, 2, -1}) {  // less-than for 0 only
      SCOPED_TRACE(testing::Message() << "64f level " << level << " selector " << sel);
      // The last element of an odd run after the head (one element when
      // bit 3 of the destination is set) has the operands swapped.
      auto expect = [&](double x, Pos p) {
        const bool last = (p.len - ((p.dst & 8) ? 1 : 0)) % 2 == 1 && p.i == p.len - 1;
        if (sel == 0) return last ? refMax(level, x) : refMax(x, level);
        return last ? refMin(level, x) : refMin(x, level);
      };
      sweep<double>(
          pd, [&](const double* s, double* d, int n) { minMax64(level, s, d, n, sel); }, expect);
    }
    byValue<double>(pd, level, pick(g, BUILDS(ownsThreshold_LTVal_64f)),
                    pick(g, BUILDS(ownsThreshold_GTVal_64f)));
  }
  // The case spelled out: three elements at a 16-byte boundary make a pair
  // and a last element that keeps its NaN; 8 bytes on, a head and a pair.
  alignas(16) double buf[4] = {};
  const double in[3] = {NAN, -0.0, NAN};
  minMax64(0.0, in, buf, 3, 0);
  EXPECT_TRUE(std::bit_cast<std::uint64_t>(buf[1]) == 0 && std::isnan(buf[2]));
  minMax64(0.0, in, buf + 1, 3, 0);
  EXPECT_TRUE(buf[1] == 0.0 && buf[2] == 0.0 && buf[3] == 0.0);
}

INSTANTIATE_GENERATIONS(ThresholdLevelValueTest);

// ---- two-level ----

class ThresholdTwoLevelTest : public GenerationTest {};

// Each level set: levelLT, valueLT, levelGT, valueGT.  Below and Above are
// the element type's two conditions; where both hold (crossed levels) the
// values are ORed bitwise.
template <class T, class Below, class Above>
void twoLevel(std::initializer_list<std::array<T, 4>> levelSets, void (*inPlace)(T*, int, T, T, T, T),
              void (*outOfPlace)(const T*, T*, int, T, T, T, T), Below below, Above above) {
  const auto p = pool<T>(3, {T(100), T(1.5)});
  for (const auto& l : levelSets) {
    SCOPED_TRACE(testing::Message() << "levels " << l[0] << ", " << l[2]);
    auto expect = [&](T x, Pos) {
      const bool b = below(x, l[0]), a = above(x, l[2]);
      return b && a ? orBits(l[1], l[3]) : b ? l[1] : a ? l[3] : x;
    };
    sweep<T>(
        p, [&](const T*, T* d, int n) { inPlace(d, n, l[0], l[1], l[2], l[3]); }, expect, true);
    sweep<T>(
        p, [&](const T* s, T* d, int n) { outOfPlace(s, d, n, l[0], l[1], l[2], l[3]); }, expect);
  }
}

TEST_P(ThresholdTwoLevelTest, MatchesElementRule) {
  const std::int32_t g = generation();
  // Ordinary, equal (+0.0 against -0.0 elements), crossed and NaN levels.
  auto belowF = [](auto x, auto l) { return !(l <= x); };
  auto aboveF = [](auto x, auto l) { return l < x; };
  const float nf = NAN;
  twoLevel<float>({{-1, -5, 1.5, 9}, {0, 2, 0, -3}, {1, 0.5, -1, 3}, {nf, 4, 1, 8}, {-1, -2, nf, 8}},
                  pick(g, BUILDS(ownsThreshold_LTValGTVal_32f_I)),
                  pick(g, BUILDS(ownsThreshold_LTValGTVal_32f)), belowF, aboveF);
  const double nd = NAN;
  twoLevel<double>({{-1, -5, 1.5, 9}, {0, 2, 0, -3}, {1, 0.5, -1, 3}, {nd, 4, 1, 8}, {-1, -2, nd, 8}},
                   pick(g, BUILDS(ownsThreshold_LTValGTVal_64f_I)),
                   pick(g, BUILDS(ownsThreshold_LTValGTVal_64f)), belowF, aboveF);
  twoLevel<Prim16s>(
      {{-100, -1000, 100, 1000}, {0, 5, 0, 6}, {100, 0x0f0, -100, 0x70f}, {-32768, 1, 32767, 2}},
      pick(g, BUILDS(ownsThreshold_LTValGTVal_16s_I)), pick(g, BUILDS(ownsThreshold_LTValGTVal_16s)),
      [](Prim16s x, Prim16s l) { return l > x; }, [](Prim16s x, Prim16s l) { return x > l; });
}

INSTANTIATE_GENERATIONS(ThresholdTwoLevelTest);

// ---- replacement values: 64fc magnitudes, 64f in place, 16s ----

class ThresholdValueTest : public GenerationTest {};

TEST_P(ThresholdValueTest, MatchesElementRules) {
  const std::int32_t g = generation();
  std::vector<Prim64fc> pc(300);
  std::mt19937 rng(6);
  std::uniform_real_distribution<double> dist(-4, 4);
  for (Prim64fc& c : pc) c = {dist(rng), dist(rng)};
  const double nan = NAN, inf = INFINITY;
  const Prim64fc special[] = {{3, 4},   {-3, 4},  {0, 0},         {-0.0, 5}, {nan, 0},
                              {0, nan}, {inf, 1}, {1e200, 1e200}, {2, 0},    {5, -0.0}};
  for (std::size_t i = 0; i < std::size(special); ++i) pc[5 + 9 * i] = special[i];
  const Prim64fc value{-1.25, 8.5};
  for (bool gt : {false, true}) {
    const auto ci =
        gt ? pick(g, BUILDS(ownsThreshold_GTVal_64fc_I)) : pick(g, BUILDS(ownsThreshold_LTVal_64fc_I));
    const auto co =
        gt ? pick(g, BUILDS(ownsThreshold_GTVal_64fc)) : pick(g, BUILDS(ownsThreshold_LTVal_64fc));
    // A negative level acts as its magnitude; a NaN level replaces nothing;
    // squares that overflow compare as +infinity, equal to an infinite
    // squared level.
    for (double level : {5.0, -5.0, 0.0, 2.0, 1e300, inf, nan}) {
      SCOPED_TRACE(testing::Message() << (gt ? "GT" : "LT") << " 64fc level " << level);
      auto expect = [&](Prim64fc x, Pos) {
        const double m = x.re * x.re + x.im * x.im, l2 = level * level;
        return (gt ? m > l2 : m < l2) ? value : x;
      };
      sweep<Prim64fc>(
          pc, [&](const Prim64fc*, Prim64fc* d, int n) { ci(d, n, level, value); }, expect, true);
      sweep<Prim64fc>(
          pc, [&](const Prim64fc* s, Prim64fc* d, int n) { co(s, d, n, level, value); }, expect);
    }
  }

  const auto pd = pool<double>(7, {2.5});
  const auto lt64 = pick(g, BUILDS(ownsThreshold_LTVal_64f_I));
  const auto gt64 = pick(g, BUILDS(ownsThreshold_GTVal_64f_I));
  for (double level : {2.5, 0.0, -0.0, nan}) {
    SCOPED_TRACE(testing::Message() << "64f level " << level);
    sweep<double>(
        pd, [&](const double*, double* d, int n) { lt64(d, n, level, -9.0); },
        [&](double x, Pos) { return level <= x ? x : -9.0; }, true);
    sweep<double>(
        pd, [&](const double*, double* d, int n) { gt64(d, n, level, -9.0); },
        [&](double x, Pos) { return level < x ? -9.0 : x; }, true);
  }

  const auto lt16 = pick(g, BUILDS(ownsThreshold_LTVal_16s));
  const auto gt16 = pick(g, BUILDS(ownsThreshold_GTVal_16s));
  const auto p16 = pool<Prim16s>(8, {0, 300});
  // Only the low 16 bits of level and value count: 65536 acts as 0.
  for (Prim32s level : {300, 0, 65536, -32768, 32767, 0x12345}) {
    const Prim32s value = 0x10000 - 77;
    const auto l = static_cast<Prim16s>(level), v = static_cast<Prim16s>(value);
    SCOPED_TRACE(testing::Message() << "16s level " << level);
    sweep<Prim16s>(
        p16, [&](const Prim16s* s, Prim16s* d, int n) { lt16(s, d, n, level, value); },
        [&](Prim16s x, Pos) { return l > x ? v : x; });
    sweep<Prim16s>(
        p16, [&](const Prim16s* s, Prim16s* d, int n) { gt16(s, d, n, level, value); },
        [&](Prim16s x, Pos) { return x > l ? v : x; });
  }
}

// An in-place complex pass that replaces nothing writes nothing: it runs on
// a read-only page.
TEST_P(ThresholdValueTest, ComplexInPlaceWritesOnlyReplacedElements) {
  const long page = sysconf(_SC_PAGESIZE);
  void* mem = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  auto* p = static_cast<Prim64fc*>(mem);
  for (int i = 0; i < 39; ++i) p[i] = {3.0 + i, -4.0};  // magnitudes 5 and up
  ASSERT_EQ(mprotect(mem, page, PROT_READ), 0);
  pick(generation(), BUILDS(ownsThreshold_LTVal_64fc_I))(p, 39, 5.0, Prim64fc{0, 0});
  pick(generation(), BUILDS(ownsThreshold_GTVal_64fc_I))(p, 39, 1e9, Prim64fc{0, 0});
  EXPECT_EQ(p[0].re, 3.0);
  munmap(mem, page);
}

INSTANTIATE_GENERATIONS(ThresholdValueTest);

// ---- absolute value: 32f, 64f (sse2 to sse41), 16s, 32s ----

class ThresholdAbsTest : public GenerationTest {};

template <class T>
void absFloat(void (*gtAbs)(const T*, T*, int, const T*), void (*ltAbs)(const T*, T*, int, const T*)) {
  if (!gtAbs) return;  // avx and avx2 carry no float absolute-value kernels
  const Bits<T> sign = Bits<T>(1) << (sizeof(T) * 8 - 1);
  const auto p = pool<T>(9, {T(1.5)});
  for (T level : {T(1.5), T(0), -T(0), T(-2), T(NAN), T(INFINITY)}) {
    SCOPED_TRACE(testing::Message() << sizeof(T) * 8 << "f level " << level);
    const T neg = T(0) - level;
    sweep<T>(
        p, [&](const T* s, T* d, int n) { gtAbs(s, d, n, &level); },
        [&](T x, Pos) { return refMax(refMin(x, level), neg); });
    // MAX(|x|, L) with x's sign ORed back; a zero level of either sign acts
    // as +0.0.
    const T l = level == T(0) ? T(0) : level;
    sweep<T>(
        p, [&](const T* s, T* d, int n) { ltAbs(s, d, n, &level); },
        [&](T x, Pos) {
          const Bits<T> b = std::bit_cast<Bits<T>>(x);
          const T r = refMax(std::bit_cast<T>(static_cast<Bits<T>>(b & ~sign)), l);
          return std::bit_cast<T>(static_cast<Bits<T>>(std::bit_cast<Bits<T>>(r) | (b & sign)));
        });
  }
}

template <class T>
void absInt(void (*gtAbs)(const T*, T*, int, T), void (*ltAbs)(const T*, T*, int, T),
            std::initializer_list<T> levels) {
  const auto p = pool<T>(10, {T(100), std::numeric_limits<T>::max()});
  for (T level : levels) {
    SCOPED_TRACE(testing::Message() << sizeof(T) * 8 << "s level " << level);
    const T neg = static_cast<T>(0u - static_cast<std::make_unsigned_t<T>>(level));  // wraps
    sweep<T>(
        p, [&](const T* s, T* d, int n) { gtAbs(s, d, n, level); },
        [&](T x, Pos) { return std::max(std::min(x, level), neg); });
    sweep<T>(
        p, [&](const T* s, T* d, int n) { ltAbs(s, d, n, level); },
        [&](T x, Pos) { return x >= 0 ? std::max(x, level) : std::min(x, neg); });
  }
}

TEST_P(ThresholdAbsTest, MatchesElementRules) {
  const std::int32_t g = generation();
  absFloat<float>(pick(g, SSE_BUILDS(ownsThreshold_GTAbs_32f)), pick(g, SSE_BUILDS(ownsThreshold_LTAbs_32f)));
  absFloat<double>(pick(g, SSE_BUILDS(ownsThreshold_GTAbs_64f)),
                   pick(g, SSE_BUILDS(ownsThreshold_LTAbs_64f)));
  // Levels 0 and below included: the 16s less-than kernel then follows the
  // element rule as the 32s one does.
  absInt<Prim16s>(pick(g, BUILDS(ownsThreshold_GTAbs_16s)), pick(g, BUILDS(ownsThreshold_LTAbs_16s)),
                  {100, 1, 32767, 0, -5, -32768});
  absInt<Prim32s>(pick(g, BUILDS(ownsThreshold_GTAbs_32s)), pick(g, BUILDS(ownsThreshold_LTAbs_32s)),
                  {100, 1, INT32_MAX, 0, -5, INT32_MIN});
  // The 16s cases spelled out, level 100.
  const Prim16s in[] = {-32768, -101, -100, -99, -1, 0, 1, 99, 100, 101};
  const Prim16s gtWant[] = {-100, -100, -100, -99, -1, 0, 1, 99, 100, 100};
  const Prim16s ltWant[] = {-32768, -101, -100, -100, -100, 100, 100, 100, 100, 101};
  Prim16s out[10];
  pick(g, BUILDS(ownsThreshold_GTAbs_16s))(in, out, 10, 100);
  EXPECT_EQ(0, std::memcmp(out, gtWant, sizeof out));
  pick(g, BUILDS(ownsThreshold_LTAbs_16s))(in, out, 10, 100);
  EXPECT_EQ(0, std::memcmp(out, ltWant, sizeof out));
}

INSTANTIATE_GENERATIONS(ThresholdAbsTest);

}  // namespace
