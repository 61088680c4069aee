// Processor detection and build selection (first cut: the real cpuid, the
// generation ladder, the test hook).
#include "primitives/core/cpu.h"

#include <cpuid.h>

#include "primitives/core/dispatch.h"
#include "primitives/core/test_hooks.h"

std::atomic<std::int32_t> ownCpuGenerationIndex{primGenPx};

namespace {

void cpuid(Prim32u r[4], Prim32u leaf, Prim32u sub) {
  __cpuid_count(leaf, sub, r[0], r[1], r[2], r[3]);
}

Prim32u xgetbv0() {
  Prim32u lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return lo;
}

PrimCpuFeatureMask detect() {
  Prim32u r0[4], r1[4], r7[4] = {0, 0, 0, 0};
  cpuid(r0, 0, 0);
  cpuid(r1, 1, 0);
  const Prim32u ecx = r1[2], edx = r1[3];
  PrimCpuFeatureMask m = 0;
  auto bit = [&](bool on, int b) { if (on) m |= PrimCpuFeatureMask{1} << b; };
  bit(edx >> 23 & 1, 0);
  bit(edx >> 25 & 1, 1);
  bit(edx >> 26 & 1, 2);
  bit(ecx & 1, 3);
  bit(ecx >> 9 & 1, 4);
  bit(ecx >> 22 & 1, 5);
  bit(ecx >> 19 & 1, 6);
  bit(ecx >> 20 & 1, 7);
  bit(ecx >> 28 & 1, 8);
  if ((ecx >> 27 & 1) && (ecx >> 28 & 1)) bit((xgetbv0() & 6) == 6, 9);
  if (r0[0] >= 7) {
    cpuid(r7, 7, 0);
    bit((ecx >> 12 & 1) && (r7[1] >> 5 & 1) && (r7[1] >> 3 & 1) && (r7[1] >> 8 & 1), 15);
  }
  return m;
}

int chooseGeneration(PrimCpuFeatureMask m) {
  auto has = [m](int b) { return (m >> b & 1) != 0; };
  if (has(8) && has(9) && has(15)) return primGenAvx2;
  if (has(8) && has(9)) return primGenAvx;
  if (has(6)) return primGenSse41;
  if (has(4) && has(5)) return primGenMovbe;
  if (has(4)) return primGenSsse3;
  if (has(2)) return primGenSse2;
  return primGenPx;
}

}  // namespace

PrimResult primGetCpuFeatureMask(PrimCpuFeatureMask* pMask, Prim32u regs[4]) {
  if (!pMask) return primResultNullPointer;
  *pMask = detect();
  if (regs) cpuid(regs, 1, 0);
  return primResultOk;
}

PrimResult primInitCpuDispatch() {
  ownCpuGenerationIndex.store(chooseGeneration(detect()), std::memory_order_relaxed);
  return primResultOk;
}

bool primTestGenerationSupported(std::int32_t generation) {
  if (generation < 0 || generation >= primGenerationCount) return false;
  const PrimCpuFeatureMask m = detect();
  auto has = [m](int b) { return (m >> b & 1) != 0; };
  switch (generation) {
    case primGenPx: return true;
    case primGenSse2: return has(2);
    case primGenSsse3: return has(4);
    case primGenMovbe: return has(4) && has(5);
    case primGenSse41: return has(6) && has(7);
    case primGenAvx: return has(8) && has(9) && has(7);
    default: return has(8) && has(9) && has(15);
  }
}

PrimResult primTestForceGeneration(std::int32_t generation) {
  if (!primTestGenerationSupported(generation)) return primResultBadArgument;
  ownCpuGenerationIndex.store(generation, std::memory_order_relaxed);
  return primResultOk;
}
