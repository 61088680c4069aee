// Code-block decoder: the ssse3 build.
#include "primitives/core/vec_memory_builds.h"
#include "primitives/jpeg2000/codeblock_builds.h"
#include "primitives/jpeg2000/codeblock_driver-inl.h"

using namespace prim::PRIM_GEN_NS;

PrimResult ssse3_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width, int height,
                                                          PrimCodeBlockDecoderState* pState,
                                                          int bandOrientation, int bitPlanes, Prim32u flags) {
  return cb::begin(pDst, dstStep, width, height, pState, bandOrientation, bitPlanes, flags, ssse3_vecZero_8u);
}

PrimResult ssse3_imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                                   PrimCodeBlockDecoderState* pState) {
  return cb::decodePasses(pSrc, srcLen, pState);
}

PrimResult ssse3_imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize) {
  return cb::stateSize(width, height, pSize);
}

PrimResult ssse3_imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth,
                                                  int maxHeight) {
  return cb::init(pState, maxWidth, maxHeight);
}

PrimResult ssse3_imgCodeBlockDecodeSetPasses_JPEG2000(int passes, PrimCodeBlockDecoderState* pState) {
  return cb::setPasses(passes, pState);
}
