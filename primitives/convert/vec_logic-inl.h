// Logic and shift kernels: AND, OR and XOR with a constant (into a second
// vector or in place), between two vectors (into a third or in place), and
// shifts by a constant in place.  The sse2, ssse3, sse41 and avx builds
// compile this file with their own flags and namespace; the 32-bit
// two-vector kernels exist from ssse3 on.
//
// One walk serves every kernel: a destination off its element size goes in
// 8-byte steps; otherwise single elements up to a 16-byte destination, 64
// bytes per step, one step each of 32 and 16, then 8, 4, 2 and 1 bytes down
// to the element size.  Every step applies the same vector operation (on the
// low part of a vector for the short ones) and loads before it stores, so
// pDst may equal a source.  A length below 1 touches nothing.
//
// Shift counts are read as unsigned 32-bit numbers, by every element alike:
// from the element width on (negative counts included) left and logical
// right shifts give 0 and arithmetic right shifts the sign fill.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/convert/vec_logic_builds.h"
#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::convert {
namespace {

// `bytes` bytes (16, 8, 4, 2 or 1) to and from the low part of a vector.
inline __m128i loadPart(const Prim8u* p, std::size_t bytes) {
  if (bytes == 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  if (bytes == 8) return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  std::uint32_t v = 0;
  std::memcpy(&v, p, bytes);
  return _mm_cvtsi32_si128(static_cast<int>(v));
}
inline void storePart(Prim8u* p, std::size_t bytes, __m128i v) {
  if (bytes == 16) return _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  if (bytes == 8) return _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
  const std::uint32_t r = static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
  std::memcpy(p, &r, bytes);
}

// op(a, b) over n bytes: a from s1, b from s2 (a zero vector when s2 is
// null), results to d.  E is the element size.
template <std::size_t E, class Op>
void walk(const Prim8u* s1, const Prim8u* s2, Prim8u* d, int len, const Op& op) {
  if (len < 1) return;
  const std::size_t n = std::size_t(len) * E;
  std::size_t at = 0;
  auto step = [&](std::size_t bytes) {
    const __m128i a = loadPart(s1 + at, bytes);
    const __m128i b = s2 ? loadPart(s2 + at, bytes) : _mm_setzero_si128();
    storePart(d + at, bytes, op(a, b));
    at += bytes;
  };
  auto blocks = [&](int k) {  // k 16-byte blocks, all loaded before any store
    __m128i r[4];
    for (int j = 0; j < k; ++j) {
      const __m128i a = loadPart(s1 + at + 16 * j, 16);
      r[j] = op(a, s2 ? loadPart(s2 + at + 16 * j, 16) : _mm_setzero_si128());
    }
    for (int j = 0; j < k; ++j) storePart(d + at + 16 * j, 16, r[j]);
    at += 16 * std::size_t(k);
  };
  if (addr(d) % E == 0) {
    const std::size_t head = (16 - (addr(d) & 15)) & 15;
    if (n >= head)
      while (at < head) step(E);
    while (n - at >= 64) blocks(4);
    if (n - at >= 32) blocks(2);
    if (n - at >= 16) blocks(1);
  }
  while (n - at >= 8) step(8);
  if (E <= 4 && n - at >= 4) step(4);
  if (E <= 2 && n - at >= 2) step(2);
  if (E == 1 && n - at >= 1) step(1);
}

struct And {
  __m128i operator()(__m128i a, __m128i b) const { return _mm_and_si128(a, b); }
};
struct Or {
  __m128i operator()(__m128i a, __m128i b) const { return _mm_or_si128(a, b); }
};
struct Xor {
  __m128i operator()(__m128i a, __m128i b) const { return _mm_xor_si128(a, b); }
};
// The same with a constant vector in place of the second source.
template <class Op>
struct WithC {
  __m128i c;
  __m128i operator()(__m128i a, __m128i) const { return Op{}(a, c); }
};

// The constant of each element width, repeated over the vector; only its
// low 8 or 16 bits count for the narrow elements.
template <std::size_t E>
inline __m128i spread(int val) {
  if constexpr (E == 1) return _mm_set1_epi8(static_cast<char>(val & 0xff));
  if constexpr (E == 2) return _mm_set1_epi16(static_cast<short>(val & 0xffff));
  return _mm_set1_epi32(val);
}

// Lane shifts by a count held as an unsigned 64-bit number.
inline __m128i countOf(int val) { return _mm_cvtsi32_si128(val); }
enum class Lane { sll16, srl16, sra16, sll32, sra32 };
template <Lane K>
struct LaneShift {
  __m128i c;
  explicit LaneShift(int val) : c(countOf(val)) {}
  __m128i operator()(__m128i a, __m128i) const {
    if constexpr (K == Lane::sll16) return _mm_sll_epi16(a, c);
    if constexpr (K == Lane::srl16) return _mm_srl_epi16(a, c);
    if constexpr (K == Lane::sra16) return _mm_sra_epi16(a, c);
    if constexpr (K == Lane::sll32) return _mm_sll_epi32(a, c);
    return _mm_sra_epi32(a, c);
  }
};
// Bytes shift in 16-bit lanes; a mask, itself made by the same lane shift
// (so it is 0 from a count of 8 on), clears the bits that crossed from the
// neighbouring byte.
struct Sll8 {
  __m128i c, mask;
  explicit Sll8(int val) : c(countOf(val)) {
    const __m128i lo = _mm_and_si128(_mm_sll_epi16(_mm_set1_epi16(0xff), c), _mm_set1_epi16(0xff));
    mask = _mm_or_si128(lo, _mm_slli_epi16(lo, 8));
  }
  __m128i operator()(__m128i a, __m128i) const { return _mm_and_si128(_mm_sll_epi16(a, c), mask); }
};
struct Srl8 {
  __m128i c, mask;
  explicit Srl8(int val) : c(countOf(val)) {
    const __m128i lo = _mm_srl_epi16(_mm_set1_epi16(0xff), c);
    mask = _mm_or_si128(lo, _mm_slli_epi16(lo, 8));
  }
  __m128i operator()(__m128i a, __m128i) const { return _mm_and_si128(_mm_srl_epi16(a, c), mask); }
};

template <class T>
inline const Prim8u* asBytes(const T* p) {
  return reinterpret_cast<const Prim8u*>(p);
}
template <class T>
inline Prim8u* asBytes(T* p) {
  return reinterpret_cast<Prim8u*>(p);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

namespace cvl = prim::PRIM_GEN_NS::convert;

// Logic with a constant, into a second vector and in place.
#define PRIM_LOGIC_C(Name, Op, T, E)                                         \
  void PRIM_BUILD(owns##Name)(const T* pSrc, int val, T* pDst, int len) {    \
    cvl::walk<E>(cvl::asBytes(pSrc), nullptr, cvl::asBytes(pDst), len,       \
                 cvl::WithC<cvl::Op>{cvl::spread<E>(val)});                  \
  }                                                                          \
  void PRIM_BUILD(owns##Name##_I)(int val, T* pSrcDst, int len) {            \
    cvl::walk<E>(cvl::asBytes(pSrcDst), nullptr, cvl::asBytes(pSrcDst), len, \
                 cvl::WithC<cvl::Op>{cvl::spread<E>(val)});                  \
  }
PRIM_LOGIC_C(AndC_8u, And, Prim8u, 1)
PRIM_LOGIC_C(OrC_8u, Or, Prim8u, 1)
PRIM_LOGIC_C(XorC_8u, Xor, Prim8u, 1)
PRIM_LOGIC_C(AndC_16u, And, Prim16u, 2)
PRIM_LOGIC_C(OrC_16u, Or, Prim16u, 2)
PRIM_LOGIC_C(XorC_16u, Xor, Prim16u, 2)
PRIM_LOGIC_C(AndC_32s, And, Prim32s, 4)
PRIM_LOGIC_C(OrC_32s, Or, Prim32s, 4)
PRIM_LOGIC_C(XorC_32s, Xor, Prim32s, 4)
#undef PRIM_LOGIC_C

// Shifts by a constant in place.
#define PRIM_SHIFT_I(Name, T, E, Op)                                                   \
  void PRIM_BUILD(owns##Name##_I)(int val, T* pSrcDst, int len) {                      \
    cvl::walk<E>(cvl::asBytes(pSrcDst), nullptr, cvl::asBytes(pSrcDst), len, cvl::Op); \
  }
PRIM_SHIFT_I(LShiftC_8u, Prim8u, 1, Sll8(val))
PRIM_SHIFT_I(RShiftC_8u, Prim8u, 1, Srl8(val))
PRIM_SHIFT_I(LShiftC_16u, Prim16u, 2, LaneShift<cvl::Lane::sll16>(val))
PRIM_SHIFT_I(RShiftC_16u, Prim16u, 2, LaneShift<cvl::Lane::srl16>(val))
PRIM_SHIFT_I(RShiftC_16s, Prim16s, 2, LaneShift<cvl::Lane::sra16>(val))
PRIM_SHIFT_I(LShiftC_32s, Prim32s, 4, LaneShift<cvl::Lane::sll32>(val))
PRIM_SHIFT_I(RShiftC_32s, Prim32s, 4, LaneShift<cvl::Lane::sra32>(val))
#undef PRIM_SHIFT_I

// Logic between two vectors, into a third and in place (pSrcDst op pSrc).
#define PRIM_LOGIC_2(Name, Op, T, E)                                                                \
  void PRIM_BUILD(owns##Name)(const T* pSrc1, const T* pSrc2, T* pDst, int len) {                   \
    cvl::walk<E>(cvl::asBytes(pSrc1), cvl::asBytes(pSrc2), cvl::asBytes(pDst), len, cvl::Op{});     \
  }                                                                                                 \
  void PRIM_BUILD(owns##Name##_I)(const T* pSrc, T* pSrcDst, int len) {                             \
    cvl::walk<E>(cvl::asBytes(pSrcDst), cvl::asBytes(pSrc), cvl::asBytes(pSrcDst), len, cvl::Op{}); \
  }
PRIM_LOGIC_2(And_8u, And, Prim8u, 1)
PRIM_LOGIC_2(Or_8u, Or, Prim8u, 1)
PRIM_LOGIC_2(Xor_8u, Xor, Prim8u, 1)
PRIM_LOGIC_2(And_16u, And, Prim16u, 2)
PRIM_LOGIC_2(Or_16u, Or, Prim16u, 2)
PRIM_LOGIC_2(Xor_16u, Xor, Prim16u, 2)
#if defined(__SSSE3__)
PRIM_LOGIC_2(And_32s, And, Prim32s, 4)
PRIM_LOGIC_2(Or_32s, Or, Prim32s, 4)
PRIM_LOGIC_2(Xor_32s, Xor, Prim32s, 4)
#endif
#undef PRIM_LOGIC_2
