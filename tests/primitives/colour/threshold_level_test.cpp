// The further threshold kernels of every SIMD build against scalar
// references written from their element rules, bit for bit: every length
// across head, body and tail, every byte offset 0..15 of source and
// destination, in place, with guard bytes around the destination.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
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
T get(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
bool sameBits(T a, T b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Where an element sits: the kernels' one position-dependent rule (the last
// element of the 64f by-level kernel) needs it.
struct Pos {
  int i, len;
  std::uintptr_t dst;
};

constexpr int kMaxLen = 40;
constexpr unsigned char kGuard = 0xa5;

// Runs kernel(src, dst, len) out of place and kernel(p, p, len) in place
// (only the latter when inPlaceOnly) over every length 1..kMaxLen and byte
// offset 0..15 of each pointer; every element must have the bits of
// expect(x, pos) and no byte outside the vector may change.
template <class T, class Kernel, class Expect>
void sweep(const std::vector<T>& pool, Kernel kernel, Expect expect, bool inPlaceOnly = false) {
  const std::size_t bytes = kMaxLen * sizeof(T) + 128;
  std::vector<unsigned char> srcBuf(bytes + 64), dstBuf(bytes + 64);
  auto align64 = [](unsigned char* p) {
    return p + (64 - reinterpret_cast<std::uintptr_t>(p) % 64) % 64;
  };
  unsigned char* const src0 = align64(srcBuf.data()) + 64;
  unsigned char* const dst0 = align64(dstBuf.data()) + 64;
  const std::vector<unsigned char> guards(bytes, kGuard);
  for (int len = 1; len <= kMaxLen; ++len) {
    const T* in = pool.data() + (len * 7) % (pool.size() - len);
    for (int so = 0; so < 16; ++so) {
      for (int dof = 0; dof < 16; ++dof) {
        if (inPlaceOnly && so != dof) continue;
        for (int pass = inPlaceOnly ? 1 : 0; pass < 2; ++pass) {
          std::memset(dst0 - 64, kGuard, bytes);
          unsigned char* d = dst0 + dof;
          std::memcpy(pass == 0 ? src0 + so : d, in, len * sizeof(T));
          const T* s = reinterpret_cast<const T*>(pass == 0 ? src0 + so : d);
          kernel(s, reinterpret_cast<T*>(d), len);
          for (int i = 0; i < len; ++i) {
            const T want = expect(in[i], Pos{i, len, reinterpret_cast<std::uintptr_t>(d)});
            ASSERT_TRUE(sameBits(get<T>(d + i * sizeof(T)), want))
                << "element " << i << " of " << len << ", source offset " << so << ", destination offset "
                << dof << (pass ? ", in place" : "");
          }
          unsigned char* const end = d + len * sizeof(T);
          ASSERT_EQ(std::memcmp(dst0 - 64, guards.data(), d - (dst0 - 64)), 0) << "written before, length " << len;
          ASSERT_EQ(std::memcmp(end, guards.data(), dst0 - 64 + bytes - end), 0) << "written after, length " << len;
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
T nanWithBits(std::uint64_t bits) {
  T v;
  if constexpr (sizeof(T) == 4) {
    const auto b = static_cast<std::uint32_t>(bits);
    std::memcpy(&v, &b, 4);
  } else {
    std::memcpy(&v, &bits, 8);
  }
  return v;
}

// Random values with the elements that matter at the given levels.
template <class T>
std::vector<T> floatPool(unsigned seed, std::initializer_list<T> levels) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<T> dist(-3, 3);
  std::vector<T> v(300);
  for (T& x : v) x = dist(rng);
  const T inf = std::numeric_limits<T>::infinity();
  const T special[] = {T(0), -T(0), inf, -inf, std::numeric_limits<T>::quiet_NaN(),
                       -std::numeric_limits<T>::quiet_NaN(), std::numeric_limits<T>::denorm_min(),
                       std::numeric_limits<T>::max(), std::numeric_limits<T>::lowest()};
  std::size_t at = 3;
  for (T s : special) v[at] = s, at += 11;
  for (T l : levels) v[at] = l, v[at + 5] = -l, at += 13;
  return v;
}

template <class T>
std::vector<T> intPool(unsigned seed, std::initializer_list<T> levels) {
  std::mt19937 rng(seed);
  std::vector<T> v(300);
  for (T& x : v) x = static_cast<T>(rng());
  using L = std::numeric_limits<T>;
  const T special[] = {L::min(), static_cast<T>(L::min() + 1), T(-1), T(0), T(1), static_cast<T>(L::max() - 1),
                       L::max()};
  std::size_t at = 2;
  for (T s : special) v[at] = s, at += 7;
  for (T l : levels) {
    for (int d = -1; d <= 1; ++d) {
      v[at++] = static_cast<T>(std::int64_t{l} + d);  // wraps past the ends
      v[at++] = static_cast<T>(-std::int64_t{l} + d);
    }
  }
  return v;
}

// ---- by-level and by-value, 32f and 64f ----

class ThresholdLevelValueTest : public GenerationTest {};

TEST_P(ThresholdLevelValueTest, MatchesElementRules) {
  const std::int32_t g = generation();
  const float nanF = nanWithBits<float>(0x7fc01234), snanF = nanWithBits<float>(0x7f801234);
  const auto pf = floatPool<float>(1, {1.5f});
  const auto minMax32 = pick(g, SSE_BUILDS(ownsThresholdMinMax_32f_I));
  const auto ltVal32 = pick(g, BUILDS(ownsThreshold_LTVal_32f));
  const auto gtVal32 = pick(g, SSE_BUILDS(ownsThreshold_GTVal_32f));
  for (float level : {1.5f, 0.0f, -0.0f, -1.5f, nanF, snanF}) {
    if (minMax32) {
      for (std::int32_t sel : {0, 1, 2, -1}) {
        SCOPED_TRACE(testing::Message() << "32f level " << level << " selector " << sel);
        sweep<float>(pf, [&](const float*, float* d, int n) { minMax32(level, d, n, sel); },
                     [&](float x, Pos) { return sel == 1 ? refMin(x, level) : refMax(x, level); }, true);
      }
    }
    const float value = -7.25f;
    sweep<float>(pf, [&](const float* s, float* d, int n) { ltVal32(s, d, n, level, value); },
                 [&](float x, Pos) { return level <= x ? x : value; });
    if (gtVal32)
      sweep<float>(pf, [&](const float* s, float* d, int n) { gtVal32(s, d, n, level, value); },
                   [&](float x, Pos) { return level < x ? value : x; });
  }

  const double nanD = nanWithBits<double>(0x7ff8000000001234);
  const auto pd = floatPool<double>(2, {1.5});
  const auto minMax64 = pick(g, BUILDS(ownsThresholdMinMax_64f));
  const auto ltVal64 = pick(g, BUILDS(ownsThreshold_LTVal_64f));
  const auto gtVal64 = pick(g, BUILDS(ownsThreshold_GTVal_64f));
  for (double level : {1.5, 0.0, -0.0, -1.5, nanD}) {
    for (std::int32_t sel : {0, 1, 2, -1}) {
      SCOPED_TRACE(testing::Message() << "64f level " << level << " selector " << sel);
      // The last element of an odd run after the one-element head (taken
      // when bit 3 of the destination is set) has the operands swapped.
      auto expect = [&](double x, Pos p) {
        const int head = (p.dst & 8) ? 1 : 0;
        const bool last = (p.len - head) % 2 == 1 && p.i == p.len - 1;
        if (sel == 0) return last ? refMax(level, x) : refMax(x, level);
        return last ? refMin(level, x) : refMin(x, level);
      };
      sweep<double>(pd, [&](const double* s, double* d, int n) { minMax64(level, s, d, n, sel); }, expect);
    }
    const double value = 1e300;
    sweep<double>(pd, [&](const double* s, double* d, int n) { ltVal64(s, d, n, level, value); },
                  [&](double x, Pos) { return level <= x ? x : value; });
    sweep<double>(pd, [&](const double* s, double* d, int n) { gtVal64(s, d, n, level, value); },
                  [&](double x, Pos) { return level < x ? value : x; });
  }
}

TEST_P(ThresholdLevelValueTest, LastElementOf64fByLevel) {
  const auto minMax64 = pick(generation(), BUILDS(ownsThresholdMinMax_64f));
  alignas(16) double buf[4] = {};
  const double in[3] = {NAN, -0.0, NAN};
  // At a 16-byte boundary elements 0 and 1 are a pair and element 2 keeps
  // its NaN; 8 bytes on, element 0 is the head and 1, 2 a pair.
  minMax64(0.0, in, buf, 3, 0);
  EXPECT_TRUE(sameBits(buf[0], 0.0) && sameBits(buf[1], 0.0) && std::isnan(buf[2]));
  minMax64(0.0, in, buf + 1, 3, 0);
  EXPECT_TRUE(sameBits(buf[1], 0.0) && sameBits(buf[2], 0.0) && sameBits(buf[3], 0.0));
}

INSTANTIATE_GENERATIONS(ThresholdLevelValueTest);

// ---- two-level ----

class ThresholdTwoLevelTest : public GenerationTest {};

template <class T>
T orBits(T a, T b) {
  std::uint64_t x = 0, y = 0;
  std::memcpy(&x, &a, sizeof a);
  std::memcpy(&y, &b, sizeof b);
  x |= y;
  std::memcpy(&a, &x, sizeof a);
  return a;
}

// The element rule; Below and Above are the two conditions.
template <class T, class Below, class Above>
T twoLevel(T x, T valueLT, T valueGT, Below below, Above above) {
  if (below(x) && above(x)) return orBits(valueLT, valueGT);
  return below(x) ? valueLT : above(x) ? valueGT : x;
}

template <class T>
void twoLevelFloat(const std::vector<T>& pool, void (*inPlace)(T*, int, T, T, T, T),
                   void (*outOfPlace)(const T*, T*, int, T, T, T, T)) {
  const T nan = std::numeric_limits<T>::quiet_NaN();
  struct Levels {
    T lLT, vLT, lGT, vGT;
  };
  // Ordinary, equal, crossed and NaN levels; a +0.0 level against -0.0.
  for (Levels l : {Levels{-1, -5, 1.5, 9}, Levels{0, 2, 0, -3}, Levels{1, 0.5, -1, 3}, Levels{nan, 4, 1, 8},
                   Levels{-1, -2, nan, 8}}) {
    SCOPED_TRACE(testing::Message() << "levels " << l.lLT << ", " << l.lGT);
    auto expect = [&](T x, Pos) {
      return twoLevel<T>(x, l.vLT, l.vGT, [&](T v) { return !(l.lLT <= v); }, [&](T v) { return l.lGT < v; });
    };
    sweep<T>(pool, [&](const T*, T* d, int n) { inPlace(d, n, l.lLT, l.vLT, l.lGT, l.vGT); }, expect, true);
    sweep<T>(pool, [&](const T* s, T* d, int n) { outOfPlace(s, d, n, l.lLT, l.vLT, l.lGT, l.vGT); },
             expect);
  }
}

TEST_P(ThresholdTwoLevelTest, MatchesElementRule) {
  const std::int32_t g = generation();
  twoLevelFloat<float>(floatPool<float>(3, {1.5f, 1.0f}), pick(g, BUILDS(ownsThreshold_LTValGTVal_32f_I)),
                       pick(g, BUILDS(ownsThreshold_LTValGTVal_32f)));
  twoLevelFloat<double>(floatPool<double>(4, {1.5, 1.0}), pick(g, BUILDS(ownsThreshold_LTValGTVal_64f_I)),
                        pick(g, BUILDS(ownsThreshold_LTValGTVal_64f)));

  const auto in16 = pick(g, BUILDS(ownsThreshold_LTValGTVal_16s_I));
  const auto out16 = pick(g, BUILDS(ownsThreshold_LTValGTVal_16s));
  const auto p16 = intPool<Prim16s>(5, {100, 0, 32767});
  struct Levels {
    Prim16s lLT, vLT, lGT, vGT;
  };
  for (Levels l : {Levels{-100, -1000, 100, 1000}, Levels{0, 5, 0, 6}, Levels{100, 0x0f0, -100, 0x70f},
                   Levels{-32768, 1, 32767, 2}}) {
    SCOPED_TRACE(testing::Message() << "levels " << l.lLT << ", " << l.lGT);
    auto expect = [&](Prim16s x, Pos) {
      return twoLevel<Prim16s>(x, l.vLT, l.vGT, [&](Prim16s v) { return l.lLT > v; },
                               [&](Prim16s v) { return v > l.lGT; });
    };
    sweep<Prim16s>(p16, [&](const Prim16s*, Prim16s* d, int n) { in16(d, n, l.lLT, l.vLT, l.lGT, l.vGT); },
                   expect, true);
    sweep<Prim16s>(p16, [&](const Prim16s* s, Prim16s* d, int n) { out16(s, d, n, l.lLT, l.vLT, l.lGT, l.vGT); },
                   expect);
  }
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
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const Prim64fc special[] = {{3, 4}, {-3, 4}, {0, 0}, {-0.0, 5}, {nan, 0}, {0, nan}, {inf, 1}, {1e200, 1e200},
                              {2, 0}, {5, -0.0}};
  for (std::size_t i = 0; i < std::size(special); ++i) pc[5 + 9 * i] = special[i];
  const Prim64fc value{-1.25, 8.5};
  using CI = void (*)(Prim64fc*, int, Prim64f, Prim64fc);
  using CO = void (*)(const Prim64fc*, Prim64fc*, int, Prim64f, Prim64fc);
  for (bool gt : {false, true}) {
    const CI ci = gt ? pick(g, BUILDS(ownsThreshold_GTVal_64fc_I)) : pick(g, BUILDS(ownsThreshold_LTVal_64fc_I));
    const CO co = gt ? pick(g, BUILDS(ownsThreshold_GTVal_64fc)) : pick(g, BUILDS(ownsThreshold_LTVal_64fc));
    // A negative level acts as its magnitude; a NaN level replaces nothing;
    // squares that overflow compare as +infinity, equal to an infinite
    // squared level.
    for (double level : {5.0, -5.0, 0.0, 2.0, 1e300, inf, nan}) {
      SCOPED_TRACE(testing::Message() << (gt ? "GT" : "LT") << " 64fc level " << level);
      auto expect = [&](Prim64fc x, Pos) {
        const double m = x.re * x.re + x.im * x.im, l2 = level * level;
        return (gt ? m > l2 : m < l2) ? value : x;
      };
      sweep<Prim64fc>(pc, [&](const Prim64fc*, Prim64fc* d, int n) { ci(d, n, level, value); }, expect, true);
      sweep<Prim64fc>(pc, [&](const Prim64fc* s, Prim64fc* d, int n) { co(s, d, n, level, value); }, expect);
    }
  }

  const auto pd = floatPool<double>(7, {2.5});
  const auto lt64 = pick(g, BUILDS(ownsThreshold_LTVal_64f_I));
  const auto gt64 = pick(g, BUILDS(ownsThreshold_GTVal_64f_I));
  for (double level : {2.5, 0.0, -0.0, nan}) {
    SCOPED_TRACE(testing::Message() << "64f level " << level);
    sweep<double>(pd, [&](const double*, double* d, int n) { lt64(d, n, level, -9.0); },
                  [&](double x, Pos) { return level <= x ? x : -9.0; }, true);
    sweep<double>(pd, [&](const double*, double* d, int n) { gt64(d, n, level, -9.0); },
                  [&](double x, Pos) { return level < x ? -9.0 : x; }, true);
  }

  const auto lt16 = pick(g, BUILDS(ownsThreshold_LTVal_16s));
  const auto gt16 = pick(g, BUILDS(ownsThreshold_GTVal_16s));
  const auto p16 = intPool<Prim16s>(8, {0, 300});
  // Only the low 16 bits of level and value count: 65536 acts as 0.
  for (Prim32s level : {300, 0, 65536, -32768, 32767, 0x12345}) {
    const Prim32s value = 0x10000 - 77;
    const auto l = static_cast<Prim16s>(level);
    const auto v = static_cast<Prim16s>(value);
    SCOPED_TRACE(testing::Message() << "16s level " << level);
    sweep<Prim16s>(p16, [&](const Prim16s* s, Prim16s* d, int n) { lt16(s, d, n, level, value); },
                   [&](Prim16s x, Pos) { return l > x ? v : x; });
    sweep<Prim16s>(p16, [&](const Prim16s* s, Prim16s* d, int n) { gt16(s, d, n, level, value); },
                   [&](Prim16s x, Pos) { return x > l ? v : x; });
  }
}

// An in-place complex pass that replaces nothing writes nothing: it runs on
// a read-only page.
TEST_P(ThresholdValueTest, ComplexInPlaceWritesOnlyReplacedElements) {
  const std::int32_t g = generation();
  const long page = sysconf(_SC_PAGESIZE);
  void* mem = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  auto* p = static_cast<Prim64fc*>(mem);
  const int n = 37;
  for (int i = 0; i < n; ++i) p[i] = {3.0 + i, -4.0};  // every magnitude is 5 or more
  ASSERT_EQ(mprotect(mem, page, PROT_READ), 0);
  pick(g, BUILDS(ownsThreshold_LTVal_64fc_I))(p, n, 5.0, Prim64fc{0, 0});
  pick(g, BUILDS(ownsThreshold_GTVal_64fc_I))(p, n, 1e9, Prim64fc{0, 0});
  EXPECT_EQ(p[0].re, 3.0);
  munmap(mem, page);
}

INSTANTIATE_GENERATIONS(ThresholdValueTest);

// ---- absolute value: 32f, 64f (sse2 to sse41), 16s, 32s ----

class ThresholdAbsTest : public GenerationTest {};

// MAX(|x|, level) with x's sign bit ORed back.
template <class T, class U>
T ltAbsFloat(T x, T level) {
  const U sign = U(1) << (sizeof(T) * 8 - 1);
  const U bits = get<U>(&x);
  const U mag = bits & ~sign;
  const T r = refMax(get<T>(&mag), level);
  const U out = get<U>(&r) | (bits & sign);
  return get<T>(&out);
}

template <class T, class U>
void absFloat(std::int32_t g, void (*gtAbs)(const T*, T*, int, const T*), void (*ltAbs)(const T*, T*, int, const T*),
              unsigned seed) {
  if (!gtAbs) return;  // avx and avx2 carry no float absolute-value kernels
  const T nan = std::numeric_limits<T>::quiet_NaN();
  const auto pool = floatPool<T>(seed, {T(1.5)});
  for (T level : {T(1.5), T(0), -T(0), T(-2), nan, std::numeric_limits<T>::infinity()}) {
    SCOPED_TRACE(testing::Message() << "build " << generationName(g) << " level " << level);
    const T neg = T(0) - level;
    sweep<T>(pool, [&](const T* s, T* d, int n) { gtAbs(s, d, n, &level); },
             [&](T x, Pos) { return refMax(refMin(x, level), neg); });
    // A zero level of either sign acts as +0.0.
    const T lt = level == T(0) ? T(0) : level;
    sweep<T>(pool, [&](const T* s, T* d, int n) { ltAbs(s, d, n, &level); },
             [&](T x, Pos) { return ltAbsFloat<T, U>(x, lt); });
  }
}

template <class T>
void absInt(void (*gtAbs)(const T*, T*, int, T), void (*ltAbs)(const T*, T*, int, T), std::vector<T> levels,
            unsigned seed) {
  const auto pool = intPool<T>(seed, {T(100), std::numeric_limits<T>::max()});
  for (T level : levels) {
    SCOPED_TRACE(testing::Message() << sizeof(T) * 8 << "s level " << level);
    const T neg = static_cast<T>(0u - static_cast<std::make_unsigned_t<T>>(level));
    sweep<T>(pool, [&](const T* s, T* d, int n) { gtAbs(s, d, n, level); },
             [&](T x, Pos) { return std::max(std::min(x, level), neg); });
    sweep<T>(pool, [&](const T* s, T* d, int n) { ltAbs(s, d, n, level); },
             [&](T x, Pos) { return x >= 0 ? std::max(x, level) : std::min(x, neg); });
  }
}

TEST_P(ThresholdAbsTest, MatchesElementRules) {
  const std::int32_t g = generation();
  absFloat<float, std::uint32_t>(g, pick(g, SSE_BUILDS(ownsThreshold_GTAbs_32f)),
                                 pick(g, SSE_BUILDS(ownsThreshold_LTAbs_32f)), 9);
  absFloat<double, std::uint64_t>(g, pick(g, SSE_BUILDS(ownsThreshold_GTAbs_64f)),
                                  pick(g, SSE_BUILDS(ownsThreshold_LTAbs_64f)), 10);
  // Levels 0 and below included: the 16s less-than kernel then follows the
  // element rule as the 32s one does.
  absInt<Prim16s>(pick(g, BUILDS(ownsThreshold_GTAbs_16s)), pick(g, BUILDS(ownsThreshold_LTAbs_16s)),
                  {100, 1, 32767, 0, -5, -32768}, 11);
  absInt<Prim32s>(pick(g, BUILDS(ownsThreshold_GTAbs_32s)), pick(g, BUILDS(ownsThreshold_LTAbs_32s)),
                  {100, 1, INT32_MAX, 0, -5, INT32_MIN}, 12);
}

TEST_P(ThresholdAbsTest, IntegerEdgeValues) {
  const std::int32_t g = generation();
  const Prim16s gtIn[] = {-32768, -101, -100, -99, 0, 99, 100, 101, 32767};
  const Prim16s gtWant[] = {-100, -100, -100, -99, 0, 99, 100, 100, 100};
  Prim16s out[10];
  pick(g, BUILDS(ownsThreshold_GTAbs_16s))(gtIn, out, 9, 100);
  EXPECT_EQ(0, std::memcmp(out, gtWant, sizeof gtWant));
  const Prim16s ltIn[] = {-32768, -101, -100, -99, -1, 0, 1, 99, 100, 101};
  const Prim16s ltWant[] = {-32768, -101, -100, -100, -100, 100, 100, 100, 100, 101};
  pick(g, BUILDS(ownsThreshold_LTAbs_16s))(ltIn, out, 10, 100);
  EXPECT_EQ(0, std::memcmp(out, ltWant, sizeof ltWant));
  pick(g, BUILDS(ownsThreshold_LTAbs_16s))(ltIn, out, 10, 0);  // level 0 keeps every element
  EXPECT_EQ(0, std::memcmp(out, ltIn, sizeof ltIn));
  const Prim32s in32[] = {INT32_MIN, -1, 0, INT32_MAX};
  const Prim32s want32[] = {INT32_MIN, -100, 100, INT32_MAX};
  Prim32s out32[4];
  pick(g, BUILDS(ownsThreshold_LTAbs_32s))(in32, out32, 4, 100);
  EXPECT_EQ(0, std::memcmp(out32, want32, sizeof want32));
}

INSTANTIATE_GENERATIONS(ThresholdAbsTest);

}  // namespace
