// Dispatch of a public primitive to the build of the current processor
// generation.
//
// Each public primitive owns a constant PrimDispatchTable of seven entries in
// PrimCpuGeneration order (px, sse2, ssse3, movbe, sse41, avx, avx2).  A
// generation without a build of its own repeats another generation's entry.
// The public entry reads the generation index and calls the entry with the
// caller's arguments unchanged; with optimisation the call is a tail jump.
//
// Tables are written with one of two macros, which name the table of the
// primitive `name` tbl_<name>:
//
//   PRIM_DISPATCH_TABLE(name)  the standard row: the px, sse2, ssse3, sse41,
//       avx and avx2 builds of `name` in their own slots, and the ssse3 build
//       in the movbe slot.
//   PRIM_DISPATCH_TABLE_ROW(name, px, sse2, ssse3, movbe, sse41, avx, avx2)
//       the row spelled out, for a primitive whose slots differ from the
//       standard row (a movbe build of its own, a slot that runs the build of
//       an earlier generation).  Say in a comment above it why.
//
// Only those deliberate exceptions are spelled out; every other table is a
// standard row.
//
//   namespace {
//   PRIM_DISPATCH_TABLE(vecCopy_8u);
//   // The sse41 slot runs the ssse3 build.
//   PRIM_DISPATCH_TABLE_ROW(vecAdd_32f, px_vecAdd_32f, sse2_vecAdd_32f, ssse3_vecAdd_32f,
//                           ssse3_vecAdd_32f, ssse3_vecAdd_32f, avx_vecAdd_32f,
//                           avx2_vecAdd_32f);
//   }  // namespace
//   PrimResult vecCopy_8u(const Prim8u* s, Prim8u* d, int n) {
//     return primDispatch(tbl_vecCopy_8u)(s, d, n);
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

// The table's type comes from the px build, so every other entry must have
// exactly its signature.
#define PRIM_DISPATCH_TABLE_ROW(name, buildPx, buildSse2, buildSsse3, buildMovbe, buildSse41, buildAvx, \
                                buildAvx2)                                                              \
  constexpr PrimDispatchTable<decltype(&px_##name)> tbl_##name {                                        \
    { buildPx, buildSse2, buildSsse3, buildMovbe, buildSse41, buildAvx, buildAvx2 }                     \
  }
#define PRIM_DISPATCH_TABLE(name)                                                                 \
  PRIM_DISPATCH_TABLE_ROW(name, px_##name, sse2_##name, ssse3_##name, ssse3_##name, sse41_##name, \
                          avx_##name, avx2_##name)

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
