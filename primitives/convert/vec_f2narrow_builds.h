// Float and double to narrower integer kernels of the sse2 build.  No
// primitive calls them; they check nothing, return nothing and need non-null
// pointers and len >= 1.  nearest != 0 rounds to nearest with ties to even,
// 0 truncates; the HalfAway kernels round half away from zero.  A NaN gives
// the destination's minimum, values beyond the range its limits; every path
// gives the scalar rule's result, independent of the caller's control
// register, which is left exactly as it was.  The destination needs its own
// array unless it has the source's element size.
#pragma once

#include <cstdint>

#include "primitives/core/prim_types.h"

#define PRIM_DECLARE_F2NARROW(gen, Name, S, D)                                                    \
  void gen##_ownsConvert_##Name##_Sfs(const S* pSrc, D* pDst, int len, int nearest, int scaleFactor); \
  void gen##_ownsConvert_##Name##_HalfAway_Sfs(const S* pSrc, D* pDst, int len, int scaleFactor);
PRIM_DECLARE_F2NARROW(sse2, 32f8s, Prim32f, std::int8_t)
PRIM_DECLARE_F2NARROW(sse2, 32f8u, Prim32f, Prim8u)
PRIM_DECLARE_F2NARROW(sse2, 32f16s, Prim32f, Prim16s)
PRIM_DECLARE_F2NARROW(sse2, 32f16u, Prim32f, Prim16u)
PRIM_DECLARE_F2NARROW(sse2, 64f32s, Prim64f, Prim32s)
#undef PRIM_DECLARE_F2NARROW
