// Threshold primitives: dispatch tables and public entries.
#include "primitives/colour/threshold.h"

#include "primitives/colour/threshold_builds.h"
#include "primitives/core/dispatch.h"

namespace {
PRIM_DISPATCH_TABLE(vecThreshold_LT_32f);
PRIM_DISPATCH_TABLE(vecThreshold_GT_32f);
PRIM_DISPATCH_TABLE(vecThreshold_LT_16s);
PRIM_DISPATCH_TABLE(vecThreshold_GT_16s);
PRIM_DISPATCH_TABLE(vecThreshold_LT_32s);
PRIM_DISPATCH_TABLE(vecThreshold_GT_32s);
}  // namespace

PrimResult vecThreshold_LT_32f(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level) {
  return primDispatch(tbl_vecThreshold_LT_32f)(pSrc, pDst, len, level);
}
PrimResult vecThreshold_GT_32f(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level) {
  return primDispatch(tbl_vecThreshold_GT_32f)(pSrc, pDst, len, level);
}
PrimResult vecThreshold_LT_16s(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level) {
  return primDispatch(tbl_vecThreshold_LT_16s)(pSrc, pDst, len, level);
}
PrimResult vecThreshold_GT_16s(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level) {
  return primDispatch(tbl_vecThreshold_GT_16s)(pSrc, pDst, len, level);
}
PrimResult vecThreshold_LT_32s(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level) {
  return primDispatch(tbl_vecThreshold_LT_32s)(pSrc, pDst, len, level);
}
PrimResult vecThreshold_GT_32s(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level) {
  return primDispatch(tbl_vecThreshold_GT_32s)(pSrc, pDst, len, level);
}
