// Code-block decoder: the avx2 build.
//
// This object is compiled to count leading zeros with LZCNT as well (one
// step less on the chain from one MQ decision to the next).  The generation
// does not require that instruction, which every known processor of the
// generation has; where the core's detection does not find it (on such a
// processor LZCNT would run as a reverse bit scan and give other counts),
// the avx build, which gives the same results, serves instead.
#include "primitives/core/cpu.h"
#include "primitives/core/cpu_internal.h"
#include "primitives/core/vec_memory_builds.h"
#include "primitives/jpeg2000/codeblock_builds.h"
#include "primitives/jpeg2000/codeblock_driver-inl.h"

using namespace prim::PRIM_GEN_NS;

namespace {

bool processorHasLzcnt() { return (ownDetectedCpuFeatures() & primCpuFeatureLzcnt) != 0; }

}  // namespace

PrimResult avx2_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width, int height,
                                                         PrimCodeBlockDecoderState* pState,
                                                         int bandOrientation, int bitPlanes, Prim32u flags) {
  if (!processorHasLzcnt())
    return avx_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(pDst, dstStep, width, height, pState, bandOrientation,
                                                        bitPlanes, flags);
  return cb::begin(pDst, dstStep, width, height, pState, bandOrientation, bitPlanes, flags, avx2_vecZero_8u);
}

PrimResult avx2_imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                                  PrimCodeBlockDecoderState* pState) {
  if (!processorHasLzcnt()) return avx_imgCodeBlockDecodePasses_JPEG2000(pSrc, srcLen, pState);
  return cb::decodePasses(pSrc, srcLen, pState);
}
