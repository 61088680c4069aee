// Every build of the inverse component transforms.  The movbe slot of every
// table is the ssse3 build.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_COLOUR_TRANSFORM_BUILDS(gen)                                                         \
  PrimResult gen##_imgInvReversibleColor_16s_P3IR(Prim16s* const[3], int, int, int);                      \
  PrimResult gen##_imgInvReversibleColor_32s_P3IR(Prim32s* const[3], int, int, int);                      \
  PrimResult gen##_imgInvIrreversibleColor_16s_P3IR(Prim16s* const[3], int, int, int);                    \
  PrimResult gen##_imgInvIrreversibleColor_32f_P3IR(Prim32f* const[3], int, int, int);                    \
  PrimResult gen##_imgInvIrreversibleColorToSamples_32f32s_P3(const Prim32f* const[3], Prim32s* const[3], \
                                                              int, const Prim32s[3], const Prim32s[3],    \
                                                              const Prim32s[3]);

PRIM_DECLARE_COLOUR_TRANSFORM_BUILDS(px)
PRIM_DECLARE_COLOUR_TRANSFORM_BUILDS(sse2)
PRIM_DECLARE_COLOUR_TRANSFORM_BUILDS(ssse3)
PRIM_DECLARE_COLOUR_TRANSFORM_BUILDS(sse41)
PRIM_DECLARE_COLOUR_TRANSFORM_BUILDS(avx)
PRIM_DECLARE_COLOUR_TRANSFORM_BUILDS(avx2)

#undef PRIM_DECLARE_COLOUR_TRANSFORM_BUILDS
