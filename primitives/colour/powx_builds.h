// Builds, kernels and kernel tables of the power primitive.
//
// Each build calls entry 0 of its kernel table; entries 1 and 2 hold further
// kernels of the same operation that nothing in the program calls (here the
// entry-0 kernel).  The companion tables hold one figure per kernel that no
// operation reads.
#pragma once

#include "primitives/core/prim_types.h"

using PowxKernel = PrimResult (*)(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len);

PrimResult px_vecPowx_32f_A21(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult sse2_vecPowx_32f_A21(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult ssse3_vecPowx_32f_A21(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult movbe_vecPowx_32f_A21(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult sse41_vecPowx_32f_A21(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult avx_vecPowx_32f_A21(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult avx2_vecPowx_32f_A21(const Prim32f*, Prim32f, Prim32f*, int);

PrimResult px_ownsPowx_32f(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult sse2_ownsPowx_32f(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult avx_ownsPowx_32f(const Prim32f*, Prim32f, Prim32f*, int);
PrimResult avx2_ownsPowx_32f(const Prim32f*, Prim32f, Prim32f*, int);

extern const PowxKernel own_vec_sPowx_PX_ttab[3];
extern const PowxKernel own_vec_sPowx_SSE2_ttab[3];
extern const PowxKernel own_vec_sPowx_SSSE3_ttab[3];
extern const PowxKernel own_vec_sPowx_SSE41_ttab[3];
extern const PowxKernel own_vec_sPowx_AVX_ttab[3];
extern const PowxKernel own_vec_sPowx_AVX2_ttab[3];
extern const float own_vec_sPowx_PX_ctab[3];
extern const float own_vec_sPowx_SSE2_ctab[3];
extern const float own_vec_sPowx_SSSE3_ctab[3];
extern const float own_vec_sPowx_SSE41_ctab[3];
extern const float own_vec_sPowx_AVX_ctab[3];
extern const float own_vec_sPowx_AVX2_ctab[3];

// Told about every element whose result is a reported special case (a zero
// raised to a negative power, a negative number to a non-integral power).
// It does nothing in this program.
void ownMathErrorHook(int code, int index, const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst1,
                      Prim32f* pDst2, const char* name);
