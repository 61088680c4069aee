// Vector builds of the wavelet primitives.  Each of wavelet_sse2.cpp ..
// wavelet_avx2.cpp includes this file once and compiles it with its own
// instruction set; PRIM_BUILD gives the build and kernel names the
// generation's prefix.
//
// The integer kernels reproduce the generic arithmetic exactly:
// - 5/3: floor((a + b) / 2) of two 16-bit lanes is (a & b) + ((a ^ b) >> 1),
//   which never overflows, and floor((a + b + 2) / 4) is floor((m + 1) / 2)
//   with m that average, so the 16-bit lanes give the exact sums.
// - 9/7 Q16: each constant outside the 16-bit range is split into a multiple
//   of 65536 (applied as whole samples) and a 16-bit remainder, so every
//   product and sum of a multiply-add of 16-bit pairs stays exact in its
//   32-bit lane; the rounding shift and the 16-bit saturation follow.
#include <immintrin.h>

#include <cstdint>

#include "primitives/core/gen_namespace.h"
#include "primitives/jpeg2000/wavelet_builds.h"
#include "primitives/jpeg2000/wavelet_lift.h"
#include "primitives/jpeg2000/wavelet_vec-inl.h"

namespace prim::PRIM_GEN_NS {
namespace {
using namespace wavelet;

inline __m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// ---------------------------------------------------------------------------
// 5/3

// floor((a + b) / 2) in 16-bit lanes, exact.
inline __m128i floorAvg16(__m128i a, __m128i b) {
  return _mm_add_epi16(_mm_and_si128(a, b), _mm_srai_epi16(_mm_xor_si128(a, b), 1));
}
// floor((a + b + 2) / 4) in 16-bit lanes, exact.
inline __m128i quarterRound16(__m128i a, __m128i b) {
  const __m128i m = floorAvg16(a, b);
  return _mm_add_epi16(_mm_srai_epi16(m, 1), _mm_and_si128(m, _mm_set1_epi16(1)));
}

// For i in 0..n-1: e = L[i] - floor((H[i] + H[i+1] + 2) / 4); writes the odd
// sample H[i] + floor((previous + e) / 2) at 2i and e at 2i+1.  Reads L[0..n-1]
// and H[0..n].  The previous even starts from the low 16 bits of `prev`.
void PRIM_BUILD(owniInvLift53Rows_16s)(int prev, const Prim16s* pL, const Prim16s* pH, int n, Prim16s* pD) {
  int i = 0;
  __m128i carry = _mm_cvtsi32_si128(static_cast<Prim16u>(prev));
  for (; i + 8 <= n; i += 8) {
    const __m128i h = load(pH + i), hn = load(pH + i + 1), l = load(pL + i);
    const __m128i e = _mm_sub_epi16(l, quarterRound16(h, hn));
    const __m128i ePrev = _mm_or_si128(_mm_slli_si128(e, 2), carry);
    const __m128i o = _mm_add_epi16(h, floorAvg16(ePrev, e));
    store(pD + 2 * i, _mm_unpacklo_epi16(o, e));
    store(pD + 2 * i + 8, _mm_unpackhi_epi16(o, e));
    carry = _mm_srli_si128(e, 14);
  }
  Prim16s p = static_cast<Prim16s>(_mm_cvtsi128_si32(carry));
  for (; i < n; ++i) {
    const Prim16s e = even53(pL[i], pH[i], pH[i + 1]);
    pD[2 * i] = odd53(pH[i], p, e);
    pD[2 * i + 1] = e;
    p = e;
  }
}

void PRIM_BUILD(owniInvLift53Rows_32s)(int prev, const Prim32s* pL, const Prim32s* pH, int n, Prim32s* pD) {
  int i = 0;
  __m128i carry = _mm_cvtsi32_si128(prev);
  const __m128i two = _mm_set1_epi32(2);
  for (; i + 4 <= n; i += 4) {
    const __m128i h = load(pH + i), hn = load(pH + i + 1), l = load(pL + i);
    const __m128i e = _mm_sub_epi32(l, _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(h, hn), two), 2));
    const __m128i ePrev = _mm_or_si128(_mm_slli_si128(e, 4), carry);
    const __m128i o = _mm_add_epi32(h, _mm_srai_epi32(_mm_add_epi32(ePrev, e), 1));
    store(pD + 2 * i, _mm_unpacklo_epi32(o, e));
    store(pD + 2 * i + 4, _mm_unpackhi_epi32(o, e));
    carry = _mm_srli_si128(e, 12);
  }
  Prim32s p = _mm_cvtsi128_si32(carry);
  for (; i < n; ++i) {
    const Prim32s e = even53(pL[i], pH[i], pH[i + 1]);
    pD[2 * i] = odd53(pH[i], p, e);
    pD[2 * i + 1] = e;
    p = e;
  }
}

template <class T, class Kernel>
PrimResult lift53Rows(const T* pLow, int lowStep, const T* pHigh, int highStep, int width, int height,
                      T* pDst, int dstStep, int phase, Kernel kernel) {
  const PrimResult r = checkRows(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y) {
    const T* L = rowAt(pLow, lowStep, y);
    const T* H = rowAt(pHigh, highStep, y);
    T* D = rowAt(pDst, dstStep, y);
    if (phase != 0) {
      kernel(even53(L[-1], H[-1], H[0]), L, H, width, D);
    } else {
      const T e0 = even53(L[0], H[-1], H[0]);
      D[0] = e0;
      kernel(e0, L + 1, H, width - 1, D + 1);
      const T last = even53(L[width], H[width - 1], H[width]);
      D[2 * width - 1] = odd53(H[width - 1], D[2 * width - 2], last);
    }
  }
  return primResultOk;
}

void PRIM_BUILD(owniInvLift53ColumnStep_16s)(const Prim16s* pL, const Prim16s* pHp, const Prim16s* pHn,
                                             const Prim16s* pE, Prim16s* pOdd, Prim16s* pEven, int width) {
  int i = 0;
  for (; i + 8 <= width; i += 8) {
    const __m128i l = load(pL + i), hp = load(pHp + i), hn = load(pHn + i), ev = load(pE + i);
    const __m128i e = _mm_sub_epi16(l, quarterRound16(hp, hn));
    const __m128i o = _mm_add_epi16(hp, floorAvg16(ev, e));
    store(pEven + i, e);
    store(pOdd + i, o);
  }
  for (; i < width; ++i) {
    const Prim16s e = even53(pL[i], pHp[i], pHn[i]);
    pOdd[i] = odd53(pHp[i], pE[i], e);
    pEven[i] = e;
  }
}

void PRIM_BUILD(owniInvLift53ColumnStep_32s)(const Prim32s* pL, const Prim32s* pHp, const Prim32s* pHn,
                                             const Prim32s* pE, Prim32s* pOdd, Prim32s* pEven, int width) {
  int i = 0;
  const __m128i two = _mm_set1_epi32(2);
  for (; i + 4 <= width; i += 4) {
    const __m128i l = load(pL + i), hp = load(pHp + i), hn = load(pHn + i), ev = load(pE + i);
    const __m128i e = _mm_sub_epi32(l, _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(hp, hn), two), 2));
    const __m128i o = _mm_add_epi32(hp, _mm_srai_epi32(_mm_add_epi32(ev, e), 1));
    store(pEven + i, e);
    store(pOdd + i, o);
  }
  for (; i < width; ++i) {
    const Prim32s e = even53(pL[i], pHp[i], pHn[i]);
    pOdd[i] = odd53(pHp[i], pE[i], e);
    pEven[i] = e;
  }
}

// ---------------------------------------------------------------------------
// 9/7 in Q16 fixed point, exact in 32-bit lanes.

// The multiply-add coefficient pair (c0 for the first lane of a pair, c1 for
// the second).
inline __m128i pair16(int c0, int c1) {
  return _mm_set1_epi32(static_cast<int>(static_cast<Prim32u>(static_cast<Prim16u>(c0)) |
                                         (static_cast<Prim32u>(static_cast<Prim16u>(c1)) << 16)));
}
inline __m128i sextLo(__m128i x) { return _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16); }
inline __m128i sextHi(__m128i x) { return _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16); }

// The Q16 lifting constants split for those multiply-adds: a whole number of
// 65536s, applied as whole samples, and a remainder that fits 16 bits.
constexpr int kQ16KRest = static_cast<int>(kLiftQ16K - kQ16One);              // K = 1 + rest
constexpr int kQ16InvKRest = static_cast<int>(kLiftQ16InvK - kQ16One);        // 1/K = 1 + rest
constexpr int kQ16GammaRest = static_cast<int>(kQ16One - kLiftQ16Gamma);      // -gamma = -1 + rest
constexpr int kQ16AlphaRest = static_cast<int>(kLiftQ16Alpha + 2 * kQ16One);  // alpha = -2 + rest
constexpr int kQ16DeltaByK16 = static_cast<int>(kLiftQ16DeltaByK);
constexpr int kQ16Beta16 = static_cast<int>(kLiftQ16Beta);
constexpr int kQ16Half = static_cast<int>(kQ16One / 2);  // the rounding half
static_assert(kQ16KRest > -32768 && kQ16KRest < 32768 && kQ16InvKRest > -32768 && kQ16InvKRest < 32768 &&
                  kQ16GammaRest > -32768 && kQ16GammaRest < 32768 && kQ16AlphaRest > -32768 &&
                  kQ16AlphaRest < 32768 && kQ16DeltaByK16 < 32768 && kQ16Beta16 > -32768,
              "every multiply-add coefficient is a 16-bit value");

// sat(R(K l - (delta/K) (ha + hb))) = sat(l + floor(((K - 1) l - (delta/K) ha
// - (delta/K) hb + 1/2) / 65536)) in Q16; the quotient fits 16 bits.  The
// rounding half is 2 x 16384, a lane of 2s times a coefficient.
inline __m128i q16Step1(__m128i l, __m128i ha, __m128i hb) {
  const __m128i c0 = pair16(kQ16KRest, -kQ16DeltaByK16), c1 = pair16(-kQ16DeltaByK16, kQ16Half / 2);
  const __m128i two = _mm_set1_epi16(2);
  const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(l, ha), c0),
                                   _mm_madd_epi16(_mm_unpacklo_epi16(hb, two), c1));
  const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(l, ha), c0),
                                   _mm_madd_epi16(_mm_unpackhi_epi16(hb, two), c1));
  const __m128i q = _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
  return _mm_adds_epi16(l, q);
}

// sat(R((1/K) h - gamma (ea + eb))) = sat(h - ea - eb + floor(((1/K - 1) h +
// (1 - gamma) ea + (1 - gamma) eb + 1/2) / 65536)) in Q16, the sum formed in
// 32 bits.
inline __m128i q16Step2(__m128i h, __m128i ea, __m128i eb) {
  const __m128i c0 = pair16(kQ16InvKRest, kQ16GammaRest), c1 = pair16(kQ16GammaRest, kQ16Half / 2);
  const __m128i d0 = pair16(1, -1), d1 = pair16(-1, 0);
  const __m128i two = _mm_set1_epi16(2);
  auto half = [&](__m128i u, __m128i v) {
    const __m128i q = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(u, c0), _mm_madd_epi16(v, c1)), 16);
    return _mm_add_epi32(q, _mm_add_epi32(_mm_madd_epi16(u, d0), _mm_madd_epi16(v, d1)));
  };
  const __m128i lo = half(_mm_unpacklo_epi16(h, ea), _mm_unpacklo_epi16(eb, two));
  const __m128i hi = half(_mm_unpackhi_epi16(h, ea), _mm_unpackhi_epi16(eb, two));
  return _mm_packs_epi32(lo, hi);
}

// sat(e - floor((beta (oa + ob) + 1/2) / 65536)) in Q16.
inline __m128i q16Step3(__m128i e, __m128i oa, __m128i ob) {
  const __m128i c = pair16(kQ16Beta16, kQ16Beta16), round = _mm_set1_epi32(kQ16Half);
  const __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(oa, ob), c), round), 16);
  const __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(oa, ob), c), round), 16);
  return _mm_subs_epi16(e, _mm_packs_epi32(lo, hi));
}

// sat(o - R(alpha (ea + eb))) = sat(o + 2 (ea + eb) - floor(((alpha + 2) (ea +
// eb) + 1/2) / 65536)) in Q16, the sum formed in 32 bits.
inline __m128i q16Step4(__m128i o, __m128i ea, __m128i eb) {
  const __m128i c = pair16(kQ16AlphaRest, kQ16AlphaRest), twice = pair16(2, 2);
  const __m128i round = _mm_set1_epi32(kQ16Half);
  auto half = [&](__m128i u, __m128i os) {
    const __m128i q = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(u, c), round), 16);
    return _mm_sub_epi32(_mm_add_epi32(os, _mm_madd_epi16(u, twice)), q);
  };
  const __m128i lo = half(_mm_unpacklo_epi16(ea, eb), sextLo(o));
  const __m128i hi = half(_mm_unpackhi_epi16(ea, eb), sextHi(o));
  return _mm_packs_epi32(lo, hi);
}

// Positions of one middle block, including the two hand-over positions; the
// two scratch lines of one block take 5696 bytes of stack at most.
constexpr int kBlock97Fixed = 1410;

// One block of the middle of a 16-bit 9/7 row (block coordinates of
// middle97Fixed): four passes over two scratch lines, E (low-derived values,
// index -2..m-1) and O (high-derived values, index -1..m-1), then the
// interleave into the destination.
void PRIM_BUILD(owniInvLift97RowBlock_16s)(const Prim16s* pL, const Prim16s* pH, int n, Prim16s* pD) {
  if (n <= 2) return;
  const int m = n - 2;
  alignas(16) Prim16s lineE[kBlock97Fixed + 8];
  alignas(16) Prim16s lineO[kBlock97Fixed + 8];
  Prim16s* E = lineE + 8;  // E[-2] and E[-1] sit just below the aligned start
  Prim16s* O = lineO + 8;
  E[-2] = pD[0];
  O[-1] = pD[1];
  E[-1] = pD[2];
  int j = 0;
  for (; j + 8 <= m; j += 8) store(E + j, q16Step1(load(pL + j + 2), load(pH + j + 1), load(pH + j + 2)));
  for (; j < m; ++j) E[j] = wavelet::q16Step1(pL[j + 2], pH[j + 1], pH[j + 2]);
  for (j = 0; j + 8 <= m; j += 8) store(O + j, q16Step2(load(pH + j + 1), load(E + j - 1), load(E + j)));
  for (; j < m; ++j) O[j] = wavelet::q16Step2(pH[j + 1], E[j - 1], E[j]);
  for (j = 0; j + 8 <= m; j += 8) store(E + j - 1, q16Step3(load(E + j - 1), load(O + j - 1), load(O + j)));
  for (; j < m; ++j) E[j - 1] = wavelet::q16Step3(E[j - 1], O[j - 1], O[j]);
  for (j = 0; j + 8 <= m; j += 8)
    store(O + j - 1, q16Step4(load(O + j - 1), load(E + j - 2), load(E + j - 1)));
  for (; j < m; ++j) O[j - 1] = wavelet::q16Step4(O[j - 1], E[j - 2], E[j - 1]);
  // pD[2k] = E[k-2] for k = 1..n-1, pD[2k+1] = O[k-1] for k = 0..n-2.
  pD[1] = O[-1];
  int k = 1;
  for (; k + 8 <= n - 2; k += 8) {
    const __m128i e = load(E + k - 2), o = load(O + k - 1);
    store(pD + 2 * k, _mm_unpacklo_epi16(e, o));
    store(pD + 2 * k + 8, _mm_unpackhi_epi16(e, o));
  }
  for (; k <= n - 2; ++k) {
    pD[2 * k] = E[k - 2];
    pD[2 * k + 1] = O[k - 1];
  }
  pD[2 * n - 2] = E[n - 3];
}

// The middle of a row in blocks that overlap by two positions: the last
// final sample and the two unfinished ones of a block hand over to the next.
void PRIM_BUILD(owniInvLift97RowMiddle_16s)(const Prim16s* pL, const Prim16s* pH, int n, Prim16s* pD) {
  while (n > kBlock97Fixed) {
    PRIM_BUILD(owniInvLift97RowBlock_16s)(pL, pH, kBlock97Fixed, pD);
    pL += kBlock97Fixed - 2;
    pH += kBlock97Fixed - 2;
    pD += 2 * (kBlock97Fixed - 2);
    n -= kBlock97Fixed - 2;
  }
  PRIM_BUILD(owniInvLift97RowBlock_16s)(pL, pH, n, pD);
}

void PRIM_BUILD(owniInvLift97ColumnStep_16s)(const Prim16s* pL, const Prim16s* pHp, const Prim16s* pHn,
                                             const Prim16s* pEf, Prim16s* pOg, Prim16s* pEd, Prim16s* pDo,
                                             Prim16s* pDe, int width) {
  int i = 0;
  for (; i + 8 <= width; i += 8) store(pDe + i, q16Step1(load(pL + i), load(pHp + i), load(pHn + i)));
  for (; i < width; ++i) pDe[i] = wavelet::q16Step1(pL[i], pHp[i], pHn[i]);
  for (i = 0; i + 8 <= width; i += 8) store(pDo + i, q16Step2(load(pHp + i), load(pEd + i), load(pDe + i)));
  for (; i < width; ++i) pDo[i] = wavelet::q16Step2(pHp[i], pEd[i], pDe[i]);
  for (i = 0; i + 8 <= width; i += 8) store(pEd + i, q16Step3(load(pEd + i), load(pOg + i), load(pDo + i)));
  for (; i < width; ++i) pEd[i] = wavelet::q16Step3(pEd[i], pOg[i], pDo[i]);
  for (i = 0; i + 8 <= width; i += 8) store(pOg + i, q16Step4(load(pOg + i), load(pEf + i), load(pEd + i)));
  for (; i < width; ++i) pOg[i] = wavelet::q16Step4(pOg[i], pEf[i], pEd[i]);
}

// ---------------------------------------------------------------------------
// 9/7 in float.

#if defined(__FMA__)
// Head, tail and width-1 outputs fold products into sums; the middle is the
// unfused kernel.
using ArithRows = FloatArith<float, TailGrouping::KTermFirst, true>;
#elif defined(__SSSE3__)
using ArithRows = FloatArith<float, TailGrouping::KTermFirst, false>;
#else
using ArithRows = FloatArith<float, TailGrouping::TwoTermFirst, false>;
#endif
using ArithSingle = FloatArith<float, TailGrouping::KTermFirst, false>;

inline __m128 splat(float x) { return _mm_set1_ps(x); }
inline __m128 fStep1(__m128 l, __m128 ha, __m128 hb) {
  return _mm_sub_ps(_mm_mul_ps(splat(kLiftK), l), _mm_mul_ps(splat(kLiftDeltaByK), _mm_add_ps(ha, hb)));
}
inline __m128 fStep2(__m128 h, __m128 ea, __m128 eb) {
  return _mm_sub_ps(_mm_mul_ps(splat(kLiftInvK), h), _mm_mul_ps(splat(kLiftGamma), _mm_add_ps(ea, eb)));
}
inline __m128 fStep3(__m128 e, __m128 oa, __m128 ob) {
  return _mm_sub_ps(e, _mm_mul_ps(splat(kLiftBeta), _mm_add_ps(oa, ob)));
}
inline __m128 fStep4(__m128 o, __m128 ea, __m128 eb) {
  return _mm_sub_ps(o, _mm_mul_ps(splat(kLiftAlpha), _mm_add_ps(ea, eb)));
}

#if !defined(__SSSE3__)
// sse2: the four passes over the destination in single precision, the first
// one four samples at a time.
void middle97FloatSse2(const float* pL, const float* pH, int n, float* pD) {
  using A = ArithSingle;
  int k = 2;
  for (; k + 4 <= n; k += 4) {
    alignas(16) float e[4];
    _mm_store_ps(e, fStep1(_mm_loadu_ps(pL + k), _mm_loadu_ps(pH + k - 1), _mm_loadu_ps(pH + k)));
    pD[2 * k] = e[0];
    pD[2 * k + 2] = e[1];
    pD[2 * k + 4] = e[2];
    pD[2 * k + 6] = e[3];
  }
  for (; k < n; ++k) pD[2 * k] = A::step1(pL[k], pH[k - 1], pH[k]);
  for (k = 1; k < n - 1; ++k) pD[2 * k + 1] = A::step2(pH[k], pD[2 * k], pD[2 * k + 2]);
  for (k = 1; k < n - 1; ++k) pD[2 * k] = A::step3(pD[2 * k], pD[2 * k - 1], pD[2 * k + 1]);
  for (k = 0; k < n - 2; ++k) pD[2 * k + 1] = A::step4(pD[2 * k + 1], pD[2 * k], pD[2 * k + 2]);
}
#else
// Positions of one middle block including the two hand-over positions; the
// scratch lines take 4160 bytes of stack.
constexpr int kBlock97Float = 514;

inline bool floatAligned(const void* p) { return reinterpret_cast<std::uintptr_t>(p) % 4 == 0; }

// One block of the middle of a float 9/7 row (block coordinates of
// middle97Fixed).  Both paths compute every value with the same operations.
void PRIM_BUILD(owniInvLift97RowBlock_32f)(const float* pL, const float* pH, int n, float* pD) {
  if (n <= 2) return;
  const int m = n - 2;
  using A = ArithSingle;
  if (m < 22 || !floatAligned(pL + 2) || !floatAligned(pH + 1) || !floatAligned(pD + 2)) {
    // Narrow path: the four steps of one position after another.
    for (int j = 0; j < m; ++j) {
      pD[2 * j + 4] = A::step1(pL[j + 2], pH[j + 1], pH[j + 2]);
      pD[2 * j + 3] = A::step2(pH[j + 1], pD[2 * j + 2], pD[2 * j + 4]);
      pD[2 * j + 2] = A::step3(pD[2 * j + 2], pD[2 * j + 1], pD[2 * j + 3]);
      pD[2 * j + 1] = A::step4(pD[2 * j + 1], pD[2 * j], pD[2 * j + 2]);
    }
    return;
  }
  // Wide path: four passes over the scratch lines E (index -2..m-1) and O
  // (index -1..m-1), then the interleave.
  alignas(16) float lineE[kBlock97Float + 4];
  alignas(16) float lineO[kBlock97Float + 4];
  float* E = lineE + 4;
  float* O = lineO + 4;
  E[-2] = pD[0];
  O[-1] = pD[1];
  E[-1] = pD[2];
  int j = 0;
  for (; j + 4 <= m; j += 4)
    _mm_store_ps(E + j, fStep1(_mm_loadu_ps(pL + j + 2), _mm_loadu_ps(pH + j + 1), _mm_loadu_ps(pH + j + 2)));
  for (; j < m; ++j) E[j] = A::step1(pL[j + 2], pH[j + 1], pH[j + 2]);
  for (j = 0; j + 4 <= m; j += 4)
    _mm_store_ps(O + j, fStep2(_mm_loadu_ps(pH + j + 1), _mm_loadu_ps(E + j - 1), _mm_load_ps(E + j)));
  for (; j < m; ++j) O[j] = A::step2(pH[j + 1], E[j - 1], E[j]);
  for (j = 0; j + 4 <= m; j += 4)
    _mm_storeu_ps(E + j - 1, fStep3(_mm_loadu_ps(E + j - 1), _mm_loadu_ps(O + j - 1), _mm_load_ps(O + j)));
  for (; j < m; ++j) E[j - 1] = A::step3(E[j - 1], O[j - 1], O[j]);
  for (j = 0; j + 4 <= m; j += 4)
    _mm_storeu_ps(O + j - 1,
                  fStep4(_mm_loadu_ps(O + j - 1), _mm_loadu_ps(E + j - 2), _mm_loadu_ps(E + j - 1)));
  for (; j < m; ++j) O[j - 1] = A::step4(O[j - 1], E[j - 2], E[j - 1]);
  // pD[2k+1] = O[k-1] and pD[2k+2] = E[k-1] for k = 0..m.
  int k = 0;
  for (; k + 4 <= m + 1; k += 4) {
    const __m128 o = _mm_loadu_ps(O + k - 1), e = _mm_loadu_ps(E + k - 1);
    _mm_storeu_ps(pD + 2 * k + 1, _mm_unpacklo_ps(o, e));
    _mm_storeu_ps(pD + 2 * k + 5, _mm_unpackhi_ps(o, e));
  }
  for (; k <= m; ++k) {
    pD[2 * k + 1] = O[k - 1];
    pD[2 * k + 2] = E[k - 1];
  }
}

void PRIM_BUILD(owniInvLift97RowMiddle_32f)(const float* pL, const float* pH, int n, float* pD) {
  while (n > kBlock97Float) {
    PRIM_BUILD(owniInvLift97RowBlock_32f)(pL, pH, kBlock97Float, pD);
    pL += kBlock97Float - 2;
    pH += kBlock97Float - 2;
    pD += 2 * (kBlock97Float - 2);
    n -= kBlock97Float - 2;
  }
  PRIM_BUILD(owniInvLift97RowBlock_32f)(pL, pH, n, pD);
}
#endif

// Float column step.  A pass whose written row overlaps a row it reads runs
// element by element in increasing order; the vector paths give the same
// values as the element path except in the avx2 build, whose vector path
// fuses the first product of passes 1 and 2 and whose element path fuses the
// second.
inline bool rowsOverlap(const float* w, const float* r, int width) {
  const std::intptr_t d = reinterpret_cast<std::intptr_t>(w) - reinterpret_cast<std::intptr_t>(r);
  const std::intptr_t span = static_cast<std::intptr_t>(width) * 4;
  return d < span && d > -span;
}

using namespace wavelet_vec;
constexpr int kColumnLanes = kFloatLanes;

// c x a - d x s for passes 1 and 2, e - d x s for passes 3 and 4.
inline VecF colProducts(VecF c, VecF a, VecF d, VecF s) {
#if defined(__FMA__)
  return _mm256_fmsub_ps(c, a, vmul(d, s));
#else
  return vsub(vmul(c, a), vmul(d, s));
#endif
}
inline VecF colUpdate(VecF e, VecF d, VecF s) {
#if defined(__FMA__)
  return _mm256_fnmadd_ps(d, s, e);
#else
  return vsub(e, vmul(d, s));
#endif
}

// Runs one pass over `width` elements: vec(i) computes kColumnLanes elements
// from i, one(i) a single element.  `longRow` is the width from which the
// avx2 build aligns the written row first.
template <class Vec, class One>
void columnPass(const float* w, int width, bool overlap, int longRow, Vec vec, One one) {
  int i = 0;
  const auto addr = reinterpret_cast<std::uintptr_t>(w);
#if defined(__FMA__)
  if (overlap || width < 16) {
    for (; i < width; ++i) one(i);
    return;
  }
  if (width >= longRow) {
    if (addr % 4 != 0) {
      for (; i < width; ++i) one(i);
      return;
    }
    const int peel = static_cast<int>((32 - addr % 32) % 32 / 4);
    for (; i < peel; ++i) one(i);
  }
  for (; i + 16 <= width; i += 16) {
    vec(i);
    vec(i + 8);
  }
  if (i + 8 <= width) {
    vec(i);
    i += 8;
  }
#else
  (void)longRow;
  constexpr int kBlock = 2 * kColumnLanes;
  constexpr unsigned kAlign = 4u * kColumnLanes;
  if (!overlap && width >= kBlock && addr % 4 == 0) {
    const int peel = static_cast<int>((kAlign - addr % kAlign) % kAlign / 4);
    if (width - peel >= kBlock) {
      for (; i < peel; ++i) one(i);
      for (; i + kBlock <= width; i += kBlock) {
        vec(i);
        vec(i + kColumnLanes);
      }
    }
  }
#endif
  for (; i < width; ++i) one(i);
}

#if defined(__FMA__)
using ArithColumnOne = FloatArith<float, TailGrouping::KTermFirst, true>;
#else
using ArithColumnOne = ArithSingle;
#endif

void invLift97ColumnFloat(const float* pL, const float* pHp, const float* pHn, const float* pEf, float* pOg,
                          float* pEd, float* pDo, float* pDe, int width) {
  using A = ArithColumnOne;
  const VecF k = vsplat(kLiftK), dk = vsplat(kLiftDeltaByK), ik = vsplat(kLiftInvK), g = vsplat(kLiftGamma),
             b = vsplat(kLiftBeta), a = vsplat(kLiftAlpha);
  columnPass(
      pDe, width, rowsOverlap(pDe, pL, width) || rowsOverlap(pDe, pHp, width) || rowsOverlap(pDe, pHn, width),
      57,
      [&](int i) {
        vstore(pDe + i, colProducts(k, vload(pL + i), dk, vadd(vload(pHp + i), vload(pHn + i))));
      },
      [&](int i) { pDe[i] = A::step1(pL[i], pHp[i], pHn[i]); });
  columnPass(
      pDo, width,
      rowsOverlap(pDo, pHp, width) || rowsOverlap(pDo, pEd, width) || rowsOverlap(pDo, pDe, width), 57,
      [&](int i) {
        vstore(pDo + i, colProducts(ik, vload(pHp + i), g, vadd(vload(pEd + i), vload(pDe + i))));
      },
      [&](int i) { pDo[i] = A::step2(pHp[i], pEd[i], pDe[i]); });
  columnPass(
      pEd, width, rowsOverlap(pEd, pOg, width) || rowsOverlap(pEd, pDo, width), 33,
      [&](int i) { vstore(pEd + i, colUpdate(vload(pEd + i), b, vadd(vload(pOg + i), vload(pDo + i)))); },
      [&](int i) { pEd[i] = A::step3(pEd[i], pOg[i], pDo[i]); });
  columnPass(
      pOg, width, rowsOverlap(pOg, pEf, width) || rowsOverlap(pOg, pEd, width), 33,
      [&](int i) { vstore(pOg + i, colUpdate(vload(pOg + i), a, vadd(vload(pEf + i), vload(pEd + i)))); },
      [&](int i) { pOg[i] = A::step4(pOg[i], pEf[i], pEd[i]); });
}

// ---------------------------------------------------------------------------
// Interleave of two halves: unpacks of whole vectors, the rest as the
// generic build moves it.

template <class T>
PrimResult interleaveHalves(const T* pEven, int nEven, const T* pOdd, int nOdd, T* pDst) {
  const PrimResult r = checkHalves(pEven, nEven, pOdd, nOdd, pDst);
  if (r != primResultOk) return r;
  constexpr int lanes = 16 / static_cast<int>(sizeof(T));
  int k = 0;
  for (; k + lanes <= nOdd; k += lanes) {
    const __m128i e = load(pEven + k), o = load(pOdd + k);
    if constexpr (sizeof(T) == 2) {
      store(pDst + 2 * k, _mm_unpacklo_epi16(e, o));
      store(pDst + 2 * k + lanes, _mm_unpackhi_epi16(e, o));
    } else {
      store(pDst + 2 * k, _mm_unpacklo_epi32(e, o));
      store(pDst + 2 * k + lanes, _mm_unpackhi_epi32(e, o));
    }
  }
  interleaveFrom(k, pEven, nEven, pOdd, nOdd, pDst);
  return primResultOk;
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult PRIM_BUILD(imgInvLift53Rows_16s_C1R)(const Prim16s* pLow, int lowStep, const Prim16s* pHigh,
                                                int highStep, int width, int height, Prim16s* pDst,
                                                int dstStep, int phase) {
  return lift53Rows(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase,
                    PRIM_BUILD(owniInvLift53Rows_16s));
}

PrimResult PRIM_BUILD(imgInvLift53Rows_32s_C1R)(const Prim32s* pLow, int lowStep, const Prim32s* pHigh,
                                                int highStep, int width, int height, Prim32s* pDst,
                                                int dstStep, int phase) {
  return lift53Rows(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase,
                    PRIM_BUILD(owniInvLift53Rows_32s));
}

PrimResult PRIM_BUILD(imgInvLift53ColumnStep_16s_C1)(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                                     const Prim16s* pHighNext, const Prim16s* pEvenPrev,
                                                     Prim16s* pDstOdd, Prim16s* pDstEven, int width) {
  const PrimResult r =
      checkColumn<Prim16s>({pLowRow, pHighPrev, pHighNext, pEvenPrev, pDstOdd, pDstEven}, width);
  if (r != primResultOk) return r;
  PRIM_BUILD(owniInvLift53ColumnStep_16s)
  (pLowRow, pHighPrev, pHighNext, pEvenPrev, pDstOdd, pDstEven, width);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInvLift53ColumnStep_32s_C1)(const Prim32s* pLowRow, const Prim32s* pHighPrev,
                                                     const Prim32s* pHighNext, const Prim32s* pEvenPrev,
                                                     Prim32s* pDstOdd, Prim32s* pDstEven, int width) {
  const PrimResult r =
      checkColumn<Prim32s>({pLowRow, pHighPrev, pHighNext, pEvenPrev, pDstOdd, pDstEven}, width);
  if (r != primResultOk) return r;
  PRIM_BUILD(owniInvLift53ColumnStep_32s)
  (pLowRow, pHighPrev, pHighNext, pEvenPrev, pDstOdd, pDstEven, width);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInvLift97Rows_16s_C1R)(const Prim16s* pLow, int lowStep, const Prim16s* pHigh,
                                                int highStep, int width, int height, Prim16s* pDst,
                                                int dstStep, int phase) {
  return invLift97Rows16(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase,
                         PRIM_BUILD(owniInvLift97RowMiddle_16s));
}

PrimResult PRIM_BUILD(imgInvLift97Rows_32f_C1R)(const Prim32f* pLow, int lowStep, const Prim32f* pHigh,
                                                int highStep, int width, int height, Prim32f* pDst,
                                                int dstStep, int phase) {
#if defined(__SSSE3__)
  return invLift97RowsFloat<ArithRows>(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase,
                                       PRIM_BUILD(owniInvLift97RowMiddle_32f));
#else
  return invLift97RowsFloat<ArithRows>(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase,
                                       middle97FloatSse2);
#endif
}

PrimResult PRIM_BUILD(imgInvLift97ColumnStep_16s_C1)(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                                     const Prim16s* pHighNext, const Prim16s* pEvenFinal,
                                                     Prim16s* pOddGamma, Prim16s* pEvenDelta,
                                                     Prim16s* pDstOdd, Prim16s* pDstEven, int width) {
  const PrimResult r = checkColumn<Prim16s>(
      {pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma, pEvenDelta, pDstOdd, pDstEven}, width);
  if (r != primResultOk) return r;
  PRIM_BUILD(owniInvLift97ColumnStep_16s)
  (pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma, pEvenDelta, pDstOdd, pDstEven, width);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInvLift97ColumnStep_32f_C1)(const Prim32f* pLowRow, const Prim32f* pHighPrev,
                                                     const Prim32f* pHighNext, const Prim32f* pEvenFinal,
                                                     Prim32f* pOddGamma, Prim32f* pEvenDelta,
                                                     Prim32f* pDstOdd, Prim32f* pDstEven, int width) {
  const PrimResult r = checkColumn<Prim32f>(
      {pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma, pEvenDelta, pDstOdd, pDstEven}, width);
  if (r != primResultOk) return r;
  invLift97ColumnFloat(pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma, pEvenDelta, pDstOdd, pDstEven,
                       width);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInterleaveHalves_16s)(const Prim16s* pEven, int nEven, const Prim16s* pOdd, int nOdd,
                                               Prim16s* pDst) {
  return interleaveHalves(pEven, nEven, pOdd, nOdd, pDst);
}

PrimResult PRIM_BUILD(imgInterleaveHalves_32s)(const Prim32s* pEven, int nEven, const Prim32s* pOdd, int nOdd,
                                               Prim32s* pDst) {
  return interleaveHalves(pEven, nEven, pOdd, nOdd, pDst);
}
