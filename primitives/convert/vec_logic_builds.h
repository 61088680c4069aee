// Logic and shift kernels of the sse2, ssse3, sse41 and avx builds.  No
// primitive calls them; they check nothing and return nothing.  A length
// below 1 touches nothing.  The narrow elements use the low 8 or 16 bits of
// the constant.  Shift counts are read as unsigned: from the element width on
// (negative counts included) left and logical right shifts give 0 and
// arithmetic right shifts the sign fill.  A destination may be the same
// array as a source; partial overlap is not allowed.
#pragma once

#include "primitives/core/prim_types.h"

// AND, OR, XOR with a constant: pDst[i] = pSrc[i] op val, and in place.
#define PRIM_DECLARE_LOGIC_C(gen, Name, T)                         \
  void gen##_owns##Name(const T* pSrc, int val, T* pDst, int len); \
  void gen##_owns##Name##_I(int val, T* pSrcDst, int len);
// AND, OR, XOR of two vectors: pDst[i] = pSrc1[i] op pSrc2[i]; in place
// pSrcDst[i] = pSrcDst[i] op pSrc[i].
#define PRIM_DECLARE_LOGIC_2(gen, Name, T)                                 \
  void gen##_owns##Name(const T* pSrc1, const T* pSrc2, T* pDst, int len); \
  void gen##_owns##Name##_I(const T* pSrc, T* pSrcDst, int len);

#define PRIM_DECLARE_LOGIC_KERNELS(gen)                             \
  PRIM_DECLARE_LOGIC_C(gen, AndC_8u, Prim8u)                        \
  PRIM_DECLARE_LOGIC_C(gen, OrC_8u, Prim8u)                         \
  PRIM_DECLARE_LOGIC_C(gen, XorC_8u, Prim8u)                        \
  PRIM_DECLARE_LOGIC_C(gen, AndC_16u, Prim16u)                      \
  PRIM_DECLARE_LOGIC_C(gen, OrC_16u, Prim16u)                       \
  PRIM_DECLARE_LOGIC_C(gen, XorC_16u, Prim16u)                      \
  PRIM_DECLARE_LOGIC_C(gen, AndC_32s, Prim32s)                      \
  PRIM_DECLARE_LOGIC_C(gen, OrC_32s, Prim32s)                       \
  PRIM_DECLARE_LOGIC_C(gen, XorC_32s, Prim32s)                      \
  /* Shifts by a constant in place. */                              \
  void gen##_ownsLShiftC_8u_I(int val, Prim8u* pSrcDst, int len);   \
  void gen##_ownsRShiftC_8u_I(int val, Prim8u* pSrcDst, int len);   \
  void gen##_ownsLShiftC_16u_I(int val, Prim16u* pSrcDst, int len); \
  void gen##_ownsRShiftC_16u_I(int val, Prim16u* pSrcDst, int len); \
  void gen##_ownsRShiftC_16s_I(int val, Prim16s* pSrcDst, int len); \
  void gen##_ownsLShiftC_32s_I(int val, Prim32s* pSrcDst, int len); \
  void gen##_ownsRShiftC_32s_I(int val, Prim32s* pSrcDst, int len); \
  PRIM_DECLARE_LOGIC_2(gen, And_8u, Prim8u)                         \
  PRIM_DECLARE_LOGIC_2(gen, Or_8u, Prim8u)                          \
  PRIM_DECLARE_LOGIC_2(gen, Xor_8u, Prim8u)                         \
  PRIM_DECLARE_LOGIC_2(gen, And_16u, Prim16u)                       \
  PRIM_DECLARE_LOGIC_2(gen, Or_16u, Prim16u)                        \
  PRIM_DECLARE_LOGIC_2(gen, Xor_16u, Prim16u)
// The 32-bit two-vector kernels exist from the ssse3 build on.
#define PRIM_DECLARE_LOGIC_32(gen)            \
  PRIM_DECLARE_LOGIC_2(gen, And_32s, Prim32s) \
  PRIM_DECLARE_LOGIC_2(gen, Or_32s, Prim32s)  \
  PRIM_DECLARE_LOGIC_2(gen, Xor_32s, Prim32s)

PRIM_DECLARE_LOGIC_KERNELS(sse2)
PRIM_DECLARE_LOGIC_KERNELS(ssse3)
PRIM_DECLARE_LOGIC_KERNELS(sse41)
PRIM_DECLARE_LOGIC_KERNELS(avx)
PRIM_DECLARE_LOGIC_32(ssse3)
PRIM_DECLARE_LOGIC_32(sse41)
PRIM_DECLARE_LOGIC_32(avx)
#undef PRIM_DECLARE_LOGIC_KERNELS
#undef PRIM_DECLARE_LOGIC_32
#undef PRIM_DECLARE_LOGIC_2
#undef PRIM_DECLARE_LOGIC_C
