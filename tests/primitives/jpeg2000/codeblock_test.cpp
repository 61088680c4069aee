// Code-block decoder: set-up primitives, the MQ decoder's byte handling, the
// pass driver's order of passes, damage reports, refused arguments, and every
// build against px with the whole state compared after every call.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "primitives/jpeg2000/codeblock.h"
#include "tests/primitives/jpeg2000/codeblock_harness.h"
#include "tests/support/generations.h"

// The generic copy of the decoder, for the MQ decoder's byte-level cases and
// the raw reader's padding.
#include "primitives/jpeg2000/codeblock_pass_setup-inl.h"

using namespace cbtest;

namespace {

// ---------------------------------------------------------------------------
// Size, init, begin, set and get.

TEST(CodeBlockState, SizeFormula) {
  int size = 0;
  ASSERT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(1, 1, &size), primResultOk);
  EXPECT_EQ(size, 484);
  ASSERT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(64, 64, &size), primResultOk);
  EXPECT_EQ(size, 10180);
  ASSERT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(1024, 4, &size), primResultOk);
  EXPECT_EQ(size, 4128 * 4 + 388);
  ASSERT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(5, 3, &size), primResultOk);
  EXPECT_EQ(size, 32 * 4 + 388);
}

TEST(CodeBlockState, SizeChecksSizesBeforePointer) {
  int size = 7;
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(0, 4, nullptr), primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(4, 0, nullptr), primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(-3, 4, &size), primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(4, 4, nullptr), primResultNullPointer);
  EXPECT_EQ(size, 7);
}

TEST(CodeBlockState, SizeAboveIntMaxIsRefused) {
  int size = 7;
  // 4 x width + 8 alone overflows 32 bits here, and so does the product.
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(INT_MAX, 1, &size), primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(65536, 65536, &size), primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(1, INT_MAX, &size), primResultBadSize);
  EXPECT_EQ(size, 7);
  // The largest state that still fits is reported.
  ASSERT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(1, 134217698, &size), primResultOk);
  EXPECT_EQ(size, 32 * (67108849 + 2) + 388);
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(1, 134217699, &size), primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecoderInit_JPEG2000(reinterpret_cast<PrimCodeBlockDecoderState*>(&size), INT_MAX, 1),
            primResultBadSize);
}

TEST(CodeBlockState, HeaderFitsAndWorkAreaIsAligned) {
  static_assert(sizeof(PrimCodeBlockDecoderState) <= primCodeBlockHeaderBytes);
  for (int mis : {0, 4, 8, 12, 16, 28}) {
    StateBuffer st(8, 8, mis);
    const std::uint32_t work = st.get()->flagRecord.workArea;
    EXPECT_GE(work, static_cast<std::uint32_t>(primCodeBlockHeaderBytes));
    EXPECT_LT(work, static_cast<std::uint32_t>(primCodeBlockHeaderBytes + 32));
    EXPECT_EQ((reinterpret_cast<std::uintptr_t>(st.bytes()) + work) % 32, 0u);
    EXPECT_EQ(st.get()->magic, 0x434d4150u);
    EXPECT_EQ(std::memcmp(st.bytes(), "PAMC", 4), 0);
    EXPECT_EQ(st.get()->control.attached, 0u);
  }
}

TEST(CodeBlockState, InitChecks) {
  EXPECT_EQ(imgCodeBlockDecoderInit_JPEG2000(nullptr, 4, 4), primResultNullPointer);
  std::vector<std::uint8_t> mem(4096, 0);
  auto* s = reinterpret_cast<PrimCodeBlockDecoderState*>(mem.data());
  EXPECT_EQ(imgCodeBlockDecoderInit_JPEG2000(s, 0, 4), primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecoderInit_JPEG2000(s, 4, -1), primResultBadSize);
  EXPECT_EQ(mem[0], 0);  // nothing written
}

TEST(CodeBlockState, BeginChecksInOrder) {
  StateBuffer st(8, 8);
  std::vector<std::int32_t> dst(64);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(nullptr, 0, 0, 0, st.get(), 0, 1, 0),
            primResultNullPointer);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 0, 0, 0, nullptr, 0, 1, 0),
            primResultNullPointer);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 0, 0, 0, st.get(), 0, 1, 0),
            primResultBadStep);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 32, 8, 0, st.get(), 0, 1, 0),
            primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 32, 0, 8, st.get(), 0, 1, 0),
            primResultBadSize);
  st.get()->magic = 0;
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 32, 8, 8, st.get(), 0, 1, 0),
            primResultBadState);
}

TEST(CodeBlockState, BeginRefusesBlocksLargerThanTheState) {
  StateBuffer st(32, 32);
  std::vector<std::int32_t> dst(64 * 64, 0x11);
  auto* s = st.get();
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 256, 64, 32, s, 0, 4, 0), primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 256, 32, 64, s, 0, 4, 0), primResultBadSize);
  EXPECT_EQ(dst[0], 0x11);  // nothing cleared
  EXPECT_EQ(s->control.attached, 0u);
  // Anything whose flag rows fit the work area is taken, also wider and
  // lower than the sizing block.
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 256, 32, 32, s, 0, 4, 0), primResultOk);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 256, 64, 8, s, 0, 4, 0), primResultOk);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 256, 1, 1, s, 0, 4, 0), primResultOk);
}

TEST(CodeBlockState, BeginRefusesMoreThan31Planes) {
  StateBuffer st(4, 4);
  std::vector<std::int32_t> dst(16);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 16, 4, 4, st.get(), 0, 32, 0),
            primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 16, 4, 4, st.get(), 0, 31, 0), primResultOk);
  EXPECT_EQ(st.get()->pass.bitPlane, 30);
}

TEST(CodeBlockState, BeginSetsUpTheCodeBlock) {
  StateBuffer st(16, 16);
  auto* s = st.get();
  std::vector<std::int32_t> dst(20 * 16, -1);
  // Dirty flag rows first, to see them cleared.
  std::memset(st.get() + 0, 0, 0);
  std::memset(const_cast<std::uint8_t*>(st.bytes()) + s->flagRecord.workArea, 0xEE,
              st.size() - s->flagRecord.workArea - 32);
  ASSERT_EQ(
      imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 80, 13, 7, s, 3, 10, primCbBypass | 0x40000000u),
      primResultOk);
  EXPECT_EQ(s->control.flags, primCbBypass | 0x40000000u);
  EXPECT_EQ(s->control.bypassLimit, 6);
  EXPECT_EQ(s->pass.bitPlane, 9);
  EXPECT_EQ(s->control.passesToRun, 0);
  EXPECT_EQ(s->control.nextKind, 0);
  EXPECT_EQ(s->control.errorWord, 0u);
  EXPECT_EQ(s->control.attached, 1u);
  EXPECT_EQ(s->flagCursor.sigTable, 2u);
  EXPECT_EQ(s->flagRecord.flagStride, 64);
  EXPECT_EQ(s->flagCursor.pairRowStep, 128);
  const int expectOffsets[6] = {-64, 64, -68, -60, 60, 68};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s->flagCursor.neighbour[i], expectOffsets[i]);
  EXPECT_EQ(Prim64s{s->pass.stripeStep}, 320);
  // Destination rows cleared over the width only.
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_EQ(dst[y * 20 + x], x < 13 ? 0 : -1) << y << "," << x;
  EXPECT_EQ(dst[7 * 20], -1);
  // Flag rows cleared over 4 x width + 8 bytes each, the rest of the stride
  // left alone.
  const std::uint8_t* rows = st.bytes() + s->flagRecord.flagRows;
  for (int r = 0; r < 4 + 2; ++r)
    for (int b = 0; b < 64; ++b) EXPECT_EQ(rows[r * 64 + b], b < 60 ? 0 : 0xEE) << r << "," << b;
  // Contexts at their initial values.
  for (int i = 0; i < 19; ++i) {
    EXPECT_EQ(s->mq.state[i], i == 0 ? 46u : (i == 1 ? 3u : (i == 2 ? 4u : 0u)));
    EXPECT_EQ(s->mq.mps[i], 0u);
  }
}

TEST(CodeBlockState, BeginFlagsAndBandSelection) {
  StateBuffer st(8, 8);
  auto* s = st.get();
  std::vector<std::int32_t> dst(64, 77);
  ASSERT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 32, 8, 8, s, 7, 3,
                                                     primCbBypass | primCbKeepDestination),
            primResultOk);
  EXPECT_EQ(dst[0], 77);  // kept
  EXPECT_EQ(s->control.bypassLimit, 0);
  EXPECT_EQ(s->flagCursor.sigTable, 0u);
  for (int band : {0, 1, 7, -1}) {
    imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 32, 8, 8, s, band, 3, 0);
    EXPECT_EQ(s->flagCursor.sigTable, 0u) << band;
  }
  imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 32, 8, 8, s, 2, 3, 0);
  EXPECT_EQ(s->flagCursor.sigTable, 1u);
  // Without the bypass flag the limit stays 0.
  imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 32, 8, 8, s, 2, 12, 0);
  EXPECT_EQ(s->control.bypassLimit, 0);
}

TEST(CodeBlockState, SetAndGetPasses) {
  StateBuffer st(4, 4);
  auto* s = st.get();
  std::vector<std::int32_t> dst(16);
  int n = 99;
  EXPECT_EQ(imgCodeBlockDecodeGetPasses_JPEG2000(s, &n), primResultOk);  // before begin too
  imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 16, 4, 4, s, 0, 3, 0);
  EXPECT_EQ(imgCodeBlockDecodeGetPasses_JPEG2000(s, &n), primResultOk);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(imgCodeBlockDecodeSetPasses_JPEG2000(-5, s), primResultOk);
  EXPECT_EQ(imgCodeBlockDecodeGetPasses_JPEG2000(s, &n), primResultOk);
  EXPECT_EQ(n, -5);
  EXPECT_EQ(imgCodeBlockDecodeSetPasses_JPEG2000(3, nullptr), primResultNullPointer);
  EXPECT_EQ(imgCodeBlockDecodeGetPasses_JPEG2000(nullptr, &n), primResultNullPointer);
  EXPECT_EQ(imgCodeBlockDecodeGetPasses_JPEG2000(s, nullptr), primResultNullPointer);
  s->magic ^= 1;
  EXPECT_EQ(imgCodeBlockDecodeSetPasses_JPEG2000(3, s), primResultBadState);
  n = 42;
  EXPECT_EQ(imgCodeBlockDecodeGetPasses_JPEG2000(s, &n), primResultBadState);
  EXPECT_EQ(n, 42);
  s->magic ^= 1;
  EXPECT_EQ(s->control.passesToRun, -5);
}

// ---------------------------------------------------------------------------
// MQ decoder: segment start and byte input.

using prim::generic::cb::Mq;
using prim::generic::cb::State;

struct MqProbe {
  std::vector<std::uint8_t> mem = std::vector<std::uint8_t>(sizeof(State), 0);
  State* s() { return reinterpret_cast<State*>(mem.data()); }
  Mq start(const std::uint8_t* p, int len) {
    prim::generic::cb::owniResetContexts(s()->mq.state, s()->mq.mps);
    prim::generic::cb::startMq(s(), p, len);
    Mq m;
    prim::generic::cb::loadMq(m, s());
    return m;
  }
};

TEST(CodeBlockMq, EmptySegmentStart) {
  MqProbe p;
  const std::uint8_t b = 0;
  Mq m = p.start(&b, 0);
  EXPECT_EQ(m.C, 0u);
  EXPECT_EQ(m.CT, 1);
  EXPECT_EQ(m.A, 0x8000u);
  EXPECT_EQ(m.end, 1u);
  EXPECT_EQ(m.pos, 0);
  // The termination check of a segment that coded nothing is intact and
  // leaves A and C alone.
  EXPECT_EQ(prim::generic::cb::mqTerminationDamaged(m), 0u);
  EXPECT_EQ(m.C, 0u);
  EXPECT_EQ(m.A, 0x8000u);
}

TEST(CodeBlockMq, OneZeroByteSegment) {
  MqProbe p;
  const std::uint8_t b = 0;
  Mq m = p.start(&b, 1);
  EXPECT_EQ(m.C, 0x7F800000u);
  EXPECT_EQ(m.CT, 1);
  EXPECT_EQ(m.pos, 1);
  EXPECT_EQ(m.end, 0u);
  // The next byte input is past the end: B and B1 both read 0xFF.
  m.CT = 0;
  prim::generic::cb::mqByteIn(m);
  EXPECT_EQ(m.end, 1u);
  EXPECT_EQ(m.CT, 8);
  EXPECT_EQ(m.pos, 1);
}

TEST(CodeBlockMq, StuffedBytesAndMarkers) {
  MqProbe p;
  {
    const std::uint8_t seg[] = {0x12, 0xFF, 0x7F, 0x00};
    Mq m = p.start(seg, 4);  // takes in 0x12 and the 0xFF after it
    EXPECT_EQ(m.pos, 1);
    m.CT = 0;
    const std::uint32_t c = m.C;
    prim::generic::cb::mqByteIn(m);  // 7 bits of 0x7F after the stuffed bit
    EXPECT_EQ(m.pos, 2);
    EXPECT_EQ(m.CT, 7);
    EXPECT_EQ(m.C, c + 0xFE00u - (0x7Fu << 9));
  }
  {
    const std::uint8_t seg[] = {0x12, 0xFF, 0x90, 0x00};
    Mq m = p.start(seg, 4);
    m.CT = 0;
    prim::generic::cb::mqByteIn(m);  // a marker: input stops on the 0xFF
    EXPECT_EQ(m.end, 1u);
    EXPECT_EQ(m.pos, 1);
    const std::uint32_t c = m.C;
    m.CT = 0;
    prim::generic::cb::mqByteIn(m);
    EXPECT_EQ(m.C, c);
    EXPECT_EQ(m.CT, 8);
  }
  {
    // 0xFF then 0x85 counts as a stuffed byte, the addition wrapping.
    const std::uint8_t seg[] = {0x00, 0xFF, 0x85};
    Mq m = p.start(seg, 3);
    m.CT = 0;
    const std::uint32_t c = m.C;
    prim::generic::cb::mqByteIn(m);
    EXPECT_EQ(m.end, 0u);
    EXPECT_EQ(m.C, c + 0xFE00u - (0x85u << 9));
  }
  {
    // A segment that starts with a marker takes nothing in.
    const std::uint8_t seg[] = {0xFF, 0xA0};
    Mq m = p.start(seg, 2);
    EXPECT_EQ(m.end, 1u);
    EXPECT_EQ(m.pos, 0);
    EXPECT_EQ(m.C, 0u);
  }
}

// ---------------------------------------------------------------------------
// Pass driver: order of passes, budgets, modes.

struct Driver {
  StateBuffer st;
  std::vector<std::int32_t> dst;
  Driver(int w, int h, int planes, std::uint32_t flags) : st(w, h), dst(w * h) {
    imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), w * 4, w, h, st.get(), 0, planes, flags);
  }
  PrimCodeBlockDecoderState* s() { return st.get(); }
  PrimResult call(int budget = -999) {
    if (budget != -999) imgCodeBlockDecodeSetPasses_JPEG2000(budget, s());
    static const std::uint8_t bytes[4] = {0, 0, 0, 0};
    return imgCodeBlockDecodePasses_JPEG2000(bytes, 4, s());
  }
  int left() {
    int n = 0;
    imgCodeBlockDecodeGetPasses_JPEG2000(s(), &n);
    return n;
  }
};

TEST(CodeBlockDriver, ChecksInOrder) {
  StateBuffer st(4, 4);
  const std::uint8_t b = 0;
  EXPECT_EQ(imgCodeBlockDecodePasses_JPEG2000(nullptr, 0, st.get()), primResultNullPointer);
  EXPECT_EQ(imgCodeBlockDecodePasses_JPEG2000(&b, 1, nullptr), primResultNullPointer);
  EXPECT_EQ(imgCodeBlockDecodePasses_JPEG2000(&b, 1, st.get()), primResultNoCodeBlock);
  st.get()->magic = 1;
  EXPECT_EQ(imgCodeBlockDecodePasses_JPEG2000(&b, 1, st.get()), primResultBadState);
}

TEST(CodeBlockDriver, NoBudgetOrFinishedDoesNothing) {
  Driver d(4, 4, 3, 0);
  std::vector<std::uint8_t> before(d.st.bytes(), d.st.bytes() + d.st.size());
  EXPECT_EQ(d.call(0), primResultOk);
  EXPECT_EQ(d.call(-4), primResultOk);
  EXPECT_EQ(d.left(), -4);
  d.s()->control.passesToRun = 0;
  EXPECT_EQ(std::memcmp(before.data(), d.st.bytes(), d.st.size()), 0);
  Driver z(4, 4, 0, 0);  // no bit-plane at all
  EXPECT_EQ(z.s()->pass.bitPlane, -1);
  EXPECT_EQ(z.call(10), primResultOk);
  EXPECT_EQ(z.left(), 10);
}

TEST(CodeBlockDriver, SeveralPassesWithoutBypass) {
  Driver d(8, 8, 8, 0);
  EXPECT_EQ(d.call(1024), primResultOk);
  EXPECT_EQ(d.left(), 1024 - 22);
  EXPECT_EQ(d.s()->pass.bitPlane, -1);
  EXPECT_EQ(d.call(), primResultOk);
  EXPECT_EQ(d.left(), 1002);
}

TEST(CodeBlockDriver, SeveralPassesWithBypass) {
  Driver d(8, 8, 8, primCbBypass);
  d.call(1024);
  EXPECT_EQ(d.left(), 1014);
  EXPECT_EQ(d.s()->control.nextKind, 5);
  EXPECT_EQ(d.s()->pass.bitPlane, 3);
  d.call();
  EXPECT_EQ(d.left(), 1012);
  EXPECT_EQ(d.s()->control.nextKind, 3);
  EXPECT_EQ(d.s()->pass.bitPlane, 3);
  d.call();
  EXPECT_EQ(d.left(), 1011);
  EXPECT_EQ(d.s()->control.nextKind, 5);
  EXPECT_EQ(d.s()->pass.bitPlane, 2);
}

TEST(CodeBlockDriver, BudgetEndingInsideOrAtTheEndOfASegment) {
  // Out of budget after a clean-up: kind and plane stay where they were.
  Driver a(8, 8, 8, primCbBypass);
  a.call(4);  // clean-up 7, significance, refinement, clean-up 6
  EXPECT_EQ(a.s()->pass.bitPlane, 6);
  EXPECT_EQ(a.s()->control.nextKind, 0);
  Driver b(8, 8, 8, primCbBypass);
  b.call(3);  // stops after the refinement of plane 6
  EXPECT_EQ(b.s()->pass.bitPlane, 6);
  b.call(10);
  EXPECT_EQ(b.s()->control.nextKind, 5);
  // A raw segment with a budget of 1 runs only its significance pass.
  Driver c(8, 8, 5, primCbBypass);
  c.call(1024);
  EXPECT_EQ(c.s()->control.nextKind, 5);
  c.call(1);
  EXPECT_EQ(c.s()->control.nextKind, 5);
  EXPECT_EQ(c.left(), 0);
  // A clean-up segment with exactly its one pass of budget stays at kind 3.
  c.call(2);
  EXPECT_EQ(c.s()->control.nextKind, 3);
  c.call(1);
  EXPECT_EQ(c.s()->control.nextKind, 3);
  EXPECT_EQ(c.s()->pass.bitPlane, 0);
}

std::vector<int> kindsOnePassPerCall(int planes, std::uint32_t flags) {
  Driver d(4, 4, planes, flags | primCbTerminateEachPass);
  std::vector<int> kinds;
  for (int i = 0; i < 100 && d.s()->pass.bitPlane >= 0; ++i) {
    kinds.push_back(d.s()->control.nextKind);
    d.call(1);
    EXPECT_EQ(d.left(), 0);
  }
  return kinds;
}

TEST(CodeBlockDriver, OnePassPerCall) {
  EXPECT_EQ(kindsOnePassPerCall(2, 0), (std::vector<int>{0, 2, 1, 0}));
  EXPECT_EQ(kindsOnePassPerCall(5, primCbBypass), (std::vector<int>{0, 2, 1, 0, 2, 1, 0, 2, 1, 0, 5, 4, 3}));
  EXPECT_EQ(kindsOnePassPerCall(3, primCbBypass), (std::vector<int>{0, 2, 1, 0, 2, 1, 0}));
  Driver d(4, 4, 2, primCbTerminateEachPass);
  for (int i = 0; i < 4; ++i) d.call(1);
  EXPECT_EQ(d.s()->pass.bitPlane, -1);
  EXPECT_EQ(d.call(1), primResultOk);
  EXPECT_EQ(d.left(), 1);
}

// ---------------------------------------------------------------------------
// Values of single coefficients and damage reports.

TEST(CodeBlockPasses, MidpointsAndRefinement) {
  // A 1x1 block: clean-up at plane 5, then significance and refinement of
  // plane 4.
  for (int bit : {0, 1}) {
    EncodeOptions o;
    o.width = o.height = 1;
    o.bitPlanes = 6;
    o.maxPasses = 3;
    const std::vector<std::int32_t> c = {32 + 16 * bit + 5};
    const EncodedBlock eb = encodeCodeBlock(c, o);
    const DecodeRun run = decodeBlock(kBuilds[0], eb, o, Budget::Total);
    EXPECT_EQ(run.coef[0], bit ? 56u : 40u);
  }
  EncodeOptions o;
  o.width = o.height = 1;
  o.bitPlanes = 6;
  o.maxPasses = 1;
  const EncodedBlock eb = encodeCodeBlock({-33}, o);
  EXPECT_EQ(decodeBlock(kBuilds[0], eb, o, Budget::Total).coef[0], 0x80000000u | 48u);
  o.bitPlanes = 1;
  EXPECT_EQ(decodeBlock(kBuilds[0], encodeCodeBlock({1}, o), o, Budget::Total).coef[0], 1u);
}

TEST(CodeBlockPasses, KeptDestinationKeepsInsignificantSamples) {
  EncodeOptions o;
  o.width = 4;
  o.height = 4;
  o.bitPlanes = 4;
  std::vector<std::int32_t> c(16, 0);
  c[5] = 9;
  c[10] = -3;
  const EncodedBlock eb = encodeCodeBlock(c, o);
  const DecodeRun run = decodeBlock(kBuilds[0], eb, o, Budget::Total, primCbKeepDestination);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(run.coef[i], i == 5 ? 9u : (i == 10 ? 0x80000003u : 0x5A5A5A5Au)) << i;
}

EncodedBlock encodeRandom(std::mt19937& rng, EncodeOptions& o) {
  return encodeCodeBlock(randomCoefficients(rng, o.width, o.height, o.bitPlanes, 0.5), o);
}

TEST(CodeBlockPasses, WrongSegmentationSymbolIsDamage) {
  std::mt19937 rng(3);
  EncodeOptions o;
  o.width = 16;
  o.height = 16;
  o.bitPlanes = 6;
  o.style = kSegSymbol | kTermAll;
  EncodedBlock eb = encodeRandom(rng, o);
  // Decoding the clean-up of the first plane from the second pass's bytes
  // gives a wrong symbol sooner or later; here: feed zeros.
  for (auto& b : eb.segments[0].bytes) b = 0x00;
  const DecodeRun run = decodeBlock(kBuilds[0], eb, o, Budget::Total);
  EXPECT_EQ(run.results[1], primResultDamagedCodeBlock);
  EXPECT_EQ(run.errorWord, 1u);
  EXPECT_EQ(run.passesLeft, 0);  // the later passes still ran
}

TEST(CodeBlockPasses, DamageLeavesTheDriverWhereIntactDataWould) {
  std::mt19937 rng(31);
  for (std::uint32_t style : {kSegSymbol, kSegSymbol | kBypass, kPredictable | kTermAll,
                              kPredictable | kBypass | kSegSymbol, kBypass | kTermAll}) {
    EncodeOptions o;
    o.width = 12;
    o.height = 12;
    o.bitPlanes = 9;
    o.style = style;
    const EncodedBlock eb = encodeRandom(rng, o);
    StateBuffer good(12, 12), bad(12, 12);
    std::vector<std::int32_t> dg(144), db(144);
    imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dg.data(), 48, 12, 12, good.get(), 0, 9, style);
    imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(db.data(), 48, 12, 12, bad.get(), 0, 9, style);
    imgCodeBlockDecodeSetPasses_JPEG2000(eb.passes, good.get());
    imgCodeBlockDecodeSetPasses_JPEG2000(eb.passes, bad.get());
    bool sawDamage = false;
    for (const Segment& seg : eb.segments) {
      std::vector<std::uint8_t> junk(seg.bytes.size() + 3);
      for (auto& b : junk) b = static_cast<std::uint8_t>(rng() & 0x7F);
      const std::uint8_t zero = 0;
      EXPECT_EQ(imgCodeBlockDecodePasses_JPEG2000(seg.bytes.empty() ? &zero : seg.bytes.data(),
                                                  static_cast<int>(seg.bytes.size()), good.get()),
                primResultOk);
      const PrimResult r =
          imgCodeBlockDecodePasses_JPEG2000(junk.data(), static_cast<int>(junk.size()), bad.get());
      ASSERT_TRUE(r == primResultOk || r == primResultDamagedCodeBlock);
      sawDamage |= r == primResultDamagedCodeBlock;
      EXPECT_EQ(bad.get()->control.errorWord, sawDamage ? 1u : 0u);
      EXPECT_EQ(bad.get()->control.nextKind, good.get()->control.nextKind);
      EXPECT_EQ(bad.get()->pass.bitPlane, good.get()->pass.bitPlane);
      EXPECT_EQ(bad.get()->control.passesToRun, good.get()->control.passesToRun);
    }
    EXPECT_TRUE(sawDamage) << style;
    // The next begin clears the error word.
    imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(db.data(), 48, 12, 12, bad.get(), 0, 9, style);
    EXPECT_EQ(bad.get()->control.errorWord, 0u);
  }
}

TEST(CodeBlockPasses, VerticallyCausalLeavesTheStripeAboveAlone) {
  for (std::uint32_t style : {0u, kCausal}) {
    EncodeOptions o;
    o.width = 1;
    o.height = 8;
    o.bitPlanes = 1;
    o.style = style;
    std::vector<std::int32_t> c(8, 0);
    c[4] = -1;  // first row of the second stripe
    const EncodedBlock eb = encodeCodeBlock(c, o);
    StateBuffer st(1, 8);
    std::vector<std::int32_t> dst(8);
    auto* s = st.get();
    imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 4, 1, 8, s, 0, 1, style);
    imgCodeBlockDecodeSetPasses_JPEG2000(1, s);
    ASSERT_EQ(imgCodeBlockDecodePasses_JPEG2000(eb.segments[0].bytes.data(),
                                                static_cast<int>(eb.segments[0].bytes.size()), s),
              primResultOk);
    EXPECT_EQ(static_cast<std::uint32_t>(dst[4]), 0x80000001u);
    // Flag row 1 holds the first stripe; bits 15..17 of its words are the
    // significance of the row below the stripe (west, own, east column) and
    // bit 23 that row's sign.
    std::uint32_t entry;
    std::memcpy(&entry, st.bytes() + s->flagRecord.flagRows + s->flagRecord.flagStride + 4, 4);
    const std::uint32_t below = (1u << 16) | (1u << 23);  // significant, negative
    EXPECT_EQ(entry & ((7u << 15) | (1u << 23)), style ? 0u : below) << style;
  }
}

TEST(CodeBlockPasses, PredictableTerminationCatchesChangedBytes) {
  std::mt19937 rng(11);
  int caught = 0, tried = 0;
  for (int t = 0; t < 200; ++t) {
    EncodeOptions o;
    o.width = 8 + static_cast<int>(rng() % 24);
    o.height = 8 + static_cast<int>(rng() % 24);
    o.bitPlanes = 8;
    o.style = kPredictable | kTermAll;
    EncodedBlock eb = encodeRandom(rng, o);
    auto& seg = eb.segments[rng() % eb.segments.size()];
    if (seg.bytes.size() < 2) continue;
    ++tried;
    if (rng() & 1)
      seg.bytes.pop_back();  // truncated
    else
      seg.bytes[rng() % seg.bytes.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    bool damaged = false;
    for (PrimResult r : decodeBlock(kBuilds[0], eb, o, Budget::Total).results)
      damaged |= r == primResultDamagedCodeBlock;
    caught += damaged;
  }
  // The check cannot see every change, but most of them.
  EXPECT_GT(caught, tried * 3 / 4) << caught << " of " << tried;
}

TEST(CodeBlockPasses, RawPaddingIsChecked) {
  std::mt19937 rng(21);
  int tried = 0, caught = 0;
  for (int t = 0; t < 100; ++t) {
    EncodeOptions o;
    o.width = 8;
    o.height = 8;
    o.bitPlanes = 7;
    o.style = kBypass | kTermAll;
    EncodedBlock eb = encodeRandom(rng, o);
    // Flip the lowest bit of the last byte of a raw refinement segment.
    for (std::size_t i = 0; i < eb.segments.size(); ++i) {
      Segment& s = eb.segments[i];
      if (!s.raw || s.bytes.empty() || (i % 3) != 2) continue;
      ++tried;
      s.bytes.back() ^= 1;
      const DecodeRun run = decodeBlock(kBuilds[0], eb, o, Budget::Total);
      caught += run.results[i + 1] == primResultDamagedCodeBlock;
      s.bytes.back() ^= 1;
    }
  }
  ASSERT_GT(tried, 20);
  // A flipped last bit is caught unless the pass read that very bit.
  EXPECT_GT(caught, tried / 3);
}

TEST(CodeBlockPasses, RawPaddingPatterns) {
  prim::generic::cb::Raw r{};
  r.cur = 0x02;  // three unread bits 010
  r.bitPos = 2;
  EXPECT_EQ(prim::generic::cb::rawPaddingDamaged(r), 0u);
  r.cur = 0x03;  // 011
  EXPECT_EQ(prim::generic::cb::rawPaddingDamaged(r), 1u);
  r.bitPos = -1;
  EXPECT_EQ(prim::generic::cb::rawPaddingDamaged(r), 0u);
  r.cur = 0x2A;  // after a 0xFF: seven bits 0101010
  r.bitPos = 6;
  EXPECT_EQ(prim::generic::cb::rawPaddingDamaged(r), 0u);
}

// ---------------------------------------------------------------------------
// Every build against px: results, coefficients and the whole state after
// every call, on intact and damaged data with odd budgets.

class CodeBlockBuilds : public GenerationTest {};

// Header bytes with the destination address blanked, then the work area
// (its first `limit` bytes when given).
std::vector<std::uint8_t> stateImage(const StateBuffer& st, std::size_t limit = 0) {
  const std::size_t n = limit && limit < st.size() ? limit : st.size();
  std::vector<std::uint8_t> img(st.bytes(), st.bytes() + n);
  std::memset(img.data() + offsetof(PrimCodeBlockDecoderState, geometry.destination), 0, 8);
  return img;
}

std::vector<std::uint8_t> mangle(std::mt19937& rng, std::vector<std::uint8_t> b) {
  switch (rng() % 8) {
    case 0:
      if (!b.empty()) b[rng() % b.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      break;
    case 1:
      if (!b.empty()) b[rng() % b.size()] = 0xFF;
      break;
    case 2:
      b.resize(b.size() / 2);
      break;
    case 3:
      b.push_back(0xFF);
      break;
    case 4:
      for (int i = 0; i < 6; ++i) b.push_back(static_cast<std::uint8_t>(rng()));
      break;
    case 5:
      b.clear();
      break;
    case 6:
      for (auto& x : b) x = static_cast<std::uint8_t>(rng() | ((rng() & 3) == 0 ? 0xF0 : 0));
      break;
    default:
      break;  // intact
  }
  return b;
}

TEST_P(CodeBlockBuilds, IdenticalToPxStateIncluded) {
  const Build& px = kBuilds[0];
  const Build& gb = kBuilds[generation()];
  std::mt19937 rng(1000 + generation());
  const int sizes[][2] = {{4, 4},  {1, 1},  {3, 5},  {32, 32},  {64, 64}, {7, 2},
                          {5, 13}, {64, 4}, {16, 9}, {1024, 4}, {4, 1024}};
  StateBuffer bigA(1024, 1024), bigB(1024, 1024);
  for (int t = 0; t < 600; ++t) {
    const auto& sz = sizes[rng() % (sizeof(sizes) / sizeof(sizes[0]))];
    EncodeOptions o;
    o.width = sz[0];
    o.height = sz[1];
    o.band = static_cast<int>(rng() % 5);
    o.bitPlanes = static_cast<int>(rng() % 16);
    o.style = static_cast<std::uint32_t>(rng() & 0x1F) | ((rng() & 1) ? kPredictable : 0u);
    o.maxPasses = (rng() % 4) ? 1 << 30 : static_cast<int>(rng() % 30);
    o.dropFinalRawFF = rng() & 1;
    const EncodedBlock eb = encodeRandom(rng, o);
    const bool damage = (rng() % 3) == 0;
    const int misalign = static_cast<int>(rng() % 8) * 4;
    std::uint32_t flags = o.style;
    if (rng() % 4 == 0) flags |= primCbKeepDestination;
    if (rng() % 8 == 0) flags |= 0x7FE00000u & static_cast<std::uint32_t>(rng());  // ignored bits
    SCOPED_TRACE("case " + std::to_string(t));

    // Half of the cases decode into a large state that keeps whatever the
    // code-blocks before left in it.
    const bool reuse = rng() & 1;
    if (reuse && rng() % 3 == 0) flags |= primCbKeepFlagRows;
    StateBuffer la(o.width, o.height, misalign), lb(o.width, o.height, misalign);
    StateBuffer& sa = reuse ? bigA : la;
    StateBuffer& sb = reuse ? bigB : lb;
    const std::size_t limit =
        reuse ? 512 + static_cast<std::size_t>(4 * o.width + 40) * static_cast<std::size_t>(o.height / 2 + 4)
              : 0;
    std::vector<std::int32_t> da(static_cast<std::size_t>(o.width) * o.height, 0x0BADF00D);
    std::vector<std::int32_t> dbuf = da;
    ASSERT_EQ(px.begin(da.data(), o.width * 4, o.width, o.height, sa.get(), o.band, o.bitPlanes, flags),
              gb.begin(dbuf.data(), o.width * 4, o.width, o.height, sb.get(), o.band, o.bitPlanes, flags));
    ASSERT_EQ(stateImage(sa, limit), stateImage(sb, limit));
    ASSERT_EQ(da, dbuf);
    std::vector<Segment> segs = eb.segments;
    bool pristine = !damage;
    if (rng() % 5 == 0) {
      segs.push_back(Segment{{0x12, 0xFF}, 1, false});  // a call too many
      pristine = false;
    }
    int budget = eb.passes;
    for (std::size_t i = 0; i < segs.size(); ++i) {
      if (rng() % 4 == 0) {
        const int choices[] = {0, -1, 1, 2, 3, 1024, static_cast<int>(rng() % 12)};
        budget = choices[rng() % 7];
        pristine = false;
      }
      imgCodeBlockDecodeSetPasses_JPEG2000(budget, sa.get());
      imgCodeBlockDecodeSetPasses_JPEG2000(budget, sb.get());
      const std::vector<std::uint8_t> bytes = damage ? mangle(rng, segs[i].bytes) : segs[i].bytes;
      const std::uint8_t zero = 0;
      const std::uint8_t* p = bytes.empty() ? &zero : bytes.data();
      const PrimResult ra = px.decode(p, static_cast<int>(bytes.size()), sa.get());
      const PrimResult rb = gb.decode(p, static_cast<int>(bytes.size()), sb.get());
      ASSERT_EQ(ra, rb) << "segment " << i;
      ASSERT_EQ(da, dbuf) << "segment " << i;
      ASSERT_EQ(stateImage(sa, limit), stateImage(sb, limit)) << "segment " << i;
      budget = sa.get()->control.passesToRun;
    }
    if (pristine && (flags & (primCbKeepDestination | primCbKeepFlagRows)) == 0) {
      for (std::size_t k = 0; k < da.size(); ++k)
        ASSERT_EQ(static_cast<std::uint32_t>(da[k]), eb.expected[k]);
    }
  }
}

TEST_P(CodeBlockBuilds, AnotherBuildMayContinueACodeBlock) {
  // Calls alternate between px and this build; the result is px's alone.
  std::mt19937 rng(66 + generation());
  const Build& gb = kBuilds[generation()];
  for (int t = 0; t < 60; ++t) {
    EncodeOptions o;
    o.width = 24;
    o.height = 21;
    o.band = static_cast<int>(rng() % 4);
    o.bitPlanes = 3 + static_cast<int>(rng() % 10);
    o.style = static_cast<std::uint32_t>(rng() & 0x1F) | kPredictable;
    const EncodedBlock eb = encodeRandom(rng, o);
    StateBuffer sa(24, 21), sb(24, 21);
    std::vector<std::int32_t> da(24 * 21), dbuf(24 * 21);
    kBuilds[0].begin(da.data(), 96, 24, 21, sa.get(), o.band, o.bitPlanes, o.style);
    gb.begin(dbuf.data(), 96, 24, 21, sb.get(), o.band, o.bitPlanes, o.style);
    imgCodeBlockDecodeSetPasses_JPEG2000(eb.passes, sa.get());
    imgCodeBlockDecodeSetPasses_JPEG2000(eb.passes, sb.get());
    for (std::size_t i = 0; i < eb.segments.size(); ++i) {
      const auto& seg = eb.segments[i].bytes;
      const std::uint8_t zero = 0;
      const std::uint8_t* p = seg.empty() ? &zero : seg.data();
      const Build& mixed = (i & 1) ? kBuilds[0] : gb;
      ASSERT_EQ(kBuilds[0].decode(p, static_cast<int>(seg.size()), sa.get()),
                mixed.decode(p, static_cast<int>(seg.size()), sb.get()));
    }
    ASSERT_EQ(da, dbuf);
    ASSERT_EQ(stateImage(sa), stateImage(sb));
    for (std::size_t k = 0; k < da.size(); ++k) ASSERT_EQ(static_cast<std::uint32_t>(da[k]), eb.expected[k]);
  }
}

TEST_P(CodeBlockBuilds, ContextResetAtEveryAlignment) {
  std::mt19937 rng(55);
  for (int misalign = 0; misalign < 64; misalign += 4) {
    StateBuffer st(8, 8, misalign);
    std::vector<std::int32_t> dst(64);
    auto* s = st.get();
    ASSERT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 32, 8, 8, s, 0, 5, primCbResetContexts),
              primResultOk);
    for (int i = 0; i < 19; ++i) {
      s->mq.state[i] = 5u + static_cast<std::uint32_t>(i);  // anything else
      s->mq.mps[i] = 1;
    }
    std::vector<std::uint8_t> seg(20);
    for (auto& b : seg) b = static_cast<std::uint8_t>(rng());
    imgCodeBlockDecodeSetPasses_JPEG2000(1, s);
    ASSERT_EQ(imgCodeBlockDecodePasses_JPEG2000(seg.data(), 20, s), primResultOk);
    for (int i = 0; i < 19; ++i) {
      EXPECT_EQ(s->mq.state[i], i == 0 ? 46u : (i == 1 ? 3u : (i == 2 ? 4u : 0u))) << i;
      EXPECT_EQ(s->mq.mps[i], 0u) << i;
    }
  }
}

TEST_P(CodeBlockBuilds, SegmentsOfFFAndMarkers) {
  // The sse2 build has its own byte input; segments made of 0xFF, markers
  // and stuffing anywhere, the last byte included, must not tell it apart.
  std::mt19937 rng(77);
  const Build& gb = kBuilds[generation()];
  for (int t = 0; t < 400; ++t) {
    const int w = 1 + static_cast<int>(rng() % 20), h = 1 + static_cast<int>(rng() % 20);
    StateBuffer sa(w, h), sb(w, h);
    std::vector<std::int32_t> da(w * h), dbuf(w * h);
    const std::uint32_t flags = static_cast<std::uint32_t>(rng() & 0x1F) | kPredictable;
    const int planes = 1 + static_cast<int>(rng() % 12);
    kBuilds[0].begin(da.data(), w * 4, w, h, sa.get(), 0, planes, flags);
    gb.begin(dbuf.data(), w * 4, w, h, sb.get(), 0, planes, flags);
    for (int call = 0; call < 12; ++call) {
      std::vector<std::uint8_t> seg(rng() % 6);
      for (auto& b : seg) {
        const unsigned r = rng() % 4;
        b = r == 0
                ? 0xFF
                : (r == 1 ? static_cast<std::uint8_t>(0x80 + rng() % 32) : static_cast<std::uint8_t>(rng()));
      }
      imgCodeBlockDecodeSetPasses_JPEG2000(1 + static_cast<int>(rng() % 5), sa.get());
      imgCodeBlockDecodeSetPasses_JPEG2000(sa.get()->control.passesToRun, sb.get());
      const std::uint8_t zero = 0;
      const std::uint8_t* p = seg.empty() ? &zero : seg.data();
      ASSERT_EQ(kBuilds[0].decode(p, static_cast<int>(seg.size()), sa.get()),
                gb.decode(p, static_cast<int>(seg.size()), sb.get()));
      ASSERT_EQ(da, dbuf);
      ASSERT_EQ(stateImage(sa), stateImage(sb));
    }
  }
}

TEST_P(CodeBlockBuilds, PublicEntriesRunTheForcedBuild) {
  // The public entries give the px results through every build's slot.
  int size = 0;
  EXPECT_EQ(imgCodeBlockDecoderStateSize_JPEG2000(64, 64, &size), primResultOk);
  EXPECT_EQ(size, 10180);
  StateBuffer st(4, 4);
  std::vector<std::int32_t> dst(16);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 16, 4, 4, st.get(), 0, 32, 0),
            primResultBadSize);
  EXPECT_EQ(imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst.data(), 16, 4, 4, st.get(), 0, 3, 0), primResultOk);
  EXPECT_EQ(imgCodeBlockDecodeSetPasses_JPEG2000(7, st.get()), primResultOk);
  int n = 0;
  EXPECT_EQ(imgCodeBlockDecodeGetPasses_JPEG2000(st.get(), &n), primResultOk);
  EXPECT_EQ(n, 7);
  const std::uint8_t b = 0;
  EXPECT_EQ(imgCodeBlockDecodePasses_JPEG2000(nullptr, 0, st.get()), primResultNullPointer);
  EXPECT_EQ(imgCodeBlockDecodePasses_JPEG2000(&b, 1, st.get()), primResultOk);
  EXPECT_EQ(imgCodeBlockDecodeGetPasses_JPEG2000(st.get(), &n), primResultOk);
  EXPECT_EQ(n, 0);
  StateBuffer fresh(4, 4);
  EXPECT_EQ(imgCodeBlockDecodePasses_JPEG2000(&b, 1, fresh.get()), primResultNoCodeBlock);
}

INSTANTIATE_GENERATIONS(CodeBlockBuilds);

}  // namespace
