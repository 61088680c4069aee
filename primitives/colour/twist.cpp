// Colour twist: dispatch table and public entry.
#include "primitives/colour/twist.h"

#include "primitives/colour/twist_builds.h"
#include "primitives/core/dispatch.h"

namespace {
PRIM_DISPATCH_TABLE(imgColorTwist_32f_C3R);
}  // namespace

PrimResult imgColorTwist_32f_C3R(const Prim32f* pSrc, int srcStep, Prim32f* pDst, int dstStep,
                                 PrimRoiSize roiSize, const Prim32f twist[3][4]) {
  return primDispatch(tbl_imgColorTwist_32f_C3R)(pSrc, srcStep, pDst, dstStep, roiSize, twist);
}
