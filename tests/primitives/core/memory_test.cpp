// Aligned allocation and the largest-cache query.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "primitives/core/cpu_internal.h"
#include "primitives/core/memory.h"
#include "primitives/core/test_hooks.h"
#include "tests/primitives/core/recorded_cpu.h"

namespace {

// ---------------------------------------------------------------------------
// Aligned allocation.

struct HeapLog {
  std::vector<std::size_t> requests;
  std::vector<void*> returned, freed;
  bool fail = false;
};
HeapLog heapLog;

void* loggingMalloc(std::size_t n) {
  heapLog.requests.push_back(n);
  void* p = heapLog.fail ? nullptr : std::malloc(n);
  heapLog.returned.push_back(p);
  return p;
}
void loggingFree(void* p) {
  heapLog.freed.push_back(p);
  std::free(p);
}

class AlignedMallocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    heapLog = HeapLog{};
    primTestSetAllocatorHooks(loggingMalloc, loggingFree);
  }
  void TearDown() override { primTestSetAllocatorHooks(nullptr, nullptr); }
};

TEST_F(AlignedMallocTest, BlocksAreAlignedAndKeepTheRawPointerBelow) {
  for (int size : {1, 7, 63, 64, 65, 1000, 4096, 1 << 20}) {
    SCOPED_TRACE("size " + std::to_string(size));
    heapLog = HeapLog{};
    void* p = primAlignedMalloc(size);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(heapLog.returned.size(), 1u);
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    const auto raw = reinterpret_cast<std::uintptr_t>(heapLog.returned[0]);
    EXPECT_EQ(a % 64, 0u);
    // The whole pointer lies just below the block, and the block inside the
    // raw allocation.
    EXPECT_GE(a - raw, sizeof(void*));
    EXPECT_LE(a - raw, sizeof(void*) + 63);
    EXPECT_LE(a + static_cast<std::uintptr_t>(size), raw + heapLog.requests[0]);
    void* stored;
    std::memcpy(&stored, static_cast<char*>(p) - sizeof(void*), sizeof stored);
    EXPECT_EQ(stored, heapLog.returned[0]);
    std::memset(p, 0xa5, static_cast<std::size_t>(size));  // every byte is usable
    primAlignedFree(p);
    ASSERT_EQ(heapLog.freed.size(), 1u);
    EXPECT_EQ(heapLog.freed[0], heapLog.returned[0]);
  }
}

TEST_F(AlignedMallocTest, SizesBelowOneAndHeapFailureGiveNull) {
  for (int size : {0, -1, -64, INT_MIN}) EXPECT_EQ(primAlignedMalloc(size), nullptr) << size;
  EXPECT_TRUE(heapLog.requests.empty()) << "the heap must not be asked";

  heapLog.fail = true;
  EXPECT_EQ(primAlignedMalloc(100), nullptr);
  // The largest size: the request is computed without wrapping.
  EXPECT_EQ(primAlignedMalloc(INT_MAX), nullptr);
  ASSERT_EQ(heapLog.requests.size(), 2u);
  EXPECT_GE(heapLog.requests[1], static_cast<std::size_t>(INT_MAX) + 64 + sizeof(void*));

  primAlignedFree(nullptr);
  EXPECT_TRUE(heapLog.freed.empty());
}

TEST(AlignedMallocRuntimeHeapTest, AllocatesFromTheRuntimeHeap) {
  void* p = primAlignedMalloc(12345);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 64, 0u);
  std::memset(p, 1, 12345);
  primAlignedFree(p);
}

// ---------------------------------------------------------------------------
// Largest-cache query on recorded processors.

// Leaf 4 sub-leaf registers of a cache: type 1 data, 2 instruction, 3 unified.
RecordedCpu::Regs cacheLeaf(Prim32u type, Prim32u level, Prim32u ways, Prim32u line, Prim32u sets,
                            Prim32u partitions = 1) {
  return {type | (level << 5), ((ways - 1) << 22) | ((partitions - 1) << 12) | (line - 1), sets - 1, 0};
}

class LargestCacheTest : public ::testing::Test {
 protected:
  void TearDown() override {
    primTestSetCpuQuerySource(nullptr);
    primTestResetCpuState();
  }
  // A processor whose highest leaf is 2 and whose leaf 2 holds the registers.
  static void setLeaf2(RecordedCpu& cpu, RecordedCpu::Regs r) { cpu.set(2, 0, r); }
};

TEST_F(LargestCacheTest, Leaf4ListGivesTheLargestDataOrUnifiedCache) {
  RecordedCpu cpu(0xb);
  cpu.set(4, 0, cacheLeaf(1, 1, 8, 64, 64));      // 32 KiB data
  cpu.set(4, 1, cacheLeaf(2, 1, 16, 64, 65536));  // 64 MiB instruction: skipped
  cpu.set(4, 2, cacheLeaf(3, 2, 4, 64, 1024));    // 256 KiB unified
  cpu.set(4, 3, cacheLeaf(3, 3, 16, 64, 8192));   // 8 MiB unified
  cpu.set(4, 5, cacheLeaf(3, 4, 16, 64, 16384));  // after the end of the list
  cpu.install();
  int size = -1;
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultOk);
  EXPECT_EQ(size, 8388608);
  // Partitions count as well.
  cpu.set(4, 3, cacheLeaf(3, 3, 16, 64, 8192, 2));
  cpu.install();
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultOk);
  EXPECT_EQ(size, 16777216);
}

TEST_F(LargestCacheTest, Leaf4WithoutCachesIsUnknown) {
  RecordedCpu cpu(4);
  cpu.set(4, 0, cacheLeaf(2, 1, 8, 64, 64));  // only an instruction cache
  cpu.install();
  int size = -1;
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultCacheSizeUnknown);
  EXPECT_EQ(size, 0);
}

TEST_F(LargestCacheTest, Leaf2DescriptorsGiveTheLargestAnnouncedSizeInAnyOrder) {
  // 0x43 announces 512 KiB, 0x49 4 MiB, 0x30 nothing here.
  const RecordedCpu::Regs layouts[] = {
      {0x00494301, 0, 0, 0},          {0x00434901, 0, 0, 0},          {0x00000001, 0x30000043, 0, 0x49000000},
      {0x49000001, 0, 0x00430000, 0}, {0x43300001, 0x00000049, 0, 0},
  };
  for (const RecordedCpu::Regs& r : layouts) {
    RecordedCpu cpu(2);
    setLeaf2(cpu, r);
    cpu.install();
    int size = -1;
    EXPECT_EQ(primQueryLargestCacheSize(&size), primResultOk);
    EXPECT_EQ(size, 4194304);
  }
}

TEST_F(LargestCacheTest, Leaf2RegistersWithBit31SetAndOtherCountsCarryNothing) {
  RecordedCpu cpu(3);
  setLeaf2(cpu, {0x00004301, 0x80000049, 0, 0});  // 0x49 sits in a register that carries nothing
  cpu.install();
  int size = -1;
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultOk);
  EXPECT_EQ(size, 512 * 1024);

  setLeaf2(cpu, {0x00494302, 0, 0, 0});  // leaf 2 would have to be read twice
  cpu.install();
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultCacheSizeUnknown);
  EXPECT_EQ(size, 0);
}

TEST_F(LargestCacheTest, FailureIsCachedToo) {
  RecordedCpu cpu(2);
  setLeaf2(cpu, {0x00303001, 0x0000ff00, 0, 0});  // no byte matches a row
  cpu.install();
  int size = -1;
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultCacheSizeUnknown);
  EXPECT_EQ(size, 0);
  const int calls = cpu.cpuidCalls();
  size = -1;
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultCacheSizeUnknown);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(cpu.cpuidCalls(), calls);
}

TEST_F(LargestCacheTest, UnqueryableProcessors) {
  struct Case {
    const char* what;
    bool cpuid, otherVendor;
    Prim32u maxLeaf;
  };
  for (const Case c :
       {Case{"another vendor", true, true, 4}, Case{"no cpuid", false, false, 4},
        Case{"highest leaf 1", true, false, 1}, Case{"negative highest leaf", true, false, 0x80000004}}) {
    SCOPED_TRACE(c.what);
    RecordedCpu cpu(c.maxLeaf);
    if (c.otherVendor) cpu.setOtherVendor(c.maxLeaf);
    cpu.setCpuidSupported(c.cpuid);
    cpu.set(4, 0, cacheLeaf(3, 2, 4, 64, 1024));
    cpu.install();
    for (int call = 0; call < 2; ++call) {
      int size = -1;
      EXPECT_EQ(primQueryLargestCacheSize(&size), primResultCpuQueryUnsupported);
      EXPECT_EQ(size, 0);
    }
  }
}

TEST_F(LargestCacheTest, NullPointerLeavesTheStateAlone) {
  RecordedCpu cpu(4);
  cpu.set(4, 0, cacheLeaf(3, 2, 4, 64, 1024));
  cpu.install();
  EXPECT_EQ(primQueryLargestCacheSize(nullptr), primResultNullPointer);
  EXPECT_EQ(cpu.cpuidCalls(), 0);
  int size = -1;
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultOk);
  EXPECT_EQ(size, 256 * 1024);
  EXPECT_EQ(primQueryLargestCacheSize(nullptr), primResultNullPointer);
  EXPECT_EQ(primQueryLargestCacheSize(&size), primResultOk);
  EXPECT_EQ(size, 256 * 1024);
}

TEST_F(LargestCacheTest, EveryDescriptorRowIsFoundAlone) {
  int rows = 0;
  while (ownCacheDescriptorTable[rows].descriptor != 0) ++rows;
  ASSERT_EQ(rows, ownCacheDescriptorRows);
  for (int i = 0; i < rows; ++i) {
    const Prim32u descriptor = ownCacheDescriptorTable[i].descriptor;
    const Prim32u expected = ownCacheDescriptorTable[i].size;
    SCOPED_TRACE("descriptor " + std::to_string(descriptor));
    RecordedCpu cpu(2);
    setLeaf2(cpu, {0x01, 0, descriptor << 8, 0});
    cpu.install();
    int size = -1;
    EXPECT_EQ(primQueryLargestCacheSize(&size), primResultOk);
    EXPECT_EQ(size, static_cast<int>(expected));
    if (i > 0) {
      EXPECT_LE(expected, ownCacheDescriptorTable[i - 1].size) << "largest first";
    }
  }
}

TEST_F(LargestCacheTest, TheLargeRowsAreTheRowsOf512KiBAndMore) {
  // The kernels' lookup keeps a size only when it came from one of these rows.
  for (int i = 0; i < ownLargeCacheDescriptorRows; ++i)
    EXPECT_GE(ownCacheDescriptorTable[i].size, 512u * 1024) << i;
  EXPECT_EQ(ownCacheDescriptorTable[ownLargeCacheDescriptorRows - 1].size, 512u * 1024);
  EXPECT_EQ(ownCacheDescriptorTable[ownLargeCacheDescriptorRows].size, 384u * 1024);
}

TEST_F(LargestCacheTest, KernelLookupReadsLeaf2EveryTime) {
  RecordedCpu cpu(0xb);
  setLeaf2(cpu, {0x00004901, 0, 0, 0});
  cpu.install();
  EXPECT_EQ(ownKernelCacheSizeFromDescriptors(), 4 << 20);
  setLeaf2(cpu, {0x00004201, 0, 0, 0});  // 256 KiB: below the packed rows
  EXPECT_EQ(ownKernelCacheSizeFromDescriptors(), 0);
  setLeaf2(cpu, {0x0000EB01, 0, 0, 0});
  EXPECT_EQ(ownKernelCacheSizeFromDescriptors(), 18 << 20);
  setLeaf2(cpu, {0x0000EB02, 0, 0, 0});
  EXPECT_EQ(ownKernelCacheSizeFromDescriptors(), 0);
  cpu.setOtherVendor(0xb);
  setLeaf2(cpu, {0x0000EB01, 0, 0, 0});
  EXPECT_EQ(ownKernelCacheSizeFromDescriptors(), 0);
}

TEST(LargestCacheThisMachineTest, ReportsASizeOrUnknown) {
  primTestResetCpuState();
  int size = -1;
  const PrimResult status = primQueryLargestCacheSize(&size);
  if (status == primResultOk)
    EXPECT_GE(size, 64 * 1024);
  else
    EXPECT_EQ(size, 0);
  primTestResetCpuState();
}

}  // namespace
