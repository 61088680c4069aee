// Further conversion kernels of the sse2 build: unrolled integer-to-float
// widenings.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/convert/vec_convert_ext_builds.h"

namespace prim::PRIM_GEN_NS::convert {
namespace {

// Four (or, at the end, one) elements of T widened to the 32-bit lanes of a
// vector by sign or zero extension.
template <class T>
__m128i widen(const T* p, int count) {
  __m128i x;
  if (count == 1 || sizeof(T) * 4 < 8) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, sizeof(T) * count);
    x = _mm_cvtsi32_si128(static_cast<int>(v));
  } else if (sizeof(T) == 2) {
    x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  } else {
    x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  if constexpr (sizeof(T) == 1) {
    if constexpr (std::is_signed_v<T>) {
      x = _mm_unpacklo_epi8(x, x);
      return _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 24);
    }
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(x, _mm_setzero_si128()), _mm_setzero_si128());
  } else if constexpr (sizeof(T) == 2) {
    if constexpr (std::is_signed_v<T>) return _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
    return _mm_unpacklo_epi16(x, _mm_setzero_si128());
  } else {
    return x;
  }
}

// Single elements through memcpy: the arrays need not be aligned to their
// element size.
inline void storeOne(Prim32f* d, __m128 v) {
  const float f = _mm_cvtss_f32(v);
  std::memcpy(d, &f, 4);
}
inline void storeOne(Prim64f* d, __m128d v) {
  const double f = _mm_cvtsd_f64(v);
  std::memcpy(d, &f, 8);
}

// Single elements up to a 16-byte destination, `Pass` elements per step in
// groups of four (each group converted and stored as one vector), then
// halving steps down to four and the last three one at a time.
template <int Pass, class T>
void toFloatUnrolled(const T* s, Prim32f* d, int len) {
  int i = 0;
  while (i < len && (addr(d + i) & 15)) storeOne(d + i, _mm_cvtepi32_ps(widen(s + i, 1))), ++i;
  auto groups = [&](int n) {
    __m128 r[Pass / 4];
    for (int k = 0; k < n / 4; ++k) r[k] = _mm_cvtepi32_ps(widen(s + i + 4 * k, 4));
    for (int k = 0; k < n / 4; ++k) _mm_storeu_ps(d + i + 4 * k, r[k]);
    i += n;
  };
  for (; len - i >= Pass;) groups(Pass);
  for (int n = Pass / 2; n >= 4; n /= 2)
    if (len - i >= n) groups(n);
  for (; i < len; ++i) storeOne(d + i, _mm_cvtepi32_ps(widen(s + i, 1)));
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

namespace cve = prim::PRIM_GEN_NS::convert;

void sse2_ownsConvert_8s32f_Unrolled(const std::int8_t* pSrc, Prim32f* pDst, int len) {
  cve::toFloatUnrolled<32>(pSrc, pDst, len);
}
void sse2_ownsConvert_8u32f_Unrolled(const Prim8u* pSrc, Prim32f* pDst, int len) {
  cve::toFloatUnrolled<16>(pSrc, pDst, len);
}
void sse2_ownsConvert_16s32f_Unrolled(const Prim16s* pSrc, Prim32f* pDst, int len) {
  cve::toFloatUnrolled<32>(pSrc, pDst, len);
}
void sse2_ownsConvert_16u32f_Unrolled(const Prim16u* pSrc, Prim32f* pDst, int len) {
  cve::toFloatUnrolled<32>(pSrc, pDst, len);
}

// Rounds under the caller's mode; the inexact flag it may raise is dropped.
// From 4096 remaining elements on the source is prefetched 512 bytes ahead.
void sse2_ownsConvert_32s32f_Unrolled(const Prim32s* pSrc, Prim32f* pDst, int len) {
  cve::MxcsrKeep keep;
  int i = 0;
  if (len > 0 && (cve::addr(pDst) & 4)) cve::storeOne(pDst, _mm_cvtepi32_ps(cve::widen(pSrc, 1))), i = 1;
  const bool prefetch = len - i >= 4096;
  for (; len - i >= 16; i += 16) {
    if (prefetch) _mm_prefetch(reinterpret_cast<const char*>(pSrc + i) + 512, _MM_HINT_NTA);
    __m128 r[4];
    for (int k = 0; k < 4; ++k) r[k] = _mm_cvtepi32_ps(cve::widen(pSrc + i + 4 * k, 4));
    for (int k = 0; k < 4; ++k) _mm_storeu_ps(pDst + i + 4 * k, r[k]);
  }
  for (; len - i >= 4; i += 4) _mm_storeu_ps(pDst + i, _mm_cvtepi32_ps(cve::widen(pSrc + i, 4)));
  for (; i < len; ++i) cve::storeOne(pDst + i, _mm_cvtepi32_ps(cve::widen(pSrc + i, 1)));
}

// One element to 16-byte destination alignment, 16 per step as pairs, then
// pairs and the last one.
void sse2_ownsConvert_32s64f_Unrolled(const Prim32s* pSrc, Prim64f* pDst, int len) {
  int i = 0;
  auto pair = [&](int at) {
    return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pSrc + at)));
  };
  auto one = [&](int at) { cve::storeOne(pDst + at, _mm_cvtepi32_pd(cve::widen(pSrc + at, 1))); };
  if (len > 0 && (cve::addr(pDst) & 8)) one(0), i = 1;
  for (; len - i >= 16; i += 16) {
    __m128d r[8];
    for (int k = 0; k < 8; ++k) r[k] = pair(i + 2 * k);
    for (int k = 0; k < 8; ++k) _mm_storeu_pd(pDst + i + 2 * k, r[k]);
  }
  for (; len - i >= 2; i += 2) _mm_storeu_pd(pDst + i, pair(i));
  if (i < len) one(i);
}
