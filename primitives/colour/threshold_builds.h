// Builds and inner entries of the threshold primitives.  The ssse3 builds
// also serve movbe.
#pragma once

#include "primitives/core/prim_types.h"

// Relation codes of the shared entries.
using PrimThresholdRelation = std::int32_t;
inline constexpr PrimThresholdRelation primRelationLT = 0;
inline constexpr PrimThresholdRelation primRelationGT = 4;

#define PRIM_DECLARE_THRESHOLD_BUILDS(gen)                                      \
  PrimResult gen##_vecThreshold_LT_32f(const Prim32f*, Prim32f*, int, Prim32f); \
  PrimResult gen##_vecThreshold_GT_32f(const Prim32f*, Prim32f*, int, Prim32f); \
  PrimResult gen##_vecThreshold_LT_16s(const Prim16s*, Prim16s*, int, Prim16s); \
  PrimResult gen##_vecThreshold_GT_16s(const Prim16s*, Prim16s*, int, Prim16s); \
  PrimResult gen##_vecThreshold_LT_32s(const Prim32s*, Prim32s*, int, Prim32s); \
  PrimResult gen##_vecThreshold_GT_32s(const Prim32s*, Prim32s*, int, Prim32s);
PRIM_DECLARE_THRESHOLD_BUILDS(px)
PRIM_DECLARE_THRESHOLD_BUILDS(sse2)
PRIM_DECLARE_THRESHOLD_BUILDS(ssse3)
PRIM_DECLARE_THRESHOLD_BUILDS(sse41)
PRIM_DECLARE_THRESHOLD_BUILDS(avx)
PRIM_DECLARE_THRESHOLD_BUILDS(avx2)
#undef PRIM_DECLARE_THRESHOLD_BUILDS

// Checking entries: test the arguments (pointers, length, then the
// relation, -5 for anything but primRelationLT or primRelationGT) and run
// the core of their build.
PrimResult px_ownsThreshold_32f(const Prim32f*, Prim32f*, int, Prim32f, PrimThresholdRelation);
PrimResult px_ownsThreshold_16s(const Prim16s*, Prim16s*, int, Prim32s, PrimThresholdRelation);
#define PRIM_DECLARE_THRESHOLD_ENTRIES(gen)                                                          \
  PrimResult gen##_ownsThreshold_32f(const Prim32f*, Prim32f*, int, Prim32f, PrimThresholdRelation); \
  PrimResult gen##_ownsThreshold_16s(const Prim16s*, Prim16s*, int, Prim32s, PrimThresholdRelation);
PRIM_DECLARE_THRESHOLD_ENTRIES(sse2)
PRIM_DECLARE_THRESHOLD_ENTRIES(ssse3)
PRIM_DECLARE_THRESHOLD_ENTRIES(sse41)
#undef PRIM_DECLARE_THRESHOLD_ENTRIES
PrimResult avx_ownsThreshold_16s(const Prim16s*, Prim16s*, int, Prim32s, PrimThresholdRelation);
PrimResult avx2_ownsThreshold_16s(const Prim16s*, Prim16s*, int, Prim32s, PrimThresholdRelation);
