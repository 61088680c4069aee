// Dispatch of a public primitive to the build of the current processor
// generation.
//
// Each public primitive owns a constant PrimDispatchTable of seven entries in
// PrimCpuGeneration order (px, sse2, ssse3, movbe, sse41, avx, avx2).  A
// generation without a build of its own repeats another generation's entry.
// The public entry reads the generation index and calls the entry with the
// caller's arguments unchanged; with optimisation the call is a tail jump.
//
//   static constexpr PrimDispatchTable<decltype(&px_vecCopy_8u)> tblCopy8u{{
//       px_vecCopy_8u, sse2_vecCopy_8u, ssse3_vecCopy_8u, ssse3_vecCopy_8u,
//       sse41_vecCopy_8u, avx_vecCopy_8u, avx_vecCopy_8u}};
//   PrimResult vecCopy_8u(const Prim8u* s, Prim8u* d, int n) {
//     return primDispatch(tblCopy8u)(s, d, n);
//   }
//
// Builds call the builds of their own generation directly, never a public
// entry.
#pragma once

#include <atomic>

#include "primitives/core/prim_types.h"

template <class Fn>
struct PrimDispatchTable {
  Fn entry[primGenerationCount];
};

// The generation chosen at start-up; px (0) until primInitCpuDispatch runs.
// Written only by primInitCpuDispatch and the test hook, read by every entry.
extern std::atomic<std::int32_t> ownCpuGenerationIndex;

inline std::int32_t primCurrentGeneration() noexcept {
  return ownCpuGenerationIndex.load(std::memory_order_relaxed);
}

template <class Fn>
inline Fn primDispatch(const PrimDispatchTable<Fn>& table) noexcept {
  return table.entry[primCurrentGeneration()];
}
