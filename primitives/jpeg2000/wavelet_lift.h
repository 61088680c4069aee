// Scalar lifting arithmetic and the row drivers shared by every build of the
// wavelet primitives.
//
// The 16-bit and 32-bit integer arithmetic here is the one every build
// computes; the vector kernels reproduce it lane by lane.  The 9/7 row
// drivers do the argument checks, the width-1 filters and the head and tail
// of each row, and hand the middle of the row to the build's own routine.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"
#include "primitives/jpeg2000/transform_constants.h"

namespace prim::PRIM_GEN_NS::wavelet {
using namespace prim::j2k;

// ---------------------------------------------------------------------------
// Helpers

template <class T>
inline T* rowAt(T* p, int step, int row) {
  using Byte = std::conditional_t<std::is_const_v<T>, const char, char>;
  return reinterpret_cast<T*>(reinterpret_cast<Byte*>(p) + static_cast<std::ptrdiff_t>(step) * row);
}

inline Prim16s wrap16(std::int32_t v) { return static_cast<Prim16s>(v); }

inline Prim16s sat16(std::int64_t v) {
  return v < -32768 ? Prim16s(-32768) : v > 32767 ? Prim16s(32767) : static_cast<Prim16s>(v);
}

// ---------------------------------------------------------------------------
// Reversible 5/3.  16 bits: neighbour sums exact, results wrapped to 16 bits.
// 32 bits: everything wraps modulo 2^32, shifts are arithmetic.

inline Prim16s even53(Prim16s l, Prim16s ha, Prim16s hb) { return wrap16(l - ((ha + hb + 2) >> 2)); }
inline Prim16s odd53(Prim16s h, Prim16s ea, Prim16s eb) { return wrap16(h + ((ea + eb) >> 1)); }

inline Prim32s even53(Prim32s l, Prim32s ha, Prim32s hb) {
  const auto s = static_cast<Prim32s>(static_cast<Prim32u>(ha) + static_cast<Prim32u>(hb) + 2u);
  return static_cast<Prim32s>(static_cast<Prim32u>(l) - static_cast<Prim32u>(s >> 2));
}
inline Prim32s odd53(Prim32s h, Prim32s ea, Prim32s eb) {
  const auto s = static_cast<Prim32s>(static_cast<Prim32u>(ea) + static_cast<Prim32u>(eb));
  return static_cast<Prim32s>(static_cast<Prim32u>(h) + static_cast<Prim32u>(s >> 1));
}

// Argument checks of the row primitives.
template <class T>
inline PrimResult checkRows(const T* pLow, int lowStep, const T* pHigh, int highStep, int width, int height,
                            const T* pDst, int dstStep) {
  if (!pLow || !pHigh || !pDst) return primResultNullPointer;
  if (lowStep < 1 || highStep < 1 || dstStep < 1) return primResultBadStep;
  if (height < 1 || width < 1) return primResultBadSize;
  return primResultOk;
}

// ---------------------------------------------------------------------------
// Interleave of two halves: argument checks, and the samples from k on as
// bit patterns (a float moves through memcpy unchanged).

template <class T>
inline PrimResult checkHalves(const T* pEven, int nEven, const T* pOdd, int nOdd, const T* pDst) {
  if (!pEven || !pOdd || !pDst) return primResultNullPointer;
  if (nOdd < 0 || (nEven != nOdd && nEven != nOdd + 1)) return primResultBadSize;
  return primResultOk;
}

template <class T>
inline void interleaveFrom(int k, const T* pEven, int nEven, const T* pOdd, int nOdd, T* pDst) {
  for (; k < nOdd; ++k) {
    std::memcpy(pDst + 2 * k, pEven + k, sizeof(T));
    std::memcpy(pDst + 2 * k + 1, pOdd + k, sizeof(T));
  }
  if (nEven > nOdd) std::memcpy(pDst + 2 * nOdd, pEven + nOdd, sizeof(T));
}

// ---------------------------------------------------------------------------
// Irreversible 9/7 in Q16 fixed point, exact: products in 64 bits, one
// rounding R(p) = floor((p + 32768) / 65536) per step, 16-bit saturation.

inline std::int64_t roundQ16(std::int64_t p) { return (p + 32768) >> 16; }

// K scaling and delta step.
inline Prim16s q16Step1(int l, int ha, int hb) {
  return sat16(roundQ16(kLiftQ16K * l - kLiftQ16DeltaByK * (ha + hb)));
}
// 1/K scaling and gamma step.
inline Prim16s q16Step2(int h, int ea, int eb) {
  return sat16(roundQ16(kLiftQ16InvK * h - kLiftQ16Gamma * (ea + eb)));
}
// Beta step.
inline Prim16s q16Step3(int e, int oa, int ob) { return sat16(e - roundQ16(kLiftQ16Beta * (oa + ob))); }
// Alpha step.
inline Prim16s q16Step4(int o, int ea, int eb) { return sat16(o - roundQ16(kLiftQ16Alpha * (ea + eb))); }

// The middle of a 9/7 row in block coordinates: position k pairs pL[k] with
// pH[k-1] and pH[k]; its low-derived value lives at pD[2k], its high-derived
// value at pD[2k+1].  On entry pD[0] is final, pD[1] holds a value after the
// gamma step and pD[2] one after the first step.  On return pD[0..2n-4] are
// final, pD[2n-3] is after the gamma step and pD[2n-2] after the first step.
inline void middle97Fixed(const Prim16s* pL, const Prim16s* pH, int n, Prim16s* pD) {
  for (int k = 2; k < n; ++k) pD[2 * k] = q16Step1(pL[k], pH[k - 1], pH[k]);
  for (int k = 1; k < n - 1; ++k) pD[2 * k + 1] = q16Step2(pH[k], pD[2 * k], pD[2 * k + 2]);
  for (int k = 1; k < n - 1; ++k) pD[2 * k] = q16Step3(pD[2 * k], pD[2 * k - 1], pD[2 * k + 1]);
  for (int k = 0; k < n - 2; ++k) pD[2 * k + 1] = q16Step4(pD[2 * k + 1], pD[2 * k], pD[2 * k + 2]);
}

// One row of width 1: each output is one synthesis filter with one rounding.
inline void row97FixedWidth1(const Prim16s* L, const Prim16s* H, Prim16s* D, bool phase0) {
  if (phase0) {
    D[0] = sat16(roundQ16(-3771LL * (L[-1] + L[1]) + 73078LL * L[0] + 1105LL * (H[-2] + H[1]) -
                          17489LL * (H[-1] + H[0])));
    D[1] = sat16(roundQ16(-5981LL * (L[-1] + L[2]) + 38750LL * (L[0] + L[1]) + 1753LL * (H[-2] + H[2]) -
                          5126LL * (H[-1] + H[1]) + 39515LL * H[0]));
  } else {
    D[0] = sat16(roundQ16(-5981LL * (L[-2] + L[1]) + 38750LL * (L[-1] + L[0]) + 1753LL * (H[-2] + H[2]) -
                          5126LL * (H[-1] + H[1]) + 39515LL * H[0]));
    D[1] = sat16(roundQ16(-3771LL * (L[-1] + L[1]) + 73078LL * L[0] + 1105LL * (H[-1] + H[2]) -
                          17489LL * (H[0] + H[1])));
  }
}

// The 16-bit 9/7 row primitive: checks, width-1 filters, head and tail; the
// middle goes to `middle` (block coordinates, see middle97Fixed).
template <class Middle>
PrimResult invLift97Rows16(const Prim16s* pLow, int lowStep, const Prim16s* pHigh, int highStep, int width,
                           int height, Prim16s* pDst, int dstStep, int phase, Middle middle) {
  const PrimResult r = checkRows(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep);
  if (r != primResultOk) return r;
  const int w = width;
  for (int y = 0; y < height; ++y) {
    const Prim16s* L = rowAt(pLow, lowStep, y);
    const Prim16s* H = rowAt(pHigh, highStep, y);
    Prim16s* D = rowAt(pDst, dstStep, y);
    if (w == 1) {
      row97FixedWidth1(L, H, D, phase == 0);
    } else if (phase == 0) {
      const Prim16s em1 = q16Step1(L[-1], H[-2], H[-1]);
      const Prim16s e0 = q16Step1(L[0], H[-1], H[0]);
      const Prim16s om1 = q16Step2(H[-1], em1, e0);
      const Prim16s e1 = q16Step1(L[1], H[0], H[1]);
      const Prim16s o0 = q16Step2(H[0], e0, e1);
      D[0] = q16Step3(e0, om1, o0);
      D[1] = o0;
      D[2] = e1;
      if (w >= 3) middle(L, H, w, D);
      // Tail: D[2w-4] final, D[2w-3] after gamma, D[2w-2] after the first step.
      const Prim16s ew = q16Step1(L[w], H[w - 1], H[w]);
      const Prim16s owm1 = q16Step2(H[w - 1], D[2 * w - 2], ew);
      const Prim16s epwm1 = q16Step3(D[2 * w - 2], D[2 * w - 3], owm1);
      D[2 * w - 3] = q16Step4(D[2 * w - 3], D[2 * w - 4], epwm1);
      const Prim16s ew1 = q16Step1(L[w + 1], H[w], H[w + 1]);
      const Prim16s ow = q16Step2(H[w], ew, ew1);
      const Prim16s epw = q16Step3(ew, owm1, ow);
      D[2 * w - 2] = epwm1;
      D[2 * w - 1] = q16Step4(owm1, epwm1, epw);
    } else {
      const Prim16s em2 = q16Step1(L[-2], H[-2], H[-1]);
      const Prim16s em1 = q16Step1(L[-1], H[-1], H[0]);
      const Prim16s e0 = q16Step1(L[0], H[0], H[1]);
      const Prim16s o0 = q16Step2(H[0], em1, e0);
      const Prim16s e1 = q16Step1(L[1], H[1], H[2]);
      const Prim16s o1 = q16Step2(H[1], e0, e1);
      const Prim16s ep0 = q16Step3(e0, o0, o1);
      const Prim16s om1 = q16Step2(H[-1], em2, em1);
      const Prim16s epm1 = q16Step3(em1, om1, o0);
      D[0] = q16Step4(o0, epm1, ep0);
      D[1] = ep0;
      D[2] = o1;
      D[3] = e1;
      if (w >= 3) middle(L, H + 1, w, D + 1);
      // Tail: D[2w-3] final, D[2w-2] after gamma, D[2w-1] after the first step.
      const Prim16s ew = q16Step1(L[w], H[w], H[w + 1]);
      const Prim16s ow = q16Step2(H[w], D[2 * w - 1], ew);
      const Prim16s epwm1 = q16Step3(D[2 * w - 1], D[2 * w - 2], ow);
      D[2 * w - 2] = q16Step4(D[2 * w - 2], D[2 * w - 3], epwm1);
      D[2 * w - 1] = epwm1;
    }
  }
  return primResultOk;
}

// ---------------------------------------------------------------------------
// Irreversible 9/7 in float.  The constants are the single-precision values
// (transform_constants.h); the generic build widens them to double.

// Synthesis taps of rows of width 1.
inline constexpr float kTapLowSelf = 1.115087f;
inline constexpr float kTapLowLow1 = -0.057543527f;
inline constexpr float kTapLowHigh1 = -0.26686412f;
inline constexpr float kTapLowHigh2 = 0.01686412f;
inline constexpr float kTapHighSelf = 0.602949f;
inline constexpr float kTapHighLow1 = 0.59127176f;
inline constexpr float kTapHighLow2 = -0.091271766f;
inline constexpr float kTapHighHigh1 = -0.078223266f;
inline constexpr float kTapHighHigh2 = 0.026748758f;

// Arithmetic of a float build.  V is the type values are held in; every
// operation rounds to V.  Grouping selects how the last sum at a row's end is
// grouped; Fused folds products into sums with one rounding (head, tail and
// width-1 outputs of the avx2 build).
enum class TailGrouping { TwoTermFirst, KTermFirst };

template <class V, TailGrouping Grouping, bool Fused>
struct FloatArith {
  using Value = V;
  static V ld(float x) { return static_cast<V>(x); }
  static float st(V x) { return static_cast<float>(x); }
  static V c(float k) { return static_cast<V>(k); }
  // p - k * s with one rounding when fused.
  static V subProd(V p, float k, V s) {
    if constexpr (Fused)
      return std::fma(-c(k), s, p);
    else
      return p - c(k) * s;
  }
  static V step1(V l, V ha, V hb) { return subProd(c(kLiftK) * l, kLiftDeltaByK, ha + hb); }
  static V step2(V h, V ea, V eb) { return subProd(c(kLiftInvK) * h, kLiftGamma, ea + eb); }
  static V step3(V e, V oa, V ob) { return subProd(e, kLiftBeta, oa + ob); }
  static V step4(V o, V ea, V eb) { return subProd(o, kLiftAlpha, ea + eb); }
  // o(0) of a row of other phase (avx2: gamma applied to each neighbour).
  static V step2Head(V h, V ea, V eb) {
    if constexpr (Fused)
      return subProd(subProd(c(kLiftInvK) * h, kLiftGamma, ea), kLiftGamma, eb);
    else
      return step2(h, ea, eb);
  }
  // e + (K x l - (delta/K) x (ha + hb)), the sum of two low-derived values of
  // which the second is only formed as its two terms.
  static V sumWithStep1(V e, V l, V ha, V hb) {
    if constexpr (Fused)
      return std::fma(-c(kLiftDeltaByK), ha + hb, std::fma(c(kLiftK), l, e));
    else if constexpr (Grouping == TailGrouping::TwoTermFirst)
      return step1(l, ha, hb) + e;
    else
      return (e + c(kLiftK) * l) - c(kLiftDeltaByK) * (ha + hb);
  }
  // (1/K) x h + o - gamma x sumE: the sum of two gamma-step values.
  static V gammaPair(V h, V o, V sumE) {
    if constexpr (Fused)
      return std::fma(-c(kLiftGamma), sumE, std::fma(c(kLiftInvK), h, o));
    else
      return (c(kLiftInvK) * h + o) - c(kLiftGamma) * sumE;
  }
  // Sum of terms tap x (x) added in order, the first product alone.
  static V firstTerm(float tap, V x) { return c(tap) * x; }
  static V addTerm(V acc, float tap, V x) {
    if constexpr (Fused)
      return std::fma(c(tap), x, acc);
    else
      return acc + c(tap) * x;
  }
};

template <class A>
void row97FloatWidth1(const float* Lf, const float* Hf, float* D, bool phase0) {
  using V = typename A::Value;
  auto L = [&](int i) { return A::ld(Lf[i]); };
  auto H = [&](int i) { return A::ld(Hf[i]); };
  V lowOut, highOut;
  if (phase0) {
    lowOut = A::firstTerm(kTapLowLow1, L(-1) + L(1));
    lowOut = A::addTerm(lowOut, kTapLowSelf, L(0));
    lowOut = A::addTerm(lowOut, kTapLowHigh2, H(-2) + H(1));
    lowOut = A::addTerm(lowOut, kTapLowHigh1, H(-1) + H(0));
    highOut = A::firstTerm(kTapHighLow2, L(-1) + L(2));
    highOut = A::addTerm(highOut, kTapHighLow1, L(0) + L(1));
    highOut = A::addTerm(highOut, kTapHighHigh2, H(-2) + H(2));
    highOut = A::addTerm(highOut, kTapHighHigh1, H(-1) + H(1));
    highOut = A::addTerm(highOut, kTapHighSelf, H(0));
    D[0] = A::st(lowOut);
    D[1] = A::st(highOut);
  } else {
    highOut = A::firstTerm(kTapHighLow2, L(-2) + L(1));
    highOut = A::addTerm(highOut, kTapHighLow1, L(-1) + L(0));
    highOut = A::addTerm(highOut, kTapHighHigh2, H(-2) + H(2));
    highOut = A::addTerm(highOut, kTapHighHigh1, H(-1) + H(1));
    highOut = A::addTerm(highOut, kTapHighSelf, H(0));
    lowOut = A::firstTerm(kTapLowLow1, L(-1) + L(1));
    lowOut = A::addTerm(lowOut, kTapLowSelf, L(0));
    lowOut = A::addTerm(lowOut, kTapLowHigh2, H(-1) + H(2));
    lowOut = A::addTerm(lowOut, kTapLowHigh1, H(0) + H(1));
    D[0] = A::st(highOut);
    D[1] = A::st(lowOut);
  }
}

// The middle of a float 9/7 row in four passes over the destination (block
// coordinates as in middle97Fixed), each value evaluated with A's arithmetic.
template <class A>
void middle97FloatPasses(const float* pL, const float* pH, int n, float* pD) {
  auto ld = [](float x) { return A::ld(x); };
  for (int k = 2; k < n; ++k) pD[2 * k] = A::st(A::step1(ld(pL[k]), ld(pH[k - 1]), ld(pH[k])));
  for (int k = 1; k < n - 1; ++k)
    pD[2 * k + 1] = A::st(A::step2(ld(pH[k]), ld(pD[2 * k]), ld(pD[2 * k + 2])));
  for (int k = 1; k < n - 1; ++k)
    pD[2 * k] = A::st(A::step3(ld(pD[2 * k]), ld(pD[2 * k - 1]), ld(pD[2 * k + 1])));
  for (int k = 0; k < n - 2; ++k)
    pD[2 * k + 1] = A::st(A::step4(ld(pD[2 * k + 1]), ld(pD[2 * k]), ld(pD[2 * k + 2])));
}

// The float 9/7 row primitive: checks, width-1 filters, head and tail with
// A's arithmetic; the middle goes to `middle`.
template <class A, class Middle>
PrimResult invLift97RowsFloat(const float* pLow, int lowStep, const float* pHigh, int highStep, int width,
                              int height, float* pDst, int dstStep, int phase, Middle middle) {
  const PrimResult r = checkRows(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep);
  if (r != primResultOk) return r;
  using V = typename A::Value;
  const int w = width;
  for (int y = 0; y < height; ++y) {
    const float* Lf = rowAt(pLow, lowStep, y);
    const float* Hf = rowAt(pHigh, highStep, y);
    float* D = rowAt(pDst, dstStep, y);
    auto L = [&](int i) { return A::ld(Lf[i]); };
    auto H = [&](int i) { return A::ld(Hf[i]); };
    auto Dv = [&](int i) { return A::ld(D[i]); };
    if (w == 1) {
      row97FloatWidth1<A>(Lf, Hf, D, phase == 0);
    } else if (phase == 0) {
      const V em1 = A::step1(L(-1), H(-2), H(-1));
      const V e0 = A::step1(L(0), H(-1), H(0));
      const V e1 = A::step1(L(1), H(0), H(1));
      const V om1 = A::step2(H(-1), em1, e0);
      const V o0 = A::step2(H(0), e0, e1);
      D[0] = A::st(A::step3(e0, om1, o0));
      D[1] = A::st(o0);
      D[2] = A::st(e1);
      if (w >= 3) middle(Lf, Hf, w, D);
      const V ew = A::step1(L(w), H(w - 1), H(w));
      const V owm1 = A::step2(H(w - 1), Dv(2 * w - 2), ew);
      D[2 * w - 1] = A::st(owm1);
      const V epwm1 = A::step3(Dv(2 * w - 2), Dv(2 * w - 3), owm1);
      D[2 * w - 2] = A::st(epwm1);
      D[2 * w - 3] = A::st(A::step4(Dv(2 * w - 3), Dv(2 * w - 4), epwm1));
      // o'(w-1) = o(w-1) - alpha x (e'(w-1) + e'(w)), with e'(w) never formed.
      const V t = A::gammaPair(H(w), owm1, A::sumWithStep1(ew, L(w + 1), H(w), H(w + 1)));
      const V s = A::subProd(epwm1 + ew, kLiftBeta, t);
      D[2 * w - 1] = A::st(A::subProd(owm1, kLiftAlpha, s));
    } else {
      const V em2 = A::step1(L(-2), H(-2), H(-1));
      const V em1 = A::step1(L(-1), H(-1), H(0));
      const V e0 = A::step1(L(0), H(0), H(1));
      const V o0 = A::step2Head(H(0), em1, e0);
      const V e1 = A::step1(L(1), H(1), H(2));
      const V o1 = A::step2(H(1), e0, e1);
      const V ep0 = A::step3(e0, o0, o1);
      const V om1 = A::step2(H(-1), em2, em1);
      // o'(0) = o(0) - alpha x (e'(-1) + e'(0)), with e'(-1) never formed.
      const V s = A::subProd(ep0 + em1, kLiftBeta, om1 + o0);
      D[0] = A::st(A::subProd(o0, kLiftAlpha, s));
      D[1] = A::st(ep0);
      D[2] = A::st(o1);
      D[3] = A::st(e1);
      if (w >= 3) middle(Lf, Hf + 1, w, D + 1);
      // e'(w-1) = e(w-1) - beta x (o(w-1) + o(w)), with o(w) never formed.
      const V owm1 = Dv(2 * w - 2);
      const V ewm1 = Dv(2 * w - 1);
      const V t = A::gammaPair(H(w), owm1, A::sumWithStep1(ewm1, L(w), H(w), H(w + 1)));
      const V epwm1 = A::subProd(ewm1, kLiftBeta, t);
      D[2 * w - 1] = A::st(epwm1);
      D[2 * w - 2] = A::st(A::step4(owm1, Dv(2 * w - 3), epwm1));
    }
  }
  return primResultOk;
}

// ---------------------------------------------------------------------------
// Column steps: argument checks.

template <class T>
inline PrimResult checkColumn(std::initializer_list<const T*> rows, int width) {
  for (const T* p : rows)
    if (!p) return primResultNullPointer;
  if (width < 1) return primResultBadSize;
  return primResultOk;
}

// Component transforms: argument checks.
template <class T>
inline PrimResult checkPlanes(T* const pPlanes[3], int step, int width, int height) {
  if (!pPlanes || !pPlanes[0] || !pPlanes[1] || !pPlanes[2]) return primResultNullPointer;
  if (step < 1) return primResultBadStep;
  if (width < 1 || height < 1) return primResultBadSize;
  return primResultOk;
}

// Q14 inverse irreversible transform of one 16-bit sample, saturating.
inline void ict16Sample(Prim16s& p0, Prim16s& p1, Prim16s& p2) {
  const int cr = p2, yy = p0, cb = p1;
  const int r = yy + ((kIctQ14CrToR * cr + kIctQ14Half) >> 14);
  const int g = yy + ((kIctQ14Half - kIctQ14CbToG * cb - kIctQ14CrToG * cr) >> 14);
  const int b = yy + ((kIctQ14CbToB * cb + kIctQ14Half) >> 14);
  p0 = sat16(r);
  p1 = sat16(g);
  p2 = sat16(b);
}

// Reversible transform of one sample (16 bits: the sum of U and V exact).
inline void rct16Sample(Prim16s& p0, Prim16s& p1, Prim16s& p2) {
  const int v = p2, u = p1, yy = p0;
  const int t = (u + v) >> 2;
  const Prim16s g = wrap16(yy - t);
  p0 = wrap16(v + g);
  p1 = g;
  p2 = wrap16(u + g);
}
inline void rct32Sample(Prim32s& p0, Prim32s& p1, Prim32s& p2) {
  const Prim32u v = static_cast<Prim32u>(p2), u = static_cast<Prim32u>(p1), yy = static_cast<Prim32u>(p0);
  const Prim32s t = static_cast<Prim32s>(u + v) >> 2;
  const Prim32u g = yy - static_cast<Prim32u>(t);
  p0 = static_cast<Prim32s>(v + g);
  p1 = static_cast<Prim32s>(g);
  p2 = static_cast<Prim32s>(u + g);
}

// Single-precision inverse irreversible transform of one sample, as the
// processor builds compute it.
inline void ict32fSample(float& p0, float& p1, float& p2) {
  const float yy = p0, cb = p1, cr = p2;
  p0 = cr * kIctCrToR + yy;
  p1 = (cb * -kIctCbToG + cr * -kIctCrToG) + yy;
  p2 = cb * kIctCbToB + yy;
}

// ---------------------------------------------------------------------------
// Irreversible transform into samples.

// Argument checks.
inline PrimResult checkToSamples(const Prim32f* const pSrc[3], Prim32s* const pDst[3], int len,
                                 const Prim32s pOffset[3], const Prim32s pLow[3], const Prim32s pHigh[3]) {
  if (!pSrc || !pDst || !pOffset || !pLow || !pHigh) return primResultNullPointer;
  for (int c = 0; c < 3; ++c)
    if (!pSrc[c] || !pDst[c]) return primResultNullPointer;
  if (len < 0) return primResultBadSize;
  constexpr Prim32s kBound = Prim32s{1} << 23;
  for (int c = 0; c < 3; ++c) {
    const Prim32s v[3] = {pOffset[c], pLow[c], pHigh[c]};
    for (Prim32s x : v)
      if (x < -kBound || x > kBound) return primResultBadArgument;
    if (pLow[c] > pHigh[c]) return primResultBadArgument;
  }
  return primResultOk;
}

// The transform of one pixel, single precision (the order of the contract).
inline void ictToSamplesPixel(float yy, float cb, float cr, float out[3]) {
  out[0] = yy + kIctCrToR * cr;
  out[1] = (yy - kIctCbToG * cb) - kIctCrToG * cr;
  out[2] = yy + kIctCbToB * cb;
}

// clamp(round(x) + offset, low, high) of one component, clamped first in
// floats: rounding keeps the order and the bounds less the offset are whole
// floats (at most 2^24 in magnitude), so clamping x to them gives the same
// integer, and NaN and values beyond the 32-bit range (which the saturating
// conversion takes to the range's ends) meet the bound they would have met.
struct SampleFinish {
  float lowLess, highLess;
  Prim32s offset;
  SampleFinish(Prim32s off, Prim32s low, Prim32s high)
      : lowLess(static_cast<float>(low - off)), highLess(static_cast<float>(high - off)), offset(off) {}
  // x clamped to [lowLess, highLess]; NaN gives lowLess, as the vector
  // maximum does with the bound as its second operand.
  float clamp(float x) const {
    const float a = x > lowLess ? x : lowLess;
    return a < highLess ? a : highLess;
  }
};

// A float of at most 2^24 in magnitude rounded to the nearest integer,
// ties to even, as the processor's conversion does under its default
// rounding: the truncation and the fraction it leaves are exact.
inline Prim32s roundHalfEven(float b) {
  const Prim32s t = static_cast<Prim32s>(b);
  const float f = b - static_cast<float>(t);
  if (f > 0.5f || (f == 0.5f && (t & 1))) return t + 1;
  if (f < -0.5f || (f == -0.5f && (t & 1))) return t - 1;
  return t;
}

}  // namespace prim::PRIM_GEN_NS::wavelet
