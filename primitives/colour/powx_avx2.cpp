// Power of a float vector: AVX2 build (256-bit double-precision kernel with
// fused multiply-add; small integral powers by plain products).
#include "primitives/colour/powx_avx-inl.h"

namespace prim::PRIM_GEN_NS::powx {
namespace {
__attribute__((noinline)) void productRange(const float* src, float* dst, int len, int power) {
  for (int i = 0; i < len; ++i) {
    const float x = src[i];
    float y = x * x;
    for (int k = 2; k < power; ++k) y = y * x;
    dst[i] = y;
  }
}
}  // namespace
}  // namespace prim::PRIM_GEN_NS::powx

PrimResult avx2_ownsPowx_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  namespace p = prim::PRIM_GEN_NS::powx;
  if (len < 1) return primResultBadSize;
  if (!pSrc || !pDst) return primResultNullPointer;
  p::FpEnvironmentGuard guard;
  if (val == 1.0f) {
    std::memmove(pDst, pSrc, static_cast<std::size_t>(len) * sizeof(float));
    return primResultOk;
  }
  if (val == 2.0f || val == 3.0f || val == 4.0f) {
    p::productRange(pSrc, pDst, len, static_cast<int>(val));
    return primResultOk;
  }
  return p::runVector(pSrc, val, pDst, len);
}

PrimResult avx2_vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return own_vec_sPowx_AVX2_ttab[0](pSrc, val, pDst, len);
}
