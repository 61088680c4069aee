// Dispatch tables and public entries of the exact float synthesis kernels.
#include "primitives/jpeg2000/wavelet_exact.h"

#include "primitives/core/dispatch.h"
#include "primitives/jpeg2000/wavelet_exact_builds.h"

namespace {
// The kernels use plain float arithmetic and shuffles only: the ssse3, movbe
// and sse41 slots run the sse2 build, the avx2 slot the avx build (256-bit
// float operations are avx ones).
PRIM_DISPATCH_TABLE_ROW(imgInvLift97Halves_32f, px_imgInvLift97Halves_32f, sse2_imgInvLift97Halves_32f,
                        sse2_imgInvLift97Halves_32f, sse2_imgInvLift97Halves_32f, sse2_imgInvLift97Halves_32f,
                        avx_imgInvLift97Halves_32f, avx_imgInvLift97Halves_32f);
PRIM_DISPATCH_TABLE_ROW(imgInvLift97Wavefront_32f, px_imgInvLift97Wavefront_32f,
                        sse2_imgInvLift97Wavefront_32f, sse2_imgInvLift97Wavefront_32f,
                        sse2_imgInvLift97Wavefront_32f, sse2_imgInvLift97Wavefront_32f,
                        avx_imgInvLift97Wavefront_32f, avx_imgInvLift97Wavefront_32f);
PRIM_DISPATCH_TABLE_ROW(imgDequantizeMidpoint_32u32f, px_imgDequantizeMidpoint_32u32f,
                        sse2_imgDequantizeMidpoint_32u32f, sse2_imgDequantizeMidpoint_32u32f,
                        sse2_imgDequantizeMidpoint_32u32f, sse2_imgDequantizeMidpoint_32u32f,
                        avx_imgDequantizeMidpoint_32u32f, avx_imgDequantizeMidpoint_32u32f);
}  // namespace

PrimResult imgInvLift97Halves_32f(const Prim32f* pLowIn, Prim32f* pLow, int nL, Prim32f* pHigh, int nH,
                                  int phase, Prim32f* pDst) {
  return primDispatch(tbl_imgInvLift97Halves_32f)(pLowIn, pLow, nL, pHigh, nH, phase, pDst);
}
PrimResult imgInvLift97Wavefront_32f(Prim32f* const pRows[6], int width) {
  return primDispatch(tbl_imgInvLift97Wavefront_32f)(pRows, width);
}
PrimResult imgDequantizeMidpoint_32u32f(const Prim32u* pSrc, Prim32f* pDst, int len, int midpoint,
                                        Prim32f scale) {
  return primDispatch(tbl_imgDequantizeMidpoint_32u32f)(pSrc, pDst, len, midpoint, scale);
}
