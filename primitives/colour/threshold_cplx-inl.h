// Complex threshold kernels of one SIMD generation (sse2, ssse3, sse41, avx
// and avx2 each compile this file; all are 128-bit code, and the 32fc kernels
// need the SSE3 horizontal add, so the sse2 build has none of them).
//
// The magnitude kernels mark the elements beyond the level with packed
// squared magnitudes and one comparison; only marked elements are rescaled,
// so every other element is written back bit for bit, and an element's result
// never depends on the elements that share its block.
#include <cfloat>
#include <cmath>

#define PRIM_THRESHOLD_CORES_ONLY
#include "primitives/colour/threshold_simd-inl.h"
#undef PRIM_THRESHOLD_CORES_ONLY

#include "primitives/colour/threshold_cplx_builds.h"

namespace prim::PRIM_GEN_NS::threshold {
namespace {

// ---------------------------------------------------------------------------
// 16sc.  Squared magnitudes are exact: m = re*re + im*im is at most 2^31,
// reached only by (-32768, -32768), whose packed 32-bit sum wraps to INT_MIN;
// comparing m - 1 (signed) keeps that element at 2^31.

// Margins added before truncation: with the GT margin the scaled part rounds
// toward the origin (the error of the factor absorbed), with the LT one away
// from it (a part less than 4.2e-11 above an integer gives that integer).
constexpr double kRoundGT = 1.25e-11;
constexpr double kRoundLT = 1.0 - 23527.0 / 562949953421312.0;  // 1 - 23527 * 2^-49
static_assert(kRoundLT == 0.9999999999582077);

inline std::int16_t scalePart16(int c, double f, double k) {
  double t = std::fabs(static_cast<double>(c)) * f + k;
  if (!(t <= 32767.0)) t = 32767.0;  // never cast a value beyond the part's range
  const int v = static_cast<int>(t);
  return static_cast<std::int16_t>(c >= 0 ? v : -v);
}

// One element, as the magnitude kernel's rule states it; L = level * level.
template <bool Gt>
inline Prim16sc element16sc(Prim16sc x, std::int16_t level, std::uint32_t L) {
  const std::uint32_t m = static_cast<std::uint32_t>(x.re * x.re) + static_cast<std::uint32_t>(x.im * x.im);
  if (Gt ? !(m > L) : !(m < L)) return x;
  if (!Gt && m == 0) return {level, 0};
  const double f = std::sqrt(static_cast<double>(L) / static_cast<double>(m));
  const double k = Gt ? kRoundGT : kRoundLT;
  return {scalePart16(x.re, f, k), scalePart16(x.im, f, k)};
}

inline __m128i magnitudeMinus1(__m128i x) { return _mm_sub_epi32(_mm_madd_epi16(x, x), _mm_set1_epi32(1)); }

// Element operation of the module's core: four 16sc elements per vector.
template <bool Gt>
struct Magnitude16sc {
  using T = std::int32_t;
  __m128i lMinus1;
  std::int16_t level;
  std::uint32_t L;
  __m128i apply(__m128i x) const {
    const __m128i m1 = magnitudeMinus1(x);
    const __m128i mark = Gt ? _mm_cmpgt_epi32(m1, lMinus1) : _mm_cmpgt_epi32(lMinus1, m1);
    const int bits = _mm_movemask_ps(_mm_castsi128_ps(mark));
    if (bits == 0) return x;
    alignas(16) Prim16sc e[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(e), x);
    for (int i = 0; i < 4; ++i)
      if (bits & (1 << i)) e[i] = element16sc<Gt>(e[i], level, L);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(e));
  }
};

// LTVal keeps x where m - 1 > L - 2 (m >= L), GTVal where L > m - 1 (m <= L);
// the rest becomes the value.
template <bool Gt>
struct Value16sc {
  using T = std::int32_t;
  __m128i bound;  // L - 2 (LT) or L (GT)
  __m128i value;
  __m128i apply(__m128i x) const {
    const __m128i m1 = magnitudeMinus1(x);
    const __m128i keep = Gt ? _mm_cmpgt_epi32(bound, m1) : _mm_cmpgt_epi32(m1, bound);
    return _mm_or_si128(_mm_and_si128(keep, x), _mm_andnot_si128(keep, value));
  }
};

inline std::uint32_t squaredLevel16(std::int32_t level) {
  const std::int32_t lv = static_cast<std::int16_t>(level);
  return static_cast<std::uint32_t>(lv * lv);
}

// ---------------------------------------------------------------------------
// Rescaling that does not go through m.  Where the squared magnitude or the
// factor leaves the normal range (an infinite or subnormal m, a factor that
// overflows or underflows), the element is rescaled through a copy whose
// largest part is brought near 1, or, when a part is infinite, through the
// direction of its infinite parts; the result has magnitude |level|.
inline void unitDirection(double& a, double& b) {
  if (std::isinf(a) || std::isinf(b)) {
    a = std::isinf(a) ? std::copysign(1.0, a) : std::copysign(0.0, a);
    b = std::isinf(b) ? std::copysign(1.0, b) : std::copysign(0.0, b);
    return;
  }
  int e;
  std::frexp(std::fmax(std::fabs(a), std::fabs(b)), &e);
  a = std::ldexp(a, -e);
  b = std::ldexp(b, -e);
}

inline bool normalDouble(double v) { return v >= DBL_MIN && v <= DBL_MAX; }

// ---------------------------------------------------------------------------
// 64fc.  L = level * level; an element beyond it becomes (re * f, im * f)
// with f = sqrt(L / m); under LT a zero m gives (level, +0.0).
template <bool Gt>
inline __m128d element64fc(__m128d x, double m, double level, double L) {
  if (!Gt && m == 0.0) return _mm_set_pd(0.0, level);
  const double q = L / m;
  if (normalDouble(m) && normalDouble(q)) return _mm_mul_pd(x, _mm_set1_pd(std::sqrt(q)));
  double a = _mm_cvtsd_f64(x), b = _mm_cvtsd_f64(_mm_unpackhi_pd(x, x));
  unitDirection(a, b);
  const double f = std::fabs(level) / std::sqrt(a * a + b * b);
  return _mm_set_pd(b * f, a * f);
}

template <bool Gt>
void magnitude64fc(double level, const double* s, double* d, int len) {
  const double L = level * level;
  const __m128d lv = _mm_set1_pd(L);
  const bool aligned = aligned16(s) && aligned16(d);
  for (; len >= 2; len -= 2, s += 4, d += 4) {
    __m128d a = aligned ? _mm_load_pd(s) : _mm_loadu_pd(s);
    __m128d b = aligned ? _mm_load_pd(s + 2) : _mm_loadu_pd(s + 2);
    const __m128d sa = _mm_mul_pd(a, a), sb = _mm_mul_pd(b, b);
    const __m128d m = _mm_add_pd(_mm_unpacklo_pd(sa, sb), _mm_unpackhi_pd(sa, sb));
    const int bits = _mm_movemask_pd(Gt ? _mm_cmplt_pd(lv, m) : _mm_cmplt_pd(m, lv));
    if (bits & 1) a = element64fc<Gt>(a, _mm_cvtsd_f64(m), level, L);
    if (bits & 2) b = element64fc<Gt>(b, _mm_cvtsd_f64(_mm_unpackhi_pd(m, m)), level, L);
    if (aligned) {
      _mm_store_pd(d, a);
      _mm_store_pd(d + 2, b);
    } else {
      _mm_storeu_pd(d, a);
      _mm_storeu_pd(d + 2, b);
    }
  }
  if (len) {
    __m128d a = _mm_loadu_pd(s);
    const __m128d sa = _mm_mul_pd(a, a);
    const double m = _mm_cvtsd_f64(_mm_add_sd(sa, _mm_unpackhi_pd(sa, sa)));
    if (Gt ? L < m : m < L) a = element64fc<Gt>(a, m, level, L);
    _mm_storeu_pd(d, a);
  }
}

#if defined(__SSE3__)
// ---------------------------------------------------------------------------
// 32fc.  A block is four elements in two vectors (e0 e1 | e2 e3, each real
// then imaginary); a block operation changes the block and says whether any
// element changed.  Shorter blocks duplicate their elements into all lanes.

inline __m128 squaredMagnitudes(__m128 v0, __m128 v1) {
  return _mm_hadd_ps(_mm_mul_ps(v0, v0), _mm_mul_ps(v1, v1));
}

inline __m128 select(__m128 mask, __m128 a, __m128 b) {
  return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// Rescales to magnitude |level|.  GT marks m above L2; LT marks m not at or
// above L2 (also a NaN m, which comes out NaN) and turns a zero m into
// (re + level, im).  The factor is the approximate reciprocal square root
// with one Newton step, f = (r * H) * (3 - (m * r) * r), H = |level| / 2.
template <bool Gt>
struct Rescale32fc {
  __m128 L2, H, three, zeroShift;  // zeroShift: (level, -0.0) in each element
  float absLevel;

  bool operator()(__m128& v0, __m128& v1) const {
    const __m128 m = squaredMagnitudes(v0, v1);
    __m128 mark = Gt ? _mm_cmplt_ps(L2, m) : _mm_cmpnle_ps(L2, m);
    __m128 zero = _mm_setzero_ps();
    if (!Gt) {
      zero = _mm_cmpeq_ps(m, zero);
      mark = _mm_andnot_ps(zero, mark);
    }
    const int markBits = _mm_movemask_ps(mark);
    const int zeroBits = _mm_movemask_ps(zero);
    if ((markBits | zeroBits) == 0) return false;
    const __m128 in0 = v0, in1 = v1;
    if (zeroBits) {
      v0 = select(_mm_unpacklo_ps(zero, zero), _mm_add_ps(v0, zeroShift), v0);
      v1 = select(_mm_unpackhi_ps(zero, zero), _mm_add_ps(v1, zeroShift), v1);
    }
    if (markBits) {
      const __m128 r = _mm_rsqrt_ps(m);
      const __m128 f = _mm_mul_ps(_mm_mul_ps(r, H), _mm_sub_ps(three, _mm_mul_ps(_mm_mul_ps(m, r), r)));
      v0 = select(_mm_unpacklo_ps(mark, mark), _mm_mul_ps(v0, _mm_unpacklo_ps(f, f)), v0);
      v1 = select(_mm_unpackhi_ps(mark, mark), _mm_mul_ps(v1, _mm_unpackhi_ps(f, f)), v1);
      // Marked elements with a non-NaN m whose m or factor left the normal
      // range go the long way.
      const __m128 lo = _mm_set1_ps(FLT_MIN), hi = _mm_set1_ps(FLT_MAX);
      const __m128 normal = _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(m, lo), _mm_cmple_ps(m, hi)),
                                       _mm_and_ps(_mm_cmpge_ps(f, lo), _mm_cmple_ps(f, hi)));
      const int longBits = _mm_movemask_ps(_mm_andnot_ps(normal, _mm_and_ps(mark, _mm_cmpord_ps(m, m))));
      if (longBits) rescaleLong(longBits, in0, in1, v0, v1);
    }
    return true;
  }

  void rescaleLong(int bits, __m128 in0, __m128 in1, __m128& v0, __m128& v1) const {
    alignas(16) float src[8], dst[8];
    _mm_store_ps(src, in0);
    _mm_store_ps(src + 4, in1);
    _mm_store_ps(dst, v0);
    _mm_store_ps(dst + 4, v1);
    const double level = absLevel;
    for (int i = 0; i < 4; ++i) {
      if (!(bits & (1 << i))) continue;
      double a = src[2 * i], b = src[2 * i + 1];
      unitDirection(a, b);
      const double f = level / std::sqrt(a * a + b * b);
      dst[2 * i] = static_cast<float>(a * f);
      dst[2 * i + 1] = static_cast<float>(b * f);
    }
    v0 = _mm_load_ps(dst);
    v1 = _mm_load_ps(dst + 4);
  }
};

template <bool Gt>
inline Rescale32fc<Gt> makeRescale32fc(float level) {
  return {_mm_set1_ps(level * level), _mm_set1_ps(std::fabs(level) * 0.5f), _mm_set1_ps(3.0f),
          _mm_setr_ps(level, -0.0f, level, -0.0f), std::fabs(level)};
}

// Replacement by a value: LT replaces m < L2, GT replaces m not at or below
// L2 (also a NaN m); kept elements are written back bit for bit.
template <bool Gt>
struct Value32fc {
  __m128 L2, value;  // value in both elements of the vector
  bool operator()(__m128& v0, __m128& v1) const {
    const __m128 m = squaredMagnitudes(v0, v1);
    const __m128 rep = Gt ? _mm_cmpnle_ps(m, L2) : _mm_cmplt_ps(m, L2);
    if (_mm_movemask_ps(rep) == 0) return false;
    v0 = select(_mm_unpacklo_ps(rep, rep), value, v0);
    v1 = select(_mm_unpackhi_ps(rep, rep), value, v1);
    return true;
  }
};

// Runs a block operation over a 32fc vector: a head element while pDst is not
// a multiple of 16, blocks of four, then a pair and a single element.  With
// InPlace a block is written only when it changes.
template <bool InPlace, class Block>
void run32fc(const Block& op, const Prim32fc* s, Prim32fc* d, int len) {
  auto single = [&op](const Prim32fc* ps, Prim32fc* pd) {
    double e;
    __builtin_memcpy(&e, ps, 8);
    __m128 v0 = _mm_castpd_ps(_mm_set1_pd(e)), v1 = v0;
    if (op(v0, v1) || !InPlace) {
      e = _mm_cvtsd_f64(_mm_castps_pd(v0));
      __builtin_memcpy(pd, &e, 8);
    }
  };
  if (reinterpret_cast<std::uintptr_t>(d) & 8) {
    single(s, d);
    ++s, ++d;
    if (--len == 0) return;
  }
  const bool dAligned = aligned16(d);
  for (; len >= 4; len -= 4, s += 4, d += 4) {
    __m128 v0 = _mm_loadu_ps(reinterpret_cast<const float*>(s));
    __m128 v1 = _mm_loadu_ps(reinterpret_cast<const float*>(s + 2));
    if (!op(v0, v1) && InPlace) continue;
    float* pd = reinterpret_cast<float*>(d);
    if (dAligned) {
      _mm_store_ps(pd, v0);
      _mm_store_ps(pd + 4, v1);
    } else {
      _mm_storeu_ps(pd, v0);
      _mm_storeu_ps(pd + 4, v1);
    }
  }
  if (len >= 2) {
    __m128 v0 = _mm_loadu_ps(reinterpret_cast<const float*>(s)), v1 = v0;
    if (op(v0, v1) || !InPlace) _mm_storeu_ps(reinterpret_cast<float*>(d), v0);
    s += 2, d += 2, len -= 2;
  }
  if (len >= 1) single(s, d);
}

template <bool InPlace>
void rescale32fc(float level, const Prim32fc* s, Prim32fc* d, int len, std::int32_t selector) {
  if (selector == 1)
    run32fc<InPlace>(makeRescale32fc<true>(level), s, d, len);
  else
    run32fc<InPlace>(makeRescale32fc<false>(level), s, d, len);
}

template <bool Gt>
void value32fc(const Prim32fc* s, Prim32fc* d, int len, float level, Prim32fc value) {
  const Value32fc<Gt> op{_mm_set1_ps(level * level), _mm_setr_ps(value.re, value.im, value.re, value.im)};
  run32fc<false>(op, s, d, len);
}
#endif  // __SSE3__

}  // namespace
}  // namespace prim::PRIM_GEN_NS::threshold

namespace thc = prim::PRIM_GEN_NS::threshold;

void PRIM_BUILD(ownsThreshold_16sc)(Prim32s level, const Prim16sc* pSrc, Prim16sc* pDst, int len,
                                    Prim32s selector) {
  const std::uint32_t L = thc::squaredLevel16(level);
  const __m128i lMinus1 = _mm_set1_epi32(static_cast<std::int32_t>(L) - 1);
  const auto lv = static_cast<std::int16_t>(level);
  const auto* s = reinterpret_cast<const std::int32_t*>(pSrc);
  auto* d = reinterpret_cast<std::int32_t*>(pDst);
  if (selector == 0)
    thc::core(thc::Magnitude16sc<false>{lMinus1, lv, L}, s, d, len, false);
  else
    thc::core(thc::Magnitude16sc<true>{lMinus1, lv, L}, s, d, len, false);
}

void PRIM_BUILD(ownsThreshold_64fc)(Prim64f level, const Prim64fc* pSrc, Prim64fc* pDst, int len,
                                    Prim32s selector) {
  const auto* s = reinterpret_cast<const double*>(pSrc);
  auto* d = reinterpret_cast<double*>(pDst);
  if (selector == 0)
    thc::magnitude64fc<false>(level, s, d, len);
  else
    thc::magnitude64fc<true>(level, s, d, len);
}

void PRIM_BUILD(ownsThreshold_LTVal_16sc)(const Prim16sc* pSrc, Prim16sc* pDst, int len, Prim32s level,
                                          Prim32s value) {
  const auto L = static_cast<std::int32_t>(thc::squaredLevel16(level));
  thc::core(thc::Value16sc<false>{_mm_set1_epi32(L - 2), _mm_set1_epi32(value)},
            reinterpret_cast<const std::int32_t*>(pSrc), reinterpret_cast<std::int32_t*>(pDst), len, false);
}

void PRIM_BUILD(ownsThreshold_GTVal_16sc)(const Prim16sc* pSrc, Prim16sc* pDst, int len, Prim32s level,
                                          Prim32s value) {
  const auto L = static_cast<std::int32_t>(thc::squaredLevel16(level));
  thc::core(thc::Value16sc<true>{_mm_set1_epi32(L), _mm_set1_epi32(value)},
            reinterpret_cast<const std::int32_t*>(pSrc), reinterpret_cast<std::int32_t*>(pDst), len, false);
}

#if defined(__SSE3__)
void PRIM_BUILD(ownsThreshold_32fc)(Prim32f level, const Prim32fc* pSrc, Prim32fc* pDst, int len,
                                    Prim32s selector) {
  thc::rescale32fc<false>(level, pSrc, pDst, len, selector);
}

void PRIM_BUILD(ownsThreshold_32fc_I)(Prim32f level, Prim32fc* pSrcDst, int len, Prim32s selector) {
  thc::rescale32fc<true>(level, pSrcDst, pSrcDst, len, selector);
}

void PRIM_BUILD(ownsThreshold_LTVal_32fc)(const Prim32fc* pSrc, Prim32fc* pDst, int len, Prim32f level,
                                          Prim32fc value) {
  thc::value32fc<false>(pSrc, pDst, len, level, value);
}

void PRIM_BUILD(ownsThreshold_GTVal_32fc)(const Prim32fc* pSrc, Prim32fc* pDst, int len, Prim32f level,
                                          Prim32fc value) {
  thc::value32fc<true>(pSrc, pDst, len, level, value);
}
#endif
