#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "framework/command_pool.h"
#include "framework/exceptions.h"
#include "framework/memory.h"
#include "framework/system_info.h"
#include "framework/thread_manager.h"
#include "tests/framework/framework_test_env.h"

namespace {

using Block = TCommandPoolAllocator::TMemoryBlock;

bool InBlock(const void* payload, const Block* block, std::size_t blockSize) {
  const auto* p = static_cast<const unsigned char*>(payload);
  return p >= block->mMemory && p < block->mMemory + blockSize;
}

TEST(CommandPool, BlockSizeFollowsTheInjectedPageSize) {
  struct Case {
    std::size_t page, block;
    std::int32_t blocks;
  };
  for (const Case& c : {Case{4096, 4096, 64}, Case{8192, 8192, 32}, Case{1000, 4096, 64},
                        Case{5000, 8192, 32}, Case{65536, 65536, 4}}) {
    TCommandPoolAllocator pool(c.page);
    EXPECT_EQ(pool.BlockSize(), c.block) << c.page;
    EXPECT_EQ(pool.BlockCount(), c.blocks) << c.page;
    EXPECT_EQ(pool.MaxChunkSize(), c.block - 24);
    for (std::int32_t i = 0; i < pool.BlockCount(); ++i) {
      // Page-aligned blocks, each one free chunk.
      const Block* block = pool.Block(i);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block->mMemory) % c.block, 0u);
      EXPECT_EQ(block->Hint(), TCommandPoolAllocator::kStaleHint);
    }
  }
  TCommandPoolAllocator system;
  EXPECT_GE(system.BlockSize(), 4096u);
  EXPECT_GE(system.BlockSize(), TMemory::PageSize());
}

TEST(CommandPool, BoundariesOfOneBlock) {
  TCommandPoolAllocator pool(4096);
  // 4096 - 16 (block header) - 8 (chunk header) = 4072 payload bytes at most.
  EXPECT_EQ(pool.Allocate(0), nullptr);
  EXPECT_EQ(pool.Allocate(4073), nullptr);
  EXPECT_EQ(pool.Allocate(SIZE_MAX), nullptr);
  // 4064 + 8 fills the free chunk of a fresh block exactly: taken whole.
  void* whole = pool.Allocate(4064);
  ASSERT_NE(whole, nullptr);
  EXPECT_TRUE(InBlock(whole, pool.Block(0), 4096));
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(whole), -4072);
  // 4072 never fits an existing block (the chunk would need 4080): a new
  // block is made and filled.
  void* full = pool.Allocate(4072);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(pool.BlockCount(), 65);
  EXPECT_TRUE(InBlock(full, pool.Block(64), 4096));
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(full), -4072);
  EXPECT_EQ(TCommandPoolAllocator::OwnerOf(full), pool.Block(64));
  // Block 0 has been scanned and found full.
  EXPECT_EQ(pool.Block(0)->Hint(), 0u);
  // The same with larger pages.
  TCommandPoolAllocator large(16384);
  EXPECT_EQ(large.Allocate(16361), nullptr);
  void* big = large.Allocate(16352);
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(big), -16360);
  EXPECT_EQ(large.BlockCount(), 16);
}

TEST(CommandPool, PayloadsAreEightByteAlignedAndSizesRounded) {
  TCommandPoolAllocator pool(4096);
  const std::size_t sizes[] = {1, 7, 8, 9, 24, 32, 33, 40, 100};
  const std::int32_t words[] = {-8, -8, -8, -16, -24, -32, -40, -40, -104};
  std::vector<unsigned char*> payloads;
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    auto* p = static_cast<unsigned char*>(pool.Allocate(sizes[i]));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u);
    EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(p), words[i]);
    std::memset(p, static_cast<int>(i + 1), sizes[i]);
    payloads.push_back(p);
  }
  // Neighbours follow each other and nothing overlaps.
  for (std::size_t i = 0; i + 1 < payloads.size(); ++i) {
    EXPECT_EQ(payloads[i + 1], payloads[i] + 8 - words[i]);
    EXPECT_EQ(payloads[i][0], i + 1);
  }
  // Every chunk finds its block.
  for (unsigned char* p : payloads) EXPECT_EQ(TCommandPoolAllocator::OwnerOf(p), pool.Block(0));
}

TEST(CommandPool, FreedNeighboursMergeOnTheNextScan) {
  TCommandPoolAllocator pool(4096);
  void* a = pool.Allocate(64);
  void* b = pool.Allocate(64);
  void* c = pool.Allocate(64);
  FreeCommandChunk(a);
  FreeCommandChunk(b);
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(a), 64);
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(b), 64);
  // 128 + 8 = 64 + 8 + 64: only the two merged chunks can hold it.
  void* merged = pool.Allocate(128);
  EXPECT_EQ(merged, a);
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(merged), -136);
  EXPECT_GT(static_cast<unsigned char*>(pool.Allocate(8)), static_cast<unsigned char*>(c));
}

TEST(CommandPool, AChunkOfExactlySizePlusEightIsHandedOutWhole) {
  TCommandPoolAllocator pool(4096);
  void* first = pool.Allocate(64);
  void* second = pool.Allocate(64);
  FreeCommandChunk(first);
  // A free 64-byte chunk cannot hold 64 + 8: the request goes elsewhere.
  void* other = pool.Allocate(64);
  EXPECT_NE(other, first);
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(first), 64);
  // 56 + 8 = 64: taken whole, the spare 8 bytes stay with it.
  void* exact = pool.Allocate(56);
  EXPECT_EQ(exact, first);
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(exact), -64);
  EXPECT_NE(second, nullptr);
}

TEST(CommandPool, FreeingNullDoesNothing) {
  FreeCommandChunk(nullptr);
  FreeCommandMemory(nullptr);
}

TEST(CommandPool, AFreeMakesTheBlockScannedAgainWhateverItsHint) {
  TCommandPoolAllocator pool(4096);
  void* whole = pool.Allocate(4064);
  void* elsewhere = pool.Allocate(16);
  EXPECT_TRUE(InBlock(elsewhere, pool.Block(1), 4096));
  EXPECT_EQ(pool.Block(0)->Hint(), 0u);
  // With the hint at 0, block 0 is skipped without a scan.
  EXPECT_TRUE(InBlock(pool.Allocate(16), pool.Block(1), 4096));
  FreeCommandChunk(whole);
  EXPECT_EQ(pool.Block(0)->Hint(), TCommandPoolAllocator::kStaleHint);
  EXPECT_EQ(pool.Allocate(16), whole);
}

TEST(CommandPool, ADamagedChainEndsTheScanOfItsBlock) {
  TCommandPoolAllocator pool(4096);
  auto* used = static_cast<unsigned char*>(pool.Allocate(64));
  // The free chunk behind it claims more than the block holds.
  auto* next = used + 64;
  const std::int32_t bogus = 0x7FFFFFF0;
  std::memcpy(next + 4, &bogus, 4);
  void* p = pool.Allocate(64);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(InBlock(p, pool.Block(1), 4096));
  // A zero size word ends the chain as well.
  auto* second = static_cast<unsigned char*>(p) + 64;
  std::memset(second + 4, 0, 4);
  void* q = pool.Allocate(64);
  EXPECT_TRUE(InBlock(q, pool.Block(2), 4096));
}

TEST(CommandPool, APreallocationFailureIsFatal) {
  // With 1 MB pages the pre-allocation asks for more than the emergency
  // pool serves, so a refusing heap makes it fail.
  TMemory::HeapAllocateFn previous = TMemory::SetHeapAllocator([](std::size_t) -> void* { return nullptr; });
  try {
    TCommandPoolAllocator pool(0x100000);
    ADD_FAILURE() << "no exception";
  } catch (const TReadableException& e) {
    EXPECT_TRUE(e.Message().EqualsText(u"Fatal Error. Failed to preallocate basic command queue memory!"));
  }
  TMemory::SetHeapAllocator(previous);
  // The exception's texts came from the emergency pool; they are gone now.
  if (TEmergencyMemoryPool::Instance().WasUsed()) TEmergencyMemoryPool::Instance().ResetForTesting();
}

class CommandPoolGlobals : public FrameworkTest {
 protected:
  void SetUp() override {
    DetectProcessor();
    CreateThreadManager();
  }
  void TearDown() override { DestroyThreadManager(); }
};

TEST_F(CommandPoolGlobals, AllocatorsByThread) {
  // Without the pool there is no command memory.
  EXPECT_EQ(AllocateCommandMemory(32), nullptr);
  TCommandPoolGlobals& pool = *CreateSingleton<TCommandPoolGlobals>(
      []() -> TCommandPoolGlobals* { return new TCommandPoolGlobals(8192); });
  const std::int32_t processors = GetNumberOfProcessors();
  EXPECT_EQ(pool.WorkerAllocatorCount(), processors > 1 ? processors : 0);
  EXPECT_EQ(pool.WorkerAllocator(-1), nullptr);
  EXPECT_EQ(pool.WorkerAllocator(pool.WorkerAllocatorCount()), nullptr);
  EXPECT_EQ(pool.SharedAllocator()->BlockCount(), 32);
  EXPECT_EQ(pool.ThreadTwoAllocator()->BlockSize(), 8192u);
  EXPECT_NE(AllocateCommandMemory(32), nullptr);
  DestroyCommandPool();
}

TEST_F(CommandPoolGlobals, CommandsComeFromTheSingletonsAllocators) {
  TCommandPoolGlobals* pool = CreateCommandPool();
  ASSERT_EQ(TCommandPoolGlobals::Instance(), pool);
  void* onMain = AllocateCommandMemory(32);
  EXPECT_EQ(TCommandPoolAllocator::OwnerOf(onMain), pool->SharedAllocator()->Block(0));
  struct Result {
    void* chunk = nullptr;
  } onTwo;
  TThreadManager* manager = TThreadManager::Instance();
  ASSERT_TRUE(manager->WaitForThread(manager->CreateThread(
      [](void* argument) -> std::uint32_t {
        static_cast<Result*>(argument)->chunk = AllocateCommandMemory(40);
        return 0;
      },
      &onTwo, 2, 2)));
  EXPECT_EQ(TCommandPoolAllocator::OwnerOf(onTwo.chunk), pool->ThreadTwoAllocator()->Block(0));
  FreeCommandMemory(onTwo.chunk);
  FreeCommandMemory(onMain);
  EXPECT_GT(TCommandPoolAllocator::ChunkSizeWord(onMain), 0);
  // The framework's commands use it through the hooks: the low-memory
  // warning and the delete command.
  TCommand* warning = new (std::nothrow) TMemoryLowMemoryWarningCommand;
  TCommand* deletion = new (std::nothrow) TDeleteCommand<>(nullptr);
  ASSERT_NE(warning, nullptr);
  ASSERT_NE(deletion, nullptr);
  EXPECT_EQ(TCommandPoolAllocator::OwnerOf(warning), pool->SharedAllocator()->Block(0));
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(warning), -32);
  EXPECT_EQ(TCommandPoolAllocator::ChunkSizeWord(deletion), -40);
  delete warning;
  delete deletion;
  DestroyCommandPool();
  EXPECT_EQ(TCommandPoolGlobals::Instance(), nullptr);
  EXPECT_EQ(FrameworkHooks().allocateCommandMemory, nullptr);
}

TEST_F(CommandPoolGlobals, ChunksOfAnUnlockedAllocatorFreedFromAnotherThread) {
  // Logical thread 2 allocates without a lock while the main thread frees
  // its chunks; no chunk may ever be handed out twice.
  CreateCommandPool();
  constexpr int kRounds = 20000;
  struct Shared {
    std::atomic<void*> slots[64];
    std::atomic<bool> done{false};
    std::atomic<int> overlaps{0};
  } shared;
  for (auto& slot : shared.slots) slot = nullptr;
  TThreadManager* manager = TThreadManager::Instance();
  const std::uint32_t producer = manager->CreateThread(
      [](void* argument) -> std::uint32_t {
        auto* s = static_cast<Shared*>(argument);
        for (int i = 0; i < kRounds; ++i) {
          const std::size_t size = 8 + static_cast<std::size_t>(i % 7) * 8;
          auto* p = static_cast<unsigned char*>(AllocateCommandMemory(size));
          if (!p) continue;
          // A chunk still marked by an earlier owner means a double hand-out.
          if (p[0] == 0xAB) s->overlaps.fetch_add(1);
          std::memset(p, 0xAB, size);
          void* expected = nullptr;
          auto& slot = s->slots[i % 64];
          while (!slot.compare_exchange_weak(expected, p)) expected = nullptr;
        }
        s->done = true;
        return 0;
      },
      &shared, 2, 2);
  ASSERT_NE(producer, 0u);
  auto drain = [&] {
    for (auto& slot : shared.slots) {
      if (void* p = slot.exchange(nullptr)) {
        std::memset(p, 0, static_cast<std::size_t>(-TCommandPoolAllocator::ChunkSizeWord(p)));
        FreeCommandMemory(p);
      }
    }
  };
  while (!shared.done) drain();
  ASSERT_TRUE(manager->WaitForThread(producer));
  drain();
  EXPECT_EQ(shared.overlaps, 0);
  DestroyCommandPool();
}

}  // namespace
