// Processor detection, generation choice and the feature query, on recorded
// processors and on this machine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "primitives/core/cpu.h"
#include "primitives/core/cpu_internal.h"
#include "primitives/core/dispatch.h"
#include "primitives/core/test_hooks.h"
#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_tables.h"
#include "tests/primitives/core/recorded_cpu.h"
#include "tests/support/generations.h"

namespace {

constexpr Prim32u bit(int b) { return Prim32u{1} << b; }
constexpr PrimCpuFeatureMask mbit(int b) { return PrimCpuFeatureMask{1} << b; }

// Leaf 1 register bits as processors report them.
constexpr Prim32u edxMmx = bit(23), edxSse = bit(25), edxSse2 = bit(26);
constexpr Prim32u ecxSse3 = bit(0), ecxPclmul = bit(1), ecxSsse3 = bit(9), ecxFma = bit(12),
                  ecxSse41 = bit(19), ecxSse42 = bit(20), ecxMovbe = bit(22), ecxAes = bit(25),
                  ecxOsxsave = bit(27), ecxAvx = bit(28), ecxF16c = bit(29), ecxRdrand = bit(30);
constexpr Prim32u ebx7Bmi1 = bit(3), ebx7Avx2 = bit(5), ebx7Bmi2 = bit(8), ebx7Rdseed = bit(18),
                  ebx7Adx = bit(19);
// Leaf 0x80000001 ECX.
constexpr Prim32u ecxExtLzcnt = bit(5), ecxExtPrefetchw = bit(8);

constexpr Prim32u edxBase = edxMmx | edxSse | edxSse2;
constexpr Prim32u ecxSse42Class = ecxSse3 | ecxPclmul | ecxSsse3 | ecxSse41 | ecxSse42 | ecxAes;
constexpr Prim32u ecxAvxClass = ecxSse42Class | ecxOsxsave | ecxAvx | ecxF16c | ecxRdrand;
constexpr Prim32u ebx7Avx2Group = ebx7Bmi1 | ebx7Avx2 | ebx7Bmi2;

// One recorded processor and what the core must make of it.
struct GenerationCase {
  const char* name;
  Prim32u ecx, edx, ebx7;
  std::uint64_t xcr0;
  Prim32u ecxExt;  // leaf 0x80000001 ECX
  std::int32_t generation;
  PrimCpuFeatureMask detected;
  PrimCpuFeatureMask enabled;
};
void PrintTo(const GenerationCase& c, std::ostream* os) { *os << c.name; }

const GenerationCase generationCases[] = {
    // avx2: the AVX2 group on top of AVX with the OS saving YMM state.
    {"Avx2", ecxAvxClass | ecxFma | ecxMovbe, edxBase, ebx7Avx2Group | ebx7Adx | ebx7Rdseed, 7,
     ecxExtLzcnt | ecxExtPrefetchw, primGenAvx2, 0x7efff | primCpuFeatureLzcnt, 0x7efff},
    // LZCNT is no part of the generation; the avx2 code-block build asks
    // for it in the detected mask (else the avx build serves).
    {"Avx2WithoutLzcnt", ecxAvxClass | ecxFma | ecxMovbe, edxBase, ebx7Avx2Group | ebx7Adx | ebx7Rdseed, 7,
     ecxExtPrefetchw, primGenAvx2, 0x7efff, 0x7efff},
    // avx: no AVX2 group; MOVBE is not enabled.
    {"Avx", ecxAvxClass | ecxMovbe, edxBase, 0, 7, 0, primGenAvx, 0x6fff, 0x6fdf},
    // AVX but the OS does not save YMM state: sse41.
    {"AvxWithoutOsYmm", ecxAvxClass, edxBase, 0, 3, 0, primGenSse41, 0x6ddf, 0xcdf},
    // The AVX2 group does not help without bit 9.
    {"Avx2GroupWithoutOsYmm", ecxAvxClass | ecxFma, edxBase, ebx7Avx2Group, 3, 0, primGenSse41,
     0x6ddf | mbit(15), 0xcdf},
    // SSE4.1 wins over MOVBE, and MOVBE is not enabled.
    {"Sse41WithMovbe", ecxSse42Class | ecxMovbe, edxBase, 0, 0, 0, primGenSse41, 0xcff, 0xcdf},
    {"Movbe", ecxSse3 | ecxSsse3 | ecxMovbe, edxBase, 0, 0, 0, primGenMovbe, 0x3f, 0x3f},
    // MOVBE without SSSE3 falls through to SSE2.
    {"MovbeWithoutSsse3", ecxSse3 | ecxMovbe, edxBase, 0, 0, 0, primGenSse2, 0x2f, 0x7},
    {"Ssse3", ecxSse3 | ecxSsse3, edxBase, 0, 0, 0, primGenSsse3, 0x1f, 0x1f},
    {"Sse2", 0, edxBase, 0, 0, 0, primGenSse2, 0x7, 0x7},
    {"NoSse2", 0, edxMmx | edxSse, 0, 0, 0, primGenPx, 0x3, 0x3},
    {"Nothing", 0, 0, 0, 0, 0, primGenPx, 0, 0},
};

class GenerationChoiceTest : public ::testing::TestWithParam<GenerationCase> {};

TEST_P(GenerationChoiceTest, ChoosesGenerationAndEnabledMaskFromRecordedProcessor) {
  const GenerationCase& c = GetParam();
  for (bool referenceVendor : {true, false}) {
    SCOPED_TRACE(referenceVendor ? "reference vendor" : "another vendor");
    RecordedCpu cpu(7);
    if (!referenceVendor) cpu.setOtherVendor(7);
    cpu.setLeaf1(0x000306c3, c.ecx, c.edx);
    cpu.setLeaf7(c.ebx7);
    cpu.setXcr0(c.xcr0);
    cpu.set(0x80000000, 0, {0x80000008, 0, 0, 0});
    cpu.set(0x80000001, 0, {0, 0, c.ecxExt, 0});
    cpu.install();

    // The vendor affects only the status; the generation follows the features.
    EXPECT_EQ(primInitCpuDispatch(), referenceVendor ? primResultOk : primResultUnknownCpu);
    EXPECT_EQ(primCurrentGeneration(), c.generation);
    EXPECT_EQ(primTestEnabledCpuFeatures(), c.detected & c.enabled);
    PrimCpuFeatureMask m = 0;
    ASSERT_EQ(primGetCpuFeatureMask(&m, nullptr), primResultOk);
    EXPECT_EQ(m, c.detected);
    EXPECT_EQ(ownDetectedCpuFeatures(), c.detected);
  }
}

INSTANTIATE_TEST_SUITE_P(GenerationTable, GenerationChoiceTest, ::testing::ValuesIn(generationCases),
                         [](const ::testing::TestParamInfo<GenerationCase>& info) {
                           return std::string(info.param.name);
                         });

// Each feature bit from its register bit alone.
struct FeatureBitCase {
  int maskBit;
  Prim32u leaf;  // 1, 7 or 0x80000001
  int reg;       // 1 EBX, 2 ECX, 3 EDX
  int regBit;
};

TEST(CpuFeatureMaskTest, EachBitComesFromItsRegisterBit) {
  const FeatureBitCase cases[] = {
      {0, 1, 3, 23},          {1, 1, 3, 25},          {2, 1, 3, 26},  {3, 1, 2, 0},   {4, 1, 2, 9},
      {5, 1, 2, 22},          {6, 1, 2, 19},          {7, 1, 2, 20},  {8, 1, 2, 28},  {10, 1, 2, 25},
      {11, 1, 2, 1},          {13, 1, 2, 30},         {14, 1, 2, 29}, {16, 7, 1, 19}, {17, 7, 1, 18},
      {18, 0x80000001, 2, 8}, {19, 0x80000001, 2, 5},
  };
  for (const FeatureBitCase& c : cases) {
    SCOPED_TRACE("mask bit " + std::to_string(c.maskBit));
    RecordedCpu cpu(7);
    cpu.set(0x80000000, 0, {0x80000008, 0, 0, 0});
    RecordedCpu::Regs r{0, 0, 0, 0};
    r[c.reg] = bit(c.regBit);
    cpu.set(c.leaf, 0, r);
    cpu.install();
    PrimCpuFeatureMask m = 0;
    ASSERT_EQ(primGetCpuFeatureMask(&m, nullptr), primResultOk);
    EXPECT_EQ(m, mbit(c.maskBit));
  }
}

TEST(CpuFeatureMaskTest, CompositeBits) {
  struct Case {
    const char* what;
    Prim32u eax1, ecx1, ebx7, maxLeaf, maxExt, ecxExt, edx20000001;
    std::uint64_t xcr0;
    PrimCpuFeatureMask expected;
  };
  const Case cases[] = {
      {"OS saves XMM and YMM", 0, ecxOsxsave | ecxAvx, 0, 7, 0, 0, 0, 6, mbit(8) | mbit(9)},
      {"XCR0 without YMM", 0, ecxOsxsave | ecxAvx, 0, 7, 0, 0, 0, 2, mbit(8)},
      {"XCR0 without XMM", 0, ecxOsxsave | ecxAvx, 0, 7, 0, 0, 0, 4, mbit(8)},
      {"OSXSAVE without AVX", 0, ecxOsxsave, 0, 7, 0, 0, 0, 7, 0},
      {"AVX2 group complete", 0, ecxFma, ebx7Avx2Group, 7, 0, 0, 0, 0, mbit(15)},
      {"AVX2 group without FMA", 0, 0, ebx7Avx2Group, 7, 0, 0, 0, 0, 0},
      {"AVX2 group without BMI2", 0, ecxFma, ebx7Bmi1 | ebx7Avx2, 7, 0, 0, 0, 0, 0},
      {"leaf 7 beyond the highest leaf", 0, ecxFma, ebx7Avx2Group | ebx7Adx, 6, 0, 0, 0, 0, 0},
      {"extended leaf beyond the highest", 0, 0, 0, 7, 0x80000000, bit(8) | bit(5), 0, 0, 0},
      {"family 0xB extension", 0xb00, 0, 0, 7, 0, 0, bit(1), 0, mbit(12)},
      {"extension leaf ignored for other families", 0x600, 0, 0, 7, 0, 0, bit(1), 0, 0},
      {"family 0xB model 1", 0xb10, 0, 0, 7, 0, 0, 0, 0, mbit(31)},
      {"family 0xB model 2", 0xb20, 0, 0, 7, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordedCpu cpu(c.maxLeaf);
    cpu.setLeaf1(c.eax1, c.ecx1, 0);
    cpu.setLeaf7(c.ebx7);
    cpu.set(0x80000000, 0, {c.maxExt, 0, 0, 0});
    cpu.set(0x80000001, 0, {0, 0, c.ecxExt, 0});
    cpu.set(0x20000001, 0, {0, 0, 0, c.edx20000001});
    cpu.setXcr0(c.xcr0);
    cpu.install();
    PrimCpuFeatureMask m = 0;
    ASSERT_EQ(primGetCpuFeatureMask(&m, nullptr), primResultOk);
    EXPECT_EQ(m, c.expected);
  }
}

TEST(CpuFeatureMaskTest, XgetbvOnlyWhenOsxsaveAndAvxAreReported) {
  RecordedCpu cpu;
  cpu.setLeaf1(0, ecxAvx, edxBase);  // no OSXSAVE: XGETBV would fault
  cpu.setXcr0(7);
  cpu.install();
  PrimCpuFeatureMask m = 0;
  ASSERT_EQ(primGetCpuFeatureMask(&m, nullptr), primResultOk);
  EXPECT_EQ(cpu.xgetbvCalls(), 0);
  EXPECT_EQ(m & mbit(9), 0u);
}

TEST(CpuFeatureMaskTest, DetectionIsCachedButFailureIsNot) {
  RecordedCpu cpu;
  cpu.setLeaf1(0, ecxSse3, edxBase);
  cpu.setCpuidSupported(false);
  cpu.install();
  PrimCpuFeatureMask m = 0x1234;
  EXPECT_EQ(primGetCpuFeatureMask(&m, nullptr), primResultCpuQueryUnsupported);
  EXPECT_EQ(primGetCpuFeatureMask(nullptr, nullptr), primResultCpuQueryUnsupported);
  EXPECT_EQ(m, 0x1234u);  // nothing written

  cpu.setCpuidSupported(true);  // a later call tries again
  ASSERT_EQ(primGetCpuFeatureMask(&m, nullptr), primResultOk);
  EXPECT_EQ(m, 0xfu);
  const int calls = cpu.cpuidCalls();
  ASSERT_EQ(primGetCpuFeatureMask(&m, nullptr), primResultOk);
  EXPECT_EQ(cpu.cpuidCalls(), calls);  // the cached mask
  EXPECT_EQ(m, 0xfu);
  EXPECT_EQ(primGetCpuFeatureMask(nullptr, nullptr), primResultNullPointer);
}

TEST(CpuFeatureMaskTest, GetinfoaTagQueriesTheRequestedLeaf) {
  RecordedCpu cpu;
  cpu.setLeaf1(0x000306c3, ecxSse3, edxBase);
  cpu.set(4, 1, {0x1c004122, 0x01c0003f, 0x3f, 0});
  cpu.install();

  const PrimCpuFeatureMask tag = 0x616f666e69746567ull;  // "getinfoa"
  PrimCpuFeatureMask m = tag;
  Prim32u regs[4] = {4, 0, 1, 0};
  ASSERT_EQ(primGetCpuFeatureMask(&m, regs), primResultOk);
  EXPECT_EQ(m, 0xfu);
  EXPECT_EQ(regs[0], 0x1c004122u);
  EXPECT_EQ(regs[1], 0x01c0003fu);
  EXPECT_EQ(regs[2], 0x3fu);
  EXPECT_EQ(regs[3], 0u);

  // Any other value on entry (here the mask the first call left) gives leaf 1.
  Prim32u leaf1[4] = {4, 0, 1, 0};
  ASSERT_EQ(primGetCpuFeatureMask(&m, leaf1), primResultOk);
  EXPECT_EQ(leaf1[0], 0x000306c3u);
  EXPECT_EQ(leaf1[2], ecxSse3);
  EXPECT_EQ(leaf1[3], edxBase);
  // The tag with one byte off is not the tag.
  m = tag ^ 0x100;
  Prim32u other[4] = {4, 0, 1, 0};
  ASSERT_EQ(primGetCpuFeatureMask(&m, other), primResultOk);
  EXPECT_EQ(other[0], 0x000306c3u);
}

TEST(CpuFeatureMaskTest, ConcurrentFirstCallsAgree) {
  RecordedCpu cpu;
  cpu.setLeaf1(0, ecxAvxClass, edxBase);
  cpu.setXcr0(7);
  cpu.install();
  PrimCpuFeatureMask expected = 0;
  ASSERT_EQ(primGetCpuFeatureMask(&expected, nullptr), primResultOk);
  for (int round = 0; round < 20; ++round) {
    cpu.install();  // forgets the cached mask
    std::vector<PrimCpuFeatureMask> seen(8, 0);
    std::vector<std::thread> threads;
    for (auto& m : seen) threads.emplace_back([&m] { primGetCpuFeatureMask(&m, nullptr); });
    for (auto& t : threads) t.join();
    for (PrimCpuFeatureMask m : seen) EXPECT_EQ(m, expected);
  }
}

TEST(CpuQueryTest, QueryOperationsReadTheRecordedProcessor) {
  RecordedCpu cpu(0x16);
  cpu.setLeaf1(0, ecxOsxsave | ecxAvx, edxBase);
  cpu.setXcr0(0xe7);
  cpu.install();
  EXPECT_EQ(ownCpuidSupported(), 1);
  EXPECT_EQ(ownCpuidMaxLeaf(), 0x16u);
  EXPECT_EQ(ownIsReferenceVendor(), 1);
  EXPECT_EQ(ownOsSavesAvxState(), 1);
  Prim32u r[4];
  ownCpuid(r, 1, 0);
  EXPECT_EQ(r[2], ecxOsxsave | ecxAvx);
  EXPECT_EQ(r[3], edxBase);

  cpu.setXcr0(0x3);  // YMM state not saved
  EXPECT_EQ(ownOsSavesAvxState(), 0);
  cpu.setOtherVendor(0x16);
  EXPECT_EQ(ownIsReferenceVendor(), 0);
  // A vendor that differs in one word only.
  cpu.setVendor(0x16, 0x756e6547, 0x49656e69, 0x6c65746f);
  EXPECT_EQ(ownIsReferenceVendor(), 0);
  cpu.setCpuidSupported(false);
  EXPECT_EQ(ownCpuidSupported(), 0);
}

TEST(CpuDispatchTest, NoCpuidKeepsPxAndReportsUnknownCpu) {
  RecordedCpu cpu;
  cpu.setLeaf1(0, ecxAvxClass, edxBase);
  cpu.setCpuidSupported(false);
  cpu.install();
  ASSERT_EQ(primTestForceGeneration(primGenSse2), primResultOk);
  EXPECT_EQ(primInitCpuDispatch(), primResultUnknownCpu);
  EXPECT_EQ(primCurrentGeneration(), primGenPx);
  EXPECT_EQ(primTestEnabledCpuFeatures(), 3u);
  EXPECT_EQ(ownDetectedCpuFeatures(), 0u);
}

TEST(CpuDispatchTest, BeforeInitialisationEveryEntryRunsPx) {
  primTestResetCpuState();
  EXPECT_EQ(primCurrentGeneration(), primGenPx);
  EXPECT_EQ(primTestEnabledCpuFeatures(), 3u);
  EXPECT_EQ(primDispatch(tbl_vecCopy_8u), &px_vecCopy_8u);
  EXPECT_EQ(primDispatch(tbl_vecSet_32s), &px_vecSet_32s);
}

TEST(CpuDispatchTest, ThisMachine) {
  primTestResetCpuState();
  const PrimResult status = primInitCpuDispatch();
  EXPECT_TRUE(status == primResultOk || status == primResultUnknownCpu) << status;
  PrimCpuFeatureMask m = 0;
  ASSERT_EQ(primGetCpuFeatureMask(&m, nullptr), primResultOk);
  EXPECT_EQ(m >> 32, 0u);
  EXPECT_NE(m & mbit(2), 0u) << "every x86-64 processor has SSE2";
  const std::int32_t chosen = primCurrentGeneration();
  EXPECT_GE(chosen, primGenSse2);
  EXPECT_TRUE(primTestGenerationSupported(chosen));
  primTestResetCpuState();
}

// The emulated runs (scripts/run_emulated.sh) name the generation of the
// processor model they run on: the detection must choose it, and the tests
// must be able to force it and nothing above it.
TEST(CpuDispatchTest, EmulatedProcessorIsOfItsGeneration) {
  const char* name = std::getenv("DCP_EMULATED_GENERATION");
  if (name == nullptr) GTEST_SKIP() << "not an emulated run (DCP_EMULATED_GENERATION is not set)";
  std::int32_t expected = -1;
  for (std::int32_t g = 0; g < primGenerationCount; ++g)
    if (std::string(name) == generationName(g)) expected = g;
  ASSERT_GE(expected, 0) << "no generation is named " << name;
  primTestResetCpuState();
  primInitCpuDispatch();
  EXPECT_EQ(primCurrentGeneration(), expected) << "chose " << generationName(primCurrentGeneration());
  primTestResetCpuState();
  EXPECT_TRUE(primTestGenerationSupported(expected));
  for (std::int32_t g = expected + 1; g < primGenerationCount; ++g)
    EXPECT_FALSE(primTestGenerationSupported(g)) << generationName(g);
}

TEST(CpuDispatchTest, ForcingRefusesWhatThisProcessorCannotRun) {
  primTestResetCpuState();
  EXPECT_EQ(primTestForceGeneration(-1), primResultBadArgument);
  EXPECT_EQ(primTestForceGeneration(7), primResultBadArgument);
  EXPECT_EQ(primCurrentGeneration(), primGenPx);
  EXPECT_TRUE(primTestGenerationSupported(primGenPx));
  EXPECT_TRUE(primTestGenerationSupported(primGenSse2));
  {
    // A recorded processor does not change what the hook allows: it asks the
    // real one.
    RecordedCpu cpu;
    cpu.setLeaf1(0, 0, 0);
    cpu.install();
    for (std::int32_t g = 0; g < primGenerationCount; ++g) {
      PrimCpuFeatureMask real = 0;
      primTestSetCpuQuerySource(nullptr);
      ASSERT_EQ(primGetCpuFeatureMask(&real, nullptr), primResultOk);
      cpu.install();
      const bool supported = primTestGenerationSupported(g);
      EXPECT_EQ(primTestForceGeneration(g), supported ? primResultOk : primResultBadArgument);
      if (g == primGenAvx2) {
        EXPECT_EQ(supported, (real & mbit(15)) && (real & mbit(9)));
      }
      if (g == primGenSse41) {
        // Chosen on SSE4.1 alone, so SSE4.1 alone is enough to run it.
        EXPECT_EQ(supported, (real & mbit(6)) != 0);
      }
    }
  }
  primTestForceGeneration(primGenPx);
}

}  // namespace
