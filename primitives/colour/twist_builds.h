// Builds of the colour twist.  The ssse3 build also serves movbe.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_TWIST_BUILD(gen)                                                    \
  PrimResult gen##_imgColorTwist_32f_C3R(const Prim32f* pSrc, int srcStep, Prim32f* pDst, \
                                         int dstStep, PrimRoiSize roiSize,               \
                                         const Prim32f twist[3][4]);
PRIM_DECLARE_TWIST_BUILD(px)
PRIM_DECLARE_TWIST_BUILD(sse2)
PRIM_DECLARE_TWIST_BUILD(ssse3)
PRIM_DECLARE_TWIST_BUILD(sse41)
PRIM_DECLARE_TWIST_BUILD(avx)
PRIM_DECLARE_TWIST_BUILD(avx2)
#undef PRIM_DECLARE_TWIST_BUILD

// Images of more floats than this are written with non-temporal stores.
inline constexpr int kTwistNonTemporalFloats = 34992;
