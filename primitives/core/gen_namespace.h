// PRIM_GEN_NS names the namespace of the processor generation a primitives
// source is compiled for (px, sse2, ..., avx2; "generic" for tables, public
// entries and tests).  Header-only helpers included by generation sources
// put their code inside prim::PRIM_GEN_NS, so each generation gets its own
// copy and the linker can never hand one generation's copy to another.
#pragma once

#ifndef PRIM_GEN_NS
#define PRIM_GEN_NS generic
#endif

// PRIM_BUILD(vecAdd_32f) names the build of the generation being compiled
// (avx2_vecAdd_32f in an avx2 source), so one kernel header can define the
// builds of several generations.
#define PRIM_BUILD_CAT2(gen, name) gen##_##name
#define PRIM_BUILD_CAT(gen, name) PRIM_BUILD_CAT2(gen, name)
#define PRIM_BUILD(name) PRIM_BUILD_CAT(PRIM_GEN_NS, name)
