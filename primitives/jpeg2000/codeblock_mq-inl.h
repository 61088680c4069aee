// The code-block decoder of one generation: MQ decoding.  The contexts'
// reset, the state's MQ register (segment start, byte input, termination
// check) and the wider register the passes decide with.
#pragma once

#include "primitives/jpeg2000/codeblock_common-inl.h"

namespace prim::PRIM_GEN_NS {
namespace cb {

// Contexts of the MQ decoder (their uses: codeblock_contexts-inl.h).
constexpr int kContextCount = 19;

// Copies the initial context values into the state: the 19 states and the
// 19 MPS values lie back to back in the state and in the two tables.
inline void owniResetContexts(u32* st, u32* mps) {
  const u32* is = prim::cbshared::contextInitialStates;
  const u32* im = prim::cbshared::contextInitialMps;
#if PRIM_GEN_LEVEL == PRIM_LEVEL_PX
  for (int i = 0; i < kContextCount; ++i) {
    st[i] = is[i];
    mps[i] = im[i];
  }
#elif PRIM_GEN_LEVEL <= PRIM_LEVEL_SSE41
  // Single words until the MPS array is 16-byte aligned, then four contexts
  // per step, then the rest.
  int i = 0;
  while (i < kContextCount && (reinterpret_cast<std::uintptr_t>(mps + i) & 15) != 0) {
    st[i] = is[i];
    mps[i] = im[i];
    ++i;
  }
  for (; i + 4 <= kContextCount; i += 4) {
    const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(is + i));
    const __m128i vm = _mm_loadu_si128(reinterpret_cast<const __m128i*>(im + i));
    _mm_store_si128(reinterpret_cast<__m128i*>(mps + i), vm);
    if ((reinterpret_cast<std::uintptr_t>(st + i) & 15) == 0)
      _mm_store_si128(reinterpret_cast<__m128i*>(st + i), vs);
    else
      _mm_storeu_si128(reinterpret_cast<__m128i*>(st + i), vs);
  }
  for (; i < kContextCount; ++i) {
    st[i] = is[i];
    mps[i] = im[i];
  }
#elif PRIM_GEN_LEVEL == PRIM_LEVEL_AVX
  for (int i = 0; i < 16; i += 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(st + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(is + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(mps + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(im + i)));
  }
  for (int i = 16; i < kContextCount; ++i) {
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
  for (int i = 16; i < kContextCount; ++i) {
    st[i] = is[i];
    mps[i] = im[i];
  }
#endif
}

// ---------------------------------------------------------------------------
// The state's MQ group as a register: the segment's start, byte input and
// the termination check work on it; a pass decides with the wider register
// below and gives this form back when it ends.

struct Mq {
  const u8* seg;
  i32 len;
  i32 pos;  // index of the last byte taken into C
  u32 A;
  u32 C;
  i32 CT;
  u32 end;
};

inline void loadMq(Mq& m, State* s) {
  m.seg = reinterpret_cast<const u8*>(static_cast<std::uintptr_t>(s->mq.segment));
  m.len = s->mq.length;
  m.pos = s->mq.position;
  m.A = s->mq.A;
  m.C = s->mq.C;
  m.CT = s->mq.CT;
  m.end = s->mq.end;
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
  u32 cx[kContextCount];
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
  for (int i = 0; i < kContextCount; ++i) {
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
  for (int i = 0; i < kContextCount; ++i) {
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

}  // namespace cb
}  // namespace prim::PRIM_GEN_NS
