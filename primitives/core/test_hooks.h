// Test-only controls of the primitives core.  Production code never calls
// these; tests use them to run every build of a primitive on this machine.
#pragma once

#include "primitives/core/prim_types.h"

// Forces the generation whose builds every public primitive runs.  Refuses
// (primResultBadArgument) a generation outside 0..6 or one whose instruction
// sets this processor does not have; the current generation then stays.
PrimResult primTestForceGeneration(std::int32_t generation);

// True when this processor can run the builds of the generation.
bool primTestGenerationSupported(std::int32_t generation);
