// Image primitives: 2-D allocation, set, copy, multiply by a constant and
// right shift of single-channel images with a row step (in bytes).
#pragma once

#include "primitives/core/prim_types.h"

// A buffer of `height` rows of *pStep bytes (widthBytes rounded up to a
// multiple of 64), every row 64-byte aligned; null when it cannot be made.
Prim8u* imgMalloc_8u_C1(int widthBytes, int height, int* pStep);
void imgFree(void* p);

PrimResult imgSet_8u_C1R(Prim8u value, Prim8u* pDst, int dstStep, int width, int height);
PrimResult imgCopy_16s_C1R(const Prim16s* pSrc, int srcStep, Prim16s* pDst, int dstStep, int width,
                           int height);
PrimResult imgCopy_32s_C1R(const Prim32s* pSrc, int srcStep, Prim32s* pDst, int dstStep, int width,
                           int height);
// dst = src x value x 2^-scaleFactor, rounded half to even and saturated.
PrimResult imgMulC_16s_C1RSfs(const Prim16s* pSrc, int srcStep, Prim16s value, Prim16s* pDst, int dstStep,
                              int width, int height, int scaleFactor);
PrimResult imgMulC_32f_C1R(const Prim32f* pSrc, int srcStep, Prim32f value, Prim32f* pDst, int dstStep,
                           int width, int height);
// Arithmetic right shift; counts from 16 up give the sign fill.
PrimResult imgRShiftC_16s_C1R(const Prim16s* pSrc, int srcStep, Prim32u shift, Prim16s* pDst, int dstStep,
                              int width, int height);
