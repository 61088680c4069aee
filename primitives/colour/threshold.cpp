// Threshold primitives: dispatch tables and public entries.
#include "primitives/colour/threshold.h"

#include "primitives/colour/threshold_builds.h"
#include "primitives/core/dispatch.h"

#define PRIM_THRESHOLD_ENTRY(name, T)                                                         \
  namespace {                                                                                 \
  constexpr PrimDispatchTable<decltype(&px_##name)> tbl_##name{                               \
      {px_##name, sse2_##name, ssse3_##name, ssse3_##name, sse41_##name, avx_##name, avx2_##name}}; \
  }                                                                                           \
  PrimResult name(const T* pSrc, T* pDst, int len, T level) {                                 \
    return primDispatch(tbl_##name)(pSrc, pDst, len, level);                                  \
  }

PRIM_THRESHOLD_ENTRY(vecThreshold_LT_32f, Prim32f)
PRIM_THRESHOLD_ENTRY(vecThreshold_GT_32f, Prim32f)
PRIM_THRESHOLD_ENTRY(vecThreshold_LT_16s, Prim16s)
PRIM_THRESHOLD_ENTRY(vecThreshold_GT_16s, Prim16s)
PRIM_THRESHOLD_ENTRY(vecThreshold_LT_32s, Prim32s)
PRIM_THRESHOLD_ENTRY(vecThreshold_GT_32s, Prim32s)
