// Builds and kernels of the conversion and shift primitives.
//
// Build entries (<gen>_vecConvert_32s16s ...) check their arguments and call
// the kernels of their own generation.  Kernels (<gen>_owns...) check nothing,
// return nothing and need non-null pointers, len >= 1 and, for the shift
// kernels, a count from 1 to the element width less one.  The movbe slot of
// every table is the ssse3 build.
#pragma once

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_CONVERT_BUILDS(gen)                                                                \
  PrimResult gen##_vecConvert_32s16s(const Prim32s* pSrc, Prim16s* pDst, int len);                      \
  PrimResult gen##_vecConvert_32f32s_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int roundMode,    \
                                         int scaleFactor);                                              \
  PrimResult gen##_vecConvert_32s32f_Sfs(const Prim32s* pSrc, Prim32f* pDst, int len, int scaleFactor); \
  PrimResult gen##_vecLShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len);                \
  PrimResult gen##_vecRShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len);                \
  PrimResult gen##_vecRShiftC_32s(const Prim32s* pSrc, int val, Prim32s* pDst, int len);                \
  /* The whole left shift: copy for 0, zero fill above 15, checks, shift. */                            \
  PrimResult gen##_ownsLShiftC_16s_Body(const Prim16s* pSrc, int val, Prim16s* pDst, int len);
PRIM_DECLARE_CONVERT_BUILDS(px)
PRIM_DECLARE_CONVERT_BUILDS(sse2)
PRIM_DECLARE_CONVERT_BUILDS(ssse3)
PRIM_DECLARE_CONVERT_BUILDS(sse41)
PRIM_DECLARE_CONVERT_BUILDS(avx)
PRIM_DECLARE_CONVERT_BUILDS(avx2)
#undef PRIM_DECLARE_CONVERT_BUILDS

// The generic rounding-to-nearest conversion (roundMode 1 of the px build).
void px_ownsConvert_32f32s_Near_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int scaleFactor);

// Float to 32-bit integer kernels.  nearest: 1 rounds half to even, 0
// truncates; the HalfAway kernels round half away from zero.  Every one gives
// the px build's result for every input and scale factor, and leaves the
// caller's MXCSR exactly as it found it.
void sse2_ownsConvert_32f32s_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int nearest, int scaleFactor);
void sse2_ownsConvert_32f32s_HalfAway_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int scaleFactor);
#define PRIM_DECLARE_F2I_KERNELS(gen)                                                         \
  void gen##_ownsConvert_32f32s_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int nearest, \
                                    int scaleFactor);                                         \
  void gen##_ownsConvert_32f32s_Sfs_HalfAway(const Prim32f* pSrc, Prim32s* pDst, int len, int scaleFactor);
PRIM_DECLARE_F2I_KERNELS(ssse3)
PRIM_DECLARE_F2I_KERNELS(sse41)
PRIM_DECLARE_F2I_KERNELS(avx)
PRIM_DECLARE_F2I_KERNELS(avx2)
#undef PRIM_DECLARE_F2I_KERNELS

// Integer conversion kernels: narrowing with saturation (called by the
// vecConvert_32s16s builds) and sign-extending widenings (no primitive calls
// these; the widenings need separate arrays).
#define PRIM_DECLARE_INT_KERNELS(gen)                                            \
  void gen##_ownsConvert_32s16s(const Prim32s* pSrc, Prim16s* pDst, int len);    \
  void gen##_ownsConvert_8s16s(const std::int8_t* pSrc, Prim16s* pDst, int len); \
  void gen##_ownsConvert_16s32s(const Prim16s* pSrc, Prim32s* pDst, int len);
PRIM_DECLARE_INT_KERNELS(sse2)
PRIM_DECLARE_INT_KERNELS(ssse3)
PRIM_DECLARE_INT_KERNELS(sse41)
PRIM_DECLARE_INT_KERNELS(avx)
PRIM_DECLARE_INT_KERNELS(avx2)
#undef PRIM_DECLARE_INT_KERNELS

// Integer to float kernels of the sse2 build (no primitive calls these).  All
// are exact except 32s32f, which rounds under the caller's rounding mode.
void sse2_ownsConvert_8s32f(const std::int8_t* pSrc, Prim32f* pDst, int len);
void sse2_ownsConvert_8u32f(const Prim8u* pSrc, Prim32f* pDst, int len);
void sse2_ownsConvert_16s32f(const Prim16s* pSrc, Prim32f* pDst, int len);
void sse2_ownsConvert_16u32f(const Prim16u* pSrc, Prim32f* pDst, int len);
void sse2_ownsConvert_32s64f(const Prim32s* pSrc, Prim64f* pDst, int len);
void sse2_ownsConvert_32s32f(const Prim32s* pSrc, Prim32f* pDst, int len);

// Shift-by-constant kernels of the sse2, ssse3, sse41 and avx builds.  Counts
// from 1 to the element width less one; pDst may equal pSrc.  The right shifts
// of signed elements copy the sign bit, the others shift in zeros.
#define PRIM_DECLARE_SHIFT_KERNELS(gen)                                             \
  void gen##_ownsLShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len); \
  void gen##_ownsRShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len); \
  void gen##_ownsRShiftC_16u(const Prim16u* pSrc, int val, Prim16u* pDst, int len); \
  void gen##_ownsRShiftC_32s(const Prim32s* pSrc, int val, Prim32s* pDst, int len); \
  void gen##_ownsLShiftC_32s(const Prim32s* pSrc, int val, Prim32s* pDst, int len); \
  void gen##_ownsLShiftC_8u(const Prim8u* pSrc, int val, Prim8u* pDst, int len);    \
  void gen##_ownsRShiftC_8u(const Prim8u* pSrc, int val, Prim8u* pDst, int len);
PRIM_DECLARE_SHIFT_KERNELS(sse2)
PRIM_DECLARE_SHIFT_KERNELS(ssse3)
PRIM_DECLARE_SHIFT_KERNELS(sse41)
PRIM_DECLARE_SHIFT_KERNELS(avx)
#undef PRIM_DECLARE_SHIFT_KERNELS

// Conversions to narrower integers of the ssse3, sse41 and avx builds (no
// primitive calls these).  roundMode 0 truncates, any other value rounds half
// to even; the HalfAway kernels round half away from zero.  Float and double
// sources give the px rule of vecConvert_32f32s_Sfs saturated to the
// destination (NaN to its minimum) and leave the caller's MXCSR exactly as
// found; 64-bit integers give x / 2^scaleFactor rounded half away from zero
// and saturated, for any factor.  pDst may equal pSrc.
#define PRIM_DECLARE_NARROW_KERNELS(gen)                                                                    \
  void gen##_ownsConvert_32f8s_Sfs(const Prim32f* pSrc, std::int8_t* pDst, int len, int roundMode,          \
                                   int scaleFactor);                                                        \
  void gen##_ownsConvert_32f8u_Sfs(const Prim32f* pSrc, Prim8u* pDst, int len, int roundMode,               \
                                   int scaleFactor);                                                        \
  void gen##_ownsConvert_32f16s_Sfs(const Prim32f* pSrc, Prim16s* pDst, int len, int roundMode,             \
                                    int scaleFactor);                                                       \
  void gen##_ownsConvert_32f16u_Sfs(const Prim32f* pSrc, Prim16u* pDst, int len, int roundMode,             \
                                    int scaleFactor);                                                       \
  void gen##_ownsConvert_32f8s_Sfs_HalfAway(const Prim32f* pSrc, std::int8_t* pDst, int len,                \
                                            int scaleFactor);                                               \
  void gen##_ownsConvert_32f8u_Sfs_HalfAway(const Prim32f* pSrc, Prim8u* pDst, int len, int scaleFactor);   \
  void gen##_ownsConvert_32f16s_Sfs_HalfAway(const Prim32f* pSrc, Prim16s* pDst, int len, int scaleFactor); \
  void gen##_ownsConvert_32f16u_Sfs_HalfAway(const Prim32f* pSrc, Prim16u* pDst, int len, int scaleFactor); \
  void gen##_ownsConvert_64f32s_Sfs_HalfAway(const Prim64f* pSrc, Prim32s* pDst, int len, int scaleFactor); \
  void gen##_ownsConvert_64s32s_Sfs_HalfAway(const Prim64s* pSrc, Prim32s* pDst, int len, int scaleFactor);
PRIM_DECLARE_NARROW_KERNELS(ssse3)
PRIM_DECLARE_NARROW_KERNELS(sse41)
PRIM_DECLARE_NARROW_KERNELS(avx)
#undef PRIM_DECLARE_NARROW_KERNELS
// The sse2 build of the same source names its half-away kernels with the
// scale-factor suffix last and its 64-bit integer kernel (also half away from
// zero) without a rounding suffix; it carries the two-mode double kernel too.
#define PRIM_DECLARE_SSE2_NARROW(Name, S, D)                                                           \
  void sse2_ownsConvert_##Name##_Sfs(const S* pSrc, D* pDst, int len, int roundMode, int scaleFactor); \
  void sse2_ownsConvert_##Name##_HalfAway_Sfs(const S* pSrc, D* pDst, int len, int scaleFactor);
PRIM_DECLARE_SSE2_NARROW(32f8s, Prim32f, std::int8_t)
PRIM_DECLARE_SSE2_NARROW(32f8u, Prim32f, Prim8u)
PRIM_DECLARE_SSE2_NARROW(32f16s, Prim32f, Prim16s)
PRIM_DECLARE_SSE2_NARROW(32f16u, Prim32f, Prim16u)
PRIM_DECLARE_SSE2_NARROW(64f32s, Prim64f, Prim32s)
#undef PRIM_DECLARE_SSE2_NARROW
void sse2_ownsConvert_64s32s_Sfs(const Prim64s* pSrc, Prim32s* pDst, int len, int scaleFactor);
// The two-mode double kernel exists in the ssse3 and sse41 builds only.
void ssse3_ownsConvert_64f32s_Sfs(const Prim64f* pSrc, Prim32s* pDst, int len, int roundMode,
                                  int scaleFactor);
void sse41_ownsConvert_64f32s_Sfs(const Prim64f* pSrc, Prim32s* pDst, int len, int roundMode,
                                  int scaleFactor);

// The same integer to float kernels in the ssse3 build.  32s32f (in both
// builds) leaves the caller's MXCSR as it was and may convert in place; the
// widenings need separate arrays.
void ssse3_ownsConvert_8s32f(const std::int8_t* pSrc, Prim32f* pDst, int len);
void ssse3_ownsConvert_8u32f(const Prim8u* pSrc, Prim32f* pDst, int len);
void ssse3_ownsConvert_16s32f(const Prim16s* pSrc, Prim32f* pDst, int len);
void ssse3_ownsConvert_16u32f(const Prim16u* pSrc, Prim32f* pDst, int len);
void ssse3_ownsConvert_32s64f(const Prim32s* pSrc, Prim64f* pDst, int len);
void ssse3_ownsConvert_32s32f(const Prim32s* pSrc, Prim32f* pDst, int len);
