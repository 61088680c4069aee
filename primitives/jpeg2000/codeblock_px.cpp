// Code-block decoder: the px build.
#include "primitives/core/vec_memory_builds.h"
#include "primitives/jpeg2000/codeblock_builds.h"
#include "primitives/jpeg2000/codeblock_driver-inl.h"

using namespace prim::PRIM_GEN_NS;

PrimResult px_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width, int height,
                                                       PrimCodeBlockDecoderState* pState, int bandOrientation,
                                                       int bitPlanes, Prim32u flags) {
  return cb::begin(pDst, dstStep, width, height, pState, bandOrientation, bitPlanes, flags, px_vecZero_8u);
}

PrimResult px_imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                                PrimCodeBlockDecoderState* pState) {
  return cb::decodePasses(pSrc, srcLen, pState);
}

PrimResult px_imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize) {
  return cb::stateSize(width, height, pSize);
}

PrimResult px_imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth,
                                               int maxHeight) {
  return cb::init(pState, maxWidth, maxHeight);
}

PrimResult px_imgCodeBlockDecodeSetPasses_JPEG2000(int passes, PrimCodeBlockDecoderState* pState) {
  return cb::setPasses(passes, pState);
}

PrimResult px_imgCodeBlockDecodeGetPasses_JPEG2000(const PrimCodeBlockDecoderState* pState, int* pPasses) {
  return cb::getPasses(pState, pPasses);
}
