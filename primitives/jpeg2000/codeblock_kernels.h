// The code-block decoder itself, compiled once per processor generation.
//
// Each codeblock_<gen>.cpp defines PRIM_CB_BUILD (0 px, 1 sse2, 2 ssse3,
// 4 sse41, 5 avx, 6 avx2) and includes this header; everything here lives in
// that generation's namespace.  The builds run the same algorithm on the same
// state and give the same results bit for bit; they differ only in how the
// contexts are reset (vector moves from sse2 on), in the sse2 build's own MQ
// decision routine, and in the instructions the compiler picks for each
// generation.
//
// Flag rows.  Each 32-bit entry holds two vertically adjacent samples of a
// stripe column, the upper one (stripe rows 0 and 2) in the low 16 bits.
// Stripe s uses flag rows 2s + 1 and 2s + 2; row 0, the last row and the
// entries left and right of the code-block are borders that only receive
// neighbour bits, so no pass tests for the code-block's edges.
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

namespace prim::PRIM_GEN_NS {
namespace cb {

using u8 = std::uint8_t;
using u32 = std::uint32_t;
using i32 = std::int32_t;
using i64 = std::int64_t;
using State = PrimCodeBlockDecoderState;

// Bits of one sample's half of a flag entry.
constexpr u32 kSigDR = 1u << 0;   // the sample below and to the right is significant
constexpr u32 kSigDL = 1u << 1;   // below and to the left
constexpr u32 kSigUR = 1u << 2;   // above and to the right
constexpr u32 kSigUL = 1u << 3;   // above and to the left
constexpr u32 kSigD = 1u << 4;    // below
constexpr u32 kSigU = 1u << 5;    // above
constexpr u32 kSigR = 1u << 6;    // right
constexpr u32 kSigL = 1u << 7;    // left
constexpr u32 kRefined = 1u << 8; // refined by an MQ-coded refinement pass
constexpr u32 kNegD = 1u << 9;    // the sample below is significant and negative
constexpr u32 kNegU = 1u << 10;
constexpr u32 kNegR = 1u << 11;
constexpr u32 kNegL = 1u << 12;
constexpr u32 kNbr = 1u << 13;    // one of bits 0 to 7 is set
constexpr u32 kVisit = 1u << 14;  // coded by this plane's significance pass
constexpr u32 kSigma = 1u << 15;  // significant
constexpr u32 kBoth(u32 bits) { return bits | (bits << 16); }

// ---------------------------------------------------------------------------
// Context tables (this generation's own copy).

struct ZcTables {
  u32 t[3][256];
};
constexpr ZcTables makeZcTables() {
  ZcTables z{};
  for (int cls = 0; cls < 3; ++cls)
    for (int i = 0; i < 256; ++i) {
      const int d = (i & 1) + ((i >> 1) & 1) + ((i >> 2) & 1) + ((i >> 3) & 1);
      int v = ((i >> 4) & 1) + ((i >> 5) & 1);
      int h = ((i >> 6) & 1) + ((i >> 7) & 1);
      int cx = 0;
      if (cls == 1) {  // HL: horizontal and vertical exchanged
        const int t = h;
        h = v;
        v = t;
      }
      if (cls < 2) {
        if (h == 2) cx = 10;
        else if (h == 1) cx = v >= 1 ? 9 : (d >= 1 ? 8 : 7);
        else if (v == 2) cx = 6;
        else if (v == 1) cx = 5;
        else cx = d >= 2 ? 4 : (d == 1 ? 3 : 2);
      } else {
        const int hv = h + v;
        if (d >= 3) cx = 10;
        else if (d == 2) cx = hv >= 1 ? 9 : 8;
        else if (d == 1) cx = hv >= 2 ? 7 : (hv == 1 ? 6 : 5);
        else cx = hv >= 2 ? 4 : (hv == 1 ? 3 : 2);
      }
      z.t[cls][i] = static_cast<u32>(cx);
    }
  return z;
}

struct Table512 {
  u32 t[512];
};
// Indexed by bits 4 to 12 of a half: context in the low 4 bits, the bit to
// XOR with the decision in bit 31.
constexpr Table512 makeSignTable() {
  Table512 s{};
  for (int i = 0; i < 512; ++i) {
    auto contrib = [&](int sigBit, int negBit) {
      return ((i >> sigBit) & 1) ? (((i >> negBit) & 1) ? -1 : 1) : 0;
    };
    // index bit 0 below, 1 above, 2 right, 3 left, 4 refined, 5..8 negative
    // below, above, right, left
    int hs = contrib(2, 7) + contrib(3, 8);
    int vs = contrib(0, 5) + contrib(1, 6);
    hs = hs > 1 ? 1 : (hs < -1 ? -1 : hs);
    vs = vs > 1 ? 1 : (vs < -1 ? -1 : vs);
    u32 xr = 0;
    if (hs < 0 || (hs == 0 && vs < 0)) {
      xr = 1;
      hs = -hs;
      vs = -vs;
    }
    int cx;
    if (hs == 1) cx = vs == 1 ? 15 : (vs == 0 ? 14 : 13);
    else cx = vs == 1 ? 12 : 11;
    s.t[i] = static_cast<u32>(cx) | (xr << 31);
  }
  return s;
}
// Indexed by bits 0 to 8 of a half.
constexpr Table512 makeRefinementTable() {
  Table512 r{};
  for (int i = 0; i < 512; ++i) r.t[i] = (i & 0x100) ? 18u : ((i & 0xFF) ? 17u : 16u);
  return r;
}

alignas(64) inline constexpr ZcTables kZc = makeZcTables();
alignas(64) inline constexpr Table512 kSign = makeSignTable();
alignas(64) inline constexpr Table512 kRef = makeRefinementTable();

// ---------------------------------------------------------------------------
// Small helpers.

inline u8* stateBytes(State* s) { return reinterpret_cast<u8*>(s); }
inline u32 load32(const u8* p) {
  u32 v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(u8* p, u32 v) { std::memcpy(p, &v, 4); }
inline i64 align32(i64 v) { return (v + 31) & ~i64{31}; }
inline i64 flagStrideBytes(i64 width) { return align32(4 * width + 8); }
inline i64 workAreaBytes(i64 width, i64 height) {
  return flagStrideBytes(width) * ((height + 1) / 2 + 2);
}

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

#if PRIM_CB_BUILD == 1
// Byte input of the sse2 decision: the segment length minus the byte
// position is compared with 1 once; the last byte is handled on its own (the
// byte after it reads as 0xFF).
PRIM_CB_INLINE void sse2ByteIn(Mq& m, u32& c, i32& ct) {
  const i32 left = m.len - m.pos;
  if (m.end) {
    ct = 8;
  } else if (left > 1) {
    const u32 b = m.seg[m.pos];
    const u32 b1 = m.seg[m.pos + 1];
    if (b != 0xFF) {
      ++m.pos;
      c += 0xFF00u - (b1 << 8);
      ct = 8;
    } else if (b1 > 0x8F) {
      m.end = 1;
      ct = 8;
    } else {
      ++m.pos;
      c += 0xFE00u - (b1 << 9);
      ct = 7;
    }
  } else if (left == 1) {
    if (m.seg[m.pos] == 0xFF) {
      m.end = 1;
    } else {
      ++m.pos;
    }
    ct = 8;
  } else {
    m.end = 1;
    ct = 8;
  }
}

// The sse2 decision: one routine for every context, with the probability
// table handed in; A, C and CT stay in locals through the renormalisation
// and are stored once.  With kFlat the common path (A keeps bit 15) takes no
// branch of its own: it is the case of no shift and no state change, which
// suits contexts whose symbols are close to random.
template <bool kFlat = false>
PRIM_CB_INLINE u32 owniMqDecodeSymbol(Mq& m, u32 cx, const prim::cbshared::MqRow* table) {
  const u32 I = m.st[cx];
  const prim::cbshared::MqRow& row = table[I];
  const u32 qe = row.qe;
  u32 a = m.A - qe;
  u32 c = m.C;
  const u32 mps = m.mps[cx];
  if (!kFlat && __builtin_expect(a > (c >> 16), 1) && (a & 0x8000u)) {
    m.A = a;
    return mps;
  }
  u32 d = mps;
  i32 n;
  if (kFlat) {
    const u32 lower = 0u - static_cast<u32>(a <= (c >> 16));
    const u32 lps = static_cast<u32>(a < qe) ^ (lower & 1u);
    const u32 lpsMask = 0u - lps;
    c -= (a << 16) & lower;
    a = (qe & lower) | (a & ~lower);
    // a needs n shifts (0: it keeps bit 15 and the state stays).
    n = mqShiftsFor(a);
    const u32 next = (row.nlps & lpsMask) | (row.nmps & ~lpsMask);
    m.st[cx] = n == 0 ? I : next;
    m.mps[cx] = mps ^ (lps & row.switchMps);
    d ^= lps;
  } else {
    if (a > (c >> 16)) {
      if (a < qe) {
        d ^= 1u;
        m.st[cx] = row.nlps;
        if (row.switchMps) m.mps[cx] = d;
      } else {
        m.st[cx] = row.nmps;
      }
    } else {
      c -= a << 16;
      if (a < qe) {
        m.st[cx] = row.nmps;
      } else {
        d ^= 1u;
        m.st[cx] = row.nlps;
        if (row.switchMps) m.mps[cx] = d;
      }
      a = qe;
    }
    n = mqShiftsFor(a);
  }
  // A byte comes in whenever CT runs out before the n shifts are done.
  i32 ct = m.CT;
  while (__builtin_expect(n > ct, 0)) {
    a <<= ct;
    c <<= ct;
    n -= ct;
    sse2ByteIn(m, c, ct);
  }
  m.A = a << n;
  m.C = c << n;
  m.CT = ct - n;
  return d;
}
PRIM_CB_INLINE u32 decide(Mq& m, u32 cx) {
  return owniMqDecodeSymbol(m, cx, prim::cbshared::mqStateTable);
}
PRIM_CB_INLINE u32 decideUniform(Mq& m) {
  return owniMqDecodeSymbol(m, 0, prim::cbshared::mqStateTable);
}
PRIM_CB_INLINE u32 decideRunLength(Mq& m) {
  return owniMqDecodeSymbol(m, 1, prim::cbshared::mqStateTable);
}
PRIM_CB_INLINE u32 decideFlat(Mq& m, u32 cx) {
  return owniMqDecodeSymbol<true>(m, cx, prim::cbshared::mqStateTable);
}
#endif

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
#if PRIM_CB_BUILD != 1
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
// The same decision without the branch on the common path, for contexts
// whose symbols are close to random (the common path is then hard to
// predict): A keeping bit 15 simply means no shift and no state change.
PRIM_CB_INLINE u32 owniMqDecodeSymbolFlat(Mq& m, u32 cx) {
  const u32 I = m.st[cx];
  const prim::cbshared::MqRow& row = prim::cbshared::mqStateTable[I];
  const u32 qe = row.qe;
  const u32 a = m.A - qe;
  const u32 mps = m.mps[cx];
  const u32 lower = 0u - static_cast<u32>(a <= (m.C >> 16));
  const u32 lps = static_cast<u32>(a < qe) ^ (lower & 1u);
  const u32 lpsMask = 0u - lps;
  const u32 aNew = (qe & lower) | (a & ~lower);
  const i32 n = mqShiftsFor(aNew);  // 0: A keeps bit 15, nothing changes
  const u32 next = (row.nlps & lpsMask) | (row.nmps & ~lpsMask);
  m.st[cx] = n ? next : I;
  m.mps[cx] = mps ^ (lps & row.switchMps);
  m.C -= (a << 16) & lower;
  m.A = aNew;
  mqRenormaliseBy(m, n);
  return mps ^ lps;
}
PRIM_CB_INLINE u32 owniMqDecodeUniformContext(Mq& m) { return owniMqDecodeSymbol(m, 0); }
PRIM_CB_INLINE u32 owniMqDecodeRunLengthContext(Mq& m) { return owniMqDecodeSymbol(m, 1); }
PRIM_CB_INLINE u32 decide(Mq& m, u32 cx) { return owniMqDecodeSymbol(m, cx); }
PRIM_CB_INLINE u32 decideFlat(Mq& m, u32 cx) { return owniMqDecodeSymbolFlat(m, cx); }
PRIM_CB_INLINE u32 decideUniform(Mq& m) { return owniMqDecodeUniformContext(m); }
PRIM_CB_INLINE u32 decideRunLength(Mq& m) { return owniMqDecodeRunLengthContext(m); }
#endif

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
// Pass set-up and neighbour updates.

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
  const u32* zc;
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
  s->pass.planeBit = P.planeBit;
  s->pass.newMagnitude = P.newMag;
  s->pass.halfBit = P.halfBit;
  s->pass.keepMask = P.keepMask;
}

// Leaves the cursors at the last stripe and column of the code-block.
inline void storeCursors(State* s, const Pass& P) {
  const int lastStripe = (P.height - 1) & ~3;
  const u32 rows = s->flagRecord.flagRows;
  const u32 stride = static_cast<u32>(s->flagRecord.flagStride);
  s->pass.stripeRow = lastStripe;
  s->flagCursor.currentRow = rows + static_cast<u32>(lastStripe / 2) * stride;
  s->flagCursor.columnEntry = s->flagCursor.currentRow + stride + 4u * static_cast<u32>(P.width);
  s->flagCursor.entry =
      s->flagCursor.columnEntry + (P.height - lastStripe > 2 ? stride : 0u);
}

// The sample in the low half of *e (stripe row 0 or 2) became significant:
// own bits into its half, neighbour bits into the eight around it.  A sample
// in stripe row 0 under vertically causal coding leaves the stripe above
// alone.
PRIM_CB_INLINE void markLow(u32* e, i64 fs, u32 neg, bool skipAbove, u32 own) {
  e[0] |= own | ((kSigU | kNbr | (neg * kNegU)) << 16);
  e[-1] |= kSigR | kNbr | (neg * kNegR) | ((kSigUR | kNbr) << 16);
  e[1] |= kSigL | kNbr | (neg * kNegL) | ((kSigUL | kNbr) << 16);
  if (!skipAbove) {
    u32* up = e - fs;
    up[0] |= (kSigD | kNbr | (neg * kNegD)) << 16;
    up[-1] |= (kSigDR | kNbr) << 16;
    up[1] |= (kSigDL | kNbr) << 16;
  }
}
// The sample in the high half of *e (stripe row 1 or 3) became significant.
PRIM_CB_INLINE void markHigh(u32* e, i64 fs, u32 neg, u32 own) {
  e[0] |= (own << 16) | kSigD | kNbr | (neg * kNegD);
  e[-1] |= ((kSigR | kNbr | (neg * kNegR)) << 16) | kSigDR | kNbr;
  e[1] |= ((kSigL | kNbr | (neg * kNegL)) << 16) | kSigDL | kNbr;
  u32* dn = e + fs;
  dn[0] |= kSigU | kNbr | (neg * kNegU);
  dn[-1] |= kSigUR | kNbr;
  dn[1] |= kSigUL | kNbr;
}

// ---------------------------------------------------------------------------
// Coding passes.  Each decodes one whole pass at the plane in the pass
// cursor and returns 1 when it found damaged data, else 0.

// One pair entry of the significance pass: the upper sample, then (when the
// stripe has it) the lower one, which sees the entry as the upper one left it.
template <class Bits>
PRIM_CB_INLINE void significancePair(const Pass& P, Bits& bits, u32* e, u8* c, bool lower,
                                     bool skipAbove) {
  u32 v = *e;
  if ((v & ~(v >> 2) & kBoth(kNbr)) == 0) return;
  if ((v & (kNbr | kSigma)) == kNbr) {
    if (bits.significance(v & 0xFFu)) {
      const u32 neg = bits.sign(v & 0xFFFFu);
      store32(c, (neg << 31) | P.newMag);
      markLow(e, P.fs, neg, skipAbove, kSigma | kVisit);
    } else {
      *e |= kVisit;
    }
  }
  if (!lower) return;
  v = *e >> 16;
  if ((v & (kNbr | kSigma)) == kNbr) {
    if (bits.significance(v & 0xFFu)) {
      const u32 neg = bits.sign(v);
      store32(c + P.dstStep, (neg << 31) | P.newMag);
      markHigh(e, P.fs, neg, kSigma | kVisit);
    } else {
      *e |= kVisit << 16;
    }
  }
}

template <class Bits>
PRIM_CB_INLINE void significanceScan(const Pass& P, Bits& bits, u32 causal) {
  const i64 fs = P.fs;
  const i64 pairStep = 2 * P.dstStep;
  for (int y0 = 0; y0 < P.height; y0 += 4) {
    const int rows = P.height - y0 < 4 ? P.height - y0 : 4;
    u32* e = P.flags + (1 + y0 / 2) * fs + 1;
    u8* c = P.dst + y0 * P.dstStep;
    if (rows == 4) {
      for (int x = 0; x < P.width; ++x, ++e, c += 4) {
        significancePair(P, bits, e, c, true, causal != 0);
        significancePair(P, bits, e + fs, c + pairStep, true, false);
      }
    } else {
      for (int x = 0; x < P.width; ++x, ++e, c += 4) {
        significancePair(P, bits, e, c, rows > 1, causal != 0);
        if (rows > 2) significancePair(P, bits, e + fs, c + pairStep, false, false);
      }
    }
  }
}

// One pair entry of the refinement pass.
template <class Bits>
PRIM_CB_INLINE void refinementPair(const Pass& P, Bits& bits, u32* e, u8* c, bool lower) {
  u32 v = *e;
  if ((v & ~(v << 1) & kBoth(kSigma)) == 0) return;
  if ((v & (kSigma | kVisit)) == kSigma) {
    const u32 b = bits.refinement(v & 0x1FFu);
    store32(c, (load32(c) & P.keepMask) | (b << P.p) | P.halfBit);
    *e |= bits.refinedBit;
  }
  if (!lower) return;
  v = *e >> 16;
  if ((v & (kSigma | kVisit)) == kSigma) {
    u8* c1 = c + P.dstStep;
    const u32 b = bits.refinement(v & 0x1FFu);
    store32(c1, (load32(c1) & P.keepMask) | (b << P.p) | P.halfBit);
    *e |= bits.refinedBit << 16;
  }
}

template <class Bits>
PRIM_CB_INLINE void refinementScan(const Pass& P, Bits& bits) {
  const i64 fs = P.fs;
  const i64 pairStep = 2 * P.dstStep;
  for (int y0 = 0; y0 < P.height; y0 += 4) {
    const int rows = P.height - y0 < 4 ? P.height - y0 : 4;
    u32* e = P.flags + (1 + y0 / 2) * fs + 1;
    u8* c = P.dst + y0 * P.dstStep;
    if (rows == 4) {
      for (int x = 0; x < P.width; ++x, ++e, c += 4) {
        refinementPair(P, bits, e, c, true);
        refinementPair(P, bits, e + fs, c + pairStep, true);
      }
    } else {
      for (int x = 0; x < P.width; ++x, ++e, c += 4) {
        refinementPair(P, bits, e, c, rows > 1);
        if (rows > 2) refinementPair(P, bits, e + fs, c + pairStep, false);
      }
    }
  }
}

// Decisions of the MQ-coded passes.  Sign and refinement decisions, and the
// zero-coding decisions of the significance pass (a sample with a
// significant neighbour), are close to even odds and take the branch-free
// form; the clean-up pass keeps the branch for its zero-coding decisions, as
// most of its samples lie in quiet, well-predicted regions.
template <bool kFlatZc>
struct MqBitsT {
  Mq& m;
  const u32* zc;
  static constexpr u32 refinedBit = kRefined;
  PRIM_CB_INLINE u32 significance(u32 nb) {
    return kFlatZc ? decideFlat(m, zc[nb]) : decide(m, zc[nb]);
  }
  PRIM_CB_INLINE u32 sign(u32 half) {
    const u32 sc = kSign.t[(half >> 4) & 0x1FFu];
    return decideFlat(m, sc & 0xFu) ^ (sc >> 31);
  }
  PRIM_CB_INLINE u32 refinement(u32 low9) { return decideFlat(m, kRef.t[low9]); }
};
using MqBits = MqBitsT<false>;
// Bits of the raw passes: the significance bit, then the sign bit (1
// negative); refinement leaves no refined mark.
struct RawBits {
  Raw& r;
  static constexpr u32 refinedBit = 0;
  u32 significance(u32) { return rawBit(r); }
  u32 sign(u32) { return rawBit(r); }
  u32 refinement(u32) { return rawBit(r); }
};

// End of an MQ-coded pass: termination check, then the context reset.
inline u32 endMqPass(State* s, Mq& m, u32 damaged, u32 reset, u32 termCheck) {
  if (termCheck && mqTerminationDamaged(m)) damaged = 1;
  storeMq(m, s);
  if (reset) owniResetContexts(s->mq.state, s->mq.mps);
  return damaged;
}

inline u32 owniCodeBlockSignificancePass(State* s, u32 causal, u32 reset, u32 termCheck) {
  Pass P;
  setUpPass(s, P);
  Mq m;
  loadMq(m, s);
  MqBitsT<true> bits{m, P.zc};
  significanceScan(P, bits, causal);
  storeCursors(s, P);
  return endMqPass(s, m, 0, reset, termCheck);
}

inline u32 owniCodeBlockRefinementPass(State* s, u32 reset, u32 termCheck) {
  Pass P;
  setUpPass(s, P);
  Mq m;
  loadMq(m, s);
  MqBits bits{m, P.zc};
  refinementScan(P, bits);
  storeCursors(s, P);
  return endMqPass(s, m, 0, reset, termCheck);
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

// One sample of the clean-up's normal path, in the low or high half of *e.
PRIM_CB_INLINE void cleanupSample(const Pass& P, MqBits& bits, u32* e, u8* c, bool high,
                                  bool skipAbove) {
  const u32 v = high ? (*e >> 16) : (*e & 0xFFFFu);
  if (v & (kSigma | kVisit)) return;
  if (!bits.significance(v & 0xFFu)) return;
  const u32 neg = bits.sign(v);
  store32(c, (neg << 31) | P.newMag);
  if (high)
    markHigh(e, P.fs, neg, kSigma | kVisit);
  else
    markLow(e, P.fs, neg, skipAbove, kSigma | kVisit);
}

// One pair entry of the clean-up's normal path; nothing to do when both
// halves are already significant or visited.
PRIM_CB_INLINE void cleanupPair(const Pass& P, MqBits& bits, u32* e, u8* c, bool lower,
                                bool skipAbove) {
  const u32 v = *e;
  if ((~(v | (v << 1)) & kBoth(kSigma)) == 0) return;
  cleanupSample(P, bits, e, c, false, skipAbove);
  if (lower) cleanupSample(P, bits, e, c + P.dstStep, true, false);
}

inline u32 owniCodeBlockCleanupPass(State* s, u32 causal, u32 segSymbol, u32 reset,
                                    u32 termCheck) {
  Pass P;
  setUpPass(s, P);
  Mq m;
  loadMq(m, s);
  MqBits bits{m, P.zc};
  const i64 fs = P.fs;
  const i64 step = P.dstStep;
  const bool skipAbove = causal != 0;
  for (int y0 = 0; y0 < P.height; y0 += 4) {
    const int rows = P.height - y0 < 4 ? P.height - y0 : 4;
    u32* e1 = P.flags + (1 + y0 / 2) * fs + 1;
    u8* c0 = P.dst + y0 * step;
    if (rows < 4) {
      // A short last stripe never runs in run-length mode.
      for (int x = 0; x < P.width; ++x, ++e1, c0 += 4) {
        cleanupPair(P, bits, e1, c0, rows > 1, skipAbove);
        if (rows > 2) {
          cleanupPair(P, bits, e1 + fs, c0 + 2 * step, false, false);
          e1[fs] &= ~kBoth(kVisit);
        }
        *e1 &= ~kBoth(kVisit);
      }
      continue;
    }
    for (int x = 0; x < P.width; ++x, ++e1, c0 += 4) {
      u32* e2 = e1 + fs;
      if ((*e1 | *e2) == 0) {
        // Run-length mode: one decision for the whole column.
        if (!decideRunLength(m)) continue;
        u32 r = decideUniform(m) << 1;
        r |= decideUniform(m);
#if PRIM_CB_BUILD >= 2
        // Low bit taken and cleared at once; the cleared value tells the
        // pair entry.
        const u32 high = r & 1u;
        r &= ~1u;
        u32* e = r ? e2 : e1;
        const int row = static_cast<int>(r | high);
#else
        const u32 high = r & 1u;
        u32* e = (r >> 1) ? e2 : e1;
        const int row = static_cast<int>(r);
#endif
        const u32 v = high ? (*e >> 16) : (*e & 0xFFFFu);
        const u32 neg = bits.sign(v);
        store32(c0 + row * step, (neg << 31) | P.newMag);
        if (high)
          markHigh(e, fs, neg, kSigma);
        else
          markLow(e, fs, neg, skipAbove && row == 0, kSigma | kVisit);
        // The rows below it as in the normal path.
        for (int y = row + 1; y < 4; ++y)
          cleanupSample(P, bits, (y >> 1) ? e2 : e1, c0 + y * step, (y & 1) != 0, false);
      } else {
        cleanupPair(P, bits, e1, c0, true, skipAbove);
        cleanupPair(P, bits, e2, c0 + 2 * step, true, false);
      }
      *e1 &= ~kBoth(kVisit);
      *e2 &= ~kBoth(kVisit);
    }
  }
  u32 damaged = 0;
  if (segSymbol) {
    u32 sym = decideUniform(m) << 3;
    sym |= decideUniform(m) << 2;
    sym |= decideUniform(m) << 1;
    sym |= decideUniform(m);
    if (sym != 0xA) damaged = 1;
  }
  storeCursors(s, P);
  return endMqPass(s, m, damaged, reset, termCheck);
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

inline PrimResult begin(Prim32s* pDst, int dstStep, int width, int height, State* s,
                        int bandOrientation, int bitPlanes, u32 flags, ZeroFn zero) {
  if (!s || !pDst) return primResultNullPointer;
  if (dstStep < 1) return primResultBadStep;
  if (height < 1 || width < 1) return primResultBadSize;
  if (s->magic != primCodeBlockMagic) return primResultBadState;
  // A code-block whose flag rows do not fit the work area the state was
  // sized for, and plane counts whose bits would reach the sign, are refused.
  if (workAreaBytes(width, height) > static_cast<i64>(s->control.workAreaBytes))
    return primResultBadSize;
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
      damaged |= owniCodeBlockCleanupPass(s, causal, segSymbol, reset,
                                          (term && plane == limit) ? 1u : 0u);
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
