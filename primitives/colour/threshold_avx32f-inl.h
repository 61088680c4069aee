// Threshold primitives: the 256-bit 32f builds of the avx and avx2
// generations (8 floats per vector, two vectors per block).
#include <immintrin.h>

#include "primitives/colour/threshold_simd-inl.h"

namespace prim::PRIM_GEN_NS::threshold {
namespace {

template <bool GreaterThan>
inline void scalarF(const float* s, float* d, int n, float level) {
  const __m128 lv = _mm_set_ss(level);
  for (int i = 0; i < n; ++i) {
    float v;
    __builtin_memcpy(&v, s + i, 4);
    const __m128 x = _mm_set_ss(v);
    const float r = _mm_cvtss_f32(GreaterThan ? _mm_min_ss(x, lv) : _mm_max_ss(x, lv));
    __builtin_memcpy(d + i, &r, 4);
  }
}

template <bool GreaterThan>
inline __m256 op256(__m256 x, __m256 lv) {
  return GreaterThan ? _mm256_min_ps(x, lv) : _mm256_max_ps(x, lv);
}

template <bool GreaterThan>
PrimResult avxThreshold32f(const float* s, float* d, int len, float level) {
  if (PrimResult st = check(s, d, len)) return st;
  const std::uintptr_t da = reinterpret_cast<std::uintptr_t>(d);
  const __m256 lv = _mm256_set1_ps(level);
#if defined(__AVX2__)
  int h = 0;
  if (len < 16) {
    scalarF<GreaterThan>(s, d, len, level);
    _mm256_zeroupper();
    return primResultOk;
  }
  if (len >= 57) {
    if (da & 3) {
      scalarF<GreaterThan>(s, d, len, level);
      _mm256_zeroupper();
      return primResultOk;
    }
    h = (da & 31) ? static_cast<int>((32 - (da & 31)) / 4) : 0;
  }
  scalarF<GreaterThan>(s, d, h, level);
  int i = h;
  for (; len - i >= 16; i += 16) {
    const __m256 a = _mm256_loadu_ps(s + i), b = _mm256_loadu_ps(s + i + 8);
    _mm256_storeu_ps(d + i, op256<GreaterThan>(a, lv));
    _mm256_storeu_ps(d + i + 8, op256<GreaterThan>(b, lv));
  }
  if (len - i >= 8) {
    _mm256_storeu_ps(d + i, op256<GreaterThan>(_mm256_loadu_ps(s + i), lv));
    i += 8;
  }
  scalarF<GreaterThan>(s + i, d + i, len - i, level);
#else
  const int h = (da & 31) ? static_cast<int>((32 - (da & 31)) / 4) : 0;
  if (len < 16 || (da & 3) || len < h + 16) {
    scalarF<GreaterThan>(s, d, len, level);
    _mm256_zeroupper();
    return primResultOk;
  }
  scalarF<GreaterThan>(s, d, h, level);
  int i = h;
  const int blocks = (len - h) / 16;
  for (int b = 0; b < blocks; ++b, i += 16) {
    const __m256 x0 = _mm256_loadu2_m128(s + i + 4, s + i);
    const __m256 x1 = _mm256_loadu2_m128(s + i + 12, s + i + 8);
    _mm256_storeu_ps(d + i, op256<GreaterThan>(x0, lv));
    _mm256_storeu_ps(d + i + 8, op256<GreaterThan>(x1, lv));
  }
  scalarF<GreaterThan>(s + i, d + i, len - i, level);
#endif
  _mm256_zeroupper();
  return primResultOk;
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::threshold

PrimResult PRIM_BUILD(vecThreshold_LT_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level) {
  return prim::PRIM_GEN_NS::threshold::avxThreshold32f<false>(pSrc, pDst, len, level);
}
PrimResult PRIM_BUILD(vecThreshold_GT_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level) {
  return prim::PRIM_GEN_NS::threshold::avxThreshold32f<true>(pSrc, pDst, len, level);
}
