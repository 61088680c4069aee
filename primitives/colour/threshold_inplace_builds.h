// In-place threshold kernels of the threshold module (32s less-than and
// greater-than, 64f clamp) and the 32s two-level kernels.  No public primitive
// reaches them; every SIMD build carries them (the ssse3 build also serves
// movbe), and the tests call them directly.
//
// Like the module's cores they test nothing and return nothing: pointers are
// valid for `len` elements and `len` is at least 1.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_THRESHOLD_INPLACE_KERNELS(gen)                                                      \
  /* Elements below `level` become `level`. */                                                           \
  void gen##_ownsThreshold_LT_32s_I(Prim32s* pSrcDst, int len, Prim32s level);                           \
  /* Elements above `level` become `level`. */                                                           \
  void gen##_ownsThreshold_GT_32s_I(Prim32s* pSrcDst, int len, Prim32s level);                           \
  /* Elements below levelLT become valueLT, those above levelGT valueGT. */                              \
  void gen##_ownsThreshold_LTValGTVal_32s_I(Prim32s* pSrcDst, int len, Prim32s levelLT, Prim32s valueLT, \
                                            Prim32s levelGT, Prim32s valueGT);                           \
  void gen##_ownsThreshold_LTValGTVal_32s(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s levelLT,  \
                                          Prim32s valueLT, Prim32s levelGT, Prim32s valueGT);            \
  /* selector 0: max(x, level); any other value: min(x, level). */                                       \
  void gen##_ownsThresholdMinMax_64f_I(Prim64f level, Prim64f* pSrcDst, int len, Prim32s selector);
PRIM_DECLARE_THRESHOLD_INPLACE_KERNELS(sse2)
PRIM_DECLARE_THRESHOLD_INPLACE_KERNELS(ssse3)
PRIM_DECLARE_THRESHOLD_INPLACE_KERNELS(sse41)
PRIM_DECLARE_THRESHOLD_INPLACE_KERNELS(avx)
PRIM_DECLARE_THRESHOLD_INPLACE_KERNELS(avx2)
#undef PRIM_DECLARE_THRESHOLD_INPLACE_KERNELS
