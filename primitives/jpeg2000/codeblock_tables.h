// Read-only tables of the code-block decoder read by every build: the MQ
// coder's probability states and the initial values of the 19 contexts.
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

alignas(64) inline constexpr MqRow mqStateTable[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},  {0x0521, 5, 29, 0},
    {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},  {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0},
    {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0}, {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1},
    {0x5401, 16, 14, 0}, {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0}, {0x1C01, 25, 22, 0},
    {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0}, {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0},
    {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0}, {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0},
    {0x02A1, 36, 33, 0}, {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0}, {0x0005, 45, 42, 0},
    {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
};

// The same table by decoder state, where a state is 2 x row + MPS: Qe and
// the states after an MPS and after an LPS (with the MPS exchanged where the
// row says so).  A pass keeps its contexts in this form.
struct MqEntry {
  Prim32u qe;
  Prim8u nmps;
  Prim8u nlps;
  Prim8u unused[2];
};
struct MqEntries {
  MqEntry e[94];
};
constexpr MqEntries makeMqEntries() {
  MqEntries t{};
  for (int i = 0; i < 47; ++i)
    for (int mps = 0; mps < 2; ++mps) {
      const MqRow& r = mqStateTable[i];
      MqEntry& e = t.e[2 * i + mps];
      e.qe = r.qe;
      e.nmps = static_cast<Prim8u>(2 * r.nmps + static_cast<Prim32u>(mps));
      e.nlps = static_cast<Prim8u>(2 * r.nlps + (static_cast<Prim32u>(mps) ^ r.switchMps));
    }
  return t;
}
// Internal linkage: each processor build's object holds its own copy, so no
// symbol is shared between builds.
alignas(64) constexpr MqEntries mqEntries = makeMqEntries();

// Initial state row and MPS of contexts 0 (uniform), 1 (run-length),
// 2..10 (significance), 11..15 (sign) and 16..18 (refinement).
extern const Prim32u contextInitialStates[19];
extern const Prim32u contextInitialMps[19];

}  // namespace prim::cbshared
