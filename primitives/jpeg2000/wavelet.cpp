// Dispatch tables and public entries of the wavelet primitives.
#include "primitives/jpeg2000/wavelet.h"

#include "primitives/core/dispatch.h"
#include "primitives/jpeg2000/wavelet_builds.h"

namespace {
PRIM_DISPATCH_TABLE(imgInvLift53Rows_16s_C1R);
PRIM_DISPATCH_TABLE(imgInvLift53Rows_32s_C1R);
PRIM_DISPATCH_TABLE(imgInvLift53ColumnStep_16s_C1);
PRIM_DISPATCH_TABLE(imgInvLift53ColumnStep_32s_C1);
PRIM_DISPATCH_TABLE(imgInvLift97Rows_16s_C1R);
PRIM_DISPATCH_TABLE(imgInvLift97Rows_32f_C1R);
PRIM_DISPATCH_TABLE(imgInvLift97ColumnStep_16s_C1);
PRIM_DISPATCH_TABLE(imgInvLift97ColumnStep_32f_C1);
PRIM_DISPATCH_TABLE(imgInterleaveHalves_16s);
PRIM_DISPATCH_TABLE(imgInterleaveHalves_32s);
}  // namespace

PrimResult imgInvLift53Rows_16s_C1R(const Prim16s* pLow, int lowStep, const Prim16s* pHigh, int highStep,
                                    int width, int height, Prim16s* pDst, int dstStep, int phase) {
  return primDispatch(tbl_imgInvLift53Rows_16s_C1R)(pLow, lowStep, pHigh, highStep, width, height, pDst,
                                                    dstStep, phase);
}
PrimResult imgInvLift53Rows_32s_C1R(const Prim32s* pLow, int lowStep, const Prim32s* pHigh, int highStep,
                                    int width, int height, Prim32s* pDst, int dstStep, int phase) {
  return primDispatch(tbl_imgInvLift53Rows_32s_C1R)(pLow, lowStep, pHigh, highStep, width, height, pDst,
                                                    dstStep, phase);
}
PrimResult imgInvLift53ColumnStep_16s_C1(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                         const Prim16s* pHighNext, const Prim16s* pEvenPrev, Prim16s* pDstOdd,
                                         Prim16s* pDstEven, int width) {
  return primDispatch(tbl_imgInvLift53ColumnStep_16s_C1)(pLowRow, pHighPrev, pHighNext, pEvenPrev, pDstOdd,
                                                         pDstEven, width);
}
PrimResult imgInvLift53ColumnStep_32s_C1(const Prim32s* pLowRow, const Prim32s* pHighPrev,
                                         const Prim32s* pHighNext, const Prim32s* pEvenPrev, Prim32s* pDstOdd,
                                         Prim32s* pDstEven, int width) {
  return primDispatch(tbl_imgInvLift53ColumnStep_32s_C1)(pLowRow, pHighPrev, pHighNext, pEvenPrev, pDstOdd,
                                                         pDstEven, width);
}
PrimResult imgInvLift97Rows_16s_C1R(const Prim16s* pLow, int lowStep, const Prim16s* pHigh, int highStep,
                                    int width, int height, Prim16s* pDst, int dstStep, int phase) {
  return primDispatch(tbl_imgInvLift97Rows_16s_C1R)(pLow, lowStep, pHigh, highStep, width, height, pDst,
                                                    dstStep, phase);
}
PrimResult imgInvLift97Rows_32f_C1R(const Prim32f* pLow, int lowStep, const Prim32f* pHigh, int highStep,
                                    int width, int height, Prim32f* pDst, int dstStep, int phase) {
  return primDispatch(tbl_imgInvLift97Rows_32f_C1R)(pLow, lowStep, pHigh, highStep, width, height, pDst,
                                                    dstStep, phase);
}
PrimResult imgInvLift97ColumnStep_16s_C1(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                         const Prim16s* pHighNext, const Prim16s* pEvenFinal,
                                         Prim16s* pOddGamma, Prim16s* pEvenDelta, Prim16s* pDstOdd,
                                         Prim16s* pDstEven, int width) {
  return primDispatch(tbl_imgInvLift97ColumnStep_16s_C1)(pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma,
                                                         pEvenDelta, pDstOdd, pDstEven, width);
}
PrimResult imgInvLift97ColumnStep_32f_C1(const Prim32f* pLowRow, const Prim32f* pHighPrev,
                                         const Prim32f* pHighNext, const Prim32f* pEvenFinal,
                                         Prim32f* pOddGamma, Prim32f* pEvenDelta, Prim32f* pDstOdd,
                                         Prim32f* pDstEven, int width) {
  return primDispatch(tbl_imgInvLift97ColumnStep_32f_C1)(pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma,
                                                         pEvenDelta, pDstOdd, pDstEven, width);
}
PrimResult imgInterleaveHalves_16s(const Prim16s* pEven, int nEven, const Prim16s* pOdd, int nOdd,
                                   Prim16s* pDst) {
  return primDispatch(tbl_imgInterleaveHalves_16s)(pEven, nEven, pOdd, nOdd, pDst);
}
PrimResult imgInterleaveHalves_32s(const Prim32s* pEven, int nEven, const Prim32s* pOdd, int nOdd,
                                   Prim32s* pDst) {
  return primDispatch(tbl_imgInterleaveHalves_32s)(pEven, nEven, pOdd, nOdd, pDst);
}
