// Read-only tables of the code-block decoder that exist once and are read by
// every build: the MQ coder's probability states and the initial values of
// the 19 contexts.
#pragma once

#include "primitives/core/prim_types.h"

namespace prim::cbshared {

// One row of the probability-state table: Qe, the row after an MPS, the row
// after an LPS, and whether an LPS exchanges the MPS.
struct MqRow {
  Prim32u qe;
  Prim32u nmps;
  Prim32u nlps;
  Prim32u switchMps;
};

extern const MqRow mqStateTable[47];

// Initial state row and MPS of contexts 0 (uniform), 1 (run-length),
// 2..10 (significance), 11..15 (sign) and 16..18 (refinement).
extern const Prim32u contextInitialStates[19];
extern const Prim32u contextInitialMps[19];

}  // namespace prim::cbshared
