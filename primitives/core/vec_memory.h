// Vector copy, zero and set (public byte primitives).
#pragma once

#include "primitives/core/prim_types.h"

PrimResult vecCopy_8u(const Prim8u* pSrc, Prim8u* pDst, int len);
PrimResult vecZero_8u(Prim8u* pDst, int len);
PrimResult vecSet_8u(Prim8u val, Prim8u* pDst, int len);
