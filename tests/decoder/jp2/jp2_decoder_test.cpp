// Codec::JP2Decoder over hand-made files: lifecycle, what ReadHeader reports
// (geometry from the codestream, colour space codes, palette and component
// mapping), the diagnostics that reach the caller's sink with codec id 3, and
// ReadData's checks of the caller's image.
#include "decoder/jp2/jp2_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/decoder/jp2/jp2_builder.h"

using namespace Codec;
using namespace jp2_test;
using codec_test::Record;
using codec_test::SizParams;
using Codes = std::vector<std::uint32_t>;

namespace {

constexpr std::uint8_t kSot[] = {0xFF, 0x90};

// A complete one-tile codestream whose packets are all empty: every
// coefficient is zero, so every sample decodes to the level-shift value.
Bytes EmptyCodestream(const SizParams& p = {}) {
  Builder b = codec_test::Start(p);
  b.segment(0xFF52, codec_test::CodBody()).segment(0xFF5C, codec_test::QcdBody());
  b.u16(0xFF90).u16(10).u16(0).u32(0).u8(0).u8(1);  // SOT: tile 0, length unknown, part 0 of 1
  b.u16(0xFF93);
  for (std::size_t c = 0; c < p.ssiz.size(); ++c) b.u8(0).u8(0).u8(0);  // three empty packets per component
  b.u16(0xFFD9);
  return b.b;
}

SizParams Components(std::vector<std::uint8_t> ssiz) {
  SizParams p;
  p.ssiz = ssiz;
  p.xr.assign(ssiz.size(), 1);
  p.yr.assign(ssiz.size(), 1);
  return p;
}

Bytes JP2(const Bytes& headerContent, const Bytes& codestream = EmptyCodestream()) {
  return File(headerContent, codestream);
}

// Drives a JP2Decoder in the converter's call order.
struct Session {
  Bytes file;  // the stream reads from this copy while the session lives
  CMemBuffInput stream;
  JP2Decoder dec;
  RecordingSink sink;
  ImageHeader header;
  ImageSampling sampling;
  ImageBuffer image;
  int headerResult = -9;
  int dataResult = -9;

  explicit Session(const Bytes& bytes, bool attachSink = true) : file(bytes) {
    stream.Open(file.data(), static_cast<std::uint32_t>(file.size()));
    EXPECT_EQ(dec.Init(), 0);
    EXPECT_EQ(dec.AttachStream(&stream), 0);
    if (attachSink) dec.AttachDiagnOutput(&sink);
    headerResult = dec.ReadHeader(&header, &sampling);
  }
  int Data(std::int32_t type = kImageData32s) {
    if (image.Alloc(type == 7 ? kImageData32s : type, 0, sampling, 5, 1) != 0) return -9;
    image.layout.dataType = type;
    dataResult = dec.ReadData(image.planePointers, &image.layout);
    return dataResult;
  }
  std::int32_t Sample(std::uint32_t c, std::uint32_t x, std::uint32_t y) const {
    const auto* row =
        static_cast<const std::uint8_t*>(image.planePointers[c]) + std::size_t{y} * image.layout.rowSteps[c];
    return image.layout.dataType == kImageData16s ? reinterpret_cast<const std::int16_t*>(row)[x]
                                                  : reinterpret_cast<const std::int32_t*>(row)[x];
  }
};

}  // namespace

// --- Lifecycle ---------------------------------------------------------------------

TEST(Jp2Decoder, LifecycleWithoutState) {
  JP2Decoder dec;
  ImageHeader h;
  ImageSampling s;
  CMemBuffInput stream;
  RecordingSink sink;
  dec.AttachDiagnOutput(&sink);  // nothing without a state
  dec.DetachDiagnOutput();
  EXPECT_EQ(dec.AttachStream(&stream), -1);
  EXPECT_EQ(dec.ResetInput(), -1);
  EXPECT_EQ(dec.ReadHeader(&h, &s), -1);
  EXPECT_EQ(h.ComponentCount(), 0u);
  ImageBufferDescr d;
  EXPECT_EQ(dec.ReadData(nullptr, &d), -1);
  EXPECT_EQ(dec.Close(), 0);
  EXPECT_EQ(dec.Capability(), 1);
  EXPECT_EQ(dec.CapabilityForward(7), 1);
  const CodecInfo* info = dec.GetInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->words[0], 1u);
  EXPECT_EQ(info->words[1] | info->words[2] | info->words[3], 0u);
  EXPECT_STREQ(info->version, "v1.0 beta");
  EXPECT_STREQ(info->buildDate, "Jul 20 2015");
  EXPECT_STRNE(info->name, JPEG2000Decoder().GetInfo()->name);
  EXPECT_EQ(sink.records.size(), 0u);
}

TEST(Jp2Decoder, InitTwiceKeepsTheStateAndCloseForgetsIt) {
  const Bytes file = JP2(ImageHeaderBox());
  CMemBuffInput stream;
  stream.Open(file.data(), static_cast<std::uint32_t>(file.size()));
  JP2Decoder dec;
  ASSERT_EQ(dec.Init(), 0);
  ASSERT_EQ(dec.AttachStream(&stream), 0);
  EXPECT_EQ(dec.Init(), 0);  // the attached stream is still there
  ImageHeader h;
  ImageSampling s;
  EXPECT_EQ(dec.ReadHeader(&h, &s), 0);
  EXPECT_EQ(dec.Close(), 0);
  EXPECT_EQ(dec.ReadHeader(&h, &s), -1);
  EXPECT_EQ(dec.Close(), 0);
}

// --- ReadHeader ----------------------------------------------------------------------

TEST(Jp2Decoder, GeometryAndRangesComeFromTheCodestream) {
  SizParams p = Components({7, 0x8B, 15});
  p.xsiz = 2048;
  p.ysiz = 1080;
  p.xosiz = 8;
  p.xtsiz = 2048;
  p.ytsiz = 1080;
  p.xr = {1, 2, 1};
  p.yr = {1, 2, 1};
  Ihdr ih;
  ih.width = 1920;
  ih.height = 1080;
  ih.nc = 3;
  Session r(JP2(ImageHeaderBox(ih), codec_test::Minimal({}, p)));
  ASSERT_EQ(r.headerResult, 0);
  EXPECT_EQ(r.sampling.rect.x, 8u);
  EXPECT_EQ(r.sampling.rect.width, 2040u);
  EXPECT_EQ(r.sampling.rect.height, 1080u);
  ASSERT_EQ(r.sampling.count, 3u);
  EXPECT_EQ(r.sampling.factors[1].x, 2u);
  EXPECT_EQ(r.sampling.factors[1].y, 2u);
  ASSERT_EQ(r.header.ComponentCount(), 3u);
  EXPECT_EQ(r.header.components[0].maximum, 255);
  EXPECT_EQ(r.header.components[1].minimum, -2048);
  EXPECT_EQ(r.header.components[1].maximum, 2047);
  EXPECT_EQ(r.header.components[2].maximum, 65535);
  EXPECT_EQ(r.header.reserved[0] | r.header.reserved[1], 0u);
  // The image header's disagreements reach the sink, with codec id 3.
  ASSERT_EQ(r.sink.Codes(), (Codes{31, 32}));
  for (const Record& rec : r.sink.records) EXPECT_EQ(rec.codecId, 3);
  EXPECT_EQ(r.sink.records[0].text, "Codec::JP2Decoder::Warn_ImageSizeMismatchImageHeaderAndCodestreamBoxes");
}

TEST(Jp2Decoder, ColourSpaceCodes) {
  const struct {
    Bytes colr;
    std::int32_t code;
  } cases[] = {{ColourSpec(16), 3},   {ColourSpec(17), 1}, {ColourSpec(18), 10},   {ColourSpec(12), 11},
               {ColourSpec(0, 2), 0}, {ColourSpec(21), 0}, {ColourSpec(16, 7), 0}, {{}, 0}};
  for (const auto& c : cases) {
    Session r(JP2(Cat({ImageHeaderBox(), c.colr})));
    ASSERT_EQ(r.headerResult, 0);
    EXPECT_EQ(r.header.colourSpace, c.code);
  }
}

TEST(Jp2Decoder, PaletteAndMappingIntoTheCallersColourSpecification) {
  // Three channels: two from palette columns 1 and 0, one used directly.
  const Bytes pclr = Palette(3, {0x87, 0x0B}, {{0xFF, 0x0FFF}, {0x7F, 0}, {0x80, 0x0123}});
  Session r(JP2(Cat({ImageHeaderBox(), pclr, CompMapping({{0, 1, 1}, {0, 1, 0}, {0, 0, 0}})})));
  ASSERT_EQ(r.headerResult, 0);
  const ImageColourSpec& cs = r.header.colourSpec;
  ASSERT_EQ(cs.channelCount, 3u);
  ASSERT_EQ(cs.paletteColumnCount, 2u);
  ASSERT_EQ(cs.paletteEntryCount, 3u);
  EXPECT_EQ(cs.channelComponents[0], 0u);
  EXPECT_EQ(cs.channelDirect[0], 0);
  EXPECT_EQ(cs.channelPaletteColumns[0], 1u);
  EXPECT_EQ(cs.channelDirect[1], 0);
  EXPECT_EQ(cs.channelPaletteColumns[1], 0u);
  EXPECT_EQ(cs.channelDirect[2], 1);
  EXPECT_EQ(cs.palette[0][0], -1);
  EXPECT_EQ(cs.palette[0][1], 127);
  EXPECT_EQ(cs.palette[0][2], -128);
  EXPECT_EQ(cs.palette[1][0], 0x0FFF);
  EXPECT_EQ(cs.palette[1][2], 0x0123);
  EXPECT_EQ(cs.paletteRanges[0].minimum, -128);
  EXPECT_EQ(cs.paletteRanges[0].maximum, 127);
  EXPECT_EQ(cs.paletteRanges[1].minimum, 0);
  EXPECT_EQ(cs.paletteRanges[1].maximum, 4095);
  // The codestream's own component range is untouched by the palette.
  EXPECT_EQ(r.header.components[0].maximum, 255);
}

TEST(Jp2Decoder, ColourSpecificationNeedsBothBoxes) {
  const Bytes pclr = Palette(2, {7}, {{1}, {2}});
  // A palette without a component mapping, and a mapping without a palette: empty.
  Session r(JP2(Cat({ImageHeaderBox(), pclr})));
  ASSERT_EQ(r.headerResult, 0);
  const ImageColourSpec& cs = r.header.colourSpec;
  EXPECT_EQ(cs.channelCount | cs.paletteEntryCount | cs.paletteColumnCount, 0u);
  EXPECT_EQ(cs.palette, nullptr);
  EXPECT_EQ(cs.channelComponents, nullptr);
  Session m(JP2(Cat({ImageHeaderBox(), CompMapping({{0, 1, 0}})})));
  ASSERT_EQ(m.headerResult, 0);
  EXPECT_EQ(m.header.colourSpec.channelCount, 0u);

  // A header that held a colour description from an earlier file is emptied.
  const Bytes file = JP2(Cat({ImageHeaderBox(), pclr}));
  CMemBuffInput stream;
  stream.Open(file.data(), static_cast<std::uint32_t>(file.size()));
  JP2Decoder dec;
  ASSERT_EQ(dec.Init(), 0);
  ASSERT_EQ(dec.AttachStream(&stream), 0);
  ImageHeader header;
  ImageSampling sampling;
  ASSERT_EQ(header.colourSpec.Alloc(2, 1, 4), 0);
  ASSERT_EQ(dec.ReadHeader(&header, &sampling), 0);
  EXPECT_EQ(header.colourSpec.channelCount | header.colourSpec.paletteColumnCount, 0u);
  EXPECT_EQ(header.colourSpec.palette, nullptr);
  EXPECT_EQ(header.colourSpec.paletteRanges, nullptr);
}

TEST(Jp2Decoder, ComponentMappingOf300Channels) {
  std::vector<MapEntry> map;
  for (std::uint32_t i = 0; i < 300; ++i)
    map.push_back({0, static_cast<std::uint8_t>(i % 2), static_cast<std::uint8_t>(i % 3)});
  const Bytes pclr = Palette(2, {7, 7, 7}, {{10, 20, 30}, {11, 21, 31}});
  Session r(JP2(Cat({ImageHeaderBox(), pclr, CompMapping(map)})));
  ASSERT_EQ(r.headerResult, 0);
  const ImageColourSpec& cs = r.header.colourSpec;
  ASSERT_EQ(cs.channelCount, 300u);
  for (std::uint32_t i = 0; i < 300; ++i) {
    EXPECT_EQ(cs.channelComponents[i], 0u);
    EXPECT_EQ(cs.channelDirect[i], i % 2 == 1 ? 0 : 1) << i;
    if (i % 2 == 1) {
      EXPECT_EQ(cs.channelPaletteColumns[i], i % 3) << i;
    }
  }
  EXPECT_EQ(cs.palette[2][1], 31);
}

TEST(Jp2Decoder, MappingToAComponentTheCodestreamLacksIsRefused) {
  const Bytes pclr = Palette(1, {7}, {{5}});
  Session r(JP2(Cat({ImageHeaderBox(), pclr, CompMapping({{0, 1, 0}, {1, 0, 0}})})));
  EXPECT_EQ(r.headerResult, -1);
  EXPECT_EQ(r.header.colourSpec.channelCount, 0u);
  EXPECT_EQ(r.header.colourSpec.channelComponents, nullptr);
  // The same mapping over a two-component codestream is accepted.
  Ihdr two;
  two.nc = 2;
  Session ok(JP2(Cat({ImageHeaderBox(two), pclr, CompMapping({{0, 1, 0}, {1, 0, 0}})}),
                 EmptyCodestream(Components({7, 7}))));
  EXPECT_EQ(ok.headerResult, 0);
  EXPECT_EQ(ok.header.colourSpec.channelComponents[1], 1u);
}

TEST(Jp2Decoder, EmptyPaletteWithAMappingFailsWithoutAFurtherDiagnostic) {
  Session r(JP2(Cat({ImageHeaderBox(), Palette(0, {7}, {}), CompMapping({{0, 1, 0}})})));
  EXPECT_EQ(r.headerResult, -1);
  EXPECT_EQ(r.sink.Codes(), Codes{});  // the palette's own warning stays with the header records
  Session z(JP2(Cat({ImageHeaderBox(), Palette(1, {}, {{}}), CompMapping({{0, 1, 0}})})));
  EXPECT_EQ(z.headerResult, -1);
}

// --- Diagnostics ------------------------------------------------------------------------

TEST(Jp2Decoder, FileWithoutCodestreamBoxReportsCode48) {
  Session r(Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox())}));
  EXPECT_EQ(r.headerResult, -1);
  ASSERT_EQ(r.sink.records.size(), 1u);
  EXPECT_EQ(r.sink.records[0].codecId, 3);
  EXPECT_EQ(r.sink.records[0].code, 48u);
  EXPECT_EQ(r.sink.records[0].text, "<no text>");
}

TEST(Jp2Decoder, ExceptionsReachTheSinkOnceAsTheLastDiagnostic) {
  Session r(Cat({Signature(), FileType("jpx ", 1, {}), Box("jp2h", ImageHeaderBox())}));
  EXPECT_EQ(r.headerResult, -1);
  ASSERT_EQ(r.sink.Codes(), (Codes{29, 46}));
  EXPECT_EQ(r.sink.records[1].text, "Codec::JP2Decoder::Except_fileTypeBoxJP2Incompatible");
  // A codestream failure inside the codestream box: its own code and text, codec id 3.
  Bytes cs = EmptyCodestream();
  cs[2] = 0x00;  // SIZ marker broken
  Session c(JP2(ImageHeaderBox(), cs));
  EXPECT_EQ(c.headerResult, -1);
  ASSERT_FALSE(c.sink.records.empty());
  EXPECT_EQ(c.sink.records.back().codecId, 3);
  EXPECT_EQ(c.sink.records.back().text, "Codec::JPEG2000Decoder::Except_SIZNotFound");
}

TEST(Jp2Decoder, NothingReachesADetachedOrMissingSink) {
  Session r(Cat({Signature(), FileType("jpx ", 1, {})}), false);
  EXPECT_EQ(r.headerResult, -1);
  EXPECT_EQ(r.sink.records.size(), 0u);
  const Bytes noCodestream = Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox())});
  CMemBuffInput stream;
  stream.Open(noCodestream.data(), static_cast<std::uint32_t>(noCodestream.size()));
  JP2Decoder dec;
  RecordingSink sink;
  ASSERT_EQ(dec.Init(), 0);
  dec.AttachStream(&stream);
  dec.AttachDiagnOutput(&sink);
  dec.DetachDiagnOutput();
  ImageHeader h;
  ImageSampling s;
  EXPECT_EQ(dec.ReadHeader(&h, &s), -1);
  EXPECT_EQ(sink.records.size(), 0u);
}

TEST(Jp2Decoder, HeaderRecordWarningsStayInside) {
  // An unknown sub-box and a superfluous bits-per-component box: warned about
  // on the header records' own output only.
  Session r(JP2(Cat({ImageHeaderBox(), Box("cdef", {0, 0}), Box("bpcc", {7})})));
  EXPECT_EQ(r.headerResult, 0);
  EXPECT_EQ(r.sink.Codes(), Codes{});
}

// --- ReadData ----------------------------------------------------------------------------

TEST(Jp2Decoder, DecodesTheCodestreamInsideItsBox) {
  for (std::int32_t type : {kImageData32s, kImageData16s}) {
    Ihdr ih;
    ih.nc = 3;
    ih.bpc = 11;
    Session r(JP2(Cat({ImageHeaderBox(ih), ColourSpec(16)}), EmptyCodestream(Components({11, 11, 11}))));
    ASSERT_EQ(r.headerResult, 0);
    ASSERT_EQ(r.Data(type), 0) << (r.sink.records.empty() ? "" : r.sink.records.back().text);
    for (std::uint32_t c = 0; c < 3; ++c)
      for (std::uint32_t y = 0; y < 48; y += 7)
        for (std::uint32_t x = 0; x < 64; x += 5)
          ASSERT_EQ(r.Sample(c, x, y), 2048) << c << " " << x << " " << y;
    EXPECT_EQ(r.sink.Codes(), Codes{});
  }
}

TEST(Jp2Decoder, CodestreamBoxOfLengthZeroAndBoxesAfterTheCodestream) {
  const Bytes cs = EmptyCodestream();
  Session open(Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox()), RawBox(0, "jp2c", cs)}));
  ASSERT_EQ(open.headerResult, 0);
  EXPECT_EQ(open.Data(), 0);
  EXPECT_EQ(open.Sample(0, 63, 47), 128);
  Session after(
      Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox()), XBox("jp2c", cs), Box("xml ", {'x'})}));
  ASSERT_EQ(after.headerResult, 0);
  EXPECT_EQ(after.Data(), 0);
  EXPECT_EQ(after.Sample(0, 0, 0), 128);
}

TEST(Jp2Decoder, ReadDataChecksTheCallersImage) {
  // Data type 7: refused, planes untouched.
  Session r(JP2(ImageHeaderBox()));
  ASSERT_EQ(r.headerResult, 0);
  ASSERT_EQ(r.image.Alloc(kImageData32s, 0, r.sampling, 5, 1), 0);
  std::memset(r.image.planePointers[0], 0x5A, r.image.layout.PlaneSize(0));
  r.image.layout.dataType = 7;
  EXPECT_EQ(r.dec.ReadData(r.image.planePointers, &r.image.layout), -1);
  const auto* p = static_cast<const std::uint8_t*>(r.image.planePointers[0]);
  for (std::uint64_t i = 0; i < r.image.layout.PlaneSize(0); ++i) ASSERT_EQ(p[i], 0x5A) << i;

  // An interleaved layout, a missing plane, short rows, a different geometry:
  // each refused before anything is decoded.
  auto refuses = [](auto&& spoil) {
    Session q(JP2(ImageHeaderBox()));
    EXPECT_EQ(q.headerResult, 0);
    EXPECT_EQ(q.image.Alloc(kImageData32s, 0, q.sampling, 5, 1), 0);
    spoil(q.image);
    EXPECT_EQ(q.dec.ReadData(q.image.planePointers, &q.image.layout), -1);
    // Nothing was read: a good image decodes afterwards.
    ImageBuffer good;
    EXPECT_EQ(good.Alloc(kImageData32s, 0, q.sampling, 5, 1), 0);
    EXPECT_EQ(q.dec.ReadData(good.planePointers, &good.layout), 0);
  };
  refuses([](ImageBuffer& b) { b.layout.planeLayout = 1; });
  refuses([](ImageBuffer& b) { b.planePointers[0] = nullptr; });
  refuses([](ImageBuffer& b) { b.layout.rowSteps[0] = 16; });
  refuses([](ImageBuffer& b) { b.layout.sampling.rect.width = 65; });
  refuses([](ImageBuffer& b) { b.layout.sampling.factors[0].x = 2; });
  JP2Decoder none;
  ASSERT_EQ(none.Init(), 0);
  EXPECT_EQ(none.ReadData(nullptr, nullptr), -1);
}

// As in the codestream decoder: after a failed ReadHeader or ReadData every
// later one is refused at once and writes nothing, and with lent planes the
// samples are given once.
TEST(Jp2Decoder, AFailedReadIsFinalAndLentSamplesAreGivenOnce) {
  constexpr std::uint32_t kLentPlanesHoldSamples = 49, kEarlierReadFailed = 51;
  // A tile-part of tile 1 in a one-tile image: ReadData fails.
  Bytes cs = EmptyCodestream();
  const auto sot = std::search(cs.begin(), cs.end(), std::begin(kSot), std::end(kSot));
  ASSERT_NE(sot, cs.end());
  sot[5] = 1;
  Session r(JP2(ImageHeaderBox(), cs));
  ASSERT_EQ(r.headerResult, 0);
  EXPECT_EQ(r.Data(), -1);
  std::memset(r.image.planePointers[0], 0x5A, r.image.layout.PlaneSize(0));
  EXPECT_EQ(r.dec.ReadData(r.image.planePointers, &r.image.layout), -1);
  EXPECT_EQ(r.Sample(0, 0, 0), 0x5A5A5A5A);
  EXPECT_EQ(r.sink.Codes().back(), kEarlierReadFailed);

  // No codestream box: ReadHeader fails, and so does ReadData.
  Session none(Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox())}));
  ASSERT_EQ(none.headerResult, -1);
  ImageBufferDescr descr;
  EXPECT_EQ(none.dec.ReadData(nullptr, &descr), -1);
  EXPECT_EQ(none.sink.Codes(), Codes({kJp2NoCodestreamCode, kEarlierReadFailed}));

  Session lent(JP2(ImageHeaderBox()));
  lent.dec.LendCallerPlanes(true);
  ASSERT_EQ(lent.Data(), 0);
  EXPECT_EQ(lent.dec.ReadData(lent.image.planePointers, &lent.image.layout), -1);
  EXPECT_EQ(lent.sink.Codes(), Codes{kLentPlanesHoldSamples});
}

TEST(Jp2Decoder, ResetInputDetachesTheStream) {
  Session r(JP2(ImageHeaderBox()));
  ASSERT_EQ(r.headerResult, 0);
  EXPECT_EQ(r.dec.ResetInput(), 0);
  EXPECT_EQ(r.dec.ResetInput(), 0);
  // Without a stream, decoding fails with a diagnostic instead of reading.
  EXPECT_EQ(r.Data(), -1);
  ASSERT_FALSE(r.sink.records.empty());
  EXPECT_EQ(r.sink.records.back().text, "Codec::JPEG2000Decoder::Except_noDataToRead");
}

TEST(Jp2Decoder, TruncatedFilesFailCleanly) {
  const Bytes full =
      JP2(Cat({ImageHeaderBox(), ColourSpec(16), Palette(2, {7}, {{1}, {2}}), CompMapping({{0, 1, 0}})}));
  // The main header ends with the first SOT code, after which the header can be read.
  const std::size_t headerEnd = full.size() - EmptyCodestream().size() + codec_test::Minimal().size();
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    const Bytes part(full.begin(), full.begin() + cut);
    Session r(part);
    if (r.headerResult == 0) r.Data();
    if (cut < headerEnd) {
      EXPECT_NE(r.headerResult, 0) << cut;
    }
    for (const Record& rec : r.sink.records) EXPECT_EQ(rec.codecId, 3);
  }
}

TEST(Jp2Decoder, EverySingleByteCorruptionDecodesOrFailsCleanly) {
  Ihdr ih;
  ih.nc = 2;
  const Bytes full =
      JP2(Cat({ImageHeaderBox(ih), Box("bpcc", {7, 7}), ColourSpec(16),
               Palette(2, {0x87, 0x0B}, {{1, 2}, {3, 4}}), CompMapping({{0, 1, 0}, {1, 1, 1}, {0, 0, 0}}),
               Box("res ", Box("resc", Bytes(10, 1)))}),
          EmptyCodestream(Components({7, 7})));
  {
    Session whole(full);
    ASSERT_EQ(whole.headerResult, 0);
    ASSERT_EQ(whole.Data(), 0);
  }
  const std::uint8_t values[] = {0x00, 0x01, 0x07, 0x7F, 0x80, 0xFF};
  for (std::size_t i = 0; i < full.size(); ++i) {
    for (std::uint8_t v : values) {
      Bytes bad = full;
      bad[i] = v;
      Session r(bad);
      if (r.headerResult == 0) {
        // Whatever the header says must be consistent with what the caller gets.
        const ImageColourSpec& cs = r.header.colourSpec;
        for (std::uint32_t ch = 0; ch < cs.channelCount; ++ch) {
          ASSERT_LT(cs.channelComponents[ch], r.header.ComponentCount()) << i;
          if (!cs.channelDirect[ch]) {
            ASSERT_LT(cs.channelPaletteColumns[ch], cs.paletteColumnCount) << i;
          }
        }
        if (std::uint64_t{r.sampling.rect.width} * r.sampling.rect.height <= (1u << 20)) r.Data();
      }
      for (const Record& rec : r.sink.records) ASSERT_EQ(rec.codecId, 3) << i;
    }
  }
}
