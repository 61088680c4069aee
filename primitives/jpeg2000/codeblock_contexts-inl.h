// The code-block decoder of one generation: the flag words that hold the
// code-block's significance, signs and marks, the context tables read
// through them, and the updates a newly significant sample makes.
#pragma once

#include "primitives/jpeg2000/codeblock_common-inl.h"

namespace prim::PRIM_GEN_NS {
namespace cb {

// Flag words.  The work area holds one 32-bit word per column of a stripe
// (four rows), in rows of flagStride bytes: row 0 and the row after the last
// stripe are borders, as are the words left and right of the code-block, so
// that no pass tests for the code-block's edges.  A word holds, for the
// column x of stripe rows 0..3:
//   bits 0..17   significance of columns x-1, x, x+1 (bits 3k, 3k+1, 3k+2)
//                in rows -1..4 (k = row + 1): the sample of row r and its
//                eight neighbours are bits 3r..3r+8, itself bit 3r+4;
//   bits 18..23  sign (1 negative) of column x in rows -1..4;
//   bits 24..27  visited by this plane's significance pass, rows 0..3;
//   bits 28..31  refined by an MQ-coded refinement pass, rows 0..3.

// Significance of column x + dx (dx -1 to 1) in row r (-1 to 4), and the
// position of the sign of row r, for rows known when compiling.
template <int r, int dx>
constexpr u32 kSigBitAt = 1u << (3 * r + 4 + dx);
template <int r>
constexpr int kSignShift = 19 + r;
// Significance of row r of column x.
constexpr u32 sigBit(int r) { return 1u << (3 * r + 4); }
constexpr u32 visitBit(int r) { return 1u << (24 + r); }
constexpr u32 kVisitRows = 0xFu << 24;
constexpr u32 refinedBit(int r) { return 1u << (28 + r); }
// The 9-bit window of row r is the word shifted right by 3r.
constexpr u32 kWindow = 0x1FFu;
constexpr u32 kWindowOwn = 0x10u;                   // the sample itself
constexpr u32 kNeighbours = kWindow & ~kWindowOwn;  // its eight neighbours

// Contexts of the MQ decoder: 0 uniform, 1 run-length, 2..10 zero coding
// (kZc), 11..15 sign (kSign), 16..18 refinement.
constexpr u32 kUniformContext = 0;
constexpr u32 kRunLengthContext = 1;
constexpr u32 kFirstRefinementContext = 16;

// Zero-coding contexts by band class (0 LL and LH, 1 HL, 2 HH) and the
// 9-bit window of a sample (bits 0..2 the row above, west to east, 3..5 its
// own row, 6..8 the row below; the sample's own bit is ignored).
struct ZcTables {
  u8 t[3][512];
};
constexpr ZcTables makeZcTables() {
  ZcTables z{};
  for (int cls = 0; cls < 3; ++cls)
    for (int i = 0; i < 512; ++i) {
      const int d = (i & 1) + ((i >> 2) & 1) + ((i >> 6) & 1) + ((i >> 8) & 1);
      int v = ((i >> 1) & 1) + ((i >> 7) & 1);
      int h = ((i >> 3) & 1) + ((i >> 5) & 1);
      int cx = 0;
      if (cls == 1) {  // HL: horizontal and vertical exchanged
        const int t = h;
        h = v;
        v = t;
      }
      if (cls < 2) {
        if (h == 2)
          cx = 10;
        else if (h == 1)
          cx = v >= 1 ? 9 : (d >= 1 ? 8 : 7);
        else if (v == 2)
          cx = 6;
        else if (v == 1)
          cx = 5;
        else
          cx = d >= 2 ? 4 : (d == 1 ? 3 : 2);
      } else {
        const int hv = h + v;
        if (d >= 3)
          cx = 10;
        else if (d == 2)
          cx = hv >= 1 ? 9 : 8;
        else if (d == 1)
          cx = hv >= 2 ? 7 : (hv == 1 ? 6 : 5);
        else
          cx = hv >= 2 ? 4 : (hv == 1 ? 3 : 2);
      }
      z.t[cls][i] = static_cast<u8>(cx);
    }
  return z;
}

// Sign contexts: index bit 0 west, 1 north, 2 east, 3 south significant,
// bits 4..7 the same neighbours negative.  Context in the low 4 bits, the
// bit to XOR with the decision in bit 7.
struct SignTable {
  u8 t[256];
};
constexpr SignTable makeSignTable() {
  SignTable s{};
  for (int i = 0; i < 256; ++i) {
    auto contrib = [&](int k) { return ((i >> k) & 1) ? (((i >> (k + 4)) & 1) ? -1 : 1) : 0; };
    int hs = contrib(0) + contrib(2);
    int vs = contrib(1) + contrib(3);
    hs = hs > 1 ? 1 : (hs < -1 ? -1 : hs);
    vs = vs > 1 ? 1 : (vs < -1 ? -1 : vs);
    int xr = 0;
    if (hs < 0 || (hs == 0 && vs < 0)) {
      xr = 1;
      hs = -hs;
      vs = -vs;
    }
    int cx;
    if (hs == 1)
      cx = vs == 1 ? 15 : (vs == 0 ? 14 : 13);
    else
      cx = vs == 1 ? 12 : 11;
    s.t[i] = static_cast<u8>(cx | (xr << 7));
  }
  return s;
}

// The significance pass's form: 0 where the sample is significant already
// (bit 4) or has no significant neighbour, so that one look-up decides
// whether the pass codes it.
constexpr ZcTables makeSignificancePassTables() {
  ZcTables z = makeZcTables();
  for (int cls = 0; cls < 3; ++cls)
    for (int i = 0; i < 512; ++i)
      if ((i & kWindowOwn) || (i & kNeighbours) == 0) z.t[cls][i] = 0;
  return z;
}

alignas(64) inline constexpr ZcTables kZc = makeZcTables();
alignas(64) inline constexpr ZcTables kZcSpp = makeSignificancePassTables();
alignas(64) inline constexpr SignTable kSign = makeSignTable();

// The same table in the order of signIndexAt.
constexpr SignTable makeSignAtTable() {
  SignTable s{};
  for (u32 j = 0; j < 256; ++j) {
    const u32 i = ((j >> 1) & 1u) | ((j & 1u) << 1) | (j & 0xCu) | (((j >> 6) & 1u) << 4) |
                  (((j >> 4) & 1u) << 5) | (((j >> 7) & 1u) << 6) | (((j >> 5) & 1u) << 7);
    s.t[j] = kSign.t[i];
  }
  return s;
}
alignas(64) inline constexpr SignTable kSignAt = makeSignAtTable();

// Sign-context index of row r of the column whose word is f, its west and
// east words beside it in memory.
template <int r>
PRIM_CB_INLINE u32 signIndex(u32 f, const u32* w) {
  const u32 nb = f >> (3 * r);
  return ((nb >> 3) & 1u) | (nb & 2u) | ((nb >> 3) & 4u) | ((nb >> 4) & 8u) |
         (((w[-1] >> (kSignShift<r>)) & 1u) << 4) | (((f >> (kSignShift<r - 1>)) & 1u) << 5) |
         (((w[1] >> (kSignShift<r>)) & 1u) << 6) | (((f >> (kSignShift<r + 1>)) & 1u) << 7);
}

// Row 0 of the column at w became significant with sign neg: the words of
// the stripe above see it in their row 4.
PRIM_CB_INLINE void markStripeAbove(u32* w, i64 fs, u32 neg) {
  w[-fs] |= kSigBitAt<4, 0> | (neg << kSignShift<4>);
  w[-fs - 1] |= kSigBitAt<4, 1>;
  w[-fs + 1] |= kSigBitAt<4, -1>;
}
// The same for row 3 and the stripe below, in its row -1.
PRIM_CB_INLINE void markStripeBelow(u32* w, i64 fs, u32 neg) {
  w[fs] |= kSigBitAt<-1, 0> | (neg << kSignShift<-1>);
  w[fs - 1] |= kSigBitAt<-1, 1>;
  w[fs + 1] |= kSigBitAt<-1, -1>;
}

// Row r of the column at w became significant with sign neg: its own word
// (held in f) and the words around it learn it.  Row 0 under vertically
// causal coding leaves the stripe above alone.
template <int r>
PRIM_CB_INLINE void markSignificant(u32& f, u32* w, i64 fs, u32 neg, bool skipAbove) {
  f |= sigBit(r) | (neg << kSignShift<r>);
  w = opaque(w);
  w[-1] |= kSigBitAt<r, 1>;
  w[1] |= kSigBitAt<r, -1>;
  if constexpr (r == 0) {
    if (!skipAbove) markStripeAbove(w, fs, neg);
  }
  if constexpr (r == 3) markStripeBelow(w, fs, neg);
}

// The sign index for a row known only at run time, in an order of its own
// that takes fewer steps to gather: bit 0 north, 1 west, 2 east, 3 south
// significant, 4 north, 5 south, 6 west, 7 east negative.  (Shifts in every
// build: a bit-gather instruction would save a few, but is microcoded and
// many times slower on some processors of the avx2 generation.)
PRIM_CB_INLINE u32 signIndexAt(u32 f, const u32* w, int r) {
  const u32 nb = f >> (3 * r + 1);
  const u32 own = (nb & 1u) | ((nb >> 1) & 2u) | ((nb >> 2) & 4u) | ((nb >> 3) & 8u) |
                  ((f >> (14 + r)) & 0x10u) | ((f >> (15 + r)) & 0x20u);
  return own | ((w[-1] >> (13 + r)) & 0x40u) | ((w[1] >> (12 + r)) & 0x80u);
}
// Row r of the column at w, already marked significant in its word and in
// the west and east words, gets its sign, and the stripes above and below
// learn of it.
PRIM_CB_INLINE void markSignAt(u32* w, i64 fs, u32 neg, int r, bool skipAbove) {
  w[0] |= neg << (kSignShift<0> + r);
  if (r == 0) {
    if (!skipAbove) markStripeAbove(w, fs, neg);
  } else if (r == 3) {
    markStripeBelow(w, fs, neg);
  }
}

}  // namespace cb
}  // namespace prim::PRIM_GEN_NS
