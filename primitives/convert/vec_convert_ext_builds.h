// Further conversion kernels of the sse2 build that no primitive calls: the
// unrolled integer-to-float widenings.  (The sse2 narrowing kernels are
// declared with the other builds' in vec_convert_builds.h.)  They check nothing, return nothing and need
// non-null pointers and len >= 1; the widenings need separate arrays.
#pragma once

#include <cstdint>

#include "primitives/core/prim_types.h"

// Integer to float, exact, except 32s32f, which rounds under the caller's
// rounding mode (the caller's control register is left exactly as it was).
void sse2_ownsConvert_8s32f_Unrolled(const std::int8_t* pSrc, Prim32f* pDst, int len);
void sse2_ownsConvert_8u32f_Unrolled(const Prim8u* pSrc, Prim32f* pDst, int len);
void sse2_ownsConvert_16s32f_Unrolled(const Prim16s* pSrc, Prim32f* pDst, int len);
void sse2_ownsConvert_16u32f_Unrolled(const Prim16u* pSrc, Prim32f* pDst, int len);
void sse2_ownsConvert_32s64f_Unrolled(const Prim32s* pSrc, Prim64f* pDst, int len);
void sse2_ownsConvert_32s32f_Unrolled(const Prim32s* pSrc, Prim32f* pDst, int len);
