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

// The movbe slot of every table is the ssse3 build.
#define PRIM_VEC_MEMORY_TABLE(name)                                                    \
  constexpr PrimDispatchTable<decltype(&px_##name)> ownTable_##name{                    \
      {px_##name, sse2_##name, ssse3_##name, ssse3_##name, sse41_##name, avx_##name,    \
       avx2_##name}};

PRIM_VEC_MEMORY_TABLE(vecCopy_8u)
PRIM_VEC_MEMORY_TABLE(vecCopy_16s)
PRIM_VEC_MEMORY_TABLE(vecCopy_32s)
PRIM_VEC_MEMORY_TABLE(vecZero_8u)
PRIM_VEC_MEMORY_TABLE(vecZero_16s)
PRIM_VEC_MEMORY_TABLE(vecZero_32s)
PRIM_VEC_MEMORY_TABLE(vecSet_8u)
PRIM_VEC_MEMORY_TABLE(vecSet_16s)
PRIM_VEC_MEMORY_TABLE(vecSet_32s)

#undef PRIM_VEC_MEMORY_TABLE

PrimResult vecCopy_8u(const Prim8u* pSrc, Prim8u* pDst, int len) {
  return primDispatch(ownTable_vecCopy_8u)(pSrc, pDst, len);
}
PrimResult vecZero_8u(Prim8u* pDst, int len) { return primDispatch(ownTable_vecZero_8u)(pDst, len); }
PrimResult vecSet_8u(Prim8u val, Prim8u* pDst, int len) {
  return primDispatch(ownTable_vecSet_8u)(val, pDst, len);
}

// ---------------------------------------------------------------------------
// Cache size for the non-temporal rule.

namespace {

constexpr std::int64_t noOverride = -1;
std::atomic<std::int64_t> kernelCacheOverride{noOverride};
std::atomic<std::uint64_t> nonTemporalCount{0};

}  // namespace

// Size code c: (c >> 4) << ((c & 15) + 18) bytes.
const Prim8u ownPackedCacheDescriptorTable[2 * ownPackedCacheDescriptorRows + 2] = {
    0xEC, 0x35,                                      // 24 MiB
    0xEB, 0x93,                                      // 18 MiB
    0x4D, 0x16,                                      // 16 MiB
    0xEA, 0x34, 0x4C, 0x34,                          // 12 MiB
    0xE4, 0x15, 0xDE, 0x15, 0x4B, 0x15, 0x47, 0x15,  // 8 MiB
    0x4E, 0x33, 0x4A, 0x33,                          // 6 MiB
    0xE3, 0x14, 0xDD, 0x14, 0xD8, 0x14, 0x49, 0x14, 0x29, 0x14, 0x46, 0x14,  // 4 MiB
    0x48, 0x32,                                                              // 3 MiB
    0xE2, 0x13, 0xDC, 0x13, 0xD7, 0x13, 0xD2, 0x13, 0x25, 0x13, 0x7D, 0x13, 0x85, 0x13,
    0x45, 0x13,  // 2 MiB
    0xD6, 0x12, 0xD1, 0x12, 0x23, 0x12, 0x87, 0x12, 0x7C, 0x12, 0x78, 0x12, 0x84, 0x12,
    0x44, 0x12,  // 1 MiB
    0xD0, 0x11, 0x22, 0x11, 0x7B, 0x11, 0x80, 0x11, 0x86, 0x11, 0x3E, 0x11, 0x7F, 0x11,
    0x83, 0x11, 0x43, 0x11,  // 512 KiB
    0, 0,
};

Prim64s ownKernelCacheSizeFromDescriptors() {
  const std::int64_t forced = kernelCacheOverride.load(std::memory_order_relaxed);
  if (forced != noOverride) return forced;
  if (!ownCpuidSupported() || !ownIsReferenceVendor()) return 0;
  Prim32u r[4];
  ownCpuid(r, 2, 0);
  if ((r[0] & 0xff) != 1) return 0;
  for (const Prim8u* row = ownPackedCacheDescriptorTable; row[0] != 0; row += 2) {
    for (int reg = 0; reg < 4; ++reg) {
      if (r[reg] >> 31) continue;
      for (int b = reg == 0 ? 1 : 0; b < 4; ++b)
        if (static_cast<Prim8u>(r[reg] >> (8 * b)) == row[0])
          return static_cast<Prim64s>(row[1] >> 4) << ((row[1] & 15) + 18);
    }
  }
  return 0;
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
