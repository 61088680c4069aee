#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/exceptions.h"
#include "framework/memory.h"
#include "framework/reference_countable.h"
#include "tests/framework/framework_test_env.h"

namespace {

constexpr std::size_t kHeader = TEmergencyMemoryPool::kHeaderSize;
constexpr std::size_t kArea = TEmergencyMemoryPool::kAreaSize;

void* RefusingHeap(std::size_t) { return nullptr; }

// Makes the heap refuse every request while it lives.
class RefusingHeapScope {
 public:
  RefusingHeapScope() : mPrevious(TMemory::SetHeapAllocator(&RefusingHeap)) {}
  ~RefusingHeapScope() { TMemory::SetHeapAllocator(mPrevious); }

 private:
  TMemory::HeapAllocateFn mPrevious;
};

std::size_t Offset(const void* p, const void* base) {
  return static_cast<std::size_t>(static_cast<const unsigned char*>(p) -
                                  static_cast<const unsigned char*>(base));
}

TEST(Memory, ZeroBytesGiveNull) {
  RefusingHeapScope refuse;
  EXPECT_EQ(TMemory::Allocate("test", 0), nullptr);
  EXPECT_FALSE(TEmergencyMemoryPool::Instance().WasUsed());
}

TEST(Memory, HeapBlocksAreAlignedAndFreed) {
  void* p = TMemory::Allocate("test", 100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
  EXPECT_FALSE(TEmergencyMemoryPool::Instance().Contains(p));
  TMemory::Free(p);
  TMemory::Free(nullptr);
}

TEST(Memory, ByteOperationsUseEveryLength) {
  std::vector<unsigned char> src(5000), dst(5000 + 32);
  for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 7 + 3);
  for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 63u, 64u, 65u, 1000u, 4999u}) {
    std::memset(dst.data(), 0xAA, dst.size());
    TMemory::Copy(dst.data() + 1, src.data(), n);
    EXPECT_EQ(std::memcmp(dst.data() + 1, src.data(), n), 0) << n;
    EXPECT_EQ(dst[0], 0xAA);
    EXPECT_EQ(dst[n + 1], 0xAA) << n;
    TMemory::Set(dst.data() + 1, 0x5C, n);
    for (std::size_t i = 1; i <= n; ++i) ASSERT_EQ(dst[i], 0x5C);
    EXPECT_EQ(dst[n + 1], 0xAA) << n;
    TMemory::Set(dst.data() + 1, 0, n);
    for (std::size_t i = 1; i <= n; ++i) ASSERT_EQ(dst[i], 0);
    TMemory::Set(dst.data() + 1, 0x11, n);
    TMemory::Zero(dst.data() + 1, n);
    for (std::size_t i = 1; i <= n; ++i) ASSERT_EQ(dst[i], 0);
    EXPECT_EQ(dst[n + 1], 0xAA) << n;
  }
  // Overlapping move in both directions.
  char text[] = "0123456789";
  TMemory::Move(text + 2, text, 5);
  EXPECT_STREQ(text, "0101234789");
  TMemory::Move(text, text + 3, 4);
  EXPECT_STREQ(text, "1234234789");
  EXPECT_GE(TMemory::PageSize(), 4096u);
  EXPECT_EQ(TMemory::PageSize() & (TMemory::PageSize() - 1), 0u);
}

// The pool's own layout, on a pool of its own.
class PoolTest : public ::testing::Test {
 protected:
  std::unique_ptr<TEmergencyMemoryPool> mPool = std::make_unique<TEmergencyMemoryPool>();
};

TEST_F(PoolTest, FirstBlockAndAlignment) {
  EXPECT_TRUE(mPool->HoldsReserve());
  void* a = mPool->Allocate(1);
  void* b = mPool->Allocate(33);
  void* c = mPool->Allocate(16);
  ASSERT_TRUE(a && b && c);
  EXPECT_TRUE(mPool->WasUsed());
  EXPECT_FALSE(mPool->HoldsReserve());  // given back at the first request
  for (void* p : {a, b, c}) EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(Offset(b, a), kHeader + 16);
  EXPECT_EQ(Offset(c, b), kHeader + 48);
  // Fresh pool memory carries the fill byte.
  EXPECT_EQ(static_cast<unsigned char*>(c)[15], TEmergencyMemoryPool::kFillByte);
  EXPECT_EQ(mPool->Allocate(0), nullptr);
}

TEST_F(PoolTest, ExactFitRules) {
  // Carve the area so that one free block of exactly 64 data bytes remains
  // between used blocks.
  void* first = mPool->Allocate(64);
  void* guard = mPool->Allocate(16);
  ASSERT_TRUE(first && guard);
  mPool->Free(first);
  // A free block of exactly the requested size is passed over...
  void* exact = mPool->Allocate(64);
  EXPECT_GT(exact, guard);
  // ...while one of size + one header is handed out whole.
  void* whole = mPool->Allocate(64 - kHeader);
  EXPECT_EQ(whole, first);
  // Nothing is left there: the next small block comes after the others.
  void* next = mPool->Allocate(1);
  EXPECT_GT(next, exact);
}

TEST_F(PoolTest, FreedNeighboursMergeAtTheNextScan) {
  void* a = mPool->Allocate(100);
  void* b = mPool->Allocate(100);
  void* guard = mPool->Allocate(1);
  ASSERT_TRUE(a && b && guard);
  mPool->Free(a);
  mPool->Free(b);
  // Neither block alone (112 data bytes) can hold 200; merged they can.
  void* merged = mPool->Allocate(200);
  EXPECT_EQ(merged, a);
  mPool->Free(merged);
  mPool->Free(merged);  // freeing twice leaves it free
  EXPECT_EQ(mPool->Allocate(200), a);
}

TEST_F(PoolTest, ExhaustionGivesNull) {
  std::vector<void*> blocks;
  for (;;) {
    void* p = mPool->Allocate(65536 - kHeader);
    if (!p) break;
    blocks.push_back(p);
  }
  // The last free block is too small by one header: 63 blocks fit, and the
  // rest of the area cannot hold another.
  EXPECT_EQ(blocks.size(), kArea / 65536 - 1);
  EXPECT_EQ(mPool->Allocate(kArea), nullptr);
  void* tail = mPool->Allocate(65536 - 3 * kHeader);
  EXPECT_NE(tail, nullptr);
  EXPECT_EQ(mPool->Allocate(1), nullptr);
  for (void* p : blocks) mPool->Free(p);
  mPool->Free(tail);
  EXPECT_NE(mPool->Allocate(kArea - 2 * kHeader), nullptr);
}

// The process's pool behind TMemory, reached through a refusing heap.
class MemoryFallbackTest : public FrameworkTest {
 protected:
  static std::vector<TCommand*> sPosted;
  static void Post(std::int32_t target, TCommand* command) {
    EXPECT_EQ(target, 3);
    sPosted.push_back(command);
  }
  void SetUp() override {
    sPosted.clear();
    TEmergencyMemoryPool::Instance().ResetForTesting();
    FrameworkHooks().communicatorExists = [] { return true; };
    FrameworkHooks().postCommand = &Post;
  }
  void TearDown() override {
    for (TCommand* c : sPosted) delete c;
    sPosted.clear();
    TEmergencyMemoryPool::Instance().ResetForTesting();
  }
};
std::vector<TCommand*> MemoryFallbackTest::sPosted;

TEST_F(MemoryFallbackTest, SmallBlocksFallBackToThePoolWithOneWarning) {
  TEmergencyMemoryPool& pool = TEmergencyMemoryPool::Instance();
  EXPECT_TRUE(pool.HoldsReserve());
  void* heap = TMemory::Allocate("test", 64);  // the heap still serves
  EXPECT_FALSE(pool.WasUsed());
  RefusingHeapScope refuse;
  void* a = TMemory::Allocate("test", 1048575);  // just under 1 MB: the pool
  void* b = TMemory::Allocate("test", 24);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(pool.Contains(a));
  EXPECT_TRUE(pool.Contains(b));
  EXPECT_FALSE(pool.HoldsReserve());
  ASSERT_EQ(sPosted.size(), 1u);  // one warning only
  EXPECT_NE(dynamic_cast<TMemoryLowMemoryWarningCommand*>(sPosted[0]), nullptr);
  TMemory::Free(a);
  TMemory::Free(b);
  TMemory::Free(heap);
  void* again = TMemory::Allocate("test", 1048575);
  EXPECT_EQ(again, a);  // freed and merged back
  TMemory::Free(again);
  EXPECT_EQ(sPosted.size(), 1u);
}

TEST_F(MemoryFallbackTest, OneMegabyteOrMoreThrowsAtOnce) {
  RefusingHeapScope refuse;
  EXPECT_THROW(TMemory::Allocate("test", 1048576), TOutOfMemoryException);
  EXPECT_FALSE(TEmergencyMemoryPool::Instance().WasUsed());
  EXPECT_TRUE(sPosted.empty());
}

TEST_F(MemoryFallbackTest, ExhaustedPoolThrowsWithTheOutOfMemoryText) {
  RefusingHeapScope refuse;
  std::vector<void*> blocks;
  try {
    for (int i = 0; i < 100; ++i) blocks.push_back(TMemory::Allocate("test", 1000000));
    FAIL() << "the pool never ran out";
  } catch (const TOutOfMemoryException& e) {
    EXPECT_TRUE(e.Message().Equals(OutOfMemoryText()));
    EXPECT_FALSE(e.Message().IsEmpty());
  }
  EXPECT_EQ(blocks.size(), 4u);
  for (void* p : blocks) TMemory::Free(p);
}

TEST_F(MemoryFallbackTest, WarningIsSkippedWithoutCommandMemory) {
  FrameworkHooks().allocateCommandMemory = [](std::size_t) -> void* { return nullptr; };
  RefusingHeapScope refuse;
  void* p = TMemory::Allocate("test", 10);
  EXPECT_TRUE(TEmergencyMemoryPool::Instance().Contains(p));
  EXPECT_TRUE(sPosted.empty());
  EXPECT_FALSE(TEmergencyMemoryPool::Instance().HoldsReserve());
  TMemory::Free(p);
}

TEST_F(MemoryFallbackTest, WarningIsSkippedWithoutCommunicator) {
  FrameworkHooks().communicatorExists = [] { return false; };
  RefusingHeapScope refuse;
  void* p = TMemory::Allocate("test", 10);
  EXPECT_TRUE(sPosted.empty());
  EXPECT_FALSE(TEmergencyMemoryPool::Instance().HoldsReserve());
  TMemory::Free(p);
}

TEST_F(MemoryFallbackTest, WarningCommandReportsTheExpandedText) {
  static std::u16string reported;
  static std::int32_t severity = -1;
  FrameworkHooks().reportMessage = [](const TString& message, std::int32_t level) {
    reported = message.Text();
    severity = level;
  };
  {
    RefusingHeapScope refuse;
    TMemory::Free(TMemory::Allocate("test", 10));
  }
  ASSERT_EQ(sPosted.size(), 1u);
  sPosted[0]->Execute();
  EXPECT_EQ(severity, 1);
  EXPECT_EQ(reported,
            u"Memory is getting low! Please free up some memory, save the current document under a "
            u"new name and !restart! Tarvo.\n\nThis message is only shown once...");
  EXPECT_FALSE(sPosted[0]->IsDeletedOnMainThread());
}

TEST_F(MemoryFallbackTest, FreeAfterMainHasEndedKeepsTheBlock) {
  RefusingHeapScope refuse;
  std::vector<void*> blocks;
  for (int i = 0; i < 4; ++i) blocks.push_back(TMemory::Allocate("test", 1000000));
  EXPECT_THROW(TMemory::Allocate("test", 1000000), TOutOfMemoryException);
  FrameworkHooks().isMainRunning = [] { return false; };
  TMemory::Free(blocks[2]);  // main has ended: nothing happens
  FrameworkHooks().isMainRunning = [] { return true; };
  EXPECT_THROW(TMemory::Allocate("test", 1000000), TOutOfMemoryException);
  TMemory::Free(blocks[2]);
  // The freed block serves a request one header smaller (a block of
  // exactly the requested size is passed over).
  EXPECT_THROW(TMemory::Allocate("test", 1000000), TOutOfMemoryException);
  EXPECT_EQ(TMemory::Allocate("test", 1000000 - kHeader), blocks[2]);
  for (void* p : blocks) TMemory::Free(p);
}

}  // namespace

namespace {

// Fills the process's pool with blocks of `size` until it refuses.
std::vector<void*> FillPool(std::size_t size) {
  std::vector<void*> blocks;
  for (;;) {
    try {
      blocks.push_back(TMemory::Allocate("test", size));
    } catch (const TOutOfMemoryException&) {
      return blocks;
    }
  }
}

TEST_F(MemoryFallbackTest, StringsThrowWithoutStorageAndStayIntact) {
  std::u16string longText(600, u'x');
  TString text(u"abc");
  TString shared(longText.c_str());
  TString copy(shared);
  RefusingHeapScope refuse;
  std::vector<void*> big = FillPool(100000);
  std::vector<void*> small = FillPool(1000);
  ASSERT_GE(small.size(), 3u);
  // One free block of 1,008 data bytes between used ones: room for a
  // buffer object but not for 600 characters.
  TMemory::Free(small[1]);
  EXPECT_THROW(TString(longText.c_str()), TOutOfMemoryException);
  EXPECT_THROW(text.AppendText(longText.c_str()), TOutOfMemoryException);
  EXPECT_THROW(copy.SetCharAt(0, u'X'), TOutOfMemoryException);  // copy on write
  EXPECT_TRUE(text.EqualsText(u"abc"));
  EXPECT_TRUE(copy.SharesBufferWith(shared));
  EXPECT_EQ(copy.CharAt(0), u'x');
  // The failed buffer objects went back: the hole serves its full size.
  EXPECT_EQ(TMemory::Allocate("test", 1000 - kHeader), small[1]);
  for (void* p : big) TMemory::Free(p);
  for (void* p : small) TMemory::Free(p);
}

}  // namespace
