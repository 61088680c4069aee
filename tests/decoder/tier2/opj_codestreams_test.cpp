// Coefficients of codestreams that an independent encoder makes at test time
// (opj_compress): every progression order, precinct sizes, code-block sizes
// from 4x4 to 64x64, every code-block style, several layers, SOP/EPH, tiles,
// tile-parts and progression changes.  Lossless 5/3 codestreams are used, so
// the lowest resolution's LL coefficients plus the level shift are exactly
// the samples the independent decoder (opj_decompress) gives at that
// resolution, and without decomposition levels they are the picture itself.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "decoder/level_set.h"
#include "decoder/tier2/tile.h"
#include "tests/decoder/opj_support.h"
#include "tests/decoder/tier2/tile_walk.h"
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
std::size_t CompareLowest(CodestreamWalk& w, std::uint32_t c, const Image& ref,
                          std::uint32_t* compared = nullptr) {
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
    const std::int64_t hi =
        h.IsSigned(c) ? (std::int64_t{1} << (h.BitDepth(c) - 1)) - 1 : (std::int64_t{1} << h.BitDepth(c)) - 1;
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

// Reference inverse reversible 5/3 transform, written from the standard's
// one-dimensional synthesis (symmetric extension, two lifting steps) and its
// two-dimensional interleave, horizontal then vertical; only for checking.
void Synthesis53(std::vector<std::int64_t>& y, std::int64_t i0, std::int64_t i1) {
  const std::int64_t n = i1 - i0;
  if (n == 1) {
    if (i0 & 1) y[0] /= 2;
    return;
  }
  auto at = [&](std::int64_t i) -> std::int64_t& {
    // Whole-sample symmetric extension around i0 and i1 - 1.
    while (i < i0 || i >= i1) {
      if (i < i0) i = 2 * i0 - i;
      if (i >= i1) i = 2 * (i1 - 1) - i;
    }
    return y[i - i0];
  };
  std::vector<std::int64_t> x(n);
  std::vector<std::int64_t> even;  // X at even indices from i0 - 1 to i1
  auto floordiv = [](std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  std::map<std::int64_t, std::int64_t> ev;
  for (std::int64_t i = i0 - 2; i <= i1 + 1; ++i)
    if ((i & 1) == 0) ev[i] = at(i) - floordiv(at(i - 1) + at(i + 1) + 2, 4);
  for (std::int64_t i = i0; i < i1; ++i)
    x[i - i0] = (i & 1) == 0 ? ev[i] : at(i) + floordiv(ev[i - 1] + ev[i + 1], 2);
  for (std::int64_t i = 0; i < n; ++i) y[i] = x[i];
}

std::vector<std::int64_t> PlaneSigned(const SubbandPlane& p) {
  std::vector<std::int64_t> v;
  for (std::uint32_t y = 0; y < p.height; ++y)
    for (std::uint32_t x = 0; x < p.width; ++x) v.push_back(PlaneAt(p, x, y));
  return v;
}

// The tile-component's samples (before the level shift) from its planes.
std::vector<std::int64_t> Reconstruct53(const LevelSet& s, const Rect& tc) {
  std::vector<std::int64_t> a = PlaneSigned(s.ll);
  for (std::uint32_t i = s.levels; i-- > 0;) {
    const Rect r = ResolutionRect(tc, i);
    const std::int64_t u0 = r.x, u1 = std::int64_t{r.x} + r.width, v0 = r.y,
                       v1 = std::int64_t{r.y} + r.height;
    const Rect low = ResolutionRect(tc, i + 1);
    const std::vector<std::int64_t> hl = PlaneSigned(s.level[i].hl), lh = PlaneSigned(s.level[i].lh),
                                    hh = PlaneSigned(s.level[i].hh);
    const Rect rhl = BandRect(r, kBandHL), rlh = BandRect(r, kBandLH), rhh = BandRect(r, kBandHH);
    std::vector<std::int64_t> out(static_cast<std::size_t>((u1 - u0) * (v1 - v0)));
    for (std::int64_t v = v0; v < v1; ++v)
      for (std::int64_t u = u0; u < u1; ++u) {
        const bool hu = u & 1, hv = v & 1;
        std::int64_t val;
        if (!hu && !hv)
          val = a[(v / 2 - low.y) * low.width + (u / 2 - low.x)];
        else if (hu && !hv)
          val = hl[(v / 2 - rhl.y) * rhl.width + (u / 2 - rhl.x)];
        else if (!hu && hv)
          val = lh[(v / 2 - rlh.y) * rlh.width + (u / 2 - rlh.x)];
        else
          val = hh[(v / 2 - rhh.y) * rhh.width + (u / 2 - rhh.x)];
        out[(v - v0) * (u1 - u0) + (u - u0)] = val;
      }
    std::vector<std::int64_t> line;
    for (std::int64_t v = v0; v < v1; ++v) {
      line.assign(out.begin() + (v - v0) * (u1 - u0), out.begin() + (v - v0 + 1) * (u1 - u0));
      Synthesis53(line, u0, u1);
      std::copy(line.begin(), line.end(), out.begin() + (v - v0) * (u1 - u0));
    }
    for (std::int64_t u = u0; u < u1; ++u) {
      line.clear();
      for (std::int64_t v = v0; v < v1; ++v) line.push_back(out[(v - v0) * (u1 - u0) + (u - u0)]);
      Synthesis53(line, v0, v1);
      for (std::int64_t v = v0; v < v1; ++v) out[(v - v0) * (u1 - u0) + (u - u0)] = line[v - v0];
    }
    a = std::move(out);
  }
  return a;
}

// Whether every packet of tile t was read.
bool Complete(Tile& t, const std::vector<PacketPosition>& packets) {
  std::size_t total = 0;
  for (std::uint32_t c = 0; c < t.ComponentCount(); ++c)
    for (std::uint32_t r = 0; r <= t.Planes(c).levels; ++r)
      total += std::size_t{t.Iterator().PrecinctColumns(c, r)} * t.Iterator().PrecinctRows(c, r);
  return packets.size() == total * t.Global().layers;
}

// Samples of the picture rebuilt tile by tile, for the tiles whose packets
// were all read; returns the differing sample count and the tiles compared.
std::size_t CompareFull(CodestreamWalk& w, const WalkOutcome& o, const Image& picture,
                        std::size_t& tilesCompared) {
  std::size_t bad = 0;
  tilesCompared = 0;
  for (std::size_t i = 0; i < w.tiles.Count(); ++i) {
    Tile& t = w.tiles[i];
    if (!Complete(t, o.packets[i])) continue;
    ++tilesCompared;
    const Rect tr = t.TileRect();
    const std::vector<std::int64_t> s = Reconstruct53(t.Planes(0), tr);
    for (std::uint32_t y = 0; y < tr.height; ++y)
      for (std::uint32_t x = 0; x < tr.width; ++x) {
        const std::size_t px = tr.x - w.header.image.x + x, py = tr.y - w.header.image.y + y;
        if (s[y * tr.width + x] + 128 != picture.samples[py * picture.width + px]) ++bad;
      }
  }
  return bad;
}

struct Case {
  const char* name;
  const char* options;
  std::uint32_t levels;  // decomposition levels the options ask for
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

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
  // Every band of every level of a lossless codestream rebuilds the picture
  // exactly.  (opj_compress leaves out the packets that its progression
  // changes do not name; tiles that lack packets are checked only at the
  // lowest resolution above.)
  std::size_t tiles = 0;
  EXPECT_EQ(CompareFull(w, o, picture, tiles), 0u);
  if (std::string(k.name).find("ProgressionChanges") == std::string::npos) {
    EXPECT_EQ(tiles, w.tiles.Count());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Styles, OpjCodestreams,
    ::testing::Values(
        Case{"Plain", "-n 1", 0}, Case{"Blocks4x4", "-n 1 -b 4,4", 0},
        Case{"Blocks64x64", "-n 1 -b 64,64", 0}, Case{"Blocks8x32", "-n 1 -b 8,32", 0},
        Case{"Bypass", "-n 1 -M 1", 0}, Case{"BypassLayers", "-n 1 -M 1 -b 16,16 -r 12,5,2,1", 0},
        Case{"Reset", "-n 1 -M 2 -r 6,1", 0}, Case{"TermAll", "-n 1 -M 4 -b 8,8", 0},
        Case{"TermAllLayers", "-n 1 -M 4 -r 9,3,1", 0}, Case{"Causal", "-n 1 -M 8 -r 5,1", 0},
        Case{"Predictable", "-n 1 -M 16 -r 5,1", 0}, Case{"SegSymbols", "-n 1 -M 32 -r 5,1", 0},
        Case{"AllStyles", "-n 1 -M 63 -b 16,8", 0}, Case{"AllStylesLayers", "-n 1 -M 63 -r 20,8,3,1", 0},
        Case{"BypassTermLayers", "-n 1 -M 5 -r 7,2,1", 0}, Case{"Layers", "-n 1 -r 40,20,10,5,1", 0},
        Case{"SopEph", "-n 1 -SOP -EPH -r 8,1", 0}, Case{"Sop", "-n 1 -SOP -r 8,3,1", 0},
        Case{"Eph", "-n 1 -EPH -r 8,3,1", 0}, Case{"Tiles", "-n 1 -t 32,24 -r 4,1", 0},
        Case{"Offsets", "-n 1 -d 3,5 -t 32,32 -T 1,2", 0},
        Case{"LevelsLRCP", "-n 4 -p LRCP -r 10,4,1 -c [32,32],[16,16],[8,8],[8,8]", 3},
        Case{"LevelsRLCP", "-n 4 -p RLCP -r 10,4,1 -c [32,32],[16,16],[8,8],[8,8] -b 4,4", 3},
        Case{"LevelsRPCL", "-n 4 -p RPCL -r 10,4,1 -c [16,16],[8,8],[4,4],[4,4]", 3},
        Case{"LevelsPCRL", "-n 4 -p PCRL -r 10,4,1 -c [64,64],[32,32],[16,16],[8,8] -b 8,8", 3},
        Case{"LevelsCPRL", "-n 3 -p CPRL -r 10,4,1 -c [16,16],[16,16],[8,8] -SOP -EPH", 2},
        Case{"LevelsTilesCPRL", "-n 3 -p CPRL -t 40,40 -d 1,1 -c [16,16] -M 1 -r 6,1", 2},
        Case{"TilePartsR", "-n 3 -p RLCP -TP R -r 8,1", 2},
        Case{"TilePartsL", "-n 3 -TP L -r 8,3,1 -t 48,48", 2},
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
    ASSERT_TRUE(
        RunQuiet("opj_decompress -i " + path + " -o " + (dir / "low.pgx") + " -r " + std::to_string(levels)))
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

namespace {

void WritePpm(const std::string& path, std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << w << " " << h << "\n255\n";
  std::uint32_t s = seed;
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x)
      for (std::uint32_t c = 0; c < 3; ++c) {
        s = s * 1664525u + 1013904223u;
        f.put(static_cast<char>((x * (3 + c) + y * (2 + 2 * c) + (s >> 26)) % 256));
      }
}

struct ColourCase {
  const char* name;
  const char* options;
};
void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.name; }

class OpjColour : public ::testing::TestWithParam<ColourCase> {};

}  // namespace

// Three components with the reversible component transform, subsampling and
// the position-driven orders: every component rebuilt from all its bands,
// through the inverse transform, equals the independent decoder's output.
TEST_P(OpjColour, ComponentsMatchTheIndependentDecoder) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "opj_compress / opj_decompress are not installed";
  const ColourCase& k = GetParam();
  ScratchDir dir;
  WritePpm(dir / "in.ppm", 61, 45, 11);
  ASSERT_TRUE(RunQuiet("opj_compress -i " + (dir / "in.ppm") + " -o " + (dir / "cs.j2k") + " " + k.options));
  ASSERT_TRUE(RunQuiet("opj_decompress -i " + (dir / "cs.j2k") + " -o " + (dir / "out.pgx")));
  CodestreamWalk w;
  const WalkOutcome o = w.Run(ReadFile(dir / "cs.j2k"));
  ASSERT_FALSE(o.failed) << o.exceptionCode;
  EXPECT_EQ(CountCode(o.codes, kDamage), 0u);
  EXPECT_EQ(CountCode(o.codes, kMismatch), 0u);
  const CodestreamHeader& h = w.header;
  ASSERT_EQ(h.componentCount, 3u);
  std::vector<Image> ref(3);
  for (std::uint32_t c = 0; c < 3; ++c) ref[c] = ReadPgx(dir / ("out_" + std::to_string(c) + ".pgx"));
  std::size_t bad = 0, compared = 0;
  for (std::size_t i = 0; i < w.tiles.Count(); ++i) {
    Tile& t = w.tiles[i];
    ASSERT_TRUE(Complete(t, o.packets[i]));
    std::vector<std::vector<std::int64_t>> comp(3);
    std::vector<Rect> rects(3);
    for (std::uint32_t c = 0; c < 3; ++c) {
      rects[c] = ComponentRect(t.TileRect(), h.sampling[c]);
      comp[c] = Reconstruct53(t.Planes(c), rects[c]);
    }
    if (h.globalStyle.mct) {
      for (std::size_t j = 0; j < comp[0].size(); ++j) {
        const std::int64_t y = comp[0][j], u = comp[1][j], v = comp[2][j];
        const std::int64_t g = y - ((u + v) >> 2);
        comp[0][j] = v + g;
        comp[1][j] = g;
        comp[2][j] = u + g;
      }
    }
    for (std::uint32_t c = 0; c < 3; ++c) {
      const Rect ic = ComponentRect(h.image, h.sampling[c]);
      ASSERT_EQ(ref[c].width, ic.width);
      for (std::uint32_t y = 0; y < rects[c].height; ++y)
        for (std::uint32_t x = 0; x < rects[c].width; ++x) {
          const std::size_t rx = rects[c].x - ic.x + x, ry = rects[c].y - ic.y + y;
          ++compared;
          if (comp[c][y * rects[c].width + x] + 128 != ref[c].samples[ry * ref[c].width + rx]) ++bad;
        }
    }
  }
  EXPECT_EQ(bad, 0u);
  EXPECT_EQ(compared, ref[0].samples.size() + ref[1].samples.size() + ref[2].samples.size());
}

INSTANTIATE_TEST_SUITE_P(
    Colour, OpjColour,
    ::testing::Values(ColourCase{"RpclPrecincts", "-n 3 -p RPCL -c [16,16],[8,8],[8,8] -r 6,1"},
                      ColourCase{"PcrlSubsampled", "-n 3 -p PCRL -s 2,1 -c [32,32],[16,16],[8,8]"},
                      ColourCase{"CprlSubsampledTiles",
                                 "-n 2 -p CPRL -s 1,2 -t 32,32 -c [16,16],[8,8] -M 1 -r 6,1"},
                      ColourCase{"CprlSmallTiles", "-n 2 -p CPRL -s 1,2 -t 24,24 -c [8,8],[4,4]"},
                      ColourCase{"LrcpNoTransform", "-n 4 -p LRCP -mct 0 -b 4,8 -SOP -EPH -r 9,3,1"},
                      ColourCase{"RlcpTileParts", "-n 3 -p RLCP -TP C -t 32,32 -M 38 -r 5,1"}),
    [](const ::testing::TestParamInfo<ColourCase>& info) { return std::string(info.param.name); });
