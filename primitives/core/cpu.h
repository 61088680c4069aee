// Processor detection and build selection.
#pragma once

#include "primitives/core/prim_types.h"

// Detects the processor features (once per process) and stores the mask in
// *pMask.  With regs non-null, fills regs with cpuid leaf 1, or with the leaf
// and sub-leaf the caller placed in regs[0] and regs[2] when *pMask held the
// tag "getinfoa" on entry.
PrimResult primGetCpuFeatureMask(PrimCpuFeatureMask* pMask, Prim32u regs[4]);

// Chooses the processor generation whose builds every primitive runs.
PrimResult primInitCpuDispatch();
