// Vector arithmetic: checks and their order, the documented edge cases, every
// build against an independent statement of the scale-factor rule, and every
// build bit for bit against the generic build over lengths around each
// kernel's block and threshold, alignments, in place, with guard bytes.
#include "primitives/arith/vec_arith.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "primitives/arith/vec_arith_builds.h"
#include "tests/primitives/arith/sfs_reference.h"
#include "tests/support/generations.h"

namespace {

// Misaligned element pointers are part of the contract (odd destinations of
// 16-bit primitives, destinations off a 4-byte boundary); the sanitizer build
// flags them as undefined, so it runs element-aligned offsets only.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOddOffsets = false;
#else
constexpr bool kOddOffsets = true;
#endif

// ---- the primitives under one signature -------------------------------------

// (a, b, val, dst, len, sf): a is the first source, b the second (null for
// the one-source primitives), val the constant.
template <class T>
using Call = std::function<PrimResult(const T*, const T*, T, T*, int, int)>;

template <class T>
struct Prim {
  std::string name;
  bool twoSources;
  bool scaled;  // takes a scale factor
  Call<T> pub;  // public entry: runs the forced generation's build
  Call<T> px;   // the generic build, called directly
};

std::vector<Prim<Prim16s>> prims16() {
  return {
      {"vecAddC_16s_Sfs", false, true,
       [](const Prim16s* a, const Prim16s*, Prim16s v, Prim16s* d, int n, int sf) {
         return vecAddC_16s_Sfs(a, v, d, n, sf);
       },
       [](const Prim16s* a, const Prim16s*, Prim16s v, Prim16s* d, int n, int sf) {
         return px_vecAddC_16s_Sfs(a, v, d, n, sf);
       }},
      {"vecAdd_16s_Sfs", true, true,
       [](const Prim16s* a, const Prim16s* b, Prim16s, Prim16s* d, int n, int sf) {
         return vecAdd_16s_Sfs(a, b, d, n, sf);
       },
       [](const Prim16s* a, const Prim16s* b, Prim16s, Prim16s* d, int n, int sf) {
         return px_vecAdd_16s_Sfs(a, b, d, n, sf);
       }},
      {"vecSub_16s_Sfs", true, true,
       [](const Prim16s* a, const Prim16s* b, Prim16s, Prim16s* d, int n, int sf) {
         return vecSub_16s_Sfs(a, b, d, n, sf);
       },
       [](const Prim16s* a, const Prim16s* b, Prim16s, Prim16s* d, int n, int sf) {
         return px_vecSub_16s_Sfs(a, b, d, n, sf);
       }},
  };
}

std::vector<Prim<Prim32s>> prims32() {
  return {
      {"vecAddC_32s_Sfs", false, true,
       [](const Prim32s* a, const Prim32s*, Prim32s v, Prim32s* d, int n, int sf) {
         return vecAddC_32s_Sfs(a, v, d, n, sf);
       },
       [](const Prim32s* a, const Prim32s*, Prim32s v, Prim32s* d, int n, int sf) {
         return px_vecAddC_32s_Sfs(a, v, d, n, sf);
       }},
      {"vecAdd_32s_Sfs", true, true,
       [](const Prim32s* a, const Prim32s* b, Prim32s, Prim32s* d, int n, int sf) {
         return vecAdd_32s_Sfs(a, b, d, n, sf);
       },
       [](const Prim32s* a, const Prim32s* b, Prim32s, Prim32s* d, int n, int sf) {
         return px_vecAdd_32s_Sfs(a, b, d, n, sf);
       }},
      {"vecSub_32s_Sfs", true, true,
       [](const Prim32s* a, const Prim32s* b, Prim32s, Prim32s* d, int n, int sf) {
         return vecSub_32s_Sfs(a, b, d, n, sf);
       },
       [](const Prim32s* a, const Prim32s* b, Prim32s, Prim32s* d, int n, int sf) {
         return px_vecSub_32s_Sfs(a, b, d, n, sf);
       }},
  };
}

std::vector<Prim<Prim32f>> prims32f() {
  return {
      {"vecMulC_32f", false, false,
       [](const Prim32f* a, const Prim32f*, Prim32f v, Prim32f* d, int n, int) {
         return vecMulC_32f(a, v, d, n);
       },
       [](const Prim32f* a, const Prim32f*, Prim32f v, Prim32f* d, int n, int) {
         return px_vecMulC_32f(a, v, d, n);
       }},
      {"vecAdd_32f", true, false,
       [](const Prim32f* a, const Prim32f* b, Prim32f, Prim32f* d, int n, int) {
         return vecAdd_32f(a, b, d, n);
       },
       [](const Prim32f* a, const Prim32f* b, Prim32f, Prim32f* d, int n, int) {
         return px_vecAdd_32f(a, b, d, n);
       }},
      {"vecSub_32f", true, false,
       [](const Prim32f* a, const Prim32f* b, Prim32f, Prim32f* d, int n, int) {
         return vecSub_32f(a, b, d, n);
       },
       [](const Prim32f* a, const Prim32f* b, Prim32f, Prim32f* d, int n, int) {
         return px_vecSub_32f(a, b, d, n);
       }},
  };
}

// ---- buffers with guard zones ------------------------------------------------

constexpr unsigned char kGuard = 0xA5;
constexpr std::size_t kZone = 64;

// A byte area whose start is 64-byte aligned, with kZone guard bytes before
// offset 0 and after the last byte in use.
struct Area {
  std::vector<unsigned char> raw;
  unsigned char* base = nullptr;
  std::size_t size = 0;
  explicit Area(std::size_t bytes) : raw(bytes + 3 * kZone + 64, kGuard) {
    auto p = reinterpret_cast<std::uintptr_t>(raw.data());
    base = reinterpret_cast<unsigned char*>((p + 63) / 64 * 64) + kZone;
    size = bytes;
  }
  template <class T>
  T* at(std::size_t off) {
    return reinterpret_cast<T*>(base + off);
  }
  void fill() { std::memset(raw.data(), kGuard, raw.size()); }
  bool same(const Area& o) const { return std::memcmp(base - kZone, o.base - kZone, size + 2 * kZone) == 0; }
};

// ---- inputs -------------------------------------------------------------------

template <class T>
T pick(std::mt19937& rng);

template <>
Prim16s pick<Prim16s>(std::mt19937& rng) {
  static const Prim16s edge[] = {-32768, -32767, -16385, -16384, -1, 0, 1, 2, 3, 16383, 16384, 32766, 32767};
  switch (rng() % 4) {
    case 0:
      return edge[rng() % std::size(edge)];
    case 1:
      return static_cast<Prim16s>(static_cast<int>(rng() % 17) - 8);
    default:
      return static_cast<Prim16s>(rng());
  }
}
template <>
Prim32s pick<Prim32s>(std::mt19937& rng) {
  static const Prim32s edge[] = {
      INT32_MIN, INT32_MIN + 1, -(1 << 30) - 1, -(1 << 30),    -3,       -2, -1, 0, 1, 2,
      3,         (1 << 30) - 1, 1 << 30,        INT32_MAX - 1, INT32_MAX};
  switch (rng() % 4) {
    case 0:
      return edge[rng() % std::size(edge)];
    case 1:
      return static_cast<Prim32s>(rng() % 17) - 8;
    default:
      return static_cast<Prim32s>(rng());
  }
}
template <>
Prim32f pick<Prim32f>(std::mt19937& rng) {
  static const Prim32f edge[] = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 0.5f,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::max(),
                                 3.0e38f,
                                 -3.0e38f};
  switch (rng() % 5) {
    case 0:
      return edge[rng() % std::size(edge)];
    case 1:
      return std::bit_cast<Prim32f>(static_cast<std::uint32_t>(rng()));  // any pattern
    default:
      return static_cast<Prim32f>(static_cast<int>(rng() % 20001) - 10000) / 64.0f;
  }
}

// ---- cross-build comparison ----------------------------------------------------

enum class Mode { Separate, InPlace1, InPlace2 };

// Runs `p` once through the public entry (forced generation) and once through
// px on identical areas; every byte of the destination area, guards
// included, and of the sources must agree, and the guards must be intact.
template <class T>
void compareOnce(const Prim<T>& p, const std::vector<T>& s1, const std::vector<T>& s2, T val, int len, int sf,
                 std::size_t off1, std::size_t off2, std::size_t offD, Mode mode) {
  const std::size_t bytes = len * sizeof(T) + 32;
  Area a1(bytes), a2(bytes), d(bytes), b1(bytes), b2(bytes), e(bytes);
  std::memcpy(a1.at<T>(off1), s1.data(), len * sizeof(T));
  std::memcpy(b1.at<T>(off1), s1.data(), len * sizeof(T));
  std::memcpy(a2.at<T>(off2), s2.data(), len * sizeof(T));
  std::memcpy(b2.at<T>(off2), s2.data(), len * sizeof(T));
  auto run = [&](const Call<T>& f, Area& x1, Area& x2, Area& dst) {
    const T* pa = x1.at<T>(off1);
    const T* pb = p.twoSources ? x2.at<T>(off2) : nullptr;
    T* pd = dst.at<T>(offD);
    if (mode == Mode::InPlace1) {
      std::memcpy(pd, pa, len * sizeof(T));
      pa = pd;
    } else if (mode == Mode::InPlace2) {
      std::memcpy(pd, pb, len * sizeof(T));
      pb = pd;
    }
    return f(pa, pb, val, pd, len, sf);
  };
  const PrimResult got = run(p.pub, a1, a2, d);
  const PrimResult want = run(p.px, b1, b2, e);
  const auto where = [&] {
    return p.name + " len=" + std::to_string(len) + " sf=" + std::to_string(sf) +
           " val=" + std::to_string(static_cast<double>(val)) + " offsets=" + std::to_string(off1) + "/" +
           std::to_string(off2) + "/" + std::to_string(offD) +
           " mode=" + std::to_string(static_cast<int>(mode));
  };
  ASSERT_EQ(got, want) << where();
  ASSERT_TRUE(d.same(e)) << "destination differs from px: " << where();
  ASSERT_TRUE(a1.same(b1) && a2.same(b2)) << "a source changed: " << where();
  for (std::size_t i = 0; i < kZone; ++i) {
    ASSERT_EQ(d.base[-1 - static_cast<std::ptrdiff_t>(i)], kGuard) << where();
    ASSERT_EQ(d.base[offD + len * sizeof(T) + i], kGuard) << where();
  }
}

// Lengths around every kernel's thresholds and blocks: 1..72 (16-bit heads
// of 7 plus blocks of 16 or 32, float and 32-bit thresholds of 11, 16, 57),
// and the long-vector boundaries (393/394, 1199/1200) beyond.
std::vector<int> lengths() {
  std::vector<int> l;
  for (int n = 1; n <= 72; ++n) l.push_back(n);
  for (int n : {95, 96, 97, 127, 128, 129, 257, 393, 394, 395, 1000, 1199, 1200, 1201, 4099}) l.push_back(n);
  return l;
}

template <class T>
void crossCheck(const Prim<T>& p, const std::vector<int>& factors, const std::vector<T>& vals) {
  std::mt19937 rng(1234);
  const std::size_t elem = sizeof(T);
  for (int len : lengths()) {
    std::vector<T> s1(len), s2(len);
    for (auto& x : s1) x = pick<T>(rng);
    for (auto& x : s2) x = pick<T>(rng);
    // Short vectors get every destination offset 0..31; long ones a few.
    std::vector<std::size_t> dOffs;
    const std::size_t step = kOddOffsets ? 1 : elem;
    if (len <= 72) {
      for (std::size_t o = 0; o < 32; o += step) dOffs.push_back(o);
    } else {
      for (std::size_t o : {0, 4, 8, 12, 16, 28}) dOffs.push_back(o);
      if (kOddOffsets) dOffs.push_back(elem == 2 ? 1 : 2);
    }
    std::size_t k = 0;
    for (int sf : factors) {
      for (T val : vals) {
        for (std::size_t offD : dOffs) {
          ++k;
          // The sources take other offsets, varied with the call.
          std::size_t off1 = (k * 7 * elem) % 32, off2 = (k * 13 * elem + 2 * elem) % 32;
          if (kOddOffsets && k % 5 == 0) off1 += 1;
          const Mode mode = static_cast<Mode>(k % (p.twoSources ? 3 : 2));
          compareOnce(p, s1, s2, val, len, sf, off1 % 32, off2 % 32, offD, mode);
          if (::testing::Test::HasFatalFailure()) return;
        }
      }
    }
  }
}

// Scale factors that select every case, the thresholds and the extremes.
const std::vector<int> kFactors16 = {INT_MIN, -17, -16, -15, -8, -1, 0, 1, 2, 3, 7, 15, 16, 17, INT_MAX};
const std::vector<int> kFactors32 = {INT_MIN, -32, -31, -30, -17, -1, 0, 1, 2, 3, 5, 16, 31, 32, 33, INT_MAX};

class ArithCrossBuild : public GenerationTest {};

TEST_P(ArithCrossBuild, AddC16MatchesPx) {
  crossCheck(prims16()[0], kFactors16, std::vector<Prim16s>{0, 1, -1, 3, 2048, -32768, 32767});
}
TEST_P(ArithCrossBuild, Add16MatchesPx) { crossCheck(prims16()[1], kFactors16, std::vector<Prim16s>{0}); }
TEST_P(ArithCrossBuild, Sub16MatchesPx) { crossCheck(prims16()[2], kFactors16, std::vector<Prim16s>{0}); }
TEST_P(ArithCrossBuild, AddC32MatchesPx) {
  crossCheck(prims32()[0], kFactors32, std::vector<Prim32s>{0, 1, -1, 3, 1 << 11, INT32_MIN, INT32_MAX});
}
TEST_P(ArithCrossBuild, Add32MatchesPx) { crossCheck(prims32()[1], kFactors32, std::vector<Prim32s>{0}); }
TEST_P(ArithCrossBuild, Sub32MatchesPx) { crossCheck(prims32()[2], kFactors32, std::vector<Prim32s>{0}); }
TEST_P(ArithCrossBuild, MulC32fMatchesPx) {
  crossCheck(prims32f()[0], {0},
             std::vector<Prim32f>{0.5f, -3.25f, 1.0f, 0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(), 1.0e-40f});
}
TEST_P(ArithCrossBuild, Add32fMatchesPx) { crossCheck(prims32f()[1], {0}, std::vector<Prim32f>{0}); }
TEST_P(ArithCrossBuild, Sub32fMatchesPx) { crossCheck(prims32f()[2], {0}, std::vector<Prim32f>{0}); }

// Long float vectors take the non-temporal stores of the 16-byte builds
// (beyond 5461 / 8192 / 10922 / 16384 blocks of 8 after the head).
TEST_P(ArithCrossBuild, LongFloatVectorsMatchPx) {
  std::mt19937 rng(99);
  for (int len : {87384, 131080, 131081 + 7}) {
    std::vector<Prim32f> s1(len), s2(len);
    for (auto& x : s1) x = pick<Prim32f>(rng);
    for (auto& x : s2) x = pick<Prim32f>(rng);
    for (const auto& p : prims32f())
      for (std::size_t off : {0, 4, 16})
        for (Mode m : {Mode::Separate, Mode::InPlace2}) {
          if (!p.twoSources && m == Mode::InPlace2) continue;
          compareOnce(p, s1, s2, 0.75f, len, 0, off, 0, off, m);
          ASSERT_FALSE(HasFatalFailure());
        }
  }
}

// Where both operands are NaN, every build keeps the same NaN as px (the
// source element's over the constant's, the first vector's over the
// second's, the minuend's in a subtraction).
TEST_P(ArithCrossBuild, NaNPayloadsMatchPx) {
  std::mt19937 rng(5);
  auto nan = [&] {
    const std::uint32_t payload = (static_cast<std::uint32_t>(rng()) & 0x3fffff) | 1;
    const std::uint32_t quiet = (rng() & 1) ? 0x400000u : 0u;
    const std::uint32_t sign = (rng() & 1) ? 0x80000000u : 0u;
    return std::bit_cast<float>(sign | 0x7f800000u | quiet | payload);
  };
  for (int len : {5, 11, 16, 40, 57, 100}) {
    std::vector<Prim32f> s1(len), s2(len);
    for (int i = 0; i < len; ++i) {
      s1[i] = (i % 4 == 3) ? 2.5f : nan();
      s2[i] = (i % 4 == 2) ? -1.5f : nan();
    }
    for (const auto& p : prims32f())
      for (std::size_t off : {0, 4, 8}) {
        compareOnce(p, s1, s2, nan(), len, 0, off, 4, off, Mode::Separate);
        compareOnce(p, s1, s2, 3.0f, len, 0, off, 4, off, Mode::Separate);
        ASSERT_FALSE(HasFatalFailure());
      }
  }
}

INSTANTIATE_GENERATIONS(ArithCrossBuild);

// ---- every build against the reference rule ------------------------------------

class ArithAllBuilds : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam()))
      GTEST_SKIP() << "this processor cannot run the " << generationName(GetParam()) << " builds";
    ASSERT_EQ(primTestForceGeneration(GetParam()), 0);
  }
  void TearDown() override { primTestForceGeneration(0); }
};

// Runs f(offset, count) over [0, total) once as a whole and once in slices
// whose lengths cycle through 1..47, so that every element also passes the
// scalar, short-vector and long paths of each kernel at varied positions.
template <class F>
void wholeAndSliced(int total, F f) {
  f(0, total);
  for (int phase : {0, 17}) {
    for (int at = 0, k = phase; at < total; ++k) {
      const int n = std::min(1 + k % 47, total - at);
      f(at, n);
      at += n;
    }
  }
}

// The same permutation of several equally long vectors, so that the extreme
// intermediates land at varied positions within the slices.
template <class... V>
void shuffleTogether(std::uint32_t seed, V&... v) {
  const std::size_t n = std::get<0>(std::tie(v...)).size();
  std::mt19937 rng(seed);
  for (std::size_t i = n; i > 1; --i) {
    const std::size_t j = rng() % i;
    (std::swap(v[i - 1], v[j]), ...);
  }
}

// Every reachable 16-bit intermediate, through every build, at every factor
// from -18 to 18 and the extremes.
TEST_P(ArithAllBuilds, Every16BitIntermediate) {
  std::vector<int> factors;
  for (int s = -18; s <= 18; ++s) factors.push_back(s);
  factors.push_back(INT_MIN);
  factors.push_back(INT_MAX);
  // vecSub: r = b - a over -65535..65535; vecAdd: r = a + b over -65536..65534.
  std::vector<Prim16s> sa, sb, aa, ab;
  std::vector<std::int32_t> rs, ra;
  for (std::int32_t r = -65535; r <= 65535; ++r) {
    const std::int32_t b = r > 32767 ? 32767 : (r < -32768 ? -32768 : r);
    sb.push_back(static_cast<Prim16s>(b));
    sa.push_back(static_cast<Prim16s>(b - r));
    rs.push_back(r);
  }
  for (std::int32_t r = -65536; r <= 65534; ++r) {
    const std::int32_t a = r > 32767 ? 32767 : (r < -32768 ? -32768 : r);
    aa.push_back(static_cast<Prim16s>(a));
    ab.push_back(static_cast<Prim16s>(r - a));
    ra.push_back(r);
  }
  shuffleTogether(1, sa, sb, rs);
  shuffleTogether(2, aa, ab, ra);
  std::vector<Prim16s> all(65536);
  for (int i = 0; i < 65536; ++i) all[i] = static_cast<Prim16s>(i - 32768);
  shuffleTogether(3, all);
  std::vector<Prim16s> out(131072);
  for (int sf : factors) {
    wholeAndSliced(static_cast<int>(sa.size()), [&](int at, int n) {
      ASSERT_EQ(vecSub_16s_Sfs(sa.data() + at, sb.data() + at, out.data() + at, n, sf), 0);
    });
    for (std::size_t i = 0; i < rs.size(); ++i)
      ASSERT_EQ(out[i], sfsref::apply<Prim16s>(rs[i], sf)) << "sub r=" << rs[i] << " sf=" << sf;
    wholeAndSliced(static_cast<int>(aa.size()), [&](int at, int n) {
      ASSERT_EQ(vecAdd_16s_Sfs(aa.data() + at, ab.data() + at, out.data() + at, n, sf), 0);
    });
    for (std::size_t i = 0; i < ra.size(); ++i)
      ASSERT_EQ(out[i], sfsref::apply<Prim16s>(ra[i], sf)) << "add r=" << ra[i] << " sf=" << sf;
    for (Prim16s val : {Prim16s{-32768}, Prim16s{-1}, Prim16s{0}, Prim16s{1}, Prim16s{2}, Prim16s{32767}}) {
      wholeAndSliced(65536, [&](int at, int n) {
        ASSERT_EQ(vecAddC_16s_Sfs(all.data() + at, val, out.data() + at, n, sf), 0);
      });
      for (int i = 0; i < 65536; ++i)
        ASSERT_EQ(out[i], sfsref::apply<Prim16s>(std::int32_t{all[i]} + val, sf))
            << "addC x=" << all[i] << " val=" << val << " sf=" << sf;
    }
  }
}

// Pairs of 32-bit boundary values (ends of the range, powers of two and
// their neighbours, values whose sum or difference is an exact tie at some
// factor) through every build, against the reference.
TEST_P(ArithAllBuilds, Boundary32BitPairs) {
  std::vector<Prim32s> v;
  for (int k = 0; k <= 31; ++k) {
    const std::int64_t p = std::int64_t{1} << k;
    for (std::int64_t d : {-1, 0, 1})
      for (std::int64_t x : {p + d, -p + d})
        if (x >= INT32_MIN && x <= INT32_MAX) v.push_back(static_cast<Prim32s>(x));
  }
  v.push_back(INT32_MAX);
  v.push_back(INT32_MIN);
  v.push_back(3);
  v.push_back(5);
  v.push_back(7);
  v.push_back(-5);
  std::vector<Prim32s> a, b;
  for (Prim32s x : v)
    for (Prim32s y : v) {
      a.push_back(x);
      b.push_back(y);
    }
  shuffleTogether(4, a, b);
  const int n = static_cast<int>(a.size());
  std::vector<Prim32s> out(n);
  std::vector<int> factors;
  for (int s = -33; s <= 34; ++s) factors.push_back(s);
  factors.push_back(INT_MIN);
  factors.push_back(INT_MAX);
  for (int sf : factors) {
    wholeAndSliced(n, [&](int at, int m) {
      ASSERT_EQ(vecAdd_32s_Sfs(a.data() + at, b.data() + at, out.data() + at, m, sf), 0);
    });
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(out[i], sfsref::apply<Prim32s>(std::int64_t{a[i]} + b[i], sf))
          << "add " << a[i] << " + " << b[i] << " sf=" << sf;
    wholeAndSliced(n, [&](int at, int m) {
      ASSERT_EQ(vecSub_32s_Sfs(a.data() + at, b.data() + at, out.data() + at, m, sf), 0);
    });
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(out[i], sfsref::apply<Prim32s>(std::int64_t{b[i]} - a[i], sf))
          << "sub " << b[i] << " - " << a[i] << " sf=" << sf;
    for (Prim32s val : v) {
      ASSERT_EQ(vecAddC_32s_Sfs(v.data(), val, out.data(), static_cast<int>(v.size()), sf), 0);
      for (std::size_t i = 0; i < v.size(); ++i)
        ASSERT_EQ(out[i], sfsref::apply<Prim32s>(std::int64_t{v[i]} + val, sf))
            << "addC " << v[i] << " + " << val << " sf=" << sf;
    }
  }
}

// ---- checks and their order ----------------------------------------------------

template <class T>
void checkStatuses(const Prim<T>& p) {
  Area a(64), b(64), d(64);
  T* pa = a.at<T>(0);
  T* pb = b.at<T>(0);
  T* pd = d.at<T>(0);
  const T* src2 = p.twoSources ? pb : nullptr;
  for (int sf : {0, 1, -40, 40}) {
    // Null pointers come first, in argument order, whatever the length.
    for (int len : {0, -1, 8}) {
      EXPECT_EQ(p.pub(nullptr, src2, T{1}, pd, len, sf), primResultNullPointer) << p.name;
      if (p.twoSources) {
        EXPECT_EQ(p.pub(pa, nullptr, T{1}, pd, len, sf), primResultNullPointer) << p.name;
        EXPECT_EQ(p.pub(pa, nullptr, T{1}, nullptr, len, sf), primResultNullPointer) << p.name;
      }
      EXPECT_EQ(p.pub(pa, src2, T{1}, nullptr, len, sf), primResultNullPointer) << p.name;
    }
    // Then the length; also for the forwarded cases (copy, zero).
    for (T val : {T{0}, T{1}}) {
      EXPECT_EQ(p.pub(pa, src2, val, pd, 0, sf), primResultBadSize) << p.name;
      EXPECT_EQ(p.pub(pa, src2, val, pd, -1, sf), primResultBadSize) << p.name;
      EXPECT_EQ(p.pub(pa, src2, val, pd, INT_MIN, sf), primResultBadSize) << p.name;
    }
  }
  Area untouched(64);
  EXPECT_TRUE(d.same(untouched)) << p.name << " wrote on a failed check";
  EXPECT_TRUE(a.same(untouched) && b.same(untouched)) << p.name;
}

TEST_P(ArithAllBuilds, ChecksComeFirstAndWriteNothing) {
  for (const auto& p : prims16()) checkStatuses(p);
  for (const auto& p : prims32()) checkStatuses(p);
  for (const auto& p : prims32f()) checkStatuses(p);
}

// ---- edge cases -----------------------------------------------------------------

struct Edge16 {
  Prim16s a, b;  // first, second operand (the constant for vecAddC)
  int sf;
  Prim16s want;
};
struct Edge32 {
  Prim32s a, b;
  int sf;
  Prim32s want;
};

TEST_P(ArithAllBuilds, AddC16EdgeCases) {
  const Edge16 cases[] = {
      {32767, 1, 0, 32767},
      {-32768, -1, 0, -32768},
      {-1, -32768, 0, -32768},
      {3, 0, 1, 2},
      {1, 0, 1, 0},
      {-1, 0, 1, 0},
      {-3, 0, 1, -2},
      {5, 0, 1, 2},
      {32767, 32767, 1, 32767},
      {-32768, -32768, 1, -32768},
      {32767, -32768, 1, 0},
      {32767, 32767, 16, 1},
      {32767, 2, 16, 1},
      {32767, 1, 16, 0},
      {-32768, 0, 16, 0},
      {-32768, -1, 16, -1},
      {-32768, -32768, 16, -1},
      {123, 5, 17, 0},
      {-5, -32768, INT_MAX, 0},
      {16383, 0, -1, 32766},
      {16384, 0, -1, 32767},
      {-16384, 0, -1, -32768},
      {-16385, 0, -1, -32768},
      {1, 0, -15, 32767},
      {-1, 0, -15, -32768},
      {0, 0, -15, 0},
      {1, 0, -16, 32767},
      {-1, 0, INT_MIN, -32768},
      {5, -5, INT_MIN, 0},
  };
  // Lengths that take the scalar path, the short vector path and the long
  // path of every build; each element of the vector holds the same case.
  for (const Edge16& c : cases)
    for (int len : {1, 7, 23, 64}) {
      std::vector<Prim16s> src(len, c.a), dst(len, 99);
      ASSERT_EQ(vecAddC_16s_Sfs(src.data(), c.b, dst.data(), len, c.sf), 0);
      for (Prim16s x : dst) ASSERT_EQ(x, c.want) << c.a << " + " << c.b << " sf=" << c.sf;
    }
  // Factor 0 with a zero constant copies, also in place.
  std::vector<Prim16s> v = {-32768, 5, 32767, -1, 0, 7, 9, 11, 13};
  const auto orig = v;
  ASSERT_EQ(vecAddC_16s_Sfs(v.data(), 0, v.data(), 9, 0), 0);
  EXPECT_EQ(v, orig);
}

TEST_P(ArithAllBuilds, Add16AndSub16EdgeCases) {
  const Edge16 add[] = {
      {32767, 1, 0, 32767},
      {-32768, -1, 0, -32768},
      {-32768, 32767, 0, -1},
      {32767, 32767, 1, 32767},
      {-32768, -32768, 1, -32768},
      {1, 2, 1, 2},
      {1, 0, 1, 0},
      {-1, 0, 1, 0},
      {-2, -1, 1, -2},
      {1, 1, 2, 0},
      {3, 3, 2, 2},
      {5, 5, 2, 2},
      {32767, 32767, 16, 1},
      {16384, 16384, 16, 0},
      {16385, 16384, 16, 1},
      {-16384, -16384, 16, 0},
      {-16385, -16384, 16, -1},
      {-32768, -32768, 16, -1},
      {100, 100, 17, 0},
      {-100, 7, INT_MAX, 0},
      {16384, 0, -1, 32767},
      {-16384, 0, -1, -32768},
      {-16385, 0, -1, -32768},
      {1, 0, -15, 32767},
      {-1, 0, -15, -32768},
      {5, -5, -15, 0},
      {32767, 32767, -16, 32767},
      {-32768, -32768, INT_MIN, -32768},
      {1, 0, -16, 32767},
  };
  // vecSub takes the first operand from the second: {a (first), b (second)}.
  const Edge16 sub[] = {
      {-1, 32767, 0, 32767},
      {1, -32768, 0, -32768},
      {7, 5, 0, -2},
      {-32768, 32767, 1, 32767},
      {32767, -32768, 1, -32768},
      {0, 3, 1, 2},
      {0, 1, 1, 0},
      {0, -1, 1, 0},
      {0, -3, 1, -2},
      {0, 6, 2, 2},
      {0, 10, 2, 2},
      {0, -6, 2, -2},
      {0, 2, 2, 0},
      {0, -2, 2, 0},
      {-32768, 32767, 16, 1},
      {0, -32768, 16, 0},
      {-32768, 0, 16, 0},
      {1, -32768, 16, -1},
      {32767, -32768, 16, -1},
      {-1, 32767, 17, 0},
      {5, 6, INT_MAX, 0},
      {0, 16383, -1, 32766},
      {0, 16384, -1, 32767},
      {0, -16384, -1, -32768},
      {0, -16385, -1, -32768},
      {-8000, 32000, -1, 32767},
      {0, 1, -15, 32767},
      {0, -1, -15, -32768},
      {4, 4, -15, 0},
      {0, 1, -16, 32767},
      {1, 0, INT_MIN, -32768},
      {9, 9, INT_MIN, 0},
  };
  for (int len : {1, 7, 15, 23, 64}) {
    for (const Edge16& c : add) {
      std::vector<Prim16s> x(len, c.a), y(len, c.b), d(len, 99);
      ASSERT_EQ(vecAdd_16s_Sfs(x.data(), y.data(), d.data(), len, c.sf), 0);
      for (Prim16s r : d) ASSERT_EQ(r, c.want) << c.a << " + " << c.b << " sf=" << c.sf;
      ASSERT_EQ(vecAdd_16s_Sfs(y.data(), x.data(), d.data(), len, c.sf), 0);  // symmetric
      for (Prim16s r : d) ASSERT_EQ(r, c.want) << c.b << " + " << c.a << " sf=" << c.sf;
    }
    for (const Edge16& c : sub) {
      std::vector<Prim16s> x(len, c.a), y(len, c.b), d(len, 99);
      ASSERT_EQ(vecSub_16s_Sfs(x.data(), y.data(), d.data(), len, c.sf), 0);
      for (Prim16s r : d) ASSERT_EQ(r, c.want) << c.b << " - " << c.a << " sf=" << c.sf;
    }
  }
}

TEST_P(ArithAllBuilds, AddC32EdgeCases) {
  const Edge32 cases[] = {
      {INT32_MAX, 1, 0, INT32_MAX},
      {INT32_MIN, -1, 0, INT32_MIN},
      {INT32_MIN, INT32_MAX, 0, -1},
      {3, 0, 1, 2},
      {1, 0, 1, 0},
      {-1, 0, 1, 0},
      {-3, 0, 1, -2},
      {5, 0, 1, 2},
      {INT32_MAX, INT32_MAX, 1, INT32_MAX},
      {INT32_MIN, INT32_MIN, 1, INT32_MIN},
      {6, 0, 2, 2},
      {10, 0, 2, 2},
      {-6, 0, 2, -2},
      {2, 0, 2, 0},
      {7, 0, 2, 2},
      {3, 3, 2, 2},
      {1, 1, 2, 0},
      {5, 7, 3, 2},
      {1, 3, 3, 0},
      {INT32_MIN, INT32_MIN, 32, -1},
      {INT32_MAX, INT32_MAX, 32, 1},
      {INT32_MAX, 1, 32, 0},
      {INT32_MAX, 2, 32, 1},
      {INT32_MIN, 0, 32, 0},
      {77, 5, 33, 0},
      {-77, INT32_MIN, INT_MAX, 0},
      {INT32_MAX, 1, -1, INT32_MAX},
      {INT32_MIN, -1, -1, INT32_MIN},
      {1, 0, -30, 1 << 30},
      {2, 0, -30, INT32_MAX},
      {-2, 0, -30, INT32_MIN},
      {-3, 0, -30, INT32_MIN},
      {1, 0, -31, INT32_MAX},
      {-1, 0, INT_MIN, INT32_MIN},
      {5, -5, -31, 0},
      {5, -5, INT_MIN, 0},
  };
  for (const Edge32& c : cases)
    for (int len : {1, 3, 11, 40}) {
      std::vector<Prim32s> src(len, c.a), dst(len, 99);
      ASSERT_EQ(vecAddC_32s_Sfs(src.data(), c.b, dst.data(), len, c.sf), 0);
      for (Prim32s x : dst) ASSERT_EQ(x, c.want) << c.a << " + " << c.b << " sf=" << c.sf;
    }
  std::vector<Prim32s> v = {INT32_MIN, 5, INT32_MAX, -1, 0};
  const auto orig = v;
  ASSERT_EQ(vecAddC_32s_Sfs(v.data(), 0, v.data(), 5, 0), 0);
  EXPECT_EQ(v, orig);
}

TEST_P(ArithAllBuilds, Add32AndSub32EdgeCases) {
  const Edge32 add[] = {
      {INT32_MAX, 1, 0, INT32_MAX},
      {INT32_MIN, -1, 0, INT32_MIN},
      {5, -7, 0, -2},
      {INT32_MAX, INT32_MIN, 0, -1},
      {INT32_MIN, INT32_MIN, 0, INT32_MIN},
      {INT32_MAX, INT32_MAX, 1, INT32_MAX},
      {INT32_MIN, INT32_MIN, 1, INT32_MIN},
      {3, 0, 1, 2},
      {1, 0, 1, 0},
      {-1, 0, 1, 0},
      {-3, 0, 1, -2},
      {3, 3, 2, 2},
      {5, 5, 2, 2},
      {-3, -3, 2, -2},
      {3, -1, 2, 0},
      {1, 1, 2, 0},
      {INT32_MAX, -1, 32, 0},
      {INT32_MAX, 1, 32, 0},
      {INT32_MAX, 2, 32, 1},
      {INT32_MIN, INT32_MIN, 32, -1},
      {INT32_MAX, INT32_MAX, 32, 1},
      {INT32_MIN, 0, 32, 0},
      {9, 9, 33, 0},
      {9, 9, INT_MAX, 0},
      {1, 0, -30, 1 << 30},
      {1, 1, -30, INT32_MAX},
      {-1, -1, -30, INT32_MIN},
      {-3, 0, -30, INT32_MIN},
      {1 << 30, 0, -1, INT32_MAX},
      {(1 << 30) - 1, 0, -1, INT32_MAX - 1},
      {INT32_MAX, INT32_MAX, -1, INT32_MAX},
      {1, 0, -31, INT32_MAX},
      {-1, 0, INT_MIN, INT32_MIN},
      {4, -4, -31, 0},
  };
  const Edge32 sub[] = {
      // {first, second}: second minus first
      {-1, INT32_MAX, 0, INT32_MAX},
      {1, INT32_MIN, 0, INT32_MIN},
      {INT32_MIN, 0, 0, INT32_MAX},
      {INT32_MIN, INT32_MAX, 1, INT32_MAX},
      {INT32_MAX, INT32_MIN, 1, INT32_MIN},
      {2, 0, 2, 0},
      {6, 0, 2, -2},
      {INT32_MIN, INT32_MAX, 32, 1},
      {-(1 << 30), 1 << 30, 32, 0},
      {0, 1, -30, 1 << 30},
      {0, -2, -30, INT32_MIN},
      {3, 3, -31, 0},
      {INT32_MAX, INT32_MIN, -31, INT32_MIN},
      {INT32_MIN, INT32_MAX, INT_MIN, INT32_MAX},
  };
  for (int len : {1, 2, 3, 4, 11, 40, 394, 1200}) {
    for (const Edge32& c : add) {
      std::vector<Prim32s> x(len, c.a), y(len, c.b), d(len, 99);
      ASSERT_EQ(vecAdd_32s_Sfs(x.data(), y.data(), d.data(), len, c.sf), 0);
      for (Prim32s r : d) ASSERT_EQ(r, c.want) << c.a << " + " << c.b << " sf=" << c.sf;
    }
    for (const Edge32& c : sub) {
      std::vector<Prim32s> x(len, c.a), y(len, c.b), d(len, 99);
      ASSERT_EQ(vecSub_32s_Sfs(x.data(), y.data(), d.data(), len, c.sf), 0);
      for (Prim32s r : d) ASSERT_EQ(r, c.want) << c.b << " - " << c.a << " sf=" << c.sf;
    }
  }
}

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

TEST_P(ArithAllBuilds, FloatEdgeCases) {
  const float inf = std::numeric_limits<float>::infinity();
  const float qnan = std::numeric_limits<float>::quiet_NaN();
  const float snan = std::numeric_limits<float>::signaling_NaN();
  for (int len : {3, 12, 40}) {
    std::vector<float> src(len), dst(len, 7.0f);
    for (int i = 0; i < len; ++i) src[i] = (i % 3 == 0) ? -5.0f : (i % 3 == 1 ? inf : qnan);
    // 0.0 and -0.0 clear to +0.0 whatever the source holds.
    for (float z : {0.0f, -0.0f}) {
      ASSERT_EQ(vecMulC_32f(src.data(), z, dst.data(), len), 0);
      for (float x : dst) ASSERT_EQ(bits(x), 0u);
    }
    // 1.0 copies the bits, a signalling NaN and -0.0 included.
    for (int i = 0; i < len; ++i) src[i] = (i % 2) ? snan : -0.0f;
    ASSERT_EQ(vecMulC_32f(src.data(), 1.0f, dst.data(), len), 0);
    for (int i = 0; i < len; ++i) ASSERT_EQ(bits(dst[i]), bits(src[i]));
    // NaN matches no shortcut.
    for (int i = 0; i < len; ++i) src[i] = static_cast<float>(i);
    ASSERT_EQ(vecMulC_32f(src.data(), qnan, dst.data(), len), 0);
    for (float x : dst) ASSERT_TRUE(std::isnan(x));
    std::fill(src.begin(), src.end(), 3.0e38f);
    ASSERT_EQ(vecMulC_32f(src.data(), 2.0f, dst.data(), len), 0);
    for (float x : dst) ASSERT_EQ(x, inf);
    std::fill(src.begin(), src.end(), std::numeric_limits<float>::denorm_min());
    ASSERT_EQ(vecMulC_32f(src.data(), 0.5f, dst.data(), len), 0);
    for (float x : dst) ASSERT_EQ(bits(x), 0u);  // ties to even
    // Add and subtract.
    std::vector<float> a(len), b(len);
    for (int i = 0; i < len; ++i) {
      a[i] = i % 2 ? 1.0f : 2.0f;
      b[i] = 5.0f;
    }
    ASSERT_EQ(vecSub_32f(a.data(), b.data(), dst.data(), len), 0);
    for (int i = 0; i < len; ++i) ASSERT_EQ(dst[i], i % 2 ? 4.0f : 3.0f);
    std::fill(a.begin(), a.end(), inf);
    std::fill(b.begin(), b.end(), -inf);
    ASSERT_EQ(vecAdd_32f(a.data(), b.data(), dst.data(), len), 0);
    for (float x : dst) ASSERT_TRUE(std::isnan(x));
    ASSERT_EQ(vecSub_32f(a.data(), a.data(), dst.data(), len), 0);
    for (float x : dst) ASSERT_TRUE(std::isnan(x));
    std::fill(a.begin(), a.end(), 1.0e38f);
    std::fill(b.begin(), b.end(), 3.0e38f);
    ASSERT_EQ(vecAdd_32f(a.data(), b.data(), dst.data(), len), 0);
    for (float x : dst) ASSERT_EQ(x, inf);
    std::fill(a.begin(), a.end(), -0.0f);
    ASSERT_EQ(vecAdd_32f(a.data(), a.data(), dst.data(), len), 0);
    for (float x : dst) ASSERT_EQ(bits(x), bits(-0.0f));
    for (int i = 0; i < len; ++i) a[i] = static_cast<float>(i) * 1.37f - 9.0f;
    ASSERT_EQ(vecSub_32f(a.data(), a.data(), dst.data(), len), 0);
    for (float x : dst) ASSERT_EQ(bits(x), 0u);  // x - x is +0.0
  }
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, ArithAllBuilds, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

// ---- the float row kernels ---------------------------------------------------------

// The row kernels multiply every element, 1.0 and 0.0 included, and accept a
// length of 0.
TEST(FloatRowKernels, MultiplyEveryValue) {
  using Kernel = void (*)(const Prim32f*, Prim32f, Prim32f*, int);
  const Kernel kernels[] = {prim::sse2::sse2_ownsMulC_32f, prim::ssse3::ssse3_ownsMulC_32f,
                            prim::sse41::sse41_ownsMulC_32f};
  const std::int32_t gens[] = {1, 2, 4};
  const float inf = std::numeric_limits<float>::infinity();
  for (int k = 0; k < 3; ++k) {
    if (!primTestGenerationSupported(gens[k])) continue;
    std::vector<float> src = {2.0f,  std::numeric_limits<float>::quiet_NaN(),
                              inf,   -3.0f,
                              1.0f,  0.5f,
                              7.0f,  9.0f,
                              11.0f, 13.0f,
                              15.0f, 17.0f};
    std::vector<float> dst(src.size(), 42.0f);
    kernels[k](src.data(), -0.0f, dst.data(), static_cast<int>(src.size()));
    EXPECT_EQ(bits(dst[0]), bits(-0.0f));
    EXPECT_TRUE(std::isnan(dst[1]));
    EXPECT_TRUE(std::isnan(dst[2]));  // infinity times zero
    EXPECT_EQ(bits(dst[3]), 0u);
    kernels[k](src.data(), 0.0f, dst.data(), static_cast<int>(src.size()));
    EXPECT_TRUE(std::isnan(dst[1]));
    kernels[k](src.data(), 1.0f, dst.data(), static_cast<int>(src.size()));
    EXPECT_EQ(dst[0], 2.0f);
    std::vector<float> none(4, 5.0f);
    kernels[k](src.data(), 3.0f, none.data(), 0);
    EXPECT_EQ(none, std::vector<float>(4, 5.0f));
  }
}

}  // namespace
