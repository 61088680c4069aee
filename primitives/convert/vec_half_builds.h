// Half-precision conversion kernels of the sse2, sse41 and avx builds.  No
// primitive calls them; they check nothing, return nothing and need non-null
// pointers and len >= 1.  nearest != 0 rounds to nearest with ties to even,
// 0 toward zero.  Half elements are IEEE binary16 patterns.  Every build
// gives the same results, independent of the caller's control register,
// which each kernel leaves exactly as it found it.  pDst may equal pSrc for
// the 16-bit to 16-bit kernels; the others need separate arrays.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_HALF_KERNELS(gen)                                                        \
  /* 16-bit integer to half (exact up to magnitude 2048, then rounded). */                    \
  void gen##_ownsConvert_16s16f(const Prim16s* pSrc, Prim16u* pDst, int len, int nearest);    \
  /* Half times 2^-scaleFactor to a 16-bit integer, saturated; NaN gives 0. */                \
  void gen##_ownsConvert_16f16s_Sfs(const Prim16u* pSrc, Prim16s* pDst, int len, int nearest, \
                                    int scaleFactor);                                         \
  /* Half to float, exact. */                                                                 \
  void gen##_ownsConvert_16f32f(const Prim16u* pSrc, Prim32f* pDst, int len);                 \
  /* Float to half. */                                                                        \
  void gen##_ownsConvert_32f16f(const Prim32f* pSrc, Prim16u* pDst, int len, int nearest);
PRIM_DECLARE_HALF_KERNELS(sse2)
PRIM_DECLARE_HALF_KERNELS(sse41)
PRIM_DECLARE_HALF_KERNELS(avx)
#undef PRIM_DECLARE_HALF_KERNELS
