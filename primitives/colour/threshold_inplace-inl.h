// In-place threshold kernels and the 32s two-level kernels of one SIMD
// generation (sse2, ssse3, sse41, avx and avx2 each compile this file; all
// are the same 128-bit code).
//
// The in-place kernels read a block, and write it back only when one of its
// elements lies beyond a level, so memory that already satisfies the levels
// is read but not written; which short steps always write is fixed per
// kernel (see runInPlace).  The out-of-place two-level kernel is the module's
// shared core with a two-level element operation.
#define PRIM_THRESHOLD_CORES_ONLY
#include "primitives/colour/threshold_simd-inl.h"
#undef PRIM_THRESHOLD_CORES_ONLY

#include "primitives/colour/threshold_inplace_builds.h"

namespace prim::PRIM_GEN_NS::threshold {
namespace {

// 32s element operations with the mask of the lanes they change.
struct LtS32I : LtS32 {
  __m128i beyond(__m128i x) const { return _mm_cmpgt_epi32(level, x); }
};
struct GtS32I : GtS32 {
  __m128i beyond(__m128i x) const { return _mm_cmpgt_epi32(x, level); }
};
// Below: levelLT > x; above: x > levelGT.  The result is the OR of x where
// neither holds, valueLT where below holds and valueGT where above holds
// (both with crossed levels).
struct TwoLevelS32 {
  using T = std::int32_t;
  __m128i levelLT, valueLT, levelGT, valueGT;
  __m128i beyond(__m128i x) const {
    return _mm_or_si128(_mm_cmpgt_epi32(levelLT, x), _mm_cmpgt_epi32(x, levelGT));
  }
  __m128i apply(__m128i x) const {
    const __m128i below = _mm_cmpgt_epi32(levelLT, x);
    const __m128i above = _mm_cmpgt_epi32(x, levelGT);
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(below, valueLT), _mm_and_si128(above, valueGT)),
                        _mm_andnot_si128(_mm_or_si128(below, above), x));
  }
};

// Which steps of an in-place pass write unconditionally.
struct InPlaceShape {
  int block;        // elements per body iteration: 8 (two vectors) or 4
  bool headAlways;  // head elements
  bool step4;       // a 4-element step after the body (block 8 only)
  bool step4Always;
  bool step2Always;
  bool lastAlways;  // the final single element
};

// Runs `n` (1, 2 or 4) elements at p through op and writes them back when
// `always` or when one of them changes.
template <int N, class Op>
inline void stepInPlace(const Op& op, std::int32_t* p, bool always) {
  __m128i x;
  if constexpr (N == 4) {
    x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  } else if constexpr (N == 2) {
    x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  } else {
    std::int32_t v;
    __builtin_memcpy(&v, p, 4);
    x = _mm_cvtsi32_si128(v);
  }
  if (!always && (_mm_movemask_ps(_mm_castsi128_ps(op.beyond(x))) & ((1 << N) - 1)) == 0) return;
  const __m128i r = op.apply(x);
  if constexpr (N == 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), r);
  } else if constexpr (N == 2) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), r);
  } else {
    const std::int32_t v = _mm_cvtsi128_si32(r);
    __builtin_memcpy(p, &v, 4);
  }
}

template <bool Aligned>
inline __m128i load32s(const std::int32_t* p) {
  return Aligned ? _mm_load_si128(reinterpret_cast<const __m128i*>(p))
                 : _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
template <bool Aligned>
inline void store32s(std::int32_t* p, __m128i v) {
  if (Aligned)
    _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
  else
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Body blocks; returns the elements left.
template <bool Aligned, class Op>
inline int bodyInPlace(const Op& op, std::int32_t*& p, int len, int block) {
  for (; len >= block; len -= block, p += block) {
    const __m128i x0 = load32s<Aligned>(p);
    if (block == 8) {
      const __m128i x1 = load32s<Aligned>(p + 4);
      if (_mm_movemask_epi8(_mm_or_si128(op.beyond(x0), op.beyond(x1))) == 0) continue;
      store32s<Aligned>(p, op.apply(x0));
      store32s<Aligned>(p + 4, op.apply(x1));
    } else {
      if (_mm_movemask_epi8(op.beyond(x0)) == 0) continue;
      store32s<Aligned>(p, op.apply(x0));
    }
  }
  return len;
}

template <class Op>
void runInPlace(const Op& op, std::int32_t* p, int len, const InPlaceShape& shape) {
  while (reinterpret_cast<std::uintptr_t>(p) & 12) {
    stepInPlace<1>(op, p, shape.headAlways);
    ++p;
    if (--len == 0) return;
  }
  // A pointer that is not 4-byte aligned never reaches a multiple of 16.
  len =
      aligned16(p) ? bodyInPlace<true>(op, p, len, shape.block) : bodyInPlace<false>(op, p, len, shape.block);
  if (shape.step4 && len >= 4) {
    stepInPlace<4>(op, p, shape.step4Always);
    p += 4, len -= 4;
  }
  if (len >= 2) {
    stepInPlace<2>(op, p, shape.step2Always);
    p += 2, len -= 2;
  }
  if (len >= 1) stepInPlace<1>(op, p, shape.lastAlways);
}

// The 64f clamp: the packed maximum or minimum with the element as first
// operand, so NaN elements, a NaN level and elements equal to the level (also
// -0.0 against +0.0) all give the level's bits.
template <bool Min>
struct MinMaxF64 {
  __m128d level;
  __m128d apply(__m128d x) const { return Min ? _mm_min_pd(x, level) : _mm_max_pd(x, level); }
};

template <class Op>
inline void oneF64(const Op& op, double* p) {
  double v;
  __builtin_memcpy(&v, p, 8);
  v = _mm_cvtsd_f64(op.apply(_mm_set_sd(v)));
  __builtin_memcpy(p, &v, 8);
}

template <class Op>
void minMax64fInPlace(const Op& op, double* p, int len) {
  if (reinterpret_cast<std::uintptr_t>(p) & 8) {
    oneF64(op, p);
    ++p;
    if (--len == 0) return;
  }
  if (aligned16(p)) {
    for (; len >= 4; len -= 4, p += 4) {
      _mm_store_pd(p, op.apply(_mm_load_pd(p)));
      _mm_store_pd(p + 2, op.apply(_mm_load_pd(p + 2)));
    }
  } else {
    for (; len >= 4; len -= 4, p += 4) {
      _mm_storeu_pd(p, op.apply(_mm_loadu_pd(p)));
      _mm_storeu_pd(p + 2, op.apply(_mm_loadu_pd(p + 2)));
    }
  }
  if (len >= 2) {
    _mm_storeu_pd(p, op.apply(_mm_loadu_pd(p)));
    p += 2, len -= 2;
  }
  if (len >= 1) oneF64(op, p);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::threshold

namespace thi = prim::PRIM_GEN_NS::threshold;

void PRIM_BUILD(ownsThreshold_LT_32s_I)(Prim32s* pSrcDst, int len, Prim32s level) {
  // Head, 4-element step and tail always write; blocks of 8 only when changed.
  thi::runInPlace(thi::LtS32I{{_mm_set1_epi32(level)}}, pSrcDst, len, {8, true, true, true, true, true});
}

void PRIM_BUILD(ownsThreshold_GT_32s_I)(Prim32s* pSrcDst, int len, Prim32s level) {
  // Everything but the final single element is written only when changed.
  thi::runInPlace(thi::GtS32I{{_mm_set1_epi32(level)}}, pSrcDst, len, {8, false, true, false, false, true});
}

void PRIM_BUILD(ownsThreshold_LTValGTVal_32s_I)(Prim32s* pSrcDst, int len, Prim32s levelLT, Prim32s valueLT,
                                                Prim32s levelGT, Prim32s valueGT) {
  const thi::TwoLevelS32 op{_mm_set1_epi32(levelLT), _mm_set1_epi32(valueLT), _mm_set1_epi32(levelGT),
                            _mm_set1_epi32(valueGT)};
  thi::runInPlace(op, pSrcDst, len, {4, false, false, false, false, false});
}

void PRIM_BUILD(ownsThreshold_LTValGTVal_32s)(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s levelLT,
                                              Prim32s valueLT, Prim32s levelGT, Prim32s valueGT) {
  const thi::TwoLevelS32 op{_mm_set1_epi32(levelLT), _mm_set1_epi32(valueLT), _mm_set1_epi32(levelGT),
                            _mm_set1_epi32(valueGT)};
  thi::core(op, pSrc, pDst, len, false);
}

void PRIM_BUILD(ownsThresholdMinMax_64f_I)(Prim64f level, Prim64f* pSrcDst, int len, Prim32s selector) {
  const __m128d lv = _mm_set1_pd(level);
  if (selector == 0)
    thi::minMax64fInPlace(thi::MinMaxF64<false>{lv}, pSrcDst, len);
  else
    thi::minMax64fInPlace(thi::MinMaxF64<true>{lv}, pSrcDst, len);
}
