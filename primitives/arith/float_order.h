// Float multiply and add with a fixed operand order.
//
// When both operands of an x86 SSE/AVX multiply or add are NaN, the result
// is the first source operand's NaN (quieted).  The compiler treats these
// operations as commutative and may swap the operands, which would let the
// generic build and the SIMD builds pick different NaNs.  Every build
// therefore multiplies and adds through these helpers, whose instructions
// pin the order: the source element's NaN wins over the constant's, the
// first vector's NaN over the second's.  (Subtraction is not commutative and
// needs no help.)
#pragma once

#include <immintrin.h>

#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::forder {

inline float mul(float x, float y) {
#if defined(__AVX__)
  float r;
  asm("vmulss %2, %1, %0" : "=x"(r) : "x"(x), "x"(y));
  return r;
#else
  asm("mulss %1, %0" : "+x"(x) : "x"(y));
  return x;
#endif
}

inline float add(float x, float y) {
#if defined(__AVX__)
  float r;
  asm("vaddss %2, %1, %0" : "=x"(r) : "x"(x), "x"(y));
  return r;
#else
  asm("addss %1, %0" : "+x"(x) : "x"(y));
  return x;
#endif
}

inline __m128 mul(__m128 x, __m128 y) {
#if defined(__AVX__)
  __m128 r;
  asm("vmulps %2, %1, %0" : "=x"(r) : "x"(x), "x"(y));
  return r;
#else
  asm("mulps %1, %0" : "+x"(x) : "x"(y));
  return x;
#endif
}

inline __m128 add(__m128 x, __m128 y) {
#if defined(__AVX__)
  __m128 r;
  asm("vaddps %2, %1, %0" : "=x"(r) : "x"(x), "x"(y));
  return r;
#else
  asm("addps %1, %0" : "+x"(x) : "x"(y));
  return x;
#endif
}

#if defined(__AVX__)
inline __m256 mul(__m256 x, __m256 y) {
  __m256 r;
  asm("vmulps %2, %1, %0" : "=x"(r) : "x"(x), "x"(y));
  return r;
}
inline __m256 add(__m256 x, __m256 y) {
  __m256 r;
  asm("vaddps %2, %1, %0" : "=x"(r) : "x"(x), "x"(y));
  return r;
}
#endif

}  // namespace prim::PRIM_GEN_NS::forder
