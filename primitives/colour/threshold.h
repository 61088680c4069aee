// Threshold primitives: clamp a vector from below (LT: elements below the
// level become the level) or from above (GT).  pDst may equal pSrc.
#pragma once

#include "primitives/core/prim_types.h"

PrimResult vecThreshold_LT_32f(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level);
PrimResult vecThreshold_GT_32f(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level);
PrimResult vecThreshold_LT_16s(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level);
PrimResult vecThreshold_GT_16s(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level);
PrimResult vecThreshold_LT_32s(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level);
PrimResult vecThreshold_GT_32s(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level);
