// Complex threshold kernels of the threshold module.  No public primitive
// reaches them; the tests call them directly.  The ssse3 build also serves
// movbe.
//
// They compare the squared magnitude re*re + im*im with level*level in the
// element's precision, without a square root.  Like the module's cores they
// test nothing and return nothing: pointers are valid for `len` elements and
// `len` is at least 1; pDst may equal pSrc.  A 16-bit level or value travels
// in a 32-bit argument of which only the low 16 bits are used (for a 16sc
// value the real part in the low half).
#pragma once

#include "primitives/core/prim_types.h"

// Every SIMD build.
//  ownsThreshold_16sc: selector 0 (LT) raises a non-zero element whose
//    magnitude is below the level to the level's magnitude, direction kept,
//    parts rounded away from the origin, and a zero element to (level, 0);
//    any other selector (GT) lowers an element above the level, parts
//    rounded toward the origin.
//  ownsThreshold_64fc: the same on doubles, without rounding.
//  ownsThreshold_LTVal_16sc / GTVal_16sc: an element below / above the level
//    becomes `value`.
#define PRIM_DECLARE_THRESHOLD_CPLX_KERNELS(gen)                                                    \
  void gen##_ownsThreshold_16sc(Prim32s level, const Prim16sc* pSrc, Prim16sc* pDst, int len,       \
                                Prim32s selector);                                                  \
  void gen##_ownsThreshold_64fc(Prim64f level, const Prim64fc* pSrc, Prim64fc* pDst, int len,       \
                                Prim32s selector);                                                  \
  void gen##_ownsThreshold_LTVal_16sc(const Prim16sc* pSrc, Prim16sc* pDst, int len, Prim32s level, \
                                      Prim32s value);                                               \
  void gen##_ownsThreshold_GTVal_16sc(const Prim16sc* pSrc, Prim16sc* pDst, int len, Prim32s level, \
                                      Prim32s value);
PRIM_DECLARE_THRESHOLD_CPLX_KERNELS(sse2)
PRIM_DECLARE_THRESHOLD_CPLX_KERNELS(ssse3)
PRIM_DECLARE_THRESHOLD_CPLX_KERNELS(sse41)
PRIM_DECLARE_THRESHOLD_CPLX_KERNELS(avx)
PRIM_DECLARE_THRESHOLD_CPLX_KERNELS(avx2)
#undef PRIM_DECLARE_THRESHOLD_CPLX_KERNELS

// ssse3 and later builds only (they need the SSE3 horizontal add).
//  ownsThreshold_32fc(_I): selector 1 (GT) rescales an element whose
//    magnitude is above the level to magnitude |level|, direction kept; any
//    other selector (LT) rescales one below it and turns a zero element into
//    (level, 0).  The factor comes from the approximate reciprocal square
//    root refined by one Newton step (relative error below 2^-20).  Elements
//    that are not rescaled keep their exact bits.
//  ownsThreshold_LTVal_32fc / GTVal_32fc: an element whose squared magnitude
//    is below level*level (LT) or not at or below it (GT, so also a NaN one)
//    becomes `value`; every other element keeps its exact bits.
#define PRIM_DECLARE_THRESHOLD_CPLX32F_KERNELS(gen)                                                 \
  void gen##_ownsThreshold_32fc(Prim32f level, const Prim32fc* pSrc, Prim32fc* pDst, int len,       \
                                Prim32s selector);                                                  \
  void gen##_ownsThreshold_32fc_I(Prim32f level, Prim32fc* pSrcDst, int len, Prim32s selector);     \
  void gen##_ownsThreshold_LTVal_32fc(const Prim32fc* pSrc, Prim32fc* pDst, int len, Prim32f level, \
                                      Prim32fc value);                                              \
  void gen##_ownsThreshold_GTVal_32fc(const Prim32fc* pSrc, Prim32fc* pDst, int len, Prim32f level, \
                                      Prim32fc value);
PRIM_DECLARE_THRESHOLD_CPLX32F_KERNELS(ssse3)
PRIM_DECLARE_THRESHOLD_CPLX32F_KERNELS(sse41)
PRIM_DECLARE_THRESHOLD_CPLX32F_KERNELS(avx)
PRIM_DECLARE_THRESHOLD_CPLX32F_KERNELS(avx2)
#undef PRIM_DECLARE_THRESHOLD_CPLX32F_KERNELS
