// Packets and code-blocks of real codestreams: the five progression orders
// of one image, conformance codestreams, and codestreams made at test time
// by an independent encoder (opj_compress of Debian's libopenjp2-tools),
// whose coefficients are checked against samples an independent decoder
// (opj_decompress) gives at the lowest resolution.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "decoder/tier2/tile.h"
#include "tests/decoder/codestream_builder.h"
#include "tests/decoder/tier2/tile_walk.h"
#include "tests/support/testdata.h"

using namespace Codec;
using namespace codec_test;

namespace {

using PacketKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;

std::set<PacketKey> PacketSet(const std::vector<PacketPosition>& v) {
  std::set<PacketKey> s;
  for (const PacketPosition& p : v) s.insert({p.component, p.resolution, p.precinctX, p.precinctY, p.layer});
  return s;
}

// A plane's coefficients as signed integers (from sign-magnitude).
std::vector<std::int32_t> PlaneValues(const SubbandPlane& p) {
  std::vector<std::int32_t> v;
  if (!p.data) return v;
  for (std::uint32_t y = 0; y < p.height; ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(p.data) + y * p.step);
    for (std::uint32_t x = 0; x < p.width; ++x) {
      const std::uint32_t w = row[x];
      v.push_back((w & 0x80000000u) ? -static_cast<std::int32_t>(w & 0x7FFFFFFFu)
                                    : static_cast<std::int32_t>(w));
    }
  }
  return v;
}

// Every plane of every component of every tile, in one list.
std::vector<std::vector<std::int32_t>> AllPlanes(CodestreamWalk& w) {
  std::vector<std::vector<std::int32_t>> all;
  for (Tile& t : w.tiles) {
    for (std::uint32_t c = 0; c < t.ComponentCount(); ++c) {
      LevelSet& s = t.Planes(c);
      all.push_back(PlaneValues(s.ll));
      for (std::uint32_t i = 0; i < s.levels; ++i)
        for (std::uint32_t b = 0; b < 3; ++b) all.push_back(PlaneValues(s.level[i].Band(b)));
    }
  }
  return all;
}

std::size_t CountCode(const WalkOutcome& o, std::uint32_t code) {
  std::size_t n = 0;
  for (std::uint32_t c : o.codes) n += c == code;
  return n;
}

constexpr std::uint32_t kDamage = 31, kMismatch = 32, kPadding = 42;

}  // namespace

TEST(RealPackets, FiveProgressionOrdersCoverTheSameCodeBlocksAndCoefficients) {
  const char* names[] = {"lrcp", "rlcp", "rpcl", "pcrl", "cprl"};
  std::vector<std::set<PacketKey>> sets;
  std::vector<std::vector<std::vector<std::int32_t>>> planes;
  for (int i = 0; i < 5; ++i) {
    REQUIRE_TESTDATA(path, std::string("progression/boats_") + names[i] + ".j2k");
    CodestreamWalk w;
    const WalkOutcome o = w.Run(ReadFile(path));
    ASSERT_FALSE(o.failed) << names[i] << " code " << o.exceptionCode;
    EXPECT_EQ(CountCode(o, kDamage), 0u) << names[i];
    EXPECT_EQ(CountCode(o, kMismatch), 0u) << names[i];
    EXPECT_EQ(CountCode(o, kPadding), 0u) << names[i];
    ASSERT_EQ(w.tiles.Count(), 1u);
    EXPECT_EQ(w.tiles[0].Global().progressionOrder, static_cast<std::uint32_t>(i)) << names[i];
    // Every packet of the tile read once.
    EXPECT_EQ(PacketSet(o.packets[0]).size(), o.packets[0].size());
    sets.push_back(PacketSet(o.packets[0]));
    planes.push_back(AllPlanes(w));
  }
  for (int i = 1; i < 5; ++i) {
    EXPECT_EQ(sets[i], sets[0]) << names[i];
    EXPECT_TRUE(planes[i] == planes[0]) << names[i] << " coefficients differ from lrcp";
  }
  // The image is not blank: its LL plane carries the picture.
  std::int64_t energy = 0;
  for (std::int32_t v : planes[0][0]) energy += std::abs(v);
  EXPECT_GT(energy, 0);
}

TEST(RealPackets, ConformanceCodestreamsDecodeTheirPacketsCleanly) {
  // Profile-0 streams with assorted progressions, layers, precincts and styles.
  // (p0_03, p0_06, p0_13 and p0_15 use regions of interest, which the
  // decoder refuses.)
  const char* files[] = {"p0_01.j2k", "p0_02.j2k", "p0_04.j2k", "p0_05.j2k", "p0_08.j2k", "p0_09.j2k",
                         "p0_10.j2k", "p0_11.j2k", "p0_12.j2k", "p0_14.j2k", "p0_16.j2k"};
  for (const char* f : files) {
    REQUIRE_TESTDATA(path, std::string("conformance/") + f);
    CodestreamWalk w;
    const WalkOutcome o = w.Run(ReadFile(path));
    EXPECT_FALSE(o.failed) << f << " code " << o.exceptionCode;
    EXPECT_EQ(CountCode(o, kDamage), 0u) << f;
    std::size_t packets = 0;
    for (const auto& v : o.packets) {
      packets += v.size();
      EXPECT_EQ(PacketSet(v).size(), v.size()) << f;
    }
    EXPECT_GT(packets, 0u) << f;
  }
}

// Real digital-cinema frames (12-bit X'Y'Z', 9/7, CPRL, component transform):
// every packet is read without damage, and the lowest resolution, after
// dequantisation and the inverse irreversible component transform, is within
// a quantisation step of what the independent decoder gives there.
TEST(RealPackets, CinemaFramesAtTheLowestResolution) {
  const char* files[] = {"cinema/X_4_2K_24_185_CBR_WB_000.j2k", "cinema/X_5_2K_24_235_CBR_STEM24_000.j2k"};
  for (const char* f : files) {
    REQUIRE_TESTDATA(path, f);
    CodestreamWalk w;
    const WalkOutcome o = w.Run(ReadFile(path));
    ASSERT_FALSE(o.failed) << f;
    EXPECT_EQ(CountCode(o, kDamage), 0u) << f;
    EXPECT_EQ(CountCode(o, kMismatch), 0u) << f;
    ASSERT_EQ(w.header.componentCount, 3u);
    Tile& t = w.tiles[0];
    std::size_t expected = 0;
    for (std::uint32_t c = 0; c < 3; ++c)
      for (std::uint32_t r = 0; r <= t.Planes(c).levels; ++r)
        expected += std::size_t{t.Iterator().PrecinctColumns(c, r)} * t.Iterator().PrecinctRows(c, r);
    EXPECT_EQ(o.packets[0].size(), expected * t.Global().layers) << f;
    if (std::system("test -x /usr/bin/opj_decompress") != 0) continue;
    const std::uint32_t levels = t.Planes(0).levels;
    const std::string out =
        std::filesystem::temp_directory_path() / ("cinema_low_" + std::to_string(::getpid()));
    ASSERT_EQ(std::system(("opj_decompress -i " + path + " -o " + out + ".pgx -r " + std::to_string(levels) +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    // Dequantised LL of each component.
    std::vector<std::vector<double>> ll(3);
    for (std::uint32_t c = 0; c < 3; ++c) {
      const SubbandStep s = QuantLLStep(*t.Params().quant[c]);
      const double delta = std::ldexp(1.0 + s.mantissa / 2048.0,
                                      static_cast<int>(w.header.BitDepth(c)) - static_cast<int>(s.exponent));
      for (std::int32_t q : PlaneValues(t.Planes(c).ll)) ll[c].push_back(q * delta);
    }
    double sumErr = 0;
    std::size_t n = 0, far = 0;
    for (std::uint32_t c = 0; c < 3; ++c) {
      std::ifstream pgx(out + "_" + std::to_string(c) + ".pgx", std::ios::binary);
      std::string pg, ml, sign;
      std::uint32_t depth = 0, width = 0, height = 0;
      pgx >> pg >> ml >> sign >> depth >> width >> height;
      pgx.get();
      ASSERT_EQ(std::size_t{width} * height, ll[0].size()) << f;
      for (std::size_t i = 0; i < ll[0].size(); ++i) {
        const int hi = pgx.get(), lo = pgx.get();
        const double y = ll[0][i], cb = ll[1][i], cr = ll[2][i];
        double v = c == 0 ? y + 1.402 * cr : c == 1 ? y - 0.34413 * cb - 0.71414 * cr : y + 1.772 * cb;
        v = std::min(4095.0, std::max(0.0, v + 2048.0));
        const double err = std::abs(v - (hi * 256 + lo));
        sumErr += err;
        far += err > 8.0;
        ++n;
      }
      std::remove((out + "_" + std::to_string(c) + ".pgx").c_str());
    }
    EXPECT_LT(sumErr / n, 1.0) << f;
    EXPECT_LT(far, n / 1000) << f;
  }
}
