// Owning holders: release counts, shared and owned references, lists, planes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "decoder/codestream/coding_params.h"
#include "decoder/holders.h"
#include "primitives/core/test_hooks.h"

using namespace Codec;

namespace {

struct Counted {
  static int alive;
  Counted() { ++alive; }
  ~Counted() { --alive; }
};
int Counted::alive = 0;

}  // namespace

TEST(Holders, ArrayResetDestroysElements) {
  {
    OwnedArray<Counted> a;
    a.Reset(3);
    EXPECT_EQ(Counted::alive, 3);
    EXPECT_EQ(a.Count(), 3u);
    a.Reset(0);
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(a.Data(), nullptr);
    EXPECT_TRUE(a.Empty());
    a.Reset(2);
  }
  EXPECT_EQ(Counted::alive, 0);
  OwnedArray<std::uint32_t> plain;
  plain.Reset(4);
  for (std::uint32_t v : plain) EXPECT_EQ(v, 0u);  // plain values start zeroed
}

TEST(Holders, OversizedArrayIsAMemoryFailure) {
  OwnedArray<std::uint64_t> a;
  try {
    a.Reset(std::size_t{1} << 40);
    ADD_FAILURE() << "no exception";
  } catch (const BDiagnDescr& d) {
    EXPECT_EQ(d.Code(), 83u);
  }
  EXPECT_EQ(a.Data(), nullptr);
  EXPECT_EQ(a.Count(), 0u);
}

TEST(Holders, OwnedPointer) {
  OwnedPtr<Counted> p;
  p.Make();
  p.Make();
  EXPECT_EQ(Counted::alive, 1);
  Counted* raw = p.Release();
  EXPECT_EQ(Counted::alive, 1);
  delete raw;
  p.Reset(new Counted);
  p.Reset();
  EXPECT_EQ(Counted::alive, 0);
}

TEST(Holders, OwnedRefSharedAndOwned) {
  Counted shared;
  {
    OwnedRef<Counted> r;
    r.MakeOwn();
    EXPECT_TRUE(r.Owned());
    EXPECT_EQ(Counted::alive, 2);
    r.SetShared(&shared);  // the owned one goes, exactly once
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_FALSE(r.Owned());
    EXPECT_EQ(r.Get(), &shared);
    r.SetShared(&shared);
  }
  EXPECT_EQ(Counted::alive, 1);  // the shared object is not released
  OwnedRef<Counted> self;
  Counted& own = self.MakeOwn();
  self.SetShared(&own);  // sharing what it owns keeps it alive and owned
  EXPECT_TRUE(self.Owned());
  EXPECT_EQ(Counted::alive, 2);
}

TEST(Holders, ComponentStylesKeepTheDefault) {
  ComponentQuantStyles q;
  q.SetUp(3);
  EXPECT_EQ(&q.Get(1), &q.Default());
  QuantStyle& own = q.OwnRecord(1);
  own.style = 2;
  EXPECT_TRUE(q.HasOwn(1));
  EXPECT_EQ(q.Get(1).style, 2u);
  q.OwnRecord(1);  // replaced by a fresh record
  EXPECT_EQ(q.Get(1).style, 0u);
  EXPECT_TRUE(q.Get(1).notRead);
  q.SetUp(2);  // owned records go, the default stays
  EXPECT_FALSE(q.HasOwn(1));
  EXPECT_EQ(&q.Get(1), &q.Default());
  q.Clear();
  EXPECT_EQ(q.Count(), 0u);
}

TEST(Holders, ListPushPop) {
  OwnedList<Counted> l;
  l.PushFront();
  Counted* second = &l.PushFront();
  l.PushBack();
  EXPECT_EQ(l.Count(), 3u);
  EXPECT_EQ(l.First(), second);
  l.PopBack();
  l.PopFront();
  EXPECT_EQ(Counted::alive, 1);
  EXPECT_EQ(l.First(), l.Last());
  l.PopFront();
  l.PopFront();  // popping an empty list does nothing
  EXPECT_TRUE(l.Empty());
  l.PushBack();
  l.PushBack();
  l.Clear();
  EXPECT_EQ(Counted::alive, 0);
}

TEST(Holders, Planes) {
  SubbandPlane p;
  p.AllocPlaneOrThrow(0, 100, 4);  // empty: no memory, step 0, no exception
  EXPECT_EQ(p.data, nullptr);
  EXPECT_EQ(p.step, 0);
  EXPECT_EQ(p.height, 100u);
  p.AllocPlaneOrThrow(17, 3, 4);
  ASSERT_NE(p.data, nullptr);
  EXPECT_EQ(p.step, 128);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p.data) % 64, 0u);
  for (std::uint32_t y = 0; y < 3; ++y)
    for (std::uint32_t x = 0; x < 17; ++x)
      reinterpret_cast<std::int32_t*>(static_cast<std::uint8_t*>(p.data) + y * p.step)[x] = 1;
  try {
    p.AllocPlaneOrThrow(0x40000000u, 0x40000000u, 4);  // far beyond one block
    ADD_FAILURE() << "no exception";
  } catch (const BDiagnDescr& d) {
    EXPECT_EQ(d.Code(), 83u);
  }
  EXPECT_EQ(p.data, nullptr);
}

// A large plane freed on a thread is the block that thread's next plane of
// the same size gets; a plane of another size or on another thread is not.
TEST(Holders, LargePlanesAreKeptForTheirThread) {
  const void* first = nullptr;
  {
    SubbandPlane p;
    p.AllocPlaneOrThrow(1000, 300, 4);
    first = p.data;
  }
  SubbandPlane other;
  other.AllocPlaneOrThrow(1000, 301, 4);
  EXPECT_NE(other.data, first);
  const void* elsewhere = nullptr;
  std::thread([&] {
    SubbandPlane q;
    q.AllocPlaneOrThrow(1000, 300, 4);
    elsewhere = q.data;
  }).join();
  EXPECT_NE(elsewhere, first);
  SubbandPlane again;
  again.AllocPlaneOrThrow(1000, 300, 4);
  EXPECT_EQ(again.data, first);
  EXPECT_EQ(again.step, 4032);
}

int gFrees = 0;
void CountingFree(void* p) {
  ++gFrees;
  std::free(p);
}

// A small block given back on a thread is the one that thread's next block
// of the same size gets; blocks are 64-byte aligned, and a thread keeps only
// a bounded amount (256 KB) of them.
TEST(Holders, SmallBlocksAreKeptForTheirThreadWithinABound) {
  void* first = TakeCachedBlock(3136);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 64, 0u);
  ReturnCachedBlock(first, 3136);
  void* other = TakeCachedBlock(3200);
  EXPECT_NE(other, first);
  void* elsewhere = nullptr;
  std::thread([&] {
    elsewhere = TakeCachedBlock(3136);
    ReturnCachedBlock(elsewhere, 3136);
  }).join();
  EXPECT_NE(elsewhere, first);
  void* again = TakeCachedBlock(3136);
  EXPECT_EQ(again, first);
  ReturnCachedBlock(again, 3136);
  ReturnCachedBlock(other, 3200);
  ReturnCachedBlock(nullptr, 3136);
  EXPECT_EQ(TakeCachedBlock(0), nullptr);
  // 512 KB given back: at least half of it goes back to the allocator.
  std::vector<void*> many;
  for (int i = 0; i < 64; ++i) many.push_back(TakeCachedBlock(8192));
  gFrees = 0;
  primTestSetAllocatorHooks(nullptr, CountingFree);
  for (void* p : many) ReturnCachedBlock(p, 8192);
  primTestSetAllocatorHooks(nullptr, nullptr);
  EXPECT_GE(gFrees, 32);
}

TEST(Holders, Buffer) {
  OwnedBuffer b;
  b.Reset(10);
  ASSERT_NE(b.Data(), nullptr);
  b.Data()[9] = 1;
  EXPECT_EQ(b.Size(), 10u);
  b.Reset();
  EXPECT_EQ(b.Data(), nullptr);
}
