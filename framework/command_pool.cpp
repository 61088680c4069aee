#include "framework/command_pool.h"

#include <cstdlib>
#include <cstring>

#include "framework/exceptions.h"
#include "framework/framework_hooks.h"
#include "framework/memory.h"
#include "framework/system_info.h"
#include "framework/thread_manager.h"

namespace {

constexpr const char* kPoolTag = "#CommandPoolAllocator";
constexpr std::uint64_t kChangeStep = std::uint64_t{1} << 32;

std::size_t BlockSizeFor(std::size_t pageSize) {
  if (pageSize == 0) pageSize = TMemory::PageSize();
  std::size_t size = 4096;
  while (size < pageSize && size < (std::size_t{1} << 30)) size <<= 1;
  return size;
}

std::size_t RoundUp8(std::size_t size) { return (size + 7) & ~std::size_t{7}; }

// The two words in front of a payload: the chunk's distance from its block
// start, and the signed size.  Both are read and written atomically: a
// chunk of an unlocked allocator may be freed by another thread while the
// owner scans the block.
std::uint32_t LoadWord(const unsigned char* at) {
  return std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(const_cast<unsigned char*>(at)))
      .load(std::memory_order_acquire);
}
void StoreWord(unsigned char* at, std::uint32_t value) {
  std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(at))
      .store(value, std::memory_order_release);
}

}  // namespace

void TCommandPoolAllocator::TMemoryBlock::MakeHintStale() noexcept {
  std::uint64_t state = mHintState.load(std::memory_order_relaxed);
  std::uint64_t stale;
  do {
    stale = ((state & ~std::uint64_t{0xFFFFFFFFu}) + kChangeStep) | kStaleHint;
  } while (!mHintState.compare_exchange_weak(state, stale, std::memory_order_acq_rel));
}

// --- TCommandPoolAllocator --------------------------------------------------------
//
// Block layout, from its page-aligned start:
//   [0, 8)    the owning TMemoryBlock
//   [8, 16)   zero
//   [16, ...) the chunk chain: per chunk {distance from the block start,
//             signed payload size}, then the payload.

namespace {

struct ChunkChain {
  unsigned char* block;  // page-aligned start
  std::size_t blockSize;

  std::size_t Capacity() const { return blockSize - TCommandPoolAllocator::kBlockHeaderSize; }
  unsigned char* Header(std::size_t o) const { return block + TCommandPoolAllocator::kBlockHeaderSize + o; }
  std::int32_t Size(std::size_t o) const { return static_cast<std::int32_t>(LoadWord(Header(o) + 4)); }
  void SetSize(std::size_t o, std::int32_t size) const {
    StoreWord(Header(o) + 4, static_cast<std::uint32_t>(size));
  }
  void Write(std::size_t o, std::int32_t size) const {
    StoreWord(Header(o), static_cast<std::uint32_t>(TCommandPoolAllocator::kBlockHeaderSize + o));
    SetSize(o, size);
  }
  // A size word that can stand at offset o: not 0, and its chunk inside the
  // chain.
  bool Valid(std::size_t o, std::int32_t s) const {
    if (s == 0 || s == INT32_MIN) return false;
    const std::size_t length = static_cast<std::size_t>(s < 0 ? -s : s);
    return length <= Capacity() - 8 && o + 8 + length <= Capacity();
  }
};

}  // namespace

TCommandPoolAllocator::TCommandPoolAllocator(std::size_t pageSize) : mBlockSize(BlockSizeFor(pageSize)) {
  const std::size_t count = kPreallocatedBytes / mBlockSize > 0 ? kPreallocatedBytes / mBlockSize : 1;
  try {
    mBlocks.SetCapacity(static_cast<std::int32_t>(count));
    // One framework allocation holds every pre-allocated block, with room
    // to align the first to the block size.
    void* area = TMemory::Allocate(kPoolTag, (count + 1) * mBlockSize);
    const auto raw = reinterpret_cast<std::uintptr_t>(area);
    auto* first = reinterpret_cast<unsigned char*>((raw + mBlockSize - 1) & ~(mBlockSize - 1));
    for (std::size_t i = 0; i < count; ++i) {
      unsigned char* memory = first + i * mBlockSize;
      TMemoryBlock* block;
      try {
        block = new TMemoryBlock(memory, i == 0 ? area : nullptr);
      } catch (...) {
        if (i == 0) TMemory::Free(area);
        throw;
      }
      mBlocks.Append(TPtr<TMemoryBlock>(block));
      std::memcpy(memory, &block, sizeof block);
      std::memset(memory + sizeof block, 0, kBlockHeaderSize - sizeof block);
      ChunkChain{memory, mBlockSize}.Write(0, static_cast<std::int32_t>(MaxChunkSize()));
    }
  } catch (...) {
    for (std::int32_t i = 0; i < mBlocks.Count(); ++i) TMemory::Free(mBlocks[i]->mAllocation);
    throw TReadableException(TString(u"Fatal Error. Failed to preallocate basic command queue memory!"));
  }
}

TCommandPoolAllocator::~TCommandPoolAllocator() {
  for (std::int32_t i = 0; i < mBlocks.Count(); ++i) {
    if (mBlocks[i]) TMemory::Free(mBlocks[i]->mAllocation);
  }
}

std::int32_t TCommandPoolAllocator::BlockCount() {
  TCriticalSectionLock hold(&mSection);
  return mBlocks.Count();
}

TCommandPoolAllocator::TMemoryBlock* TCommandPoolAllocator::Block(std::int32_t i) {
  TCriticalSectionLock hold(&mSection);
  return i >= 0 && i < mBlocks.Count() ? mBlocks[i].Get() : nullptr;
}

std::int32_t TCommandPoolAllocator::ChunkSizeWord(const void* payload) {
  return static_cast<std::int32_t>(LoadWord(static_cast<const unsigned char*>(payload) - 4));
}

TCommandPoolAllocator::TMemoryBlock* TCommandPoolAllocator::OwnerOf(const void* payload) {
  const unsigned char* header = static_cast<const unsigned char*>(payload) - kChunkHeaderSize;
  const unsigned char* start = header - LoadWord(header);
  TMemoryBlock* owner;
  std::memcpy(&owner, start, sizeof owner);
  return owner;
}

void* TCommandPoolAllocator::ScanBlock(TMemoryBlock* block, std::int32_t size) {
  const std::uint64_t startState = block->mHintState.load(std::memory_order_acquire);
  const auto startHint = static_cast<std::uint32_t>(startState);
  const auto need = static_cast<std::uint32_t>(size) + 8;
  if (startHint != kStaleHint && startHint < need) return nullptr;

  const ChunkChain chain{block->mMemory, mBlockSize};
  const std::size_t capacity = chain.Capacity();
  std::uint32_t largest = 0;
  std::size_t o = 0;
  while (o + 8 <= capacity) {
    std::int32_t s = chain.Size(o);
    if (!chain.Valid(o, s)) break;
    if (s < 0) {
      o += 8 + static_cast<std::size_t>(-s);
      continue;
    }
    if (static_cast<std::uint32_t>(s) > largest) largest = static_cast<std::uint32_t>(s);
    // Absorb the free chunks that follow.
    bool absorbed = false;
    bool endOfBlock = false;
    for (;;) {
      const std::size_t next = o + 8 + static_cast<std::size_t>(s);
      if (next + 8 > capacity) break;
      const std::int32_t ns = chain.Size(next);
      if (!chain.Valid(next, ns)) {
        // A damaged successor: the block is not used further by this scan
        // unless this chunk has grown already.
        if (!absorbed) endOfBlock = true;
        break;
      }
      if (ns < 0) break;
      s += ns + 8;
      chain.SetSize(o, s);
      absorbed = true;
      if (static_cast<std::uint32_t>(s) > largest) largest = static_cast<std::uint32_t>(s);
    }
    if (endOfBlock) break;
    if (static_cast<std::uint32_t>(s) >= need) {
      // Take it: split off the rest, or hand out the whole chunk when the
      // rest would be only a header.
      if (static_cast<std::uint32_t>(s) > need) {
        chain.Write(o + 8 + static_cast<std::size_t>(size), s - size - 8);
        chain.SetSize(o, -size);
      } else {
        chain.SetSize(o, -(size + 8));
      }
      block->MakeHintStale();
      return chain.Header(o) + 8;
    }
    o += 8 + static_cast<std::size_t>(s);
  }
  // Nothing taken: remember the largest free chunk unless the block changed
  // meanwhile.
  std::uint64_t expected = startState;
  block->mHintState.compare_exchange_strong(expected, (startState & ~std::uint64_t{0xFFFFFFFFu}) | largest,
                                            std::memory_order_acq_rel);
  return nullptr;
}

void* TCommandPoolAllocator::FirstChunkOfNewBlock(std::int32_t size) {
  void* area = nullptr;
  try {
    area = TMemory::Allocate(kPoolTag, 2 * mBlockSize);
  } catch (...) {
    return nullptr;
  }
  const auto raw = reinterpret_cast<std::uintptr_t>(area);
  auto* memory = reinterpret_cast<unsigned char*>((raw + mBlockSize - 1) & ~(mBlockSize - 1));
  TMemoryBlock* block = nullptr;
  try {
    block = new TMemoryBlock(memory, area);
    TCriticalSectionLock hold(&mSection);
    mBlocks.Append(TPtr<TMemoryBlock>(block));
  } catch (...) {
    // The block was never listed (a failed append released it already).
    TMemory::Free(area);
    return nullptr;
  }
  std::memcpy(memory, &block, sizeof block);
  std::memset(memory + sizeof block, 0, kBlockHeaderSize - sizeof block);
  const ChunkChain chain{memory, mBlockSize};
  const auto capacity = static_cast<std::int32_t>(chain.Capacity());
  if (size + 16 < capacity) {
    chain.Write(0, -size);
    chain.Write(8 + static_cast<std::size_t>(size), capacity - size - 16);
  } else {
    chain.Write(0, -(capacity - 8));
  }
  return chain.Header(0) + 8;
}

void* TCommandPoolAllocator::Allocate(std::size_t size) {
  if (size == 0 || size > MaxChunkSize()) return nullptr;
  const auto rounded = static_cast<std::int32_t>(RoundUp8(size));
  const std::int32_t count = mBlocks.Count();
  for (std::int32_t i = 0; i < count; ++i) {
    if (void* payload = ScanBlock(mBlocks[i].Get(), rounded)) return payload;
  }
  return FirstChunkOfNewBlock(rounded);
}

void FreeCommandChunk(void* payload) {
  if (!payload) return;
  // The owner is read while the chunk is still in use: once its size word
  // says free, the block's own allocator may merge it and hand it out again.
  TCommandPoolAllocator::TMemoryBlock* owner = TCommandPoolAllocator::OwnerOf(payload);
  auto* sizeWord = static_cast<unsigned char*>(payload) - 4;
  const auto size = static_cast<std::int32_t>(LoadWord(sizeWord));
  if (size < 0) StoreWord(sizeWord, static_cast<std::uint32_t>(-size));
  // Stale after the store: a scan that began before cannot keep a hint
  // that misses this chunk.
  owner->MakeHintStale();
}

// --- TCommandPoolGlobals ------------------------------------------------------------

namespace {

void* HookAllocateCommandMemory(std::size_t size) { return AllocateCommandMemory(size); }
void HookFreeCommandMemory(void* block) { FreeCommandMemory(block); }

}  // namespace

TCommandPoolGlobals::TCommandPoolGlobals(std::size_t pageSize) {
  mThreadTwo = TPtr<TCommandPoolAllocator>(new TCommandPoolAllocator(pageSize));
  const std::int32_t processors = GetNumberOfProcessors();
  if (processors > 1) {
    mWorkers.SetCapacity(processors);
    for (std::int32_t i = 0; i < processors; ++i) {
      mWorkers.Append(TPtr<TCommandPoolAllocator>(new TCommandPoolAllocator(pageSize)));
    }
  }
  mShared = TPtr<TCommandPoolAllocator>(new TCommandPoolAllocator(pageSize));
  TFrameworkHooks& hooks = FrameworkHooks();
  hooks.allocateCommandMemory = &HookAllocateCommandMemory;
  hooks.freeCommandMemory = &HookFreeCommandMemory;
}

TCommandPoolGlobals::~TCommandPoolGlobals() {
  TFrameworkHooks& hooks = FrameworkHooks();
  if (hooks.allocateCommandMemory == &HookAllocateCommandMemory) hooks.allocateCommandMemory = nullptr;
  if (hooks.freeCommandMemory == &HookFreeCommandMemory) hooks.freeCommandMemory = nullptr;
}

void* AllocateCommandMemory(std::size_t size) {
  TCommandPoolGlobals* pool = TCommandPoolGlobals::Instance();
  if (!pool) return nullptr;
  if (TThreadManager* manager = TThreadManager::Instance()) {
    if (manager->IsLogicalThread(2)) return pool->ThreadTwoAllocator()->Allocate(size);
    if (manager->IsWorkerOf(2)) {
      if (TCommandPoolAllocator* worker = pool->WorkerAllocator(manager->GetWorkerIndex())) {
        return worker->Allocate(size);
      }
    }
  }
  TCriticalSectionLock hold(&pool->PoolSection());
  return pool->SharedAllocator()->Allocate(size);
}

void FreeCommandMemory(void* payload) {
  if (!payload) return;
  TCommandPoolGlobals* pool = TCommandPoolGlobals::Instance();
  TCriticalSectionLock hold(pool ? &pool->PoolSection() : nullptr);
  FreeCommandChunk(payload);
}

TCommandPoolGlobals* CreateCommandPool() {
  return CreateSingleton<TCommandPoolGlobals>(
      []() -> TCommandPoolGlobals* { return new TCommandPoolGlobals; });
}

void DestroyCommandPool() { DestroySingleton<TCommandPoolGlobals>(); }
