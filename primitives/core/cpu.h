// Processor detection and build selection.
#pragma once

#include "primitives/core/prim_types.h"

// Detects the processor features (once per process; the mask is cached) and
// stores the mask in *pMask (bits: 0 MMX, 1 SSE, 2 SSE2, 3 SSE3, 4 SSSE3,
// 5 MOVBE, 6 SSE4.1, 7 SSE4.2, 8 AVX, 9 OS saves XMM/YMM state, 10 AES,
// 11 PCLMULQDQ, 12 family-0xB extension, 13 RDRAND, 14 F16C, 15 FMA+AVX2+
// BMI1+BMI2, 16 ADX, 17 RDSEED, 18 PREFETCHW, 19 LZCNT, 31 family 0xB
// model 1).
// primResultCpuQueryUnsupported (36) when the processor cannot be queried,
// before anything else and writing nothing; then primResultNullPointer for a
// null pMask.  With regs non-null, fills regs with cpuid leaf 1, or with the
// leaf and sub-leaf the caller placed in regs[0] and regs[2] when *pMask held
// the tag "getinfoa" (0x616f666e69746567) on entry.
PrimResult primGetCpuFeatureMask(PrimCpuFeatureMask* pMask, Prim32u regs[4]);

// LZCNT (cpuid leaf 0x80000001 ECX bit 5).  No generation requires it; a
// build whose object uses it asks the detected mask (the avx2 code-block
// decoder).
inline constexpr PrimCpuFeatureMask primCpuFeatureLzcnt = PrimCpuFeatureMask{1} << 19;

// Chooses the processor generation whose builds every primitive runs, from
// avx2 down to px, and the enabled-feature mask.  primResultUnknownCpu (20)
// when the processor has no cpuid or is not of the reference vendor (the
// generation still follows the features), else primResultOk.  Runs once at
// start-up, before any other thread calls a primitive.
PrimResult primInitCpuDispatch();
