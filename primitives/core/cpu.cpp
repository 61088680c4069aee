// Processor detection and build selection.
//
// The features are read once through cpuid (and XGETBV for the operating
// system's AVX state) and cached; primInitCpuDispatch turns them into the
// generation index every public primitive dispatches on.  The hardware is
// reached through a query source so that tests can replay recorded
// processors.
#include "primitives/core/cpu.h"

#include <cpuid.h>

#include <initializer_list>

#include "primitives/core/cpu_internal.h"
#include "primitives/core/dispatch.h"
#include "primitives/core/test_hooks.h"

std::atomic<std::int32_t> ownCpuGenerationIndex{primGenPx};
std::atomic<PrimCpuFeatureMask> ownEnabledCpuFeatures{3};

void ownResetLargestCacheState();  // memory.cpp

namespace {

// ---------------------------------------------------------------------------
// The real processor.

int hwCpuidSupported(void*) {
  // Every x86-64 processor has cpuid (the ID flag of EFLAGS always toggles).
  return 1;
}

void hwCpuid(void*, Prim32u regs[4], Prim32u leaf, Prim32u subLeaf) {
  __cpuid_count(leaf, subLeaf, regs[0], regs[1], regs[2], regs[3]);
}

std::uint64_t hwXgetbv(void*, Prim32u index) {
  Prim32u lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(index));
  return (std::uint64_t{hi} << 32) | lo;
}

constexpr PrimCpuQuerySource hardware{hwCpuidSupported, hwCpuid, hwXgetbv, nullptr};

std::atomic<const PrimCpuQuerySource*> querySource{&hardware};

const PrimCpuQuerySource& source() { return *querySource.load(std::memory_order_acquire); }

// ---------------------------------------------------------------------------
// Detection.

// The detected mask and its done flag.  The mask is stored before the flag is
// set (release), and read after the flag is seen (acquire), so a reader sees
// either no flag or the complete mask.
struct FeatureCache {
  std::atomic<PrimCpuFeatureMask> mask{0};
  std::atomic<bool> done{false};
};
FeatureCache featureCache;

constexpr bool bitOf(Prim32u word, int bit) { return (word >> bit & 1u) != 0; }

bool osSavesAvxState(const PrimCpuQuerySource& q, Prim32u leaf1Ecx) {
  if (!bitOf(leaf1Ecx, 27) || !bitOf(leaf1Ecx, 28)) return false;
  return (q.xgetbv(q.context, 0) & 6u) == 6u;
}

// Reads the features through q; false when the processor cannot be queried.
bool readFeatures(const PrimCpuQuerySource& q, PrimCpuFeatureMask* out) {
  if (!q.cpuidSupported(q.context)) return false;
  Prim32u r0[4], rx[4], r1[4];
  q.cpuid(q.context, r0, 0, 0);
  q.cpuid(q.context, rx, 0x80000000u, 0);
  q.cpuid(q.context, r1, 1, 0);
  const Prim32u maxLeaf = r0[0], maxExtLeaf = rx[0];
  const Prim32u eax = r1[0], ecx = r1[2], edx = r1[3];

  PrimCpuFeatureMask m = 0;
  auto set = [&m](int bit, bool on) {
    if (on) m |= PrimCpuFeatureMask{1} << bit;
  };
  set(0, bitOf(edx, 23));  // MMX
  set(1, bitOf(edx, 25));  // SSE
  set(2, bitOf(edx, 26));  // SSE2
  set(3, bitOf(ecx, 0));   // SSE3
  set(4, bitOf(ecx, 9));   // SSSE3
  set(5, bitOf(ecx, 22));  // MOVBE
  set(6, bitOf(ecx, 19));  // SSE4.1
  set(7, bitOf(ecx, 20));  // SSE4.2
  set(8, bitOf(ecx, 28));  // AVX
  set(9, osSavesAvxState(q, ecx));
  set(10, bitOf(ecx, 25));  // AES
  set(11, bitOf(ecx, 1));   // PCLMULQDQ
  set(13, bitOf(ecx, 30));  // RDRAND
  set(14, bitOf(ecx, 29));  // F16C
  if (((eax >> 8) & 0xf) == 0xb) {
    Prim32u r[4];
    q.cpuid(q.context, r, 0x20000001u, 0);
    set(12, bitOf(r[3], 1));
  }
  if (maxLeaf >= 7) {
    Prim32u r7[4];
    q.cpuid(q.context, r7, 7, 0);
    set(15, bitOf(ecx, 12) && bitOf(r7[1], 5) && bitOf(r7[1], 3) && bitOf(r7[1], 8));
    set(16, bitOf(r7[1], 19));  // ADX
    set(17, bitOf(r7[1], 18));  // RDSEED
  }
  if (maxExtLeaf >= 0x80000001u) {
    Prim32u r[4];
    q.cpuid(q.context, r, 0x80000001u, 0);
    set(18, bitOf(r[2], 8));  // PREFETCHW
    set(19, bitOf(r[2], 5));  // LZCNT
  }
  set(31, ((eax >> 4) & 0xff) == 0xb1);
  *out = m;
  return true;
}

bool detectCpuFeatures(PrimCpuFeatureMask* out) {
  if (featureCache.done.load(std::memory_order_acquire)) {
    *out = featureCache.mask.load(std::memory_order_relaxed);
    return true;
  }
  PrimCpuFeatureMask m;
  if (!readFeatures(source(), &m)) return false;  // nothing cached: a later call tries again
  featureCache.mask.store(m, std::memory_order_relaxed);
  featureCache.done.store(true, std::memory_order_release);
  *out = m;
  return true;
}

// ---------------------------------------------------------------------------
// Generation choice.

struct GenerationRow {
  std::int32_t generation;
  PrimCpuFeatureMask required;  // every bit must be present
  PrimCpuFeatureMask excluded;  // no bit may be present
  PrimCpuFeatureMask enabled;
};

constexpr PrimCpuFeatureMask bits(std::initializer_list<int> list) {
  PrimCpuFeatureMask m = 0;
  for (int b : list) m |= PrimCpuFeatureMask{1} << b;
  return m;
}

// Tested from the top down; the first row whose condition holds wins.
constexpr GenerationRow generationTable[] = {
    {primGenAvx2, bits({8, 9, 15}), 0, 0x7efff},
    {primGenAvx, bits({8, 9}), bits({15}), 0x6fdf},
    {primGenSse41, bits({6}), 0, 0xcdf},
    {primGenMovbe, bits({4, 5}), 0, 63},
    {primGenSsse3, bits({4}), 0, 31},
    {primGenSse2, bits({2}), 0, 7},
    {primGenPx, 0, 0, 3},
};

const GenerationRow& chooseGeneration(PrimCpuFeatureMask m) {
  for (const GenerationRow& row : generationTable)
    if ((m & row.required) == row.required && (m & row.excluded) == 0) return row;
  return generationTable[6];
}

// Features a generation's builds are compiled to use (their compiler flags):
// what the test hook demands of the real processor before it forces that
// generation.
PrimCpuFeatureMask generationNeeds(std::int32_t g) {
  switch (g) {
    case primGenPx:
      return 0;
    case primGenSse2:
      return bits({0, 1, 2});
    case primGenSsse3:
      return bits({0, 1, 2, 3, 4});
    case primGenMovbe:
      return bits({0, 1, 2, 3, 4, 5});
    case primGenSse41:
      return bits({0, 1, 2, 3, 4, 6});
    case primGenAvx:
      return bits({0, 1, 2, 3, 4, 6, 7, 8, 9});
    default:
      return bits({0, 1, 2, 3, 4, 6, 7, 8, 9, 15});
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Processor-query operations.

void ownCpuid(Prim32u regs[4], Prim32u leaf, Prim32u subLeaf) {
  const PrimCpuQuerySource& q = source();
  q.cpuid(q.context, regs, leaf, subLeaf);
}

int ownCpuidSupported() {
  const PrimCpuQuerySource& q = source();
  return q.cpuidSupported(q.context) ? 1 : 0;
}

Prim32u ownCpuidMaxLeaf() {
  Prim32u r[4];
  ownCpuid(r, 0, 0);
  return r[0];
}

int ownLeaf0NamesReferenceVendor(const Prim32u leaf0[4]) {
  return leaf0[1] == 0x756e6547u && leaf0[3] == 0x49656e69u && leaf0[2] == 0x6c65746eu ? 1 : 0;
}

int ownIsReferenceVendor() {
  Prim32u r[4];
  ownCpuid(r, 0, 0);
  return ownLeaf0NamesReferenceVendor(r);
}

PrimCpuFeatureMask ownDetectedCpuFeatures() {
  PrimCpuFeatureMask m;
  return detectCpuFeatures(&m) ? m : 0;
}

int ownOsSavesAvxState() {
  Prim32u r[4];
  ownCpuid(r, 1, 0);
  return osSavesAvxState(source(), r[2]) ? 1 : 0;
}

void ownSetEnabledCpuFeatures(PrimCpuFeatureMask mask) {
  ownEnabledCpuFeatures.store(mask & 0xffffffffu, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Public calls.

PrimResult primGetCpuFeatureMask(PrimCpuFeatureMask* pMask, Prim32u regs[4]) {
  PrimCpuFeatureMask detected;
  if (!detectCpuFeatures(&detected)) return primResultCpuQueryUnsupported;
  if (!pMask) return primResultNullPointer;
  const PrimCpuFeatureMask onEntry = *pMask;
  *pMask = detected;
  if (!regs) return primResultOk;
  // The tag "getinfoa" asks for the leaf and sub-leaf the caller put in
  // regs[0] and regs[2]; anything else gets leaf 1.
  constexpr PrimCpuFeatureMask tag = (PrimCpuFeatureMask{0x616f666e} << 32) | 0x69746567u;
  if (onEntry == tag)
    ownCpuid(regs, regs[0], regs[2]);
  else
    ownCpuid(regs, 1, 0);
  return primResultOk;
}

PrimResult primInitCpuDispatch() {
  PrimCpuFeatureMask detected = 0;
  const PrimResult status = primGetCpuFeatureMask(&detected, nullptr);
  if (status != primResultOk) {
    ownCpuGenerationIndex.store(primGenPx, std::memory_order_relaxed);
    ownSetEnabledCpuFeatures(3);
  } else {
    const GenerationRow& row = chooseGeneration(detected);
    ownCpuGenerationIndex.store(row.generation, std::memory_order_relaxed);
    ownSetEnabledCpuFeatures(detected & row.enabled);
  }
  if (!ownCpuidSupported() || !ownIsReferenceVendor()) return primResultUnknownCpu;
  return status;
}

// ---------------------------------------------------------------------------
// Test hooks.

bool primTestGenerationSupported(std::int32_t generation) {
  if (generation < 0 || generation >= primGenerationCount) return false;
  // Always the real processor: a recorded one must never let a test run
  // instructions this machine lacks.
  PrimCpuFeatureMask real;
  if (!readFeatures(hardware, &real)) return generation == primGenPx;
  const PrimCpuFeatureMask needs = generationNeeds(generation);
  return (real & needs) == needs;
}

PrimResult primTestForceGeneration(std::int32_t generation) {
  if (!primTestGenerationSupported(generation)) return primResultBadArgument;
  ownCpuGenerationIndex.store(generation, std::memory_order_relaxed);
  return primResultOk;
}

void primTestResetCpuState() {
  featureCache.done.store(false, std::memory_order_relaxed);
  featureCache.mask.store(0, std::memory_order_relaxed);
  ownResetLargestCacheState();
  ownCpuGenerationIndex.store(primGenPx, std::memory_order_relaxed);
  ownSetEnabledCpuFeatures(3);
}

void primTestSetCpuQuerySource(const PrimCpuQuerySource* src) {
  querySource.store(src ? src : &hardware, std::memory_order_release);
  featureCache.done.store(false, std::memory_order_relaxed);
  featureCache.mask.store(0, std::memory_order_relaxed);
  ownResetLargestCacheState();
}

PrimCpuFeatureMask primTestEnabledCpuFeatures() {
  return ownEnabledCpuFeatures.load(std::memory_order_relaxed);
}
