// Power of a float vector: dst[i] = src[i] ^ val with at least 21 correct
// bits and the IEEE special values.
#pragma once

#include "primitives/core/prim_types.h"

PrimResult vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len);
