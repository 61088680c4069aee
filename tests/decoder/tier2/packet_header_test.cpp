// Tag trees, pass counts and packet headers against hand-computed bit
// strings; the bypass and terminate-each-pass splits; SOP/EPH skipping;
// padding checks; the code-block driver's bit-plane limits and decode points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "decoder/level_set.h"
#include "decoder/stream_input.h"
#include "decoder/tier2/packet.h"
#include "decoder/tier2/tile_component.h"
#include "tests/decoder/codestream_builder.h"

using namespace Codec;
using namespace codec_test;

namespace {

// Bits from a string of '0' and '1' (spaces ignored), for tag-tree tests.
class StringBits {
 public:
  explicit StringBits(std::string s) {
    for (char ch : s)
      if (ch == '0' || ch == '1') bits_.push_back(ch == '1');
  }
  std::uint32_t ReadBit() {
    if (pos_ >= bits_.size()) throw std::runtime_error("bit string exhausted");
    return bits_[pos_++];
  }
  std::uint32_t ReadBits(std::uint32_t n) {
    std::uint32_t v = 0;
    for (std::uint32_t i = 0; i < n; ++i) v = (v << 1) | ReadBit();
    return v;
  }
  std::size_t Used() const { return pos_; }

 private:
  std::vector<bool> bits_;
  std::size_t pos_ = 0;
};

// Packs header bits the way an encoder does: after a byte 0xFF the next byte
// carries only seven bits (its top bit 0).  Finish pads with zeros.
class BitWriter {
 public:
  BitWriter& Bits(const std::string& s) {
    for (char ch : s)
      if (ch == '0' || ch == '1') Put(ch == '1');
    return *this;
  }
  BitWriter& Value(std::uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) Put((v >> i) & 1);
    return *this;
  }
  Bytes Finish() {
    while (count_ > 0) Put(false);
    return bytes_;
  }

 private:
  void Put(bool b) {
    if (count_ == 0) {
      limit_ = (!bytes_.empty() && bytes_.back() == 0xFF) ? 7 : 8;
      bytes_.push_back(0);
    }
    if (b) bytes_.back() |= static_cast<std::uint8_t>(1u << (limit_ - 1 - count_));
    if (++count_ == limit_) count_ = 0;
  }
  Bytes bytes_;
  int count_ = 0;
  int limit_ = 8;
};

// A memory stream with the bounded input over it.
struct Input {
  explicit Input(const Bytes& b) : data(b) {
    static const std::uint8_t kEmpty = 0;
    stream.Open(data.empty() ? &kEmpty : data.data(), static_cast<std::uint32_t>(data.size()));
    in.AttachStream(&stream);
  }
  Bytes data;
  CMemBuffInput stream;
  CodecAdapterBoundedInputBE in;
};

struct Recorder : BDiagnOutput {
  void Warning(const BDiagnDescr& d) override { codes.push_back(d.Code()); }
  std::vector<std::uint32_t> codes;
};

// One tile-component of one resolution (NL = 0) over a w x h tile, with
// code-blocks of 2^cb and the given style flags and layer count.
struct OneResolution {
  OneResolution(std::uint32_t w, std::uint32_t h, std::uint32_t cb, std::uint32_t flags, std::uint32_t layers,
                std::uint32_t guard = 2, std::uint32_t exponent = 9) {
    style.levels = 0;
    style.codeBlockWidthExp = style.codeBlockHeightExp = cb;
    style.codeBlockFlags = flags;
    style.precincts.Reset(1);
    style.precincts[0] = {15, 15};
    quant.style = kQuantNone;
    quant.guardBits = guard;
    quant.ll = {0, exponent};
    const Rect tc{0, 0, w, h};
    AllocLevelSet32(planes, tc, 0);
    BuildTileComponent(tc_, tc, style, quant, 8, layers, planes, &rec);
  }
  PrecinctBand& Precinct() { return tc_.ll.precincts[0][0]; }
  CodeBlock& Block(std::size_t i) { return Precinct().codeBlocks[i]; }

  CodingStyle style;
  QuantStyle quant;
  LevelSet planes;
  Recorder rec;
  TileComponent tc_;
  DiagnRoute route;
};

constexpr std::uint32_t kPadding = 42;

}  // namespace

TEST(TagTree, HandComputedSingleLeaf) {
  TagTree t;
  t.Build(1, 1);
  ASSERT_EQ(t.NodeCount(), 1u);
  StringBits b("0 01");
  EXPECT_FALSE(t.Decode(b, 0, 1));  // 0: value at least 1
  EXPECT_TRUE(t.Decode(b, 0, 3));   // 0 then 1: value 2
  EXPECT_EQ(b.Used(), 3u);
  EXPECT_EQ(t.NodeAt(0).value, 2u);
  EXPECT_TRUE(t.Decode(b, 0, 5));  // known: nothing read
  EXPECT_EQ(b.Used(), 3u);
}

TEST(TagTree, HandComputedTwoByTwo) {
  // Leaves {0, 1; 2, 0}: the root holds 0.
  TagTree t;
  t.Build(2, 2);
  ASSERT_EQ(t.NodeCount(), 5u);
  StringBits b("11 0 0 1 1 0 1");
  EXPECT_TRUE(t.Decode(b, 0, 1));   // root 1, leaf 1
  EXPECT_FALSE(t.Decode(b, 1, 1));  // leaf 0
  EXPECT_FALSE(t.Decode(b, 2, 1));  // leaf 0
  EXPECT_TRUE(t.Decode(b, 3, 1));   // leaf 1
  EXPECT_EQ(b.Used(), 5u);
  EXPECT_TRUE(t.Decode(b, 1, 2));   // from bound 1: 1
  EXPECT_FALSE(t.Decode(b, 2, 2));  // from bound 1: 0
  EXPECT_TRUE(t.Decode(b, 2, 3));   // from bound 2: 1
  EXPECT_EQ(b.Used(), 8u);
  EXPECT_EQ(t.NodeAt(0).value, 0u);
  EXPECT_EQ(t.NodeAt(1).value, 1u);
  EXPECT_EQ(t.NodeAt(2).value, 2u);
  EXPECT_EQ(t.NodeAt(3).value, 0u);
}

TEST(TagTree, NodeLevelsAndParents) {
  TagTree t;
  t.Build(5, 3);
  // 15 + 6 (3 x 2) + 2 (2 x 1) + 1.
  ASSERT_EQ(t.NodeCount(), 24u);
  EXPECT_EQ(t.NodeAt(4).parent, &t.NodeAt(15 + 2));       // (4, 0) -> (2, 0)
  EXPECT_EQ(t.NodeAt(14).parent, &t.NodeAt(15 + 3 + 2));  // (4, 2) -> (2, 1)
  EXPECT_EQ(t.NodeAt(20).parent, &t.NodeAt(21 + 1));      // (2, 1) -> (1, 0)
  EXPECT_EQ(t.NodeAt(23).parent, nullptr);
  TagTree empty;
  empty.Build(0, 4);
  EXPECT_EQ(empty.NodeCount(), 0u);
}

TEST(TagTree, RoundTripWithAnEncoderOfTheStandard) {
  // Encoder of the standard: from the root down, each node emits 0 for every
  // step its bound rises below min(t, value) and 1 when the bound reaches a
  // value below t.
  const std::uint32_t w = 3, h = 2;
  const std::uint32_t leaves[6] = {2, 0, 3, 1, 4, 1};
  TagTree shape;
  shape.Build(w, h);
  std::vector<std::uint32_t> value(shape.NodeCount(), 0x7FFFFFFF), low(shape.NodeCount(), 0);
  std::vector<bool> known(shape.NodeCount(), false);
  for (std::size_t i = 0; i < 6; ++i) value[i] = leaves[i];
  for (std::size_t i = 0; i < shape.NodeCount(); ++i) {
    if (!shape.NodeAt(i).parent) continue;
    const std::size_t p = static_cast<std::size_t>(shape.NodeAt(i).parent - &shape.NodeAt(0));
    value[p] = std::min(value[p], value[i]);
  }
  std::string bits;
  auto encode = [&](std::size_t leaf, std::uint32_t t) {
    std::vector<std::size_t> path;
    for (const TagTree::Node* n = &shape.NodeAt(leaf); n; n = n->parent)
      path.push_back(static_cast<std::size_t>(n - &shape.NodeAt(0)));
    std::uint32_t b = 0;
    for (std::size_t k = path.size(); k-- > 0;) {
      const std::size_t n = path[k];
      if (low[n] < b) low[n] = b;
      while (low[n] < t) {
        if (low[n] >= value[n]) {
          if (!known[n]) {
            bits += '1';
            known[n] = true;
          }
          break;
        }
        bits += '0';
        ++low[n];
      }
      b = low[n];
    }
  };
  for (std::uint32_t t = 1; t <= 5; ++t)
    for (std::size_t leaf = 0; leaf < 6; ++leaf) encode(leaf, t);
  TagTree dec;
  dec.Build(w, h);
  StringBits in(bits);
  for (std::uint32_t t = 1; t <= 5; ++t)
    for (std::size_t leaf = 0; leaf < 6; ++leaf) EXPECT_EQ(dec.Decode(in, leaf, t), leaves[leaf] < t);
  EXPECT_EQ(in.Used(), bits.size());
}

TEST(PacketBits, PassCountCodes) {
  const struct {
    const char* bits;
    std::uint32_t passes;
  } cases[] = {{"0", 1},
               {"10", 2},
               {"1100", 3},
               {"1110", 5},
               {"1111 00000", 6},
               {"1111 11110", 36},
               {"1111 11111 0000000", 37},
               {"1111 11111 1111111", 164}};
  for (const auto& c : cases) {
    StringBits b(c.bits);
    EXPECT_EQ(ReadPassCount(b), c.passes) << c.bits;
    const std::string bits(c.bits);
    EXPECT_EQ(b.Used(), bits.size() - std::count(bits.begin(), bits.end(), ' ')) << c.bits;
  }
}

TEST(PacketBits, PassesPerSegment) {
  EXPECT_EQ(PassesPerSegment(true, true, 0), 1u);
  EXPECT_EQ(PassesPerSegment(true, false, 17), 1u);
  EXPECT_EQ(PassesPerSegment(false, false, 0), 94u);
  EXPECT_EQ(PassesPerSegment(false, true, 0), 10u);
  EXPECT_EQ(PassesPerSegment(false, true, 4), 6u);
  EXPECT_EQ(PassesPerSegment(false, true, 10), 2u);  // raw significance and refinement
  EXPECT_EQ(PassesPerSegment(false, true, 12), 1u);  // clean-up
  EXPECT_EQ(PassesPerSegment(false, true, 13), 2u);
  EXPECT_EQ(PassesPerSegment(false, true, 15), 1u);
}

TEST(PacketBits, StuffingAfterFF) {
  // A header byte 0xFF: of the next byte only the seven low bits count.
  Input in(Bytes{0xFF, 0x40, 0x80});
  PlainPacketInput pin(in.in);
  PacketBitInput<PlainPacketInput> bits(pin);
  EXPECT_EQ(bits.ReadBits(8), 0xFFu);
  EXPECT_EQ(bits.ReadBits(7), 0x40u);  // 1000000
  EXPECT_EQ(bits.ReadBit(), 1u);       // next byte's top bit
  EXPECT_EQ(in.in.Remaining(), 0u);
}

TEST(PacketHeader, HandMadeHeaderOfTwoLayers) {
  // 8 x 8 tile, 4 x 4 code-blocks: 2 x 2 code-blocks in one precinct.
  // Inclusion layers {0, 1; never, 0}; zero bit-planes {2, -; -, 1}.
  OneResolution t(8, 8, 2, 0, 2);
  BitWriter w;
  w.Bits("1");                   // contributions
  w.Bits("11 1001");             // cb0: inclusion (root, leaf); zero planes t=1..3 -> 2
  w.Bits("1100 0").Value(5, 4);  // 3 passes, Lblock 3, length 5 in 3 + 1 bits
  w.Bits("0");                   // cb1 not yet
  w.Bits("0");                   // cb2 not yet
  w.Bits("1 01");                // cb3 included; zero planes 1
  w.Bits("0 10").Value(9, 4);    // 1 pass, Lblock 4, length 9
  Bytes header = w.Finish();
  ASSERT_EQ(header.size(), 4u);
  Bytes data = header;
  data.resize(header.size() + 14, 0x00);
  Input in(data);
  PlainPacketInput pin(in.in);
  EXPECT_TRUE(DecodePacketHeader(pin, t.tc_, 0, 0, 0, 0, t.route));
  EXPECT_EQ(in.in.Remaining(), 14u);  // header ends on a byte boundary
  EXPECT_EQ(t.Block(0).ZeroBitPlanes(), 2u);
  EXPECT_EQ(t.Block(0).PassesReceived(), 3u);
  EXPECT_EQ(t.Block(0).PendingBytes(), 5u);
  EXPECT_EQ(t.Block(0).Lblock(), 3u);
  EXPECT_FALSE(t.Block(1).Included());
  EXPECT_FALSE(t.Block(2).Included());
  EXPECT_EQ(t.Block(3).ZeroBitPlanes(), 1u);
  EXPECT_EQ(t.Block(3).PendingBytes(), 9u);
  EXPECT_EQ(t.Block(3).Lblock(), 4u);
  // Bit-planes: G + exponent - 1 - z = 2 + 9 - 1 - 2.
  EXPECT_EQ(t.Block(0).BitPlanes(), 8);
  DecodePacketBody(pin, t.tc_, 0, 0, 0, 0);
  EXPECT_EQ(in.in.Remaining(), 0u);
  // Two layers, no bypass: bytes wait for the last layer.
  EXPECT_EQ(t.Block(0).BufferedBytes(), 5u);
  EXPECT_EQ(t.Block(0).DecodeCount(), 0u);

  // Layer 1: cb0 one bit (not included), cb1 first included (tree from
  // bound 1), cb2 still not, cb3 one bit (included, 2 passes, length 2).
  BitWriter w2;
  w2.Bits("1 0");                     // contributions; cb0 not
  w2.Bits("1 1");                     // cb1: leaf value 1 at threshold 2; zero planes 0
  w2.Bits("10 0").Value(3, 3 + 1);    // 2 passes, Lblock 3, length 3 in 3 + 1 bits
  w2.Bits("0");                       // cb2: leaf from bound 1: 0
  w2.Bits("1 10 0").Value(2, 4 + 1);  // cb3: 2 passes, Lblock 4, length 2
  Bytes h2 = w2.Finish();
  h2.resize(h2.size() + 5, 0x00);
  Input in2(h2);
  PlainPacketInput pin2(in2.in);
  EXPECT_TRUE(DecodePacketHeader(pin2, t.tc_, 0, 0, 0, 1, t.route));
  EXPECT_EQ(in2.in.Remaining(), 5u);
  EXPECT_EQ(t.Block(1).ZeroBitPlanes(), 0u);
  EXPECT_EQ(t.Block(1).PendingBytes(), 3u);
  EXPECT_EQ(t.Block(3).PendingBytes(), 2u);
  EXPECT_EQ(t.Block(3).PassesReceived(), 3u);
  DecodePacketBody(pin2, t.tc_, 0, 0, 0, 1);
  // The last layer decodes each included code-block once, over all its bytes.
  EXPECT_EQ(t.Block(0).DecodeCount(), 1u);
  EXPECT_EQ(t.Block(1).DecodeCount(), 1u);
  EXPECT_EQ(t.Block(2).DecodeCount(), 0u);
  EXPECT_EQ(t.Block(3).DecodeCount(), 1u);
  EXPECT_EQ(t.Block(3).BufferedBytes(), 0u);
}

TEST(PacketHeader, BypassSplitsTwelvePassesIntoTenAndTwo) {
  OneResolution t(4, 4, 2, kCbBypass, 1);
  BitWriter w;
  // Included, zero planes 0 ("1" then "1"), 12 passes = 1111 00110,
  // Lblock 3: segment of 10 passes has 3 + 3 length bits, of 2 passes 3 + 1.
  w.Bits("1 1 1 1111 00110 0").Value(7, 6).Value(4, 4);
  Bytes b = w.Finish();
  b.resize(b.size() + 11, 0);
  Input in(b);
  PlainPacketInput pin(in.in);
  DecodePacketHeader(pin, t.tc_, 0, 0, 0, 0, t.route);
  EXPECT_EQ(t.Block(0).PassesReceived(), 12u);
  EXPECT_EQ(t.Block(0).PendingSegmentCount(), 2u);
  EXPECT_EQ(t.Block(0).PendingBytes(), 11u);
}

TEST(PacketHeader, TerminateEachPassGivesEveryPassItsLength) {
  OneResolution t(4, 4, 2, kCbTerminateEachPass, 1);
  BitWriter w;
  w.Bits("1 1 1 1100 0").Value(1, 3).Value(2, 3).Value(3, 3);  // 3 passes, 3 lengths of 3 bits
  Bytes b = w.Finish();
  b.resize(b.size() + 6, 0);
  Input in(b);
  PlainPacketInput pin(in.in);
  DecodePacketHeader(pin, t.tc_, 0, 0, 0, 0, t.route);
  EXPECT_EQ(t.Block(0).PendingSegmentCount(), 3u);
  EXPECT_EQ(t.Block(0).PendingBytes(), 6u);
}

TEST(PacketHeader, EmptyPacketPadding) {
  OneResolution t(4, 4, 2, 0, 1);
  {
    Input in(Bytes{0x00, 0xAA});
    PlainPacketInput pin(in.in);
    Recorder r;
    DiagnRoute route;
    route.SetOutput(&r);
    EXPECT_FALSE(DecodePacketHeader(pin, t.tc_, 0, 0, 0, 0, route));
    EXPECT_EQ(in.in.Remaining(), 1u);  // exactly one byte read
    EXPECT_TRUE(r.codes.empty());
  }
  {
    Input in(Bytes{0x04});
    PlainPacketInput pin(in.in);
    Recorder r;
    DiagnRoute route;
    route.SetOutput(&r);
    EXPECT_FALSE(DecodePacketHeader(pin, t.tc_, 0, 0, 0, 0, route));
    EXPECT_EQ(r.codes, std::vector<std::uint32_t>{kPadding});
  }
}

TEST(PacketHeader, SopAndEphAreSkippedAndEveryOtherByteDelivered) {
  OneResolution t(4, 4, 2, 0, 1);
  // SOP segment, an empty packet's header byte, EPH, then the next packet's
  // SOP: nothing of the following packet is lost.
  const Bytes data{0xFF, 0x91, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF,
                   0x92, 0xFF, 0x91, 0x00, 0x04, 0x00, 0x01, 0x00};
  Input in(data);
  {
    MarkerPacketInput pin(in.in, true, true);
    EXPECT_FALSE(DecodePacketHeader(pin, t.tc_, 0, 0, 0, 0, t.route));
    EXPECT_TRUE(pin.SopSeen());
    EXPECT_TRUE(pin.EphSeen());
  }
  EXPECT_EQ(in.in.Remaining(), 7u);
  {
    MarkerPacketInput pin(in.in, true, true);
    EXPECT_FALSE(DecodePacketHeader(pin, t.tc_, 0, 0, 0, 0, t.route));
    EXPECT_TRUE(pin.SopSeen());
    EXPECT_FALSE(pin.EphSeen());  // absent: nothing skipped
  }
  EXPECT_EQ(in.in.Remaining(), 0u);
}

TEST(PacketHeader, DamagedLengthsAreRefusedBeforeAnythingIsStored) {
  OneResolution t(4, 4, 2, 0, 1);
  {
    // Lblock raised by 30: more than 32 length bits.
    BitWriter w;
    w.Bits("1 1 1 0").Bits(std::string(30, '1')).Bits("0");
    Bytes b = w.Finish();
    b.resize(b.size() + 8, 0);
    Input in(b);
    PlainPacketInput pin(in.in);
    EXPECT_THROW(DecodePacketHeader(pin, t.tc_, 0, 0, 0, 0, t.route), J2k::Except_noDataToRead);
    EXPECT_EQ(t.Block(0).PendingSegmentCount(), 0u);
  }
  {
    OneResolution u(4, 4, 2, 0, 1);
    // A segment length of 100 bytes with 3 bytes left.
    BitWriter w;
    w.Bits("1 1 1 0 1111 0").Value(100, 7);
    Bytes b = w.Finish();
    b.resize(b.size() + 3, 0);
    Input in(b);
    PlainPacketInput pin(in.in);
    EXPECT_THROW(DecodePacketHeader(pin, u.tc_, 0, 0, 0, 0, u.route), J2k::Except_noDataToRead);
    EXPECT_EQ(u.Block(0).PendingSegmentCount(), 0u);
  }
}

TEST(CodeBlockDriver, BitPlaneCountsOutsideTheLimitsAreClampedAndReported) {
  {
    // G 7 + exponent 31 - 1 - 4 = 33.
    OneResolution t(4, 4, 2, 0, 1, 7, 31);
    t.Block(0).Begin(4);
    EXPECT_EQ(t.Block(0).BitPlanes(), 31);
    EXPECT_EQ(t.rec.codes, std::vector<std::uint32_t>{33});
  }
  {
    // G 0 + exponent 0 - 1 - 0 = -1.
    OneResolution t(4, 4, 2, 0, 1, 0, 0);
    t.Block(0).Begin(0);
    EXPECT_EQ(t.Block(0).BitPlanes(), 0);
    EXPECT_EQ(t.rec.codes, std::vector<std::uint32_t>{34});
  }
}

namespace {

// Feeds a code-block segments layer by layer through DecodeLayers.
struct Feeder : PacketBodyInput {
  Bytes bytes;
  std::size_t pos = 0;
  void ReadBody(std::uint8_t* dst, std::size_t n) override {
    if (n > bytes.size() - pos) throw J2k::Except_noDataToRead();
    std::copy(bytes.begin() + pos, bytes.begin() + pos + n, dst);
    pos += n;
  }
  std::uint64_t Available() const override { return bytes.size() - pos; }
};

}  // namespace

TEST(CodeBlockDriver, DecodePointsOfTheThreeWays) {
  // Single layer: decoded while read, once per segment.
  {
    OneResolution t(4, 4, 2, kCbTerminateEachPass, 3);
    CodeBlock& cb = t.Block(0);
    cb.Begin(0);
    Feeder f;
    f.bytes.assign(10, 0x00);
    cb.AddSegment(0, 2, 1);
    cb.AddSegment(0, 3, 1);
    cb.DecodeLayers(0, f);
    EXPECT_EQ(cb.DecodeCount(), 2u);
    cb.DecodeLayers(1, f);  // contributed nothing: no decode
    EXPECT_EQ(cb.DecodeCount(), 2u);
    EXPECT_EQ(f.pos, 5u);
  }
  // Bypass over layers: a segment spanning two layers is decoded when its
  // last bytes arrive (total passes 10 ends the first segment).
  {
    OneResolution t(4, 4, 2, kCbBypass, 3);
    CodeBlock& cb = t.Block(0);
    cb.Begin(0);
    Feeder f;
    f.bytes.assign(20, 0x00);
    cb.AddSegment(0, 4, 6);
    cb.DecodeLayers(0, f);
    EXPECT_EQ(cb.DecodeCount(), 0u);
    EXPECT_EQ(cb.BufferedBytes(), 4u);
    cb.AddSegment(1, 3, 4);
    cb.DecodeLayers(1, f);
    EXPECT_EQ(cb.DecodeCount(), 1u);
    EXPECT_EQ(cb.BufferedBytes(), 0u);
    cb.AddSegment(2, 2, 1);  // first raw pass (11): waits for the last layer
    cb.DecodeLayers(2, f);
    EXPECT_EQ(cb.DecodeCount(), 2u);
  }
  // Neither: one decode at the last layer over all bytes.
  {
    OneResolution t(4, 4, 2, 0, 3);
    CodeBlock& cb = t.Block(0);
    cb.Begin(0);
    Feeder f;
    f.bytes.assign(20, 0x00);
    cb.AddSegment(0, 4, 3);
    cb.DecodeLayers(0, f);
    cb.DecodeLayers(1, f);
    EXPECT_EQ(cb.DecodeCount(), 0u);
    EXPECT_EQ(cb.BufferedBytes(), 4u);
    cb.AddSegment(2, 1, 1);
    cb.DecodeLayers(2, f);
    EXPECT_EQ(cb.DecodeCount(), 1u);
    EXPECT_EQ(cb.BufferedBytes(), 0u);
  }
  // The last layer never arrives: the tile's end decodes what waits.
  {
    OneResolution t(4, 4, 2, 0, 3);
    CodeBlock& cb = t.Block(0);
    cb.Begin(0);
    Feeder f;
    f.bytes.assign(20, 0x00);
    cb.AddSegment(0, 4, 3);
    cb.DecodeLayers(0, f);
    cb.Finish();
    EXPECT_EQ(cb.DecodeCount(), 1u);
    EXPECT_EQ(cb.BufferedBytes(), 0u);
    cb.Finish();  // nothing left: no second decode
    EXPECT_EQ(cb.DecodeCount(), 1u);
  }
}

TEST(CodeBlockDriver, UnincludedCodeBlocksStayZero) {
  OneResolution t(8, 8, 2, 0, 1);
  // Dirty the plane, then rebuild: set-up clears every code-block's rectangle.
  SubbandPlane& p = t.planes.ll;
  for (std::uint32_t y = 0; y < p.height; ++y)
    std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(p.data) + y * p.step), p.width,
                0x55u);
  TileComponent again;
  BuildTileComponent(again, {0, 0, 8, 8}, t.style, t.quant, 8, 1, t.planes, nullptr);
  for (std::uint32_t y = 0; y < p.height; ++y)
    for (std::uint32_t x = 0; x < p.width; ++x)
      EXPECT_EQ(
          reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(p.data) + y * p.step)[x],
          0u);
}

// Late clearing: the build and the first inclusion leave the plane alone (a
// code-block's first decoding clears its own rectangle); clearing on demand
// touches a code-block's own rectangle only, once.
TEST(CodeBlockDriver, LateClearingClearsEachRectangleOnce) {
  OneResolution t(8, 8, 2, 0, 1);
  SubbandPlane& p = t.planes.ll;
  auto word = [&](std::uint32_t x, std::uint32_t y) -> std::uint32_t& {
    return reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(p.data) + y * p.step)[x];
  };
  for (std::uint32_t y = 0; y < p.height; ++y)
    for (std::uint32_t x = 0; x < p.width; ++x) word(x, y) = 0x55u;
  TileComponent late;
  BuildTileComponent(late, {0, 0, 8, 8}, t.style, t.quant, 8, 1, t.planes, nullptr, true);
  PrecinctBand& pb = late.ll.precincts[0][0];
  ASSERT_EQ(pb.codeBlocks.Count(), 4u);
  for (const CodeBlock& cb : pb.codeBlocks) EXPECT_TRUE(cb.ClearOwed());
  EXPECT_EQ(word(0, 0), 0x55u);
  // Block 1 covers columns 4..7 of rows 0..3.
  pb.codeBlocks[1].Begin(0);
  EXPECT_TRUE(pb.codeBlocks[1].ClearOwed());
  EXPECT_EQ(word(4, 0), 0x55u);
  pb.codeBlocks[1].ClearIfOwed();
  EXPECT_FALSE(pb.codeBlocks[1].ClearOwed());
  for (std::uint32_t y = 0; y < 8; ++y)
    for (std::uint32_t x = 0; x < 8; ++x)
      EXPECT_EQ(word(x, y), (x >= 4 && y < 4) ? 0u : 0x55u) << x << "," << y;
  ClearOwedCodeBlocks(late);
  for (const CodeBlock& cb : pb.codeBlocks) EXPECT_FALSE(cb.ClearOwed());
  for (std::uint32_t y = 0; y < 8; ++y)
    for (std::uint32_t x = 0; x < 8; ++x) EXPECT_EQ(word(x, y), 0u) << x << "," << y;
}

TEST(PacketHeader, CodeBlockFirstIncludedAtLayerThree) {
  // Two code-blocks over five layers; the second is first included at layer
  // 3: its inclusion leaf is read with thresholds 1, 2, 3, 4, then it reads
  // single inclusion bits.  cb0 adds one pass of one byte in every layer.
  OneResolution t(8, 4, 2, 0, 5);
  const char* cb1Bits[5] = {"0", "0", "0", "1 1 0 0 001", "1 0 0 001"};
  Bytes data;
  for (int l = 0; l < 5; ++l) {
    BitWriter w;
    w.Bits("1");
    w.Bits(l == 0 ? "11 11 0 0 001" : "1 0 0 001");  // cb0 (first: inclusion and zero planes)
    w.Bits(cb1Bits[l]);
    const Bytes h = w.Finish();
    data.insert(data.end(), h.begin(), h.end());
    data.push_back(0x11);              // cb0's byte
    if (l >= 3) data.push_back(0x22);  // cb1's byte
  }
  Input in(data);
  PlainPacketInput pin(in.in);
  for (std::uint32_t l = 0; l < 5; ++l) {
    EXPECT_TRUE(DecodePacketHeader(pin, t.tc_, 0, 0, 0, l, t.route));
    EXPECT_EQ(t.Block(1).Included(), l >= 3) << "layer " << l;
    DecodePacketBody(pin, t.tc_, 0, 0, 0, l);
  }
  EXPECT_EQ(in.in.Remaining(), 0u);
  EXPECT_EQ(t.Block(0).PassesReceived(), 5u);
  EXPECT_EQ(t.Block(1).PassesReceived(), 2u);
  // The inclusion leaf of cb1 holds 3, learnt at threshold 4.
  EXPECT_EQ(t.Precinct().inclusion.NodeAt(1).value, 3u);
}

// A packet may bring a code-block more segments than are kept in place: each
// is read in order and decoded once, and the next packet starts afresh.
TEST(CodeBlockDriver, ManySegmentsInOnePacket) {
  for (std::uint32_t n : {1u, 4u, 5u, 9u}) {
    OneResolution t(4, 4, 2, kCbTerminateEachPass, 2);
    CodeBlock& cb = t.Block(0);
    cb.Begin(0);
    Feeder f;
    f.bytes.assign(200, 0x00);
    std::size_t total = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
      cb.AddSegment(0, i + 1, 1);
      total += i + 1;
    }
    EXPECT_EQ(cb.PendingSegmentCount(), n);
    EXPECT_EQ(cb.PendingBytes(), total);
    cb.DecodeLayers(0, f);
    EXPECT_EQ(cb.DecodeCount(), n);
    EXPECT_EQ(f.pos, total);
    EXPECT_EQ(cb.PendingSegmentCount(), 0u);
    cb.AddSegment(1, 3, 1);
    EXPECT_EQ(cb.PendingSegmentCount(), 1u);
    cb.DecodeLayers(1, f);
    EXPECT_EQ(cb.DecodeCount(), n + 1);
    EXPECT_EQ(f.pos, total + 3);
  }
}

// After its precinct's last layer a code-block gives its decoder state back:
// the tile's end and any stray body find nothing to decode.
TEST(CodeBlockDriver, NothingDecodesAfterTheLastLayer) {
  for (std::uint32_t flags : {0u, static_cast<std::uint32_t>(kCbTerminateEachPass)}) {
    OneResolution t(4, 4, 2, flags, 2);
    CodeBlock& cb = t.Block(0);
    cb.Begin(0);
    Feeder f;
    f.bytes.assign(20, 0x00);
    cb.AddSegment(0, 2, 1);
    cb.DecodeLayers(0, f);
    cb.AddSegment(1, 3, 1);
    cb.DecodeLayers(1, f);
    const std::uint32_t decodes = cb.DecodeCount();
    EXPECT_GE(decodes, 1u);
    EXPECT_EQ(f.pos, 5u);
    cb.Finish();
    cb.AddSegment(1, 4, 1);
    cb.DecodeLayers(1, f);
    cb.Finish();
    EXPECT_EQ(cb.DecodeCount(), decodes);
    EXPECT_EQ(f.pos, 9u);  // the stray body is read past, so the next code-block's bytes stay in place
    EXPECT_EQ(cb.PendingSegmentCount(), 0u);
  }
}
