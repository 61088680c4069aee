// The code-block decoder of one generation: what every coding pass starts
// from.  Its view of the state, the raw reader, and the two sources of a
// pass's bits (MQ decisions in their contexts, or raw bits).
#pragma once

#include "primitives/jpeg2000/codeblock_contexts-inl.h"
#include "primitives/jpeg2000/codeblock_mq-inl.h"

namespace prim::PRIM_GEN_NS {
namespace cb {

// A pass's view of the state: the code-block, its flag rows and the plane.

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

// The raw (bypass) reader of the significance and refinement passes below
// the bypass limit.

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
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX2
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

// The bits of a pass: from the MQ decoder with their contexts, or raw.  The
// decisions of the coding passes take the branch-free form (measured faster
// on cinema frames, where the significance, sign and refinement symbols are
// close to even odds); the run-length decisions, mostly 0, keep the branch.
struct MqBits {
  MqPass& q;
  const u8* zc;
  static constexpr bool kMarksRefined = true;
  PRIM_CB_INLINE u32 significance(u32 window) { return mqDecideEven(q, zc[window & kWindow]); }
  PRIM_CB_INLINE u32 significanceIn(u32 context) { return mqDecideEven(q, context); }
  PRIM_CB_INLINE u32 sign(u32 index) { return signIn(kSign.t[index]); }
  // A sign by its entry in a sign table.
  PRIM_CB_INLINE u32 signIn(u32 sc) { return mqDecideEven(q, sc & 0xFu) ^ (sc >> 7); }
  // Context 16 + k: 18 once refined, else 16 or 17 by the neighbours.
  PRIM_CB_INLINE u32 refinementIn(u32 k) { return mqDecideEven(q, kFirstRefinementContext + k); }
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

}  // namespace cb
}  // namespace prim::PRIM_GEN_NS
