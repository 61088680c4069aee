// Colour twist of interleaved three-channel float images.
#pragma once

#include "primitives/core/prim_types.h"

// out[c] = m[c][0] in[0] + m[c][1] in[1] + m[c][2] in[2] + m[c][3] for every
// pixel; twist is the row-major 3x4 matrix.  pDst may equal pSrc.
PrimResult imgColorTwist_32f_C3R(const Prim32f* pSrc, int srcStep, Prim32f* pDst, int dstStep,
                                 PrimRoiSize roiSize, const Prim32f twist[3][4]);
