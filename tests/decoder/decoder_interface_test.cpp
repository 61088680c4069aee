// Codec::JPEG2000Decoder behind the codec interface: its lifecycle, the
// entry operations' results without a state, the caller-image checks before
// any byte is decoded, failures reported to the sink and never thrown, and
// the codestream body's tile-part handling on real codestreams altered by
// hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/decoder/decode_helpers.h"
#include "tests/support/testdata.h"

namespace {

using codec_test::Decoded;
using Bytes = std::vector<std::uint8_t>;

const char kPrefix[] = "Codec::JPEG2000Decoder::";

bool Said(const Decoded& d, const std::string& name) {
  for (const std::string& t : d.sink.texts)
    if (t == kPrefix + name) return true;
  return false;
}

// A decoder that has read the header of `bytes` (kept by the caller), its
// diagnostics going to `sink`, or nowhere once detached.
struct HeaderRead {
  Codec::CMemBuffInput stream;
  Codec::JPEG2000Decoder dec;
  codec_test::RecordingSink sink;
  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  int result = -1;
  explicit HeaderRead(const Bytes& bytes, bool detach = false) {
    stream.Open(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    if (dec.Init() != 0 || dec.AttachStream(&stream) != 0) return;
    dec.AttachDiagnOutput(&sink);
    if (detach) dec.DetachDiagnOutput();
    result = dec.ReadHeader(&header, &sampling);
  }
};

TEST(DecoderInterface, LifecycleWithoutAndWithState) {
  Codec::JPEG2000Decoder dec;
  codec_test::RecordingSink sink;
  // No state yet: the operations that need one fail or do nothing.
  dec.AttachDiagnOutput(&sink);
  dec.DetachDiagnOutput();
  Codec::CMemBuffInput stream;
  EXPECT_EQ(dec.AttachStream(&stream), -1);
  EXPECT_EQ(dec.ResetInput(), -1);
  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  EXPECT_EQ(dec.ReadHeader(&header, &sampling), -1);
  EXPECT_EQ(header.ComponentCount(), 0u);
  EXPECT_EQ(sampling.count, 0u);
  Codec::ImageBufferDescr descr;
  EXPECT_EQ(dec.ReadData(nullptr, &descr), -1);
  EXPECT_EQ(dec.Close(), 0);
  EXPECT_EQ(dec.Capability(), 1);
  EXPECT_EQ(dec.CapabilityForward(7), 1);
  const Codec::CodecInfo* info = dec.GetInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->words[0], 1u);
  EXPECT_STREQ(info->version, "v1.0 beta");
  EXPECT_STREQ(info->buildDate, "Jul 20 2015");
  // Init twice keeps the state; Close twice is harmless.
  EXPECT_EQ(dec.Init(), 0);
  EXPECT_EQ(dec.Init(), 0);
  EXPECT_EQ(dec.ResetInput(), 0);
  EXPECT_EQ(dec.Close(), 0);
  EXPECT_EQ(dec.Close(), 0);
  EXPECT_TRUE(sink.codes.empty());
}

TEST(DecoderInterface, ReadDataRefusesAnImageThatDoesNotMatchBeforeReading) {
  REQUIRE_TESTDATA(path, "conformance/p0_09.j2k");
  const Bytes bytes = codec_test::ReadFile(path);
  HeaderRead r(bytes);
  ASSERT_EQ(r.result, 0);
  Codec::JPEG2000Decoder& dec = r.dec;
  Codec::CMemBuffInput& stream = r.stream;
  const Codec::ImageHeader& header = r.header;
  const Codec::ImageSampling& sampling = r.sampling;
  EXPECT_EQ(header.ComponentCount(), 1u);
  EXPECT_EQ(header.components[0].precision, 7u);
  EXPECT_EQ(sampling.rect.width, 17u);
  EXPECT_EQ(sampling.rect.height, 37u);
  std::uint64_t afterHeader = 0;
  stream.Position(afterHeader);

  // A smaller image than the codestream's.
  Codec::ImageSampling small;
  small.ResetFactors(1);
  small.rect = {0, 0, 16, 37};
  small.factors[0] = {1, 1};
  Codec::ImageBuffer wrong;
  ASSERT_EQ(wrong.Alloc(Codec::kImageData32s, 0, small, 6, 0), 0);
  EXPECT_EQ(dec.ReadData(wrong.planePointers, &wrong.layout), -1);
  // Interleaved layout.
  Codec::ImageBuffer image;
  ASSERT_EQ(image.Alloc(Codec::kImageData32s, 0, sampling, 6, 0), 0);
  image.layout.planeLayout = Codec::kPlaneInterleaved;
  EXPECT_EQ(dec.ReadData(image.planePointers, &image.layout), -1);
  image.layout.planeLayout = Codec::kPlanePerComponent;
  // A row step too short for the width.
  const std::uint32_t keep = image.layout.rowSteps[0];
  image.layout.rowSteps[0] = 16 * 4;
  EXPECT_EQ(dec.ReadData(image.planePointers, &image.layout), -1);
  image.layout.rowSteps[0] = keep;
  std::uint64_t now = 0;
  stream.Position(now);
  EXPECT_EQ(now, afterHeader) << "no byte may be read for a refused image";

  // An unknown data type decodes the codestream, then fails.
  image.layout.dataType = 5;
  EXPECT_EQ(dec.ReadData(image.planePointers, &image.layout), -1);
  stream.Position(now);
  EXPECT_EQ(now, bytes.size());
}

TEST(DecoderInterface, MalformedHeaderIsReportedToTheSink) {
  Decoded d;
  codec_test::Decode(Bytes{0xFF, 0x4F, 0xFF, 0x52, 0x00, 0x02}, d);
  EXPECT_EQ(d.headerResult, -1);
  EXPECT_TRUE(Said(d, "Except_SIZNotFound"));
  Decoded empty;
  codec_test::Decode(Bytes{}, empty);
  EXPECT_EQ(empty.headerResult, -1);
  EXPECT_FALSE(empty.sink.texts.empty());
}

// A failed ReadHeader is final: the next ReadHeader and ReadData fail at once
// and say why, until a new stream is attached.
TEST(DecoderInterface, AFailedHeaderReadIsFinalUntilANewStream) {
  REQUIRE_TESTDATA(path, "conformance/p0_09.j2k");
  const Bytes good = codec_test::ReadFile(path);
  const Bytes bad{0xFF, 0x4F, 0xFF, 0x52, 0x00, 0x02};
  Codec::CMemBuffInput stream;
  stream.Open(bad.data(), static_cast<std::uint32_t>(bad.size()));
  Codec::JPEG2000Decoder dec;
  codec_test::RecordingSink sink;
  ASSERT_EQ(dec.Init(), 0);
  ASSERT_EQ(dec.AttachStream(&stream), 0);
  dec.AttachDiagnOutput(&sink);
  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  EXPECT_EQ(dec.ReadHeader(&header, &sampling), -1);
  EXPECT_EQ(dec.ReadHeader(&header, &sampling), -1);
  Codec::ImageBufferDescr descr;
  EXPECT_EQ(dec.ReadData(nullptr, &descr), -1);
  const std::string earlier = std::string(kPrefix) + "Except_EarlierReadFailed";
  EXPECT_EQ(sink.texts,
            std::vector<std::string>({std::string(kPrefix) + "Except_SIZNotFound", earlier, earlier}));

  // (ResetInput drops the first stream's bound, which would limit the next.)
  Codec::CMemBuffInput other;
  other.Open(good.data(), static_cast<std::uint32_t>(good.size()));
  ASSERT_EQ(dec.ResetInput(), 0);
  ASSERT_EQ(dec.AttachStream(&other), 0);
  ASSERT_EQ(dec.ReadHeader(&header, &sampling), 0);
  Codec::ImageBuffer image;
  ASSERT_EQ(image.Alloc(Codec::kImageData32s, 0, sampling, 6, 0), 0);
  EXPECT_EQ(dec.ReadData(image.planePointers, &image.layout), 0);
}

// A stream attached without ResetInput after another is held to what the
// other's size left unread: after a whole codestream, nothing.
TEST(DecoderInterface, AStreamAttachedWithoutResetInputIsHeldToTheEarlierOnesRest) {
  REQUIRE_TESTDATA(path, "conformance/p0_09.j2k");
  const Bytes good = codec_test::ReadFile(path);
  Codec::CMemBuffInput first;
  Codec::CMemBuffInput second;
  first.Open(good.data(), static_cast<std::uint32_t>(good.size()));
  second.Open(good.data(), static_cast<std::uint32_t>(good.size()));
  Codec::JPEG2000Decoder dec;
  codec_test::RecordingSink sink;
  ASSERT_EQ(dec.Init(), 0);
  dec.AttachDiagnOutput(&sink);
  ASSERT_EQ(dec.AttachStream(&first), 0);
  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  ASSERT_EQ(dec.ReadHeader(&header, &sampling), 0);
  Codec::ImageBuffer image;
  ASSERT_EQ(image.Alloc(Codec::kImageData32s, 0, sampling, 6, 0), 0);
  ASSERT_EQ(dec.ReadData(image.planePointers, &image.layout), 0);
  ASSERT_EQ(dec.AttachStream(&second), 0);
  EXPECT_EQ(dec.ReadHeader(&header, &sampling), -1);
  EXPECT_EQ(sink.texts.back(), std::string(kPrefix) + "Except_noDataToRead");
}

// A stream whose reads throw what a caller's stream might: nothing of it
// leaves the decoder.
struct ThrowingStream : Codec::BaseStreamInput {
  int mode = 0;
  std::int32_t Size(std::uint64_t& size) override {
    size = 16;
    return 0;
  }
  std::int32_t Position(std::uint64_t& position) override {
    position = 0;
    return 0;
  }
  std::int32_t Read(void*, std::uint64_t, std::uint64_t&) override {
    if (mode == 0) throw std::bad_alloc();
    throw std::runtime_error("stream failed");
  }
  std::int32_t Skip(std::int64_t) override { return 0; }
  std::int32_t Seek(std::int64_t, std::int32_t) override { return 0; }
};

TEST(DecoderInterface, ExceptionsOfOtherKindsEndTheOperationWithFailure) {
  for (int mode : {0, 1}) {
    ThrowingStream stream;
    stream.mode = mode;
    Codec::JPEG2000Decoder dec;
    codec_test::RecordingSink sink;
    ASSERT_EQ(dec.Init(), 0);
    ASSERT_EQ(dec.AttachStream(&stream), 0);
    dec.AttachDiagnOutput(&sink);
    Codec::ImageHeader header;
    Codec::ImageSampling sampling;
    EXPECT_EQ(dec.ReadHeader(&header, &sampling), -1);
    if (mode == 0) {
      ASSERT_EQ(sink.texts.size(), 1u);
      EXPECT_EQ(sink.texts[0], std::string(kPrefix) + "Except_faultMalloc");
    }
  }
}

TEST(DecoderInterface, DetachedSinkHearsNothingMore) {
  REQUIRE_TESTDATA(path, "conformance/p0_09.j2k");
  const Bytes bytes = codec_test::ReadFile(path);
  HeaderRead r(bytes, true);
  ASSERT_EQ(r.result, 0);
  EXPECT_TRUE(r.sink.texts.empty());
}

// --- The codestream body ---------------------------------------------------

// p0_09: SOC .. main header, one tile-part (SOT at 114, Psot 478), EOC.
constexpr std::size_t kSot = 114;

struct Body : ::testing::Test {
  Bytes base;
  std::vector<codec_test::Component> reference;
  void SetUp() override {
    const std::string path = testDataPath("conformance/p0_09.j2k");
    if (path.empty()) GTEST_SKIP() << "test data conformance/p0_09.j2k is absent";
    base = codec_test::ReadFile(path);
    ASSERT_EQ(base[kSot], 0xFF);
    ASSERT_EQ(base[kSot + 1], 0x90);
    Decoded d;
    codec_test::Decode(base, d);
    ASSERT_EQ(d.dataResult, 0);
    reference = d.components;
  }
  static std::uint32_t Psot(const Bytes& b) {
    return (std::uint32_t{b[kSot + 6]} << 24) | (b[kSot + 7] << 16) | (b[kSot + 8] << 8) | b[kSot + 9];
  }
  static void SetPsot(Bytes& b, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b[kSot + 6 + k] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
  }
  void ExpectReference(const Decoded& d) {
    ASSERT_EQ(d.dataResult, 0);
    ASSERT_EQ(d.components.size(), reference.size());
    EXPECT_EQ(d.components[0].samples, reference[0].samples);
  }
};

TEST_F(Body, MatchingLengthDecodesWithoutTilePartWarnings) {
  Decoded d;
  codec_test::Decode(base, d);
  ExpectReference(d);
  for (const char* w : {"Warn_SOTTilePartLengthExceedActualLength", "Warn_SOTTilePartLengthLessActualLength",
                        "Warn_SOTTilePartIndexMismatch", "Warn_CodeStreamBodyUnknownMarker"})
    EXPECT_FALSE(Said(d, w)) << w;
}

TEST_F(Body, SurplusAnnouncedBytesAreSkippedWithOneWarning) {
  Bytes b = base;
  const std::size_t end = kSot + Psot(b);
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(end), 100, 0x5A);
  SetPsot(b, Psot(b) + 100);
  Decoded d;
  codec_test::Decode(b, d);
  ExpectReference(d);
  EXPECT_TRUE(Said(d, "Warn_SOTTilePartLengthExceedActualLength"));
  EXPECT_FALSE(Said(d, "Warn_CodeStreamBodyUnknownMarker"));
}

TEST_F(Body, LengthPastTheEndOfTheDataWarnsAndKeepsTheFrame) {
  Bytes b = base;
  SetPsot(b, 0x00100000);
  Decoded d;
  codec_test::Decode(b, d);
  ExpectReference(d);
  EXPECT_TRUE(Said(d, "Warn_SOTTilePartLengthExceedActualLength"));
  // The same without EOC: the data simply ends.
  b.erase(b.end() - 2, b.end());
  Decoded e;
  codec_test::Decode(b, e);
  ExpectReference(e);
}

TEST_F(Body, ZeroLengthRunsToTheEndOfTheTile) {
  Bytes b = base;
  SetPsot(b, 0);
  Decoded d;
  codec_test::Decode(b, d);
  ExpectReference(d);
}

TEST_F(Body, LengthBelowTheHeaderWarnsAndDecodesByPackets) {
  Bytes b = base;
  SetPsot(b, 12);
  Decoded d;
  codec_test::Decode(b, d);
  ExpectReference(d);
  EXPECT_TRUE(Said(d, "Warn_SOTTilePartLengthLessHeaderSize"));
}

TEST_F(Body, TileIndexOutsideTheGridIsRefused) {
  Bytes b = base;
  b[kSot + 5] = 1;  // Isot 1 of 1 tile
  Decoded d;
  codec_test::Decode(b, d);
  EXPECT_EQ(d.headerResult, 0);
  EXPECT_EQ(d.dataResult, -1);
  EXPECT_TRUE(Said(d, "Except_SOTTileIndexExceedNOfTiles"));
}

TEST_F(Body, TilePartIndexMismatchOnlyWarns) {
  Bytes b = base;
  b[kSot + 10] = 1;  // TPsot 1 on the first tile-part
  Decoded d;
  codec_test::Decode(b, d);
  ExpectReference(d);
  EXPECT_TRUE(Said(d, "Warn_SOTTilePartIndexMismatch"));
}

TEST_F(Body, UnknownMarkersBetweenTilePartsAreSkipped) {
  const std::size_t end = kSot + Psot(base);
  // A reserved marker stands alone; another unknown one carries a length.
  for (const Bytes& extra : {Bytes{0xFF, 0x30}, Bytes{0xFF, 0x6F, 0x00, 0x04, 0x12, 0x34}}) {
    Bytes b = base;
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(end), extra.begin(), extra.end());
    Decoded d;
    codec_test::Decode(b, d);
    ExpectReference(d);
    EXPECT_TRUE(Said(d, "Warn_CodeStreamBodyUnknownMarker"));
  }
}

TEST_F(Body, RegionOfInterestAndPackedHeadersInATilePartAreRefused) {
  const struct {
    Bytes segment;
    const char* diagnostic;
  } cases[] = {{{0xFF, 0x5E, 0x00, 0x05, 0x00, 0x00, 0x07}, "Except_RGNUsed"},
               {{0xFF, 0x61, 0x00, 0x04, 0x00, 0x00}, "Except_PPMUsed"}};
  for (const auto& c : cases) {
    Bytes b = base;
    // Right after the SOT segment (12 bytes), before SOD.
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(kSot + 12), c.segment.begin(), c.segment.end());
    SetPsot(b, Psot(b) + static_cast<std::uint32_t>(c.segment.size()));
    Decoded d;
    codec_test::Decode(b, d);
    EXPECT_EQ(d.dataResult, -1) << c.diagnostic;
    EXPECT_TRUE(Said(d, c.diagnostic)) << c.diagnostic;
  }
}

TEST_F(Body, TruncatedDataFailsCleanly) {
  for (std::size_t cut = kSot + 14; cut < base.size(); cut += 37) {
    Bytes b(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(cut));
    Decoded d;
    codec_test::Decode(b, d);
    EXPECT_EQ(d.headerResult, 0);
    // Either the packets that were there decode, or the frame fails with a
    // reason; nothing else.
    if (d.dataResult != 0) {
      EXPECT_FALSE(d.sink.texts.empty()) << cut;
    }
  }
}

}  // namespace

namespace {

// A decoder that has read the header of a real 12-bit 9/7 cinema codestream
// (one tile, three components under the component transform), and images
// laid out for it.
struct Cinema : ::testing::Test {
  Bytes bytes;
  std::unique_ptr<HeaderRead> r;
  void SetUp() override { Open("cinema/profile-cinema2k.j2c"); }
  void Open(const std::string& file) {
    const std::string path = testDataPath(file);
    if (path.empty()) GTEST_SKIP() << "test data " << file << " is absent";
    bytes = codec_test::ReadFile(path);
    r = std::make_unique<HeaderRead>(bytes);
    ASSERT_EQ(r->result, 0);
  }
  // An image of data type `type`, every byte `fill`.
  std::unique_ptr<Codec::ImageBuffer> Image(std::int32_t type, int fill = 0x5A) const {
    auto image = std::make_unique<Codec::ImageBuffer>();
    EXPECT_EQ(image->Alloc(type, 0, r->sampling, 6, 0), 0);
    Fill(*image, fill);
    return image;
  }
  static void Fill(Codec::ImageBuffer& image, int fill) {
    for (std::uint32_t c = 0; c < image.PlaneCount(); ++c)
      std::memset(image.planePointers[c], fill, static_cast<std::size_t>(image.layout.PlaneSize(c)));
  }
  int Read(Codec::ImageBuffer& image) { return r->dec.ReadData(image.planePointers, &image.layout); }
  // Every sample of every component, widened.
  std::vector<std::int32_t> Samples(const Codec::ImageBuffer& image) const {
    std::vector<std::int32_t> out;
    const bool is16 = image.layout.dataType == Codec::kImageData16s;
    for (std::uint32_t c = 0; c < image.PlaneCount(); ++c) {
      const Codec::Rect rect = r->sampling.ComponentRectOf(c);
      for (std::uint32_t y = 0; y < rect.height; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(image.planePointers[c]) +
                          std::size_t{y} * image.layout.rowSteps[c];
        for (std::uint32_t x = 0; x < rect.width; ++x)
          out.push_back(is16 ? reinterpret_cast<const std::int16_t*>(row)[x]
                             : reinterpret_cast<const std::int32_t*>(row)[x]);
      }
    }
    return out;
  }
  // The exceptions the sink has heard of (the codestream brings warnings of
  // its own).
  std::vector<std::string> Failures() const {
    std::vector<std::string> out;
    for (const std::string& t : r->sink.texts)
      if (t.find("::Except_") != std::string::npos) out.push_back(t);
    return out;
  }
  bool AllBytesAre(const Codec::ImageBuffer& image, int fill) const {
    for (std::uint32_t c = 0; c < image.PlaneCount(); ++c) {
      const auto* p = static_cast<const std::uint8_t*>(image.planePointers[c]);
      const auto end = p + image.layout.PlaneSize(c);
      if (std::find_if(p, end, [fill](std::uint8_t v) { return v != fill; }) != end) return false;
    }
    return true;
  }
};

}  // namespace

// By default ReadData can be repeated: into other planes, into the same
// planes cleared, with 16-bit samples; each gives the first read's samples
// (16-bit samples of these 12-bit components are made on 32 bits).
TEST_F(Cinema, ReadDataGivesTheSameSamplesEveryTime) {
  auto a = Image(Codec::kImageData32s), b = Image(Codec::kImageData32s), c = Image(Codec::kImageData16s);
  ASSERT_EQ(Read(*a), 0);
  const std::vector<std::int32_t> first = Samples(*a);
  ASSERT_EQ(Read(*b), 0);
  EXPECT_EQ(Samples(*b), first);
  for (std::uint32_t k = 0; k < a->PlaneCount(); ++k)
    std::memset(a->planePointers[k], 0, static_cast<std::size_t>(a->layout.PlaneSize(k)));
  ASSERT_EQ(Read(*a), 0);
  EXPECT_EQ(Samples(*a), first);
  ASSERT_EQ(Read(*c), 0);
  EXPECT_EQ(Samples(*c), first);
  EXPECT_TRUE(Failures().empty());
  // 16-bit samples on a decoder that never made 32-bit ones.
  HeaderRead fresh(bytes);
  auto d = Image(Codec::kImageData16s);
  ASSERT_EQ(fresh.dec.ReadData(d->planePointers, &d->layout), 0);
  EXPECT_EQ(Samples(*d), first);
}

// Lending the planes gives the same samples, once: every later ReadData is
// refused with a diagnostic that says why and writes nothing, into other
// planes, with another data type and into the very same addresses (where the
// caller may have another image by now).
TEST_F(Cinema, LentPlanesGiveTheSamplesOnce) {
  auto reference = Image(Codec::kImageData32s);
  {
    HeaderRead plain(bytes);
    ASSERT_EQ(plain.dec.ReadData(reference->planePointers, &reference->layout), 0);
  }
  r->dec.LendCallerPlanes(true);
  auto a = Image(Codec::kImageData32s), b = Image(Codec::kImageData32s), c = Image(Codec::kImageData16s);
  ASSERT_EQ(Read(*a), 0);
  EXPECT_EQ(Samples(*a), Samples(*reference));
  EXPECT_TRUE(Failures().empty());
  Fill(*a, 0x5A);
  EXPECT_EQ(Read(*a), -1);
  EXPECT_EQ(Read(*b), -1);
  EXPECT_EQ(Read(*c), -1);
  EXPECT_TRUE(AllBytesAre(*a, 0x5A) && AllBytesAre(*b, 0x5A) && AllBytesAre(*c, 0x5A));
  const std::string refused = std::string(kPrefix) + "Except_LentPlanesHoldSamples";
  EXPECT_EQ(Failures(), std::vector<std::string>(3, refused));
}

// A ReadData that fails on the codestream leaves the caller's planes as they
// were: every tile-part is read before a sample is written.
TEST_F(Cinema, FailedReadLeavesThePlanesAsTheyWere) {
  std::size_t sot = 2;
  while (sot + 1 < bytes.size() && !(bytes[sot] == 0xFF && bytes[sot + 1] == 0x90)) ++sot;
  ASSERT_LT(sot + 6, bytes.size());
  bytes[sot + 5] = 7;  // Isot 7 of 1 tile
  r = std::make_unique<HeaderRead>(bytes);
  ASSERT_EQ(r->result, 0);
  auto a = Image(Codec::kImageData32s);
  EXPECT_EQ(Read(*a), -1);
  EXPECT_TRUE(AllBytesAre(*a, 0x5A));
}

// A real 2K frame (one tile in three tile-parts) with 17 bytes overwritten
// from the sixth byte of a tile-part's SOT segment on (its length and
// indices, SOD, the first packet bytes): ReadData fails.  A second ReadData
// used to go on from where the first had stopped and give 0, with the
// samples of the rest of the codestream, or with none; with lent planes it
// also wrote coefficients into the failed call's planes.  Now it is refused
// at once, with and without lent planes, and writes nothing, neither into
// fresh planes nor into the failed call's.
class DamagedFrame : public Cinema, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {}
};

TEST_P(DamagedFrame, AFailedReadIsFinal) {
  Open("cinema/X_4_2K_24_185_CBR_WB_000.j2k");
  if (IsSkipped() || HasFatalFailure()) return;
  const Bytes frame = bytes;
  // The tile-parts: the main header's segments, then the tile-parts, walked
  // by their lengths (test-side walk).
  std::size_t p = 2;
  while (p + 4 <= frame.size() && !(frame[p] == 0xFF && frame[p + 1] == 0x90))
    p += 2 + ((std::size_t{frame[p + 2]} << 8) | frame[p + 3]);
  std::vector<std::size_t> sots;
  while (p + 10 <= frame.size() && frame[p] == 0xFF && frame[p + 1] == 0x90) {
    sots.push_back(p);
    p += (std::size_t{frame[p + 6]} << 24) | (frame[p + 7] << 16) | (frame[p + 8] << 8) | frame[p + 9];
  }
  ASSERT_EQ(sots.size(), 3u);
  const std::string earlier = std::string(kPrefix) + "Except_EarlierReadFailed";
  for (const std::size_t part : {0u, 1u}) {
    SCOPED_TRACE(part);
    bytes = frame;
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(sots[part] + 6), 17, 0x01);
    r = std::make_unique<HeaderRead>(bytes);
    ASSERT_EQ(r->result, 0);
    r->dec.LendCallerPlanes(GetParam());
    auto a = Image(Codec::kImageData32s), b = Image(Codec::kImageData32s);
    ASSERT_EQ(Read(*a), -1);
    ASSERT_EQ(Failures().size(), 1u);
    // The failed call's planes, which the caller may have freed, and fresh ones.
    Fill(*a, 0x5A);
    EXPECT_EQ(Read(*a), -1);
    EXPECT_EQ(Read(*b), -1);
    EXPECT_TRUE(AllBytesAre(*a, 0x5A));
    EXPECT_TRUE(AllBytesAre(*b, 0x5A));
    const std::vector<std::string> failures = Failures();
    EXPECT_EQ(std::vector<std::string>(failures.begin() + 1, failures.end()),
              std::vector<std::string>(2, earlier));
  }
}

INSTANTIATE_TEST_SUITE_P(LentAndNot, DamagedFrame, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "LentPlanes" : "OwnPlanes");
                         });

// 16-bit samples cannot hold an unsigned 16-bit component: refused before a
// byte of data is decoded.
TEST(DecoderInterface, SixteenBitSamplesRefuseDeeperComponents) {
  Bytes cs;
  auto u8 = [&](std::uint32_t v) { cs.push_back(static_cast<std::uint8_t>(v)); };
  auto u16 = [&](std::uint32_t v) { u8(v >> 8), u8(v); };
  auto u32 = [&](std::uint32_t v) { u16(v >> 16), u16(v); };
  u16(0xFF4F);
  // SIZ: 8 x 8, one tile, one unsigned 16-bit component; COD 5/3, no levels; QCD none.
  u16(0xFF51), u16(41), u16(0), u32(8), u32(8), u32(0), u32(0), u32(8), u32(8), u32(0), u32(0), u16(1);
  u8(15), u8(1), u8(1);
  u16(0xFF52), u16(12), u8(0), u8(0), u16(1), u8(0), u8(0), u8(4), u8(4), u8(0), u8(1);
  u16(0xFF5C), u16(4), u8(0x40), u8(0x80);
  u16(0xFF90), u16(10), u16(0), u32(0), u8(0), u8(1), u16(0xFF93), u8(0);
  u16(0xFFD9);
  for (const std::int32_t type : {Codec::kImageData32s, Codec::kImageData16s}) {
    Decoded d;
    codec_test::Decode(cs, d, type);
    ASSERT_EQ(d.headerResult, 0);
    if (type == Codec::kImageData32s) {
      EXPECT_EQ(d.dataResult, 0);
    } else {
      EXPECT_EQ(d.dataResult, -1);
      EXPECT_TRUE(Said(d, "Except_BitDepthExceedsDataType"));
    }
  }
}
