// Dispatch tables and public entries of copy, zero and set.
#include "primitives/core/vec_memory.h"

#include "primitives/core/dispatch.h"
#include "primitives/core/vec_memory_builds.h"

namespace {
constexpr PrimDispatchTable<decltype(&px_vecCopy_8u)> tblCopy8u{
    {px_vecCopy_8u, sse2_vecCopy_8u, ssse3_vecCopy_8u, ssse3_vecCopy_8u, sse41_vecCopy_8u,
     avx_vecCopy_8u, avx2_vecCopy_8u}};
constexpr PrimDispatchTable<decltype(&px_vecZero_8u)> tblZero8u{
    {px_vecZero_8u, sse2_vecZero_8u, ssse3_vecZero_8u, ssse3_vecZero_8u, sse41_vecZero_8u,
     avx_vecZero_8u, avx2_vecZero_8u}};
constexpr PrimDispatchTable<decltype(&px_vecSet_8u)> tblSet8u{
    {px_vecSet_8u, sse2_vecSet_8u, ssse3_vecSet_8u, ssse3_vecSet_8u, sse41_vecSet_8u,
     avx_vecSet_8u, avx2_vecSet_8u}};
}  // namespace

PrimResult vecCopy_8u(const Prim8u* pSrc, Prim8u* pDst, int len) {
  return primDispatch(tblCopy8u)(pSrc, pDst, len);
}
PrimResult vecZero_8u(Prim8u* pDst, int len) { return primDispatch(tblZero8u)(pDst, len); }
PrimResult vecSet_8u(Prim8u val, Prim8u* pDst, int len) {
  return primDispatch(tblSet8u)(val, pDst, len);
}
