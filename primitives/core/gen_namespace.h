// PRIM_GEN_NS names the namespace of the processor generation a primitives
// source is compiled for (px, sse2, ..., avx2; "generic" for tables, public
// entries and tests).  Header-only helpers included by generation sources
// put their code inside prim::PRIM_GEN_NS, so each generation gets its own
// copy and the linker can never hand one generation's copy to another.
#pragma once

#ifndef PRIM_GEN_NS
#define PRIM_GEN_NS generic
#endif
