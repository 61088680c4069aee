// Vector arithmetic primitives: multiply by a float constant, add and
// subtract float vectors, and the 16- and 32-bit integer add-constant, add and
// subtract with a scale factor.
//
// Every primitive returns primResultNullPointer (-8) for a null pointer
// (tested in argument order), then primResultBadSize (-6) for len below 1;
// nothing is read or written then.  The destination may be the same vector as
// a source; other overlaps are not supported.  Subtractions compute the second
// operand minus the first.
//
// The "Sfs" primitives scale the exact result by 2^-scaleFactor: rounded to
// nearest with ties to even for positive factors, shifted left for negative
// ones, saturated to the element range (see scale_factor.h).  Every factor is
// accepted and saturation is silent.
#pragma once

#include "primitives/core/prim_types.h"

PrimResult vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len);
PrimResult vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len);
PrimResult vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len);

PrimResult vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len, int scaleFactor);
PrimResult vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len, int scaleFactor);
PrimResult vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                          int scaleFactor);
PrimResult vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                          int scaleFactor);
PrimResult vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                          int scaleFactor);
PrimResult vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                          int scaleFactor);
