// The code-block decoder itself, compiled once per processor generation.
//
// Each codeblock_<gen>.cpp defines PRIM_CB_BUILD (0 px, 1 sse2, 2 ssse3,
// 4 sse41, 5 avx, 6 avx2) and includes this header; everything here lives in
// that generation's namespace.  The builds run the same algorithm on the same
// state and give the same results bit for bit; they differ only in how the
// contexts are reset (vector moves from sse2 on) and in the instructions the
// compiler picks for each generation.  The layout of the flag words is
// described with the coding passes below.
#pragma once

#include <cstdint>
#include <cstring>

#include "primitives/core/gen_namespace.h"
#include "primitives/jpeg2000/codeblock.h"
#include "primitives/jpeg2000/codeblock_tables.h"

#ifndef PRIM_CB_BUILD
#error "define PRIM_CB_BUILD before including codeblock_kernels.h"
#endif
#if PRIM_CB_BUILD >= 1
#include <immintrin.h>
#endif

// The decision and its callers fold into each pass, so that the MQ registers
// stay in processor registers through a whole pass.
#define PRIM_CB_INLINE __attribute__((always_inline)) inline
#define PRIM_CB_LAMBDA_INLINE __attribute__((always_inline))

namespace prim::PRIM_GEN_NS {
namespace cb {

using u8 = std::uint8_t;
using u32 = std::uint32_t;
using i32 = std::int32_t;
using i64 = std::int64_t;
using State = PrimCodeBlockDecoderState;

// ---------------------------------------------------------------------------
// Small helpers.

inline u8* stateBytes(State* s) { return reinterpret_cast<u8*>(s); }
inline u32 load32(const u8* p) {
  u32 v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(u8* p, u32 v) { std::memcpy(p, &v, 4); }
inline std::uint64_t load64(const u8* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline i64 align32(i64 v) { return (v + 31) & ~i64{31}; }
inline i64 flagStrideBytes(i64 width) { return align32(4 * width + 8); }
inline i64 workAreaBytes(i64 width, i64 height) { return flagStrideBytes(width) * ((height + 1) / 2 + 2); }

// Copies the initial context values into the state: the 19 states and the
// 19 MPS values lie back to back in the state and in the two tables.
inline void owniResetContexts(u32* st, u32* mps) {
  const u32* is = prim::cbshared::contextInitialStates;
  const u32* im = prim::cbshared::contextInitialMps;
#if PRIM_CB_BUILD == 0
  for (int i = 0; i < 19; ++i) {
    st[i] = is[i];
    mps[i] = im[i];
  }
#elif PRIM_CB_BUILD <= 4
  // Single words until the MPS array is 16-byte aligned, then four contexts
  // per step, then the rest.
  int i = 0;
  while (i < 19 && (reinterpret_cast<std::uintptr_t>(mps + i) & 15) != 0) {
    st[i] = is[i];
    mps[i] = im[i];
    ++i;
  }
  for (; i + 4 <= 19; i += 4) {
    const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(is + i));
    const __m128i vm = _mm_loadu_si128(reinterpret_cast<const __m128i*>(im + i));
    _mm_store_si128(reinterpret_cast<__m128i*>(mps + i), vm);
    if ((reinterpret_cast<std::uintptr_t>(st + i) & 15) == 0)
      _mm_store_si128(reinterpret_cast<__m128i*>(st + i), vs);
    else
      _mm_storeu_si128(reinterpret_cast<__m128i*>(st + i), vs);
  }
  for (; i < 19; ++i) {
    st[i] = is[i];
    mps[i] = im[i];
  }
#elif PRIM_CB_BUILD == 5
  for (int i = 0; i < 16; i += 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(st + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(is + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(mps + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(im + i)));
  }
  for (int i = 16; i < 19; ++i) {
    st[i] = is[i];
    mps[i] = im[i];
  }
#else
  for (int i = 0; i < 16; i += 8) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(st + i),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(is + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(mps + i),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(im + i)));
  }
  _mm256_zeroupper();
  for (int i = 16; i < 19; ++i) {
    st[i] = is[i];
    mps[i] = im[i];
  }
#endif
}

// ---------------------------------------------------------------------------
// MQ decoder.  A pass works on a copy of the state's MQ group and stores it
// back when it ends; the contexts are used in place.

struct Mq {
  const u8* seg;
  i32 len;
  i32 pos;  // index of the last byte taken into C
  u32 A;
  u32 C;
  i32 CT;
  u32 end;
  u32* st;
  u32* mps;
};

inline void loadMq(Mq& m, State* s) {
  m.seg = reinterpret_cast<const u8*>(static_cast<std::uintptr_t>(s->mq.segment));
  m.len = s->mq.length;
  m.pos = s->mq.position;
  m.A = s->mq.A;
  m.C = s->mq.C;
  m.CT = s->mq.CT;
  m.end = s->mq.end;
  m.st = s->mq.state;
  m.mps = s->mq.mps;
}
inline void storeMq(const Mq& m, State* s) {
  s->mq.position = m.pos;
  s->mq.A = m.A;
  s->mq.C = m.C;
  s->mq.CT = m.CT;
  s->mq.end = m.end;
}

// Starts the decoder on a new segment; the contexts keep their values.
inline void startMq(State* s, const u8* p, i32 len) {
  const u32 b = len > 0 ? p[0] : 0xFFu;
  const u32 b1 = len > 1 ? p[1] : 0xFFu;
  u32 c = (b ^ 0xFFu) << 16;
  i32 ct;
  i32 pos = 0;
  u32 end = 0;
  if (len > 0 && b != 0xFF) {
    c += 0xFF00u - (b1 << 8);
    ct = 8;
    pos = 1;
  } else if (b1 > 0x8F) {
    end = 1;
    ct = 8;
  } else {
    c += 0xFE00u - (b1 << 9);
    ct = 7;
    pos = 1;
  }
  s->mq.segment = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
  s->mq.length = len;
  s->mq.position = pos;
  s->mq.end = end;
  s->mq.C = c << 7;
  s->mq.CT = ct - 7;
  s->mq.A = 0x8000;
}

// Shifts that bring the top set bit of an 8-bit value up to bit 7 (index 0
// unused).
struct ShiftTable {
  u8 t[256];
};
constexpr ShiftTable makeShiftTable() {
  ShiftTable z{};
  for (int i = 1; i < 256; ++i) {
    int n = 0;
    while (((i << n) & 0x80) == 0) ++n;
    z.t[i] = static_cast<u8>(n);
  }
  return z;
}
alignas(64) inline constexpr ShiftTable kShift8 = makeShiftTable();

// Shifts that the bit-by-bit renormalisation would make on A: the number of
// leading zeros of its low 16 bits, 0 when bit 15 is set already.  Only the
// low 16 bits matter, as the loop tests bit 15 alone (A is 1 to 0xFFFF in
// any case: it is at least 0x8000 before each decision).
PRIM_CB_INLINE i32 mqShiftsFor(u32 a) {
  const u32 hi = static_cast<std::uint16_t>(a) >> 8;
  return hi ? kShift8.t[hi] : 8 + kShift8.t[static_cast<u8>(a)];
}

// Takes the next byte into C (0xFF bit stuffing; a marker or the end of the
// segment stops the input for good).
PRIM_CB_INLINE void mqByteIn(Mq& m) {
  if (m.end) {
    m.CT = 8;
    return;
  }
  const u32 b = m.pos < m.len ? m.seg[m.pos] : 0xFFu;
  const u32 b1 = m.pos + 1 < m.len ? m.seg[m.pos + 1] : 0xFFu;
  if (b != 0xFF) {
    ++m.pos;
    m.C += 0xFF00u - (b1 << 8);
    m.CT = 8;
  } else if (b1 > 0x8F) {
    m.end = 1;
    m.CT = 8;
  } else {
    ++m.pos;
    m.C += 0xFE00u - (b1 << 9);
    m.CT = 7;
  }
}

PRIM_CB_INLINE void mqRenormalise(Mq& m) {
  do {
    if (m.CT == 0) mqByteIn(m);
    m.A <<= 1;
    m.C <<= 1;
    --m.CT;
  } while ((m.A & 0x8000u) == 0);
}

// Renormalisation after an exchange, when A (1 to 0x7FFF) is known to need n
// shifts: the shifts that CT still covers are made at once, and a byte is
// taken in whenever CT runs out before bit 15 of A is reached, exactly where
// the bit-by-bit loop would take it.
PRIM_CB_INLINE void mqRenormaliseBy(Mq& m, i32 n) {
  while (__builtin_expect(n > m.CT, 0)) {
    m.A <<= m.CT;
    m.C <<= m.CT;
    n -= m.CT;
    m.CT = 0;
    mqByteIn(m);
  }
  m.A <<= n;
  m.C <<= n;
  m.CT -= n;
}
// The common path (A still at least 0x8000 after taking off Qe, and the code
// above it) is one branch; the renormalisation after an exchange shifts by
// the known count.
PRIM_CB_INLINE u32 owniMqDecodeSymbol(Mq& m, u32 cx) {
  const u32 I = m.st[cx];
  const prim::cbshared::MqRow& row = prim::cbshared::mqStateTable[I];
  const u32 qe = row.qe;
  const u32 a = m.A - qe;
  const u32 mps = m.mps[cx];
  const u32 chigh = m.C >> 16;
  if (__builtin_expect(a > chigh, 1) && (a & 0x8000u)) {
    m.A = a;
    return mps;
  }
  // The exchanges branch on the symbol: in the contexts that use this form
  // it is mostly well predicted.
  u32 d = mps;
  if (a > chigh) {
    if (a < qe) {
      d ^= 1u;
      m.st[cx] = row.nlps;
      if (row.switchMps) m.mps[cx] = d;
    } else {
      m.st[cx] = row.nmps;
    }
    m.A = a;
  } else {
    m.C -= a << 16;
    if (a < qe) {
      m.st[cx] = row.nmps;
    } else {
      d ^= 1u;
      m.st[cx] = row.nlps;
      if (row.switchMps) m.mps[cx] = d;
    }
    m.A = qe;
  }
  mqRenormaliseBy(m, mqShiftsFor(m.A));
  return d;
}
PRIM_CB_INLINE u32 owniMqDecodeUniformContext(Mq& m) { return owniMqDecodeSymbol(m, 0); }
PRIM_CB_INLINE u32 owniMqDecodeRunLengthContext(Mq& m) { return owniMqDecodeSymbol(m, 1); }
PRIM_CB_INLINE u32 decide(Mq& m, u32 cx) { return owniMqDecodeSymbol(m, cx); }
PRIM_CB_INLINE u32 decideUniform(Mq& m) { return owniMqDecodeUniformContext(m); }
PRIM_CB_INLINE u32 decideRunLength(Mq& m) { return owniMqDecodeRunLengthContext(m); }

// Predictable-termination check at the end of an MQ-coded pass: 1 when the
// segment does not end where the decoder stands.
inline u32 mqTerminationDamaged(Mq& m) {
  if (m.pos < m.len && m.seg[m.pos] != 0xFF && !m.end) return 1;
  i32 k = m.CT;
  if (k != 0) {
    if (!m.end) return 1;
    if (k == 1) return 0;
  } else {
    const u32 b1 = m.pos + 1 < m.len ? m.seg[m.pos + 1] : 0xFFu;
    if (!m.end && b1 < 0x90) return 1;
    m.CT = 8;
    k = 8;
  }
  const u32 q = 0x8000u >> (k - 1);
  const u32 a2 = m.A - q;
  if (a2 > (m.C >> 16)) {
    m.A = a2;
    return 1;
  }
  m.C -= a2 << 16;
  m.A = q;
  mqRenormalise(m);
  return 0;
}

// ---------------------------------------------------------------------------
// Raw (bypass) reader.

struct Raw {
  const u8* seg;
  i32 len;
  i32 pos;
  i32 bitPos;
  u32 cur;
};

inline void startRaw(State* s, const u8* p, i32 len) {
  s->raw.segment = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
  s->raw.length = len;
  s->raw.position = 0;
  s->raw.bitPosition = -1;
  s->raw.currentByte = 0;
}
inline void loadRaw(Raw& r, State* s) {
  r.seg = reinterpret_cast<const u8*>(static_cast<std::uintptr_t>(s->raw.segment));
  r.len = s->raw.length;
  r.pos = s->raw.position;
  r.bitPos = s->raw.bitPosition;
  r.cur = s->raw.currentByte;
}
inline void storeRaw(const Raw& r, State* s) {
  s->raw.position = r.pos;
  s->raw.bitPosition = r.bitPos;
  s->raw.currentByte = r.cur;
}
PRIM_CB_INLINE u32 rawBit(Raw& r) {
  if (r.bitPos < 0) {
    // After a 0xFF the next byte's top bit is a stuffed 0.
    r.bitPos = r.cur == 0xFF ? 6 : 7;
    r.cur = r.pos < r.len ? r.seg[r.pos] : 0xFFu;
    ++r.pos;
  }
#if PRIM_CB_BUILD == 6
  const u32 b = _bextr_u32(r.cur, static_cast<unsigned>(r.bitPos), 1);
#else
  const u32 b = (r.cur >> r.bitPos) & 1u;
#endif
  --r.bitPos;
  return b;
}
// The unread bits of the last byte must be the alternating padding 0101...
inline u32 rawPaddingDamaged(const Raw& r) {
  if (r.bitPos < 0) return 0;
  const u32 mask = (2u << r.bitPos) - 1u;
  return (r.cur & mask) != ((0x55u >> (7 - r.bitPos)) & mask) ? 1u : 0u;
}

// ---------------------------------------------------------------------------
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

constexpr u32 sigBit(int r) { return 1u << (3 * r + 4); }
constexpr u32 kSigRows = sigBit(0) | sigBit(1) | sigBit(2) | sigBit(3);
constexpr u32 visitBit(int r) { return 1u << (24 + r); }
constexpr u32 kVisitRows = 0xFu << 24;
constexpr u32 refinedBit(int r) { return 1u << (28 + r); }
constexpr u32 kNeighbours = 0x1EFu;  // the eight neighbours in a 9-bit window

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
      if ((i & 0x10) || (i & 0x1EF) == 0) z.t[cls][i] = 0;
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

// The same address, which the compiler may no longer derive from the loop
// counters: it would otherwise keep a pointer of its own for every
// neighbouring word and coefficient row a scan writes, and spill them.
template <class T>
PRIM_CB_INLINE T* opaque(T* p) {
  asm("" : "+r"(p));
  return p;
}

// Sign-context index of row r of the column whose word is f, its west and
// east words beside it in memory.
template <int r>
PRIM_CB_INLINE u32 signIndex(u32 f, const u32* w) {
  const u32 nb = f >> (3 * r);
  return ((nb >> 3) & 1u) | (nb & 2u) | ((nb >> 3) & 4u) | ((nb >> 4) & 8u) |
         (((w[-1] >> (19 + r)) & 1u) << 4) | (((f >> (18 + r)) & 1u) << 5) |
         (((w[1] >> (19 + r)) & 1u) << 6) | (((f >> (20 + r)) & 1u) << 7);
}

// Row r of the column at w became significant with sign neg: its own word
// (held in f) and the words around it learn it.  Row 0 under vertically
// causal coding leaves the stripe above alone.
template <int r>
PRIM_CB_INLINE void markSignificant(u32& f, u32* w, i64 fs, u32 neg, bool skipAbove) {
  f |= sigBit(r) | (neg << (19 + r));
  w = opaque(w);
  w[-1] |= 1u << (3 * r + 5);
  w[1] |= 1u << (3 * r + 3);
  if constexpr (r == 0) {
    if (!skipAbove) {
      w[-fs] |= (1u << 16) | (neg << 23);
      w[-fs - 1] |= 1u << 17;
      w[-fs + 1] |= 1u << 15;
    }
  }
  if constexpr (r == 3) {
    w[fs] |= (1u << 1) | (neg << 18);
    w[fs - 1] |= 1u << 2;
    w[fs + 1] |= 1u << 0;
  }
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
  w[0] |= neg << (19 + r);
  if (r == 0) {
    if (!skipAbove) {
      w[-fs] |= (1u << 16) | (neg << 23);
      w[-fs - 1] |= 1u << 17;
      w[-fs + 1] |= 1u << 15;
    }
  } else if (r == 3) {
    w[fs] |= (1u << 1) | (neg << 18);
    w[fs - 1] |= 1u << 2;
    w[fs + 1] |= 1u << 0;
  }
}

// ---------------------------------------------------------------------------
// Pass set-up.

struct Pass {
  u8* dst;
  i64 dstStep;
  int width;
  int height;
  u32* flags;  // entry 0 of flag row 0
  i64 fs;      // flag stride in entries
  u32 p;
  u32 planeBit;
  u32 newMag;
  u32 halfBit;
  u32 keepMask;
  const u8* zc;     // zero-coding contexts of the band
  const u8* zcSpp;  // the same for the significance pass, 0: not coded
};

inline void setUpPass(State* s, Pass& P) {
  P.dst = reinterpret_cast<u8*>(static_cast<std::uintptr_t>(s->geometry.destination));
  P.dstStep = s->geometry.dstStep;
  P.width = s->geometry.width;
  P.height = s->geometry.height;
  P.flags = reinterpret_cast<u32*>(stateBytes(s) + s->flagRecord.flagRows);
  P.fs = s->flagRecord.flagStride / 4;
  P.p = static_cast<u32>(s->pass.bitPlane);
  P.planeBit = 1u << P.p;
  P.newMag = (3u << P.p) >> 1;
  P.halfBit = (1u << P.p) >> 1;
  P.keepMask = ~0u << (P.p + 1);
  P.zc = kZc.t[s->flagCursor.sigTable];
  P.zcSpp = kZcSpp.t[s->flagCursor.sigTable];
  s->pass.planeBit = P.planeBit;
  s->pass.newMagnitude = P.newMag;
  s->pass.halfBit = P.halfBit;
  s->pass.keepMask = P.keepMask;
}

// The common code-block (32 x 32 samples without vertically causal coding)
// gets scans of its own, compiled with its size and flag stride as
// constants; the others take the general ones.
constexpr int kCommonSide = 32;
constexpr i64 kCommonStride = (4 * kCommonSide + 8 + 31) / 32 * 8;  // flagStrideBytes / 4
PRIM_CB_INLINE bool isCommonShape(const Pass& P, u32 causal) {
  return P.width == kCommonSide && P.height == kCommonSide && P.fs == kCommonStride && causal == 0;
}
PRIM_CB_INLINE Pass commonShape(const Pass& P) {
  Pass Q = P;
  Q.width = kCommonSide;
  Q.height = kCommonSide;
  Q.fs = kCommonStride;
  return Q;
}

// Leaves the cursors at the last stripe and column of the code-block.
inline void storeCursors(State* s, const Pass& P) {
  const int lastStripe = (P.height - 1) & ~3;
  const u32 rows = s->flagRecord.flagRows;
  const u32 stride = static_cast<u32>(s->flagRecord.flagStride);
  s->pass.stripeRow = lastStripe;
  s->flagCursor.currentRow = rows + static_cast<u32>(lastStripe / 2) * stride;
  s->flagCursor.columnEntry = s->flagCursor.currentRow + stride + 4u * static_cast<u32>(P.width);
  s->flagCursor.entry = s->flagCursor.columnEntry + (P.height - lastStripe > 2 ? stride : 0u);
}

// ---------------------------------------------------------------------------
// Decisions of the MQ-coded passes.  A pass holds the MQ registers and the
// 19 contexts (as decoder states, 2 x row + MPS) in a local MqPass; both go
// back to the state when it ends.

// A context in a pass is one word: Qe in the high 16 bits, the decoder
// state (2 x row + MPS) in the low ones, so that the common path of a
// decision needs a single load.  The table gives the words of the states
// after an MPS and after an LPS.
struct MqNext {
  u32 after[2];  // after an MPS, after an LPS
};
struct MqNextTable {
  MqNext t[94];
};
constexpr u32 contextWord(u32 state) { return (prim::cbshared::mqEntries.e[state].qe << 16) | state; }
constexpr MqNextTable makeMqNextTable() {
  MqNextTable z{};
  for (u32 i = 0; i < 94; ++i) {
    z.t[i].after[0] = contextWord(prim::cbshared::mqEntries.e[i].nmps);
    z.t[i].after[1] = contextWord(prim::cbshared::mqEntries.e[i].nlps);
  }
  return z;
}
alignas(64) inline constexpr MqNextTable kMqNext = makeMqNextTable();

// A pass keeps the MQ registers in a wider form.  A is held as A << 48 and
// C as C << 32, with the bits of the next bytes read ahead below it: a
// refill mostly takes in six bytes at once, so that the test for input is
// taken about once in six bytes rather than at every byte.  T counts the
// valid bits below C's 16-bit window: the 32-bit register's CT plus the
// bits read ahead.  The bits read ahead are added where the 32-bit register
// would add them once its bits above were shifted out, so the two agree bit
// for bit (no addition carries; the one kind of byte whose addition borrows,
// a stuffed byte of 0x80 to 0x8F, is taken in only when nothing is read
// ahead, as the 32-bit register would).  The last refill is recorded, so
// that the end of the pass can give back exactly the state of the 32-bit
// register: its byte position, CT, C and end flag.
struct MqPass {
  std::uint64_t A;
  std::uint64_t C;
  i32 T;
  const u8* bp;     // the byte last read
  const u8* fast;   // while bp lies before it, bp[0..8] are in the segment and no marker was met
  const u8* refBp;  // bp when the last refill began
  i32 refCount;     // bytes the last refill read; -1: no refill in this pass
  i32 refT;         // T just after the last refill
  i32 refSize;      // bits each byte of the last refill gave: 8, or 7 for one stuffed byte
  Mq m;
  u32 cx[19];
};

// Bits a refill makes available once a marker or the end of the segment
// is met: the input adds nothing from there on, so any shift is covered.
constexpr i32 kMqEndBits = 1 << 28;

inline void loadMqPass(MqPass& q, State* s) {
  loadMq(q.m, s);
  q.A = static_cast<std::uint64_t>(q.m.A) << 48;
  q.C = static_cast<std::uint64_t>(q.m.C) << 32;
  q.T = q.m.CT;
  q.bp = q.m.seg + q.m.pos;
  q.fast = (q.m.end || q.m.len < 9) ? q.m.seg : q.m.seg + (q.m.len - 8);
  q.refBp = q.bp;
  q.refCount = -1;
  q.refSize = 8;
  q.refT = 0;
  for (int i = 0; i < 19; ++i) {
    // The state rows come from the table, so are below 47; the bound only
    // keeps a look-up inside the table whatever the state holds.
    const u32 state = 2 * (s->mq.state[i] < 47 ? s->mq.state[i] : 46u) + (s->mq.mps[i] & 1u);
    q.cx[i] = contextWord(state);
  }
}

// Brings the Mq up to date with the pass's registers: the 32-bit register
// has taken in the bytes of the last refill whose bits were reached.
inline void syncMq(MqPass& q) {
  i32 ct;
  if (q.refCount < 0) {
    ct = q.T;
    q.m.pos = static_cast<i32>(q.bp - q.m.seg);
  } else {
    const i32 used = q.refT - q.T;  // at least 1: a refill is made for a shift
    i32 j = 0;
    while (j < q.refCount && q.refSize * (j + 1) < used) ++j;
    if (j < q.refCount) {
      ct = q.refSize * (j + 1) - used;
      q.m.pos = static_cast<i32>(q.refBp - q.m.seg) + j + 1;
      q.m.end = 0;
    } else {
      // Past the bytes read: the 32-bit register met the end, and has taken
      // in nothing (8 bits each time) since.
      const i32 past = used - q.refSize * q.refCount;
      ct = (0 - past) & 7;
      q.m.pos = static_cast<i32>(q.refBp - q.m.seg) + q.refCount;
      q.m.end = 1;
    }
  }
  q.m.A = static_cast<u32>(q.A >> 48);
  q.m.C = static_cast<u32>(q.C >> 32) & ~((1u << (16 - ct)) - 1u);
  q.m.CT = ct;
}
inline void storeMqPass(const MqPass& q, State* s) {
  storeMq(q.m, s);
  for (int i = 0; i < 19; ++i) {
    s->mq.state[i] = (q.cx[i] & 0xFFu) >> 1;
    s->mq.mps[i] = q.cx[i] & 1u;
  }
}

// A refill, made when all the bits below C's window are used (T = 0), the
// moment the 32-bit register takes in its next byte.  Mostly six bytes at
// once: when the byte last taken in and the five after it are not 0xFF,
// the six byte inputs that follow take in the six next bytes whole.
// Otherwise one byte input, as the 32-bit register makes it.
PRIM_CB_INLINE void mqRefill(MqPass& q) {
  const u8* p = q.bp;
  q.refBp = p;
  if (__builtin_expect(q.bp < q.fast, 1)) {
    const std::uint64_t z = ~load64(p);
    if (((z - 0x0101010101010101u) & ~z & 0x0000808080808080u) == 0) {
      q.C += ~__builtin_bswap64(load64(p + 1)) >> 16;
      q.bp = p + 6;
      q.T = 48;
      q.refT = 48;
      q.refCount = 6;
      q.refSize = 8;
      return;
    }
  }
  q.refCount = 0;
  if (q.m.end) {
    q.T = kMqEndBits;
    q.refT = q.T;
    return;
  }
  const i32 pos = static_cast<i32>(p - q.m.seg);
  const u32 b = pos < q.m.len ? p[0] : 0xFFu;
  const u32 b1 = pos + 1 < q.m.len ? p[1] : 0xFFu;
  i32 t;
  if (b != 0xFF) {
    q.C += static_cast<std::uint64_t>(0xFF00u - (b1 << 8)) << 32;
    t = 8;
  } else if (b1 > 0x8F) {
    q.m.end = 1;
    q.fast = q.m.seg;
    q.T = kMqEndBits;
    q.refT = q.T;
    return;
  } else {
    // 0x80 to 0x8F here make the addition borrow from the bits above, as in
    // the 32-bit register: nothing is read ahead.
    q.C += static_cast<std::uint64_t>(0xFE00u - (b1 << 9)) << 32;
    t = 7;
  }
  q.bp = p + 1;
  q.refSize = t;
  q.refCount = 1;
  q.T = t;
  q.refT = t;
}

// A becomes aNew shifted by n, its top bit reaching bit 63; C follows,
// with a refill whenever the bits below its window run out.
PRIM_CB_INLINE void mqPassShift(MqPass& q, std::uint64_t aNew, i32 n) {
  q.A = aNew << n;
  while (__builtin_expect(n > q.T, 0)) {
    q.C <<= q.T;
    n -= q.T;
    q.T = 0;
    mqRefill(q);
  }
  q.C <<= n;
  q.T -= n;
}

// Qe of a context word, in A's position.
PRIM_CB_INLINE std::uint64_t mqQe(u32 v) { return static_cast<std::uint64_t>(v & 0xFFFF0000u) << 32; }

// With A and Qe in the high 16 bits, "A - Qe above the high half of C" is
// simply (A - Qe) > C, as the low bits of A - Qe are 0.

// A decision in context word w (held in the pass's array or in a register).
PRIM_CB_INLINE u32 mqDecideWord(MqPass& q, u32& w) {
  const u32 v = w;
  const std::uint64_t qe = mqQe(v);
  const std::uint64_t a = q.A - qe;
  u32 d;
  std::uint64_t aNew;
  if (a > q.C) {
    if (__builtin_expect((a >> 63) != 0, 1)) {
      q.A = a;
      return v & 1u;
    }
    // The upper interval, too small: the symbol depends on A against Qe.
    const MqNext& e = kMqNext.t[v & 0xFFu];
    if (a < qe) {
      d = (v & 1u) ^ 1u;
      w = e.after[1];
    } else {
      d = v & 1u;
      w = e.after[0];
    }
    aNew = a;
  } else {
    const MqNext& e = kMqNext.t[v & 0xFFu];
    q.C -= a;
    if (a < qe) {
      d = v & 1u;
      w = e.after[0];
    } else {
      d = (v & 1u) ^ 1u;
      w = e.after[1];
    }
    aNew = qe;
  }
  // A lost its top bit here.
  mqPassShift(q, aNew, __builtin_clzll(aNew));
  return d;
}
PRIM_CB_INLINE u32 mqDecide(MqPass& q, u32 k) { return mqDecideWord(q, q.cx[k]); }

// The same decision without a branch on the symbol, for contexts whose
// symbols are close to even odds (where the branches above would be
// mispredicted often): A keeping its top bit simply means no shift and no
// state change.
PRIM_CB_INLINE u32 mqDecideEvenWord(MqPass& q, u32& w) {
  const u32 v = w;
  const std::uint64_t qe = static_cast<std::uint64_t>(v >> 16) << 48;
  // Both next words are read as soon as the context is known, and the
  // symbol only picks one: the look-up leaves the chain from one decision
  // to the next.
  const std::uint64_t both = load64(reinterpret_cast<const u8*>(kMqNext.t[v & 0xFFu].after));
  const std::uint64_t a = q.A - qe;
  // Masks rather than conditions: the compiler would branch on them, and
  // the symbols are close to even odds.
  const std::uint64_t lower = 0u - static_cast<std::uint64_t>(a <= q.C);
  const u32 lps = static_cast<u32>(a < qe) ^ static_cast<u32>(lower & 1u);
  // The new A by a conditional move: it starts the next decision.
  std::uint64_t aNew = qe;
  asm("cmp %[a], %[c]\n\t"
      "cmovb %[a], %[an]"
      : [an] "+r"(aNew)
      : [a] "r"(a), [c] "r"(q.C)
      : "cc");
  q.C -= a & lower;
  const i32 n = __builtin_clzll(aNew);
  const u32 next = static_cast<u32>(both >> (32 * lps));
  // A keeping its top bit (no shift) leaves the state as it is.
  w = static_cast<std::int64_t>(aNew) < 0 ? v : next;
  mqPassShift(q, aNew, n);
  return (v & 1u) ^ lps;
}
PRIM_CB_INLINE u32 mqDecideEven(MqPass& q, u32 k) { return mqDecideEvenWord(q, q.cx[k]); }

// The bits of a pass: from the MQ decoder with their contexts, or raw.  The
// decisions of the coding passes take the branch-free form (measured faster
// on cinema frames, where the significance, sign and refinement symbols are
// close to even odds); the run-length decisions, mostly 0, keep the branch.
struct MqBits {
  MqPass& q;
  const u8* zc;
  static constexpr bool kMarksRefined = true;
  PRIM_CB_INLINE u32 significance(u32 window) { return mqDecideEven(q, zc[window & 0x1FFu]); }
  PRIM_CB_INLINE u32 significanceIn(u32 context) { return mqDecideEven(q, context); }
  PRIM_CB_INLINE u32 sign(u32 index) { return signIn(kSign.t[index]); }
  // A sign by its entry in a sign table.
  PRIM_CB_INLINE u32 signIn(u32 sc) { return mqDecideEven(q, sc & 0xFu) ^ (sc >> 7); }
  // Context 16 + k: 18 once refined, else 16 or 17 by the neighbours.
  PRIM_CB_INLINE u32 refinementIn(u32 k) { return mqDecideEven(q, 16u + k); }
};
struct RawBits {
  Raw& r;
  static constexpr bool kMarksRefined = false;
  PRIM_CB_INLINE u32 significance(u32) { return rawBit(r); }
  PRIM_CB_INLINE u32 significanceIn(u32) { return rawBit(r); }
  PRIM_CB_INLINE u32 sign(u32) { return rawBit(r); }
  PRIM_CB_INLINE u32 signIn(u32) { return rawBit(r); }
  PRIM_CB_INLINE u32 refinementIn(u32) { return rawBit(r); }
};

// ---------------------------------------------------------------------------
// Coding passes.  Each decodes one whole pass at the plane in the pass
// cursor and returns 1 when it found damaged data, else 0.

struct Stripe {
  u32* w;    // word of column 0
  u8* c;     // coefficient of row 0, column 0
  int rows;  // 1 to 4
};

// Row r of the significance pass: a sample not yet significant with a
// significant neighbour is coded, and marked visited.
template <int r, class Bits>
PRIM_CB_INLINE void significanceRow(const Pass& P, Bits& bits, u32& f, u32* w, u8* c, bool skipAbove) {
  const u32 k = P.zcSpp[(f >> (3 * r)) & 0x1FFu];
  if (k == 0) return;
  if (bits.significanceIn(k)) {
    const u32 neg = bits.sign(signIndex<r>(f, w));
    store32(opaque(c) + r * P.dstStep, (neg << 31) | P.newMag);
    markSignificant<r>(f, w, P.fs, neg, skipAbove);
  }
  f |= visitBit(r);
}

template <int r, class Bits>
PRIM_CB_INLINE void significanceRowIf(const Pass& P, Bits& bits, u32& f, u32* w, u8* c, int rows,
                                      bool skipAbove) {
  if (r < rows) significanceRow<r>(P, bits, f, w, c, skipAbove);
}

// Index of the lowest set bit of a non-zero mask.  Below avx2, a reverse
// bit scan of the isolated bit: a forward scan could be encoded above those
// builds' level.
PRIM_CB_INLINE int lowestBit(std::uint64_t m) {
#if PRIM_CB_BUILD == 6
  return __builtin_ctzll(m);
#else
  return 63 - __builtin_clzll(m & (0 - m));
#endif
}

#if PRIM_CB_BUILD >= 1
// Bit i moved to bit 4i, for the row masks of four (eight) columns.
struct NibbleTable {
  u32 t[256];
};
constexpr NibbleTable makeNibbleTable() {
  NibbleTable z{};
  for (u32 m = 0; m < 256; ++m)
    for (int i = 0; i < 8; ++i)
      if (m & (1u << i)) z.t[m] |= 1u << (4 * i);
  return z;
}
alignas(64) inline constexpr NibbleTable kNibbles = makeNibbleTable();

// The samples of columns 0..n-1 (n 1 to 16) of a full stripe, from their
// words at w, that the significance pass codes as things stand: bit 4x + r
// for row r of column x, set where the sample is not significant and has a
// significant neighbour.  Whole vectors are read: the border word and the
// padding of the flag row lie after the last column.
PRIM_CB_INLINE std::uint64_t candidateSamples(const u32* w, int n, std::uint64_t& significant) {
  std::uint64_t m = 0;
  significant = 0;
#if PRIM_CB_BUILD == 6
  const __m256i nb = _mm256_set1_epi32(static_cast<int>(kNeighbours));
  const __m256i zero = _mm256_setzero_si256();
  for (int i = 0; i < n; i += 8) {
    const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + i));
    if (_mm256_testz_si256(f, f)) continue;
    const u32 lanes = n - i >= 8 ? 0xFFu : (1u << (n - i)) - 1u;
    u32 nib = 0;
    u32 sig = 0;
    for (int r = 0; r < 4; ++r) {
      const __m256i sb = _mm256_set1_epi32(static_cast<int>(sigBit(r)));
      const __m256i on = _mm256_cmpeq_epi32(_mm256_and_si256(f, sb), sb);
      const __m256i idle =
          _mm256_or_si256(_mm256_cmpeq_epi32(_mm256_and_si256(_mm256_srli_epi32(f, 3 * r), nb), zero), on);
      nib |= kNibbles.t[~static_cast<u32>(_mm256_movemask_ps(_mm256_castsi256_ps(idle))) & lanes] << r;
      sig |= kNibbles.t[static_cast<u32>(_mm256_movemask_ps(_mm256_castsi256_ps(on)))] << r;
    }
    m |= static_cast<std::uint64_t>(nib) << (4 * i);
    significant |= static_cast<std::uint64_t>(sig) << (4 * i);
  }
#else
  const __m128i nb = _mm_set1_epi32(static_cast<int>(kNeighbours));
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < n; i += 4) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(f, zero)) == 0xFFFF) continue;
    const u32 lanes = n - i >= 4 ? 0xFu : (1u << (n - i)) - 1u;
    u32 nib = 0;
    u32 sig = 0;
    for (int r = 0; r < 4; ++r) {
      const __m128i sb = _mm_set1_epi32(static_cast<int>(sigBit(r)));
      const __m128i on = _mm_cmpeq_epi32(_mm_and_si128(f, sb), sb);
      const __m128i idle =
          _mm_or_si128(_mm_cmpeq_epi32(_mm_and_si128(_mm_srli_epi32(f, 3 * r), nb), zero), on);
      nib |= kNibbles.t[~static_cast<u32>(_mm_movemask_ps(_mm_castsi128_ps(idle))) & lanes] << r;
      sig |= kNibbles.t[static_cast<u32>(_mm_movemask_ps(_mm_castsi128_ps(on)))] << r;
    }
    m |= static_cast<std::uint64_t>(nib) << (4 * i);
    significant |= static_cast<std::uint64_t>(sig) << (4 * i);
  }
#endif
  return m;
}

// Sets the visited mark of the samples of a list (bit 4x + r for row r of
// column x) in the words of their columns at w.
PRIM_CB_INLINE void markVisited(u32* w, std::uint64_t m) {
#if PRIM_CB_BUILD == 6
  const __m256i shifts = _mm256_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28);
  const __m256i nibble = _mm256_set1_epi32(0xF);
  for (int i = 0; i < 16; i += 8) {
    const u32 part = static_cast<u32>(m >> (4 * i));
    if (part == 0) continue;
    const __m256i rows =
        _mm256_and_si256(_mm256_srlv_epi32(_mm256_set1_epi32(static_cast<int>(part)), shifts), nibble);
    __m256i* const p = reinterpret_cast<__m256i*>(w + i);
    _mm256_storeu_si256(p, _mm256_or_si256(_mm256_loadu_si256(p), _mm256_slli_epi32(rows, 24)));
  }
#else
  while (m != 0) {
    const int x = lowestBit(m) >> 2;
    w[x] |= static_cast<u32>((m >> (4 * x)) & 0xFu) << 24;
    m &= ~(std::uint64_t{0xF} << (4 * x));
  }
#endif
}

// A full stripe of the significance pass, taken as a list of the samples to
// code rather than column by column: the list of up to 16 columns comes from
// their words at once, and a sample that becomes significant adds the
// samples it gives a significant neighbour (the row below it, and three rows
// of the next column) when they are not significant themselves.
template <class Bits>
PRIM_CB_INLINE void significanceStripe(const Pass& P, Bits& bits, u32* w, u8* c, bool skipAbove) {
  for (int x0 = 0; x0 < P.width; x0 += 16, w += 16, c += 64) {
    const int n = P.width - x0 < 16 ? P.width - x0 : 16;
    const std::uint64_t limit = n < 16 ? (std::uint64_t{1} << (4 * n)) - 1u : ~std::uint64_t{0};
    std::uint64_t significant;
    std::uint64_t todo = candidateSamples(w, n, significant);
    if (todo == 0) continue;
    // The samples that a sample becoming significant may add: those not
    // significant as the list starts.  The ones the list makes significant
    // all come before any sample a later one adds (the row below it and the
    // next column), so the mask needs no update.
    const std::uint64_t open = ~significant & limit;
    // The context of sample i of the list as the words stand.
    auto contextOf = [&](int i) PRIM_CB_LAMBDA_INLINE {
      return P.zcSpp[(load32(reinterpret_cast<const u8*>(w) + (i & ~3)) >> (3 * (i & 3))) & 0x1FFu];
    };
    // The samples coded, marked visited once the list is done: nothing in
    // the pass reads the visited marks.
    std::uint64_t coded = todo;
    int b = lowestBit(todo);
    u32 k = contextOf(b);
    for (;;) {
      todo &= todo - 1;
      // The next sample and its context, found before this decision: they
      // stay right unless this sample becomes significant.
      int bn = lowestBit(todo | (todo == 0 ? std::uint64_t{1} << b : 0u));
      u32 kn = contextOf(bn);
      if (bits.significanceIn(k)) {
        const int x4 = b & ~3;  // bytes from column 0 to the sample's word and coefficient
        const int r = b & 3;
        u32* wc = reinterpret_cast<u32*>(reinterpret_cast<u8*>(w) + x4);
        // The sample's significance goes into its stripe before its sign
        // is decided: the contexts of the samples after it depend on that
        // alone, so the next one is found while the sign is decided.  The
        // sign context does not look at the sample's own bit.
        u32 f = *wc;
        const u32 si = signIndexAt(f, wc, r);
        f |= 1u << (3 * r + 4);
        wc[-1] |= 1u << (3 * r + 5);
        wc[1] |= 1u << (3 * r + 3);
        *wc = f;
        // The row below and rows r-1..r+1 of the next column (bits 4..7),
        // where not significant, become candidates (byte r of the pattern).
        const u32 rows = (0xC0E87432u >> (8 * r)) & 0xFFu;
        const std::uint64_t added = (static_cast<std::uint64_t>(rows) << x4) & open;
        todo |= added;
        coded |= added;
        if (todo != 0) {
          bn = lowestBit(todo);
          kn = contextOf(bn);
        }
        const u32 neg = bits.signIn(kSignAt.t[si]);
        store32(c + x4 + r * P.dstStep, (neg << 31) | P.newMag);
        // Then the sign, and the stripes above and below.
        markSignAt(wc, P.fs, neg, r, skipAbove);
      }
      if (todo == 0) break;
      b = bn;
      k = kn;
    }
    markVisited(w, coded);
  }
}
#endif

template <class Bits>
PRIM_CB_INLINE void significanceScan(const Pass& P, Bits& bits, u32 causal) {
  const bool skipAbove = causal != 0;
  for (int y0 = 0; y0 < P.height; y0 += 4) {
    const int rows = P.height - y0 < 4 ? P.height - y0 : 4;
    u32* w = P.flags + (1 + y0 / 4) * P.fs + 1;
    u8* c = P.dst + y0 * P.dstStep;
#if PRIM_CB_BUILD >= 1
    if (rows == 4) {
      significanceStripe(P, bits, w, c, skipAbove);
      continue;
    }
#endif
    if (rows == 4) {
      for (int x = 0; x < P.width; ++x, ++w, c += 4) {
        u32 f = *w;
        if (f == 0) continue;
        significanceRow<0>(P, bits, f, w, c, skipAbove);
        significanceRow<1>(P, bits, f, w, c, false);
        significanceRow<2>(P, bits, f, w, c, false);
        significanceRow<3>(P, bits, f, w, c, false);
        *w = f;
      }
    } else {
      for (int x = 0; x < P.width; ++x, ++w, c += 4) {
        u32 f = *w;
        if (f == 0) continue;
        significanceRowIf<0>(P, bits, f, w, c, rows, skipAbove);
        significanceRowIf<1>(P, bits, f, w, c, rows, false);
        significanceRowIf<2>(P, bits, f, w, c, rows, false);
        *w = f;
      }
    }
  }
}

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
        if (!mqDecide(q, 1)) continue;
        u32 row = mqDecide(q, 0) << 1;
        row |= mqDecide(q, 0);
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
    u32 sym = mqDecide(q, 0) << 3;
    sym |= mqDecide(q, 0) << 2;
    sym |= mqDecide(q, 0) << 1;
    sym |= mqDecide(q, 0);
    if (sym != 0xA) damaged = 1;
  }
  storeCursors(s, P);
  return endMqPass(s, q, damaged, reset, termCheck);
}

// ---------------------------------------------------------------------------
// Public primitives of one build.

inline PrimResult stateSize(int width, int height, int* pSize) {
  if (height < 1 || width < 1) return primResultBadSize;
  if (!pSize) return primResultNullPointer;
  const i64 size = workAreaBytes(width, height) + primCodeBlockHeaderBytes + 32;
  if (size > INT32_MAX) return primResultBadSize;
  *pSize = static_cast<int>(size);
  return primResultOk;
}

inline PrimResult init(State* s, int maxWidth, int maxHeight) {
  if (!s) return primResultNullPointer;
  if (maxHeight < 1 || maxWidth < 1) return primResultBadSize;
  const i64 area = workAreaBytes(maxWidth, maxHeight);
  if (area + primCodeBlockHeaderBytes + 32 > INT32_MAX) return primResultBadSize;
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(s);
  const std::uintptr_t work = (base + primCodeBlockHeaderBytes + 31) & ~std::uintptr_t{31};
  s->magic = primCodeBlockMagic;
  s->control.attached = 0;
  s->control.workAreaBytes = static_cast<u32>(area);
  s->flagRecord.workArea = static_cast<u32>(work - base);
  return primResultOk;
}

using ZeroFn = PrimResult (*)(Prim8u*, int);

inline PrimResult begin(Prim32s* pDst, int dstStep, int width, int height, State* s, int bandOrientation,
                        int bitPlanes, u32 flags, ZeroFn zero) {
  if (!s || !pDst) return primResultNullPointer;
  if (dstStep < 1) return primResultBadStep;
  if (height < 1 || width < 1) return primResultBadSize;
  if (s->magic != primCodeBlockMagic) return primResultBadState;
  // A code-block whose flag rows do not fit the work area the state was
  // sized for, and plane counts whose bits would reach the sign, are refused.
  if (workAreaBytes(width, height) > static_cast<i64>(s->control.workAreaBytes)) return primResultBadSize;
  if (bitPlanes > 31) return primResultBadSize;

  s->control.flags = flags;
  s->geometry.destination = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pDst));
  s->geometry.width = width;
  s->geometry.height = height;
  s->geometry.dstStep = dstStep;
  if (!(flags & primCbKeepDestination)) {
    u8* row = reinterpret_cast<u8*>(pDst);
    for (int y = 0; y < height; ++y, row += dstStep) zero(row, 4 * width);
  }
  const i64 stride = flagStrideBytes(width);
  s->flagRecord.flagRows = s->flagRecord.workArea;
  s->flagRecord.flagStride = static_cast<i32>(stride);
  if (!(flags & primCbKeepFlagRows)) {
    u8* row = stateBytes(s) + s->flagRecord.flagRows;
    const int rows = (height + 1) / 2 + 2;
    for (int y = 0; y < rows; ++y, row += stride) zero(row, 4 * width + 8);
  }
  owniResetContexts(s->mq.state, s->mq.mps);
  s->pass.geometry = static_cast<u32>(offsetof(State, geometry));
  s->pass.stripeStep = 4 * static_cast<i64>(dstStep);
  s->flagCursor.flagRecord = static_cast<u32>(offsetof(State, flagRecord));
  const i32 st = static_cast<i32>(stride);
  s->flagCursor.pairRowStep = 2 * st;
  s->flagCursor.neighbour[0] = -st;
  s->flagCursor.neighbour[1] = st;
  s->flagCursor.neighbour[2] = -st - 4;
  s->flagCursor.neighbour[3] = -st + 4;
  s->flagCursor.neighbour[4] = st - 4;
  s->flagCursor.neighbour[5] = st + 4;
  s->flagCursor.sigTable = bandOrientation == 2 ? 1u : (bandOrientation == 3 ? 2u : 0u);
  s->control.bypassLimit = (flags & primCbBypass) ? (bitPlanes > 4 ? bitPlanes - 4 : 0) : 0;
  s->pass.bitPlane = bitPlanes - 1;
  s->control.passesToRun = 0;
  s->control.nextKind = 0;
  s->control.errorWord = 0;
  s->control.attached = 1;
  return primResultOk;
}

inline PrimResult setPasses(int passes, State* s) {
  if (!s) return primResultNullPointer;
  if (s->magic != primCodeBlockMagic) return primResultBadState;
  s->control.passesToRun = passes;
  return primResultOk;
}

inline PrimResult getPasses(const State* s, int* pPasses) {
  if (!s || !pPasses) return primResultNullPointer;
  if (s->magic != primCodeBlockMagic) return primResultBadState;
  *pPasses = s->control.passesToRun;
  return primResultOk;
}

// The pass driver.
inline PrimResult decodePasses(const u8* src, int len, State* s) {
  if (!src || !s) return primResultNullPointer;
  if (s->magic != primCodeBlockMagic) return primResultBadState;
  if (!s->control.attached) return primResultNoCodeBlock;
  if (s->control.passesToRun < 1 || s->pass.bitPlane < 0) return primResultOk;

  const u32 flags = s->control.flags;
  const u32 causal = flags & primCbVerticallyCausal;
  const u32 segSymbol = flags & primCbSegmentationSymbols;
  const u32 reset = flags & primCbResetContexts;
  const u32 term = (flags & primCbCheckTermination) ? 1u : 0u;
  const i32 limit = s->control.bypassLimit;
  i32 b = s->control.passesToRun;
  u32 damaged = 0;

  if (flags & primCbTerminateEachPass) {
    // One pass per call, each its own segment.
    switch (s->control.nextKind) {
      case 1:
        startMq(s, src, len);
        damaged |= owniCodeBlockRefinementPass(s, reset, term);
        s->control.nextKind = 0;
        break;
      case 2:
        startMq(s, src, len);
        damaged |= owniCodeBlockSignificancePass(s, causal, reset, term);
        s->control.nextKind = 1;
        break;
      case 3:
        startMq(s, src, len);
        damaged |= owniCodeBlockCleanupPass(s, causal, segSymbol, reset, term);
        s->control.nextKind = 5;
        --s->pass.bitPlane;
        break;
      case 4:
        startRaw(s, src, len);
        damaged |= owniCodeBlockRawRefinementPass(s);
        s->control.nextKind = 3;
        break;
      case 5:
        startRaw(s, src, len);
        damaged |= owniCodeBlockRawSignificancePass(s, causal, 1);
        s->control.nextKind = 4;
        break;
      default:
        startMq(s, src, len);
        damaged |= owniCodeBlockCleanupPass(s, causal, segSymbol, reset, term);
        --s->pass.bitPlane;
        s->control.nextKind = s->pass.bitPlane >= limit ? 2 : 5;
        break;
    }
    --b;
  } else if (s->control.nextKind == 3) {
    startMq(s, src, len);
    damaged |= owniCodeBlockCleanupPass(s, causal, segSymbol, reset, term);
    --b;
    if (b > 0) {
      --s->pass.bitPlane;
      s->control.nextKind = 5;
    }
  } else if (s->control.nextKind == 5) {
    startRaw(s, src, len);
    damaged |= owniCodeBlockRawSignificancePass(s, causal, 0);
    --b;
    if (b > 0) {
      damaged |= owniCodeBlockRawRefinementPass(s);
      --b;
      s->control.nextKind = 3;
    }
  } else {
    // One MQ segment: clean-up, then significance, refinement and clean-up
    // of each lower plane down to the bypass limit.
    startMq(s, src, len);
    for (;;) {
      const i32 plane = s->pass.bitPlane;
      damaged |= owniCodeBlockCleanupPass(s, causal, segSymbol, reset, (term && plane == limit) ? 1u : 0u);
      if (--b == 0) break;
      --s->pass.bitPlane;
      if (plane <= limit) {
        s->control.nextKind = 5;
        break;
      }
      damaged |= owniCodeBlockSignificancePass(s, causal, reset, 0);
      if (--b == 0) break;
      damaged |= owniCodeBlockRefinementPass(s, reset, 0);
      if (--b == 0) break;
    }
  }
  s->control.passesToRun = b;
  if (damaged) {
    s->control.errorWord = 1;
    return primResultDamagedCodeBlock;
  }
  return primResultOk;
}

}  // namespace cb
}  // namespace prim::PRIM_GEN_NS
