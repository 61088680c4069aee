// Main header: hand-made codestreams for every diagnostic of SOC, SIZ and the
// main-header marker segments, and the refusals of hostile geometry.
#include <gtest/gtest.h>

#include <vector>

#include "decoder/codestream/codestream_header.h"
#include "tests/decoder/codestream_builder.h"

using namespace Codec;
using namespace codec_test;
using Codes = std::vector<std::uint32_t>;

namespace {

// Diagnostic codes used below.
enum : std::uint32_t {
  kWarnUnknownQuantStyle = 0,
  kWarnUnknownMarker = 4,
  kWarnExtraCOD = 5,
  kWarnExtraQCD = 6,
  kWarnExtraCOC = 7,
  kWarnExtraQCC = 8,
  kWarnExtraPOC = 9,
  kWarnOnlyMainHeader = 10,
  kWarnLengthBelow = 17,
  kWarnLengthExceedsContainer = 18,
  kWarnTLM = 19,
  kWarnPLM = 20,
  kWarnCRG = 21,
  kWarnCOM = 22,
  kWarnZeroLayers = 37,
  kWarnRsiz = 38,
  kWarnTileOrigin = 39,
  kWarnBitDepth = 40,
  kWarnMCT = 41,
  kPPM = 45,
  kRGN = 47,
  kHTBlockCoding = 48,
  kSOCNotFound = 63,
  kSIZNotFound = 64,
  kCOCIndex = 65,
  kQCCIndex = 66,
  kCODNotFound = 67,
  kQCDNotFound = 68,
  kLackOfQuant = 69,
  kNegativeBodyLen = 70,
  kGeometry = 71,
  kNegativeSize = 72,
  kBadOrder = 73,
  kBadLevels = 74,
  kBadCbWidth = 75,
  kBadCbHeight = 76,
  kBadTransform = 77,
  kPOCRes = 78,
  kPOCComp = 79,
  kPOCInverseRes = 80,
  kPOCInverseComp = 81,
  kNoData = 82,
};

ParseOutcome Parse(const Bytes& data, CodestreamHeader& h) { return ParseMainHeader(data, h); }
ParseOutcome Parse(const Bytes& data) {
  CodestreamHeader h;
  return ParseMainHeader(data, h);
}

// Expects the parse to fail with `exception` after exactly `warnings`.
void ExpectRefused(const Bytes& data, std::uint32_t exception, Codes warnings = {}) {
  const ParseOutcome r = Parse(data);
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.exceptionCode, exception);
  warnings.push_back(exception);
  EXPECT_EQ(r.codes, warnings);
}

SizParams ThreeComponents() {
  SizParams p;
  p.ssiz = {7, 7, 7};
  p.xr = {1, 1, 1};
  p.yr = {1, 1, 1};
  return p;
}

}  // namespace

TEST(MainHeader, MinimalHeaderEndsAtSot) {
  CodestreamHeader h;
  const ParseOutcome r = Parse(Minimal(), h);
  ASSERT_FALSE(r.failed) << r.exceptionCode;
  EXPECT_TRUE(r.endedAtSot);
  EXPECT_TRUE(r.codes.empty());
  EXPECT_EQ(h.image.width, 64u);
  EXPECT_EQ(h.image.height, 48u);
  EXPECT_EQ(h.componentCount, 1u);
  EXPECT_EQ(h.TileCount(), 1u);
  EXPECT_EQ(h.codingStyles.Get(0).levels, 2u);
  EXPECT_EQ(h.quantStyles.Get(0).levelCount, 2u);
  EXPECT_FALSE(h.codMissing);
}

TEST(MainHeader, SocAndSizMustComeFirst) {
  ExpectRefused({0xFF, 0x51, 0x00, 0x02}, kSOCNotFound);
  ExpectRefused({0xFF, 0x4F, 0xFF, 0x52}, kSIZNotFound);
  ExpectRefused({}, kNoData);
  ExpectRefused({0xFF}, kNoData);
}

TEST(MainHeader, SizGeometry) {
  SizParams p;
  p.rsiz = 3;
  const ParseOutcome r = Parse(Minimal({}, p));
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.codes, (Codes{kWarnRsiz}));

  SizParams empty;  // XOsiz = Xsiz: an empty image is accepted
  empty.xosiz = 10;
  empty.xsiz = 10;
  empty.xtosiz = 10;
  CodestreamHeader h;
  EXPECT_FALSE(Parse(Minimal({}, empty), h).failed);
  EXPECT_EQ(h.image.width, 0u);
  EXPECT_EQ(h.TileCount(), 0u);

  SizParams negative = empty;
  negative.xosiz = 11;
  ExpectRefused(Minimal({}, negative), kNegativeSize);

  for (int field = 0; field < 8; ++field) {
    SizParams big;
    std::uint32_t* f[] = {&big.xsiz,  &big.ysiz,  &big.xosiz,  &big.yosiz,
                          &big.xtsiz, &big.ytsiz, &big.xtosiz, &big.ytosiz};
    *f[field] = 0x80000000u;
    ExpectRefused(Minimal({}, big), kGeometry);
  }
}

TEST(MainHeader, TileOriginBeyondImageOriginIsMovedBack) {
  SizParams p;
  p.xosiz = 100;
  p.xsiz = 400;
  p.xtosiz = 300;
  p.xtsiz = 64;
  p.ytosiz = 0;
  CodestreamHeader h;
  const ParseOutcome r = Parse(Minimal({}, p), h);
  ASSERT_FALSE(r.failed) << r.exceptionCode;
  EXPECT_EQ(r.codes, (Codes{kWarnTileOrigin}));
  EXPECT_EQ(h.tileOriginX, 44u);
  EXPECT_EQ(h.tileOriginY, 0u);
  EXPECT_EQ(h.TilesAcross(), 6u);  // ceil((400 - 44) / 64)

  // Moving back by whole tiles would pass below 0 on the reference grid.
  p.xosiz = 5;
  p.xtosiz = 300;
  ExpectRefused(Minimal({}, p), kGeometry, {kWarnTileOrigin});
}

TEST(MainHeader, PrecisionsAndSampling) {
  SizParams p;
  p.ssiz = {0x8B, 0x25, 0x00};
  p.xr = {1, 2, 3};
  p.yr = {1, 1, 4};
  CodestreamHeader h;
  ASSERT_FALSE(Parse(Minimal({}, p), h).failed);
  EXPECT_EQ(h.BitDepth(0), 12u);
  EXPECT_TRUE(h.IsSigned(0));
  EXPECT_EQ(h.BitDepth(1), 38u);
  EXPECT_EQ(h.BitDepth(2), 1u);
  EXPECT_EQ(h.sampling[2].x, 3u);
  EXPECT_EQ(h.sampling[2].y, 4u);
  EXPECT_EQ(h.quantStyles.Count(), 3u);
  EXPECT_EQ(h.codingStyles.Count(), 3u);

  // 39 bits: warned, then refused (shifts by the depth would leave 64 bits).
  p.ssiz = {7, 0x26, 7};
  ExpectRefused(Minimal({}, p), kGeometry, {kWarnBitDepth});
}

TEST(MainHeader, HostileSizIsRefused) {
  {
    SizParams p;  // zero tile width: later steps divide by it
    p.xtsiz = 0;
    ExpectRefused(Minimal({}, p), kGeometry);
    p = {};
    p.ytsiz = 0;
    ExpectRefused(Minimal({}, p), kGeometry);
  }
  {
    SizParams p;  // zero sampling factor
    p.xr = {0};
    ExpectRefused(Minimal({}, p), kGeometry);
    p = {};
    p.yr = {0};
    ExpectRefused(Minimal({}, p), kGeometry);
  }
  {
    SizParams p;  // no components
    p.ssiz.clear();
    p.xr.clear();
    p.yr.clear();
    ExpectRefused(Minimal({}, p), kGeometry);
  }
  {
    // 16385 components: refused before anything is allocated for them.
    Builder b;
    b.u16(0xFF4F).u16(0xFF51).u16(38 + 3).u16(0);
    for (std::uint32_t v : {64u, 48u, 0u, 0u, 64u, 48u, 0u, 0u}) b.u32(v);
    b.u16(16385).u8(7).u8(1).u8(1);
    ExpectRefused(b.b, kGeometry);
  }
  {
    SizParams p;  // 256 x 256 one-sample tiles: 65536 tiles
    p.xsiz = p.ysiz = 256;
    p.xtsiz = p.ytsiz = 1;
    ExpectRefused(Minimal({}, p), kGeometry);
    p.xsiz = 255;
    p.ysiz = 257;  // 65535 tiles is the most
    CodestreamHeader h;
    EXPECT_FALSE(Parse(Minimal({}, p), h).failed);
    EXPECT_EQ(h.TileCount(), 65535u);
  }
  {
    SizParams p;  // the largest grid of the largest tiles: 1 tile, no overflow
    p.xsiz = p.ysiz = p.xtsiz = p.ytsiz = 0x7FFFFFFFu;
    CodestreamHeader h;
    EXPECT_FALSE(Parse(Minimal({}, p), h).failed);
    EXPECT_EQ(h.TileCount(), 1u);
    p.xtsiz = p.ytsiz = 1;  // 2^62 tiles
    ExpectRefused(Minimal({}, p), kGeometry);
  }
  {
    SizParams p;  // tile grid that ends before the image begins
    p.xosiz = 10;
    p.xsiz = 74;
    p.xtosiz = 0;
    p.xtsiz = 10;
    ExpectRefused(Minimal({}, p), kGeometry);
    p.xtsiz = 11;
    EXPECT_FALSE(Parse(Minimal({}, p)).failed);
  }
}

TEST(MainHeader, CodingStyleSegments) {
  {
    Builder b = Start();
    b.segment(0xFF52, CodBody(0, 1, 3))
        .segment(0xFF52, CodBody(0, 2, 4))
        .segment(0xFF5C, QcdBody())
        .u16(0xFF90);
    CodestreamHeader h;
    const ParseOutcome r = Parse(b.b, h);
    EXPECT_EQ(r.codes, (Codes{kWarnExtraCOD}));
    EXPECT_EQ(h.globalStyle.progressionOrder, 2u);  // the second wins
    EXPECT_EQ(h.globalStyle.layers, 4u);
  }
  auto withCod = [](const Bytes& cod) {
    Builder b = Start();
    b.segment(0xFF52, cod).segment(0xFF5C, QcdBody()).u16(0xFF90);
    return b.b;
  };
  ExpectRefused(withCod(CodBody(0, 5)), kBadOrder);
  ExpectRefused(withCod(CodBody(0, 0, 1, 0, 33)), kBadLevels);
  ExpectRefused(withCod(CodBody(0, 0, 1, 0, 2, 0x19)), kBadCbWidth);
  ExpectRefused(withCod(CodBody(0, 0, 1, 0, 2, 4, 9)), kBadCbHeight);
  ExpectRefused(withCod(CodBody(0, 0, 1, 0, 2, 4, 4, 0, 2)), kBadTransform);
  {
    CodestreamHeader h;
    const ParseOutcome r = Parse(withCod(CodBody(0, 0, 0, 2)), h);
    EXPECT_EQ(r.codes, (Codes{kWarnZeroLayers, kWarnMCT}));
    EXPECT_EQ(h.globalStyle.layers, 0u);
    EXPECT_FALSE(h.globalStyle.mct);
    // QCD gives 2 levels, COD asks for 2: enough.
    EXPECT_FALSE(r.failed);
  }
  {
    // NL 32 with 33 precinct pairs; Scod 7 also sets SOP and EPH.
    Bytes pp;
    for (int r = 0; r <= 32; ++r) pp.push_back(static_cast<std::uint8_t>(r == 0 ? 0x77 : 0x88));
    CodestreamHeader h;
    const ParseOutcome r = Parse(withCod(CodBody(7, 4, 1, 1, 32, 0x14, 0x02, 0x3F, 0, pp)), h);
    EXPECT_FALSE(r.failed) << r.exceptionCode;
    const CodingStyle& s = h.codingStyles.Default();
    EXPECT_EQ(s.levels, 32u);
    ASSERT_EQ(s.precincts.Count(), 33u);
    EXPECT_EQ(s.precincts[0].ppx, 7u);
    EXPECT_EQ(s.precincts[32].ppy, 8u);
    EXPECT_EQ(s.codeBlockWidthExp, 6u);
    EXPECT_EQ(s.codeBlockHeightExp, 4u);
    EXPECT_EQ(s.codeBlockFlags, 0x10001Fu | 0x100000u);
    EXPECT_EQ(s.transform, 0u);
    EXPECT_TRUE(h.globalStyle.sop);
    EXPECT_TRUE(h.globalStyle.eph);
    EXPECT_TRUE(h.globalStyle.mct);
    EXPECT_EQ(h.globalStyle.progressionOrder, 4u);
  }
}

TEST(MainHeader, CodeBlockStyleFlags) {
  EXPECT_EQ(MapCodeBlockStyle(0x00), 0u);
  EXPECT_EQ(MapCodeBlockStyle(0x3F), 0x100000u | 0x10u | 0x8u | 0x4u | 0x2u | 0x1u);
  EXPECT_EQ(MapCodeBlockStyle(0x01), 0x2u);
  EXPECT_EQ(MapCodeBlockStyle(0x02), 0x8u);
  EXPECT_EQ(MapCodeBlockStyle(0x04), 0x4u);
  EXPECT_EQ(MapCodeBlockStyle(0x08), 0x1u);
  EXPECT_EQ(MapCodeBlockStyle(0x10), 0x100000u);
  EXPECT_EQ(MapCodeBlockStyle(0x20), 0x10u);
  EXPECT_EQ(MapCodeBlockStyle(0xC0), 0u);
}

// High-throughput code-blocks (style bit 0x40, alone or with the mixed-mode
// bit 0x80) are another block coder: COD and COC announcing them are refused
// rather than decoded into noise.  Bit 0x80 alone stays ignored.
TEST(MainHeader, HighThroughputCodeBlocksRefused) {
  for (std::uint8_t style : {0x40, 0xC0, 0x48}) {
    Builder b = Start();
    b.segment(0xFF52, CodBody(0, 0, 1, 0, 2, 4, 4, style)).segment(0xFF5C, QcdBody()).u16(0xFF90);
    ExpectRefused(b.b, kHTBlockCoding);
  }
  {
    Builder b = Start(ThreeComponents());
    b.segment(0xFF52, CodBody())
        .segment(0xFF53, {1, 0x00, 2, 4, 4, 0x40, 1})
        .segment(0xFF5C, QcdBody())
        .u16(0xFF90);
    ExpectRefused(b.b, kHTBlockCoding);
  }
  {
    Builder b = Start();
    b.segment(0xFF52, CodBody(0, 0, 1, 0, 2, 4, 4, 0x80)).segment(0xFF5C, QcdBody()).u16(0xFF90);
    CodestreamHeader h;
    const ParseOutcome r = Parse(b.b, h);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(h.codingStyles.Default().codeBlockFlags, 0u);
  }
}

TEST(MainHeader, ComponentOverrides) {
  const SizParams three = ThreeComponents();
  {
    Builder coc;
    coc.segment(0xFF53, {1, 0x01, 3, 2, 2, 0, 0, 0x11, 0x22, 0x33, 0x44})  // COC 1, precincts follow
        .segment(0xFF53, {1, 0x00, 1, 2, 2, 0, 1})                         // again: warned, replaces
        .segment(0xFF5D,
                 {2, 0x22, 0x40, 0x00, 0x48, 0x00, 0x48, 0x00, 0x48, 0x00})  // QCC 2, expounded, 1 level
        .segment(0xFF5D, {2, 0x03, 0x10})                                    // again, unknown style 3
        .segment(0xFF5C, QcdBody(2))
        .segment(0xFF5C, QcdBody(3));  // extra QCD
    CodestreamHeader h;
    Builder b = Start(three);
    b.segment(0xFF52, CodBody()).bytes(coc.b).u16(0xFF90);
    const ParseOutcome r = Parse(b.b, h);
    ASSERT_FALSE(r.failed) << r.exceptionCode;
    // The QCC record reports through the header; the style-3 QCC reads as style 0.
    EXPECT_EQ(r.codes, (Codes{kWarnExtraCOC, kWarnExtraQCC, kWarnUnknownQuantStyle, kWarnExtraQCD}));
    EXPECT_TRUE(h.codingStyles.HasOwn(1));
    EXPECT_FALSE(h.codingStyles.HasOwn(0));
    EXPECT_EQ(h.codingStyles.Get(1).levels, 1u);
    EXPECT_EQ(h.codingStyles.Get(1).transform, 1u);
    EXPECT_EQ(h.codingStyles.Get(0).levels, 2u);
    EXPECT_EQ(&h.codingStyles.Get(2), &h.codingStyles.Default());
    EXPECT_TRUE(h.quantStyles.HasOwn(2));
    EXPECT_EQ(h.quantStyles.Get(2).style, 0u);
    EXPECT_EQ(h.quantStyles.Get(2).levelCount, 0u);  // one byte after Sqcc: (1 - 1) / 3
    EXPECT_EQ(h.quantStyles.Get(2).ll.exponent, 2u);
    EXPECT_EQ(h.quantStyles.Get(0).levelCount, 3u);  // the second QCD
  }
  {
    Builder b = Start(three);
    b.segment(0xFF52, CodBody())
        .segment(0xFF53, {3, 0, 1, 2, 2, 0, 1})
        .segment(0xFF5C, QcdBody())
        .u16(0xFF90);
    ExpectRefused(b.b, kCOCIndex);
  }
  {
    Builder b = Start(three);
    b.segment(0xFF52, CodBody()).segment(0xFF5D, {3, 0x00, 0x40}).segment(0xFF5C, QcdBody()).u16(0xFF90);
    ExpectRefused(b.b, kQCCIndex);
  }
}

TEST(MainHeader, RequiredSegments) {
  {
    Builder b = Start();
    b.segment(0xFF52, CodBody()).u16(0xFF90);
    ExpectRefused(b.b, kQCDNotFound);
  }
  {
    Builder b = Start();
    b.u16(0xFF90);
    ExpectRefused(b.b, kCODNotFound);
  }
  {
    Builder b = Start();
    b.segment(0xFF5C, QcdBody()).u16(0xFF90);
    ExpectRefused(b.b, kCODNotFound);
  }
  {
    // A header ending at EOC: warned, result false.
    Builder b = Start();
    b.segment(0xFF52, CodBody()).segment(0xFF5C, QcdBody()).u16(0xFFD9);
    const ParseOutcome r = Parse(b.b);
    EXPECT_FALSE(r.failed);
    EXPECT_FALSE(r.endedAtSot);
    EXPECT_EQ(r.codes, (Codes{kWarnOnlyMainHeader}));
  }
}

TEST(MainHeader, SecondCodestreamDoesNotInheritDefaults) {
  CodestreamHeader h;
  ASSERT_FALSE(Parse(Minimal(), h).failed);
  Builder b = Start();
  b.u16(0xFF90);
  const ParseOutcome r = Parse(b.b, h);
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.exceptionCode, kCODNotFound);
  Builder c = Start();
  c.segment(0xFF52, CodBody()).u16(0xFF90);
  EXPECT_EQ(Parse(c.b, h).exceptionCode, kQCDNotFound);
}

TEST(MainHeader, SkippedAndRefusedSegments) {
  const Bytes body20(20, 0xAB);
  {
    Builder extra;
    extra.segment(0xFF64, body20)
        .segment(0xFF55, {0, 0})
        .segment(0xFF57, {0})
        .segment(0xFF63, {0, 1, 0, 1})
        .segment(0xFF70, {1, 2, 3})  // unknown, skipped by its length
        .u16(0xFF30)                 // stands alone
        .segment(0xFF58, {0});       // PLT does not belong here
    CodestreamHeader h;
    const ParseOutcome r = Parse(Minimal(extra.b), h);
    ASSERT_FALSE(r.failed) << r.exceptionCode;
    EXPECT_TRUE(r.endedAtSot);
    EXPECT_EQ(r.codes, (Codes{kWarnCOM, kWarnTLM, kWarnPLM, kWarnCRG, kWarnUnknownMarker, kWarnUnknownMarker,
                              kWarnUnknownMarker}));
  }
  {
    Builder extra;
    extra.segment(0xFF5E, {0, 0, 1});
    ExpectRefused(Minimal(extra.b), kRGN);
  }
  {
    Builder extra;
    extra.segment(0xFF60, {0, 1, 2});
    ExpectRefused(Minimal(extra.b), kPPM);
  }
}

TEST(MainHeader, SegmentLengths) {
  {
    // A COD two bytes longer than its parser reads: skipped, warned, and the
    // next segment is read in place.
    Bytes cod = CodBody();
    cod.push_back(0xEE);
    cod.push_back(0xEE);
    Builder b = Start();
    b.segment(0xFF52, cod).segment(0xFF5C, QcdBody()).u16(0xFF90);
    const ParseOutcome r = Parse(b.b);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.codes, (Codes{kWarnLengthBelow}));
  }
  {
    // A length field below 2.
    Builder b = Start();
    b.u16(0xFF52).u16(1);
    ExpectRefused(b.b, kNegativeBodyLen);
  }
  {
    // A COM longer than the rest of the codestream: shortened, then the
    // stream runs out.
    Builder b = Start();
    b.u16(0xFF64).u16(200).u16(0);
    ExpectRefused(b.b, kNoData, {kWarnLengthExceedsContainer, kWarnCOM});
  }
  {
    // A COD whose length leaves out its last fields: no read passes the segment.
    Bytes cod = CodBody();
    cod.resize(6);
    Builder b = Start();
    b.segment(0xFF52, cod).segment(0xFF5C, QcdBody()).u16(0xFF90);
    ExpectRefused(b.b, kNoData);
  }
  {
    // A SIZ cut after its component count.
    Builder b;
    b.u16(0xFF4F).u16(0xFF51).u16(38 + 3);
    b.u16(0);
    for (std::uint32_t v : {64u, 48u, 0u, 0u, 64u, 48u, 0u, 0u}) b.u32(v);
    b.u16(1);
    ExpectRefused(b.b, kNoData, {kWarnLengthExceedsContainer});
  }
}

TEST(MainHeader, ProgressionChanges) {
  const SizParams three = ThreeComponents();
  auto withPoc = [&](const Bytes& body, const Bytes& more = {}) {
    Builder b = Start(three);
    b.segment(0xFF52, CodBody()).segment(0xFF5C, QcdBody()).segment(0xFF5F, body).bytes(more).u16(0xFF90);
    return b.b;
  };
  {
    CodestreamHeader h;
    const ParseOutcome r = Parse(withPoc({1, 0, 0, 5, 3, 0, 2}), h);
    ASSERT_FALSE(r.failed) << r.exceptionCode;
    ASSERT_EQ(h.ProgressionChangeCount(), 1u);
    const ProgressionChange& pc = h.progressionChanges[0];
    EXPECT_EQ(pc.resolutionStart, 1u);
    EXPECT_EQ(pc.resolutionEnd, 3u);
    EXPECT_EQ(pc.resolutionCount, 2u);
    EXPECT_EQ(pc.componentStart, 0u);
    EXPECT_EQ(pc.componentEnd, 256u);  // CEpoc 0
    EXPECT_EQ(pc.componentCount, 256u);
    EXPECT_EQ(pc.layerEnd, 5u);
    EXPECT_EQ(pc.progressionOrder, 2u);
  }
  {
    // Two entries plus three stray bytes; a second POC replaces the first.
    Builder second;
    second.segment(0xFF5F, {0, 1, 0, 1, 1, 2, 4});
    CodestreamHeader h;
    const ParseOutcome r = Parse(withPoc({0, 0, 0, 1, 1, 3, 0, 1, 0, 0, 2, 2, 3, 1, 9, 9, 9}, second.b), h);
    ASSERT_FALSE(r.failed) << r.exceptionCode;
    EXPECT_EQ(r.codes, (Codes{kWarnLengthBelow, kWarnExtraPOC}));
    ASSERT_EQ(h.ProgressionChangeCount(), 1u);
    EXPECT_EQ(h.progressionChanges[0].componentStart, 1u);
    EXPECT_EQ(h.progressionChanges[0].componentEnd, 2u);
    EXPECT_EQ(h.progressionChanges[0].progressionOrder, 4u);
  }
  {
    // A component end beyond Csiz is kept (the iterator clamps it).
    CodestreamHeader h;
    EXPECT_FALSE(Parse(withPoc({0, 0, 0, 1, 33, 255, 1}), h).failed);
    EXPECT_EQ(h.progressionChanges[0].componentEnd, 255u);
  }
  ExpectRefused(withPoc({34, 0, 0, 1, 34, 1, 0}), kPOCRes);
  ExpectRefused(withPoc({0, 0, 0, 1, 34, 1, 0}), kPOCRes);
  ExpectRefused(withPoc({0, 4, 0, 1, 1, 5, 0}), kPOCComp);
  ExpectRefused(withPoc({2, 0, 0, 1, 1, 1, 0}), kPOCInverseRes);
  ExpectRefused(withPoc({0, 2, 0, 1, 1, 1, 0}), kPOCInverseComp);
  ExpectRefused(withPoc({0, 2, 0, 0, 1, 1, 0}), kPOCInverseComp, {kWarnZeroLayers});
}

TEST(MainHeader, ProgressionChangesWithTwoByteComponentIndices) {
  SizParams p;
  p.ssiz.assign(300, 7);
  p.xr.assign(300, 1);
  p.yr.assign(300, 1);
  Builder b = Start(p);
  b.segment(0xFF52, CodBody())
      .segment(0xFF5C, QcdBody())
      .segment(0xFF53, {0x01, 0x2B, 0, 1, 2, 2, 0, 1})           // COC for component 299
      .segment(0xFF5F, {0, 0x00, 0x10, 0, 1, 1, 0x01, 0x2C, 3})  // 9-byte entry
      .u16(0xFF90);
  CodestreamHeader h;
  const ParseOutcome r = Parse(b.b, h);
  ASSERT_FALSE(r.failed) << r.exceptionCode;
  EXPECT_TRUE(h.codingStyles.HasOwn(299));
  EXPECT_EQ(h.codingStyles.Get(299).levels, 1u);
  ASSERT_EQ(h.ProgressionChangeCount(), 1u);
  EXPECT_EQ(h.progressionChanges[0].componentStart, 16u);
  EXPECT_EQ(h.progressionChanges[0].componentEnd, 300u);
}

TEST(MainHeader, ComponentRectangles) {
  // Odd origin on a subsampled component: ceil(x0 / 2) = 2, ceil(x1 / 2) = 6.
  const Rect r = ComponentRect({3, 5, 8, 7}, {2, 3});
  EXPECT_EQ(r.x, 2u);
  EXPECT_EQ(r.width, 4u);
  EXPECT_EQ(r.y, 2u);
  EXPECT_EQ(r.height, 2u);  // ceil(12 / 3) - ceil(5 / 3)
  const Rect same = ComponentRect({3, 5, 8, 7}, {1, 1});
  EXPECT_EQ(same.x, 3u);
  EXPECT_EQ(same.width, 8u);
  EXPECT_EQ(same.height, 7u);
  const Rect far = ComponentRect({0xFFFFFFF0u, 0, 0xFFu, 1}, {2, 1});  // x1 passes 2^32
  EXPECT_EQ(far.x, 0x7FFFFFF8u);
  EXPECT_EQ(far.width, 0x80u);
}
