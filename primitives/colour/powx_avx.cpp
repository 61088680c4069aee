// Power of a float vector: AVX build (256-bit double-precision kernel).
#include "primitives/colour/powx_avx-inl.h"

PrimResult avx_ownsPowx_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  namespace p = prim::PRIM_GEN_NS::powx;
  if (len < 1) return primResultBadSize;
  if (!pSrc || !pDst) return primResultNullPointer;
  p::FpEnvironmentGuard guard;
  if (val == 2.0f) {
    p::squareRangeOutOfLine(pSrc, pDst, len);
    return primResultOk;
  }
  if (val == 1.0f) {
    std::memmove(pDst, pSrc, static_cast<std::size_t>(len) * sizeof(float));
    return primResultOk;
  }
  return p::runVector(pSrc, val, pDst, len);
}

PrimResult avx_vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return own_vec_sPowx_AVX_ttab[0](pSrc, val, pDst, len);
}
