// Inputs found by fuzzing the decoder (scripts/fuzz_decoder.sh) or by
// probing its limits, rebuilt here from hand-made bytes: each used to hang
// or to give a wrong result, and now decodes or fails quickly with its
// diagnostic, with the caller's planes lent as without.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "decoder/image_decoder.h"
#include "decoder/image_records.h"
#include "decoder/stream_input.h"
#include "decoder/tier2/packet_iterator.h"
#include "tests/decoder/codestream_builder.h"

using namespace Codec;
using namespace codec_test;

namespace {

constexpr std::uint32_t kNoData = 82;

struct Outcome {
  int header = -1;
  int data = -1;
  std::vector<std::uint32_t> codes;
};

// ReadHeader, caller image, ReadData, as the converter calls them, with the
// caller's planes lent or not.
Outcome DecodeBytesInto(const Bytes& bytes, bool lend) {
  Outcome out;
  CMemBuffInput stream;
  stream.Open(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  JPEG2000Decoder dec;
  RecordingSink sink;
  if (dec.Init() != 0 || dec.AttachStream(&stream) != 0) return out;
  dec.LendCallerPlanes(lend);
  dec.AttachDiagnOutput(&sink);
  ImageHeader header;
  ImageSampling sampling;
  out.header = dec.ReadHeader(&header, &sampling);
  if (out.header == 0) {
    ImageBuffer image;
    if (image.Alloc(kImageData32s, 0, sampling, 6, 0) == 0)
      out.data = dec.ReadData(image.planePointers, &image.layout);
  }
  out.codes = sink.Codes();
  return out;
}

// The same with planes of the decoder's own and with lent ones (the
// converter's configuration): both must end alike.
Outcome DecodeBytes(const Bytes& bytes) {
  const Outcome own = DecodeBytesInto(bytes, false), lent = DecodeBytesInto(bytes, true);
  EXPECT_EQ(lent.header, own.header);
  EXPECT_EQ(lent.data, own.data);
  EXPECT_EQ(lent.codes, own.codes);
  return own;
}

// `comps` components of 8 bits, one tile: the image's single sample sits at
// (1, 1), so with many levels every resolution below the highest is empty.
Bytes ManyEmptyResolutions(std::uint32_t comps, std::uint16_t layers, std::uint8_t levels,
                           std::uint8_t order) {
  SizParams p;
  p.xsiz = 2;
  p.ysiz = 2;
  p.xosiz = 1;
  p.yosiz = 1;
  p.xtsiz = 2;
  p.ytsiz = 2;
  p.ssiz.assign(comps, 7);
  p.xr.assign(comps, 1);
  p.yr.assign(comps, 1);
  Builder b = Start(p);
  b.segment(0xFF52, CodBody(0, order, layers, 0, levels)).segment(0xFF5C, QcdBody(levels));
  // One tile-part running to EOC, with a few bytes of empty packets.
  b.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).u16(0xFF93);
  for (int i = 0; i < 16; ++i) b.u8(0);
  b.u16(0xFFD9);
  return b.b;
}

// Components whose precinct lattices cross: A has a precinct in every column
// and one row, B one column and a precinct in every row, the others a few
// of each.  (x, y, sampling) per component: A (1, 255), B (255, 1), the
// rest (255, 255); one level, 1 x 1 precincts.
SizParams CrossingLattices(std::uint32_t others, std::uint32_t size) {
  SizParams p;
  p.xsiz = p.ysiz = p.xtsiz = p.ytsiz = size;
  p.ssiz.assign(others + 2, 7);
  p.xr = {1, 255};
  p.yr = {255, 1};
  p.xr.resize(others + 2, 255);
  p.yr.resize(others + 2, 255);
  return p;
}

}  // namespace

// Layer-major orders once walked every component for every layer of every
// resolution, also where no component has a precinct: 65535 layers of 16384
// components over 32 empty resolutions took hours before the first packet.
TEST(FuzzRegressions, LayerMajorOrdersSkipEmptyResolutionsAtOnce) {
  for (std::uint8_t order : {0, 1}) {  // LRCP, RLCP
    const Outcome o = DecodeBytes(ManyEmptyResolutions(16384, 65535, 32, order));
    EXPECT_EQ(o.header, 0);
    // The sixteen bytes hold sixteen empty packets; the next one finds no data.
    EXPECT_EQ(o.data, -1);
    ASSERT_FALSE(o.codes.empty());
    EXPECT_EQ(o.codes.back(), kNoData) << "order " << int{order};
  }
}

// The iterator itself: the first packets of a tile whose components have a
// grid only at their highest resolution come at once, in the order's nesting.
TEST(FuzzRegressions, IteratorReachesTheOnlyResolutionWithPrecinctsAtOnce) {
  const std::uint32_t comps = 16384;
  std::vector<CodingStyle> styles(comps);
  std::vector<IteratorComponent> ic(comps);
  for (std::uint32_t c = 0; c < comps; ++c) {
    styles[c].levels = 32;
    styles[c].precincts.Reset(33);
    for (std::uint32_t r = 0; r <= 32; ++r) styles[c].precincts[r] = {15, 15};
    ic[c] = {&styles[c], {1, 1}};
  }
  for (std::uint32_t order : {0u, 1u}) {
    PacketIterator it;
    it.SetUp({1, 1, 1, 1}, ic.data(), comps, order, 65535, nullptr, 0);
    for (std::uint32_t k = 0; k < 3; ++k) {
      ASSERT_TRUE(it.Available());
      const PacketPosition& p = it.Current();
      EXPECT_EQ(p.resolution, 32u);
      EXPECT_EQ(p.component, k);  // both orders take the components of layer 0 first
      EXPECT_EQ(p.layer, 0u);
      it.Advance();
    }
  }
  // A progression change limited to components without any grid yields
  // nothing, and the COD order then goes on from the first component.
  ProgressionChange poc;
  poc.progressionOrder = 1;
  poc.resolutionStart = 0;
  poc.resolutionEnd = 32;  // below the only resolution with precincts
  poc.resolutionCount = 32;
  poc.componentStart = 0;
  poc.componentEnd = comps;
  poc.componentCount = comps;
  poc.layerEnd = 65535;
  PacketIterator it;
  it.SetUp({1, 1, 1, 1}, ic.data(), comps, 0, 65535, &poc, 1);
  ASSERT_TRUE(it.Available());
  EXPECT_EQ(it.Current().resolution, 32u);
  EXPECT_EQ(it.Current().component, 0u);
}

// High-throughput code-blocks are refused in the main header and in a
// tile-part header (where COD may come again).
TEST(FuzzRegressions, HighThroughputCodeBlocksInATilePartAreRefused) {
  Builder b = Start();
  b.segment(0xFF52, CodBody()).segment(0xFF5C, QcdBody());
  const Bytes cod = CodBody(0, 0, 1, 0, 2, 4, 4, 0x40);
  // SOT with Psot 0 (to EOC), then the tile-part COD and SOD.
  b.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).segment(0xFF52, cod).u16(0xFF93).u8(0).u16(0xFFD9);
  const Outcome o = DecodeBytes(b.b);
  EXPECT_EQ(o.header, 0);
  EXPECT_EQ(o.data, -1);
  ASSERT_FALSE(o.codes.empty());
  EXPECT_EQ(o.codes.back(), 48u);
}

// The position-driven orders once stepped over every position at which any
// component starts a precinct in x, for every row at which any starts one in
// y, and tried every component there: lattices that cross (one component
// dense in x, another dense in y) made that the product of both with the
// component count, billions of tries for a few thousand precincts.
TEST(FuzzRegressions, PositionOrdersFollowThePrecinctsNotTheirCrossProduct) {
  const std::uint32_t others = 500, size = 2048;
  const SizParams p = CrossingLattices(others, size);
  const std::uint32_t comps = others + 2;
  std::vector<CodingStyle> styles(comps);
  std::vector<IteratorComponent> ic(comps);
  std::size_t precincts = 0;
  for (std::uint32_t c = 0; c < comps; ++c) {
    styles[c].levels = 0;
    styles[c].precincts.Reset(1);
    styles[c].precincts[0] = {0, 0};
    ic[c] = {&styles[c], {p.xr[c], p.yr[c]}};
    precincts += std::size_t{(size + p.xr[c] - 1) / p.xr[c]} * ((size + p.yr[c] - 1) / p.yr[c]);
  }
  for (std::uint32_t order : {2u, 3u, 4u}) {
    PacketIterator it;
    it.SetUp({0, 0, size, size}, ic.data(), comps, order, 1, nullptr, 0);
    std::set<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> seen;
    std::size_t produced = 0;
    while (it.Available() && produced <= precincts) {
      const PacketPosition& q = it.Current();
      seen.insert({q.component, q.precinctX, q.precinctY});
      ++produced;
      it.Advance();
    }
    // Every precinct once.
    EXPECT_EQ(produced, precincts) << "order " << order;
    EXPECT_EQ(seen.size(), precincts) << "order " << order;
  }
  // The same geometry as a codestream, RPCL: decoding its few bytes of empty
  // packets ends at once, with a result.
  Builder b = Start(p);
  b.segment(0xFF52, CodBody(0x01, 2, 1, 0, 0, 4, 4, 0, 1, {0x00})).segment(0xFF5C, QcdBody(0));
  b.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).u16(0xFF93);
  for (int i = 0; i < 64; ++i) b.u8(0);
  b.u16(0xFFD9);
  const Outcome o = DecodeBytes(b.b);
  EXPECT_EQ(o.header, 0);
  if (o.data != 0) {
    EXPECT_FALSE(o.codes.empty());
  }
}

// A tile-part of fourteen bytes starts a tile, and a started tile keeps a
// few hundred bytes per resolution of each component until the image is
// written: 65280 one-sample tiles of 1000 components in 900 KB took more than
// 22 GB, of 16 components with 5 levels 3 GB.  The tiles started are now
// bounded by their components and resolutions (weight 2^21 in all).
Bytes TinyTiles(std::uint32_t comps, std::uint8_t levels, std::uint32_t tilesStarted) {
  SizParams p;
  p.xsiz = 255;
  p.ysiz = 256;  // 65280 tiles of 1 x 1
  p.xtsiz = p.ytsiz = 1;
  p.ssiz.assign(comps, 7);
  p.xr.assign(comps, 1);
  p.yr.assign(comps, 1);
  Builder b = Start(p);
  b.segment(0xFF52, CodBody(0, 0, 1, 0, levels)).segment(0xFF5C, QcdBody(levels));
  // Each tile-part: SOT (Psot 14: no packet data) and SOD.
  for (std::uint32_t t = 0; t < tilesStarted; ++t)
    b.u16(0xFF90).u16(10).u16(t).u32(14).u8(0).u8(1).u16(0xFF93);
  b.u16(0xFFD9);
  return b.b;
}

TEST(FuzzRegressions, TileStructuresAreBoundedAcrossTiles) {
  constexpr std::uint32_t kFaultMalloc = 83;
  {
    const Outcome o = DecodeBytes(TinyTiles(1000, 0, 65280));
    EXPECT_EQ(o.header, 0);
    EXPECT_EQ(o.data, -1);
    ASSERT_FALSE(o.codes.empty());
    EXPECT_EQ(o.codes.back(), kFaultMalloc);
  }
  {
    const Outcome o = DecodeBytes(TinyTiles(16, 5, 65280));
    EXPECT_EQ(o.data, -1);
    ASSERT_FALSE(o.codes.empty());
    EXPECT_EQ(o.codes.back(), kFaultMalloc);
  }
  // A header of 65535 tiles of 16384 components makes no planes before a tile
  // starts (it used to ask for one plane record per tile and component, tens
  // of gigabytes, in ReadHeader).
  {
    SizParams p;
    p.xsiz = 255;
    p.ysiz = 257;
    p.xtsiz = p.ytsiz = 1;
    p.ssiz.assign(16384, 7);
    p.xr.assign(16384, 1);
    p.yr.assign(16384, 1);
    const Bytes bytes = Minimal({}, p);
    CMemBuffInput stream;
    stream.Open(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    JPEG2000Decoder dec;
    ASSERT_EQ(dec.Init(), 0);
    ASSERT_EQ(dec.AttachStream(&stream), 0);
    ImageHeader header;
    ImageSampling sampling;
    EXPECT_EQ(dec.ReadHeader(&header, &sampling), 0);
  }
  // Far below the bound: 4096 tiles started of three components decode.
  const Outcome o = DecodeBytes(TinyTiles(3, 0, 4096));
  EXPECT_EQ(o.header, 0);
  EXPECT_EQ(o.data, 0);
}

// Found by libFuzzer (an out-of-memory report): 2 x 2 precincts at every
// resolution of a 2048 x 2048 tile ask for 4 M precinct parts and as many
// code-blocks, 1.5 GB of records from 60 KB, allowed by the former per-tile
// bound of 2^23 records.  The bound is now 2^21 (about 600 MB).
TEST(FuzzRegressions, TinyPrecinctsOverALargeTileAreRefused) {
  SizParams p;
  p.xsiz = p.ysiz = p.xtsiz = p.ytsiz = 2048;
  Builder b = Start(p);
  const Bytes precincts(6, 0x11);
  b.segment(0xFF52, CodBody(0x01, 0, 65535, 0, 5, 4, 4, 0, 1, precincts)).segment(0xFF5C, QcdBody(5));
  b.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).u16(0xFF93);
  for (int i = 0; i < 64; ++i) b.u8(0);
  b.u16(0xFFD9);
  const Outcome o = DecodeBytes(b.b);
  EXPECT_EQ(o.header, 0);
  EXPECT_EQ(o.data, -1);
  ASSERT_FALSE(o.codes.empty());
  EXPECT_EQ(o.codes.back(), 83u);  // Except_faultMalloc
  // One step coarser (4 x 4 precincts above resolution 0) stays below the bound.
  Builder c = Start(p);
  c.segment(0xFF52, CodBody(0x01, 0, 1, 0, 5, 4, 4, 0, 1, {0x11, 0x22, 0x22, 0x22, 0x22, 0x22}))
      .segment(0xFF5C, QcdBody(5));
  c.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).u16(0xFF93);
  for (int i = 0; i < 64; ++i) c.u8(0);
  c.u16(0xFFD9);
  const Outcome fine = DecodeBytes(c.b);
  ASSERT_FALSE(fine.codes.empty() && fine.data != 0);
  if (!fine.codes.empty()) {
    EXPECT_NE(fine.codes.back(), 83u);
  }
}
