// Dispatch tables and public entries of the code-block decoder.  The movbe
// slot is always the ssse3 build; the small primitives repeat the px or sse2
// build in the slots of later generations.
#include "primitives/jpeg2000/codeblock.h"

#include "primitives/core/dispatch.h"
#include "primitives/jpeg2000/codeblock_builds.h"

namespace {
constexpr PrimDispatchTable<decltype(&px_imgCodeBlockDecoderStateSize_JPEG2000)> tblSize{
    {px_imgCodeBlockDecoderStateSize_JPEG2000, sse2_imgCodeBlockDecoderStateSize_JPEG2000,
     ssse3_imgCodeBlockDecoderStateSize_JPEG2000, ssse3_imgCodeBlockDecoderStateSize_JPEG2000,
     sse2_imgCodeBlockDecoderStateSize_JPEG2000, sse2_imgCodeBlockDecoderStateSize_JPEG2000,
     sse2_imgCodeBlockDecoderStateSize_JPEG2000}};
constexpr PrimDispatchTable<decltype(&px_imgCodeBlockDecoderInit_JPEG2000)> tblInit{
    {px_imgCodeBlockDecoderInit_JPEG2000, sse2_imgCodeBlockDecoderInit_JPEG2000,
     ssse3_imgCodeBlockDecoderInit_JPEG2000, ssse3_imgCodeBlockDecoderInit_JPEG2000,
     sse2_imgCodeBlockDecoderInit_JPEG2000, sse2_imgCodeBlockDecoderInit_JPEG2000,
     sse2_imgCodeBlockDecoderInit_JPEG2000}};
constexpr PrimDispatchTable<decltype(&px_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000)> tblBegin{
    {px_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, sse2_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000,
     ssse3_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000,
     ssse3_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000,
     sse41_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, avx_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000,
     avx2_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000}};
constexpr PrimDispatchTable<decltype(&px_imgCodeBlockDecodeSetPasses_JPEG2000)> tblSet{
    {px_imgCodeBlockDecodeSetPasses_JPEG2000, px_imgCodeBlockDecodeSetPasses_JPEG2000,
     ssse3_imgCodeBlockDecodeSetPasses_JPEG2000, ssse3_imgCodeBlockDecodeSetPasses_JPEG2000,
     px_imgCodeBlockDecodeSetPasses_JPEG2000, px_imgCodeBlockDecodeSetPasses_JPEG2000,
     px_imgCodeBlockDecodeSetPasses_JPEG2000}};
constexpr PrimDispatchTable<decltype(&px_imgCodeBlockDecodeGetPasses_JPEG2000)> tblGet{
    {px_imgCodeBlockDecodeGetPasses_JPEG2000, sse2_imgCodeBlockDecodeGetPasses_JPEG2000,
     sse2_imgCodeBlockDecodeGetPasses_JPEG2000, sse2_imgCodeBlockDecodeGetPasses_JPEG2000,
     sse2_imgCodeBlockDecodeGetPasses_JPEG2000, sse2_imgCodeBlockDecodeGetPasses_JPEG2000,
     sse2_imgCodeBlockDecodeGetPasses_JPEG2000}};
constexpr PrimDispatchTable<decltype(&px_imgCodeBlockDecodePasses_JPEG2000)> tblPasses{
    {px_imgCodeBlockDecodePasses_JPEG2000, sse2_imgCodeBlockDecodePasses_JPEG2000,
     ssse3_imgCodeBlockDecodePasses_JPEG2000, ssse3_imgCodeBlockDecodePasses_JPEG2000,
     sse41_imgCodeBlockDecodePasses_JPEG2000, avx_imgCodeBlockDecodePasses_JPEG2000,
     avx2_imgCodeBlockDecodePasses_JPEG2000}};
}  // namespace

PrimResult imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize) {
  return primDispatch(tblSize)(width, height, pSize);
}
PrimResult imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth,
                                            int maxHeight) {
  return primDispatch(tblInit)(pState, maxWidth, maxHeight);
}
PrimResult imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width,
                                                    int height,
                                                    PrimCodeBlockDecoderState* pState,
                                                    int bandOrientation, int bitPlanes,
                                                    Prim32u flags) {
  return primDispatch(tblBegin)(pDst, dstStep, width, height, pState, bandOrientation, bitPlanes,
                                flags);
}
PrimResult imgCodeBlockDecodeSetPasses_JPEG2000(int passes, PrimCodeBlockDecoderState* pState) {
  return primDispatch(tblSet)(passes, pState);
}
PrimResult imgCodeBlockDecodeGetPasses_JPEG2000(const PrimCodeBlockDecoderState* pState,
                                                int* pPasses) {
  return primDispatch(tblGet)(pState, pPasses);
}
PrimResult imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                             PrimCodeBlockDecoderState* pState) {
  return primDispatch(tblPasses)(pSrc, srcLen, pState);
}
