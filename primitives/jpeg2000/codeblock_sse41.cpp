// Code-block decoder: the sse41 build.
#include "primitives/core/vec_memory_builds.h"
#include "primitives/jpeg2000/codeblock_builds.h"
#include "primitives/jpeg2000/codeblock_driver-inl.h"

using namespace prim::PRIM_GEN_NS;

PrimResult sse41_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width, int height,
                                                          PrimCodeBlockDecoderState* pState,
                                                          int bandOrientation, int bitPlanes, Prim32u flags) {
  return cb::begin(pDst, dstStep, width, height, pState, bandOrientation, bitPlanes, flags, sse41_vecZero_8u);
}

PrimResult sse41_imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                                   PrimCodeBlockDecoderState* pState) {
  return cb::decodePasses(pSrc, srcLen, pState);
}
