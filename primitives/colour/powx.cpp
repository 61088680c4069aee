// Power of a float vector: kernel tables, the builds that share the SSE2
// kernel, and the public entry.
#include "primitives/colour/powx.h"

#include "primitives/colour/powx_builds.h"
#include "primitives/core/dispatch.h"

const PowxKernel own_vec_sPowx_PX_ttab[3] = {px_ownsPowx_32f, px_ownsPowx_32f, px_ownsPowx_32f};
const PowxKernel own_vec_sPowx_SSE2_ttab[3] = {sse2_ownsPowx_32f, sse2_ownsPowx_32f, sse2_ownsPowx_32f};
const PowxKernel own_vec_sPowx_SSSE3_ttab[3] = {sse2_ownsPowx_32f, sse2_ownsPowx_32f, sse2_ownsPowx_32f};
const PowxKernel own_vec_sPowx_SSE41_ttab[3] = {sse2_ownsPowx_32f, sse2_ownsPowx_32f, sse2_ownsPowx_32f};
const PowxKernel own_vec_sPowx_AVX_ttab[3] = {avx_ownsPowx_32f, avx_ownsPowx_32f, avx_ownsPowx_32f};
const PowxKernel own_vec_sPowx_AVX2_ttab[3] = {avx2_ownsPowx_32f, avx2_ownsPowx_32f, avx2_ownsPowx_32f};
const float own_vec_sPowx_PX_ctab[3] = {383.71f, 383.71f, 383.71f};
const float own_vec_sPowx_SSE2_ctab[3] = {37.24f, 37.24f, 37.24f};
const float own_vec_sPowx_SSSE3_ctab[3] = {24.23f, 24.23f, 12.98f};
const float own_vec_sPowx_SSE41_ctab[3] = {23.44f, 23.44f, 12.28f};
const float own_vec_sPowx_AVX_ctab[3] = {16.01f, 16.01f, 6.43f};
const float own_vec_sPowx_AVX2_ctab[3] = {2.0f, 3.0f, 1.0f};

void ownMathErrorHook(int, int, const Prim32f*, const Prim32f*, Prim32f*, Prim32f*, const char*) {}

PrimResult ssse3_vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return own_vec_sPowx_SSSE3_ttab[0](pSrc, val, pDst, len);
}
PrimResult movbe_vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return own_vec_sPowx_SSSE3_ttab[0](pSrc, val, pDst, len);
}
PrimResult sse41_vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return own_vec_sPowx_SSE41_ttab[0](pSrc, val, pDst, len);
}

namespace {
// The movbe slot runs a build of its own (defined above, beside the ssse3 and
// sse41 builds).
PRIM_DISPATCH_TABLE_ROW(vecPowx_32f_A21, px_vecPowx_32f_A21, sse2_vecPowx_32f_A21, ssse3_vecPowx_32f_A21,
                        movbe_vecPowx_32f_A21, sse41_vecPowx_32f_A21, avx_vecPowx_32f_A21,
                        avx2_vecPowx_32f_A21);
}  // namespace

PrimResult vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return primDispatch(tbl_vecPowx_32f_A21)(pSrc, val, pDst, len);
}
