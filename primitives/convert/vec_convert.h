// Vector conversions between 32-bit integer, 16-bit integer and 32-bit float
// samples, and shifts of 16-bit and 32-bit integer vectors by a constant.
//
// Statuses, in the order they are tested: primResultNullPointer (-8) for a
// null source, then a null destination; primResultBadSize (-6) for a length
// below 1; the shifts then primResultBadShift (-32) for a negative count.  A
// shift of 0 is a copy (with the copy's own checks), a left shift of 16 or
// more a zero fill (after a null source test), a right shift wider than the
// element a fill with each element's sign.  Nothing is written on an error.
// The destination may be the source itself; partial overlap is not allowed,
// nor an in-place widening conversion.
#pragma once

#include "primitives/core/prim_types.h"

// Rounding of the float-to-integer conversion.  Any value other than 0 and 1
// rounds half away from zero.
enum PrimRoundMode : int {
  primRoundTowardZero = 0,
  primRoundNearestEven = 1,
  primRoundHalfAway = 2,
};

// 32-bit to 16-bit integers with signed saturation.
PrimResult vecConvert_32s16s(const Prim32s* pSrc, Prim16s* pDst, int len);

// pDst[i] = pSrc[i] * 2^-scaleFactor rounded by roundMode and saturated to
// the 32-bit range.  Any scale factor is accepted.  NaN gives -2147483648,
// +infinity 2147483647, -infinity -2147483648.  The result does not depend on
// the caller's floating-point control settings, and the caller's MXCSR
// (controls and flags) is exactly as it was after the call.
PrimResult vecConvert_32f32s_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int roundMode, int scaleFactor);

// pDst[i] = pSrc[i] * 2^-scaleFactor rounded once to single precision under
// the caller's rounding mode; scaleFactor is clamped to -96..126 first.  The
// caller's MXCSR is as it was after the call (no flag raised stays).
PrimResult vecConvert_32s32f_Sfs(const Prim32s* pSrc, Prim32f* pDst, int len, int scaleFactor);

// Low 16 bits of each element shifted left by val.
PrimResult vecLShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len);
// Arithmetic right shifts by val.
PrimResult vecRShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len);
PrimResult vecRShiftC_32s(const Prim32s* pSrc, int val, Prim32s* pDst, int len);
