// Dispatch tables of the copy, zero and set primitives.  The byte primitives
// have public entries (vec_memory.h); the 16-bit and 32-bit ones are reached
// only through their builds, or through these tables (tests, benchmarks).
#pragma once

#include "primitives/core/dispatch.h"
#include "primitives/core/prim_types.h"

using PrimVecCopy8uFn = PrimResult (*)(const Prim8u*, Prim8u*, int);
using PrimVecCopy16sFn = PrimResult (*)(const Prim16s*, Prim16s*, int);
using PrimVecCopy32sFn = PrimResult (*)(const Prim32s*, Prim32s*, int);
using PrimVecZero8uFn = PrimResult (*)(Prim8u*, int);
using PrimVecZero16sFn = PrimResult (*)(Prim16s*, int);
using PrimVecZero32sFn = PrimResult (*)(Prim32s*, int);
using PrimVecSet8uFn = PrimResult (*)(Prim8u, Prim8u*, int);
using PrimVecSet16sFn = PrimResult (*)(Prim16s, Prim16s*, int);
using PrimVecSet32sFn = PrimResult (*)(Prim32s, Prim32s*, int);

extern const PrimDispatchTable<PrimVecCopy8uFn> tbl_vecCopy_8u;
extern const PrimDispatchTable<PrimVecCopy16sFn> tbl_vecCopy_16s;
extern const PrimDispatchTable<PrimVecCopy32sFn> tbl_vecCopy_32s;
extern const PrimDispatchTable<PrimVecZero8uFn> tbl_vecZero_8u;
extern const PrimDispatchTable<PrimVecZero16sFn> tbl_vecZero_16s;
extern const PrimDispatchTable<PrimVecZero32sFn> tbl_vecZero_32s;
extern const PrimDispatchTable<PrimVecSet8uFn> tbl_vecSet_8u;
extern const PrimDispatchTable<PrimVecSet16sFn> tbl_vecSet_16s;
extern const PrimDispatchTable<PrimVecSet32sFn> tbl_vecSet_32s;
