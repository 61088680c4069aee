// Vector lanes shared by the SIMD conversion sources: whole loads and stores
// of part of a vector, one element through a vector operation, and the
// four-lane float to 32-bit integer step of the generic rule.  Each
// generation's sources include it and get their own internal copy.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::convert {
namespace {

// Whole loads and stores of 4, 8 and 16 bytes in the low part of a vector.
inline __m128i load4(const void* p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}
inline void store4(void* p, __m128i v) {
  const std::int32_t r = _mm_cvtsi128_si32(v);
  std::memcpy(p, &r, 4);
}
inline __m128i load8(const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); }
inline void store8(void* p, __m128i v) { _mm_storel_epi64(static_cast<__m128i*>(p), v); }
inline __m128i load16(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store16(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// One element of 1, 2 or 4 bytes through a vector operation.
template <class T, class F>
inline void oneLane(const T* s, T* d, F f) {
  std::uint32_t v = 0;
  std::memcpy(&v, s, sizeof(T));
  const std::uint32_t r =
      static_cast<std::uint32_t>(_mm_cvtsi128_si32(f(_mm_cvtsi32_si128(static_cast<int>(v)))));
  std::memcpy(d, &r, sizeof(T));
}

// ===========================================================================
// Float to 32-bit integer.
//
// v = x * 2^-sf in single precision (exact for |sf| <= 126 short of an
// overflow, which saturates all the same, or an underflow, which rounds to 0
// all the same).  The processor's conversion gives 0x80000000 for NaN and
// every value out of range; lanes of at least 2^31 (+infinity included, NaN
// excluded: an ordered comparison) are flipped to 0x7fffffff.  That is the
// generic rule for every input.
inline __m128i flipHigh(__m128i r, __m128 v) {
  return _mm_xor_si128(r, _mm_castps_si128(_mm_cmpge_ps(v, _mm_set1_ps(2147483648.0f))));
}

template <Round R, bool Scale>
struct F2I {
  __m128 m4;
  __m128i operator()(__m128 x) const {
    __m128 v = Scale ? _mm_mul_ps(x, m4) : x;
    if constexpr (R == Round::nearestEven) {
      return flipHigh(_mm_cvtps_epi32(v), v);
    } else if constexpr (R == Round::towardZero) {
      return flipHigh(_mm_cvttps_epi32(v), v);
    } else {
      // Rounding control is toward zero here: |v| + 0.5 never rounds up to
      // the next integer, so truncation gives floor(|v| + 0.5).
      const __m128 sign = _mm_castsi128_ps(_mm_set1_epi32(INT32_MIN));
      const __m128 a = _mm_add_ps(_mm_andnot_ps(sign, v), _mm_set1_ps(0.5f));
      v = _mm_or_ps(a, _mm_and_ps(v, sign));
      return flipHigh(_mm_cvttps_epi32(v), v);
    }
  }
};

template <class Op>
inline void f2iOne(const Op& op, const Prim32f* s, Prim32s* d) {
  store4(d, op(_mm_castsi128_ps(load4(s))));
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert
