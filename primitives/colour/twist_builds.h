// Builds of the colour twist.  The ssse3 build also serves movbe.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_TWIST_BUILD(gen)                                                                  \
  PrimResult gen##_imgColorTwist_32f_C3R(const Prim32f* pSrc, int srcStep, Prim32f* pDst, int dstStep, \
                                         PrimRoiSize roiSize, const Prim32f twist[3][4]);
PRIM_DECLARE_TWIST_BUILD(px)
PRIM_DECLARE_TWIST_BUILD(sse2)
PRIM_DECLARE_TWIST_BUILD(ssse3)
PRIM_DECLARE_TWIST_BUILD(sse41)
PRIM_DECLARE_TWIST_BUILD(avx)
PRIM_DECLARE_TWIST_BUILD(avx2)
#undef PRIM_DECLARE_TWIST_BUILD

// Images of more floats than this are written with non-temporal stores.
inline constexpr int kTwistNonTemporalFloats = 34992;

// One-pixel kernels for float and integer pixels (32f, 8u, 16u, 16s), in
// every SIMD build (ssse3 also serves movbe); no public primitive calls them.
// block is the 16-float twist block (column j, lanes 0..2: m[0..2][j]).
// Integer results are clamped to the type (NaN: the upper bound) and rounded
// in the current mode.  C3 and AC4: len counts samples, 3 or 4 per pixel
// (AC4 leaves the fourth sample alone).
// P3: len counts pixels; distances holds the byte distances source plane 1
// and 2 minus source plane 0, then destination plane 1 and 2 minus
// destination plane 0.  pDst may equal pSrc (P3: with equal distances).
#define PRIM_DECLARE_TWIST_PIXEL_KERNELS_OF(gen, type)                                         \
  void gen##_owniColorTwist_##type##_C3(const Prim##type*, Prim##type*, int, const Prim32f*);  \
  void gen##_owniColorTwist_##type##_AC4(const Prim##type*, Prim##type*, int, const Prim32f*); \
  void gen##_owniColorTwist_##type##_P3(const Prim##type*, Prim##type*, const Prim32s*, int, const Prim32f*);
#define PRIM_DECLARE_TWIST_PIXEL_KERNELS(gen)   \
  PRIM_DECLARE_TWIST_PIXEL_KERNELS_OF(gen, 32f) \
  PRIM_DECLARE_TWIST_PIXEL_KERNELS_OF(gen, 8u)  \
  PRIM_DECLARE_TWIST_PIXEL_KERNELS_OF(gen, 16u) \
  PRIM_DECLARE_TWIST_PIXEL_KERNELS_OF(gen, 16s)
PRIM_DECLARE_TWIST_PIXEL_KERNELS(sse2)
PRIM_DECLARE_TWIST_PIXEL_KERNELS(ssse3)
PRIM_DECLARE_TWIST_PIXEL_KERNELS(sse41)
PRIM_DECLARE_TWIST_PIXEL_KERNELS(avx)
PRIM_DECLARE_TWIST_PIXEL_KERNELS(avx2)
#undef PRIM_DECLARE_TWIST_PIXEL_KERNELS
#undef PRIM_DECLARE_TWIST_PIXEL_KERNELS_OF
