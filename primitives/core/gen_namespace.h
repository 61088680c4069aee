// PRIM_GEN_NS names the namespace of the processor generation a primitives
// source is compiled for (px, sse2, ..., avx2; "generic" for tables, public
// entries and tests).  Header-only helpers included by generation sources
// put their code inside prim::PRIM_GEN_NS, so each generation gets its own
// copy and the linker can never hand one generation's copy to another.
#pragma once

#include "primitives/core/prim_types.h"

#ifndef PRIM_GEN_NS
#define PRIM_GEN_NS generic
#endif

// PRIM_BUILD(vecAdd_32f) names the build of the generation being compiled
// (avx2_vecAdd_32f in an avx2 source), so one kernel header can define the
// builds of several generations.
#define PRIM_BUILD_CAT2(gen, name) gen##_##name
#define PRIM_BUILD_CAT(gen, name) PRIM_BUILD_CAT2(gen, name)
#define PRIM_BUILD(name) PRIM_BUILD_CAT(PRIM_GEN_NS, name)

// PRIM_GEN_LEVEL is the generation being compiled as a PrimCpuGeneration
// value the preprocessor can compare, so that a header several generations
// include can differ between them:
//
//   #if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE41
//
// Generic sources count as px.  The level follows PRIM_GEN_NS alone; the
// checks below make sure the source's flags give the instructions it names.
#define PRIM_LEVEL_PX 0
#define PRIM_LEVEL_SSE2 1
#define PRIM_LEVEL_SSSE3 2
#define PRIM_LEVEL_MOVBE 3
#define PRIM_LEVEL_SSE41 4
#define PRIM_LEVEL_AVX 5
#define PRIM_LEVEL_AVX2 6

#define PRIM_LEVEL_OF_generic PRIM_LEVEL_PX
#define PRIM_LEVEL_OF_px PRIM_LEVEL_PX
#define PRIM_LEVEL_OF_sse2 PRIM_LEVEL_SSE2
#define PRIM_LEVEL_OF_ssse3 PRIM_LEVEL_SSSE3
#define PRIM_LEVEL_OF_movbe PRIM_LEVEL_MOVBE
#define PRIM_LEVEL_OF_sse41 PRIM_LEVEL_SSE41
#define PRIM_LEVEL_OF_avx PRIM_LEVEL_AVX
#define PRIM_LEVEL_OF_avx2 PRIM_LEVEL_AVX2
#define PRIM_GEN_LEVEL PRIM_BUILD_CAT(PRIM_LEVEL_OF, PRIM_GEN_NS)

#if (PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX2 && !defined(__AVX2__)) ||    \
    (PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX && !defined(__AVX__)) ||      \
    (PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE41 && !defined(__SSE4_1__)) || \
    (PRIM_GEN_LEVEL == PRIM_LEVEL_MOVBE && !defined(__MOVBE__)) ||  \
    (PRIM_GEN_LEVEL >= PRIM_LEVEL_SSSE3 && !defined(__SSSE3__))
#error "PRIM_GEN_NS names a generation whose instructions the compiler flags do not give"
#endif
// The sse41 builds run on processors with SSE4.1 and nothing newer.
#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSE41 && (defined(__SSE4_2__) || defined(__POPCNT__))
#error "the sse41 builds must be compiled for SSE4.1 alone"
#endif

static_assert(PRIM_LEVEL_PX == primGenPx && PRIM_LEVEL_SSE2 == primGenSse2 &&
                  PRIM_LEVEL_SSSE3 == primGenSsse3 && PRIM_LEVEL_MOVBE == primGenMovbe &&
                  PRIM_LEVEL_SSE41 == primGenSse41 && PRIM_LEVEL_AVX == primGenAvx &&
                  PRIM_LEVEL_AVX2 == primGenAvx2,
              "the generation levels are the PrimCpuGeneration values");
