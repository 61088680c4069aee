// Every build of the vector arithmetic primitives, and the kernels that a
// build of another primitive (or of another generation) calls directly.
//
// Slots without a build of their own: movbe runs the ssse3 builds (except
// vecAdd_16s_Sfs, which has a movbe build), and the sse41 slot of vecAdd_32f
// runs the ssse3 build.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_VEC_ARITH_FLOAT_BUILDS(gen)                                          \
  PrimResult gen##_vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len); \
  PrimResult gen##_vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len);

#define PRIM_DECLARE_VEC_ARITH_ADD32F_BUILD(gen) \
  PrimResult gen##_vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len);

#define PRIM_DECLARE_VEC_ARITH_ADD16_BUILD(gen)                                                       \
  PrimResult gen##_vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len, \
                                  int scaleFactor);

#define PRIM_DECLARE_VEC_ARITH_INT_BUILDS(gen)                                                        \
  PrimResult gen##_vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len,          \
                                   int scaleFactor);                                                  \
  PrimResult gen##_vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len,          \
                                   int scaleFactor);                                                  \
  PrimResult gen##_vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len, \
                                  int scaleFactor);                                                   \
  PrimResult gen##_vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len, \
                                  int scaleFactor);                                                   \
  PrimResult gen##_vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len, \
                                  int scaleFactor);

#define PRIM_DECLARE_VEC_ARITH_BUILDS(gen) \
  PRIM_DECLARE_VEC_ARITH_FLOAT_BUILDS(gen) \
  PRIM_DECLARE_VEC_ARITH_ADD32F_BUILD(gen) \
  PRIM_DECLARE_VEC_ARITH_ADD16_BUILD(gen)  \
  PRIM_DECLARE_VEC_ARITH_INT_BUILDS(gen)

PRIM_DECLARE_VEC_ARITH_BUILDS(px)
PRIM_DECLARE_VEC_ARITH_BUILDS(sse2)
PRIM_DECLARE_VEC_ARITH_BUILDS(ssse3)
PRIM_DECLARE_VEC_ARITH_ADD16_BUILD(movbe)
PRIM_DECLARE_VEC_ARITH_FLOAT_BUILDS(sse41)
PRIM_DECLARE_VEC_ARITH_ADD16_BUILD(sse41)
PRIM_DECLARE_VEC_ARITH_INT_BUILDS(sse41)
PRIM_DECLARE_VEC_ARITH_BUILDS(avx)
PRIM_DECLARE_VEC_ARITH_BUILDS(avx2)

#undef PRIM_DECLARE_VEC_ARITH_BUILDS
#undef PRIM_DECLARE_VEC_ARITH_INT_BUILDS
#undef PRIM_DECLARE_VEC_ARITH_ADD16_BUILD
#undef PRIM_DECLARE_VEC_ARITH_ADD32F_BUILD
#undef PRIM_DECLARE_VEC_ARITH_FLOAT_BUILDS

// Row kernels of the float multiply: dst[i] = src[i] * val for len >= 0
// elements, no checks and no shortcut for 1.0 or 0.0 (every element is
// multiplied).  The image float multiply of the same generation calls them
// once per row.  pDst may equal pSrc.
namespace prim::sse2 {
void sse2_ownsMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len);
// Sign saturation of the 16-bit subtraction; SSE2 only, so the sse41 build
// calls it too.
void sse2_ownsSub_16s_SfsNegSat(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len);
}  // namespace prim::sse2
namespace prim::ssse3 {
void ssse3_ownsMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len);
// The sse41 build of vecAdd_16s_Sfs runs these two ssse3 kernels.
void ssse3_ownsAdd_16s_Sfs0(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len);
void ssse3_ownsAdd_16s_SfsNegSat(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len);
}  // namespace prim::ssse3
namespace prim::sse41 {
void sse41_ownsMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len);
}  // namespace prim::sse41
