// The region kernels' cache lookup on recorded processors: the answers of
// the copy, zero and set kernels' lookup, save that the region lookup also
// asks for leaf 2 to be within the highest standard leaf.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "primitives/core/cpu_internal.h"
#include "primitives/core/test_hooks.h"
#include "primitives/image/image_builds.h"
#include "tests/primitives/core/recorded_cpu.h"

namespace {

constexpr Prim64s KiB = 1024, MiB = 1024 * KiB;

struct RecordedCache {
  const char* name;
  RecordedCpu::Regs leaf2;
  Prim64s kernelSize;  // what the copy, zero and set kernels see
  Prim64s regionSize;  // what the region kernels see
  Prim32u maxLeaf = 4;
  bool otherVendor = false;
  bool cpuid = true;
};

void PrintTo(const RecordedCache& c, std::ostream* os) { *os << c.name; }

// One descriptor alone in EBX of leaf 2.
RecordedCpu::Regs alone(Prim32u descriptor) { return {0x01, descriptor, 0, 0}; }

const RecordedCache recordedCaches[] = {
    // 0x43 announces 512 KiB and 0x49 4 MiB, in any order and register.
    {"LargestFirst", {0x00494301, 0, 0, 0}, 4 * MiB, 4 * MiB},
    {"SmallestFirst", {0x00434901, 0, 0, 0}, 4 * MiB, 4 * MiB},
    {"AcrossRegisters", {0x00000001, 0x30000043, 0, 0x49000000}, 4 * MiB, 4 * MiB},
    {"EaxAndEcx", {0x49000001, 0, 0x00430000, 0}, 4 * MiB, 4 * MiB},
    {"EaxAndEbx", {0x43300001, 0x00000049, 0, 0}, 4 * MiB, 4 * MiB},
    {"Bit31RegisterCarriesNothing", {0x00004301, 0x80000049, 0, 0}, 512 * KiB, 512 * KiB},
    {"LeafTwoToBeReadTwice", {0x00494302, 0, 0, 0}, 0, 0},
    {"NoByteMatches", {0x00303001, 0x0000ff00, 0, 0}, 0, 0},
    // One descriptor of each size.
    {"Size24MiB", alone(0xEC), 24 * MiB, 24 * MiB},
    {"Size18MiB", alone(0xEB), 18 * MiB, 18 * MiB},
    {"Size16MiB", alone(0x4D), 16 * MiB, 16 * MiB},
    {"Size12MiB", alone(0x4C), 12 * MiB, 12 * MiB},
    {"Size8MiB", alone(0x47), 8 * MiB, 8 * MiB},
    {"Size6MiB", alone(0x4A), 6 * MiB, 6 * MiB},
    {"Size3MiB", alone(0x48), 3 * MiB, 3 * MiB},
    {"Size2MiB", alone(0x45), 2 * MiB, 2 * MiB},
    {"Size1MiB", alone(0x44), 1 * MiB, 1 * MiB},
    {"Size384KiBIsTooSmall", alone(0x3D), 0, 0},
    {"Size256KiBIsTooSmall", alone(0x42), 0, 0},
    // Processors the lookups refuse.
    {"AnotherVendor", alone(0xEB), 0, 0, 4, true},
    {"NoCpuid", alone(0xEB), 0, 0, 4, false, false},
    {"HighestLeafOne", alone(0xEB), 18 * MiB, 0, 1},
    {"HighestLeafTwo", alone(0xEB), 18 * MiB, 18 * MiB, 2},
};

class RegionCacheTest : public ::testing::TestWithParam<RecordedCache> {};

TEST_P(RegionCacheTest, BothLookupsReadTheRecordedProcessor) {
  const RecordedCache& c = GetParam();
  RecordedCpu cpu(c.maxLeaf);
  if (c.otherVendor) cpu.setOtherVendor(c.maxLeaf);
  cpu.setCpuidSupported(c.cpuid);
  cpu.set(2, 0, c.leaf2);
  cpu.install();
  for (int call = 0; call < 2; ++call) {
    EXPECT_EQ(ownKernelCacheSizeFromDescriptors(), c.kernelSize);
    EXPECT_EQ(owniRegionCacheSize(), c.regionSize);
  }
}

INSTANTIATE_TEST_SUITE_P(RecordedProcessors, RegionCacheTest, ::testing::ValuesIn(recordedCaches),
                         [](const ::testing::TestParamInfo<RecordedCache>& info) {
                           return std::string(info.param.name);
                         });

TEST(RegionCacheRows, EveryRowAloneGivesTheSameSizeToBothLookups) {
  for (int i = 0; i < ownCacheDescriptorRows; ++i) {
    const OwnCacheDescriptor& row = ownCacheDescriptorTable[i];
    SCOPED_TRACE("descriptor " + std::to_string(row.descriptor));
    RecordedCpu cpu(2);
    cpu.set(2, 0, {0x01, 0, row.descriptor << 8, 0});
    cpu.install();
    const Prim64s expected = row.size >= 512 * KiB ? Prim64s{row.size} : 0;
    EXPECT_EQ(owniRegionCacheSize(), expected);
    EXPECT_EQ(ownKernelCacheSizeFromDescriptors(), expected);
  }
}

TEST(RegionCacheRows, ReadsLeaf2OnEveryCallAndHonoursOnlyItsOwnOverride) {
  RecordedCpu cpu(0xb);
  cpu.set(2, 0, alone(0x49));
  cpu.install();
  EXPECT_EQ(owniRegionCacheSize(), 4 * MiB);
  cpu.set(2, 0, alone(0xEB));  // no reinstall: nothing is kept between calls
  EXPECT_EQ(owniRegionCacheSize(), 18 * MiB);

  primTestSetKernelCacheSize(4096);
  EXPECT_EQ(owniRegionCacheSize(), 18 * MiB);
  primTestSetKernelCacheSize(-1);
  owniTestRegionCacheSize = 4096;
  EXPECT_EQ(owniRegionCacheSize(), 4096);
  EXPECT_EQ(ownKernelCacheSizeFromDescriptors(), 18 * MiB);
  owniTestRegionCacheSize = -1;
}

}  // namespace
