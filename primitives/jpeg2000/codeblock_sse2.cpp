// Code-block decoder: the sse2 build.
#include "primitives/core/vec_memory_builds.h"
#include "primitives/jpeg2000/codeblock_builds.h"
#include "primitives/jpeg2000/codeblock_driver-inl.h"

using namespace prim::PRIM_GEN_NS;

PrimResult sse2_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width, int height,
                                                         PrimCodeBlockDecoderState* pState,
                                                         int bandOrientation, int bitPlanes, Prim32u flags) {
  return cb::begin(pDst, dstStep, width, height, pState, bandOrientation, bitPlanes, flags, sse2_vecZero_8u);
}

PrimResult sse2_imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                                  PrimCodeBlockDecoderState* pState) {
  return cb::decodePasses(pSrc, srcLen, pState);
}

PrimResult sse2_imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize) {
  return cb::stateSize(width, height, pSize);
}

PrimResult sse2_imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth,
                                                 int maxHeight) {
  return cb::init(pState, maxWidth, maxHeight);
}

PrimResult sse2_imgCodeBlockDecodeGetPasses_JPEG2000(const PrimCodeBlockDecoderState* pState, int* pPasses) {
  return cb::getPasses(pState, pPasses);
}
