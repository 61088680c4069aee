// Inverse component transforms of JPEG 2000.  They work in place on three
// planes that share one byte step.
//
// The 16-bit and 32-bit integer transforms give the same samples in every
// processor build.  The float builds differ in the last bits: the generic
// build evaluates in double precision, the processor builds in single
// precision.
#pragma once

#include "primitives/core/prim_types.h"

// Inverse component transforms, in place: planes Y, U (B-G), V (R-G) become
// R, G, B (reversible); Y, Cb, Cr become R, G, B (irreversible; 16-bit in Q14
// with saturation).
PrimResult imgInvReversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width, int height);
PrimResult imgInvReversibleColor_32s_P3IR(Prim32s* const pPlanes[3], int step, int width, int height);
PrimResult imgInvIrreversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width, int height);
PrimResult imgInvIrreversibleColor_32f_P3IR(Prim32f* const pPlanes[3], int step, int width, int height);
