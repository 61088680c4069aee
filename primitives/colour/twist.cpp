// Colour twist: dispatch table and public entry.
#include "primitives/colour/twist.h"

#include "primitives/colour/twist_builds.h"
#include "primitives/core/dispatch.h"

namespace {
constexpr PrimDispatchTable<decltype(&px_imgColorTwist_32f_C3R)> tblTwist{
    {px_imgColorTwist_32f_C3R, sse2_imgColorTwist_32f_C3R, ssse3_imgColorTwist_32f_C3R,
     ssse3_imgColorTwist_32f_C3R, sse41_imgColorTwist_32f_C3R, avx_imgColorTwist_32f_C3R,
     avx2_imgColorTwist_32f_C3R}};
}  // namespace

PrimResult imgColorTwist_32f_C3R(const Prim32f* pSrc, int srcStep, Prim32f* pDst, int dstStep,
                                 PrimRoiSize roiSize, const Prim32f twist[3][4]) {
  return primDispatch(tblTwist)(pSrc, srcStep, pDst, dstStep, roiSize, twist);
}
