// Every build of the exact float synthesis kernels.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_WAVELET_EXACT_BUILDS(gen)                                                          \
  PrimResult gen##_imgInvLift97Halves_32f(const Prim32f*, Prim32f*, int, Prim32f*, int, int, Prim32f*); \
  PrimResult gen##_imgInvLift97Wavefront_32f(Prim32f* const*, int);                                     \
  PrimResult gen##_imgDequantizeMidpoint_32u32f(const Prim32u*, Prim32f*, int, int, Prim32f);

PRIM_DECLARE_WAVELET_EXACT_BUILDS(px)
PRIM_DECLARE_WAVELET_EXACT_BUILDS(sse2)
PRIM_DECLARE_WAVELET_EXACT_BUILDS(avx)

#undef PRIM_DECLARE_WAVELET_EXACT_BUILDS
