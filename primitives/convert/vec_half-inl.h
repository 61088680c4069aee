// Half-precision conversion kernels (IEEE binary16, one 16-bit word per
// element): 16-bit integer to half, half to 16-bit integer with a scale
// factor, half to float and float to half.  The sse2, sse41 and avx builds
// compile this file with their own flags and namespace.
//
// Every element, vector lanes and single ones alike, goes through the same
// four-lane operation on 32-bit lanes, so head, body and tail agree.  The
// results are those of exact IEEE conversions:
//  - half to float is exact; a NaN stays a NaN with its payload, made quiet;
//  - float (or integer) to half rounds once, to nearest with ties to even
//    (nearest != 0) or toward zero, subnormal halves included; infinities
//    stay infinite, a NaN gives a quiet NaN with its sign and the upper ten
//    fraction bits; finite overflow gives infinity when rounding to nearest
//    and the largest finite half (65504) toward zero;
//  - half to 16-bit integer rounds x * 2^-scaleFactor once, for every scale
//    factor, and saturates; a NaN gives 0.
// The kernels that round with the processor run under their own control
// register (MxcsrScope) and give the caller's back exactly, so neither the
// caller's rounding mode nor its denormals-are-zero or flush-to-zero setting
// reaches a result.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/convert/vec_half_builds.h"
#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::convert {
namespace {

inline __m128i k32(std::uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
inline __m128i select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Half patterns (one per 32-bit lane, upper half zero) to float patterns.
inline __m128i halfToFloat(__m128i h) {
  const __m128i sign = _mm_slli_epi32(_mm_and_si128(h, k32(0x8000)), 16);
  const __m128i a = _mm_and_si128(h, k32(0x7fff));
  const __m128i shifted = _mm_slli_epi32(a, 13);
  // Normal halves: the exponent bias moves from 15 to 127.
  const __m128i normal = _mm_add_epi32(shifted, k32(112u << 23));
  // Exponent 31: infinity, or a NaN keeping its payload with the quiet bit set.
  const __m128i isNaN = _mm_cmpgt_epi32(a, k32(0x7c00));
  const __m128i special =
      _mm_or_si128(_mm_or_si128(shifted, k32(0x7f800000)), _mm_and_si128(isNaN, k32(0x00400000)));
  // Zero and subnormal halves: fraction x 2^-24, both steps exact.
  const __m128i tiny =
      _mm_castps_si128(_mm_mul_ps(_mm_cvtepi32_ps(a), _mm_castsi128_ps(k32(0x33800000))));  // 2^-24
  __m128i r = select(_mm_cmpgt_epi32(a, k32(0x7bff)), special, normal);
  r = select(_mm_cmplt_epi32(a, k32(0x0400)), tiny, r);
  return _mm_or_si128(r, sign);
}

// Float patterns to half patterns (in the low 16 bits of each lane).  Needs
// the control register at round to nearest.
template <bool Nearest>
inline __m128i floatToHalf(__m128i f) {
  const __m128i sign = _mm_srli_epi32(_mm_and_si128(f, k32(0x80000000)), 16);
  const __m128i a = _mm_and_si128(f, k32(0x7fffffff));
  // Normal halves: rebias and drop 13 fraction bits, rounding on the integer
  // pattern (half of the dropped range, less one, plus the kept lowest bit:
  // ties go to even).  A carry into the exponent is the correct result.
  __m128i n = _mm_sub_epi32(a, k32(112u << 23));
  if constexpr (Nearest)
    n = _mm_add_epi32(n, _mm_add_epi32(k32(0x0fff), _mm_and_si128(_mm_srli_epi32(a, 13), k32(1))));
  n = _mm_srli_epi32(n, 13);
  // Finite overflow: infinity to nearest, the largest half toward zero.
  const __m128i top = k32(Nearest ? 0x7c00 : 0x7bff);
  n = select(_mm_cmpgt_epi32(n, top), top, n);
  // Below 2^-14 the half is a multiple of 2^-24: a * 2^24 is exact and the
  // conversion to an integer rounds it once (the scope holds nearest).
  const __m128 scaled = _mm_mul_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(k32(0x4b800000)));  // 2^24
  const __m128i q = Nearest ? _mm_cvtps_epi32(scaled) : _mm_cvttps_epi32(scaled);
  __m128i r = select(_mm_cmplt_epi32(a, k32(0x38800000)), q, n);
  r = select(_mm_cmpeq_epi32(a, k32(0x7f800000)), k32(0x7c00), r);
  const __m128i nan = _mm_or_si128(k32(0x7e00), _mm_and_si128(_mm_srli_epi32(a, 13), k32(0x3ff)));
  r = select(_mm_cmpgt_epi32(a, k32(0x7f800000)), nan, r);
  return _mm_or_si128(r, sign);
}

// ---------------------------------------------------------------------------
// Element codecs: 4 or 8 elements to and from 32-bit lanes, and one element
// to and from lane 0.
struct Half {  // 16-bit pattern, zero-extended
  using T = std::uint16_t;
  static __m128i widen(__m128i x) { return _mm_unpacklo_epi16(x, _mm_setzero_si128()); }
  static __m128i widenHi(__m128i x) { return _mm_unpackhi_epi16(x, _mm_setzero_si128()); }
};
struct Int16 {  // sign-extended
  using T = std::int16_t;
  static __m128i widen(__m128i x) { return _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16); }
  static __m128i widenHi(__m128i x) { return _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16); }
};
struct Word {  // a 32-bit element per lane
  using T = std::uint32_t;
};

template <class C>
struct Io;

template <class C>
requires(sizeof(typename C::T) == 2) struct Io<C> {
  static __m128i one(const void* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return C::widen(_mm_cvtsi32_si128(v));
  }
  static __m128i four(const void* p) { return C::widen(_mm_loadl_epi64(static_cast<const __m128i*>(p))); }
  static void eight(const void* p, __m128i& lo, __m128i& hi) {
    const __m128i x = _mm_loadu_si128(static_cast<const __m128i*>(p));
    lo = C::widen(x), hi = C::widenHi(x);
  }
  // Low 16 bits of each lane, packed without saturation acting.
  static __m128i pack(__m128i lo, __m128i hi) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(lo, 16), 16),
                           _mm_srai_epi32(_mm_slli_epi32(hi, 16), 16));
  }
  static void put(void* p, __m128i r) {
    const std::uint16_t v = static_cast<std::uint16_t>(_mm_cvtsi128_si32(r));
    std::memcpy(p, &v, 2);
  }
  static void put(void* p, __m128i lo, __m128i hi) {
    _mm_storeu_si128(static_cast<__m128i*>(p), pack(lo, hi));
  }
  static void putFour(void* p, __m128i r) { _mm_storel_epi64(static_cast<__m128i*>(p), pack(r, r)); }
};

template <>
struct Io<Word> {
  static __m128i one(const void* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
  }
  static __m128i four(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
  static void eight(const void* p, __m128i& lo, __m128i& hi) {
    lo = four(p), hi = four(static_cast<const char*>(p) + 16);
  }
  static void put(void* p, __m128i r) {
    const std::int32_t v = _mm_cvtsi128_si32(r);
    std::memcpy(p, &v, 4);
  }
  static void put(void* p, __m128i lo, __m128i hi) {
    _mm_storeu_si128(static_cast<__m128i*>(p), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(static_cast<char*>(p) + 16), hi);
  }
  static void putFour(void* p, __m128i r) { _mm_storeu_si128(static_cast<__m128i*>(p), r); }
};

// Single elements up to a 16-byte destination (an address off the element
// size never gets there and is written unaligned), 8 elements per step, then
// one step of 4 and single elements.  Each step loads before it stores.
template <class S, class D, class Op>
void walk(const void* src, void* dst, int len, const Op& op) {
  constexpr std::size_t ss = sizeof(typename S::T), ds = sizeof(typename D::T);
  const char* s = static_cast<const char*>(src);
  char* d = static_cast<char*>(dst);
  int i = 0;
  if ((addr(d) & (ds - 1)) == 0)
    for (; i < len && (addr(d + i * ds) & 15); ++i) Io<D>::put(d + i * ds, op(Io<S>::one(s + i * ss)));
  for (; len - i >= 8; i += 8) {
    __m128i lo, hi;
    Io<S>::eight(s + i * ss, lo, hi);
    Io<D>::put(d + i * ds, op(lo), op(hi));
  }
  if (len - i >= 4) Io<D>::putFour(d + i * ds, op(Io<S>::four(s + i * ss))), i += 4;
  for (; i < len; ++i) Io<D>::put(d + i * ds, op(Io<S>::one(s + i * ss)));
}

template <bool Nearest>
struct IntToHalf {
  __m128i operator()(__m128i x) const { return floatToHalf<Nearest>(_mm_castps_si128(_mm_cvtepi32_ps(x))); }
};
template <bool Nearest>
struct FloatToHalf {
  __m128i operator()(__m128i f) const { return floatToHalf<Nearest>(f); }
};
struct HalfToFloat {
  __m128i operator()(__m128i h) const { return halfToFloat(h); }
};

// x * 2^-sf with sf clamped to -40..17, which changes no result: from 17 on
// every finite half gives a magnitude below 0.5, from -40 down every non-zero
// half at least 2^16.  In that range the product is exact.  It is clamped to
// the 16-bit range by ordered compares, rounded once, and NaN gives 0.
template <bool Nearest>
struct HalfToInt {
  __m128 m;
  __m128i operator()(__m128i h) const {
    const __m128 v = _mm_mul_ps(_mm_castsi128_ps(halfToFloat(h)), m);
    const __m128 c = _mm_max_ps(_mm_min_ps(v, _mm_set1_ps(32767.0f)), _mm_set1_ps(-32768.0f));
    const __m128i r = Nearest ? _mm_cvtps_epi32(c) : _mm_cvttps_epi32(c);
    return _mm_andnot_si128(_mm_castps_si128(_mm_cmpunord_ps(v, v)), r);
  }
};

}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

namespace cvh = prim::PRIM_GEN_NS::convert;

void PRIM_BUILD(ownsConvert_16s16f)(const Prim16s* pSrc, Prim16u* pDst, int len, int nearest) {
  cvh::MxcsrScope scope(cvh::kMxcsrNearest);
  if (nearest)
    cvh::walk<cvh::Int16, cvh::Half>(pSrc, pDst, len, cvh::IntToHalf<true>{});
  else
    cvh::walk<cvh::Int16, cvh::Half>(pSrc, pDst, len, cvh::IntToHalf<false>{});
}

void PRIM_BUILD(ownsConvert_32f16f)(const Prim32f* pSrc, Prim16u* pDst, int len, int nearest) {
  cvh::MxcsrScope scope(cvh::kMxcsrNearest);
  if (nearest)
    cvh::walk<cvh::Word, cvh::Half>(pSrc, pDst, len, cvh::FloatToHalf<true>{});
  else
    cvh::walk<cvh::Word, cvh::Half>(pSrc, pDst, len, cvh::FloatToHalf<false>{});
}

void PRIM_BUILD(ownsConvert_16f32f)(const Prim16u* pSrc, Prim32f* pDst, int len) {
  cvh::MxcsrScope scope(cvh::kMxcsrNearest);
  cvh::walk<cvh::Half, cvh::Word>(pSrc, pDst, len, cvh::HalfToFloat{});
}

void PRIM_BUILD(ownsConvert_16f16s_Sfs)(const Prim16u* pSrc, Prim16s* pDst, int len, int nearest,
                                        int scaleFactor) {
  cvh::MxcsrScope scope(cvh::kMxcsrNearest);
  const int sf = scaleFactor > 17 ? 17 : (scaleFactor < -40 ? -40 : scaleFactor);
  const __m128 m = _mm_set1_ps(cvh::pow2NegFloat(sf));
  if (nearest)
    cvh::walk<cvh::Half, cvh::Int16>(pSrc, pDst, len, cvh::HalfToInt<true>{m});
  else
    cvh::walk<cvh::Half, cvh::Int16>(pSrc, pDst, len, cvh::HalfToInt<false>{m});
}
