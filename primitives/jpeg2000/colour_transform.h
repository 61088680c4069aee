// Inverse component transforms of JPEG 2000.  They work in place on three
// planes that share one byte step.
//
// The 16-bit and 32-bit integer transforms give the same samples in every
// processor build.  The float transforms in place differ in the last bits:
// the generic build evaluates in double precision, the processor builds in
// single precision.  The float transform into samples gives the same samples
// in every build.
#pragma once

#include "primitives/core/prim_types.h"

// Inverse component transforms, in place: planes Y, U (B-G), V (R-G) become
// R, G, B (reversible); Y, Cb, Cr become R, G, B (irreversible; 16-bit in Q14
// with saturation).
PrimResult imgInvReversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width, int height);
PrimResult imgInvReversibleColor_32s_P3IR(Prim32s* const pPlanes[3], int step, int width, int height);
PrimResult imgInvIrreversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width, int height);
PrimResult imgInvIrreversibleColor_32f_P3IR(Prim32f* const pPlanes[3], int step, int width, int height);

// The inverse irreversible transform of one row of len pixels with the finish
// of its samples, from float planes Y, Cb, Cr (pSrc) to 32-bit R, G, B
// (pDst).  Per pixel, in single precision, one rounding per operation, never
// fused:
//   R = Y + 1.402 Cr,  G = (Y - 0.34413 Cb) - 0.71414 Cr,  B = Y + 1.772 Cb;
// then per component c the value rounded to the nearest integer (ties to
// even, the processor's default rounding), plus pOffset[c], clamped to
// [pLow[c], pHigh[c]]: the samples of a saturating conversion to 32 bits, a
// saturating addition and the clamp.  NaN gives pLow[c]; a value beyond the
// 32-bit range meets the bound on its side.  Checks: null pointers, len < 0
// (bad size), then a bound above 2^23 in magnitude or pLow[c] > pHigh[c]
// (bad argument).  A destination row is one of the source rows or overlaps
// none of them; no alignment is needed.
PrimResult imgInvIrreversibleColorToSamples_32f32s_P3(const Prim32f* const pSrc[3], Prim32s* const pDst[3],
                                                      int len, const Prim32s pOffset[3],
                                                      const Prim32s pLow[3], const Prim32s pHigh[3]);
