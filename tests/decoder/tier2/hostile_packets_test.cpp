// Damaged packet data never crashes, hangs or over-allocates: truncations
// and bit flips over real codestreams, the assorted damaged files, and
// hand-made codestreams with hostile geometry.  (Run under AddressSanitizer
// with the sanitizer build; a hang shows as the test's time-out.)
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/decoder/codestream_builder.h"
#include "tests/decoder/opj_support.h"
#include "tests/decoder/tier2/tile_walk.h"
#include "tests/support/testdata.h"

using namespace Codec;
using namespace codec_test;

namespace {

constexpr std::uint32_t kNoData = 82;

// Offset of the first SOD marker (the start of packet data), or 0.
std::size_t FirstSod(const Bytes& b) {
  for (std::size_t i = 0; i + 1 < b.size(); ++i)
    if (b[i] == 0xFF && b[i + 1] == 0x93) return i + 2;
  return 0;
}

}  // namespace

TEST(HostilePackets, EveryTruncationOfPacketDataEndsCleanly) {
  REQUIRE_TESTDATA(path, "conformance/p0_09.j2k");
  const Bytes full = ReadFile(path);
  const std::size_t sod = FirstSod(full);
  ASSERT_GT(sod, 0u);
  for (std::size_t n = sod; n < full.size(); ++n) {
    CodestreamWalk w;
    const WalkOutcome o = w.Run(Bytes(full.begin(), full.begin() + n));
    // The data ends inside a packet (a failure for lack of data) or between
    // packets and tile-parts; nothing else may happen.
    if (o.failed) {
      EXPECT_EQ(o.exceptionCode, kNoData) << "length " << n;
    }
  }
}

TEST(HostilePackets, TruncationsOfLargerCodestreams) {
  const char* files[] = {"conformance/p0_01.j2k", "conformance/p0_10.j2k", "conformance/p0_14.j2k",
                         "conformance/p0_16.j2k"};
  for (const char* f : files) {
    REQUIRE_TESTDATA(path, f);
    const Bytes full = ReadFile(path);
    const std::size_t sod = FirstSod(full);
    const std::size_t step = full.size() / 300 + 1;
    for (std::size_t n = sod; n < full.size(); n += step) {
      CodestreamWalk w;
      const WalkOutcome o = w.Run(Bytes(full.begin(), full.begin() + n));
      if (o.failed) {
        EXPECT_EQ(o.exceptionCode, kNoData) << f << " length " << n;
      }
    }
  }
}

TEST(HostilePackets, BitFlipsInPacketDataNeverCrash) {
  const char* files[] = {"conformance/p0_01.j2k", "conformance/p0_09.j2k", "conformance/p0_12.j2k",
                         "conformance/p0_15.j2k", "conformance/p0_16.j2k"};
  std::mt19937 rng(2024);
  for (const char* f : files) {
    REQUIRE_TESTDATA(path, f);
    const Bytes full = ReadFile(path);
    const std::size_t sod = FirstSod(full);
    for (int i = 0; i < 300; ++i) {
      Bytes b = full;
      const int flips = 1 + static_cast<int>(rng() % 6);
      for (int k = 0; k < flips; ++k) {
        const std::size_t at = sod + rng() % (b.size() - sod);
        b[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      }
      CodestreamWalk w;
      w.Run(b);
    }
  }
}

TEST(HostilePackets, RandomBytesAsPacketData) {
  // A valid main and tile-part header followed by noise, in every
  // progression order and code-block style.
  std::mt19937 rng(77);
  for (int i = 0; i < 200; ++i) {
    SizParams p;
    p.xsiz = 1 + rng() % 300;
    p.ysiz = 1 + rng() % 200;
    p.xosiz = rng() % 5;
    p.yosiz = rng() % 5;
    if (p.xosiz >= p.xsiz) p.xosiz = 0;
    if (p.yosiz >= p.ysiz) p.yosiz = 0;
    p.xtsiz = 1 + rng() % 128;
    p.ytsiz = 1 + rng() % 128;
    Builder b = Start(p);
    const std::uint8_t levels = rng() % 5;
    Bytes precincts;
    for (int r = 0; r <= levels; ++r)
      precincts.push_back(static_cast<std::uint8_t>(0x11 + (rng() % 5) * 0x11));
    b.segment(0xFF52, CodBody(0x07, rng() % 5, 1 + rng() % 4, 0, levels, rng() % 5, rng() % 5, rng() % 64, 1,
                              precincts));
    b.segment(0xFF5C, QcdBody(levels));
    for (std::uint32_t t = 0; t < 3; ++t) {
      Bytes noise(50 + rng() % 400);
      for (auto& x : noise) x = static_cast<std::uint8_t>(rng());
      b.u16(0xFF90).u16(10).u16(t).u32(0).u8(0).u8(1).u16(0xFF93).bytes(noise);
    }
    b.u16(0xFFD9);
    CodestreamWalk w;
    w.Run(b.b);
  }
}

TEST(HostilePackets, AssortedFilesNeverCrashOrHang) {
  REQUIRE_TESTDATA(dir, "assorted");
  std::size_t walked = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    const Bytes cs = CodestreamOf(ReadFile(e.path().string()));
    if (cs.empty()) continue;
    CodestreamWalk w;
    w.Run(cs);
    ++walked;
  }
  EXPECT_GT(walked, 50u);
}

TEST(HostilePackets, HugeTileWithTinyPrecinctsEndsWithItsData) {
  // A 2^16 x 4 image of one tile, 65535 layers, precincts of 2 samples at
  // every resolution, position-driven order: the packets stop with the data,
  // and the search between them never crawls over the reference grid.
  for (std::uint8_t order = 2; order <= 4; ++order) {
    SizParams p;
    p.xsiz = 1u << 16;
    p.ysiz = 4;
    p.xtsiz = 1u << 16;
    p.ytsiz = 4;
    Builder b = Start(p);
    b.segment(0xFF52, CodBody(0x01, order, 0xFFFF, 0, 1, 0, 0, 0, 1, Bytes{0x11, 0x11}));
    b.segment(0xFF5C, QcdBody(1));
    Bytes data(2000, 0x00);  // empty packets
    b.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).u16(0xFF93).bytes(data).u16(0xFFD9);
    CodestreamWalk w;
    const WalkOutcome o = w.Run(b.b);
    EXPECT_TRUE(o.failed);  // the data runs out long before the packets
  }
}

TEST(HostilePackets, TooManyPrecinctsAndCodeBlocksAreRefusedBeforeAllocation) {
  // 2^22 x 4 samples in precincts of 2: tens of millions of records.
  SizParams p;
  p.xsiz = 1u << 22;
  p.ysiz = 4;
  p.xtsiz = 1u << 22;
  p.ytsiz = 4;
  Builder b = Start(p);
  b.segment(0xFF52, CodBody(0x01, 0, 1, 0, 1, 0, 0, 0, 1, Bytes{0x11, 0x11}));
  b.segment(0xFF5C, QcdBody(1));
  b.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).u16(0xFF93).bytes(Bytes(100, 0)).u16(0xFFD9);
  CodestreamWalk w;
  const WalkOutcome o = w.Run(b.b);
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.exceptionCode, J2k::Except_faultMalloc::code);
}

TEST(HostilePackets, PrecinctExponentZeroAboveResolutionZeroIsRefused) {
  Builder b = Start();
  b.segment(0xFF52, CodBody(0x01, 0, 1, 0, 1, 4, 4, 0, 1, Bytes{0x00, 0x01}));
  b.segment(0xFF5C, QcdBody(1));
  b.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).u16(0xFF93).u8(0).u16(0xFFD9);
  CodestreamWalk w;
  const WalkOutcome o = w.Run(b.b);
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.exceptionCode, J2k::Except_BadCODOrCOCCodeBlockHeight::code);
  // Exponent 0 at resolution 0 alone is accepted.
  Builder ok = Start();
  ok.segment(0xFF52, CodBody(0x01, 0, 1, 0, 1, 4, 4, 0, 1, Bytes{0x00, 0x11}));
  ok.segment(0xFF5C, QcdBody(1));
  // One empty packet per precinct.
  ok.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1).u16(0xFF93).bytes(Bytes(2 * 32 * 24, 0)).u16(0xFFD9);
  CodestreamWalk w2;
  const WalkOutcome o2 = w2.Run(ok.b);
  EXPECT_FALSE(o2.failed) << o2.exceptionCode;
}

TEST(HostilePackets, TruncatedDataStillDecodesWhatArrived) {
  // A multi-layer codestream cut after most of its data: code-blocks that
  // waited for their last layer are decoded with what they received, so the
  // coefficient planes are not left all zero.
  REQUIRE_TESTDATA(path, "conformance/p0_02.j2k");
  const Bytes full = ReadFile(path);
  CodestreamWalk w;
  const WalkOutcome o = w.Run(Bytes(full.begin(), full.begin() + full.size() * 2 / 3));
  std::uint64_t energy = 0;
  for (Tile& t : w.tiles) {
    if (t.TilePartsRead() == 0) continue;
    const SubbandPlane& ll = t.Planes(0).ll;
    for (std::uint32_t y = 0; y < ll.height; ++y)
      for (std::uint32_t x = 0; x < ll.width; ++x)
        energy += reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(ll.data) +
                                                         y * ll.step)[x] &
                  0x7FFFFFFFu;
  }
  EXPECT_GT(w.tiles[0].Global().layers, 1u);
  EXPECT_GT(energy, 0u);
  (void)o;
}

TEST(HostilePackets, BitFlipsInEveryCodeBlockStyleAndMarkerMode) {
  // Codestreams made at test time with raw (bypass) passes, per-pass
  // termination, segmentation symbols, SOP/EPH markers and several layers:
  // damage there reaches the raw and terminated segment paths.
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "opj_compress is not installed";
  ScratchDir dir;
  WritePgm(dir / "in.pgm", TestPicture(97, 71, 3));
  const char* options[] = {"-n 3 -M 63 -r 20,6,1 -SOP -EPH -b 8,8", "-n 2 -M 1 -r 9,3,1 -p RPCL -c [16,16]",
                           "-n 3 -M 4 -r 5,1 -SOP -p CPRL", "-n 2 -M 48 -r 12,4,1 -EPH -t 48,40"};
  std::mt19937 rng(31);
  std::size_t damageReports = 0;
  for (const char* opt : options) {
    ASSERT_TRUE(RunQuiet("opj_compress -i " + (dir / "in.pgm") + " -o " + (dir / "cs.j2k") + " " + opt))
        << opt;
    const Bytes full = ReadFile(dir / "cs.j2k");
    {
      CodestreamWalk clean;
      const WalkOutcome o = clean.Run(full);
      EXPECT_FALSE(o.failed) << opt;
    }
    const std::size_t sod = FirstSod(full);
    for (int i = 0; i < 250; ++i) {
      Bytes b = full;
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int k = 0; k < flips; ++k)
        b[sod + rng() % (b.size() - sod)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      if (i % 5 == 0) b.resize(sod + rng() % (b.size() - sod));
      CodestreamWalk w;
      const WalkOutcome o = w.Run(b);
      for (std::uint32_t code : o.codes) damageReports += code == 31;
    }
  }
  // Segmentation symbols and predictable termination find damage, and the
  // code-block warnings reach the decoder's sink.
  EXPECT_GT(damageReports, 0u);
}
