// Conversions to narrower integers, one source compiled per generation
// (ssse3, sse41 and avx; it needs nothing beyond sse2): floats to signed and
// unsigned 8- and 16-bit integers, doubles and 64-bit integers to 32-bit
// integers, each scaled by 2^-scaleFactor, rounded and saturated.
//
// Every float and double kernel gives the generic rule of the 32-bit
// conversion (the px build of vecConvert_32f32s_Sfs, roundScaled) saturated
// to the destination range: NaN gives the type's minimum, +infinity its
// maximum, -infinity its minimum, whatever the build, the alignment or the
// caller's MXCSR.  Each of them computes under its own MXCSR and gives the
// caller's back exactly.  The result of element i lies at or below its
// source, and every step loads all its elements before it stores, so pDst
// may be pSrc itself.
#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "primitives/convert/vec_convert_builds.h"
#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/convert/vec_convert_lanes-inl.h"
#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::convert {
namespace {

template <int N>
using Count = std::integral_constant<int, N>;

// The blocking of every kernel here: single elements until the destination
// is on a 16-byte boundary (none when it is off its element boundary), steps
// of Step elements, then one step each of Step/2, ..., 2 and 1 elements as
// far as the length goes.  block(i, Count<n>) converts elements i .. i+n-1.
template <int N, class Block>
inline void tailSteps(int i, int len, const Block& block) {
  if constexpr (N >= 1) {
    if (len - i >= N) block(i, Count<N>{}), i += N;
    tailSteps<N / 2>(i, len, block);
  }
}

template <int Step, class D, class Block>
inline void walk(const D* d, int len, const Block& block) {
  int i = 0;
  if ((addr(d) & (sizeof(D) - 1)) == 0) {
    int head = static_cast<int>(((16 - (addr(d) & 15)) & 15) / sizeof(D));
    if (head > len) head = len;
    for (; i < head; ++i) block(i, Count<1>{});
  }
  for (; len - i >= Step; i += Step) block(i, Count<Step>{});
  tailSteps<Step / 2>(i, len, block);
}

// Stores the low N bytes of v.
template <int N>
inline void storeLow(void* p, __m128i v) {
  if constexpr (N == 16) {
    store16(p, v);
  } else if constexpr (N == 8) {
    store8(p, v);
  } else if constexpr (N == 4) {
    store4(p, v);
  } else {
    const std::uint32_t r = static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
    std::memcpy(p, &r, N);
  }
}

// 32-bit lanes of a, then b, to 16-bit lanes with unsigned saturation.
inline __m128i packUnsigned16(__m128i a, __m128i b) {
#if defined(__SSE4_1__)
  return _mm_packus_epi32(a, b);
#else
  // Negative lanes to 0; a bias of -32768 moves 0..65535 onto the signed
  // range, whose saturation then holds, and the flip of bit 15 undoes it.
  a = _mm_andnot_si128(_mm_srai_epi32(a, 31), a);
  b = _mm_andnot_si128(_mm_srai_epi32(b, 31), b);
  const __m128i bias = _mm_set1_epi32(-32768);
  const __m128i w = _mm_packs_epi32(_mm_add_epi32(a, bias), _mm_add_epi32(b, bias));
  return _mm_xor_si128(w, _mm_set1_epi16(static_cast<short>(0x8000)));
#endif
}

// K vectors (1, 2 or 4) of 32-bit results saturated to D; the low
// 4 * K * sizeof(D) bytes hold them in order.
template <class D, int K>
inline __m128i narrowLanes(const __m128i* r) {
  const __m128i r1 = K > 1 ? r[1] : r[0];
  if constexpr (std::is_same_v<D, Prim16s>) {
    return _mm_packs_epi32(r[0], r1);
  } else if constexpr (std::is_same_v<D, Prim16u>) {
    return packUnsigned16(r[0], r1);
  } else {
    const __m128i w0 = _mm_packs_epi32(r[0], r1);
    const __m128i w1 = K > 2 ? _mm_packs_epi32(r[2], r[3]) : w0;
    if constexpr (std::is_same_v<D, std::int8_t>)
      return _mm_packs_epi16(w0, w1);
    else
      return _mm_packus_epi16(w0, w1);
  }
}

template <class D>
inline D saturateTo(Prim32s v) {
  constexpr Prim32s lo = std::numeric_limits<D>::min(), hi = std::numeric_limits<D>::max();
  return static_cast<D>(v < lo ? lo : (v > hi ? hi : v));
}

// ===========================================================================
// Float to 8- and 16-bit integers: the four-lane 32-bit step F2I, then the
// saturating packs (NaN and -infinity come out of F2I as -2^31, +infinity
// as 2^31 - 1).  One 16-byte store per step: 16 bytes or 8 words.
template <class D, Round R>
void floatToNarrow(const Prim32f* s, D* d, int len, int sf) {
  if (!vectorScaleFactor(sf)) {
    // Multipliers that are no normal float: the generic rule, one by one.
    MxcsrScope scope(kMxcsrNearest);
    const double m = genericMultiplier(R, sf);
    for (int i = 0; i < len; ++i) st(d, i, saturateTo<D>(roundScaled(static_cast<double>(ld(s, i)) * m, R)));
    return;
  }
  MxcsrScope scope(R == Round::halfAway ? kMxcsrTowardZero : kMxcsrNearest);
  auto run = [&](const auto& op) {
    walk<16 / sizeof(D)>(d, len, [&](int i, auto n) {
      constexpr int N = decltype(n)::value;
      constexpr int K = (N + 3) / 4;
      __m128i r[K];
      if constexpr (N >= 4) {
        for (int k = 0; k < K; ++k) r[k] = op(_mm_loadu_ps(s + i + 4 * k));
      } else if constexpr (N == 2) {
        r[0] = op(_mm_castsi128_ps(load8(s + i)));
      } else {
        r[0] = op(_mm_castsi128_ps(load4(s + i)));
      }
      storeLow<N* static_cast<int>(sizeof(D))>(d + i, narrowLanes<D, K>(r));
    });
  };
  const __m128 m = _mm_set1_ps(pow2NegFloat(sf));
  if (sf == 0)
    run(F2I<R, false>{m});
  else
    run(F2I<R, true>{m});
}

template <class D>
void floatToNarrowTwoModes(const Prim32f* s, D* d, int len, int roundMode, int sf) {
  if (roundMode == 0)
    floatToNarrow<D, Round::towardZero>(s, d, len, sf);
  else
    floatToNarrow<D, Round::nearestEven>(s, d, len, sf);
}

// ===========================================================================
// Double to 32-bit integer.  The multiplier is the generic rule's
// (genericMultiplier), and the double product x * m is exact short of an
// overflow (which saturates all the same) or a result below 2^-1022 (which
// rounds to 0 all the same), so every scale factor takes the vector path.
// The conversions give 0x80000000 for NaN and every value out of range;
// lanes whose rounding reaches 2^31 (an ordered comparison, NaN excluded)
// are flipped to 0x7fffffff.
template <Round R, bool Scale>
struct D2I {
  __m128d m2;
  // Two doubles to two 32-bit integers in the low half.
  __m128i operator()(__m128d x) const {
    __m128d v = Scale ? _mm_mul_pd(x, m2) : x;
    __m128i r;
    double limit = 2147483648.0;
    if constexpr (R == Round::nearestEven) {
      r = _mm_cvtpd_epi32(v);
      limit = 2147483647.5;  // rounds to 2^31 (ties to even)
    } else if constexpr (R == Round::towardZero) {
      r = _mm_cvttpd_epi32(v);
    } else {
      // Rounding control is toward zero: |v| + 0.5 never rounds up to the
      // next integer, so truncation gives floor(|v| + 0.5).
      const __m128d sign = _mm_set1_pd(-0.0);
      v = _mm_or_pd(_mm_add_pd(_mm_andnot_pd(sign, v), _mm_set1_pd(0.5)), _mm_and_pd(v, sign));
      r = _mm_cvttpd_epi32(v);
    }
    const __m128i high = _mm_castpd_si128(_mm_cmpge_pd(v, _mm_set1_pd(limit)));
    return _mm_xor_si128(r, _mm_shuffle_epi32(high, _MM_SHUFFLE(3, 3, 2, 0)));
  }
};

template <Round R>
void doubleToInt(const Prim64f* s, Prim32s* d, int len, int sf) {
  MxcsrScope scope(R == Round::halfAway ? kMxcsrTowardZero : kMxcsrNearest);
  auto run = [&](const auto& op) {
    walk<4>(d, len, [&](int i, auto n) {
      constexpr int N = decltype(n)::value;
      if constexpr (N == 4) {
        const __m128i a = op(_mm_loadu_pd(s + i)), b = op(_mm_loadu_pd(s + i + 2));
        store16(d + i, _mm_unpacklo_epi64(a, b));
      } else if constexpr (N == 2) {
        store8(d + i, op(_mm_loadu_pd(s + i)));
      } else {
        store4(d + i, op(_mm_castsi128_pd(load8(s + i))));
      }
    });
  };
  const __m128d m = _mm_set1_pd(genericMultiplier(R, sf));
  if (sf == 0)
    run(D2I<R, false>{m});
  else
    run(D2I<R, true>{m});
}

// ===========================================================================
// 64-bit integer to 32-bit integer: x / 2^sf rounded half away from zero,
// saturated.  Pure integer arithmetic; the control register is not touched.
// Without 64-bit arithmetic shifts and compares, vector lanes cost more than
// this scalar loop, which has no branch, in the sse2, ssse3 and avx builds;
// the sse41 build has vector lanes for the factors 1 to 63, made of SSE4.1
// blends that choose by the top bit of each 64-bit lane.

inline Prim32s saturate32(__int128 v) {
  return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<Prim32s>(v));
}

// sf from 1 to 63: floor(x / 2^sf), up by one when the remainder reaches
// one half (x >= 0) or passes it (x < 0); a misfit saturates by its sign,
// which is the source's.
inline Prim32s longToIntShift(std::int64_t x, int sf) {
  const std::uint64_t rem = static_cast<std::uint64_t>(x) & ((std::uint64_t{1} << sf) - 1);
  std::int64_t q = (x >> sf) + (rem + (x >= 0 ? 1 : 0) > (std::uint64_t{1} << (sf - 1)) ? 1 : 0);
  q = q > INT32_MAX ? INT32_MAX : q;  // two selects, no branch on the data
  q = q < INT32_MIN ? INT32_MIN : q;
  return static_cast<Prim32s>(q);
}

// The other factors: sf <= 0 multiplies (exactly, then saturates), sf >= 64
// leaves magnitudes of at most one half.
inline Prim32s longToIntOther(std::int64_t x, int sf) {
  if (sf <= 0) {
    if (x == 0) return 0;
    if (sf < -32) return x > 0 ? INT32_MAX : INT32_MIN;
    return saturate32(static_cast<__int128>(x) * (static_cast<__int128>(1) << -sf));
  }
  return sf == 64 && x == INT64_MIN ? -1 : 0;  // -2^63 / 2^64 is the one tie
}

#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSE41
// longToIntShift of two lanes, the results in the low words.  The blends
// choose by the top bit of each 64-bit lane, so the sign of x, of a
// difference or of a high word can pick between two lanes as they are.
struct L2I {
  __m128i count;      // sf
  __m128i signFill;   // the top sf bits set: x >> sf for negative x
  __m128i low, half;  // 2^sf - 1, 2^(sf-1)
  static __m128i pick(__m128i a, __m128i b, __m128i byTopBit) {
    return _mm_castpd_si128(
        _mm_blendv_pd(_mm_castsi128_pd(a), _mm_castsi128_pd(b), _mm_castsi128_pd(byTopBit)));
  }
  explicit L2I(int sf)
      : count(_mm_cvtsi32_si128(sf)),
        signFill(_mm_set1_epi64x(static_cast<long long>(~std::uint64_t{0} << (64 - sf)))),
        low(_mm_set1_epi64x(static_cast<long long>((std::uint64_t{1} << sf) - 1))),
        half(_mm_set1_epi64x(static_cast<long long>(std::uint64_t{1} << (sf - 1)))) {}
  __m128i operator()(__m128i x) const {
    const __m128i one = _mm_set1_epi64x(1);
    const __m128i shifted = _mm_srl_epi64(x, count);
    const __m128i floorQ = pick(shifted, _mm_or_si128(shifted, signFill), x);
    // The remainder, plus one for x >= 0 (at most 2^63), passes one half (at
    // most 2^62) when half minus it, which cannot overflow, is negative.
    const __m128i rem = _mm_and_si128(x, low);
    const __m128i up = pick(_mm_add_epi64(rem, one), rem, x);
    const __m128i q = pick(floorQ, _mm_add_epi64(floorQ, one), _mm_sub_epi64(half, up));
    // q fits 32 bits when the high word of q + 2^31 is 0; else it saturates
    // by its sign.
    const __m128i fits =
        _mm_cmpeq_epi32(_mm_add_epi64(q, _mm_set1_epi64x(0x80000000LL)), _mm_setzero_si128());
    const __m128i sat = pick(_mm_set1_epi64x(INT32_MAX), _mm_set1_epi64x(0x80000000LL), q);
    return pick(sat, q, fits);
  }
};
#endif

void longToInt(const Prim64s* s, Prim32s* d, int len, int sf) {
#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSE41
  if (sf >= 1 && sf <= 63) {
    const L2I op(sf);
    walk<4>(d, len, [&](int i, auto n) {
      constexpr int N = decltype(n)::value;
      if constexpr (N == 4) {
        const __m128 a = _mm_castsi128_ps(op(load16(s + i))), b = _mm_castsi128_ps(op(load16(s + i + 2)));
        store16(d + i, _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))));
      } else if constexpr (N == 2) {
        store8(d + i, _mm_shuffle_epi32(op(load16(s + i)), _MM_SHUFFLE(3, 3, 2, 0)));
      } else {
        store4(d + i, op(load8(s + i)));
      }
    });
    return;
  }
#endif
  if (sf >= 1 && sf <= 63)
    for (int i = 0; i < len; ++i) st(d, i, longToIntShift(ld(s, i), sf));
  else
    for (int i = 0; i < len; ++i) st(d, i, longToIntOther(ld(s, i), sf));
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::convert

namespace cv = prim::PRIM_GEN_NS::convert;

// An sse2 build of this source names its half-away kernels with the scale
// factor suffix last and its 64-bit integer kernel without a rounding suffix.
#if defined(__SSSE3__)
#define PRIM_NARROW_HALFAWAY(name) PRIM_BUILD(ownsConvert_##name##_Sfs_HalfAway)
#define PRIM_NARROW_64S PRIM_BUILD(ownsConvert_64s32s_Sfs_HalfAway)
#else
#define PRIM_NARROW_HALFAWAY(name) PRIM_BUILD(ownsConvert_##name##_HalfAway_Sfs)
#define PRIM_NARROW_64S PRIM_BUILD(ownsConvert_64s32s_Sfs)
#endif

void PRIM_BUILD(ownsConvert_32f8s_Sfs)(const Prim32f* pSrc, std::int8_t* pDst, int len, int roundMode,
                                       int scaleFactor) {
  cv::floatToNarrowTwoModes(pSrc, pDst, len, roundMode, scaleFactor);
}
void PRIM_BUILD(ownsConvert_32f8u_Sfs)(const Prim32f* pSrc, Prim8u* pDst, int len, int roundMode,
                                       int scaleFactor) {
  cv::floatToNarrowTwoModes(pSrc, pDst, len, roundMode, scaleFactor);
}
void PRIM_BUILD(ownsConvert_32f16s_Sfs)(const Prim32f* pSrc, Prim16s* pDst, int len, int roundMode,
                                        int scaleFactor) {
  cv::floatToNarrowTwoModes(pSrc, pDst, len, roundMode, scaleFactor);
}
void PRIM_BUILD(ownsConvert_32f16u_Sfs)(const Prim32f* pSrc, Prim16u* pDst, int len, int roundMode,
                                        int scaleFactor) {
  cv::floatToNarrowTwoModes(pSrc, pDst, len, roundMode, scaleFactor);
}
void PRIM_NARROW_HALFAWAY(32f8s)(const Prim32f* pSrc, std::int8_t* pDst, int len, int scaleFactor) {
  cv::floatToNarrow<std::int8_t, cv::Round::halfAway>(pSrc, pDst, len, scaleFactor);
}
void PRIM_NARROW_HALFAWAY(32f8u)(const Prim32f* pSrc, Prim8u* pDst, int len, int scaleFactor) {
  cv::floatToNarrow<Prim8u, cv::Round::halfAway>(pSrc, pDst, len, scaleFactor);
}
void PRIM_NARROW_HALFAWAY(32f16s)(const Prim32f* pSrc, Prim16s* pDst, int len, int scaleFactor) {
  cv::floatToNarrow<Prim16s, cv::Round::halfAway>(pSrc, pDst, len, scaleFactor);
}
void PRIM_NARROW_HALFAWAY(32f16u)(const Prim32f* pSrc, Prim16u* pDst, int len, int scaleFactor) {
  cv::floatToNarrow<Prim16u, cv::Round::halfAway>(pSrc, pDst, len, scaleFactor);
}

// The avx build carries no two-mode double kernel.
#if !defined(__AVX__)
void PRIM_BUILD(ownsConvert_64f32s_Sfs)(const Prim64f* pSrc, Prim32s* pDst, int len, int roundMode,
                                        int scaleFactor) {
  if (roundMode == 0)
    cv::doubleToInt<cv::Round::towardZero>(pSrc, pDst, len, scaleFactor);
  else
    cv::doubleToInt<cv::Round::nearestEven>(pSrc, pDst, len, scaleFactor);
}
#endif

void PRIM_NARROW_HALFAWAY(64f32s)(const Prim64f* pSrc, Prim32s* pDst, int len, int scaleFactor) {
  cv::doubleToInt<cv::Round::halfAway>(pSrc, pDst, len, scaleFactor);
}

void PRIM_NARROW_64S(const Prim64s* pSrc, Prim32s* pDst, int len, int scaleFactor) {
  cv::longToInt(pSrc, pDst, len, scaleFactor);
}

#undef PRIM_NARROW_HALFAWAY
#undef PRIM_NARROW_64S
