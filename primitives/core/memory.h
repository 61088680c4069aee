// 64-byte aligned allocation and the largest-cache query.
#pragma once

#include "primitives/core/prim_types.h"

// A block of at least `size` bytes whose address is a multiple of 64; null
// for a size below 1 or when memory is exhausted.
void* primAlignedMalloc(int size);
void primAlignedFree(void* p);

// Size in bytes of the processor's largest data or unified cache.
PrimResult primQueryLargestCacheSize(int* pSize);
