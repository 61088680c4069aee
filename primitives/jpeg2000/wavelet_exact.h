// Float 9/7 synthesis kernels that give the same bits in every processor
// build: every lane computes each lifting step as the scalar expression
// c1 x self - c2 x (a + b) (steps 0 and 1) or self - c x (a + b) (steps 2
// and 3), one rounding per operation, in that order, never fused.  The row
// conversion that feeds them is exact in the same way.
//
// Lifting constants, in step order: step 0 (low samples) K and delta/K,
// step 1 (high samples) 1/K and gamma, step 2 (low) beta, step 3 (high)
// alpha.
#pragma once

#include "primitives/core/prim_types.h"

// One row of n = nL + nH >= 2 samples from its low half (nL samples) and
// high half (nH samples), nL and nH >= 1.  Step 0 reads the low samples from
// pLowIn (which may be pLow) and writes them to pLow; the other steps work
// in place in pLow and pHigh, which must each have room for one sample
// before and one after (the symmetric extension repeats the first and last
// sample of a half there).  At phase 0 low sample k sits between high
// samples k - 1 and k, and the row is L0 H0 L1 H1 ...; at phase 1 it sits
// between high samples k and k + 1, and the row is H0 L0 H1 L1 ....  The
// row (n samples) goes to pDst, which overlaps none of the halves.
PrimResult imgInvLift97Halves_32f(const Prim32f* pLowIn, Prim32f* pLow, int nL, Prim32f* pHigh, int nH,
                                  int phase, Prim32f* pDst);

// The four vertical steps of one inner wavefront on `width` columns:
// pRows[0 .. 5] are rows t - 4 .. t + 1 of a plane whose even/odd split puts
// row t at a low position; step s runs on row t - s with rows t - s - 1 and
// t - s + 1 as its neighbours (row t + 1 and row t - 4 are only read).
PrimResult imgInvLift97Wavefront_32f(Prim32f* const pRows[6], int width);

// Sign-magnitude coefficients to dequantised floats: magnitude m becomes
// m + 1/2 when `midpoint` says (1: every m != 0, 2: only m == 1; 0: none),
// is multiplied by `scale`, and takes the word's sign.
PrimResult imgDequantizeMidpoint_32u32f(const Prim32u* pSrc, Prim32f* pDst, int len, int midpoint,
                                        Prim32f scale);
