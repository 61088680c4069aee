// Copy, zero and set: every build against px (and px against the C library)
// over lengths around every threshold, every alignment, with guard bytes, and
// through the non-temporal paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "primitives/core/test_hooks.h"
#include "primitives/core/vec_memory.h"
#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_tables.h"
#include "tests/primitives/core/recorded_cpu.h"
#include "tests/support/generations.h"

namespace {

constexpr std::size_t guardBytes = 64;

// Byte lengths around every vector width and threshold of the builds.
std::vector<std::size_t> shortByteLengths() {
  std::vector<std::size_t> v;
  for (std::size_t n = 1; n <= 40; ++n) v.push_back(n);
  for (std::size_t n : {47,  48,  49,  63,  64,  65,  95,  96,  97,  127, 128, 129, 191, 192,
                        193, 255, 256, 257, 287, 288, 289, 383, 384, 385, 511, 512, 513})
    v.push_back(n);
  return v;
}
const std::vector<std::size_t> longByteLengths = {1000,  4095,  4096,  4097,  16383,    16384,
                                                  16385, 32767, 32768, 32769, 65536 + 7};

// Source, the two destinations (px and the build under test) and their
// pristine contents, sized for the largest case.
class Buffers {
 public:
  explicit Buffers(std::size_t maxBytes) : size_(maxBytes + 2 * guardBytes + 64) {
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    src_.resize(size_);
    pristine_.resize(size_);
    for (auto& b : src_) b = static_cast<Prim8u>(byte(rng));
    for (auto& b : pristine_) b = static_cast<Prim8u>(byte(rng));
    ref_ = pristine_;
    out_ = pristine_;
  }
  Prim8u* src(std::size_t align) { return src_.data() + guardBytes + align; }
  Prim8u* ref(std::size_t align) { return ref_.data() + guardBytes + align; }
  Prim8u* out(std::size_t align) { return out_.data() + guardBytes + align; }

  // Compares the two destinations over the range plus guards, checks the
  // guards are untouched, and restores both to the pristine bytes.
  void check(std::size_t align, std::size_t bytes, const std::string& what) {
    const std::size_t span = guardBytes + align + bytes + guardBytes;
    const std::size_t end = guardBytes + align + bytes;
    bool same = std::memcmp(ref_.data(), out_.data(), span) == 0;
    bool guardsKept = std::memcmp(out_.data(), pristine_.data(), guardBytes + align) == 0 &&
                      std::memcmp(out_.data() + end, pristine_.data() + end, guardBytes) == 0;
    if (!same || !guardsKept) {
      std::size_t first = 0;
      while (first < span && ref_[first] == out_[first]) ++first;
      ADD_FAILURE() << what << ": " << (guardsKept ? "" : "guard bytes written; ")
                    << "first difference at byte "
                    << static_cast<long>(first) - static_cast<long>(guardBytes + align) << " of " << bytes;
    }
    std::memcpy(ref_.data(), pristine_.data(), span);
    std::memcpy(out_.data(), pristine_.data(), span);
  }

 private:
  std::size_t size_;
  std::vector<Prim8u> src_, pristine_, ref_, out_;
};

template <class T>
T* as(Prim8u* p) {
  return reinterpret_cast<T*>(p);
}

std::string describe(const char* op, std::size_t bytes, std::size_t sa, std::size_t da) {
  return std::string(op) + " of " + std::to_string(bytes) + " bytes, source +" + std::to_string(sa) +
         ", destination +" + std::to_string(da);
}

// ---------------------------------------------------------------------------
// One build against px.

template <class T>
void compareCopy(PrimResult (*px)(const T*, T*, int), PrimResult (*build)(const T*, T*, int), Buffers& b,
                 std::size_t bytes, std::size_t sa, std::size_t da) {
  const int len = static_cast<int>(bytes / sizeof(T));
  ASSERT_EQ(px(as<T>(b.src(sa)), as<T>(b.ref(da)), len), primResultOk);
  ASSERT_EQ(build(as<T>(b.src(sa)), as<T>(b.out(da)), len), primResultOk);
  b.check(da, bytes, describe("copy", bytes, sa, da));
}

template <class T>
void compareZero(PrimResult (*px)(T*, int), PrimResult (*build)(T*, int), Buffers& b, std::size_t bytes,
                 std::size_t da) {
  const int len = static_cast<int>(bytes / sizeof(T));
  ASSERT_EQ(px(as<T>(b.ref(da)), len), primResultOk);
  ASSERT_EQ(build(as<T>(b.out(da)), len), primResultOk);
  b.check(da, bytes, describe("zero", bytes, 0, da));
}

template <class T>
void compareSet(PrimResult (*px)(T, T*, int), PrimResult (*build)(T, T*, int), T value, Buffers& b,
                std::size_t bytes, std::size_t da) {
  const int len = static_cast<int>(bytes / sizeof(T));
  ASSERT_EQ(px(value, as<T>(b.ref(da)), len), primResultOk);
  ASSERT_EQ(build(value, as<T>(b.out(da)), len), primResultOk);
  b.check(da, bytes, describe("set", bytes, 0, da));
}

// Lengths in bytes that are whole elements of T.
template <class T>
std::vector<std::size_t> elementLengths(const std::vector<std::size_t>& byteLengths) {
  std::vector<std::size_t> v;
  for (std::size_t n : byteLengths)
    if (n % sizeof(T) == 0) v.push_back(n);
  for (std::size_t n : {1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 33, 63, 64, 65}) v.push_back(n * sizeof(T));
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

// Every source and destination alignment 0..31 for short copies and around
// the string-move threshold; for the other long ones every alignment of each
// with the other at 0, equal and mirrored alignments, which covers every
// relative offset.
template <class T>
void sweepCopy(PrimResult (*px)(const T*, T*, int), PrimResult (*build)(const T*, T*, int)) {
  Buffers b(70000);
  std::vector<std::size_t> everyAlignment = shortByteLengths();
  everyAlignment.push_back(32767);
  everyAlignment.push_back(32768);
  for (std::size_t bytes : elementLengths<T>(everyAlignment))
    for (std::size_t sa = 0; sa < 32; ++sa)
      for (std::size_t da = 0; da < 32; ++da) {
        compareCopy(px, build, b, bytes, sa, da);
        if (::testing::Test::HasFailure()) return;
      }
  for (std::size_t bytes : elementLengths<T>(longByteLengths)) {
    if (bytes < 1000) continue;
    for (std::size_t a = 0; a < 32; ++a) {
      compareCopy(px, build, b, bytes, a, 0);
      compareCopy(px, build, b, bytes, 0, a);
      compareCopy(px, build, b, bytes, a, a);
      compareCopy(px, build, b, bytes, a, 31 - a);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

template <class T>
void sweepFill(PrimResult (*pxZero)(T*, int), PrimResult (*zero)(T*, int), PrimResult (*pxSet)(T, T*, int),
               PrimResult (*set)(T, T*, int), T value) {
  Buffers b(70000);
  std::vector<std::size_t> lengths = elementLengths<T>(shortByteLengths());
  for (std::size_t n : elementLengths<T>(longByteLengths)) lengths.push_back(n);
  for (std::size_t bytes : lengths)
    for (std::size_t da = 0; da < 32; ++da) {
      compareZero(pxZero, zero, b, bytes, da);
      compareSet(pxSet, set, value, b, bytes, da);
      if (::testing::Test::HasFailure()) return;
    }
}

// ---------------------------------------------------------------------------
// px against the C library.

template <class T>
PrimResult libCopy(const T* s, T* d, int n) {
  std::memcpy(d, s, static_cast<std::size_t>(n) * sizeof(T));
  return primResultOk;
}
template <class T>
PrimResult libZero(T* d, int n) {
  std::memset(d, 0, static_cast<std::size_t>(n) * sizeof(T));
  return primResultOk;
}
template <class T>
PrimResult libSet(T v, T* d, int n) {
  for (int i = 0; i < n; ++i) std::memcpy(reinterpret_cast<Prim8u*>(d) + sizeof(T) * i, &v, sizeof(T));
  return primResultOk;
}

TEST(VecMemoryPxTest, MatchesTheCLibrary) {
  sweepCopy<Prim8u>(libCopy<Prim8u>, px_vecCopy_8u);
  sweepCopy<Prim16s>(libCopy<Prim16s>, px_vecCopy_16s);
  sweepCopy<Prim32s>(libCopy<Prim32s>, px_vecCopy_32s);
  sweepFill<Prim8u>(libZero<Prim8u>, px_vecZero_8u, libSet<Prim8u>, px_vecSet_8u, 0xc3);
  sweepFill<Prim16s>(libZero<Prim16s>, px_vecZero_16s, libSet<Prim16s>, px_vecSet_16s, -12345);
  sweepFill<Prim32s>(libZero<Prim32s>, px_vecZero_32s, libSet<Prim32s>, px_vecSet_32s, -0x12345678);
}

// ---------------------------------------------------------------------------
// Argument checks: null first, then the length; nothing is written.

TEST(VecMemoryChecksTest, EveryBuildRefusesNullAndBadLengthsWithoutWriting) {
  for (std::int32_t g = 0; g < primGenerationCount; ++g) {
    if (!primTestGenerationSupported(g)) continue;
    SCOPED_TRACE(generationName(g));
    Prim32s buf[4] = {1, 2, 3, 4}, src[4] = {5, 6, 7, 8};
    auto* b8 = reinterpret_cast<Prim8u*>(buf);
    auto* b16 = reinterpret_cast<Prim16s*>(buf);
    auto* s8 = reinterpret_cast<Prim8u*>(src);
    auto* s16 = reinterpret_cast<Prim16s*>(src);
    for (int len : {0, -1, INT32_MIN}) {
      EXPECT_EQ(tbl_vecCopy_8u.entry[g](nullptr, b8, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecCopy_8u.entry[g](s8, nullptr, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecCopy_8u.entry[g](s8, b8, len), primResultBadSize);
      EXPECT_EQ(tbl_vecCopy_16s.entry[g](nullptr, b16, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecCopy_16s.entry[g](s16, b16, len), primResultBadSize);
      EXPECT_EQ(tbl_vecCopy_32s.entry[g](src, nullptr, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecCopy_32s.entry[g](src, buf, len), primResultBadSize);
      EXPECT_EQ(tbl_vecZero_8u.entry[g](nullptr, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecZero_8u.entry[g](b8, len), primResultBadSize);
      EXPECT_EQ(tbl_vecZero_16s.entry[g](nullptr, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecZero_16s.entry[g](b16, len), primResultBadSize);
      EXPECT_EQ(tbl_vecZero_32s.entry[g](nullptr, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecZero_32s.entry[g](buf, len), primResultBadSize);
      EXPECT_EQ(tbl_vecSet_8u.entry[g](1, nullptr, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecSet_8u.entry[g](1, b8, len), primResultBadSize);
      EXPECT_EQ(tbl_vecSet_16s.entry[g](1, nullptr, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecSet_16s.entry[g](1, b16, len), primResultBadSize);
      EXPECT_EQ(tbl_vecSet_32s.entry[g](1, nullptr, len), primResultNullPointer);
      EXPECT_EQ(tbl_vecSet_32s.entry[g](1, buf, len), primResultBadSize);
    }
    EXPECT_EQ(tbl_vecCopy_8u.entry[g](nullptr, nullptr, 4), primResultNullPointer);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[1], 2);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(buf[3], 4);
  }
  // The movbe slot is the ssse3 build.
  EXPECT_EQ(tbl_vecCopy_8u.entry[primGenMovbe], &ssse3_vecCopy_8u);
  EXPECT_EQ(tbl_vecZero_32s.entry[primGenMovbe], &ssse3_vecZero_32s);
  EXPECT_EQ(ssse3_ownsZero_32s(nullptr, 1), primResultNullPointer);
  Prim16s one = 7;
  EXPECT_EQ(ssse3_ownsZero_16s(&one, 0), primResultBadSize);
  EXPECT_EQ(ssse3_ownsZero_16s(&one, 1), primResultOk);
  EXPECT_EQ(one, 0);
}

// ---------------------------------------------------------------------------
// Every build against px.

class VecMemoryBuildTest : public GenerationTest {
 protected:
  void TearDown() override {
    primTestSetKernelCacheSize(-1);
    GenerationTest::TearDown();
  }
  template <class Fn>
  Fn build(const PrimDispatchTable<Fn>& table) const {
    return table.entry[generation()];
  }
};

TEST_P(VecMemoryBuildTest, Copy8uThroughThePublicEntry) { sweepCopy<Prim8u>(px_vecCopy_8u, vecCopy_8u); }
TEST_P(VecMemoryBuildTest, Copy16s) { sweepCopy<Prim16s>(px_vecCopy_16s, build(tbl_vecCopy_16s)); }
TEST_P(VecMemoryBuildTest, Copy32s) { sweepCopy<Prim32s>(px_vecCopy_32s, build(tbl_vecCopy_32s)); }

TEST_P(VecMemoryBuildTest, ZeroAndSet8uThroughThePublicEntries) {
  for (Prim8u value : {Prim8u{0x00}, Prim8u{0xff}, Prim8u{0x5a}})
    sweepFill<Prim8u>(px_vecZero_8u, vecZero_8u, px_vecSet_8u, vecSet_8u, value);
}
TEST_P(VecMemoryBuildTest, ZeroAndSet16s) {
  // Byte alignments include odd destinations.
  for (Prim16s value : {Prim16s{-2}, Prim16s{0x1234}})
    sweepFill<Prim16s>(px_vecZero_16s, build(tbl_vecZero_16s), px_vecSet_16s, build(tbl_vecSet_16s), value);
}
TEST_P(VecMemoryBuildTest, ZeroAndSet32s) {
  for (Prim32s value : {Prim32s{-1}, Prim32s{0x12345678}})
    sweepFill<Prim32s>(px_vecZero_32s, build(tbl_vecZero_32s), px_vecSet_32s, build(tbl_vecSet_32s), value);
}

TEST_P(VecMemoryBuildTest, CopyOntoItselfLeavesTheDataUnchanged) {
  Buffers b(70000);
  for (std::size_t bytes : {4, 20, 64, 300, 5000, 40000})
    for (std::size_t a : {0, 1, 2, 3, 4}) {
      std::vector<Prim8u> before(b.src(a), b.src(a) + bytes);
      ASSERT_EQ(vecCopy_8u(b.src(a), b.src(a), static_cast<int>(bytes)), primResultOk);
      ASSERT_EQ(
          build(tbl_vecCopy_16s)(as<Prim16s>(b.src(a)), as<Prim16s>(b.src(a)), static_cast<int>(bytes / 2)),
          primResultOk);
      ASSERT_EQ(
          build(tbl_vecCopy_32s)(as<Prim32s>(b.src(a)), as<Prim32s>(b.src(a)), static_cast<int>(bytes / 4)),
          primResultOk);
      EXPECT_TRUE(std::equal(before.begin(), before.end(), b.src(a))) << bytes << " +" << a;
    }
}

enum class Op { copy8, copy16, copy32, zero8, zero16, zero32, set8, set16, set32 };

void runLarge(Op op, std::int32_t g, Buffers& b, std::size_t bytes, std::size_t sa, std::size_t da) {
  switch (op) {
    case Op::copy8:
      return compareCopy<Prim8u>(px_vecCopy_8u, tbl_vecCopy_8u.entry[g], b, bytes, sa, da);
    case Op::copy16:
      return compareCopy<Prim16s>(px_vecCopy_16s, tbl_vecCopy_16s.entry[g], b, bytes, sa, da);
    case Op::copy32:
      return compareCopy<Prim32s>(px_vecCopy_32s, tbl_vecCopy_32s.entry[g], b, bytes, sa, da);
    case Op::zero8:
      return compareZero<Prim8u>(px_vecZero_8u, tbl_vecZero_8u.entry[g], b, bytes, da);
    case Op::zero16:
      return compareZero<Prim16s>(px_vecZero_16s, tbl_vecZero_16s.entry[g], b, bytes, da);
    case Op::zero32:
      return compareZero<Prim32s>(px_vecZero_32s, tbl_vecZero_32s.entry[g], b, bytes, da);
    case Op::set8:
      return compareSet<Prim8u>(px_vecSet_8u, tbl_vecSet_8u.entry[g], 0x81, b, bytes, da);
    case Op::set16:
      return compareSet<Prim16s>(px_vecSet_16s, tbl_vecSet_16s.entry[g], -300, b, bytes, da);
    case Op::set32:
      return compareSet<Prim32s>(px_vecSet_32s, tbl_vecSet_32s.entry[g], 0x7f00ff01, b, bytes, da);
  }
}

// The large paths with a small injected cache size: each case runs an
// operation against px and says for which generations the non-temporal path
// must run.
TEST_P(VecMemoryBuildTest, LargeSizesAndTheNonTemporalRule) {
  const std::int32_t g = generation();
  struct Case {
    const char* what;
    Op op;
    std::size_t bytes;
    std::int64_t cache;
    bool nt[7];  // per generation: the non-temporal path must run
  };
  constexpr std::size_t K = 1024, M = 1024 * 1024;
  const Case cases[] = {
      // Copies: sse2 above 128 KiB and at least half the cache, ssse3 more
      // than half, sse41 from 1 MiB; the AVX copies use the string move.
      {"copy at the sse2 threshold", Op::copy8, 0x20000, 0x40000, {0, 0, 0, 0, 0, 0, 0}},
      {"copy above the sse2 threshold", Op::copy8, 0x20000 + 64, 0x40000, {0, 1, 1, 1, 0, 0, 0}},
      {"copy of exactly half the cache", Op::copy8, 0x30000, 0x60000, {0, 1, 0, 0, 0, 0, 0}},
      {"copy below half the cache", Op::copy8, 0x30000, 0x60002, {0, 0, 0, 0, 0, 0, 0}},
      {"copy at the sse41 threshold", Op::copy8, M, 64 * K, {0, 1, 1, 1, 1, 0, 0}},
      {"copy without a cache size", Op::copy8, M + 33, 0, {0, 0, 0, 0, 0, 0, 0}},
      {"16-bit copy", Op::copy16, M + 34, 64 * K, {0, 1, 1, 1, 1, 0, 0}},
      {"32-bit copy", Op::copy32, M + 36, 64 * K, {0, 1, 1, 1, 1, 0, 0}},
      // Clears and byte fills: SSE above 512 KiB after alignment and at least
      // the cache; AVX above 2 MiB and above the cache.
      {"clear at the SSE threshold", Op::zero8, 0x80000, 64 * K, {0, 0, 0, 0, 0, 0, 0}},
      {"clear above the SSE threshold", Op::zero8, 0x80000 + 80, 64 * K, {0, 1, 1, 1, 1, 0, 0}},
      {"clear below the cache", Op::zero8, 0x80000 + 80, M, {0, 0, 0, 0, 0, 0, 0}},
      {"clear at the AVX threshold", Op::zero8, 0x200000, 64 * K, {0, 1, 1, 1, 1, 0, 0}},
      {"clear above the AVX threshold", Op::zero8, 0x200001, 64 * K, {0, 1, 1, 1, 1, 1, 1}},
      {"clear just below the cache size", Op::zero8, 0x200001, 0x200002, {0, 0, 0, 0, 0, 0, 0}},
      {"16-bit clear", Op::zero16, 0x200002, 64 * K, {0, 1, 1, 1, 1, 1, 1}},
      {"32-bit clear", Op::zero32, 0x200004, 64 * K, {0, 1, 1, 1, 1, 1, 1}},
      {"byte fill", Op::set8, 0x200001, 64 * K, {0, 1, 1, 1, 1, 1, 1}},
      // 16-bit fills: SSE above 0x80000 elements and above half the cache
      // in bytes; AVX above 2 MiB.
      {"16-bit fill at its SSE threshold", Op::set16, 2 * 0x80000, 64 * K, {0, 0, 0, 0, 0, 0, 0}},
      {"16-bit fill above its thresholds", Op::set16, 2 * 0x100001, 64 * K, {0, 1, 1, 1, 1, 1, 1}},
      // 32-bit fills: SSE above 0x40000 elements and a quarter of the cache.
      {"32-bit fill above its SSE threshold", Op::set32, 4 * 0x40001, 64 * K, {0, 1, 1, 1, 1, 0, 0}},
      {"32-bit fill above its AVX threshold", Op::set32, 4 * 0x80001, 64 * K, {0, 1, 1, 1, 1, 1, 1}},
      {"32-bit fill below a quarter of the cache", Op::set32, 4 * 0x80001, 4 * M, {0, 0, 0, 0, 0, 0, 0}},
  };
  Buffers b(0x200100);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    primTestSetKernelCacheSize(c.cache);
    for (std::size_t a : {0, 1, 2, 3, 4, 8, 13, 16, 30}) {
      const std::uint64_t before = primTestNonTemporalCount();
      runLarge(c.op, g, b, c.bytes, (a * 7) % 32, a);
      const std::uint64_t taken = primTestNonTemporalCount() - before;
      // A 16-bit fill at an odd address and a 32-bit fill off a 4-byte
      // boundary are written element by element in the SSE generations.
      bool expected = c.nt[g];
      if (g <= primGenSse41 && ((c.op == Op::set16 && a % 2) || (c.op == Op::set32 && a % 4)))
        expected = false;
      EXPECT_EQ(taken, expected ? 1u : 0u) << "destination +" << a;
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// The SSE kernels read the cache size from the leaf-2 descriptors of the
// reference vendor on every large call; another vendor never gets the
// non-temporal path.  The AVX kernels ask the largest-cache query.
TEST_P(VecMemoryBuildTest, NonTemporalRuleOnRecordedProcessors) {
  const std::int32_t g = generation();
  Buffers b(0x200100);
  for (bool reference : {true, false}) {
    SCOPED_TRACE(reference ? "reference vendor" : "another vendor");
    RecordedCpu cpu(4);
    if (!reference) cpu.setOtherVendor(4);
    cpu.set(2, 0, {0x00004301, 0, 0, 0});                     // 512 KiB
    cpu.set(4, 0, {3 | (2 << 5), (3u << 22) | 63, 1023, 0});  // 256 KiB unified
    cpu.install();
    const std::uint64_t before = primTestNonTemporalCount();
    runLarge(Op::copy8, g, b, 0x100000 + 5, 3, 1);
    runLarge(Op::zero8, g, b, 0x200001, 0, 5);
    const std::uint64_t taken = primTestNonTemporalCount() - before;
    std::uint64_t expected = 0;
    if (reference) expected = g <= primGenSse41 ? 2 : 1;  // the AVX copy uses the string move
    EXPECT_EQ(taken, expected);
  }
}

INSTANTIATE_GENERATIONS(VecMemoryBuildTest);

}  // namespace
