// Tile structures: band and precinct geometry, code-block partitions that
// cover every band plane exactly once, empty bands, the lowest resolution
// with packets, and the tile start from a hand-made codestream.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decoder/level_set.h"
#include "decoder/tier2/tile.h"
#include "tests/decoder/codestream_builder.h"
#include "tests/decoder/tier2/tile_walk.h"

using namespace Codec;
using namespace codec_test;

namespace {

struct Built {
  CodingStyle style;
  QuantStyle quant;
  LevelSet planes;
  TileComponent tc;
};

void Build(Built& b, const Rect& tc, std::uint32_t levels, std::uint32_t cbw, std::uint32_t cbh,
           const std::vector<PrecinctSize>& pp) {
  b.style.levels = levels;
  b.style.codeBlockWidthExp = cbw;
  b.style.codeBlockHeightExp = cbh;
  b.style.precincts.Reset(levels + 1);
  for (std::uint32_t r = 0; r <= levels; ++r) b.style.precincts[r] = pp[r < pp.size() ? r : pp.size() - 1];
  b.quant.style = kQuantNone;
  b.quant.guardBits = 1;
  b.quant.levels.Reset(levels);
  b.quant.levelCount = levels;
  b.quant.ll = {0, 8};
  for (auto& l : b.quant.levels) l = {{0, 9}, {0, 9}, {0, 10}};
  AllocLevelSet32(b.planes, tc, levels);
  BuildTileComponent(b.tc, tc, b.style, b.quant, 8, 1, b.planes, nullptr);
}

// Marks every sample that a code-block of the band covers; every sample of
// the plane must be covered once and code-blocks must stay inside it.
void CheckCover(const Band& band, const SubbandPlane& plane, std::uint32_t maxW, std::uint32_t maxH,
                const char* what) {
  if (band.empty) {
    EXPECT_EQ(plane.data, nullptr) << what;
    for (const auto& row : band.precincts)
      for (const PrecinctBand& pb : row) EXPECT_EQ(pb.codeBlocks.Count(), 0u) << what;
    return;
  }
  ASSERT_NE(plane.data, nullptr) << what;
  EXPECT_EQ(band.rect.width, plane.width) << what;
  EXPECT_EQ(band.rect.height, plane.height) << what;
  std::vector<int> hits(std::size_t{plane.width} * plane.height, 0);
  const auto* base = static_cast<const std::uint8_t*>(plane.data);
  for (const auto& row : band.precincts)
    for (const PrecinctBand& pb : row) {
      EXPECT_EQ(pb.inclusion.NodeCount() > 0, pb.codeBlocks.Count() > 0) << what;
      for (const CodeBlock& cb : pb.codeBlocks) {
        const CodeBlockParams& p = cb.Params();
        const std::ptrdiff_t off = reinterpret_cast<const std::uint8_t*>(p.destination) - base;
        ASSERT_GE(off, 0) << what;
        const std::uint32_t y0 = static_cast<std::uint32_t>(off / plane.step);
        const std::uint32_t x0 = static_cast<std::uint32_t>(off % plane.step) / 4;
        EXPECT_LE(p.width, maxW) << what;
        EXPECT_LE(p.height, maxH) << what;
        ASSERT_LE(x0 + p.width, plane.width) << what;
        ASSERT_LE(y0 + p.height, plane.height) << what;
        for (std::uint32_t y = 0; y < p.height; ++y)
          for (std::uint32_t x = 0; x < p.width; ++x) ++hits[(y0 + y) * plane.width + x0 + x];
      }
    }
  for (int h : hits) ASSERT_EQ(h, 1) << what;
}

void CheckAll(Built& b, std::uint32_t cbw, std::uint32_t cbh) {
  CheckCover(b.tc.ll, b.planes.ll, 1u << cbw, 1u << cbh, "LL");
  for (std::uint32_t i = 0; i < b.tc.levels; ++i)
    for (std::uint32_t k = 0; k < 3; ++k)
      CheckCover(b.tc.resolutions[i].bands[k], b.planes.level[i].Band(k), 1u << cbw, 1u << cbh, "band");
}

}  // namespace

TEST(TileStructures, BandRectanglesOfOddOrigins) {
  const Rect res{3, 5, 8, 7};  // x 3..11, y 5..12
  const Rect ll = BandRect(res, kBandLL), hl = BandRect(res, kBandHL), lh = BandRect(res, kBandLH),
             hh = BandRect(res, kBandHH);
  EXPECT_EQ(ll.x, 2u);  // ceil(3 / 2)
  EXPECT_EQ(hl.x, 1u);  // floor(3 / 2)
  EXPECT_EQ(ll.width, 4u);
  EXPECT_EQ(hl.width, 4u);
  EXPECT_EQ(ll.y, 3u);
  EXPECT_EQ(lh.y, 2u);
  EXPECT_EQ(ll.height, 3u);  // 3..6
  EXPECT_EQ(lh.height, 4u);  // 2..6
  EXPECT_EQ(hh.x, 1u);
  EXPECT_EQ(hh.y, 2u);
  const Rect r2 = ResolutionRect({3, 5, 8, 7}, 2);  // ceil(3/4)=1 .. ceil(11/4)=3
  EXPECT_EQ(r2.x, 1u);
  EXPECT_EQ(r2.width, 2u);
}

TEST(TileStructures, CodeBlocksCoverEveryBandPlaneOnce) {
  std::mt19937 rng(5);
  for (int i = 0; i < 150; ++i) {
    auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
      return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    };
    const Rect tc{pick(0, 37), pick(0, 37), pick(1, 120), pick(1, 90)};
    const std::uint32_t levels = pick(0, 5);
    const std::uint32_t cbw = pick(2, 6), cbh = pick(2, 6);
    std::vector<PrecinctSize> pp;
    for (std::uint32_t r = 0; r <= levels; ++r) pp.push_back({pick(r ? 1 : 0, 7), pick(r ? 1 : 0, 7)});
    Built b;
    Build(b, tc, levels, cbw, cbh, pp);
    CheckAll(b, cbw, cbh);
    if (HasFailure()) {
      ADD_FAILURE() << "case " << i;
      return;
    }
  }
}

TEST(TileStructures, DefaultPrecinctsCoverTheWholeResolution) {
  Built b;
  Build(b, {0, 0, 300, 200}, 2, 6, 6, {{15, 15}});
  EXPECT_EQ(b.tc.ll.precinctColumns, 1u);
  EXPECT_EQ(b.tc.ll.precinctRows, 1u);
  EXPECT_EQ(b.tc.resolutions[0].bands[0].precinctColumns, 1u);
  // 150 x 100 HL band of 64 x 64 code-blocks: 3 x 2.
  EXPECT_EQ(b.tc.resolutions[0].bands[0].precincts[0][0].columns, 3u);
  EXPECT_EQ(b.tc.resolutions[0].bands[0].precincts[0][0].rows, 2u);
}

TEST(TileStructures, CodeBlocksNeverLargerThanThePrecinctPart) {
  // Precincts of 16 at resolution 1 have band parts of 8: 64 x 64 code-blocks
  // become one 8 x 8 code-block per part.
  Built b;
  Build(b, {0, 0, 64, 64}, 1, 6, 6, {{15, 15}, {4, 4}});
  const Band& hl = b.tc.resolutions[0].bands[0];
  EXPECT_EQ(hl.precinctColumns, 4u);
  const PrecinctBand& pb = hl.precincts[1][2];
  ASSERT_EQ(pb.codeBlocks.Count(), 1u);
  EXPECT_EQ(pb.codeBlocks[0].Params().width, 8u);
  EXPECT_EQ(pb.codeBlocks[0].Params().height, 8u);
  CheckAll(b, 6, 6);
}

TEST(TileStructures, EmptyBandsAndTheLowestResolutionWithPackets) {
  // One column wide at x = 0: every high-pass band in x is empty.
  Built b;
  Build(b, {0, 0, 1, 16}, 3, 2, 2, {{15, 15}});
  EXPECT_TRUE(b.tc.resolutions[0].bands[0].empty);              // HL
  EXPECT_FALSE(b.tc.resolutions[0].bands[1].empty);             // LH
  EXPECT_TRUE(b.tc.resolutions[0].bands[2].empty);              // HH
  EXPECT_EQ(b.tc.resolutions[0].bands[0].precinctColumns, 1u);  // the resolution's grid stays
  EXPECT_EQ(b.planes.level[0].hl.data, nullptr);
  EXPECT_EQ(b.tc.lowestResolution, 0u);
  CheckAll(b, 2, 2);

  // One column at an odd x: the LL of resolution 0 is empty (ceil), the
  // finest HL is not (floor), so packets start at the finest resolution.
  Built odd;
  Build(odd, {1, 0, 1, 1}, 2, 2, 2, {{15, 15}});
  EXPECT_TRUE(odd.tc.ll.empty);
  EXPECT_EQ(odd.tc.lowestResolution, 2u);

  // Nothing at all: all ones, no packet of the tile-component is read.
  Built none;
  Build(none, {5, 5, 0, 0}, 1, 2, 2, {{15, 15}});
  EXPECT_EQ(none.tc.lowestResolution, ~0u);
}

TEST(TileStructures, RecordCountsMatchTheBuild) {
  std::mt19937 rng(9);
  for (int i = 0; i < 60; ++i) {
    auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
      return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    };
    const Rect tc{pick(0, 20), pick(0, 20), pick(1, 100), pick(1, 100)};
    const std::uint32_t levels = pick(0, 4);
    std::vector<PrecinctSize> pp;
    for (std::uint32_t r = 0; r <= levels; ++r) pp.push_back({pick(r ? 1 : 0, 6), pick(r ? 1 : 0, 6)});
    Built b;
    Build(b, tc, levels, pick(2, 5), pick(2, 5), pp);
    std::uint64_t records = 0;
    for (std::uint32_t r = 0; r <= levels; ++r) {
      Band* bands[3];
      const std::uint32_t n = b.tc.BandsOf(r, bands);
      for (std::uint32_t k = 0; k < n; ++k)
        for (const auto& row : bands[k]->precincts)
          for (const PrecinctBand& pb : row) records += 1 + pb.codeBlocks.Count();
    }
    EXPECT_EQ(CountTileComponentRecords(tc, b.style, b.quant, ~std::uint64_t{0} >> 1), records)
        << "case " << i;
  }
}

TEST(TileStructures, TileStartFromAHandMadeCodestream) {
  // Two components, the second subsampled by 2; a tile-part COD with its own
  // levels and a QCD; 2 x 2 tiles of 32 x 24.
  SizParams p;
  p.xsiz = 64;
  p.ysiz = 48;
  p.xtsiz = 32;
  p.ytsiz = 24;
  p.ssiz = {7, 7};
  p.xr = {1, 2};
  p.yr = {1, 1};
  Builder b = Start(p);
  b.segment(0xFF52, CodBody(0, 0, 1, 0, 2)).segment(0xFF5C, QcdBody(2));
  b.u16(0xFF90).u16(10).u16(3).u32(0).u8(0).u8(1);
  b.segment(0xFF52, CodBody(0, 2, 1, 0, 1)).segment(0xFF5C, QcdBody(1));
  b.u16(0xFF93).bytes(Bytes(4, 0)).u16(0xFFD9);  // four empty packets
  CodestreamWalk w;
  const WalkOutcome o = w.Run(b.b);
  EXPECT_FALSE(o.failed) << o.exceptionCode;
  Tile& t = w.tiles[3];
  EXPECT_EQ(t.TileRect().x, 32u);
  EXPECT_EQ(t.TileRect().y, 24u);
  EXPECT_EQ(t.TilePartsRead(), 1u);
  EXPECT_EQ(t.Global().progressionOrder, 2u);  // the tile's own COD
  EXPECT_EQ(t.Planes(0).levels, 1u);
  EXPECT_EQ(t.Planes(1).levels, 1u);
  EXPECT_EQ(t.Planes(0).level[0].hl.width, 16u);
  EXPECT_EQ(t.Planes(1).level[0].hl.width, 8u);  // 16 columns of the subsampled component
  EXPECT_EQ(w.tiles[0].TilePartsRead(), 0u);
  // All packets of the tile: 2 components x 2 resolutions, one precinct, one layer.
  EXPECT_EQ(o.packets[3].size(), 4u);
}
