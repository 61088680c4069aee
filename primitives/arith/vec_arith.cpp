// Dispatch tables and public entries of the vector arithmetic primitives.
#include "primitives/arith/vec_arith.h"

#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/dispatch.h"

namespace {
constexpr PrimDispatchTable<decltype(&px_vecMulC_32f)> tblMulC32f{
    {px_vecMulC_32f, sse2_vecMulC_32f, ssse3_vecMulC_32f, ssse3_vecMulC_32f, sse41_vecMulC_32f,
     avx_vecMulC_32f, avx2_vecMulC_32f}};
// The sse41 slot of the float addition runs the ssse3 build.
constexpr PrimDispatchTable<decltype(&px_vecAdd_32f)> tblAdd32f{
    {px_vecAdd_32f, sse2_vecAdd_32f, ssse3_vecAdd_32f, ssse3_vecAdd_32f, ssse3_vecAdd_32f,
     avx_vecAdd_32f, avx2_vecAdd_32f}};
constexpr PrimDispatchTable<decltype(&px_vecSub_32f)> tblSub32f{
    {px_vecSub_32f, sse2_vecSub_32f, ssse3_vecSub_32f, ssse3_vecSub_32f, sse41_vecSub_32f,
     avx_vecSub_32f, avx2_vecSub_32f}};
constexpr PrimDispatchTable<decltype(&px_vecAddC_16s_Sfs)> tblAddC16s{
    {px_vecAddC_16s_Sfs, sse2_vecAddC_16s_Sfs, ssse3_vecAddC_16s_Sfs, ssse3_vecAddC_16s_Sfs,
     sse41_vecAddC_16s_Sfs, avx_vecAddC_16s_Sfs, avx2_vecAddC_16s_Sfs}};
constexpr PrimDispatchTable<decltype(&px_vecAddC_32s_Sfs)> tblAddC32s{
    {px_vecAddC_32s_Sfs, sse2_vecAddC_32s_Sfs, ssse3_vecAddC_32s_Sfs, ssse3_vecAddC_32s_Sfs,
     sse41_vecAddC_32s_Sfs, avx_vecAddC_32s_Sfs, avx2_vecAddC_32s_Sfs}};
// The 16-bit addition is the one primitive with a movbe build of its own.
constexpr PrimDispatchTable<decltype(&px_vecAdd_16s_Sfs)> tblAdd16s{
    {px_vecAdd_16s_Sfs, sse2_vecAdd_16s_Sfs, ssse3_vecAdd_16s_Sfs, movbe_vecAdd_16s_Sfs,
     sse41_vecAdd_16s_Sfs, avx_vecAdd_16s_Sfs, avx2_vecAdd_16s_Sfs}};
constexpr PrimDispatchTable<decltype(&px_vecSub_16s_Sfs)> tblSub16s{
    {px_vecSub_16s_Sfs, sse2_vecSub_16s_Sfs, ssse3_vecSub_16s_Sfs, ssse3_vecSub_16s_Sfs,
     sse41_vecSub_16s_Sfs, avx_vecSub_16s_Sfs, avx2_vecSub_16s_Sfs}};
constexpr PrimDispatchTable<decltype(&px_vecAdd_32s_Sfs)> tblAdd32s{
    {px_vecAdd_32s_Sfs, sse2_vecAdd_32s_Sfs, ssse3_vecAdd_32s_Sfs, ssse3_vecAdd_32s_Sfs,
     sse41_vecAdd_32s_Sfs, avx_vecAdd_32s_Sfs, avx2_vecAdd_32s_Sfs}};
constexpr PrimDispatchTable<decltype(&px_vecSub_32s_Sfs)> tblSub32s{
    {px_vecSub_32s_Sfs, sse2_vecSub_32s_Sfs, ssse3_vecSub_32s_Sfs, ssse3_vecSub_32s_Sfs,
     sse41_vecSub_32s_Sfs, avx_vecSub_32s_Sfs, avx2_vecSub_32s_Sfs}};
}  // namespace

PrimResult vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return primDispatch(tblMulC32f)(pSrc, val, pDst, len);
}
PrimResult vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  return primDispatch(tblAdd32f)(pSrc1, pSrc2, pDst, len);
}
PrimResult vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  return primDispatch(tblSub32f)(pSrc1, pSrc2, pDst, len);
}
PrimResult vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len,
                           int scaleFactor) {
  return primDispatch(tblAddC16s)(pSrc, val, pDst, len, scaleFactor);
}
PrimResult vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len,
                           int scaleFactor) {
  return primDispatch(tblAddC32s)(pSrc, val, pDst, len, scaleFactor);
}
PrimResult vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                          int scaleFactor) {
  return primDispatch(tblAdd16s)(pSrc1, pSrc2, pDst, len, scaleFactor);
}
PrimResult vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                          int scaleFactor) {
  return primDispatch(tblSub16s)(pSrc1, pSrc2, pDst, len, scaleFactor);
}
PrimResult vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                          int scaleFactor) {
  return primDispatch(tblAdd32s)(pSrc1, pSrc2, pDst, len, scaleFactor);
}
PrimResult vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                          int scaleFactor) {
  return primDispatch(tblSub32s)(pSrc1, pSrc2, pDst, len, scaleFactor);
}
