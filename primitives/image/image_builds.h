// Builds and kernels of the image primitives.  Builds of other primitives of
// the same generation call these directly (the multiply clears through
// imgSet_16s_C1R, copies through imgCopy_16s_C1R ...).
#pragma once

#include <atomic>

#include "primitives/core/prim_types.h"

Prim8u* px_imgMalloc_8u_C1(int widthBytes, int height, int* pStep);
Prim8u* sse2_imgMalloc_8u_C1(int widthBytes, int height, int* pStep);
void px_imgFree(void* p);
void sse2_imgFree(void* p);
void ssse3_imgFree(void* p);

#define PRIM_DECLARE_IMAGE_BUILDS(gen)                                                             \
  PrimResult gen##_imgSet_8u_C1R(Prim8u, Prim8u*, int, int, int);                                  \
  PrimResult gen##_imgSet_16s_C1R(Prim16s, Prim16s*, int, int, int);                               \
  PrimResult gen##_imgCopy_16s_C1R(const Prim16s*, int, Prim16s*, int, int, int);                  \
  PrimResult gen##_imgCopy_32s_C1R(const Prim32s*, int, Prim32s*, int, int, int);                  \
  PrimResult gen##_imgMulC_16s_C1RSfs(const Prim16s*, int, Prim16s, Prim16s*, int, int, int, int); \
  PrimResult gen##_imgMulC_32f_C1R(const Prim32f*, int, Prim32f, Prim32f*, int, int, int);         \
  PrimResult gen##_imgRShiftC_16s_C1R(const Prim16s*, int, Prim32u, Prim16s*, int, int, int);
PRIM_DECLARE_IMAGE_BUILDS(px)
PRIM_DECLARE_IMAGE_BUILDS(sse2)
PRIM_DECLARE_IMAGE_BUILDS(ssse3)
PRIM_DECLARE_IMAGE_BUILDS(sse41)
PRIM_DECLARE_IMAGE_BUILDS(avx)
PRIM_DECLARE_IMAGE_BUILDS(avx2)
#undef PRIM_DECLARE_IMAGE_BUILDS

// The region copy the ssse3 shift build uses for a count of 0.
PrimResult ssse3_owniCopy_16s_C1R(const Prim16s*, int, Prim16s*, int, int, int);

// Row fills with a pixel pattern and the masked and channel-copy kernels of
// the set module (no primitive calls these).  Lengths in bytes for the
// fills, in pixels for the masked kernels.
#define PRIM_DECLARE_SET_KERNELS(gen)                                                                   \
  void gen##_owniSetRow_8u(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal);              \
  void gen##_owniSetRow_16s(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal);             \
  void gen##_owniSetRow_8u_C3(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal);           \
  void gen##_owniSetRow_32s(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal);             \
  void gen##_owniSetRow_16s_C3(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal);          \
  void gen##_owniSetRow_16s_C4(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal);          \
  void gen##_owniSetRow_32s_C3(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal);          \
  void gen##_owniSetRow_32s_C4(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal);          \
  void gen##_owniCopyRowMasked_8u(const Prim8u* pSrc, Prim8u* pDst, int len, const Prim8u* pMask);      \
  void gen##_owniCopyRowMasked_8u_C3(const Prim8u* pSrc, Prim8u* pDst, int len, const Prim8u* pMask);   \
  void gen##_owniSetRowMasked_8u(const Prim8u* pattern, Prim8u* pDst, int len, const Prim8u* pMask);    \
  void gen##_owniSetRowMasked_8u_C3(const Prim8u* pattern, Prim8u* pDst, int len, const Prim8u* pMask); \
  void gen##_owniCopyRowAC4_16s(const Prim16s* pSrc, Prim16s* pDst, int len);                           \
  void gen##_owniCopyRowAC4_8u(const Prim8u* pSrc, Prim8u* pDst, int len);                              \
  void gen##_owniCopyRowC1C4_8u(const Prim8u* pSrc, Prim8u* pDst, int len);                             \
  void gen##_owniCopyRowC4C1_8u(const Prim8u* pSrc, Prim8u* pDst, int len);                             \
  void gen##_owniCopyRow(const Prim8u* pSrc, Prim8u* pDst, int len, int nonTemporal);
PRIM_DECLARE_SET_KERNELS(sse2)
PRIM_DECLARE_SET_KERNELS(ssse3)
PRIM_DECLARE_SET_KERNELS(sse41)
PRIM_DECLARE_SET_KERNELS(avx)
PRIM_DECLARE_SET_KERNELS(avx2)
#undef PRIM_DECLARE_SET_KERNELS

// Masked kernels of 2-, 4-, 6- and 12-byte pixels: sse2 module only.
void sse2_owniCopyRowMasked_16s(const Prim8u* pSrc, Prim8u* pDst, int len, const Prim8u* pMask);
void sse2_owniCopyRowMasked_16s_C3(const Prim8u* pSrc, Prim8u* pDst, int len, const Prim8u* pMask);
void sse2_owniSetRowMasked_16s(const Prim8u* pattern, Prim8u* pDst, int len, const Prim8u* pMask);
void sse2_owniSetRowMasked_16s_C3(const Prim8u* pattern, Prim8u* pDst, int len, const Prim8u* pMask);
void sse2_owniCopyRowMasked_32s(const Prim8u* pSrc, Prim8u* pDst, int len, const Prim8u* pMask);
void sse2_owniCopyRowMasked_32s_C3(const Prim8u* pSrc, Prim8u* pDst, int len, const Prim8u* pMask);
void sse2_owniSetRowMasked_32s(const Prim8u* pattern, Prim8u* pDst, int len, const Prim8u* pMask);
void sse2_owniSetRowMasked_32s_C3(const Prim8u* pattern, Prim8u* pDst, int len, const Prim8u* pMask);

// Region kernels of the shift module (imgRShiftC_16s_C1R runs the 16s
// one-channel kernel; no primitive calls the others): left shifts of 8u, 16u
// and 32s, logical right shifts of 8u and 16u, arithmetic right shifts of 8s,
// 16s and 32s.  One-channel kernels count the width in elements and take one
// count; C4, AC4 and AC4Same count it in pixels of four channels and read
// shifts[0..3], shifts[0..2] and shifts[0].  AC4 and AC4Same leave the
// destination's fourth channel alone.  Counts at or beyond the element width
// give zero, or the sign fill for arithmetic shifts.  pDst may be pSrc with
// the same step.
#define PRIM_DECLARE_SHIFT_KERNELS_OF(gen, name, T)                          \
  void gen##_##name(const T*, int, T*, int, int, int, Prim32u);              \
  void gen##_##name##_C4(const T*, int, T*, int, int, int, const Prim32u*);  \
  void gen##_##name##_AC4(const T*, int, T*, int, int, int, const Prim32u*); \
  void gen##_##name##_AC4Same(const T*, int, T*, int, int, int, const Prim32u*);
#define PRIM_DECLARE_SHIFT_KERNELS(gen)                           \
  PRIM_DECLARE_SHIFT_KERNELS_OF(gen, owniLShiftC_8u, Prim8u)      \
  PRIM_DECLARE_SHIFT_KERNELS_OF(gen, owniRShiftC_8u, Prim8u)      \
  PRIM_DECLARE_SHIFT_KERNELS_OF(gen, owniRShiftC_8s, std::int8_t) \
  PRIM_DECLARE_SHIFT_KERNELS_OF(gen, owniLShiftC_16u, Prim16u)    \
  PRIM_DECLARE_SHIFT_KERNELS_OF(gen, owniRShiftC_16u, Prim16u)    \
  PRIM_DECLARE_SHIFT_KERNELS_OF(gen, owniRShiftC_16s, Prim16s)    \
  PRIM_DECLARE_SHIFT_KERNELS_OF(gen, owniLShiftC_32s, Prim32s)    \
  PRIM_DECLARE_SHIFT_KERNELS_OF(gen, owniRShiftC_32s, Prim32s)
PRIM_DECLARE_SHIFT_KERNELS(sse2)
PRIM_DECLARE_SHIFT_KERNELS(ssse3)
PRIM_DECLARE_SHIFT_KERNELS(sse41)
PRIM_DECLARE_SHIFT_KERNELS(avx)
PRIM_DECLARE_SHIFT_KERNELS(avx2)
#undef PRIM_DECLARE_SHIFT_KERNELS
#undef PRIM_DECLARE_SHIFT_KERNELS_OF

// Largest cache as the region copy kernels see it: the core's leaf-2 lookup
// (ownLargeCacheSizeFromDescriptors) on a processor that lists leaf 2; 0 when
// the lookup fails.
int owniRegionCacheSize();

// Test control: a value of 0 or more replaces the lookup's answer (0 = the
// lookup fails); -1 (the default) asks the processor.
extern std::atomic<int> owniTestRegionCacheSize;
