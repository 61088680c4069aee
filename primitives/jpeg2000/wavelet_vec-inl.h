// Float vectors of the wavelet kernels: eight lanes in builds with avx, four
// in the others.  Included by the generation sources only, so each
// generation has its own copy in its own namespace.
#pragma once

#include <immintrin.h>

#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::wavelet_vec {

#if defined(__AVX__)
constexpr int kFloatLanes = 8;
using VecF = __m256;
inline VecF vload(const float* p) { return _mm256_loadu_ps(p); }
inline void vstore(float* p, VecF v) { _mm256_storeu_ps(p, v); }
inline VecF vsplat(float x) { return _mm256_set1_ps(x); }
inline VecF vadd(VecF a, VecF b) { return _mm256_add_ps(a, b); }
inline VecF vsub(VecF a, VecF b) { return _mm256_sub_ps(a, b); }
inline VecF vmul(VecF a, VecF b) { return _mm256_mul_ps(a, b); }
inline VecF vmax(VecF a, VecF b) { return _mm256_max_ps(a, b); }  // b where either is NaN
inline VecF vmin(VecF a, VecF b) { return _mm256_min_ps(a, b); }  // b where either is NaN
#else
constexpr int kFloatLanes = 4;
using VecF = __m128;
inline VecF vload(const float* p) { return _mm_loadu_ps(p); }
inline void vstore(float* p, VecF v) { _mm_storeu_ps(p, v); }
inline VecF vsplat(float x) { return _mm_set1_ps(x); }
inline VecF vadd(VecF a, VecF b) { return _mm_add_ps(a, b); }
inline VecF vsub(VecF a, VecF b) { return _mm_sub_ps(a, b); }
inline VecF vmul(VecF a, VecF b) { return _mm_mul_ps(a, b); }
inline VecF vmax(VecF a, VecF b) { return _mm_max_ps(a, b); }  // b where either is NaN
inline VecF vmin(VecF a, VecF b) { return _mm_min_ps(a, b); }  // b where either is NaN
#endif

}  // namespace prim::PRIM_GEN_NS::wavelet_vec
