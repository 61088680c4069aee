// Test-only controls of the primitives core.  Production code never calls
// these; tests use them to run every build of a primitive on this machine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "primitives/core/prim_types.h"

// Forces the generation whose builds every public primitive runs.  Refuses
// (primResultBadArgument) a generation outside 0..6 or one whose instruction
// sets this processor does not have; the current generation then stays.
PrimResult primTestForceGeneration(std::int32_t generation);

// True when this processor can run the builds of the generation.
bool primTestGenerationSupported(std::int32_t generation);

// ---------------------------------------------------------------------------
// Recorded processors.  Detection, the generation choice and the largest-cache
// query read the processor through a query source; a test installs one that
// answers from recorded register sets.

struct PrimCpuQuerySource {
  // 1 when the cpuid instruction exists.
  int (*cpuidSupported)(void* context);
  // cpuid of leaf and sub-leaf into regs (EAX, EBX, ECX, EDX).
  void (*cpuid)(void* context, Prim32u regs[4], Prim32u leaf, Prim32u subLeaf);
  // XGETBV of the register index (only called when leaf 1 reports OSXSAVE).
  std::uint64_t (*xgetbv)(void* context, Prim32u index);
  void* context;
};

// Installs a query source (null: the real processor).  The source must stay
// alive until it is replaced.  Also forgets the cached features and the cached
// largest-cache result, so the next query reads the new source.
void primTestSetCpuQuerySource(const PrimCpuQuerySource* source);

// Returns the core to its state at load: no cached features, no cached cache
// size, generation px, enabled features 3.  The query source stays.
void primTestResetCpuState();

// The enabled-feature mask primInitCpuDispatch chose.
PrimCpuFeatureMask primTestEnabledCpuFeatures();

// Cache size the copy, zero and set kernels use for their non-temporal rule,
// in place of the processor's: bytes >= 0 (0: no size known); a negative value
// removes the override.  primQueryLargestCacheSize itself is not affected.
void primTestSetKernelCacheSize(std::int64_t bytes);

// Number of copy, zero and set calls that took a non-temporal path so far.
std::uint64_t primTestNonTemporalCount();

// Replaces the allocation and release the aligned allocator uses (null: the
// runtime heap).
void primTestSetAllocatorHooks(void* (*mallocHook)(std::size_t), void (*freeHook)(void*));
