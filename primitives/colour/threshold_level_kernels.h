// Further threshold kernels of the SIMD builds: by-level and by-value
// thresholds of 32f and 64f vectors, two-level thresholds, thresholds with a
// replacement value (64fc, 64f, 16s) and absolute-value thresholds (32f, 64f,
// 16s, 32s).  No public primitive calls them; they are declared here for the
// tests.
//
// Kernels test nothing: the caller passes valid pointers for `len` elements
// and `len` >= 1.  pDst may equal pSrc; other overlaps are not supported.
//
// Directions: the in-place 32f by-level kernel runs greater-than for selector
// 1 only, the 64f one less-than for selector 0 only (pass 0 for less-than,
// 1 for greater-than).  The 64f by-level kernel treats the last element of
// an odd run after its head (one element when bit 3 of pDst is set) with the
// operands swapped: that element keeps a NaN or a -0.0 against +0.0.
//
// LTVal keeps x when level <= x and writes value otherwise (so a NaN element
// or level gives value); GTVal writes value when level < x.  The two-level
// kernels write valueLT where !(levelLT <= x), valueGT where levelGT < x (the
// two ORed bitwise for crossed levels) and x elsewhere.  The 64fc kernels
// compare re*re + im*im with level*level: less-than replaces when it is
// below, greater-than when above; a NaN on either side replaces nothing.
//
// GTAbs gives max(min(x, L), 0 - L).  LTAbs gives, for floats,
// max(|x|, L) with x's sign bit ORed back (a zero level of either sign
// leaves every element but a NaN as it is), for integers max(x, L) when
// x >= 0 and min(x, 0 - L) when x < 0, in the element width.
//
// The ssse3 kernels also serve movbe.
#pragma once

#include "primitives/core/prim_types.h"

// In every SIMD build (sse2, ssse3, sse41, avx, avx2).
#define PRIM_DECLARE_THRESHOLD_LEVEL_KERNELS(gen)                                                   \
  void gen##_ownsThreshold_LTVal_32f(const Prim32f*, Prim32f*, int, Prim32f, Prim32f);              \
  void gen##_ownsThresholdMinMax_64f(Prim64f, const Prim64f*, Prim64f*, int, Prim32s);              \
  void gen##_ownsThreshold_LTVal_64f(const Prim64f*, Prim64f*, int, Prim64f, Prim64f);              \
  void gen##_ownsThreshold_GTVal_64f(const Prim64f*, Prim64f*, int, Prim64f, Prim64f);              \
  void gen##_ownsThreshold_LTValGTVal_32f_I(Prim32f*, int, Prim32f, Prim32f, Prim32f, Prim32f);     \
  void gen##_ownsThreshold_LTValGTVal_32f(const Prim32f*, Prim32f*, int, Prim32f, Prim32f, Prim32f, \
                                          Prim32f);                                                 \
  void gen##_ownsThreshold_LTValGTVal_64f_I(Prim64f*, int, Prim64f, Prim64f, Prim64f, Prim64f);     \
  void gen##_ownsThreshold_LTValGTVal_64f(const Prim64f*, Prim64f*, int, Prim64f, Prim64f, Prim64f, \
                                          Prim64f);                                                 \
  void gen##_ownsThreshold_LTValGTVal_16s_I(Prim16s*, int, Prim16s, Prim16s, Prim16s, Prim16s);     \
  void gen##_ownsThreshold_LTValGTVal_16s(const Prim16s*, Prim16s*, int, Prim16s, Prim16s, Prim16s, \
                                          Prim16s);                                                 \
  void gen##_ownsThreshold_LTVal_64fc_I(Prim64fc*, int, Prim64f, Prim64fc);                         \
  void gen##_ownsThreshold_LTVal_64fc(const Prim64fc*, Prim64fc*, int, Prim64f, Prim64fc);          \
  void gen##_ownsThreshold_GTVal_64fc_I(Prim64fc*, int, Prim64f, Prim64fc);                         \
  void gen##_ownsThreshold_GTVal_64fc(const Prim64fc*, Prim64fc*, int, Prim64f, Prim64fc);          \
  void gen##_ownsThreshold_LTVal_64f_I(Prim64f*, int, Prim64f, Prim64f);                            \
  void gen##_ownsThreshold_GTVal_64f_I(Prim64f*, int, Prim64f, Prim64f);                            \
  void gen##_ownsThreshold_LTVal_16s(const Prim16s*, Prim16s*, int, Prim32s, Prim32s);              \
  void gen##_ownsThreshold_GTVal_16s(const Prim16s*, Prim16s*, int, Prim32s, Prim32s);              \
  void gen##_ownsThreshold_GTAbs_16s(const Prim16s*, Prim16s*, int, Prim16s);                       \
  void gen##_ownsThreshold_LTAbs_16s(const Prim16s*, Prim16s*, int, Prim16s);                       \
  void gen##_ownsThreshold_GTAbs_32s(const Prim32s*, Prim32s*, int, Prim32s);                       \
  void gen##_ownsThreshold_LTAbs_32s(const Prim32s*, Prim32s*, int, Prim32s);

// In the sse2, ssse3 and sse41 builds only.
#define PRIM_DECLARE_THRESHOLD_LEVEL_SSE_KERNELS(gen)                                  \
  void gen##_ownsThresholdMinMax_32f_I(Prim32f, Prim32f*, int, Prim32s);               \
  void gen##_ownsThreshold_GTVal_32f(const Prim32f*, Prim32f*, int, Prim32f, Prim32f); \
  void gen##_ownsThreshold_GTAbs_32f(const Prim32f*, Prim32f*, int, const Prim32f*);   \
  void gen##_ownsThreshold_LTAbs_32f(const Prim32f*, Prim32f*, int, const Prim32f*);   \
  void gen##_ownsThreshold_GTAbs_64f(const Prim64f*, Prim64f*, int, const Prim64f*);   \
  void gen##_ownsThreshold_LTAbs_64f(const Prim64f*, Prim64f*, int, const Prim64f*);

PRIM_DECLARE_THRESHOLD_LEVEL_KERNELS(sse2)
PRIM_DECLARE_THRESHOLD_LEVEL_KERNELS(ssse3)
PRIM_DECLARE_THRESHOLD_LEVEL_KERNELS(sse41)
PRIM_DECLARE_THRESHOLD_LEVEL_KERNELS(avx)
PRIM_DECLARE_THRESHOLD_LEVEL_KERNELS(avx2)
PRIM_DECLARE_THRESHOLD_LEVEL_SSE_KERNELS(sse2)
PRIM_DECLARE_THRESHOLD_LEVEL_SSE_KERNELS(ssse3)
PRIM_DECLARE_THRESHOLD_LEVEL_SSE_KERNELS(sse41)
#undef PRIM_DECLARE_THRESHOLD_LEVEL_KERNELS
#undef PRIM_DECLARE_THRESHOLD_LEVEL_SSE_KERNELS
