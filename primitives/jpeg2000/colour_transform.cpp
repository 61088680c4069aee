// Dispatch tables and public entries of the inverse component transforms.
#include "primitives/jpeg2000/colour_transform.h"

#include "primitives/core/dispatch.h"
#include "primitives/jpeg2000/colour_transform_builds.h"

namespace {
PRIM_DISPATCH_TABLE(imgInvReversibleColor_16s_P3IR);
PRIM_DISPATCH_TABLE(imgInvReversibleColor_32s_P3IR);
PRIM_DISPATCH_TABLE(imgInvIrreversibleColor_16s_P3IR);
PRIM_DISPATCH_TABLE(imgInvIrreversibleColor_32f_P3IR);
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
