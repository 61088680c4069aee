// Conversion and shift primitives: the builds and kernels of one SIMD
// generation.  sse2, ssse3, sse41, avx and avx2 each compile this file with
// their own flags and namespace; the avx2 build adds its 256-bit conversion
// kernels, left-shift body and right-shift loops.
//
// Loads are always unaligned loads: the heads only bring the destination to a
// boundary, so that the body's stores do not split cache lines.  Every block
// is loaded before the block at the same place is stored, so pDst equal to
// pSrc works everywhere it is allowed.  Every path of every build gives the
// px build's results.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/convert/vec_convert_builds.h"
#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/convert/vec_convert_lanes-inl.h"
#include "primitives/core/gen_namespace.h"
#include "primitives/core/vec_memory_builds.h"

// The sse2 half-away kernel carries the scale-factor suffix last.
#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSE2
#define PRIM_CONVERT_HALFAWAY sse2_ownsConvert_32f32s_HalfAway_Sfs
#else
#define PRIM_CONVERT_HALFAWAY PRIM_BUILD(ownsConvert_32f32s_Sfs_HalfAway)
#endif

namespace prim::PRIM_GEN_NS::convert {
namespace {

// Non-temporal threshold (elements after the head) of the 6-bytes-per-element
// kernels: about 512 KiB of traffic in the sse2 build, 4 MiB in the others.
constexpr int kStreamThreshold = PRIM_GEN_LEVEL == PRIM_LEVEL_SSE2 ? 87381 : 699050;

// ===========================================================================
// Float to 32-bit integer (the four-lane step F2I is in the lanes header).
//
// Head of single elements up to a 16-byte destination (when the destination
// is on a 4-byte boundary), 8 elements per step, then 4, 2 and 1.
template <class Op>
void f2iRun4(const Prim32f* s, Prim32s* d, int len, const Op& op) {
  int i = 0;
  if ((addr(d) & 3) == 0) {
    int head = static_cast<int>(((16 - (addr(d) & 15)) & 15) / 4);
    if (head > len) head = len;
    for (; i < head; ++i) f2iOne(op, s + i, d + i);
  }
  for (; len - i >= 8; i += 8) {
    const __m128i r0 = op(_mm_loadu_ps(s + i));
    const __m128i r1 = op(_mm_loadu_ps(s + i + 4));
    store16(d + i, r0);
    store16(d + i + 4, r1);
  }
  if (len - i >= 4) store16(d + i, op(_mm_loadu_ps(s + i))), i += 4;
  if (len - i >= 2) store8(d + i, op(_mm_castsi128_ps(load8(s + i)))), i += 2;
  if (i < len) f2iOne(op, s + i, d + i);
}

#if PRIM_GEN_LEVEL == PRIM_LEVEL_AVX2
inline __m256i flipHigh(__m256i r, __m256 v) {
  return _mm256_xor_si256(r,
                          _mm256_castps_si256(_mm256_cmp_ps(v, _mm256_set1_ps(2147483648.0f), _CMP_GE_OS)));
}

template <Round R, bool Scale>
struct F2I8 {
  __m256 m8;
  __m256i operator()(__m256 x) const {
    __m256 v = Scale ? _mm256_mul_ps(x, m8) : x;
    if constexpr (R == Round::nearestEven) {
      return flipHigh(_mm256_cvtps_epi32(v), v);
    } else if constexpr (R == Round::towardZero) {
      return flipHigh(_mm256_cvttps_epi32(v), v);
    } else {
      const __m256 sign = _mm256_castsi256_ps(_mm256_set1_epi32(INT32_MIN));
      const __m256 a = _mm256_add_ps(_mm256_andnot_ps(sign, v), _mm256_set1_ps(0.5f));
      v = _mm256_or_ps(a, _mm256_and_ps(v, sign));
      return flipHigh(_mm256_cvttps_epi32(v), v);
    }
  }
};

// No head: 32 elements per step, then 8, then one step of 4, then singles.
template <Round R, bool Scale>
void f2iRun8(const Prim32f* s, Prim32s* d, int len, float m) {
  const F2I8<R, Scale> op8{_mm256_set1_ps(m)};
  const F2I<R, Scale> op4{_mm_set1_ps(m)};
  int i = 0;
  for (; len - i >= 32; i += 32) {
    const __m256i r0 = op8(_mm256_loadu_ps(s + i));
    const __m256i r1 = op8(_mm256_loadu_ps(s + i + 8));
    const __m256i r2 = op8(_mm256_loadu_ps(s + i + 16));
    const __m256i r3 = op8(_mm256_loadu_ps(s + i + 24));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), r0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 8), r1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 16), r2);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 24), r3);
  }
  for (; len - i >= 8; i += 8)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), op8(_mm256_loadu_ps(s + i)));
  if (len - i >= 4) store16(d + i, op4(_mm_loadu_ps(s + i))), i += 4;
  for (; i < len; ++i) f2iOne(op4, s + i, d + i);
}
#endif

template <Round R>
void f2iKernel(const Prim32f* s, Prim32s* d, int len, int sf) {
  if (!vectorScaleFactor(sf)) {
    // Multipliers that are no normal float: the generic rule.
    MxcsrScope scope(kMxcsrNearest);
    convertScalar(s, d, len, R, sf);
    return;
  }
  MxcsrScope scope(R == Round::halfAway ? kMxcsrTowardZero : kMxcsrNearest);
  const float m = pow2NegFloat(sf);
#if PRIM_GEN_LEVEL == PRIM_LEVEL_AVX2
  if (sf == 0)
    f2iRun8<R, false>(s, d, len, m);
  else
    f2iRun8<R, true>(s, d, len, m);
#else
  if (sf == 0)
    f2iRun4(s, d, len, F2I<R, false>{_mm_set1_ps(m)});
  else
    f2iRun4(s, d, len, F2I<R, true>{_mm_set1_ps(m)});
#endif
}

// ===========================================================================
// Integer conversions.

inline __m128i narrowLane(__m128i x) { return _mm_packs_epi32(x, x); }

inline void narrowOne(const Prim32s* s, Prim16s* d) {
  const __m128i r = narrowLane(load4(s));
  const Prim16s v = static_cast<Prim16s>(_mm_cvtsi128_si32(r));
  std::memcpy(d, &v, 2);
}

// Sign extension of the low 8 bytes / 4 words of x.
inline __m128i widen8(__m128i x) { return _mm_srai_epi16(_mm_unpacklo_epi8(_mm_setzero_si128(), x), 8); }
inline __m128i widen16(__m128i x) { return _mm_srai_epi32(_mm_unpacklo_epi16(_mm_setzero_si128(), x), 16); }

}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

namespace cv = prim::PRIM_GEN_NS::convert;

// Head of single elements up to a 16-byte destination (an odd destination
// goes through the head whole), 16 elements per step (streamed above the
// threshold), then groups of 4 and single elements.
void PRIM_BUILD(ownsConvert_32s16s)(const Prim32s* pSrc, Prim16s* pDst, int len) {
  int i = 0;
  while (i < len && (cv::addr(pDst + i) & 15)) cv::narrowOne(pSrc + i, pDst + i), ++i;
  if (len - i >= 16) {
    const bool stream = len - i - 16 > cv::kStreamThreshold;
    for (; len - i >= 16; i += 16) {
      const __m128i a0 = cv::load16(pSrc + i), a1 = cv::load16(pSrc + i + 4);
      const __m128i a2 = cv::load16(pSrc + i + 8), a3 = cv::load16(pSrc + i + 12);
      const __m128i p0 = _mm_packs_epi32(a0, a1), p1 = _mm_packs_epi32(a2, a3);
      if (stream) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i), p0);
        _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i + 8), p1);
      } else {
        cv::store16(pDst + i, p0);
        cv::store16(pDst + i + 8, p1);
      }
    }
    if (stream) _mm_sfence();
  }
  for (; len - i >= 4; i += 4) cv::store8(pDst + i, cv::narrowLane(cv::load16(pSrc + i)));
  for (; i < len; ++i) cv::narrowOne(pSrc + i, pDst + i);
}

void PRIM_BUILD(ownsConvert_8s16s)(const std::int8_t* pSrc, Prim16s* pDst, int len) {
  int i = 0;
  while (i < len && (cv::addr(pDst + i) & 15)) cv::st(pDst, i, Prim16s{pSrc[i]}), ++i;
  for (; len - i >= 32; i += 32) {
    const __m128i a0 = cv::load8(pSrc + i), a1 = cv::load8(pSrc + i + 8);
    const __m128i a2 = cv::load8(pSrc + i + 16), a3 = cv::load8(pSrc + i + 24);
    cv::store16(pDst + i, cv::widen8(a0));
    cv::store16(pDst + i + 8, cv::widen8(a1));
    cv::store16(pDst + i + 16, cv::widen8(a2));
    cv::store16(pDst + i + 24, cv::widen8(a3));
  }
  for (; len - i >= 8; i += 8) cv::store16(pDst + i, cv::widen8(cv::load8(pSrc + i)));
  for (; len - i >= 2; i += 2) {
    std::uint16_t two;
    std::memcpy(&two, pSrc + i, 2);
    cv::store4(pDst + i, cv::widen8(_mm_cvtsi32_si128(two)));
  }
  if (i < len) cv::st(pDst, i, Prim16s{pSrc[i]});
}

void PRIM_BUILD(ownsConvert_16s32s)(const Prim16s* pSrc, Prim32s* pDst, int len) {
  int i = 0;
  while (i < len && (cv::addr(pDst + i) & 15)) cv::st(pDst, i, Prim32s{cv::ld(pSrc, i)}), ++i;
  if (len - i >= 16) {
    const bool stream = len - i - 16 > cv::kStreamThreshold && (cv::addr(pDst + i) & 15) == 0;
    for (; len - i >= 16; i += 16) {
      const __m128i a0 = cv::load8(pSrc + i), a1 = cv::load8(pSrc + i + 4);
      const __m128i a2 = cv::load8(pSrc + i + 8), a3 = cv::load8(pSrc + i + 12);
      const __m128i w[4] = {cv::widen16(a0), cv::widen16(a1), cv::widen16(a2), cv::widen16(a3)};
      for (int k = 0; k < 4; ++k) {
        if (stream)
          _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i + 4 * k), w[k]);
        else
          cv::store16(pDst + i + 4 * k, w[k]);
      }
    }
    if (stream) _mm_sfence();
  }
  for (; len - i >= 4; i += 4) cv::store16(pDst + i, cv::widen16(cv::load8(pSrc + i)));
  for (; i < len; ++i) cv::st(pDst, i, Prim32s{cv::ld(pSrc, i)});
}

#if PRIM_GEN_LEVEL < PRIM_LEVEL_SSE41
// Integer to float members of the sse2 and ssse3 builds.  Head while the
// destination has bit 2 or 3 set, whole vectors, then single elements.
namespace prim::PRIM_GEN_NS::convert {
namespace {
template <class T, class Widen>
void toFloat(const T* s, Prim32f* d, int len, Widen widen) {
  int i = 0;
  while (i < len && (addr(d + i) & 12)) st(d, i, static_cast<Prim32f>(ld(s, i))), ++i;
  constexpr int perLoad = 16 / sizeof(T);  // elements of one 16-byte load
  for (; len - i >= perLoad; i += perLoad) {
    __m128i q[4];
    widen(load16(s + i), q);
    for (int k = 0; k < perLoad / 4; ++k) _mm_storeu_ps(d + i + 4 * k, _mm_cvtepi32_ps(q[k]));
  }
  for (; i < len; ++i) st(d, i, static_cast<Prim32f>(ld(s, i)));
}
}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

void PRIM_BUILD(ownsConvert_8s32f)(const std::int8_t* pSrc, Prim32f* pDst, int len) {
  cv::toFloat(pSrc, pDst, len, [](__m128i x, __m128i* q) {
    const __m128i lo = _mm_srai_epi16(_mm_unpacklo_epi8(x, x), 8),
                  hi = _mm_srai_epi16(_mm_unpackhi_epi8(x, x), 8);
    q[0] = _mm_srai_epi32(_mm_unpacklo_epi16(lo, lo), 16);
    q[1] = _mm_srai_epi32(_mm_unpackhi_epi16(lo, lo), 16);
    q[2] = _mm_srai_epi32(_mm_unpacklo_epi16(hi, hi), 16);
    q[3] = _mm_srai_epi32(_mm_unpackhi_epi16(hi, hi), 16);
  });
}
void PRIM_BUILD(ownsConvert_8u32f)(const Prim8u* pSrc, Prim32f* pDst, int len) {
  cv::toFloat(pSrc, pDst, len, [](__m128i x, __m128i* q) {
    const __m128i z = _mm_setzero_si128();
    const __m128i lo = _mm_unpacklo_epi8(x, z), hi = _mm_unpackhi_epi8(x, z);
    q[0] = _mm_unpacklo_epi16(lo, z);
    q[1] = _mm_unpackhi_epi16(lo, z);
    q[2] = _mm_unpacklo_epi16(hi, z);
    q[3] = _mm_unpackhi_epi16(hi, z);
  });
}
void PRIM_BUILD(ownsConvert_16s32f)(const Prim16s* pSrc, Prim32f* pDst, int len) {
  cv::toFloat(pSrc, pDst, len, [](__m128i x, __m128i* q) {
    q[0] = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
    q[1] = _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16);
  });
}
void PRIM_BUILD(ownsConvert_16u32f)(const Prim16u* pSrc, Prim32f* pDst, int len) {
  cv::toFloat(pSrc, pDst, len, [](__m128i x, __m128i* q) {
    q[0] = _mm_unpacklo_epi16(x, _mm_setzero_si128());
    q[1] = _mm_unpackhi_epi16(x, _mm_setzero_si128());
  });
}
// Rounds under the caller's rounding mode and drops the inexact flag that
// rounding raises: the caller's MXCSR is as it was.
void PRIM_BUILD(ownsConvert_32s32f)(const Prim32s* pSrc, Prim32f* pDst, int len) {
  cv::MxcsrKeep keep;
  cv::toFloat(pSrc, pDst, len, [](__m128i x, __m128i* q) { q[0] = x; });
}
void PRIM_BUILD(ownsConvert_32s64f)(const Prim32s* pSrc, Prim64f* pDst, int len) {
  int i = 0;
  if (len > 0 && (cv::addr(pDst) & 8)) cv::st(pDst, 0, Prim64f(cv::ld(pSrc, 0))), i = 1;
  for (; len - i >= 4; i += 4) {
    const __m128d a = _mm_cvtepi32_pd(cv::load8(pSrc + i)), b = _mm_cvtepi32_pd(cv::load8(pSrc + i + 2));
    _mm_storeu_pd(pDst + i, a);
    _mm_storeu_pd(pDst + i + 2, b);
  }
  if (len - i >= 2) _mm_storeu_pd(pDst + i, _mm_cvtepi32_pd(cv::load8(pSrc + i))), i += 2;
  if (i < len) cv::st(pDst, i, Prim64f(cv::ld(pSrc, i)));
}
#endif

// ===========================================================================
// Float to 32-bit integer: kernels and entry.

void PRIM_BUILD(ownsConvert_32f32s_Sfs)(const Prim32f* pSrc, Prim32s* pDst, int len, int nearest,
                                        int scaleFactor) {
  if (nearest)
    cv::f2iKernel<cv::Round::nearestEven>(pSrc, pDst, len, scaleFactor);
  else
    cv::f2iKernel<cv::Round::towardZero>(pSrc, pDst, len, scaleFactor);
}

void PRIM_CONVERT_HALFAWAY(const Prim32f* pSrc, Prim32s* pDst, int len, int scaleFactor) {
  cv::f2iKernel<cv::Round::halfAway>(pSrc, pDst, len, scaleFactor);
}

PrimResult PRIM_BUILD(vecConvert_32f32s_Sfs)(const Prim32f* pSrc, Prim32s* pDst, int len, int roundMode,
                                             int scaleFactor) {
  if (PrimResult st = cv::checkConvert(pSrc, pDst, len)) return st;
  if (roundMode == 1)
    PRIM_BUILD(ownsConvert_32f32s_Sfs)(pSrc, pDst, len, 1, scaleFactor);
  else if (roundMode == 0)
    PRIM_BUILD(ownsConvert_32f32s_Sfs)(pSrc, pDst, len, 0, scaleFactor);
  else
    PRIM_CONVERT_HALFAWAY(pSrc, pDst, len, scaleFactor);
  return primResultOk;
}

PrimResult PRIM_BUILD(vecConvert_32s16s)(const Prim32s* pSrc, Prim16s* pDst, int len) {
  if (PrimResult st = cv::checkConvert(pSrc, pDst, len)) return st;
  PRIM_BUILD(ownsConvert_32s16s)(pSrc, pDst, len);
  return primResultOk;
}

// ===========================================================================
// 32-bit integer to float: conversion under the caller's rounding mode, then
// an exact multiplication.  In place and overlapping calls, and short ones,
// take the scalar pair loop; otherwise a head aligns the destination.
PrimResult PRIM_BUILD(vecConvert_32s32f_Sfs)(const Prim32s* pSrc, Prim32f* pDst, int len, int scaleFactor) {
  if (PrimResult st = cv::checkConvert(pSrc, pDst, len)) return st;
  cv::MxcsrKeep keep;
  const bool scale = scaleFactor != 0;
  const float m = cv::pow2NegFloat(cv::clampIntToFloatFactor(scaleFactor));
  auto scalar = [&](int from, int to) {
    for (int i = from; i < to; ++i) cv::st(pDst, i, cv::intToFloat(cv::ld(pSrc, i), m, scale));
  };
  if (len <= 6 || cv::rangesOverlap(pSrc, pDst, std::size_t(len) * 4)) {
    int i = 0;
    for (; i + 2 <= len; i += 2) {
      const Prim32s a = cv::ld(pSrc, i), b = cv::ld(pSrc, i + 1);
      cv::st(pDst, i, cv::intToFloat(a, m, scale));
      cv::st(pDst, i + 1, cv::intToFloat(b, m, scale));
    }
    if (i < len) cv::st(pDst, i, cv::intToFloat(cv::ld(pSrc, i), m, scale));
    return primResultOk;
  }
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX
  // 16 elements per pass as two 8-lane vectors, destination on 32 bytes
  // (the avx2 build only from 57 elements on).
  const __m256 m8 = _mm256_set1_ps(m);
  auto pass8 = [&](int i) {
    __m256 v = _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + i)));
    if (scale) v = _mm256_mul_ps(v, m8);
    return v;
  };
  if (len < 16) return scalar(0, len), primResultOk;
  int i = 0;
  const bool head = PRIM_GEN_LEVEL == PRIM_LEVEL_AVX || len >= 57;
  if (head) {
    const int h = static_cast<int>(((32 - (cv::addr(pDst) & 31)) & 31) / 4);
    if ((cv::addr(pDst) & 3) || len < h + 16) return scalar(0, len), primResultOk;
    scalar(0, h);
    i = h;
  }
  for (; len - i >= 16; i += 16) {
    const __m256 a = pass8(i), b = pass8(i + 8);
    _mm256_storeu_ps(pDst + i, a);
    _mm256_storeu_ps(pDst + i + 8, b);
  }
#if PRIM_GEN_LEVEL == PRIM_LEVEL_AVX2
  if (len - i >= 8) _mm256_storeu_ps(pDst + i, pass8(i)), i += 8;
#endif
  scalar(i, len);
#else
  // 8 elements per pass as two 4-lane vectors, destination on 16 bytes.
  if (len < 8 || (cv::addr(pDst) & 3)) return scalar(0, len), primResultOk;
  const int h = static_cast<int>(((16 - (cv::addr(pDst) & 15)) & 15) / 4);
  if (len < h + 8) return scalar(0, len), primResultOk;
  scalar(0, h);
  const __m128 m4 = _mm_set1_ps(m);
  int i = h;
  for (; len - i >= 8; i += 8) {
    __m128 a = _mm_cvtepi32_ps(cv::load16(pSrc + i)), b = _mm_cvtepi32_ps(cv::load16(pSrc + i + 4));
    if (scale) a = _mm_mul_ps(a, m4), b = _mm_mul_ps(b, m4);
    _mm_storeu_ps(pDst + i, a);
    _mm_storeu_ps(pDst + i + 4, b);
  }
  scalar(i, len);
#endif
  return primResultOk;
}

// ===========================================================================
// Shifts by a constant.
namespace prim::PRIM_GEN_NS::convert {
namespace {

struct Sll16 {
  __m128i c;
  __m128i operator()(__m128i x) const { return _mm_sll_epi16(x, c); }
};
struct Sra16 {
  __m128i c;
  __m128i operator()(__m128i x) const { return _mm_sra_epi16(x, c); }
};
struct Srl16 {
  __m128i c;
  __m128i operator()(__m128i x) const { return _mm_srl_epi16(x, c); }
};
struct Sll32 {
  __m128i c;
  __m128i operator()(__m128i x) const { return _mm_sll_epi32(x, c); }
};
struct Sra32 {
  __m128i c;
  __m128i operator()(__m128i x) const { return _mm_sra_epi32(x, c); }
};
// Bytes: 16-bit lane shift, then a mask removes the bits that crossed from
// the neighbouring byte.
struct Sll8 {
  __m128i c, mask;
  __m128i operator()(__m128i x) const { return _mm_and_si128(_mm_sll_epi16(x, c), mask); }
};
struct Srl8 {
  __m128i c, mask;
  __m128i operator()(__m128i x) const { return _mm_and_si128(_mm_srl_epi16(x, c), mask); }
};

// k vectors of 16 bytes from byte offset `at`, all loaded before any store.
template <int K, class Op>
inline void blocks16(const Prim8u* s, Prim8u* d, const Op& op) {
  __m128i v[K];
  for (int k = 0; k < K; ++k) v[k] = op(load16(s + 16 * k));
  for (int k = 0; k < K; ++k) store16(d + 16 * k, v[k]);
}

// 16-bit blocking: an odd destination in 8-, 4- and 2-byte steps; otherwise a
// head to a 16-byte destination when the length allows it, then 32, 16, 8,
// 4, 2 and 1 elements.
template <class T, class Op>
void shift16(const T* pSrc, T* pDst, int len, const Op& op) {
  const auto* s = reinterpret_cast<const Prim8u*>(pSrc);
  auto* d = reinterpret_cast<Prim8u*>(pDst);
  std::size_t n = std::size_t(len) * 2, at = 0;  // bytes
  if (addr(d) & 1) {
    for (; n - at >= 8; at += 8) store8(d + at, op(load8(s + at)));
    if (n - at >= 4) store4(d + at, op(load4(s + at))), at += 4;
    if (n - at >= 2) oneLane(pSrc + at / 2, pDst + at / 2, op);
    return;
  }
  const std::size_t head = (16 - (addr(d) & 15)) & 15;
  if (n >= head)
    for (; at < head; at += 2) oneLane(pSrc + at / 2, pDst + at / 2, op);
  for (; n - at >= 64; at += 64) blocks16<4>(s + at, d + at, op);
  if (n - at >= 32) blocks16<2>(s + at, d + at, op), at += 32;
  if (n - at >= 16) blocks16<1>(s + at, d + at, op), at += 16;
  if (n - at >= 8) store8(d + at, op(load8(s + at))), at += 8;
  if (n - at >= 4) store4(d + at, op(load4(s + at))), at += 4;
  if (n - at >= 2) oneLane(pSrc + at / 2, pDst + at / 2, op);
}

// 32-bit blocking: a destination off a 4-byte boundary in 8-byte steps;
// otherwise a head to 16 bytes when the length allows it, then 16, 8, 4, 2, 1.
template <class Op>
void shift32(const Prim32s* pSrc, Prim32s* pDst, int len, const Op& op) {
  const auto* s = reinterpret_cast<const Prim8u*>(pSrc);
  auto* d = reinterpret_cast<Prim8u*>(pDst);
  std::size_t n = std::size_t(len) * 4, at = 0;
  if (addr(d) & 3) {
    for (; n - at >= 8; at += 8) store8(d + at, op(load8(s + at)));
    if (n - at >= 4) store4(d + at, op(load4(s + at)));
    return;
  }
  const std::size_t head = (16 - (addr(d) & 15)) & 15;
  if (n >= head)
    for (; at < head; at += 4) store4(d + at, op(load4(s + at)));
  for (; n - at >= 64; at += 64) blocks16<4>(s + at, d + at, op);
  if (n - at >= 32) blocks16<2>(s + at, d + at, op), at += 32;
  if (n - at >= 16) blocks16<1>(s + at, d + at, op), at += 16;
  if (n - at >= 8) store8(d + at, op(load8(s + at))), at += 8;
  if (n - at >= 4) store4(d + at, op(load4(s + at)));
}

// Byte blocking: a head to 16 bytes when the length allows it, then 64, 32,
// 16, 8 and 4 bytes, then the last 0 to 3 one at a time.
template <class Op>
void shift8(const Prim8u* s, Prim8u* d, int len, const Op& op) {
  std::size_t n = std::size_t(len), at = 0;
  const std::size_t head = (16 - (addr(d) & 15)) & 15;
  if (n >= head)
    for (; at < head; ++at) oneLane(s + at, d + at, op);
  for (; n - at >= 64; at += 64) blocks16<4>(s + at, d + at, op);
  if (n - at >= 32) blocks16<2>(s + at, d + at, op), at += 32;
  if (n - at >= 16) blocks16<1>(s + at, d + at, op), at += 16;
  if (n - at >= 8) store8(d + at, op(load8(s + at))), at += 8;
  if (n - at >= 4) store4(d + at, op(load4(s + at))), at += 4;
  for (; at < n; ++at) oneLane(s + at, d + at, op);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

#if PRIM_GEN_LEVEL < PRIM_LEVEL_AVX2
void PRIM_BUILD(ownsLShiftC_16s)(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  cv::shift16(pSrc, pDst, len, cv::Sll16{_mm_cvtsi32_si128(val)});
}
void PRIM_BUILD(ownsRShiftC_16s)(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  cv::shift16(pSrc, pDst, len, cv::Sra16{_mm_cvtsi32_si128(val)});
}
void PRIM_BUILD(ownsRShiftC_16u)(const Prim16u* pSrc, int val, Prim16u* pDst, int len) {
  cv::shift16(pSrc, pDst, len, cv::Srl16{_mm_cvtsi32_si128(val)});
}
void PRIM_BUILD(ownsRShiftC_32s)(const Prim32s* pSrc, int val, Prim32s* pDst, int len) {
  cv::shift32(pSrc, pDst, len, cv::Sra32{_mm_cvtsi32_si128(val)});
}
void PRIM_BUILD(ownsLShiftC_32s)(const Prim32s* pSrc, int val, Prim32s* pDst, int len) {
  cv::shift32(pSrc, pDst, len, cv::Sll32{_mm_cvtsi32_si128(val)});
}
void PRIM_BUILD(ownsLShiftC_8u)(const Prim8u* pSrc, int val, Prim8u* pDst, int len) {
  // The mask comes from the same lane shift, so every count is defined:
  // from 8 on (negative counts read as unsigned) every byte becomes 0.
  const __m128i c = _mm_cvtsi32_si128(val);
  const __m128i lo = _mm_and_si128(_mm_sll_epi16(_mm_set1_epi16(0xff), c), _mm_set1_epi16(0xff));
  cv::shift8(pSrc, pDst, len, cv::Sll8{c, _mm_or_si128(lo, _mm_slli_epi16(lo, 8))});
}
void PRIM_BUILD(ownsRShiftC_8u)(const Prim8u* pSrc, int val, Prim8u* pDst, int len) {
  const __m128i c = _mm_cvtsi32_si128(val);
  const __m128i lo = _mm_srl_epi16(_mm_set1_epi16(0xff), c);
  cv::shift8(pSrc, pDst, len, cv::Srl8{c, _mm_or_si128(lo, _mm_slli_epi16(lo, 8))});
}

PrimResult PRIM_BUILD(ownsLShiftC_16s_Body)(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  if (val == 0) return PRIM_BUILD(vecCopy_16s)(pSrc, pDst, len);
  if (val > 15) {
    if (!pSrc) return primResultNullPointer;
    return PRIM_BUILD(vecZero_16s)(pDst, len);
  }
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  PRIM_BUILD(ownsLShiftC_16s)(pSrc, val, pDst, len);
  return primResultOk;
}

PrimResult PRIM_BUILD(vecRShiftC_16s)(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  if (val == 0) return PRIM_BUILD(vecCopy_16s)(pSrc, pDst, len);
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  if (val > 15)
    cv::signFill(pSrc, pDst, len);
  else
    PRIM_BUILD(ownsRShiftC_16s)(pSrc, val, pDst, len);
  return primResultOk;
}

PrimResult PRIM_BUILD(vecRShiftC_32s)(const Prim32s* pSrc, int val, Prim32s* pDst, int len) {
  if (val == 0) return PRIM_BUILD(vecCopy_32s)(pSrc, pDst, len);
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  if (val > 31)
    cv::signFill(pSrc, pDst, len);
  else
    PRIM_BUILD(ownsRShiftC_32s)(pSrc, val, pDst, len);
  return primResultOk;
}

#else  // avx2: 256-bit loops in the body and the entries

// Left shift: below 16 elements one at a time; up to 1392 no head, 16 per
// step from index 0; from 1393 a head to a 32-byte destination (an odd one
// goes one at a time); then one step of 8 and single elements.
PrimResult avx2_ownsLShiftC_16s_Body(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  if (val == 0) return avx2_vecCopy_16s(pSrc, pDst, len);
  if (val > 15) {
    if (!pSrc) return primResultNullPointer;
    return avx2_vecZero_16s(pDst, len);
  }
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  auto single = [&](int from, int to) {
    for (int i = from; i < to; ++i) cv::st(pDst, i, cv::shl16(cv::ld(pSrc, i), val));
  };
  if (len < 16) return single(0, len), primResultOk;
  int i = 0;
  if (len >= 1393) {
    if (cv::addr(pDst) & 1) return single(0, len), primResultOk;
    const int h = static_cast<int>(((32 - (cv::addr(pDst) & 31)) & 31) / 2);
    single(0, h);
    i = h;
  }
  const __m128i c = _mm_cvtsi32_si128(val);
  for (; len - i >= 16; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + i), _mm256_sll_epi16(v, c));
  }
  if (len - i >= 8) cv::store16(pDst + i, _mm_sll_epi16(cv::load16(pSrc + i), c)), i += 8;
  single(i, len);
  return primResultOk;
}

namespace prim::PRIM_GEN_NS::convert {
namespace {
// Right shifts: the scalar pair loop for short, in-place and overlapping
// calls; below the head threshold no head; then 16 elements per pass, one
// pass of 8, single elements.
template <class T, int HeadThreshold, class Vec16, class Vec8>
void rshiftAvx2(const T* pSrc, int val, T* pDst, int len, Vec16 pass16, Vec8 pass8) {
  auto single = [&](int from, int to) {
    for (int i = from; i < to; ++i) st(pDst, i, static_cast<T>(ld(pSrc, i) >> val));
  };
  if (len <= 6 || rangesOverlap(pSrc, pDst, std::size_t(len) * sizeof(T))) {
    int i = 0;
    for (; i + 2 <= len; i += 2) {
      const T a = ld(pSrc, i), b = ld(pSrc, i + 1);
      st(pDst, i, static_cast<T>(a >> val));
      st(pDst, i + 1, static_cast<T>(b >> val));
    }
    single(i, len);
    return;
  }
  if (len < 16) return single(0, len);
  int i = 0;
  if (len >= HeadThreshold) {
    const int h = static_cast<int>(((32 - (addr(pDst) & 31)) & 31) / sizeof(T));
    if ((addr(pDst) & (sizeof(T) - 1)) || len < h + 16) return single(0, len);
    single(0, h);
    i = h;
  }
  for (; len - i >= 16; i += 16) pass16(i);
  if (len - i >= 8) pass8(i), i += 8;
  single(i, len);
}
}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

PrimResult avx2_vecRShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  if (val == 0) return avx2_vecCopy_16s(pSrc, pDst, len);
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  if (val > 15) return cv::signFill(pSrc, pDst, len), primResultOk;
  const __m128i c = _mm_cvtsi32_si128(val);
  cv::rshiftAvx2<Prim16s, 1393>(
      pSrc, val, pDst, len,
      [&](int i) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + i), _mm256_sra_epi16(v, c));
      },
      [&](int i) { cv::store16(pDst + i, _mm_sra_epi16(cv::load16(pSrc + i), c)); });
  return primResultOk;
}

PrimResult avx2_vecRShiftC_32s(const Prim32s* pSrc, int val, Prim32s* pDst, int len) {
  if (val == 0) return avx2_vecCopy_32s(pSrc, pDst, len);
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  if (val > 31) return cv::signFill(pSrc, pDst, len), primResultOk;
  const __m128i c = _mm_cvtsi32_si128(val);
  auto pass8 = [&](int i) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + i), _mm256_sra_epi32(v, c));
  };
  cv::rshiftAvx2<Prim32s, 57>(
      pSrc, val, pDst, len,
      [&](int i) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + i + 8));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + i), _mm256_sra_epi32(a, c));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + i + 8), _mm256_sra_epi32(b, c));
      },
      pass8);
  return primResultOk;
}
#endif

PrimResult PRIM_BUILD(vecLShiftC_16s)(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  return PRIM_BUILD(ownsLShiftC_16s_Body)(pSrc, val, pDst, len);
}

#undef PRIM_CONVERT_HALFAWAY
