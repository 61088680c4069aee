// Dispatch tables and public entries of the inverse component transforms.
#include "primitives/jpeg2000/colour_transform.h"

#include "primitives/core/dispatch.h"
#include "primitives/jpeg2000/colour_transform_builds.h"

namespace {
PRIM_DISPATCH_TABLE(imgInvReversibleColor_16s_P3IR);
PRIM_DISPATCH_TABLE(imgInvReversibleColor_32s_P3IR);
PRIM_DISPATCH_TABLE(imgInvIrreversibleColor_16s_P3IR);
PRIM_DISPATCH_TABLE(imgInvIrreversibleColor_32f_P3IR);
PRIM_DISPATCH_TABLE(imgInvIrreversibleColorToSamples_32f32s_P3);
}  // namespace

PrimResult imgInvReversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width, int height) {
  return primDispatch(tbl_imgInvReversibleColor_16s_P3IR)(pPlanes, step, width, height);
}
PrimResult imgInvReversibleColor_32s_P3IR(Prim32s* const pPlanes[3], int step, int width, int height) {
  return primDispatch(tbl_imgInvReversibleColor_32s_P3IR)(pPlanes, step, width, height);
}
PrimResult imgInvIrreversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width, int height) {
  return primDispatch(tbl_imgInvIrreversibleColor_16s_P3IR)(pPlanes, step, width, height);
}
PrimResult imgInvIrreversibleColor_32f_P3IR(Prim32f* const pPlanes[3], int step, int width, int height) {
  return primDispatch(tbl_imgInvIrreversibleColor_32f_P3IR)(pPlanes, step, width, height);
}
PrimResult imgInvIrreversibleColorToSamples_32f32s_P3(const Prim32f* const pSrc[3], Prim32s* const pDst[3],
                                                      int len, const Prim32s pOffset[3],
                                                      const Prim32s pLow[3], const Prim32s pHigh[3]) {
  return primDispatch(tbl_imgInvIrreversibleColorToSamples_32f32s_P3)(pSrc, pDst, len, pOffset, pLow, pHigh);
}
