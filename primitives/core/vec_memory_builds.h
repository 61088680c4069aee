// Every build of the copy, zero and set primitives.  Builds of other
// primitives call the build of their own generation directly (a multiply by
// 1 becomes a copy, a shift of 0 a copy, a clear of a destination row ...).
// The movbe slot of every table is the ssse3 build.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_VEC_MEMORY_BUILDS(gen)                                  \
  PrimResult gen##_vecCopy_8u(const Prim8u* pSrc, Prim8u* pDst, int len);    \
  PrimResult gen##_vecCopy_16s(const Prim16s* pSrc, Prim16s* pDst, int len); \
  PrimResult gen##_vecCopy_32s(const Prim32s* pSrc, Prim32s* pDst, int len); \
  PrimResult gen##_vecZero_8u(Prim8u* pDst, int len);                        \
  PrimResult gen##_vecZero_16s(Prim16s* pDst, int len);                      \
  PrimResult gen##_vecZero_32s(Prim32s* pDst, int len);                      \
  PrimResult gen##_vecSet_8u(Prim8u val, Prim8u* pDst, int len);             \
  PrimResult gen##_vecSet_16s(Prim16s val, Prim16s* pDst, int len);          \
  PrimResult gen##_vecSet_32s(Prim32s val, Prim32s* pDst, int len);

PRIM_DECLARE_VEC_MEMORY_BUILDS(px)
PRIM_DECLARE_VEC_MEMORY_BUILDS(sse2)
PRIM_DECLARE_VEC_MEMORY_BUILDS(ssse3)
PRIM_DECLARE_VEC_MEMORY_BUILDS(sse41)
PRIM_DECLARE_VEC_MEMORY_BUILDS(avx)
PRIM_DECLARE_VEC_MEMORY_BUILDS(avx2)

#undef PRIM_DECLARE_VEC_MEMORY_BUILDS

// The clears the ssse3 builds of the vector arithmetic primitives call (same
// contract as the vecZero builds).
PrimResult ssse3_ownsZero_16s(Prim16s* pDst, int len);
PrimResult ssse3_ownsZero_32s(Prim32s* pDst, int len);
