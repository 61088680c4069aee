// Further threshold kernels (threshold_level_kernels.h): by-level, by-value,
// two-level, replacement-value and absolute-value thresholds, compiled by each
// SIMD generation's source (sse2, ssse3, sse41, avx, avx2).  All are 128-bit
// code; the avx and avx2 objects lack the kernels that generation does not
// carry.
//
// The 16-bit and 32-bit element kernels run the shared threshold core (a
// head up to a 16-byte boundary, a body of 8 elements, a tail of 4, 2, 1);
// the 64-bit ones run core64 below.  Every element is computed by the same
// lane operation whatever step it falls in, so the split changes no result,
// except where a kernel gives its last element a rule of its own
// (ownsThresholdMinMax_64f).
#include <emmintrin.h>
#if defined(__SSE3__)
#include <pmmintrin.h>
#endif

#include <cstdint>

#include "primitives/colour/threshold_level_kernels.h"

#define PRIM_THRESHOLD_CORES_ONLY
#include "primitives/colour/threshold_simd-inl.h"
#undef PRIM_THRESHOLD_CORES_ONLY

namespace prim::PRIM_GEN_NS::threshold {
namespace {

// The sse2 objects align the source in the out-of-place two-level 16s/64f
// and the replacement-value 16s kernels; the later ones align the
// destination.  Either way the results are the same.
#if defined(__SSE3__)
constexpr bool kHeadOnSource = false;
#else
constexpr bool kHeadOnSource = true;
#endif

inline __m128i choose(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Float lane operations of one precision.
struct PS {
  using T = float;
  using V = __m128;
  static V in(__m128i x) { return _mm_castsi128_ps(x); }
  static __m128i out(V v) { return _mm_castps_si128(v); }
  static V set1(T v) { return _mm_set1_ps(v); }
  static V min(V a, V b) { return _mm_min_ps(a, b); }
  static V max(V a, V b) { return _mm_max_ps(a, b); }
  static V le(V a, V b) { return _mm_cmple_ps(a, b); }
  static V lt(V a, V b) { return _mm_cmplt_ps(a, b); }
  static V nle(V a, V b) { return _mm_cmpnle_ps(a, b); }
  static V sign() { return _mm_set1_ps(-0.0f); }
};
struct PD {
  using T = double;
  using V = __m128d;
  static V in(__m128i x) { return _mm_castsi128_pd(x); }
  static __m128i out(V v) { return _mm_castpd_si128(v); }
  static V set1(T v) { return _mm_set1_pd(v); }
  static V min(V a, V b) { return _mm_min_pd(a, b); }
  static V max(V a, V b) { return _mm_max_pd(a, b); }
  static V le(V a, V b) { return _mm_cmple_pd(a, b); }
  static V lt(V a, V b) { return _mm_cmplt_pd(a, b); }
  static V nle(V a, V b) { return _mm_cmpnle_pd(a, b); }
  static V sign() { return _mm_set1_pd(-0.0); }
};

// MIN and MAX below are the instructions as they stand: the second operand
// whenever the comparison fails (NaN, or zeros of either sign).

// By level, in either direction; Swap puts the level first.
template <class F, bool GreaterThan, bool Swap = false>
struct ByLevel {
  typename F::V level;
  __m128i apply(__m128i x) const {
    const typename F::V v = F::in(x);
    if constexpr (Swap)
      return F::out(GreaterThan ? F::min(level, v) : F::max(level, v));
    else
      return F::out(GreaterThan ? F::min(v, level) : F::max(v, level));
  }
};

// LTVal: x where level <= x, value elsewhere (NaN included).
template <class F>
struct LtVal {
  typename F::V level, value;
  __m128i apply(__m128i x) const { return choose(F::out(F::le(level, F::in(x))), x, F::out(value)); }
};
// GTVal: value where level < x, x elsewhere.
template <class F>
struct GtVal {
  typename F::V level, value;
  __m128i apply(__m128i x) const { return choose(F::out(F::lt(level, F::in(x))), F::out(value), x); }
};

// Two levels: valueLT where !(levelLT <= x), valueGT where levelGT < x, the
// two ORed where both hold (crossed levels), x where neither does.
template <class F>
struct TwoLevel {
  typename F::V levelLT, valueLT, levelGT, valueGT;
  __m128i apply(__m128i x) const {
    const __m128i below = F::out(F::nle(levelLT, F::in(x)));
    const __m128i above = F::out(F::lt(levelGT, F::in(x)));
    return _mm_or_si128(
        _mm_andnot_si128(_mm_or_si128(below, above), x),
        _mm_or_si128(_mm_and_si128(below, F::out(valueLT)), _mm_and_si128(above, F::out(valueGT))));
  }
};
struct TwoLevelS16 {
  __m128i levelLT, valueLT, levelGT, valueGT;
  __m128i apply(__m128i x) const {
    const __m128i below = _mm_cmpgt_epi16(levelLT, x);
    const __m128i above = _mm_cmpgt_epi16(x, levelGT);
    return _mm_or_si128(_mm_andnot_si128(_mm_or_si128(below, above), x),
                        _mm_or_si128(_mm_and_si128(below, valueLT), _mm_and_si128(above, valueGT)));
  }
};

// 16s replacement value: below (level > x) or above (x > level).
template <bool GreaterThan>
struct ValS16 {
  __m128i level, value;
  __m128i apply(__m128i x) const {
    const __m128i m = GreaterThan ? _mm_cmpgt_epi16(x, level) : _mm_cmpgt_epi16(level, x);
    return choose(m, value, x);
  }
};

// Absolute-value thresholds.  GTAbs: MAX(MIN(x, L), N) with N = 0 - L.
template <class F>
struct GtAbsF {
  typename F::V level, neg;
  __m128i apply(__m128i x) const { return F::out(F::max(F::min(F::in(x), level), neg)); }
};
// LTAbs: MAX(|x|, L) with x's sign bit ORed back.
template <class F>
struct LtAbsF {
  typename F::V level;
  __m128i apply(__m128i x) const {
    const __m128i sign = F::out(F::sign());
    const typename F::V mag = F::in(_mm_andnot_si128(sign, x));
    return _mm_or_si128(F::out(F::max(mag, level)), _mm_and_si128(sign, x));
  }
};
struct GtAbsS16 {
  __m128i level, neg;
  __m128i apply(__m128i x) const { return _mm_max_epi16(_mm_min_epi16(x, level), neg); }
};
// LTAbs 16s for levels 1..32767, with saturating unsigned arithmetic alone:
// t = max(u, L) raises non-negative elements to L; min(t, N) caps negative
// ones at the pattern of -L.
struct LtAbsS16Sat {
  __m128i level, neg;
  __m128i apply(__m128i x) const {
    const __m128i t = _mm_adds_epu16(_mm_subs_epu16(x, level), level);
    return _mm_subs_epu16(t, _mm_subs_epu16(t, neg));
  }
};
// LTAbs 16s for any level, from the element rule: max(x, L) for x >= 0,
// min(x, N) for x < 0.
struct LtAbsS16 {
  __m128i level, neg;
  __m128i apply(__m128i x) const {
    return choose(_mm_srai_epi16(x, 15), _mm_min_epi16(x, neg), _mm_max_epi16(x, level));
  }
};
// 32s: compare masks and selects only.
struct GtAbsS32 {
  __m128i level, neg;
  __m128i apply(__m128i x) const {
    const __m128i t = choose(_mm_cmpgt_epi32(level, x), x, level);
    return choose(_mm_cmpgt_epi32(t, neg), t, neg);
  }
};
struct LtAbsS32 {
  __m128i level, neg, ones;
  __m128i apply(__m128i x) const {
    const __m128i hi = choose(_mm_cmpgt_epi32(x, level), x, level);
    const __m128i lo = choose(_mm_cmpgt_epi32(neg, x), x, neg);
    return choose(_mm_cmpgt_epi32(x, ones), hi, lo);
  }
};

// The loop for 8-byte elements: one head element when bit 3 of the aligned
// pointer is set, a body of 4 (two vectors, both loaded before either is
// stored), a tail of 2 and then 1.  The last single element runs `last`.
template <class Op, class Last>
void core64(const Op& op, const Last& last, const double* s, double* d, int len, bool alignSource) {
  const void* a = alignSource ? static_cast<const void*>(s) : static_cast<const void*>(d);
  if (reinterpret_cast<std::uintptr_t>(a) & 8) {
    bytes8(op, s, d);
    ++s, ++d;
    if (--len == 0) return;
  }
  const bool dAligned = aligned16(d);
  for (; len >= 4; len -= 4, s += 4, d += 4) {
    const __m128i r0 = op.apply(loadU(s));
    const __m128i r1 = op.apply(loadU(s + 2));
    if (dAligned) {
      _mm_store_si128(reinterpret_cast<__m128i*>(d), r0);
      _mm_store_si128(reinterpret_cast<__m128i*>(d + 2), r1);
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), r0);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2), r1);
    }
  }
  if (len >= 2) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), op.apply(loadU(s)));
    s += 2, d += 2, len -= 2;
  }
  if (len >= 1) bytes8(last, s, d);
}
template <class Op>
inline void core64(const Op& op, const double* s, double* d, int len, bool alignSource) {
  core64(op, op, s, d, len, alignSource);
}

// Complex doubles: the squared magnitudes of two elements, [|a|^2, |b|^2],
// each the rounded sum re*re + im*im of the rounded squares (the horizontal
// add gives the same bits as the unpacked sum).
inline __m128d norm2(__m128d a, __m128d b) {
  const __m128d qa = _mm_mul_pd(a, a);
  const __m128d qb = _mm_mul_pd(b, b);
#if defined(__SSE3__)
  return _mm_hadd_pd(qa, qb);
#else
  return _mm_add_pd(_mm_unpacklo_pd(qa, qb), _mm_unpackhi_pd(qa, qb));
#endif
}

// Lanes to replace: ordered comparisons, so a NaN magnitude or level
// replaces nothing in either direction.
template <bool GreaterThan>
inline __m128d beyond(__m128d m, __m128d level2) {
  return GreaterThan ? _mm_cmpgt_pd(m, level2) : _mm_cmplt_pd(m, level2);
}

inline const double* parts(const Prim64fc* p) { return reinterpret_cast<const double*>(p); }
inline double* parts(Prim64fc* p) { return reinterpret_cast<double*>(p); }

// Out of place: every element is written, the source element or value.
template <bool GreaterThan>
void complexCopy(const Prim64fc* s, Prim64fc* d, int len, double level, Prim64fc value) {
  const __m128d level2 = _mm_set1_pd(level * level);
  const __m128i v = _mm_castpd_si128(_mm_set_pd(value.im, value.re));
  for (; len >= 2; len -= 2, s += 2, d += 2) {
    const __m128d a = _mm_loadu_pd(parts(s));
    const __m128d b = _mm_loadu_pd(parts(s) + 2);
    const __m128i m = _mm_castpd_si128(beyond<GreaterThan>(norm2(a, b), level2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(parts(d)),
                     choose(_mm_unpacklo_epi64(m, m), v, _mm_castpd_si128(a)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(parts(d) + 2),
                     choose(_mm_unpackhi_epi64(m, m), v, _mm_castpd_si128(b)));
  }
  if (len >= 1) {
    const __m128d a = _mm_loadu_pd(parts(s));
    const __m128i m = _mm_castpd_si128(beyond<GreaterThan>(norm2(a, a), level2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(parts(d)), choose(m, v, _mm_castpd_si128(a)));
  }
}

// In place: only replaced elements are written; a block of four with
// nothing to replace costs one mask test.
template <bool GreaterThan>
void complexInPlace(Prim64fc* p, int len, double level, Prim64fc value) {
  const __m128d level2 = _mm_set1_pd(level * level);
  const __m128d v = _mm_set_pd(value.im, value.re);
  for (; len >= 4; len -= 4, p += 4) {
    const double* q = parts(p);
    const int m =
        _mm_movemask_pd(beyond<GreaterThan>(norm2(_mm_loadu_pd(q), _mm_loadu_pd(q + 2)), level2)) |
        _mm_movemask_pd(beyond<GreaterThan>(norm2(_mm_loadu_pd(q + 4), _mm_loadu_pd(q + 6)), level2)) << 2;
    if (m == 0) continue;
    for (int i = 0; i < 4; ++i)
      if (m & (1 << i)) _mm_storeu_pd(parts(p + i), v);
  }
  if (len >= 2) {
    const __m128d a = _mm_loadu_pd(parts(p));
    const __m128d b = _mm_loadu_pd(parts(p) + 2);
    const int m = _mm_movemask_pd(beyond<GreaterThan>(norm2(a, b), level2));
    if (m & 1) _mm_storeu_pd(parts(p), v);
    if (m & 2) _mm_storeu_pd(parts(p) + 2, v);
    p += 2, len -= 2;
  }
  if (len >= 1) {
    const __m128d a = _mm_loadu_pd(parts(p));
    if (_mm_movemask_pd(beyond<GreaterThan>(norm2(a, a), level2)) & 1) _mm_storeu_pd(parts(p), v);
  }
}

// A zero level of either sign acts as +0.0 for LTAbs, so that no element
// has a magnitude below it (-0.0 would turn +0.0 elements into -0.0).
template <class T>
inline T absLevel(T level) {
  return level == T(0) ? T(0) : level;
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::threshold

namespace thl = prim::PRIM_GEN_NS::threshold;

// ---- by-level and by-value thresholds of 32f and 64f vectors ----

void PRIM_BUILD(ownsThreshold_LTVal_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level,
                                         Prim32f value) {
  thl::core(thl::LtVal<thl::PS>{_mm_set1_ps(level), _mm_set1_ps(value)}, pSrc, pDst, len, false);
}

void PRIM_BUILD(ownsThresholdMinMax_64f)(Prim64f level, const Prim64f* pSrc, Prim64f* pDst, int len,
                                         Prim32s selector) {
  const __m128d lv = _mm_set1_pd(level);
  if (selector == 0)
    thl::core64(thl::ByLevel<thl::PD, false>{lv}, thl::ByLevel<thl::PD, false, true>{lv}, pSrc, pDst, len,
                false);
  else
    thl::core64(thl::ByLevel<thl::PD, true>{lv}, thl::ByLevel<thl::PD, true, true>{lv}, pSrc, pDst, len,
                false);
}

void PRIM_BUILD(ownsThreshold_LTVal_64f)(const Prim64f* pSrc, Prim64f* pDst, int len, Prim64f level,
                                         Prim64f value) {
  thl::core64(thl::LtVal<thl::PD>{_mm_set1_pd(level), _mm_set1_pd(value)}, pSrc, pDst, len, false);
}

void PRIM_BUILD(ownsThreshold_GTVal_64f)(const Prim64f* pSrc, Prim64f* pDst, int len, Prim64f level,
                                         Prim64f value) {
  thl::core64(thl::GtVal<thl::PD>{_mm_set1_pd(level), _mm_set1_pd(value)}, pSrc, pDst, len, false);
}

#if !defined(__AVX__)
void PRIM_BUILD(ownsThresholdMinMax_32f_I)(Prim32f level, Prim32f* pSrcDst, int len, Prim32s selector) {
  thl::minMax32f(level, pSrcDst, pSrcDst, len, selector);
}

void PRIM_BUILD(ownsThreshold_GTVal_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level,
                                         Prim32f value) {
  thl::core(thl::GtVal<thl::PS>{_mm_set1_ps(level), _mm_set1_ps(value)}, pSrc, pDst, len, false);
}
#endif

// ---- two-level thresholds ----

void PRIM_BUILD(ownsThreshold_LTValGTVal_32f_I)(Prim32f* pSrcDst, int len, Prim32f levelLT, Prim32f valueLT,
                                                Prim32f levelGT, Prim32f valueGT) {
  PRIM_BUILD(ownsThreshold_LTValGTVal_32f)(pSrcDst, pSrcDst, len, levelLT, valueLT, levelGT, valueGT);
}

void PRIM_BUILD(ownsThreshold_LTValGTVal_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f levelLT,
                                              Prim32f valueLT, Prim32f levelGT, Prim32f valueGT) {
  const thl::TwoLevel<thl::PS> op{_mm_set1_ps(levelLT), _mm_set1_ps(valueLT), _mm_set1_ps(levelGT),
                                  _mm_set1_ps(valueGT)};
  thl::core(op, pSrc, pDst, len, false);
}

void PRIM_BUILD(ownsThreshold_LTValGTVal_64f_I)(Prim64f* pSrcDst, int len, Prim64f levelLT, Prim64f valueLT,
                                                Prim64f levelGT, Prim64f valueGT) {
  const thl::TwoLevel<thl::PD> op{_mm_set1_pd(levelLT), _mm_set1_pd(valueLT), _mm_set1_pd(levelGT),
                                  _mm_set1_pd(valueGT)};
  thl::core64(op, pSrcDst, pSrcDst, len, false);
}

void PRIM_BUILD(ownsThreshold_LTValGTVal_64f)(const Prim64f* pSrc, Prim64f* pDst, int len, Prim64f levelLT,
                                              Prim64f valueLT, Prim64f levelGT, Prim64f valueGT) {
  const thl::TwoLevel<thl::PD> op{_mm_set1_pd(levelLT), _mm_set1_pd(valueLT), _mm_set1_pd(levelGT),
                                  _mm_set1_pd(valueGT)};
  thl::core64(op, pSrc, pDst, len, thl::kHeadOnSource);
}

void PRIM_BUILD(ownsThreshold_LTValGTVal_16s_I)(Prim16s* pSrcDst, int len, Prim16s levelLT, Prim16s valueLT,
                                                Prim16s levelGT, Prim16s valueGT) {
  const thl::TwoLevelS16 op{_mm_set1_epi16(levelLT), _mm_set1_epi16(valueLT), _mm_set1_epi16(levelGT),
                            _mm_set1_epi16(valueGT)};
  thl::core(op, pSrcDst, pSrcDst, len, false);
}

void PRIM_BUILD(ownsThreshold_LTValGTVal_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s levelLT,
                                              Prim16s valueLT, Prim16s levelGT, Prim16s valueGT) {
  const thl::TwoLevelS16 op{_mm_set1_epi16(levelLT), _mm_set1_epi16(valueLT), _mm_set1_epi16(levelGT),
                            _mm_set1_epi16(valueGT)};
  thl::core(op, pSrc, pDst, len, thl::kHeadOnSource);
}

// ---- replacement values: 64fc magnitudes, 64f in place, 16s ----

void PRIM_BUILD(ownsThreshold_LTVal_64fc_I)(Prim64fc* pSrcDst, int len, Prim64f level, Prim64fc value) {
  thl::complexInPlace<false>(pSrcDst, len, level, value);
}
void PRIM_BUILD(ownsThreshold_LTVal_64fc)(const Prim64fc* pSrc, Prim64fc* pDst, int len, Prim64f level,
                                          Prim64fc value) {
  thl::complexCopy<false>(pSrc, pDst, len, level, value);
}
void PRIM_BUILD(ownsThreshold_GTVal_64fc_I)(Prim64fc* pSrcDst, int len, Prim64f level, Prim64fc value) {
  thl::complexInPlace<true>(pSrcDst, len, level, value);
}
void PRIM_BUILD(ownsThreshold_GTVal_64fc)(const Prim64fc* pSrc, Prim64fc* pDst, int len, Prim64f level,
                                          Prim64fc value) {
  thl::complexCopy<true>(pSrc, pDst, len, level, value);
}

void PRIM_BUILD(ownsThreshold_LTVal_64f_I)(Prim64f* pSrcDst, int len, Prim64f level, Prim64f value) {
  PRIM_BUILD(ownsThreshold_LTVal_64f)(pSrcDst, pSrcDst, len, level, value);
}
void PRIM_BUILD(ownsThreshold_GTVal_64f_I)(Prim64f* pSrcDst, int len, Prim64f level, Prim64f value) {
  PRIM_BUILD(ownsThreshold_GTVal_64f)(pSrcDst, pSrcDst, len, level, value);
}

// The level and value of the 16s kernels are the low 16 bits of their
// arguments.
void PRIM_BUILD(ownsThreshold_LTVal_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim32s level,
                                         Prim32s value) {
  const thl::ValS16<false> op{_mm_set1_epi16(static_cast<Prim16s>(level)),
                              _mm_set1_epi16(static_cast<Prim16s>(value))};
  thl::core(op, pSrc, pDst, len, thl::kHeadOnSource);
}
void PRIM_BUILD(ownsThreshold_GTVal_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim32s level,
                                         Prim32s value) {
  const thl::ValS16<true> op{_mm_set1_epi16(static_cast<Prim16s>(level)),
                             _mm_set1_epi16(static_cast<Prim16s>(value))};
  thl::core(op, pSrc, pDst, len, thl::kHeadOnSource);
}

// ---- absolute-value thresholds ----

#if !defined(__AVX__)
void PRIM_BUILD(ownsThreshold_GTAbs_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, const Prim32f* pLevel) {
  const float level = *pLevel;
  thl::core(thl::GtAbsF<thl::PS>{_mm_set1_ps(level), _mm_set1_ps(0.0f - level)}, pSrc, pDst, len, false);
}
void PRIM_BUILD(ownsThreshold_LTAbs_32f)(const Prim32f* pSrc, Prim32f* pDst, int len, const Prim32f* pLevel) {
  thl::core(thl::LtAbsF<thl::PS>{_mm_set1_ps(thl::absLevel(*pLevel))}, pSrc, pDst, len, false);
}
void PRIM_BUILD(ownsThreshold_GTAbs_64f)(const Prim64f* pSrc, Prim64f* pDst, int len, const Prim64f* pLevel) {
  const double level = *pLevel;
  thl::core64(thl::GtAbsF<thl::PD>{_mm_set1_pd(level), _mm_set1_pd(0.0 - level)}, pSrc, pDst, len, false);
}
void PRIM_BUILD(ownsThreshold_LTAbs_64f)(const Prim64f* pSrc, Prim64f* pDst, int len, const Prim64f* pLevel) {
  thl::core64(thl::LtAbsF<thl::PD>{_mm_set1_pd(thl::absLevel(*pLevel))}, pSrc, pDst, len, false);
}
#endif

// N = 0 - L wraps in the element width: N is L for the most negative level.
void PRIM_BUILD(ownsThreshold_GTAbs_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level) {
  const __m128i lv = _mm_set1_epi16(level);
  thl::core(thl::GtAbsS16{lv, _mm_sub_epi16(_mm_setzero_si128(), lv)}, pSrc, pDst, len, false);
}
void PRIM_BUILD(ownsThreshold_LTAbs_16s)(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level) {
  const __m128i lv = _mm_set1_epi16(level);
  const __m128i neg = _mm_sub_epi16(_mm_setzero_si128(), lv);
  // The saturating form holds for levels 1..32767 only; a zero or negative
  // level takes the element rule itself (every element kept, apart from
  // negative ones at the most negative level).
  if (level >= 1)
    thl::core(thl::LtAbsS16Sat{lv, neg}, pSrc, pDst, len, false);
  else
    thl::core(thl::LtAbsS16{lv, neg}, pSrc, pDst, len, false);
}
void PRIM_BUILD(ownsThreshold_GTAbs_32s)(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level) {
  const __m128i lv = _mm_set1_epi32(level);
  thl::core(thl::GtAbsS32{lv, _mm_sub_epi32(_mm_setzero_si128(), lv)}, pSrc, pDst, len, false);
}
void PRIM_BUILD(ownsThreshold_LTAbs_32s)(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level) {
  const __m128i lv = _mm_set1_epi32(level);
  const thl::LtAbsS32 op{lv, _mm_sub_epi32(_mm_setzero_si128(), lv), _mm_set1_epi32(-1)};
  thl::core(op, pSrc, pDst, len, false);
}
