// Every build of the code-block decoder's public primitives.  The tables in
// codeblock.cpp put them in their slots; the movbe slot is always ssse3.
#pragma once

#include "primitives/jpeg2000/codeblock.h"

// Begin and decode have a build in every generation.
#define PRIM_DECLARE_CODEBLOCK_BUILDS(gen)                                                  \
  PrimResult gen##_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(                                \
      Prim32s* pDst, int dstStep, int width, int height, PrimCodeBlockDecoderState* pState, \
      int bandOrientation, int bitPlanes, Prim32u flags);                                   \
  PrimResult gen##_imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,        \
                                                     PrimCodeBlockDecoderState* pState);

PRIM_DECLARE_CODEBLOCK_BUILDS(px)
PRIM_DECLARE_CODEBLOCK_BUILDS(sse2)
PRIM_DECLARE_CODEBLOCK_BUILDS(ssse3)
PRIM_DECLARE_CODEBLOCK_BUILDS(sse41)
PRIM_DECLARE_CODEBLOCK_BUILDS(avx)
PRIM_DECLARE_CODEBLOCK_BUILDS(avx2)

#undef PRIM_DECLARE_CODEBLOCK_BUILDS

// The small primitives exist in fewer builds; the other slots repeat them.
PrimResult px_imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize);
PrimResult sse2_imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize);
PrimResult ssse3_imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize);
PrimResult px_imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth,
                                               int maxHeight);
PrimResult sse2_imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth,
                                                 int maxHeight);
PrimResult ssse3_imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth,
                                                  int maxHeight);
PrimResult px_imgCodeBlockDecodeSetPasses_JPEG2000(int passes, PrimCodeBlockDecoderState* pState);
PrimResult ssse3_imgCodeBlockDecodeSetPasses_JPEG2000(int passes, PrimCodeBlockDecoderState* pState);
PrimResult px_imgCodeBlockDecodeGetPasses_JPEG2000(const PrimCodeBlockDecoderState* pState, int* pPasses);
PrimResult sse2_imgCodeBlockDecodeGetPasses_JPEG2000(const PrimCodeBlockDecoderState* pState, int* pPasses);
