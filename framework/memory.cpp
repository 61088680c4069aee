#include "framework/memory.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "framework/exceptions.h"
#include "framework/framework_hooks.h"
#include "framework/reference_countable.h"
#include "platform/system.h"
#include "primitives/core/vec_memory.h"

namespace {

void* DefaultHeapAllocate(std::size_t size) { return std::malloc(size); }

std::atomic<TMemory::HeapAllocateFn> gHeapAllocate{&DefaultHeapAllocate};

// The byte primitives take an int length: long runs go in pieces.
constexpr std::size_t kPrimitiveChunk = static_cast<std::size_t>(INT_MAX) & ~std::size_t{63};

// Storage of the process's pool.  It is built before main (see below) and
// never destroyed, so that blocks freed by other static destructors after
// main never meet a dead pool; its reserve goes back with the process.
alignas(TEmergencyMemoryPool) unsigned char gPoolStorage[sizeof(TEmergencyMemoryPool)];

// Builds the pool during static initialisation, before main runs.
[[maybe_unused]] TEmergencyMemoryPool& gPoolAtStart = TEmergencyMemoryPool::Instance();

}  // namespace

// --- TMemory -------------------------------------------------------------

TMemory::HeapAllocateFn TMemory::SetHeapAllocator(HeapAllocateFn fn) {
  return gHeapAllocate.exchange(fn ? fn : &DefaultHeapAllocate);
}

void* TMemory::HeapAllocate(std::size_t size) { return gHeapAllocate.load()(size); }

void* TMemory::Allocate(const char* /*tag*/, std::size_t size) {
  if (size == 0) return nullptr;
  if (void* block = HeapAllocate(size)) return block;
  if (size < kPoolLimit) {
    if (void* block = TEmergencyMemoryPool::Instance().Allocate(size)) return block;
  }
  throw TOutOfMemoryException();
}

void TMemory::ThrowOutOfMemory() { throw TOutOfMemoryException(); }

void TMemory::Free(void* block) {
  if (!block || !FrameworkIsMainRunning()) return;
  TEmergencyMemoryPool& pool = TEmergencyMemoryPool::Instance();
  if (pool.Contains(block)) {
    pool.Free(block);
  } else {
    std::free(block);
  }
}

void TMemory::Copy(void* dst, const void* src, std::size_t count) {
  auto* d = static_cast<Prim8u*>(dst);
  auto* s = static_cast<const Prim8u*>(src);
  while (count > 0) {
    std::size_t n = count < kPrimitiveChunk ? count : kPrimitiveChunk;
    vecCopy_8u(s, d, static_cast<int>(n));
    d += n;
    s += n;
    count -= n;
  }
}

void TMemory::Move(void* dst, const void* src, std::size_t count) {
  if (count) std::memmove(dst, src, count);
}

void TMemory::Set(void* dst, std::uint8_t value, std::size_t count) {
  if (value == 0) {
    Zero(dst, count);
    return;
  }
  auto* d = static_cast<Prim8u*>(dst);
  while (count > 0) {
    std::size_t n = count < kPrimitiveChunk ? count : kPrimitiveChunk;
    vecSet_8u(value, d, static_cast<int>(n));
    d += n;
    count -= n;
  }
}

void TMemory::Zero(void* dst, std::size_t count) {
  auto* d = static_cast<Prim8u*>(dst);
  while (count > 0) {
    std::size_t n = count < kPrimitiveChunk ? count : kPrimitiveChunk;
    vecZero_8u(d, static_cast<int>(n));
    d += n;
    count -= n;
  }
}

std::size_t TMemory::PageSize() {
  static const std::size_t size = platformPageSize();
  return size;
}

// --- TEmergencyMemoryPool ------------------------------------------------

TEmergencyMemoryPool& TEmergencyMemoryPool::Instance() {
  static TEmergencyMemoryPool* pool = new (gPoolStorage) TEmergencyMemoryPool();
  return *pool;
}

TEmergencyMemoryPool::TEmergencyMemoryPool() {
  InitialiseArea();
  mReserve = TMemory::HeapAllocate(kReserveSize);
}

TEmergencyMemoryPool::~TEmergencyMemoryPool() {
  if (mReserve) std::free(mReserve);
  mReserve = nullptr;
}

void TEmergencyMemoryPool::InitialiseArea() {
  std::memset(mArea, kFillByte, kAreaSize);
  HeaderAt(0) = static_cast<std::int32_t>(kAreaSize - kHeaderSize);
}

void TEmergencyMemoryPool::ResetForTesting() {
  TCriticalSectionLock lock(&mSection);
  InitialiseArea();
  mUsed = false;
  if (!mReserve) mReserve = TMemory::HeapAllocate(kReserveSize);
}

bool TEmergencyMemoryPool::Contains(const void* block) const {
  auto* p = static_cast<const unsigned char*>(block);
  return p >= mArea && p < mArea + kAreaSize;
}

void TEmergencyMemoryPool::OnFirstUse() {
  mUsed = true;
  if (mReserve) {
    std::free(mReserve);
    mReserve = nullptr;
  }
  const TFrameworkHooks& hooks = FrameworkHooks();
  if (!hooks.communicatorExists || !hooks.communicatorExists() || !hooks.postCommand) return;
  // The warning is shown once; when no memory is left even for the command
  // it is skipped (a null command is never posted).
  TCommand* warning = nullptr;
  try {
    warning = new (std::nothrow) TMemoryLowMemoryWarningCommand();
  } catch (...) {
    warning = nullptr;
  }
  if (warning) hooks.postCommand(3, warning);
}

void* TEmergencyMemoryPool::Allocate(std::size_t size) {
  if (size == 0) return nullptr;
  TCriticalSectionLock lock(&mSection);
  if (!mUsed) OnFirstUse();
  if (size > kAreaSize - kHeaderSize) return nullptr;
  const std::size_t need = (size + 15) & ~std::size_t{15};

  std::size_t pos = 0;
  while (pos + kHeaderSize <= kAreaSize) {
    std::int32_t& header = HeaderAt(pos);
    if (header > 0) {
      // Merge every free block that directly follows.
      for (;;) {
        std::size_t next = pos + kHeaderSize + static_cast<std::size_t>(header);
        if (next + kHeaderSize > kAreaSize) break;
        std::int32_t following = HeaderAt(next);
        if (following <= 0) break;
        header += following + static_cast<std::int32_t>(kHeaderSize);
      }
      const std::size_t free = static_cast<std::size_t>(header);
      // A free block must hold the data and one more header; one that
      // holds exactly the data alone is passed over.
      if (free >= need + kHeaderSize) {
        if (free == need + kHeaderSize) {
          header = -static_cast<std::int32_t>(free);  // used whole
        } else {
          header = -static_cast<std::int32_t>(need);
          HeaderAt(pos + kHeaderSize + need) = static_cast<std::int32_t>(free - need - kHeaderSize);
        }
        return mArea + pos + kHeaderSize;
      }
    }
    std::int32_t magnitude = header < 0 ? -header : header;
    pos += kHeaderSize + static_cast<std::size_t>(magnitude);
  }
  return nullptr;
}

void TEmergencyMemoryPool::Free(void* block) {
  if (!Contains(block)) return;
  auto* p = static_cast<unsigned char*>(block);
  std::size_t offset = static_cast<std::size_t>(p - mArea);
  if (offset < kHeaderSize) return;
  TCriticalSectionLock lock(&mSection);
  std::int32_t& header = HeaderAt(offset - kHeaderSize);
  if (header < 0) header = -header;  // a block freed twice stays free
}
