// Wavelet primitives: generic builds.
#include "primitives/jpeg2000/wavelet_builds.h"
#include "primitives/jpeg2000/wavelet_lift.h"

namespace prim::PRIM_GEN_NS {
namespace {
using namespace wavelet;

// Generic arithmetic of the float 9/7: each expression in double precision,
// rounded to float when stored.
using ArithPx = FloatArith<double, TailGrouping::TwoTermFirst, false>;

template <class T>
PrimResult lift53Rows(const T* pLow, int lowStep, const T* pHigh, int highStep, int width, int height,
                      T* pDst, int dstStep, int phase) {
  const PrimResult r = checkRows(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y) {
    const T* L = rowAt(pLow, lowStep, y);
    const T* H = rowAt(pHigh, highStep, y);
    T* D = rowAt(pDst, dstStep, y);
    if (phase == 0) {
      T prev = even53(L[0], H[-1], H[0]);
      D[0] = prev;
      for (int k = 0; k + 1 < width; ++k) {
        const T e = even53(L[k + 1], H[k], H[k + 1]);
        D[2 * k + 1] = odd53(H[k], prev, e);
        D[2 * k + 2] = e;
        prev = e;
      }
      const T last = even53(L[width], H[width - 1], H[width]);
      D[2 * width - 1] = odd53(H[width - 1], D[2 * width - 2], last);
    } else {
      T prev = even53(L[-1], H[-1], H[0]);
      for (int k = 0; k < width; ++k) {
        const T e = even53(L[k], H[k], H[k + 1]);
        D[2 * k] = odd53(H[k], prev, e);
        D[2 * k + 1] = e;
        prev = e;
      }
    }
  }
  return primResultOk;
}

template <class T>
PrimResult lift53Column(const T* pL, const T* pHp, const T* pHn, const T* pE, T* pOdd, T* pEven, int width) {
  const PrimResult r = checkColumn<T>({pL, pHp, pHn, pE, pOdd, pEven}, width);
  if (r != primResultOk) return r;
  for (int i = 0; i < width; ++i) {
    const T e = even53(pL[i], pHp[i], pHn[i]);
    const T o = odd53(pHp[i], pE[i], e);
    pEven[i] = e;
    pOdd[i] = o;
  }
  return primResultOk;
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;
using namespace prim::PRIM_GEN_NS::wavelet;

PrimResult px_imgInvLift53Rows_16s_C1R(const Prim16s* pLow, int lowStep, const Prim16s* pHigh, int highStep,
                                       int width, int height, Prim16s* pDst, int dstStep, int phase) {
  return lift53Rows(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase);
}

PrimResult px_imgInvLift53Rows_32s_C1R(const Prim32s* pLow, int lowStep, const Prim32s* pHigh, int highStep,
                                       int width, int height, Prim32s* pDst, int dstStep, int phase) {
  return lift53Rows(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase);
}

PrimResult px_imgInvLift53ColumnStep_16s_C1(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                            const Prim16s* pHighNext, const Prim16s* pEvenPrev,
                                            Prim16s* pDstOdd, Prim16s* pDstEven, int width) {
  return lift53Column(pLowRow, pHighPrev, pHighNext, pEvenPrev, pDstOdd, pDstEven, width);
}

PrimResult px_imgInvLift53ColumnStep_32s_C1(const Prim32s* pLowRow, const Prim32s* pHighPrev,
                                            const Prim32s* pHighNext, const Prim32s* pEvenPrev,
                                            Prim32s* pDstOdd, Prim32s* pDstEven, int width) {
  return lift53Column(pLowRow, pHighPrev, pHighNext, pEvenPrev, pDstOdd, pDstEven, width);
}

PrimResult px_imgInvLift97Rows_16s_C1R(const Prim16s* pLow, int lowStep, const Prim16s* pHigh, int highStep,
                                       int width, int height, Prim16s* pDst, int dstStep, int phase) {
  return invLift97Rows16(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase, middle97Fixed);
}

PrimResult px_imgInvLift97Rows_32f_C1R(const Prim32f* pLow, int lowStep, const Prim32f* pHigh, int highStep,
                                       int width, int height, Prim32f* pDst, int dstStep, int phase) {
  return invLift97RowsFloat<ArithPx>(pLow, lowStep, pHigh, highStep, width, height, pDst, dstStep, phase,
                                     middle97FloatPasses<ArithPx>);
}

PrimResult px_imgInvLift97ColumnStep_16s_C1(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                            const Prim16s* pHighNext, const Prim16s* pEvenFinal,
                                            Prim16s* pOddGamma, Prim16s* pEvenDelta, Prim16s* pDstOdd,
                                            Prim16s* pDstEven, int width) {
  const PrimResult r = checkColumn<Prim16s>(
      {pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma, pEvenDelta, pDstOdd, pDstEven}, width);
  if (r != primResultOk) return r;
  for (int i = 0; i < width; ++i) pDstEven[i] = q16Step1(pLowRow[i], pHighPrev[i], pHighNext[i]);
  for (int i = 0; i < width; ++i) pDstOdd[i] = q16Step2(pHighPrev[i], pEvenDelta[i], pDstEven[i]);
  for (int i = 0; i < width; ++i) pEvenDelta[i] = q16Step3(pEvenDelta[i], pOddGamma[i], pDstOdd[i]);
  for (int i = 0; i < width; ++i) pOddGamma[i] = q16Step4(pOddGamma[i], pEvenFinal[i], pEvenDelta[i]);
  return primResultOk;
}

PrimResult px_imgInvLift97ColumnStep_32f_C1(const Prim32f* pLowRow, const Prim32f* pHighPrev,
                                            const Prim32f* pHighNext, const Prim32f* pEvenFinal,
                                            Prim32f* pOddGamma, Prim32f* pEvenDelta, Prim32f* pDstOdd,
                                            Prim32f* pDstEven, int width) {
  const PrimResult r = checkColumn<Prim32f>(
      {pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma, pEvenDelta, pDstOdd, pDstEven}, width);
  if (r != primResultOk) return r;
  using A = ArithPx;
  // Element by element in increasing order, so that overlapping rows see the
  // values written just before.
  for (int i = 0; i < width; ++i) pDstEven[i] = A::st(A::step1(pLowRow[i], pHighPrev[i], pHighNext[i]));
  for (int i = 0; i < width; ++i) pDstOdd[i] = A::st(A::step2(pHighPrev[i], pEvenDelta[i], pDstEven[i]));
  for (int i = 0; i < width; ++i) pEvenDelta[i] = A::st(A::step3(pEvenDelta[i], pOddGamma[i], pDstOdd[i]));
  for (int i = 0; i < width; ++i) pOddGamma[i] = A::st(A::step4(pOddGamma[i], pEvenFinal[i], pEvenDelta[i]));
  return primResultOk;
}

PrimResult px_imgInterleaveHalves_16s(const Prim16s* pEven, int nEven, const Prim16s* pOdd, int nOdd,
                                      Prim16s* pDst) {
  const PrimResult r = checkHalves(pEven, nEven, pOdd, nOdd, pDst);
  if (r == primResultOk) interleaveFrom(0, pEven, nEven, pOdd, nOdd, pDst);
  return r;
}

PrimResult px_imgInterleaveHalves_32s(const Prim32s* pEven, int nEven, const Prim32s* pOdd, int nOdd,
                                      Prim32s* pDst) {
  const PrimResult r = checkHalves(pEven, nEven, pOdd, nOdd, pDst);
  if (r == primResultOk) interleaveFrom(0, pEven, nEven, pOdd, nOdd, pDst);
  return r;
}
