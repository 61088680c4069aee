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

// The six entries differ only in their name and element type.
#define PRIM_THRESHOLD_ENTRY(name, T)                         \
  PrimResult name(const T* pSrc, T* pDst, int len, T level) { \
    return primDispatch(tbl_##name)(pSrc, pDst, len, level);  \
  }
PRIM_THRESHOLD_ENTRY(vecThreshold_LT_32f, Prim32f)
PRIM_THRESHOLD_ENTRY(vecThreshold_GT_32f, Prim32f)
PRIM_THRESHOLD_ENTRY(vecThreshold_LT_16s, Prim16s)
PRIM_THRESHOLD_ENTRY(vecThreshold_GT_16s, Prim16s)
PRIM_THRESHOLD_ENTRY(vecThreshold_LT_32s, Prim32s)
PRIM_THRESHOLD_ENTRY(vecThreshold_GT_32s, Prim32s)
#undef PRIM_THRESHOLD_ENTRY
