// Code-block decoder: the avx2 build.
//
// This object is compiled to count leading zeros with LZCNT as well (one
// step less on the chain from one MQ decision to the next).  The generation
// test does not ask for that instruction, which every known processor of the
// generation has; on one without it the avx build, which gives the same
// results, serves instead.
#include <cpuid.h>

#include "primitives/core/vec_memory_builds.h"
#include "primitives/jpeg2000/codeblock_builds.h"
#include "primitives/jpeg2000/codeblock_driver-inl.h"

using namespace prim::PRIM_GEN_NS;

namespace {

bool ProcessorHasLzcnt() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(0x80000001u, &a, &b, &c, &d) != 0 && (c & (1u << 5)) != 0;
}
const bool kHasLzcnt = ProcessorHasLzcnt();

}  // namespace

PrimResult avx2_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width, int height,
                                                         PrimCodeBlockDecoderState* pState,
                                                         int bandOrientation, int bitPlanes, Prim32u flags) {
  if (!kHasLzcnt)
    return avx_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(pDst, dstStep, width, height, pState, bandOrientation,
                                                        bitPlanes, flags);
  return cb::begin(pDst, dstStep, width, height, pState, bandOrientation, bitPlanes, flags, avx2_vecZero_8u);
}

PrimResult avx2_imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                                  PrimCodeBlockDecoderState* pState) {
  if (!kHasLzcnt) return avx_imgCodeBlockDecodePasses_JPEG2000(pSrc, srcLen, pState);
  return cb::decodePasses(pSrc, srcLen, pState);
}
