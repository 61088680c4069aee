// Dispatch tables and public entries of the wavelet and component-transform
// primitives.  The movbe slot repeats the ssse3 build.
#include "primitives/jpeg2000/wavelet.h"

#include "primitives/core/dispatch.h"
#include "primitives/jpeg2000/wavelet_builds.h"

namespace {
constexpr PrimDispatchTable<decltype(&px_imgInvLift53Rows_16s_C1R)> tbl_imgInvLift53Rows_16s_C1R{
    {px_imgInvLift53Rows_16s_C1R, sse2_imgInvLift53Rows_16s_C1R, ssse3_imgInvLift53Rows_16s_C1R,
     ssse3_imgInvLift53Rows_16s_C1R, sse41_imgInvLift53Rows_16s_C1R, avx_imgInvLift53Rows_16s_C1R,
     avx2_imgInvLift53Rows_16s_C1R}};
constexpr PrimDispatchTable<decltype(&px_imgInvLift53Rows_32s_C1R)> tbl_imgInvLift53Rows_32s_C1R{
    {px_imgInvLift53Rows_32s_C1R, sse2_imgInvLift53Rows_32s_C1R, ssse3_imgInvLift53Rows_32s_C1R,
     ssse3_imgInvLift53Rows_32s_C1R, sse41_imgInvLift53Rows_32s_C1R, avx_imgInvLift53Rows_32s_C1R,
     avx2_imgInvLift53Rows_32s_C1R}};
constexpr PrimDispatchTable<decltype(&px_imgInvLift53ColumnStep_16s_C1)>
    tbl_imgInvLift53ColumnStep_16s_C1{
        {px_imgInvLift53ColumnStep_16s_C1, sse2_imgInvLift53ColumnStep_16s_C1,
         ssse3_imgInvLift53ColumnStep_16s_C1, ssse3_imgInvLift53ColumnStep_16s_C1,
         sse41_imgInvLift53ColumnStep_16s_C1, avx_imgInvLift53ColumnStep_16s_C1,
         avx2_imgInvLift53ColumnStep_16s_C1}};
constexpr PrimDispatchTable<decltype(&px_imgInvLift53ColumnStep_32s_C1)>
    tbl_imgInvLift53ColumnStep_32s_C1{
        {px_imgInvLift53ColumnStep_32s_C1, sse2_imgInvLift53ColumnStep_32s_C1,
         ssse3_imgInvLift53ColumnStep_32s_C1, ssse3_imgInvLift53ColumnStep_32s_C1,
         sse41_imgInvLift53ColumnStep_32s_C1, avx_imgInvLift53ColumnStep_32s_C1,
         avx2_imgInvLift53ColumnStep_32s_C1}};
constexpr PrimDispatchTable<decltype(&px_imgInvLift97Rows_16s_C1R)> tbl_imgInvLift97Rows_16s_C1R{
    {px_imgInvLift97Rows_16s_C1R, sse2_imgInvLift97Rows_16s_C1R, ssse3_imgInvLift97Rows_16s_C1R,
     ssse3_imgInvLift97Rows_16s_C1R, sse41_imgInvLift97Rows_16s_C1R, avx_imgInvLift97Rows_16s_C1R,
     avx2_imgInvLift97Rows_16s_C1R}};
constexpr PrimDispatchTable<decltype(&px_imgInvLift97Rows_32f_C1R)> tbl_imgInvLift97Rows_32f_C1R{
    {px_imgInvLift97Rows_32f_C1R, sse2_imgInvLift97Rows_32f_C1R, ssse3_imgInvLift97Rows_32f_C1R,
     ssse3_imgInvLift97Rows_32f_C1R, sse41_imgInvLift97Rows_32f_C1R, avx_imgInvLift97Rows_32f_C1R,
     avx2_imgInvLift97Rows_32f_C1R}};
constexpr PrimDispatchTable<decltype(&px_imgInvLift97ColumnStep_16s_C1)>
    tbl_imgInvLift97ColumnStep_16s_C1{
        {px_imgInvLift97ColumnStep_16s_C1, sse2_imgInvLift97ColumnStep_16s_C1,
         ssse3_imgInvLift97ColumnStep_16s_C1, ssse3_imgInvLift97ColumnStep_16s_C1,
         sse41_imgInvLift97ColumnStep_16s_C1, avx_imgInvLift97ColumnStep_16s_C1,
         avx2_imgInvLift97ColumnStep_16s_C1}};
constexpr PrimDispatchTable<decltype(&px_imgInvLift97ColumnStep_32f_C1)>
    tbl_imgInvLift97ColumnStep_32f_C1{
        {px_imgInvLift97ColumnStep_32f_C1, sse2_imgInvLift97ColumnStep_32f_C1,
         ssse3_imgInvLift97ColumnStep_32f_C1, ssse3_imgInvLift97ColumnStep_32f_C1,
         sse41_imgInvLift97ColumnStep_32f_C1, avx_imgInvLift97ColumnStep_32f_C1,
         avx2_imgInvLift97ColumnStep_32f_C1}};
constexpr PrimDispatchTable<decltype(&px_imgInvReversibleColor_16s_P3IR)>
    tbl_imgInvReversibleColor_16s_P3IR{
        {px_imgInvReversibleColor_16s_P3IR, sse2_imgInvReversibleColor_16s_P3IR,
         ssse3_imgInvReversibleColor_16s_P3IR, ssse3_imgInvReversibleColor_16s_P3IR,
         sse41_imgInvReversibleColor_16s_P3IR, avx_imgInvReversibleColor_16s_P3IR,
         avx2_imgInvReversibleColor_16s_P3IR}};
constexpr PrimDispatchTable<decltype(&px_imgInvReversibleColor_32s_P3IR)>
    tbl_imgInvReversibleColor_32s_P3IR{
        {px_imgInvReversibleColor_32s_P3IR, sse2_imgInvReversibleColor_32s_P3IR,
         ssse3_imgInvReversibleColor_32s_P3IR, ssse3_imgInvReversibleColor_32s_P3IR,
         sse41_imgInvReversibleColor_32s_P3IR, avx_imgInvReversibleColor_32s_P3IR,
         avx2_imgInvReversibleColor_32s_P3IR}};
constexpr PrimDispatchTable<decltype(&px_imgInvIrreversibleColor_16s_P3IR)>
    tbl_imgInvIrreversibleColor_16s_P3IR{
        {px_imgInvIrreversibleColor_16s_P3IR, sse2_imgInvIrreversibleColor_16s_P3IR,
         ssse3_imgInvIrreversibleColor_16s_P3IR, ssse3_imgInvIrreversibleColor_16s_P3IR,
         sse41_imgInvIrreversibleColor_16s_P3IR, avx_imgInvIrreversibleColor_16s_P3IR,
         avx2_imgInvIrreversibleColor_16s_P3IR}};
constexpr PrimDispatchTable<decltype(&px_imgInvIrreversibleColor_32f_P3IR)>
    tbl_imgInvIrreversibleColor_32f_P3IR{
        {px_imgInvIrreversibleColor_32f_P3IR, sse2_imgInvIrreversibleColor_32f_P3IR,
         ssse3_imgInvIrreversibleColor_32f_P3IR, ssse3_imgInvIrreversibleColor_32f_P3IR,
         sse41_imgInvIrreversibleColor_32f_P3IR, avx_imgInvIrreversibleColor_32f_P3IR,
         avx2_imgInvIrreversibleColor_32f_P3IR}};
}  // namespace

PrimResult imgInvLift53Rows_16s_C1R(const Prim16s* pLow, int lowStep, const Prim16s* pHigh,
                                    int highStep, int width, int height, Prim16s* pDst, int dstStep,
                                    int phase) {
  return primDispatch(tbl_imgInvLift53Rows_16s_C1R)(pLow, lowStep, pHigh, highStep, width, height,
                                                    pDst, dstStep, phase);
}
PrimResult imgInvLift53Rows_32s_C1R(const Prim32s* pLow, int lowStep, const Prim32s* pHigh,
                                    int highStep, int width, int height, Prim32s* pDst, int dstStep,
                                    int phase) {
  return primDispatch(tbl_imgInvLift53Rows_32s_C1R)(pLow, lowStep, pHigh, highStep, width, height,
                                                    pDst, dstStep, phase);
}
PrimResult imgInvLift53ColumnStep_16s_C1(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                         const Prim16s* pHighNext, const Prim16s* pEvenPrev,
                                         Prim16s* pDstOdd, Prim16s* pDstEven, int width) {
  return primDispatch(tbl_imgInvLift53ColumnStep_16s_C1)(pLowRow, pHighPrev, pHighNext, pEvenPrev,
                                                         pDstOdd, pDstEven, width);
}
PrimResult imgInvLift53ColumnStep_32s_C1(const Prim32s* pLowRow, const Prim32s* pHighPrev,
                                         const Prim32s* pHighNext, const Prim32s* pEvenPrev,
                                         Prim32s* pDstOdd, Prim32s* pDstEven, int width) {
  return primDispatch(tbl_imgInvLift53ColumnStep_32s_C1)(pLowRow, pHighPrev, pHighNext, pEvenPrev,
                                                         pDstOdd, pDstEven, width);
}
PrimResult imgInvLift97Rows_16s_C1R(const Prim16s* pLow, int lowStep, const Prim16s* pHigh,
                                    int highStep, int width, int height, Prim16s* pDst, int dstStep,
                                    int phase) {
  return primDispatch(tbl_imgInvLift97Rows_16s_C1R)(pLow, lowStep, pHigh, highStep, width, height,
                                                    pDst, dstStep, phase);
}
PrimResult imgInvLift97Rows_32f_C1R(const Prim32f* pLow, int lowStep, const Prim32f* pHigh,
                                    int highStep, int width, int height, Prim32f* pDst, int dstStep,
                                    int phase) {
  return primDispatch(tbl_imgInvLift97Rows_32f_C1R)(pLow, lowStep, pHigh, highStep, width, height,
                                                    pDst, dstStep, phase);
}
PrimResult imgInvLift97ColumnStep_16s_C1(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                         const Prim16s* pHighNext, const Prim16s* pEvenFinal,
                                         Prim16s* pOddGamma, Prim16s* pEvenDelta, Prim16s* pDstOdd,
                                         Prim16s* pDstEven, int width) {
  return primDispatch(tbl_imgInvLift97ColumnStep_16s_C1)(
      pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma, pEvenDelta, pDstOdd, pDstEven, width);
}
PrimResult imgInvLift97ColumnStep_32f_C1(const Prim32f* pLowRow, const Prim32f* pHighPrev,
                                         const Prim32f* pHighNext, const Prim32f* pEvenFinal,
                                         Prim32f* pOddGamma, Prim32f* pEvenDelta, Prim32f* pDstOdd,
                                         Prim32f* pDstEven, int width) {
  return primDispatch(tbl_imgInvLift97ColumnStep_32f_C1)(
      pLowRow, pHighPrev, pHighNext, pEvenFinal, pOddGamma, pEvenDelta, pDstOdd, pDstEven, width);
}
PrimResult imgInvReversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width,
                                          int height) {
  return primDispatch(tbl_imgInvReversibleColor_16s_P3IR)(pPlanes, step, width, height);
}
PrimResult imgInvReversibleColor_32s_P3IR(Prim32s* const pPlanes[3], int step, int width,
                                          int height) {
  return primDispatch(tbl_imgInvReversibleColor_32s_P3IR)(pPlanes, step, width, height);
}
PrimResult imgInvIrreversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width,
                                            int height) {
  return primDispatch(tbl_imgInvIrreversibleColor_16s_P3IR)(pPlanes, step, width, height);
}
PrimResult imgInvIrreversibleColor_32f_P3IR(Prim32f* const pPlanes[3], int step, int width,
                                            int height) {
  return primDispatch(tbl_imgInvIrreversibleColor_32f_P3IR)(pPlanes, step, width, height);
}
