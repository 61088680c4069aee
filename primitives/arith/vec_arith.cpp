// Dispatch tables and public entries of the vector arithmetic primitives.
#include "primitives/arith/vec_arith.h"

#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/dispatch.h"

namespace {
PRIM_DISPATCH_TABLE(vecMulC_32f);
// The sse41 slot of the float addition runs the ssse3 build.
PRIM_DISPATCH_TABLE_ROW(vecAdd_32f, px_vecAdd_32f, sse2_vecAdd_32f, ssse3_vecAdd_32f, ssse3_vecAdd_32f,
                        ssse3_vecAdd_32f, avx_vecAdd_32f, avx2_vecAdd_32f);
PRIM_DISPATCH_TABLE(vecSub_32f);
PRIM_DISPATCH_TABLE(vecAddC_16s_Sfs);
PRIM_DISPATCH_TABLE(vecAddC_32s_Sfs);
// The 16-bit addition is the one primitive with a movbe build of its own.
PRIM_DISPATCH_TABLE_ROW(vecAdd_16s_Sfs, px_vecAdd_16s_Sfs, sse2_vecAdd_16s_Sfs, ssse3_vecAdd_16s_Sfs,
                        movbe_vecAdd_16s_Sfs, sse41_vecAdd_16s_Sfs, avx_vecAdd_16s_Sfs, avx2_vecAdd_16s_Sfs);
PRIM_DISPATCH_TABLE(vecSub_16s_Sfs);
PRIM_DISPATCH_TABLE(vecAdd_32s_Sfs);
PRIM_DISPATCH_TABLE(vecSub_32s_Sfs);
}  // namespace

PrimResult vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return primDispatch(tbl_vecMulC_32f)(pSrc, val, pDst, len);
}
PrimResult vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  return primDispatch(tbl_vecAdd_32f)(pSrc1, pSrc2, pDst, len);
}
PrimResult vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  return primDispatch(tbl_vecSub_32f)(pSrc1, pSrc2, pDst, len);
}
PrimResult vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len, int scaleFactor) {
  return primDispatch(tbl_vecAddC_16s_Sfs)(pSrc, val, pDst, len, scaleFactor);
}
PrimResult vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len, int scaleFactor) {
  return primDispatch(tbl_vecAddC_32s_Sfs)(pSrc, val, pDst, len, scaleFactor);
}
PrimResult vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                          int scaleFactor) {
  return primDispatch(tbl_vecAdd_16s_Sfs)(pSrc1, pSrc2, pDst, len, scaleFactor);
}
PrimResult vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                          int scaleFactor) {
  return primDispatch(tbl_vecSub_16s_Sfs)(pSrc1, pSrc2, pDst, len, scaleFactor);
}
PrimResult vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                          int scaleFactor) {
  return primDispatch(tbl_vecAdd_32s_Sfs)(pSrc1, pSrc2, pDst, len, scaleFactor);
}
PrimResult vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                          int scaleFactor) {
  return primDispatch(tbl_vecSub_32s_Sfs)(pSrc1, pSrc2, pDst, len, scaleFactor);
}
