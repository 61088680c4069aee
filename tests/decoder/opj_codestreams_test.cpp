// Coefficients of codestreams that an independent encoder makes at test time
// (opj_compress): every progression order, precinct sizes, code-block sizes
// from 4x4 to 64x64, every code-block style, several layers, SOP/EPH, tiles,
// tile-parts and progression changes.  Lossless 5/3 codestreams are used, so
// the lowest resolution's LL coefficients plus the level shift are exactly
// the samples the independent decoder (opj_decompress) gives at that
// resolution, and without decomposition levels they are the picture itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/level_set.h"
#include "decoder/tile.h"
#include "tests/decoder/opj_support.h"
#include "tests/decoder/tile_walk.h"
#include "tests/support/testdata.h"

using namespace Codec;
using namespace codec_test;

namespace {

constexpr std::uint32_t kDamage = 31, kMismatch = 32, kPadding = 42;

std::size_t CountCode(const std::vector<std::uint32_t>& codes, std::uint32_t code) {
  std::size_t n = 0;
  for (std::uint32_t c : codes) n += c == code;
  return n;
}

// Compares the LL coefficients of every tile of component c (plus the level
// shift of an unsigned component, clamped to the sample range) with the
// reference image of resolution 0; returns the number of differing samples.
std::size_t CompareLowest(CodestreamWalk& w, std::uint32_t c, const Image& ref, std::uint32_t* compared = nullptr) {
  const CodestreamHeader& h = w.header;
  const Rect icomp = ComponentRect(h.image, h.sampling[c]);
  std::size_t bad = 0, seen = 0;
  for (Tile& t : w.tiles) {
    if (t.TilePartsRead() == 0) continue;
    const LevelSet& s = t.Planes(c);
    const Rect low = ResolutionRect(icomp, s.levels);
    const Rect tl = ResolutionRect(ComponentRect(t.TileRect(), h.sampling[c]), s.levels);
    const std::int64_t shift = h.IsSigned(c) ? 0 : (std::int64_t{1} << (h.BitDepth(c) - 1));
    const std::int64_t lo = h.IsSigned(c) ? -(std::int64_t{1} << (h.BitDepth(c) - 1)) : 0;
    const std::int64_t hi = h.IsSigned(c) ? (std::int64_t{1} << (h.BitDepth(c) - 1)) - 1
                                          : (std::int64_t{1} << h.BitDepth(c)) - 1;
    for (std::uint32_t y = 0; y < tl.height; ++y)
      for (std::uint32_t x = 0; x < tl.width; ++x) {
        std::int64_t v = PlaneAt(s.ll, x, y) + shift;
        v = v < lo ? lo : v > hi ? hi : v;
        const std::size_t rx = tl.x - low.x + x, ry = tl.y - low.y + y;
        if (rx >= ref.width || ry >= ref.height) {
          ++bad;
          continue;
        }
        ++seen;
        if (v != ref.samples[ry * ref.width + rx]) ++bad;
      }
  }
  if (compared) *compared = static_cast<std::uint32_t>(seen);
  return bad;
}

struct Case {
  const char* name;
  const char* options;
  std::uint32_t levels;  // decomposition levels the options ask for
};

class OpjCodestreams : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(OpjCodestreams, LowestResolutionMatchesTheIndependentDecoder) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "opj_compress / opj_decompress are not installed";
  const Case& k = GetParam();
  ScratchDir dir;
  const Image picture = TestPicture(83, 61, 7);
  WritePgm(dir / "in.pgm", picture);
  ASSERT_TRUE(RunQuiet("opj_compress -i " + (dir / "in.pgm") + " -o " + (dir / "cs.j2k") + " " + k.options))
      << k.options;
  Image ref = picture;
  if (k.levels > 0) {
    ASSERT_TRUE(RunQuiet("opj_decompress -i " + (dir / "cs.j2k") + " -o " + (dir / "low.pgm") + " -r " +
                         std::to_string(k.levels)));
    ref = ReadPgm(dir / "low.pgm");
  }
  CodestreamWalk w;
  const WalkOutcome o = w.Run(ReadFile(dir / "cs.j2k"));
  ASSERT_FALSE(o.failed) << "exception " << o.exceptionCode;
  EXPECT_EQ(CountCode(o.codes, kDamage), 0u);
  EXPECT_EQ(CountCode(o.codes, kMismatch), 0u);
  EXPECT_EQ(CountCode(o.codes, kPadding), 0u);
  ASSERT_EQ(w.tiles[0].Planes(0).levels, k.levels);
  std::uint32_t seen = 0;
  EXPECT_EQ(CompareLowest(w, 0, ref, &seen), 0u);
  EXPECT_EQ(seen, ref.width * ref.height);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, OpjCodestreams,
    ::testing::Values(
        Case{"Plain", "-n 1", 0}, Case{"Blocks4x4", "-n 1 -b 4,4", 0}, Case{"Blocks64x64", "-n 1 -b 64,64", 0},
        Case{"Blocks8x32", "-n 1 -b 8,32", 0}, Case{"Bypass", "-n 1 -M 1", 0},
        Case{"BypassLayers", "-n 1 -M 1 -b 16,16 -r 12,5,2,1", 0}, Case{"Reset", "-n 1 -M 2 -r 6,1", 0},
        Case{"TermAll", "-n 1 -M 4 -b 8,8", 0}, Case{"TermAllLayers", "-n 1 -M 4 -r 9,3,1", 0},
        Case{"Causal", "-n 1 -M 8 -r 5,1", 0}, Case{"Predictable", "-n 1 -M 16 -r 5,1", 0},
        Case{"SegSymbols", "-n 1 -M 32 -r 5,1", 0}, Case{"AllStyles", "-n 1 -M 63 -b 16,8", 0},
        Case{"AllStylesLayers", "-n 1 -M 63 -r 20,8,3,1", 0}, Case{"BypassTermLayers", "-n 1 -M 5 -r 7,2,1", 0},
        Case{"Layers", "-n 1 -r 40,20,10,5,1", 0}, Case{"SopEph", "-n 1 -SOP -EPH -r 8,1", 0},
        Case{"Sop", "-n 1 -SOP -r 8,3,1", 0}, Case{"Eph", "-n 1 -EPH -r 8,3,1", 0},
        Case{"Tiles", "-n 1 -t 32,24 -r 4,1", 0}, Case{"Offsets", "-n 1 -d 3,5 -t 32,32 -T 1,2", 0},
        Case{"LevelsLRCP", "-n 4 -p LRCP -r 10,4,1 -c [32,32],[16,16],[8,8],[8,8]", 3},
        Case{"LevelsRLCP", "-n 4 -p RLCP -r 10,4,1 -c [32,32],[16,16],[8,8],[8,8] -b 4,4", 3},
        Case{"LevelsRPCL", "-n 4 -p RPCL -r 10,4,1 -c [16,16],[8,8],[4,4],[4,4]", 3},
        Case{"LevelsPCRL", "-n 4 -p PCRL -r 10,4,1 -c [64,64],[32,32],[16,16],[8,8] -b 8,8", 3},
        Case{"LevelsCPRL", "-n 3 -p CPRL -r 10,4,1 -c [16,16],[16,16],[8,8] -SOP -EPH", 2},
        Case{"LevelsTilesCPRL", "-n 3 -p CPRL -t 40,40 -d 1,1 -c [16,16] -M 1 -r 6,1", 2},
        Case{"TilePartsR", "-n 3 -p RLCP -TP R -r 8,1", 2}, Case{"TilePartsL", "-n 3 -TP L -r 8,3,1 -t 48,48", 2},
        Case{"ProgressionChanges", "-n 3 -r 8,3,1 -POC T1=0,0,1,2,1,LRCP/T1=0,0,3,3,1,RPCL", 2},
        Case{"ProgressionChangesTiles", "-n 3 -t 40,32 -r 6,1 -POC T1=0,0,2,1,1,CPRL/T2=1,0,2,3,1,PCRL", 2},
        Case{"ProgressionChangesLayersFirst", "-n 3 -r 8,3,1 -POC T1=0,0,1,3,1,RLCP/T1=0,0,3,3,1,LRCP", 2}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Conformance codestreams with the reversible transform: the LL coefficients
// of the lowest resolution against opj_decompress at that resolution.
TEST(OpjConformance, ReversibleLowestResolutionMatches) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "opj_decompress is not installed";
  ScratchDir dir;
  // (p0_03 and p0_15 carry a region-of-interest shift in a tile-part header,
  // which the decoder skips as an unknown segment.)
  const char* files[] = {"p0_01.j2k", "p0_02.j2k", "p0_11.j2k", "p0_12.j2k", "p0_16.j2k"};
  for (const char* f : files) {
    REQUIRE_TESTDATA(path, std::string("conformance/") + f);
    CodestreamWalk w;
    const WalkOutcome o = w.Run(ReadFile(path));
    ASSERT_FALSE(o.failed) << f;
    const std::uint32_t levels = w.tiles[0].Planes(0).levels;
    ASSERT_TRUE(RunQuiet("opj_decompress -i " + path + " -o " + (dir / "low.pgx") + " -r " + std::to_string(levels)))
        << f;
    for (std::uint32_t c = 0; c < w.header.componentCount; ++c) {
      const std::string name = dir / ("low_" + std::to_string(c) + ".pgx");
      const Image ref = ReadPgx(name);
      ASSERT_GT(ref.width, 0u) << f;
      std::uint32_t seen = 0;
      EXPECT_EQ(CompareLowest(w, c, ref, &seen), 0u) << f << " component " << c;
      EXPECT_EQ(seen, ref.width * ref.height) << f;
    }
  }
}
