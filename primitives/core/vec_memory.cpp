// Dispatch tables and public entries of copy, zero and set, and the cache
// size their large-size paths compare with.
#include "primitives/core/vec_memory.h"

#include <atomic>
#include <cstdint>

#include "primitives/core/cpu_internal.h"
#include "primitives/core/memory.h"
#include "primitives/core/test_hooks.h"
#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_tables.h"

// External, not in an anonymous namespace: vec_memory_tables.h hands them to
// the tests and benchmarks.
PRIM_DISPATCH_TABLE(vecCopy_8u);
PRIM_DISPATCH_TABLE(vecCopy_16s);
PRIM_DISPATCH_TABLE(vecCopy_32s);
PRIM_DISPATCH_TABLE(vecZero_8u);
PRIM_DISPATCH_TABLE(vecZero_16s);
PRIM_DISPATCH_TABLE(vecZero_32s);
PRIM_DISPATCH_TABLE(vecSet_8u);
PRIM_DISPATCH_TABLE(vecSet_16s);
PRIM_DISPATCH_TABLE(vecSet_32s);

PrimResult vecCopy_8u(const Prim8u* pSrc, Prim8u* pDst, int len) {
  return primDispatch(tbl_vecCopy_8u)(pSrc, pDst, len);
}
PrimResult vecZero_8u(Prim8u* pDst, int len) { return primDispatch(tbl_vecZero_8u)(pDst, len); }
PrimResult vecSet_8u(Prim8u val, Prim8u* pDst, int len) {
  return primDispatch(tbl_vecSet_8u)(val, pDst, len);
}

// ---------------------------------------------------------------------------
// Cache size for the non-temporal rule.

namespace {

constexpr std::int64_t noOverride = -1;
std::atomic<std::int64_t> kernelCacheOverride{noOverride};
std::atomic<std::uint64_t> nonTemporalCount{0};

}  // namespace

Prim64s ownKernelCacheSizeFromDescriptors() {
  const std::int64_t forced = kernelCacheOverride.load(std::memory_order_relaxed);
  if (forced != noOverride) return forced;
  return ownLargeCacheSizeFromDescriptors(false);
}

Prim64s ownKernelLargestCacheSize() {
  const std::int64_t forced = kernelCacheOverride.load(std::memory_order_relaxed);
  if (forced != noOverride) return forced;
  int size = 0;
  if (primQueryLargestCacheSize(&size) != primResultOk || size < 1) return 0;
  return size;
}

void ownNoteNonTemporalPath() { nonTemporalCount.fetch_add(1, std::memory_order_relaxed); }

void primTestSetKernelCacheSize(std::int64_t bytes) {
  kernelCacheOverride.store(bytes < 0 ? noOverride : bytes, std::memory_order_relaxed);
}

std::uint64_t primTestNonTemporalCount() { return nonTemporalCount.load(std::memory_order_relaxed); }
