// Aligned allocation (first cut) and the largest-cache query (placeholder).
#include "primitives/core/memory.h"

#include <cstdint>
#include <cstdlib>

void* primAlignedMalloc(int size) {
  if (size < 1) return nullptr;
  const std::size_t request = static_cast<std::size_t>(size) + 64 + sizeof(void*);
  void* raw = std::malloc(request);
  if (!raw) return nullptr;
  std::uintptr_t aligned = (reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*) + 63) & ~std::uintptr_t{63};
  reinterpret_cast<void**>(aligned)[-1] = raw;
  return reinterpret_cast<void*>(aligned);
}

void primAlignedFree(void* p) {
  if (p) std::free(static_cast<void**>(p)[-1]);
}

PrimResult primQueryLargestCacheSize(int* pSize) {
  if (!pSize) return primResultNullPointer;
  *pSize = 0;
  return primResultCacheSizeUnknown;
}
