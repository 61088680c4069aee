// Internal processor queries of the primitives core, shared by the detection,
// the largest-cache query, the large-size paths of copy, zero and set, and
// the avx2 code-block decoder's LZCNT choice.  Not for use outside
// primitives/.
#pragma once

#include <atomic>
#include <cstdint>

#include "primitives/core/prim_types.h"

// cpuid with EAX = leaf and ECX = subLeaf; regs receives EAX, EBX, ECX, EDX.
void ownCpuid(Prim32u regs[4], Prim32u leaf, Prim32u subLeaf);
// 1 when the processor has the cpuid instruction, else 0.
int ownCpuidSupported();
// Highest standard leaf (leaf 0 EAX).
Prim32u ownCpuidMaxLeaf();
// 1 when leaf 0 names the reference vendor (EBX, EDX, ECX = 0x756e6547,
// 0x49656e69, 0x6c65746e), else 0.
int ownIsReferenceVendor();
// The same test on leaf-0 registers already read (EAX, EBX, ECX, EDX).
int ownLeaf0NamesReferenceVendor(const Prim32u leaf0[4]);
// 1 when leaf 1 reports OSXSAVE and AVX and XCR0 has the XMM and YMM bits.
int ownOsSavesAvxState();

// The detected feature mask (primGetCpuFeatureMask's), detecting on the
// first call; 0 when the processor cannot be queried.  Read on every call by
// a build whose object uses an instruction its generation does not require.
PrimCpuFeatureMask ownDetectedCpuFeatures();

// Features the chosen generation's builds may rely on (3 until
// primInitCpuDispatch runs).  Nothing in the library reads it.
extern std::atomic<PrimCpuFeatureMask> ownEnabledCpuFeatures;
void ownSetEnabledCpuFeatures(PrimCpuFeatureMask mask);

// Size rows of the cpuid leaf-2 descriptors: descriptor byte and the size in
// bytes of the data or unified cache it announces, largest first, ended by a
// row whose descriptor is 0.
struct OwnCacheDescriptor {
  Prim32u descriptor;
  Prim32u size;
};
inline constexpr int ownCacheDescriptorRows = 55;
extern const OwnCacheDescriptor ownCacheDescriptorTable[ownCacheDescriptorRows + 1];

// Size from the cpuid leaf-2 descriptors, or -1 when none is announced.
Prim32s ownCacheSizeFromDescriptors(const OwnCacheDescriptor* table);

// Cache size the large-size paths of the sse2, ssse3 and sse41 copy, zero
// and set kernels and of the image region kernels compare with, read afresh
// on every call (nothing is kept): on a processor of the reference vendor,
// the size ownCacheSizeFromDescriptors finds when it is 512 KiB or more (the
// first ownLargeCacheDescriptorRows rows of the table); 0 otherwise.  With
// needsLeaf2, a highest standard leaf below 2 gives 0 as well (the region
// kernels check it, the copy, zero and set kernels do not).
inline constexpr int ownLargeCacheDescriptorRows = 43;
Prim64s ownLargeCacheSizeFromDescriptors(bool needsLeaf2);

// ownLargeCacheSizeFromDescriptors(false), unless primTestSetKernelCacheSize
// replaces it.
Prim64s ownKernelCacheSizeFromDescriptors();

// Cache size the avx and avx2 large kernels compare with: the size of
// primQueryLargestCacheSize when it reports success, else 0.
Prim64s ownKernelLargestCacheSize();

// Counts the calls of a copy, zero or set kernel that took its non-temporal
// path (read by the tests to see that those paths ran).
void ownNoteNonTemporalPath();
