// The command pool: memory for the small commands posted between logical
// threads, taken once at start-up so that posting a command does not depend
// on the general allocator.
//
// Each allocator owns page-sized, page-aligned blocks.  A block starts with
// a 16-byte header holding its owner (the TMemoryBlock).  The rest of the
// block is a chain of chunks, each an 8-byte header - the chunk's distance
// from the start of its page (so a chunk finds its owner at the page start)
// and a signed size word s (s > 0 free, s < 0 in use, 0 end of chain) -
// followed by its payload.  Sizes are rounded up to 8 bytes, so every payload is 8-byte
// aligned.  Allocation is first fit with lazy merging of free neighbours;
// a per-block hint of the largest free chunk lets a full block be skipped.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "framework/arrays.h"
#include "framework/reference_countable.h"
#include "framework/sync.h"
#include "framework/thread_context.h"

class TCommandPoolAllocator : public TReferenceCountable {
 public:
  // Bytes taken at construction (64 blocks of 4096 bytes).
  static constexpr std::size_t kPreallocatedBytes = 0x40000;
  // Bytes in front of the chunk chain of every block (the owner).
  static constexpr std::size_t kBlockHeaderSize = 16;
  // Bytes in front of every payload.
  static constexpr std::size_t kChunkHeaderSize = 8;
  // Hint value: the block changed since its last scan.
  static constexpr std::uint32_t kStaleHint = 0xFFFFFFFFu;

  class TMemoryBlock : public TReferenceCountable {
   public:
    TMemoryBlock(unsigned char* memory, void* allocation) noexcept
        : mMemory(memory), mAllocation(allocation) {}
    bool IsDeletedOnMainThread() const override { return false; }
    // Largest free chunk seen by the last full scan, or kStaleHint.
    std::uint32_t Hint() const {
      return static_cast<std::uint32_t>(mHintState.load(std::memory_order_acquire));
    }
    // Marks the block changed (every allocation and free in it).
    void MakeHintStale() noexcept;
    // The hint with a change count in its upper half: a scan stores its
    // result only when nothing changed in the block meanwhile.
    std::atomic<std::uint64_t> mHintState{kStaleHint};
    // The block (page-aligned, block size bytes) and the framework
    // allocation it lies in.
    unsigned char* mMemory;
    void* mAllocation;
  };

  // Pre-allocates kPreallocatedBytes / block size blocks.  The block size is
  // `pageSize` (the system's page size when 0) raised to 4096 and to a power
  // of two.  Throws TReadableException "Fatal Error. Failed to preallocate
  // basic command queue memory!" when a block cannot be had.
  explicit TCommandPoolAllocator(std::size_t pageSize = 0);
  ~TCommandPoolAllocator() override;
  TCommandPoolAllocator(const TCommandPoolAllocator&) = delete;
  TCommandPoolAllocator& operator=(const TCommandPoolAllocator&) = delete;
  bool IsDeletedOnMainThread() const override { return false; }

  // A payload of at least `size` bytes (rounded up to 8), or null for 0,
  // for more than MaxChunkSize, or when no new block can be had.  Not
  // thread-safe by itself: one thread at a time per allocator.
  void* Allocate(std::size_t size);

  std::size_t BlockSize() const { return mBlockSize; }
  // The largest payload one block can give.
  std::size_t MaxChunkSize() const { return mBlockSize - kBlockHeaderSize - kChunkHeaderSize; }
  std::int32_t BlockCount();
  // Block i (in order of creation) or null.
  TMemoryBlock* Block(std::int32_t i);

  // Diagnostics: the signed size word of a payload's chunk.
  static std::int32_t ChunkSizeWord(const void* payload);
  // The block a payload lies in.
  static TMemoryBlock* OwnerOf(const void* payload);

 private:
  TMemoryBlock* NewBlock();
  void* ScanBlock(TMemoryBlock* block, std::int32_t size);
  void* FirstChunkOfNewBlock(std::int32_t size);

  TCriticalSection mSection;
  TGrowableArray<TPtr<TMemoryBlock>> mBlocks;
  std::size_t mBlockSize;
};

// Marks the chunk of `payload` free (null ignored) and its block's hint
// stale.  Neighbours are merged by later scans.
void FreeCommandChunk(void* payload);

// The pool: one allocator for logical thread 2, one per worker of thread 2
// (one per logical processor when there is more than one), and a shared
// one for every other thread, guarded by the pool section.
class TCommandPoolGlobals : public TSingleton<TCommandPoolGlobals> {
 public:
  // Builds the allocators; installs the command-memory hooks.  `pageSize`
  // 0 means the system's.
  explicit TCommandPoolGlobals(std::size_t pageSize = 0);
  ~TCommandPoolGlobals() override;
  TCommandPoolGlobals(const TCommandPoolGlobals&) = delete;
  TCommandPoolGlobals& operator=(const TCommandPoolGlobals&) = delete;

  TCommandPoolAllocator* ThreadTwoAllocator() { return mThreadTwo.Get(); }
  std::int32_t WorkerAllocatorCount() const { return mWorkers.Count(); }
  TCommandPoolAllocator* WorkerAllocator(std::int32_t i) {
    return i >= 0 && i < mWorkers.Count() ? mWorkers[i].Get() : nullptr;
  }
  TCommandPoolAllocator* SharedAllocator() { return mShared.Get(); }
  TCriticalSection& PoolSection() { return mSection; }

 private:
  TPtr<TCommandPoolAllocator> mThreadTwo;
  TGrowableArray<TPtr<TCommandPoolAllocator>> mWorkers;
  TPtr<TCommandPoolAllocator> mShared;
  TCriticalSection mSection;
};

// Command memory by the calling thread: logical thread 2 and its workers
// use their own allocators without a lock, every other thread the shared
// one under the pool section.  Null when there is no pool or no room.
void* AllocateCommandMemory(std::size_t size);
// Gives a chunk back under the pool section (null ignored).
void FreeCommandMemory(void* payload);

// Start-up and shutdown: CreateSingleton / DestroySingleton of the pool.
TCommandPoolGlobals* CreateCommandPool();
void DestroyCommandPool();
