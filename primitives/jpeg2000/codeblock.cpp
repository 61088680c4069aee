// Dispatch tables and public entries of the code-block decoder.  The movbe
// slot is always the ssse3 build; the small primitives repeat the px or sse2
// build in the slots of later generations.
#include "primitives/jpeg2000/codeblock.h"

#include "primitives/core/dispatch.h"
#include "primitives/jpeg2000/codeblock_builds.h"

namespace {
// The state size and the set-up have no vector work: the sse2 build serves
// every later slot but ssse3 and movbe.
PRIM_DISPATCH_TABLE_ROW(imgCodeBlockDecoderStateSize_JPEG2000, px_imgCodeBlockDecoderStateSize_JPEG2000,
                        sse2_imgCodeBlockDecoderStateSize_JPEG2000,
                        ssse3_imgCodeBlockDecoderStateSize_JPEG2000,
                        ssse3_imgCodeBlockDecoderStateSize_JPEG2000,
                        sse2_imgCodeBlockDecoderStateSize_JPEG2000,
                        sse2_imgCodeBlockDecoderStateSize_JPEG2000,
                        sse2_imgCodeBlockDecoderStateSize_JPEG2000);
PRIM_DISPATCH_TABLE_ROW(imgCodeBlockDecoderInit_JPEG2000, px_imgCodeBlockDecoderInit_JPEG2000,
                        sse2_imgCodeBlockDecoderInit_JPEG2000, ssse3_imgCodeBlockDecoderInit_JPEG2000,
                        ssse3_imgCodeBlockDecoderInit_JPEG2000, sse2_imgCodeBlockDecoderInit_JPEG2000,
                        sse2_imgCodeBlockDecoderInit_JPEG2000, sse2_imgCodeBlockDecoderInit_JPEG2000);
PRIM_DISPATCH_TABLE(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000);
// Setting the pass count: the px build in every slot but ssse3 and movbe.
PRIM_DISPATCH_TABLE_ROW(imgCodeBlockDecodeSetPasses_JPEG2000, px_imgCodeBlockDecodeSetPasses_JPEG2000,
                        px_imgCodeBlockDecodeSetPasses_JPEG2000, ssse3_imgCodeBlockDecodeSetPasses_JPEG2000,
                        ssse3_imgCodeBlockDecodeSetPasses_JPEG2000, px_imgCodeBlockDecodeSetPasses_JPEG2000,
                        px_imgCodeBlockDecodeSetPasses_JPEG2000, px_imgCodeBlockDecodeSetPasses_JPEG2000);
// Reading the pass count: the sse2 build in every SIMD slot.
PRIM_DISPATCH_TABLE_ROW(imgCodeBlockDecodeGetPasses_JPEG2000, px_imgCodeBlockDecodeGetPasses_JPEG2000,
                        sse2_imgCodeBlockDecodeGetPasses_JPEG2000, sse2_imgCodeBlockDecodeGetPasses_JPEG2000,
                        sse2_imgCodeBlockDecodeGetPasses_JPEG2000, sse2_imgCodeBlockDecodeGetPasses_JPEG2000,
                        sse2_imgCodeBlockDecodeGetPasses_JPEG2000, sse2_imgCodeBlockDecodeGetPasses_JPEG2000);
PRIM_DISPATCH_TABLE(imgCodeBlockDecodePasses_JPEG2000);
}  // namespace

PrimResult imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize) {
  return primDispatch(tbl_imgCodeBlockDecoderStateSize_JPEG2000)(width, height, pSize);
}
PrimResult imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth, int maxHeight) {
  return primDispatch(tbl_imgCodeBlockDecoderInit_JPEG2000)(pState, maxWidth, maxHeight);
}
PrimResult imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width, int height,
                                                    PrimCodeBlockDecoderState* pState, int bandOrientation,
                                                    int bitPlanes, Prim32u flags) {
  return primDispatch(tbl_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000)(pDst, dstStep, width, height, pState,
                                                                    bandOrientation, bitPlanes, flags);
}
PrimResult imgCodeBlockDecodeSetPasses_JPEG2000(int passes, PrimCodeBlockDecoderState* pState) {
  return primDispatch(tbl_imgCodeBlockDecodeSetPasses_JPEG2000)(passes, pState);
}
PrimResult imgCodeBlockDecodeGetPasses_JPEG2000(const PrimCodeBlockDecoderState* pState, int* pPasses) {
  return primDispatch(tbl_imgCodeBlockDecodeGetPasses_JPEG2000)(pState, pPasses);
}
PrimResult imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                             PrimCodeBlockDecoderState* pState) {
  return primDispatch(tbl_imgCodeBlockDecodePasses_JPEG2000)(pSrc, srcLen, pState);
}
