// Power of a float vector: generic build, one element at a time by the
// general path.
#include "primitives/colour/powx_common-inl.h"

namespace prim::PRIM_GEN_NS::powx {
namespace {
__attribute__((noinline)) PrimResult run(const Prim32f* src, Prim32f val, Prim32f* dst, int len) {
  if (val == 2.0f) {
    squareRange(src, dst, len);
    return primResultOk;
  }
  return scalarRange(src, val, dst, 0, len, classify(val)) ? primResultDomainWarning : primResultOk;
}
}  // namespace
}  // namespace prim::PRIM_GEN_NS::powx

PrimResult px_ownsPowx_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (len < 1) return primResultBadSize;
  if (!pSrc || !pDst) return primResultNullPointer;
  prim::PRIM_GEN_NS::powx::FpEnvironmentGuard guard;
  return prim::PRIM_GEN_NS::powx::run(pSrc, val, pDst, len);
}

PrimResult px_vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return own_vec_sPowx_PX_ttab[0](pSrc, val, pDst, len);
}
