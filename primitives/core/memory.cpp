// 64-byte aligned allocation, the largest-cache query and the leaf-2 cache
// lookup of the large-size kernels.
#include "primitives/core/memory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "primitives/core/cpu_internal.h"
#include "primitives/core/test_hooks.h"

namespace {

// The allocation and release the aligned allocator goes through: the runtime
// heap (tests may replace them).
std::atomic<void* (*)(std::size_t)> ownMallocHook{std::malloc};
std::atomic<void (*)(void*)> ownFreeHook{std::free};

constexpr std::size_t alignment = 64;

// Result of the largest-cache query: the status is 1 until the first query
// ends; the size is stored before the final status is published (release) so
// a reader that sees the status (acquire) also sees its size.
struct LargestCacheState {
  std::atomic<PrimResult> status{1};
  std::atomic<Prim32s> size{0};
};
LargestCacheState largestCache;

constexpr PrimResult notQueried = 1;

// Largest data or unified cache listed by the deterministic cache leaf 4;
// 0 when it lists none.
Prim32s largestFromLeaf4() {
  Prim32s largest = 0;
  for (Prim32u sub = 0; sub < 32; ++sub) {
    Prim32u r[4];
    ownCpuid(r, 4, sub);
    const Prim32u type = r[0] & 31u;
    if (type == 0) break;     // no more caches
    if (type == 2) continue;  // instruction cache
    const Prim32u ways = (r[1] >> 22) + 1;
    const Prim32u partitions = ((r[1] >> 12) & 0x3ff) + 1;
    const Prim32u line = (r[1] & 0xfff) + 1;
    const Prim32u sets = r[2] + 1;
    const Prim32s size = static_cast<Prim32s>(ways * partitions * line * sets);
    if (size > largest) largest = size;
  }
  return largest;
}

void computeLargestCache(PrimResult* status, Prim32s* size) {
  *size = 0;
  *status = primResultCpuQueryUnsupported;
  if (!ownCpuidSupported()) return;
  const Prim32u maxLeaf = ownCpuidMaxLeaf();
  if (static_cast<Prim32s>(maxLeaf) < 2 || !ownIsReferenceVendor()) return;
  const Prim32s found =
      maxLeaf >= 4 ? largestFromLeaf4() : ownCacheSizeFromDescriptors(ownCacheDescriptorTable);
  if (found <= 0) {
    *status = primResultCacheSizeUnknown;
    return;
  }
  *status = primResultOk;
  *size = found;
}

}  // namespace

// Descriptor bytes of cpuid leaf 2 that announce a data or unified cache, by
// descending size.
const OwnCacheDescriptor ownCacheDescriptorTable[ownCacheDescriptorRows + 1] = {
    {0xEC, 24u << 20},  {0xEB, 18u << 20},  {0x4D, 16u << 20},  {0xEA, 12u << 20},
    {0x4C, 12u << 20},  {0xE4, 8u << 20},   {0xDE, 8u << 20},   {0x4B, 8u << 20},
    {0x47, 8u << 20},   {0x4E, 6u << 20},   {0x4A, 6u << 20},   {0xE3, 4u << 20},
    {0xDD, 4u << 20},   {0xD8, 4u << 20},   {0x49, 4u << 20},   {0x29, 4u << 20},
    {0x46, 4u << 20},   {0x48, 3u << 20},   {0xE2, 2u << 20},   {0xDC, 2u << 20},
    {0xD7, 2u << 20},   {0xD2, 2u << 20},   {0x25, 2u << 20},   {0x7D, 2u << 20},
    {0x85, 2u << 20},   {0x45, 2u << 20},   {0xD6, 1u << 20},   {0xD1, 1u << 20},
    {0x23, 1u << 20},   {0x87, 1u << 20},   {0x7C, 1u << 20},   {0x78, 1u << 20},
    {0x84, 1u << 20},   {0x44, 1u << 20},   {0xD0, 512u << 10}, {0x22, 512u << 10},
    {0x7B, 512u << 10}, {0x80, 512u << 10}, {0x86, 512u << 10}, {0x3E, 512u << 10},
    {0x7F, 512u << 10}, {0x83, 512u << 10}, {0x43, 512u << 10}, {0x3D, 384u << 10},
    {0x21, 256u << 10}, {0x7A, 256u << 10}, {0x82, 256u << 10}, {0x3C, 256u << 10},
    {0x3F, 256u << 10}, {0x42, 256u << 10}, {0x3A, 192u << 10}, {0x79, 128u << 10},
    {0x39, 128u << 10}, {0x3B, 128u << 10}, {0x41, 128u << 10}, {0, 0},
};

Prim32s ownCacheSizeFromDescriptors(const OwnCacheDescriptor* table) {
  Prim32u r[4];
  ownCpuid(r, 2, 0);
  if ((r[0] & 0xff) != 1) return -1;  // leaf 2 would have to be read more than once
  Prim8u bytes[16];
  int count = 0;
  for (int reg = 0; reg < 4; ++reg) {
    if (r[reg] >> 31) continue;  // this register carries no descriptors
    for (int b = reg == 0 ? 1 : 0; b < 4; ++b) bytes[count++] = static_cast<Prim8u>(r[reg] >> (8 * b));
  }
  // The first row that any byte matches is the largest size announced.
  for (const OwnCacheDescriptor* row = table; row->descriptor != 0; ++row)
    for (int i = 0; i < count; ++i)
      if (bytes[i] == row->descriptor) return static_cast<Prim32s>(row->size);
  return -1;
}

Prim64s ownLargeCacheSizeFromDescriptors(bool needsLeaf2) {
  if (!ownCpuidSupported()) return 0;
  Prim32u leaf0[4];
  ownCpuid(leaf0, 0, 0);
  if (!ownLeaf0NamesReferenceVendor(leaf0) || (needsLeaf2 && leaf0[0] < 2)) return 0;
  // The table runs from the largest size down, so a size of at least the last
  // large row's came from one of the large rows.
  const Prim32s size = ownCacheSizeFromDescriptors(ownCacheDescriptorTable);
  const Prim32u smallest = ownCacheDescriptorTable[ownLargeCacheDescriptorRows - 1].size;
  return size >= 0 && static_cast<Prim32u>(size) >= smallest ? size : 0;
}

void ownResetLargestCacheState() {
  largestCache.size.store(0, std::memory_order_relaxed);
  largestCache.status.store(notQueried, std::memory_order_release);
}

void* primAlignedMalloc(int size) {
  if (size < 1) return nullptr;
  // Room for the alignment and for the whole raw pointer kept just below the
  // aligned block; computed in size_t so it cannot wrap.
  const std::size_t bytes = static_cast<std::size_t>(size);
  constexpr std::size_t extra = alignment + sizeof(void*);
  if (bytes > SIZE_MAX - extra) return nullptr;
  void* raw = ownMallocHook.load(std::memory_order_relaxed)(bytes + extra);
  if (!raw) return nullptr;
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (base + extra - 1) & ~std::uintptr_t{alignment - 1};
  std::memcpy(reinterpret_cast<void*>(aligned - sizeof(void*)), &raw, sizeof(void*));
  return reinterpret_cast<void*>(aligned);
}

void primAlignedFree(void* p) {
  if (!p) return;
  void* raw;
  std::memcpy(&raw, static_cast<char*>(p) - sizeof(void*), sizeof(void*));
  ownFreeHook.load(std::memory_order_relaxed)(raw);
}

PrimResult primQueryLargestCacheSize(int* pSize) {
  if (!pSize) return primResultNullPointer;
  PrimResult status = largestCache.status.load(std::memory_order_acquire);
  if (status != notQueried) {
    *pSize = largestCache.size.load(std::memory_order_relaxed);
    return status;
  }
  Prim32s size;
  computeLargestCache(&status, &size);
  // Concurrent first queries compute the same result; each publishes the
  // size before the status.
  largestCache.size.store(size, std::memory_order_relaxed);
  largestCache.status.store(status, std::memory_order_release);
  *pSize = size;
  return status;
}

void primTestSetAllocatorHooks(void* (*mallocHook)(std::size_t), void (*freeHook)(void*)) {
  ownMallocHook.store(mallocHook ? mallocHook : std::malloc, std::memory_order_relaxed);
  ownFreeHook.store(freeHook ? freeHook : std::free, std::memory_order_relaxed);
}
