// The framework's allocator: every framework object, string buffer, array and
// command block comes from TMemory::Allocate and goes back through
// TMemory::Free.  When the runtime heap refuses a block under 1 MB, a 4 MB
// emergency pool serves it; the first such fall-back gives a 4 MB reserve
// back to the heap and posts a one-time low-memory warning to the main
// thread.  When nothing can serve a request, TOutOfMemoryException.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/sync.h"

class TMemory {
 public:
  // Requests of this size or more never go to the emergency pool.
  static constexpr std::size_t kPoolLimit = 0x100000;

  // A block of at least `size` bytes, 16-byte aligned; null for size 0.
  // `tag` names the allocating type (accepted, not recorded).  Throws
  // TOutOfMemoryException when neither the heap nor the pool can serve.
  static void* Allocate(const char* tag, std::size_t size);
  // Returns a block from either source.  Null is ignored, and nothing is
  // done once main has ended (blocks still held then are never freed).
  static void Free(void* block);
  // The operator delete of framework objects.
  static void Delete(void* block) { Free(block); }

  // Byte copy (no overlap), overlapping move, fill and clear.
  static void Copy(void* dst, const void* src, std::size_t count);
  static void Move(void* dst, const void* src, std::size_t count);
  static void Set(void* dst, std::uint8_t value, std::size_t count);
  static void Zero(void* dst, std::size_t count);

  // The system page size, read once.
  static std::size_t PageSize();

  // The function that asks the runtime heap for memory (malloc by default).
  // Tests replace it to make the heap refuse; returns the previous one.
  using HeapAllocateFn = void* (*)(std::size_t size);
  static HeapAllocateFn SetHeapAllocator(HeapAllocateFn fn);
  static void* HeapAllocate(std::size_t size);

  // Throws TOutOfMemoryException (for callers that cannot include it).
  [[noreturn]] static void ThrowOutOfMemory();
};

// 4 MB of memory that serves small blocks once the heap refuses them.  The
// area is a chain of blocks, each a 16-byte header (a signed 32-bit size word
// and padding, so that every block's data is 16-byte aligned) followed by its
// data: a positive word is a free block of that many data bytes, a negative
// word a used block of minus that many.  Sizes are rounded up to 16.  Freed
// neighbours are merged lazily by the next allocation scan.
class TEmergencyMemoryPool {
 public:
  static constexpr std::size_t kAreaSize = 0x400000;
  static constexpr std::size_t kReserveSize = 0x400000;
  static constexpr std::size_t kHeaderSize = 16;
  static constexpr std::uint8_t kFillByte = 0xFC;

  TEmergencyMemoryPool();
  ~TEmergencyMemoryPool();
  TEmergencyMemoryPool(const TEmergencyMemoryPool&) = delete;
  TEmergencyMemoryPool& operator=(const TEmergencyMemoryPool&) = delete;

  // The process's pool, built before main runs.
  static TEmergencyMemoryPool& Instance();

  // A block inside the pool or null.  The first call also gives the reserve
  // back to the heap and posts the low-memory warning (once per pool).
  void* Allocate(std::size_t size);
  // Marks a used block free.
  void Free(void* block);
  bool Contains(const void* block) const;

  // Whether the pool has been asked for memory; whether the reserve is held.
  bool WasUsed() const { return mUsed; }
  bool HoldsReserve() const { return mReserve != nullptr; }

  // Test control: makes the pool as new (area refilled, reserve taken again,
  // flag cleared).  Only while no pool block is in use.
  void ResetForTesting();

 private:
  void InitialiseArea();
  std::int32_t& HeaderAt(std::size_t pos) { return *reinterpret_cast<std::int32_t*>(mArea + pos); }
  void OnFirstUse();

  alignas(16) unsigned char mArea[kAreaSize];
  TCriticalSection mSection;
  void* mReserve = nullptr;
  bool mUsed = false;
};
