// The code-block decoder of one generation: begin, the pass driver and the
// other primitives of one build.  Each codeblock_<gen>.cpp includes this
// header (see codeblock_common-inl.h for the parts and what differs between
// the builds).
#pragma once

#include "primitives/jpeg2000/codeblock_passes-inl.h"

namespace prim::PRIM_GEN_NS {
namespace cb {

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

// With bypass, the first four bit-planes keep all their passes MQ-coded:
// raw passes begin with the fifth.
constexpr int kMqCodedPlanes = 4;

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
  s->control.bypassLimit =
      (flags & primCbBypass) ? (bitPlanes > kMqCodedPlanes ? bitPlanes - kMqCodedPlanes : 0) : 0;
  s->pass.bitPlane = bitPlanes - 1;
  s->control.passesToRun = 0;
  s->control.nextKind = primCbNextCleanup;
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
      case primCbNextRefinement:
        startMq(s, src, len);
        damaged |= owniCodeBlockRefinementPass(s, reset, term);
        s->control.nextKind = primCbNextCleanup;
        break;
      case primCbNextSignificance:
        startMq(s, src, len);
        damaged |= owniCodeBlockSignificancePass(s, causal, reset, term);
        s->control.nextKind = primCbNextRefinement;
        break;
      case primCbNextBypassCleanup:
        startMq(s, src, len);
        damaged |= owniCodeBlockCleanupPass(s, causal, segSymbol, reset, term);
        s->control.nextKind = primCbNextRawSignificance;
        --s->pass.bitPlane;
        break;
      case primCbNextRawRefinement:
        startRaw(s, src, len);
        damaged |= owniCodeBlockRawRefinementPass(s);
        s->control.nextKind = primCbNextBypassCleanup;
        break;
      case primCbNextRawSignificance:
        startRaw(s, src, len);
        damaged |= owniCodeBlockRawSignificancePass(s, causal, 1);
        s->control.nextKind = primCbNextRawRefinement;
        break;
      default:  // primCbNextCleanup, and any value outside the kinds
        startMq(s, src, len);
        damaged |= owniCodeBlockCleanupPass(s, causal, segSymbol, reset, term);
        --s->pass.bitPlane;
        s->control.nextKind = s->pass.bitPlane >= limit ? primCbNextSignificance : primCbNextRawSignificance;
        break;
    }
    --b;
  } else if (s->control.nextKind == primCbNextBypassCleanup) {
    startMq(s, src, len);
    damaged |= owniCodeBlockCleanupPass(s, causal, segSymbol, reset, term);
    --b;
    if (b > 0) {
      --s->pass.bitPlane;
      s->control.nextKind = primCbNextRawSignificance;
    }
  } else if (s->control.nextKind == primCbNextRawSignificance) {
    startRaw(s, src, len);
    damaged |= owniCodeBlockRawSignificancePass(s, causal, 0);
    --b;
    if (b > 0) {
      damaged |= owniCodeBlockRawRefinementPass(s);
      --b;
      s->control.nextKind = primCbNextBypassCleanup;
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
        s->control.nextKind = primCbNextRawSignificance;
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
