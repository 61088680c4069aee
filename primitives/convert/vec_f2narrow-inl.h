// Float and double to narrower integers with a scale factor, under the three
// rounding rules: the kernels of the sse2 build (compiled by
// vec_f2narrow_sse2.cpp).
//
// The rule is that of the float to 32-bit integer conversion, narrowed to
// the destination: p = x * 2^-sf (for nearest-even an exact double
// multiplier; for truncation and half away a single-precision one, 0 from
// sf 150 on and infinity from -128 down); a NaN gives the destination's
// minimum; p at or beyond a limit gives that limit (ordered compares);
// anything else is rounded and stored.  Every path gives that result: the
// vectors (for |sf| <= 126, where the multiplier is exact in single
// precision) clamp by ordered minimum and maximum before they convert, and
// the other factors take the scalar rule.  The kernels run under their own
// control register and give the caller's back exactly.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/convert/vec_f2narrow_builds.h"
#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::convert {
namespace {

// Destination elements: limits and packing of four 32-bit results.
template <class D>
struct Dst;
template <>
struct Dst<std::int8_t> {
  static constexpr double lo = -128, hi = 127;
  static __m128i pack(__m128i r) {
    const __m128i w = _mm_packs_epi32(r, r);
    return _mm_packs_epi16(w, w);
  }
};
template <>
struct Dst<Prim8u> {
  static constexpr double lo = 0, hi = 255;
  static __m128i pack(__m128i r) {
    const __m128i w = _mm_packs_epi32(r, r);
    return _mm_packus_epi16(w, w);
  }
};
template <>
struct Dst<Prim16s> {
  static constexpr double lo = -32768, hi = 32767;
  static __m128i pack(__m128i r) { return _mm_packs_epi32(r, r); }
};
template <>
struct Dst<Prim16u> {
  static constexpr double lo = 0, hi = 65535;
  static __m128i pack(__m128i r) {  // 0..65535 through a signed pack
    const __m128i b = _mm_sub_epi32(r, _mm_set1_epi32(32768));
    return _mm_xor_si128(_mm_packs_epi32(b, b), _mm_set1_epi16(-32768));
  }
};
template <>
struct Dst<Prim32s> {
  static constexpr double lo = -2147483648.0, hi = 2147483647.0;
  static __m128i pack(__m128i r) { return r; }
};

// The scalar rule for one scaled value.  Every conversion sees a value
// inside the destination's range.
template <class D>
D narrowScaled(double p, Round r) {
  if (p != p || p <= Dst<D>::lo) return static_cast<D>(Dst<D>::lo);
  if (p >= Dst<D>::hi) return static_cast<D>(Dst<D>::hi);
  std::int64_t t = static_cast<std::int64_t>(p);  // toward zero
  const double f = p - static_cast<double>(t);   // exact
  if (r == Round::nearestEven) {
    if (f > 0.5 || (f == 0.5 && (t & 1))) ++t;
    if (f < -0.5 || (f == -0.5 && (t & 1))) --t;
  } else if (r == Round::halfAway) {
    if (f >= 0.5) ++t;
    if (f <= -0.5) --t;
  }
  return static_cast<D>(t < Dst<D>::lo ? Dst<D>::lo : (t > Dst<D>::hi ? Dst<D>::hi : t));
}

template <class S, class D>
void narrowScalar(const S* s, D* d, int len, Round r, int sf) {
  const double m = sf == 0 ? 1.0 : (r == Round::nearestEven ? pow2NegDouble(sf) : double(pow2NegFloat(sf)));
  for (int i = 0; i < len; ++i) st(d, i, narrowScaled<D>(sf == 0 ? double(ld(s, i)) : double(ld(s, i)) * m, r));
}

// Four scaled, clamped and rounded values as 32-bit lanes, from four (or,
// count 1, one) source elements.  Half away: the control register holds
// toward zero, so |v| + 0.5 never rounds up and truncation gives
// floor(|v| + 0.5).
template <Round R>
struct FloatLanes {
  __m128 m, lo, hi;
  __m128i operator()(const Prim32f* p, int count) const {
    const __m128 x = count == 4 ? _mm_loadu_ps(p) : _mm_set_ss(ld(p, 0));
    // A NaN becomes the minimum: the maximum takes its second operand then.
    const __m128 v = _mm_min_ps(_mm_max_ps(_mm_mul_ps(x, m), lo), hi);
    if constexpr (R == Round::nearestEven) return _mm_cvtps_epi32(v);
    if constexpr (R == Round::towardZero) return _mm_cvttps_epi32(v);
    const __m128 sign = _mm_castsi128_ps(_mm_set1_epi32(INT32_MIN));
    const __m128 a = _mm_add_ps(_mm_andnot_ps(sign, v), _mm_set1_ps(0.5f));
    return _mm_cvttps_epi32(_mm_or_ps(a, _mm_and_ps(v, sign)));
  }
};
template <Round R>
struct DoubleLanes {
  __m128d m, lo, hi;
  __m128i two(__m128d x) const {
    const __m128d v = _mm_min_pd(_mm_max_pd(_mm_mul_pd(x, m), lo), hi);
    if constexpr (R == Round::nearestEven) return _mm_cvtpd_epi32(v);
    if constexpr (R == Round::towardZero) return _mm_cvttpd_epi32(v);
    const __m128d sign = _mm_castsi128_pd(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0));
    const __m128d a = _mm_add_pd(_mm_andnot_pd(sign, v), _mm_set1_pd(0.5));
    return _mm_cvttpd_epi32(_mm_or_pd(a, _mm_and_pd(v, sign)));
  }
  __m128i operator()(const Prim64f* p, int count) const {
    if (count == 1) return two(_mm_set_sd(ld(p, 0)));
    return _mm_unpacklo_epi64(two(_mm_loadu_pd(p)), two(_mm_loadu_pd(p + 2)));
  }
};

// Single elements up to a 16-byte destination (when it is on its element
// size), 8 elements per step, one step of 4, then single elements.
template <class S, class D, class Lanes>
void narrowRun(const S* s, D* d, int len, const Lanes& lanes) {
  auto one = [&](int i) {
    const std::uint32_t r = static_cast<std::uint32_t>(_mm_cvtsi128_si32(Dst<D>::pack(lanes(s + i, 1))));
    std::memcpy(d + i, &r, sizeof(D));
  };
  auto four = [&](int i) {
    const __m128i r = Dst<D>::pack(lanes(s + i, 4));
    if constexpr (sizeof(D) == 1) {
      const std::int32_t v = _mm_cvtsi128_si32(r);
      std::memcpy(d + i, &v, 4);
    } else if constexpr (sizeof(D) == 2) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(d + i), r);
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), r);
    }
  };
  int i = 0;
  if (addr(d) % sizeof(D) == 0)
    for (; i < len && (addr(d + i) & 15); ++i) one(i);
  for (; len - i >= 8; i += 8) four(i), four(i + 4);
  if (len - i >= 4) four(i), i += 4;
  for (; i < len; ++i) one(i);
}

template <Round R, class D>
void narrowKernel(const Prim32f* s, D* d, int len, int sf) {
  MxcsrScope scope(R == Round::halfAway ? kMxcsrTowardZero : kMxcsrNearest);
  if (!vectorScaleFactor(sf)) return narrowScalar(s, d, len, R, sf);
  const FloatLanes<R> lanes{_mm_set1_ps(pow2NegFloat(sf)), _mm_set1_ps(float(Dst<D>::lo)),
                            _mm_set1_ps(float(Dst<D>::hi))};
  narrowRun(s, d, len, lanes);
}
template <Round R>
void narrowKernel(const Prim64f* s, Prim32s* d, int len, int sf) {
  MxcsrScope scope(R == Round::halfAway ? kMxcsrTowardZero : kMxcsrNearest);
  if (!vectorScaleFactor(sf)) return narrowScalar(s, d, len, R, sf);
  const DoubleLanes<R> lanes{_mm_set1_pd(pow2NegDouble(sf)), _mm_set1_pd(Dst<Prim32s>::lo),
                             _mm_set1_pd(Dst<Prim32s>::hi)};
  narrowRun(s, d, len, lanes);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

namespace cvn = prim::PRIM_GEN_NS::convert;

#define PRIM_F2NARROW(Name, S, D)                                                                      \
  void PRIM_BUILD(ownsConvert_##Name##_Sfs)(const S* pSrc, D* pDst, int len, int nearest, int scaleFactor) { \
    if (nearest)                                                                                       \
      cvn::narrowKernel<cvn::Round::nearestEven>(pSrc, pDst, len, scaleFactor);                        \
    else                                                                                               \
      cvn::narrowKernel<cvn::Round::towardZero>(pSrc, pDst, len, scaleFactor);                         \
  }                                                                                                    \
  void PRIM_BUILD(ownsConvert_##Name##_HalfAway_Sfs)(const S* pSrc, D* pDst, int len, int scaleFactor) { \
    cvn::narrowKernel<cvn::Round::halfAway>(pSrc, pDst, len, scaleFactor);                             \
  }
PRIM_F2NARROW(32f8s, Prim32f, std::int8_t)
PRIM_F2NARROW(32f8u, Prim32f, Prim8u)
PRIM_F2NARROW(32f16s, Prim32f, Prim16s)
PRIM_F2NARROW(32f16u, Prim32f, Prim16u)
PRIM_F2NARROW(64f32s, Prim64f, Prim32s)
#undef PRIM_F2NARROW
