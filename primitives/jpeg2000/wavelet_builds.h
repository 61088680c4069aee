// Every build of the wavelet primitives.  The movbe slot of every table is
// the ssse3 build.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_WAVELET_BUILDS(gen)                                                                  \
  PrimResult gen##_imgInvLift53Rows_16s_C1R(const Prim16s*, int, const Prim16s*, int, int, int, Prim16s*, \
                                            int, int);                                                    \
  PrimResult gen##_imgInvLift53Rows_32s_C1R(const Prim32s*, int, const Prim32s*, int, int, int, Prim32s*, \
                                            int, int);                                                    \
  PrimResult gen##_imgInvLift53ColumnStep_16s_C1(const Prim16s*, const Prim16s*, const Prim16s*,          \
                                                 const Prim16s*, Prim16s*, Prim16s*, int);                \
  PrimResult gen##_imgInvLift53ColumnStep_32s_C1(const Prim32s*, const Prim32s*, const Prim32s*,          \
                                                 const Prim32s*, Prim32s*, Prim32s*, int);                \
  PrimResult gen##_imgInvLift97Rows_16s_C1R(const Prim16s*, int, const Prim16s*, int, int, int, Prim16s*, \
                                            int, int);                                                    \
  PrimResult gen##_imgInvLift97Rows_32f_C1R(const Prim32f*, int, const Prim32f*, int, int, int, Prim32f*, \
                                            int, int);                                                    \
  PrimResult gen##_imgInvLift97ColumnStep_16s_C1(const Prim16s*, const Prim16s*, const Prim16s*,          \
                                                 const Prim16s*, Prim16s*, Prim16s*, Prim16s*, Prim16s*,  \
                                                 int);                                                    \
  PrimResult gen##_imgInvLift97ColumnStep_32f_C1(const Prim32f*, const Prim32f*, const Prim32f*,          \
                                                 const Prim32f*, Prim32f*, Prim32f*, Prim32f*, Prim32f*,  \
                                                 int);                                                    \
  PrimResult gen##_imgInterleaveHalves_16s(const Prim16s*, int, const Prim16s*, int, Prim16s*);           \
  PrimResult gen##_imgInterleaveHalves_32s(const Prim32s*, int, const Prim32s*, int, Prim32s*);

PRIM_DECLARE_WAVELET_BUILDS(px)
PRIM_DECLARE_WAVELET_BUILDS(sse2)
PRIM_DECLARE_WAVELET_BUILDS(ssse3)
PRIM_DECLARE_WAVELET_BUILDS(sse41)
PRIM_DECLARE_WAVELET_BUILDS(avx)
PRIM_DECLARE_WAVELET_BUILDS(avx2)

#undef PRIM_DECLARE_WAVELET_BUILDS
