// Inverse wavelet lifting of JPEG 2000.
//
// Row primitives rebuild interleaved rows from a low-pass and a high-pass row
// (phase 0: a row begins with the sample rebuilt from a low sample; any other
// phase: with the one rebuilt from a high sample).  They work on the interior
// of a line: the caller supplies the neighbour samples they read beyond both
// ends of the given rows and computes the outermost outputs itself.  Column
// steps run one step of the vertical pipeline on whole rows.
//
// Every 16-bit and 32-bit integer primitive gives the same samples in every
// processor build.  Float builds differ in the last bits: the generic build
// evaluates in double precision, the processor builds in single precision and
// the avx2 builds fuse some multiply-adds.
#pragma once

#include "primitives/core/prim_types.h"

// Inverse reversible 5/3 along rows.  width counts sample pairs; each row
// reads, relative to L[0] and H[0]: phase 0 L[0]..L[width], H[-1]..H[width];
// other phase L[-1]..L[width-1], H[-1]..H[width].  Writes 2 x width samples.
PrimResult imgInvLift53Rows_16s_C1R(const Prim16s* pLow, int lowStep, const Prim16s* pHigh, int highStep,
                                    int width, int height, Prim16s* pDst, int dstStep, int phase);
PrimResult imgInvLift53Rows_32s_C1R(const Prim32s* pLow, int lowStep, const Prim32s* pHigh, int highStep,
                                    int width, int height, Prim32s* pDst, int dstStep, int phase);

// One step of the vertical inverse 5/3: from L(n), H(n-1), H(n) and x(2n-2)
// makes x(2n-1) and x(2n).
PrimResult imgInvLift53ColumnStep_16s_C1(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                         const Prim16s* pHighNext, const Prim16s* pEvenPrev, Prim16s* pDstOdd,
                                         Prim16s* pDstEven, int width);
PrimResult imgInvLift53ColumnStep_32s_C1(const Prim32s* pLowRow, const Prim32s* pHighPrev,
                                         const Prim32s* pHighNext, const Prim32s* pEvenPrev, Prim32s* pDstOdd,
                                         Prim32s* pDstEven, int width);

// Inverse irreversible 9/7 along rows, Q16 fixed point with 16-bit saturation
// and in float.  width counts samples per source row; each row reads, relative
// to L[0] and H[0]: phase 0 L[-1]..L[max(width+1,2)], H[-2]..H[max(width+1,2)];
// other phase L[-2]..L[max(width,1)], H[-2]..H[max(width+1,2)].
PrimResult imgInvLift97Rows_16s_C1R(const Prim16s* pLow, int lowStep, const Prim16s* pHigh, int highStep,
                                    int width, int height, Prim16s* pDst, int dstStep, int phase);
PrimResult imgInvLift97Rows_32f_C1R(const Prim32f* pLow, int lowStep, const Prim32f* pHigh, int highStep,
                                    int width, int height, Prim32f* pDst, int dstStep, int phase);

// One step of the vertical inverse 9/7: makes x(2n) (pDstEven, after the
// delta step) and x(2n-1) (pDstOdd, after the gamma step), finishes x(2n-2)
// (pEvenDelta) and x(2n-3) (pOddGamma).
PrimResult imgInvLift97ColumnStep_16s_C1(const Prim16s* pLowRow, const Prim16s* pHighPrev,
                                         const Prim16s* pHighNext, const Prim16s* pEvenFinal,
                                         Prim16s* pOddGamma, Prim16s* pEvenDelta, Prim16s* pDstOdd,
                                         Prim16s* pDstEven, int width);
PrimResult imgInvLift97ColumnStep_32f_C1(const Prim32f* pLowRow, const Prim32f* pHighPrev,
                                         const Prim32f* pHighNext, const Prim32f* pEvenFinal,
                                         Prim32f* pOddGamma, Prim32f* pEvenDelta, Prim32f* pDstOdd,
                                         Prim32f* pDstEven, int width);

// The two halves of a row into the row: pDst[2k] = pEven[k] for k < nEven and
// pDst[2k + 1] = pOdd[k] for k < nOdd.  Checks: null pointers, then nOdd < 0
// or nEven other than nOdd or nOdd + 1 (bad size).  The samples move as bit
// patterns, so the 32-bit form also serves floats.  pDst overlaps neither
// half.
PrimResult imgInterleaveHalves_16s(const Prim16s* pEven, int nEven, const Prim16s* pOdd, int nOdd,
                                   Prim16s* pDst);
PrimResult imgInterleaveHalves_32s(const Prim32s* pEven, int nEven, const Prim32s* pOdd, int nOdd,
                                   Prim32s* pDst);
