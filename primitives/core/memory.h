// 64-byte aligned allocation and the largest-cache query.
#pragma once

#include "primitives/core/prim_types.h"

// A block of at least `size` bytes whose address is a multiple of 64; null
// for a size below 1 or when memory is exhausted.  The contents are not
// initialised.  Release it with primAlignedFree (null is ignored).
void* primAlignedMalloc(int size);
void primAlignedFree(void* p);

// Size in bytes of the processor's largest data or unified cache.  The first
// call with a non-null pSize queries the processor and keeps the answer,
// failures included.  primResultOk with the size; primResultNullPointer for a
// null pSize (nothing else happens); primResultCpuQueryUnsupported (36) with
// size 0 when the processor cannot be queried (no cpuid, highest leaf below
// 2, another vendor); primResultCacheSizeUnknown (37) with size 0 when no
// size was found.  Use the size only with primResultOk.
PrimResult primQueryLargestCacheSize(int* pSize);
