// Threshold primitives: the 128-bit cores and the builds of one SIMD
// generation (sse2, ssse3, sse41, avx, avx2 each compile this file; the avx
// and avx2 builds of the 32f primitives are 256-bit code of their own).
//
// A core runs a head of single elements until the pointer it aligns is a
// multiple of 16, a body of 8 elements per step with the access kinds chosen
// once, and a tail of 4, 2 and 1 elements.  Every block is loaded before the
// block at the same position is stored, so in-place calls work.
#include <emmintrin.h>
#if defined(__SSE3__)
#include <pmmintrin.h>
#endif

#include <cstdint>

#include "primitives/colour/threshold_builds.h"
#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::threshold {
namespace {

inline bool aligned16(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0; }

inline __m128i loadU(const void* p) {
#if defined(__SSE3__)
  return _mm_lddqu_si128(static_cast<const __m128i*>(p));
#else
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
#endif
}

// Element operations of one core: op on a full vector; loads and stores of
// 16, 8, 4 and 2 bytes.
struct MaxF32 {
  using T = float;
  __m128 level;
  __m128i apply(__m128i x) const { return _mm_castps_si128(_mm_max_ps(_mm_castsi128_ps(x), level)); }
};
struct MinF32 {
  using T = float;
  __m128 level;
  __m128i apply(__m128i x) const { return _mm_castps_si128(_mm_min_ps(_mm_castsi128_ps(x), level)); }
};
struct MaxS16 {
  using T = std::int16_t;
  __m128i level;
  __m128i apply(__m128i x) const { return _mm_max_epi16(x, level); }
};
struct MinS16 {
  using T = std::int16_t;
  __m128i level;
  __m128i apply(__m128i x) const { return _mm_min_epi16(x, level); }
};
// 32s: a signed comparison mask and a select, no min/max instruction.
struct LtS32 {
  using T = std::int32_t;
  __m128i level;
  __m128i apply(__m128i x) const {
    const __m128i below = _mm_cmpgt_epi32(level, x);
    return _mm_or_si128(_mm_and_si128(below, level), _mm_andnot_si128(below, x));
  }
};
struct GtS32 {
  using T = std::int32_t;
  __m128i level;
  __m128i apply(__m128i x) const {
    const __m128i above = _mm_cmpgt_epi32(x, level);
    return _mm_or_si128(_mm_and_si128(above, level), _mm_andnot_si128(above, x));
  }
};

template <class Op, class T>
inline void one(const Op& op, const T* s, T* d) {
  std::int32_t v = 0;
  __builtin_memcpy(&v, s, sizeof(T));
  const std::int32_t r = _mm_cvtsi128_si32(op.apply(_mm_cvtsi32_si128(v)));
  __builtin_memcpy(d, &r, sizeof(T));
}

template <class Op, class T>
inline void bytes8(const Op& op, const T* s, T* d) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(d),
                   op.apply(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s))));
}

template <class Op, class T>
inline void bytes4(const Op& op, const T* s, T* d) {
  std::int32_t v;
  __builtin_memcpy(&v, s, 4);
  const std::int32_t r = _mm_cvtsi128_si32(op.apply(_mm_cvtsi32_si128(v)));
  __builtin_memcpy(d, &r, 4);
}

// The core: `alignSource` makes the head align the source instead of the
// destination.
template <class Op, class T>
void core(const Op& op, const T* s, T* d, int len, bool alignSource) {
  constexpr std::uintptr_t headMask = 15 & ~std::uintptr_t{sizeof(T) - 1};
  const void* aligned = alignSource ? static_cast<const void*>(s) : static_cast<const void*>(d);
  while (reinterpret_cast<std::uintptr_t>(aligned) & headMask) {
    one(op, s, d);
    ++s, ++d;
    if (--len == 0) return;
    aligned = alignSource ? static_cast<const void*>(s) : static_cast<const void*>(d);
  }
  constexpr int block = 8;
  constexpr int perVector = 16 / sizeof(T);
  // Loads are always the unaligned form: on aligned data it costs the same,
  // and a mixed aligned/unaligned load of one address invites the compiler
  // to merge the two into the aligned one.
  const bool dAligned = aligned16(d);
  for (; len >= block; len -= block, s += block, d += block) {
    for (int v = 0; v < block; v += perVector) {
      const __m128i x = loadU(s + v);
      const __m128i r = op.apply(x);
      if (dAligned)
        _mm_store_si128(reinterpret_cast<__m128i*>(d + v), r);
      else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + v), r);
    }
  }
  if (len >= 4) {
    if constexpr (sizeof(T) == 4) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), op.apply(loadU(s)));
    } else {
      bytes8(op, s, d);
    }
    s += 4, d += 4, len -= 4;
  }
  if (len >= 2) {
    if constexpr (sizeof(T) == 4) {
      bytes8(op, s, d);
    } else {
      bytes4(op, s, d);
    }
    s += 2, d += 2, len -= 2;
  }
  if (len >= 1) one(op, s, d);
}

inline PrimResult check(const void* s, const void* d, int len) {
  if (!s || !d) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  return primResultOk;
}

inline PrimResult checkRelation(PrimThresholdRelation rel) {
  return rel == primRelationLT || rel == primRelationGT ? primResultOk : primResultBadArgument;
}

// The 32f core: selector 1 greater-than, anything else less-than.
inline void minMax32f(float level, const float* s, float* d, int len, std::int32_t selector) {
  if (selector == 1)
    core(MinF32{_mm_set1_ps(level)}, s, d, len, false);
  else
    core(MaxF32{_mm_set1_ps(level)}, s, d, len, false);
}

// The 16s core: selector 0 less-than, anything else greater-than.
inline void minMax16s(std::int32_t level, const std::int16_t* s, std::int16_t* d, int len,
                      std::int32_t selector) {
  const __m128i lv = _mm_set1_epi16(static_cast<std::int16_t>(level));
  if (selector == 0)
    core(MaxS16{lv}, s, d, len, false);
  else
    core(MinS16{lv}, s, d, len, false);
}

inline PrimResult entry16s(const Prim16s* pSrc, Prim16s* pDst, int len, Prim32s level,
                           PrimThresholdRelation rel) {
  if (PrimResult st = check(pSrc, pDst, len)) return st;
  if (PrimResult st = checkRelation(rel)) return st;
  minMax16s(level, pSrc, pDst, len, rel == primRelationGT ? 1 : 0);
  return primResultOk;
}

// Only the sse2 build's less-than 32s core aligns the source.
#if defined(__SSE3__)
constexpr bool kLt32sAlignsSource = false;
#else
constexpr bool kLt32sAlignsSource = true;
#endif

}  // namespace
}  // namespace prim::PRIM_GEN_NS::threshold

// Other kernel families of the module include this file for its cores and
// element operations only.
#if !defined(PRIM_THRESHOLD_CORES_ONLY)
namespace thr = prim::PRIM_GEN_NS::threshold;

#if !defined(__AVX__)
PrimResult PRIM_BUILD(ownsThreshold_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level,
                                         PrimThresholdRelation rel) {
  if (PrimResult st = thr::check(pSrc, pDst, len)) return st;
  if (PrimResult st = thr::checkRelation(rel)) return st;
  thr::minMax32f(level, pSrc, pDst, len, rel == primRelationGT ? 1 : 0);
  return primResultOk;
}
PrimResult PRIM_BUILD(vecThreshold_LT_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level) {
  return PRIM_BUILD(ownsThreshold_32f)(pSrc, pDst, len, level, primRelationLT);
}
PrimResult PRIM_BUILD(vecThreshold_GT_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level) {
  return PRIM_BUILD(ownsThreshold_32f)(pSrc, pDst, len, level, primRelationGT);
}
PrimResult PRIM_BUILD(ownsThreshold_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim32s level,
                                         PrimThresholdRelation rel) {
  return thr::entry16s(pSrc, pDst, len, level, rel);
}
#else
PrimResult PRIM_BUILD(ownsThreshold_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim32s level,
                                         PrimThresholdRelation rel) {
  return thr::entry16s(pSrc, pDst, len, level, rel);
}
#endif

PrimResult PRIM_BUILD(vecThreshold_LT_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level) {
  return PRIM_BUILD(ownsThreshold_16s)(pSrc, pDst, len, level, primRelationLT);
}
PrimResult PRIM_BUILD(vecThreshold_GT_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level) {
  return PRIM_BUILD(ownsThreshold_16s)(pSrc, pDst, len, level, primRelationGT);
}
PrimResult PRIM_BUILD(vecThreshold_LT_32s)(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level) {
  if (PrimResult st = thr::check(pSrc, pDst, len)) return st;
  thr::core(thr::LtS32{_mm_set1_epi32(level)}, pSrc, pDst, len, thr::kLt32sAlignsSource);
  return primResultOk;
}
PrimResult PRIM_BUILD(vecThreshold_GT_32s)(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level) {
  if (PrimResult st = thr::check(pSrc, pDst, len)) return st;
  thr::core(thr::GtS32{_mm_set1_epi32(level)}, pSrc, pDst, len, false);
  return primResultOk;
}
#endif  // !PRIM_THRESHOLD_CORES_ONLY
