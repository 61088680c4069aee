// The code-block decoder of one generation: the refinement and clean-up
// scans, and the five coding passes the driver runs.  Each pass decodes one
// whole pass at the plane in the pass cursor and returns 1 when it found
// damaged data, else 0.
#pragma once

#include "primitives/jpeg2000/codeblock_significance-inl.h"

namespace prim::PRIM_GEN_NS {
namespace cb {

// The four bits 1010 that end a clean-up pass with segmentation symbols.
constexpr u32 kSegmentationSymbol = 0xA;

// The refinement pass gathers the samples it codes in a group of 16 columns
// of a stripe into one mask (4 bits a column, row r in bit r) before it
// codes any, then visits the set bits: the tests of the rows and columns
// with nothing to code take no branch, and the loop's one branch is
// mispredicted about once a group rather than once a column.
constexpr int kRefineGroup = 16;

template <class Bits>
PRIM_CB_INLINE void refinementScan(const Pass& P, Bits& bits) {
  const u32 planeBit = P.planeBit;
  const i64 dstStep = P.dstStep;
  for (int y0 = 0; y0 < P.height; y0 += 4) {
    const int rows = P.height - y0 < 4 ? P.height - y0 : 4;
    // Rows of the stripe (a state kept from a taller code-block may hold
    // flags below the last row).
    const u32 rowMask = (1u << rows) - 1u;
    u32* const stripe = P.flags + (1 + y0 / 4) * P.fs + 1;
    u8* const cs = P.dst + y0 * dstStep;
    for (int x0 = 0; x0 < P.width; x0 += kRefineGroup) {
      const int n = P.width - x0 < kRefineGroup ? P.width - x0 : kRefineGroup;
      u32* const w = stripe + x0;
      u8* const c = cs + 4 * x0;
      // The samples to code, and their contexts: bit 4x + r of refined set
      // for context 18, else of nb for 17 (a significant neighbour); the
      // pass changes neither for a sample before coding it.
      std::uint64_t todo = 0;
      std::uint64_t refined = 0;
      std::uint64_t nb = 0;
      for (int x = 0; x < n; ++x) {
        // Rows significant and not visited: sigma of row r is bit 3r + 4,
        // the visited bits 24 + r, the refined ones 28 + r.
        const u32 f = w[x];
        const u32 sig = f >> 4;
        const u32 rowsSig = (sig & 1u) | ((sig >> 2) & 2u) | ((sig >> 4) & 4u) | ((sig >> 6) & 8u);
        const u32 rowsNb = static_cast<u32>((f & kNeighbours) != 0) |
                           (static_cast<u32>(((f >> 3) & kNeighbours) != 0) << 1) |
                           (static_cast<u32>(((f >> 6) & kNeighbours) != 0) << 2) |
                           (static_cast<u32>(((f >> 9) & kNeighbours) != 0) << 3);
        todo |= static_cast<std::uint64_t>(rowsSig & ~(f >> 24) & rowMask) << (4 * x);
        refined |= static_cast<std::uint64_t>(f >> 28) << (4 * x);
        nb |= static_cast<std::uint64_t>(rowsNb & ~(f >> 28)) << (4 * x);
      }
      while (todo) {
        const int i = lowestBit(todo);
        todo &= todo - 1;
        // Bit 4x + r: the word and the coefficient of column x lie 4x bytes
        // from the group's first ones.  The sample gets its next magnitude
        // bit: the bits below the plane are cleared, the plane's bit is set
        // from the decision and the half bit below it is set (the midpoint
        // of the interval).
        const int x4 = i & 4 * (kRefineGroup - 1);
        const int r = i & 3;
        const u32 k = 2u * static_cast<u32>((refined >> i) & 1u) + static_cast<u32>((nb >> i) & 1u);
        const u32 b = bits.refinementIn(k);
        u8* const p = opaque(c) + x4 + r * dstStep;
        store32(p, (load32(p) & (0u - (planeBit << 1))) | (planeBit & (0u - b)) | (planeBit >> 1));
        if (Bits::kMarksRefined) {
          u32* const wx = reinterpret_cast<u32*>(reinterpret_cast<u8*>(opaque(w)) + x4);
          *wx |= refinedBit(0) << r;
        }
      }
    }
  }
}

// End of an MQ-coded pass: termination check, then the context reset.
inline u32 endMqPass(State* s, MqPass& q, u32 damaged, u32 reset, u32 termCheck) {
  syncMq(q);
  if (termCheck && mqTerminationDamaged(q.m)) damaged = 1;
  storeMqPass(q, s);
  if (reset) owniResetContexts(s->mq.state, s->mq.mps);
  return damaged;
}

inline u32 owniCodeBlockSignificancePass(State* s, u32 causal, u32 reset, u32 termCheck) {
  Pass P;
  setUpPass(s, P);
  MqPass q;
  loadMqPass(q, s);
  MqBits bits{q, P.zc};
  if (isCommonShape(P, causal))
    significanceScan(commonShape(P), bits, 0);
  else
    significanceScan(P, bits, causal);
  storeCursors(s, P);
  return endMqPass(s, q, 0, reset, termCheck);
}

inline u32 owniCodeBlockRefinementPass(State* s, u32 reset, u32 termCheck) {
  Pass P;
  setUpPass(s, P);
  MqPass q;
  loadMqPass(q, s);
  MqBits bits{q, P.zc};
  if (isCommonShape(P, 0))
    refinementScan(commonShape(P), bits);
  else
    refinementScan(P, bits);
  storeCursors(s, P);
  return endMqPass(s, q, 0, reset, termCheck);
}

inline u32 owniCodeBlockRawSignificancePass(State* s, u32 causal, u32 paddingCheck) {
  Pass P;
  setUpPass(s, P);
  Raw r;
  loadRaw(r, s);
  RawBits bits{r};
  significanceScan(P, bits, causal);
  storeCursors(s, P);
  storeRaw(r, s);
  return paddingCheck ? rawPaddingDamaged(r) : 0u;
}

inline u32 owniCodeBlockRawRefinementPass(State* s) {
  Pass P;
  setUpPass(s, P);
  Raw r;
  loadRaw(r, s);
  RawBits bits{r};
  refinementScan(P, bits);
  storeCursors(s, P);
  storeRaw(r, s);
  return rawPaddingDamaged(r);
}

// Row r of the clean-up pass: a sample neither significant nor visited is
// coded.
template <int r>
PRIM_CB_INLINE void cleanupRow(const Pass& P, MqBits& bits, u32& f, u32* w, u8* c, bool skipAbove) {
  if (f & (sigBit(r) | visitBit(r))) return;
  if (!bits.significance(f >> (3 * r))) return;
  const u32 neg = bits.sign(signIndex<r>(f, w));
  store32(opaque(c) + r * P.dstStep, (neg << 31) | P.newMag);
  markSignificant<r>(f, w, P.fs, neg, skipAbove);
}

// The first significant sample of a run-length column, at row r: its sign,
// then the rows below it as usual.
template <int r>
PRIM_CB_INLINE void cleanupRunFrom(const Pass& P, MqBits& bits, u32& f, u32* w, u8* c, bool skipAbove) {
  const u32 neg = bits.sign(signIndex<r>(f, w));
  store32(opaque(c) + r * P.dstStep, (neg << 31) | P.newMag);
  markSignificant<r>(f, w, P.fs, neg, skipAbove);
  if (r < 1) cleanupRow<1>(P, bits, f, w, c, false);
  if (r < 2) cleanupRow<2>(P, bits, f, w, c, false);
  if (r < 3) cleanupRow<3>(P, bits, f, w, c, false);
}

PRIM_CB_INLINE void cleanupScan(const Pass& P, MqPass& q, bool skipAbove) {
  MqBits bits{q, P.zc};
  for (int y0 = 0; y0 < P.height; y0 += 4) {
    const int rows = P.height - y0 < 4 ? P.height - y0 : 4;
    u32* w = P.flags + (1 + y0 / 4) * P.fs + 1;
    u8* c = P.dst + y0 * P.dstStep;
    if (rows < 4) {
      // A short last stripe never runs in run-length mode.
      for (int x = 0; x < P.width; ++x, ++w, c += 4) {
        u32 f = *w;
        cleanupRow<0>(P, bits, f, w, c, skipAbove);
        if (rows > 1) cleanupRow<1>(P, bits, f, w, c, false);
        if (rows > 2) cleanupRow<2>(P, bits, f, w, c, false);
        *w = f & ~kVisitRows;
      }
      continue;
    }
    for (int x = 0; x < P.width; ++x, ++w, c += 4) {
      u32 f = *w;
      if (f == 0) {
        // Run-length mode: no sample of the column nor any neighbour is
        // significant; one decision for the whole column.
        if (!mqDecide(q, kRunLengthContext)) continue;
        u32 row = mqDecide(q, kUniformContext) << 1;
        row |= mqDecide(q, kUniformContext);
        switch (row) {
          case 0:
            cleanupRunFrom<0>(P, bits, f, w, c, skipAbove);
            break;
          case 1:
            cleanupRunFrom<1>(P, bits, f, w, c, false);
            break;
          case 2:
            cleanupRunFrom<2>(P, bits, f, w, c, false);
            break;
          default:
            cleanupRunFrom<3>(P, bits, f, w, c, false);
            break;
        }
        *w = f;
        continue;
      }
      cleanupRow<0>(P, bits, f, w, c, skipAbove);
      cleanupRow<1>(P, bits, f, w, c, false);
      cleanupRow<2>(P, bits, f, w, c, false);
      cleanupRow<3>(P, bits, f, w, c, false);
      *w = f & ~kVisitRows;
    }
  }
}

inline u32 owniCodeBlockCleanupPass(State* s, u32 causal, u32 segSymbol, u32 reset, u32 termCheck) {
  Pass P;
  setUpPass(s, P);
  MqPass q;
  loadMqPass(q, s);
  if (isCommonShape(P, causal)) {
    cleanupScan(commonShape(P), q, false);
  } else {
    cleanupScan(P, q, causal != 0);
  }
  u32 damaged = 0;
  if (segSymbol) {
    u32 sym = mqDecide(q, kUniformContext) << 3;
    sym |= mqDecide(q, kUniformContext) << 2;
    sym |= mqDecide(q, kUniformContext) << 1;
    sym |= mqDecide(q, kUniformContext);
    if (sym != kSegmentationSymbol) damaged = 1;
  }
  storeCursors(s, P);
  return endMqPass(s, q, damaged, reset, termCheck);
}

}  // namespace cb
}  // namespace prim::PRIM_GEN_NS
