// JP2 box reader: hand-made files for each box diagnostic, box framing with
// plain, extended and open-ended lengths, the sub-boxes of the header box and
// the consistency checks, and truncated and hostile files.
#include "decoder/jp2/jp2_boxes.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/decoder/jp2/jp2_builder.h"

using namespace Codec;
using namespace jp2_test;
using Codes = std::vector<std::uint32_t>;

namespace {

enum : std::uint32_t {
  kUnknownSubBox = 0,
  kUnknownResSubBox = 1,
  kLengthBelow = 2,
  kLengthExceeds = 3,
  kExtraPalette = 4,
  kExtraMapping = 5,
  kExtraColour = 6,
  kExtraBpcc = 7,
  kExtraCapture = 8,
  kExtraDisplay = 9,
  kIhdrDepth = 10,
  kIhdrUnkC = 11,
  kUnknownMeth = 12,
  kUnknownEnumCS = 13,
  kPaletteDepth = 14,
  kBpccDepth = 15,
  kPaletteZero = 16,
  kPaletteMany = 17,
  kColumnExceeds = 18,
  kNonPaletteMapping = 19,
  kSuperfluousBpcc = 20,
  kChannelsMismatch = 21,
  kNotEnumerated = 22,
  kPaletteAbsent = 23,
  kMappingAbsent = 24,
  kBpccMismatchIhdr = 25,
  kUnknownUuid = 26,
  kUnexpectedBox = 28,
  kMinorVersion = 29,
  kNcMismatch = 30,
  kSizeMismatch = 31,
  kBpcMismatchCs = 32,
  kBpccMismatchCs = 33,
  kBadLBox = 35,
  kBadXLBox = 36,
  kTooLong = 37,
  kIhdrNotFound = 38,
  kIhdrSize = 39,
  kIhdrNc = 40,
  kIhdrCompression = 41,
  kSignatureNotFound = 43,
  kSignatureNotRight = 44,
  kFileTypeNotFound = 45,
  kIncompatible = 46,
  kHeaderNotFound = 47,
  kNoData = 82,
};

Pass Read(const Bytes& file) {
  Reader r;
  return r.Run(file);
}

}  // namespace

// --- A well-formed file ----------------------------------------------------------

TEST(Jp2Boxes, WellFormedFileReadsToTheCodestreamWithoutDiagnostics) {
  Reader r;
  const Bytes cs = Codestream();
  const Pass p = r.Run(File(Cat({ImageHeaderBox(), ColourSpec(17)}), cs));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_TRUE(p.codestreamFound);
  EXPECT_TRUE(p.mainHeaderRead);
  EXPECT_EQ(p.top, Codes{});
  EXPECT_EQ(p.records, Codes{});
  EXPECT_EQ(p.remainingAtCodestream, cs.size());
  EXPECT_TRUE(r.boxOpen);
  EXPECT_EQ(r.records.imageHeader.width, 64u);
  EXPECT_EQ(r.records.imageHeader.height, 48u);
  EXPECT_EQ(r.records.imageHeader.componentCount, 1u);
  EXPECT_EQ(r.records.imageHeader.bitsPerComponent, 7u);
  EXPECT_TRUE(r.records.imageHeader.bpcUniform);
  EXPECT_FALSE(r.records.colourSpec.notRead);
  EXPECT_EQ(r.records.colourSpec.method, 1u);
  EXPECT_EQ(r.records.colourSpec.enumCS, 17u);
  EXPECT_TRUE(r.records.palette.notRead);
  EXPECT_TRUE(r.records.mapping.notRead);
  EXPECT_TRUE(r.records.bitsPerComp.notRead);
  EXPECT_EQ(r.codestream.image.width, 64u);
}

TEST(Jp2Boxes, InitialRecords) {
  const Jp2HeaderRecords r;
  EXPECT_EQ(r.imageHeader.width, 0u);
  EXPECT_FALSE(r.imageHeader.bpcUniform);
  EXPECT_TRUE(r.colourSpec.notRead);
  EXPECT_EQ(r.colourSpec.method, 0u);
  EXPECT_EQ(r.colourSpec.enumCS, 17u);
  EXPECT_TRUE(r.resolution.captureNotRead);
  EXPECT_EQ(r.resolution.capture.verticalDen, 1u);
  EXPECT_EQ(r.resolution.display.horizontalDen, 1u);
  EXPECT_EQ(r.resolution.display.horizontalNum, 0u);
}

// --- Signature and file type -----------------------------------------------------

TEST(Jp2Boxes, SignatureBox) {
  EXPECT_EQ(Read(Cat({Box("jP2 ", {0x0D, 0x0A, 0x87, 0x0A}), FileType()})).exceptionCode, kSignatureNotFound);
  EXPECT_EQ(Read(Cat({Box("jP  ", {0x0D, 0x0A, 0x87, 0x0B}), FileType()})).exceptionCode, kSignatureNotRight);
  // A raw codestream is no JP2 file.
  EXPECT_EQ(Read(Codestream()).exceptionCode, kSignatureNotFound);
  // A signature box too short for its content runs past its end.
  EXPECT_EQ(Read(Cat({Box("jP  ", {0x0D, 0x0A}), FileType()})).exceptionCode, kNoData);
  // One byte more than the signature: read on, the rest skipped and warned about.
  const Pass p = Read(Cat({Box("jP  ", {0x0D, 0x0A, 0x87, 0x0A, 0}), FileType(),
                           Box("jp2h", ImageHeaderBox()), Box("jp2c", Codestream())}));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_EQ(p.top, Codes{kLengthBelow});
  EXPECT_EQ(Read({}).exceptionCode, kNoData);
}

TEST(Jp2Boxes, SecondBoxMustBeTheFileType) {
  const Pass p = Read(Cat({Signature(), Box("jp2h", ImageHeaderBox()), Box("jp2c", Codestream())}));
  EXPECT_TRUE(p.failed);
  EXPECT_EQ(p.exceptionCode, kFileTypeNotFound);
  EXPECT_EQ(p.top, Codes{kFileTypeNotFound});  // the exception reaches the sink
}

TEST(Jp2Boxes, FileTypeBrandAndCompatibilityList) {
  const Bytes rest = Cat({Box("jp2h", ImageHeaderBox()), Box("jp2c", Codestream())});
  // Brand "jpx " with "jp2 " second in the list: accepted.
  Pass p = Read(Cat({Signature(), FileType("jpx ", 0, {"jpx ", "jp2 "}), rest}));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_EQ(p.top, Codes{});
  // Without a "jp2 " entry: refused.
  EXPECT_EQ(Read(Cat({Signature(), FileType("jpx ", 0, {"jpx ", "jpxb"}), rest})).exceptionCode,
            kIncompatible);
  EXPECT_EQ(Read(Cat({Signature(), FileType("jpx ", 0, {}), rest})).exceptionCode, kIncompatible);
  // Brand "jp2 " alone is enough.
  p = Read(Cat({Signature(), FileType("jp2 ", 0, {}), rest}));
  EXPECT_FALSE(p.failed);
  // A nonzero minor version only warns.
  p = Read(Cat({Signature(), FileType("jp2 ", 3, {"jp2 "}), rest}));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.top, Codes{kMinorVersion});
  // A file type box without a brand runs past its end.
  EXPECT_EQ(Read(Cat({Signature(), Box("ftyp", {}), rest})).exceptionCode, kNoData);
  // Entries after the "jp2 " one are not read: closing the box skips them.
  p = Read(Cat({Signature(), FileType("jpx ", 0, {"jp2 ", "jpx "}), rest}));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.top, Codes{kLengthBelow});
}

// --- Box framing -------------------------------------------------------------------

TEST(Jp2Boxes, BadBoxLengths) {
  for (std::uint32_t lbox = 2; lbox <= 7; ++lbox) {
    EXPECT_EQ(Read(Cat({RawBox(lbox, "jP  ", {0x0D, 0x0A, 0x87, 0x0A})})).exceptionCode, kBadLBox) << lbox;
  }
  // LBox 1 with XLBox 12.
  Builder b;
  b.u32(1).bytes(Type("jP  ")).u32(0).u32(12).u32(0x0D0A870A);
  EXPECT_EQ(Read(b.b).exceptionCode, kBadXLBox);
  // An extended length whose content is beyond 32 bits.
  Builder big;
  big.u32(1).bytes(Type("jP  ")).u32(1).u32(16).u32(0x0D0A870A);
  EXPECT_EQ(Read(big.b).exceptionCode, kTooLong);
  // The largest 32-bit content is accepted (and cut to the file).
  Builder edge;
  edge.u32(1).bytes(Type("jP  ")).u32(1).u32(15).u32(0x0D0A870A);
  const Pass p = Read(edge.b);
  EXPECT_NE(p.exceptionCode, kTooLong);
  EXPECT_EQ(p.top.front(), kLengthExceeds);
}

TEST(Jp2Boxes, ExtendedLengthsAreReadLikePlainOnes) {
  const Bytes file =
      Cat({XBox("jP  ", {0x0D, 0x0A, 0x87, 0x0A}), XBox("ftyp", Bytes{'j', 'p', '2', ' ', 0, 0, 0, 0}),
           XBox("jp2h", Cat({XBox("ihdr", Bytes{0, 0, 0, 48, 0, 0, 0, 64, 0, 1, 7, 7, 0, 0})})),
           XBox("jp2c", Codestream())});
  Reader r;
  const Pass p = r.Run(file);
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_TRUE(p.mainHeaderRead);
  EXPECT_EQ(p.top, Codes{});
  EXPECT_EQ(r.records.imageHeader.width, 64u);
}

TEST(Jp2Boxes, CodestreamBoxOfLengthZeroRunsToTheEndOfTheFile) {
  const Bytes cs = Codestream();
  const Bytes tail = {1, 2, 3};
  Reader r;
  const Pass p =
      r.Run(Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox()), RawBox(0, "jp2c", cs), tail}));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_TRUE(p.codestreamFound);
  EXPECT_EQ(p.remainingAtCodestream, cs.size() + tail.size());
}

TEST(Jp2Boxes, BoxLongerThanItsContainerIsCutAndWarned) {
  // A codestream box claiming 100 bytes more than the file has.
  const Bytes cs = Codestream();
  Reader r;
  const Pass p = r.Run(Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox()),
                            RawBox(static_cast<std::uint32_t>(cs.size() + 108), "jp2c", cs)}));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_EQ(p.top, Codes{kLengthExceeds});
  EXPECT_EQ(p.remainingAtCodestream, cs.size());
  // A sub-box claiming more than its super-box: cut, warned on the records' output.
  const Bytes colr = ColourSpec(17);
  Bytes longColr = colr;
  longColr[3] += 10;
  const Pass q = Read(File(Cat({ImageHeaderBox(), longColr})));
  EXPECT_FALSE(q.failed) << q.exceptionCode;
  EXPECT_EQ(q.records, Codes{kLengthExceeds});
}

TEST(Jp2Boxes, BoxesBeforeTheHeaderBox) {
  // An "xml " box between the file type and header boxes is ignored with a warning.
  Pass p = Read(Cat({Signature(), FileType(), Box("xml ", {'<', 'a', '/', '>'}),
                     Box("jp2h", ImageHeaderBox()), Box("jp2c", Codestream())}));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.top, Codes{kUnexpectedBox});
  // An unknown UUID box there is read by the UUID reader, quietly for the caller.
  Bytes unknownUuid(20, 0x11);
  Reader r;
  p = r.Run(Cat({Signature(), FileType(), Box("uuid", unknownUuid), Box("jp2h", ImageHeaderBox()),
                 Box("jp2c", Codestream())}));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.top, Codes{});
  EXPECT_EQ(p.uuid, Codes{kUnknownUuid});
  EXPECT_EQ(r.uuid.length, 0u);
  // The kept UUID: its payload is read whole.
  Bytes kept(std::begin(kKeptUuid), std::end(kKeptUuid));
  const Bytes payload = {9, 8, 7, 6, 5};
  kept.insert(kept.end(), payload.begin(), payload.end());
  Reader k;
  p = k.Run(Cat({Signature(), FileType(), Box("uuid", kept), Box("jp2h", ImageHeaderBox()),
                 Box("jp2c", Codestream())}));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.uuid, Codes{});
  ASSERT_EQ(k.uuid.length, payload.size());
  EXPECT_EQ(Bytes(k.uuid.buffer.Data(), k.uuid.buffer.Data() + k.uuid.length), payload);
  // A kept UUID box claiming far more than the file: the payload is what the file holds.
  Bytes hugeKept(std::begin(kKeptUuid), std::end(kKeptUuid));
  hugeKept.push_back(42);
  Reader h;
  p = h.Run(Cat({Signature(), FileType(), RawBox(0xFFFFFFF0u, "uuid", hugeKept)}));
  EXPECT_EQ(p.exceptionCode, kHeaderNotFound);
  EXPECT_EQ(h.uuid.length, 1u);
}

TEST(Jp2Boxes, MissingHeaderOrCodestreamBox) {
  EXPECT_EQ(Read(Cat({Signature(), FileType()})).exceptionCode, kHeaderNotFound);
  EXPECT_EQ(Read(Cat({Signature(), FileType(), Box("xml ", {})})).exceptionCode, kHeaderNotFound);
  // The file ends after the header box: no codestream box, no exception.
  Pass p = Read(Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox())}));
  EXPECT_FALSE(p.failed);
  EXPECT_FALSE(p.codestreamFound);
  // Boxes after the header box that are not a codestream box are ignored with a warning.
  p = Read(Cat(
      {Signature(), FileType(), Box("jp2h", ImageHeaderBox()), Box("uuid", Bytes(16, 0)), Box("xml ", {})}));
  EXPECT_FALSE(p.failed);
  EXPECT_FALSE(p.codestreamFound);
  EXPECT_EQ(p.top, (Codes{kUnexpectedBox, kUnexpectedBox}));
}

TEST(Jp2Boxes, CodestreamSearchClosesTheOpenBoxFirst) {
  const Bytes cs = Codestream();
  const Bytes file = Cat({Signature(), FileType(), Box("jp2h", ImageHeaderBox()),
                          Box("jp2c", Cat({cs, {1, 2, 3}})), Box("xml ", {}), Box("jp2c", cs)});
  Reader r;
  const Pass p = r.Run(file);
  ASSERT_TRUE(p.mainHeaderRead);
  ASSERT_EQ(p.top, Codes{});
  // The main header left the rest of the first codestream unread: closing the
  // box skips it with a warning, then the second codestream box is found.
  EXPECT_TRUE(ReadCodestreamBox(r.input, r.adapter, r.boxOpen));
  EXPECT_EQ(r.sink.Codes(), (Codes{kLengthBelow, kUnexpectedBox}));
  EXPECT_EQ(r.input.Remaining(), cs.size());
  r.input.SkipBytes(r.input.Remaining());
  EXPECT_FALSE(ReadCodestreamBox(r.input, r.adapter, r.boxOpen));
  EXPECT_FALSE(r.boxOpen);
}

// --- Image header ------------------------------------------------------------------

TEST(Jp2Boxes, ImageHeaderBox) {
  auto run = [](const Ihdr& h) { return Read(File(ImageHeaderBox(h))); };
  Ihdr h;
  h.c = 0;
  EXPECT_EQ(run(h).exceptionCode, kIhdrCompression);
  h = {};
  h.width = 0;
  EXPECT_EQ(run(h).exceptionCode, kIhdrSize);
  h = {};
  h.height = 0x80000000u;  // not above 0 as a signed value
  EXPECT_EQ(run(h).exceptionCode, kIhdrSize);
  h = {};
  h.nc = 0;
  EXPECT_EQ(run(h).exceptionCode, kIhdrNc);
  h = {};
  h.bpc = 38;
  Pass p = run(h);
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.records, Codes{kIhdrDepth});
  EXPECT_EQ(p.top, Codes{kBpcMismatchCs});
  h = {};
  h.bpc = 255;  // varies: no depth check
  h.unkc = 1;
  p = run(h);
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.records, Codes{kIhdrUnkC});
  EXPECT_EQ(p.top, Codes{});
  // The first box of the header box must be the image header.
  EXPECT_EQ(Read(File(Cat({ColourSpec(), ImageHeaderBox()}))).exceptionCode, kIhdrNotFound);
  EXPECT_EQ(Read(File({})).exceptionCode, kIhdrNotFound);
  // An image header box too short for its fields.
  EXPECT_EQ(Read(File(Box("ihdr", Bytes{0, 0, 0, 48, 0, 0, 0, 64, 0, 1, 7, 7, 0}))).exceptionCode, kNoData);
  // One longer than its fields: the rest is skipped and warned about.
  p = Read(File(Box("ihdr", Cat({Bytes{0, 0, 0, 48, 0, 0, 0, 64, 0, 1, 7, 7, 0, 0}, Bytes{0, 0}}))));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.records, Codes{kLengthBelow});
}

// --- Sub-boxes ---------------------------------------------------------------------

TEST(Jp2Boxes, UnknownSubBoxesAreSkippedAndWarnedAboutOnTheRecordsOutput) {
  const Pass p = Read(SimpleFile(Box("cdef", {0, 1, 0, 0, 0, 0})));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.top, Codes{});
  EXPECT_EQ(p.records, (Codes{kUnknownSubBox, kLengthBelow}));
  const Pass q = Read(SimpleFile(Box("cdef", {})));
  EXPECT_EQ(q.records, Codes{kUnknownSubBox});
}

TEST(Jp2Boxes, ColourSpecificationMethods) {
  Reader r;
  // Two colour boxes: the second counts.
  Pass p = r.Run(File(Cat({ImageHeaderBox(), ColourSpec(16), ColourSpec(17)})));
  EXPECT_EQ(p.records, Codes{kExtraColour});
  EXPECT_EQ(r.records.colourSpec.enumCS, 17u);
  // Unknown enumerated colour space: kept.
  Reader u;
  p = u.Run(File(Cat({ImageHeaderBox(), ColourSpec(99)})));
  EXPECT_EQ(p.records, Codes{kUnknownEnumCS});
  EXPECT_EQ(u.records.colourSpec.enumCS, 99u);
  EXPECT_FALSE(u.records.colourSpec.notRead);
  // ICC profile: counts as read, the profile is skipped (and warned about
  // when the box closes), and the channel check reports the method.
  Reader i;
  p = i.Run(File(Cat({ImageHeaderBox(), ColourSpec(0, 2)})));
  EXPECT_EQ(p.records, (Codes{kLengthBelow, kNotEnumerated}));
  EXPECT_EQ(i.records.colourSpec.method, 2u);
  EXPECT_FALSE(i.records.colourSpec.notRead);
  // Unknown method: not read, EnumCS back to 17, no "extra" warning for a later box.
  Reader m;
  p = m.Run(File(Cat({ImageHeaderBox(), ColourSpec(16), ColourSpec(0, 5)})));
  EXPECT_EQ(p.records, (Codes{kExtraColour, kUnknownMeth, kLengthBelow}));
  EXPECT_TRUE(m.records.colourSpec.notRead);
  EXPECT_EQ(m.records.colourSpec.enumCS, 17u);
  EXPECT_EQ(m.records.colourSpec.method, 5u);
  p = Read(File(Cat({ImageHeaderBox(), ColourSpec(0, 5), ColourSpec(16)})));
  EXPECT_EQ(p.records, (Codes{kUnknownMeth, kLengthBelow}));
}

TEST(Jp2Boxes, BitsPerComponentBox) {
  Ihdr varies;
  varies.nc = 2;
  varies.bpc = 255;
  Reader r;
  Pass p = r.Run(File(Cat({ImageHeaderBox(varies), Box("bpcc", {0x07, 0x8B})})));
  EXPECT_EQ(p.records, Codes{});
  ASSERT_EQ(r.records.bitsPerComp.depths.Count(), 2u);
  EXPECT_EQ(r.records.bitsPerComp.depths[1], 0x8B);
  // Against the one-component codestream: count, and the first component's depth.
  EXPECT_EQ(p.top, (Codes{kNcMismatch}));
  // Uniform depth with a bits-per-component box that agrees: superfluous, twice.
  Ihdr two;
  two.nc = 2;
  p = Read(File(Cat({ImageHeaderBox(two), Box("bpcc", {7, 7})})));
  EXPECT_EQ(p.records, (Codes{kSuperfluousBpcc, kSuperfluousBpcc}));
  // ... and one that disagrees.
  p = Read(File(Cat({ImageHeaderBox(two), Box("bpcc", {7, 8})})));
  EXPECT_EQ(p.records, (Codes{kSuperfluousBpcc, kBpccMismatchIhdr}));
  // Depth fields above 37, and a second box.
  p = Read(File(Cat({ImageHeaderBox(varies), Box("bpcc", {38, 0xA6}), Box("bpcc", {7, 7})})));
  EXPECT_EQ(p.records, (Codes{kBpccDepth, kBpccDepth, kExtraBpcc}));
  // A box shorter than the component count.
  EXPECT_EQ(Read(File(Cat({ImageHeaderBox(varies), Box("bpcc", {7})}))).exceptionCode, kNoData);
}

TEST(Jp2Boxes, PaletteEntriesAndSignExtension) {
  Reader r;
  // Columns: signed 8-bit, signed 12-bit, unsigned 16-bit, unsigned 1-bit.
  const Bytes pclr = Palette(3, {0x87, 0x8B, 0x0F, 0x00},
                             {{0xFF, 0x0FFF, 0xFFFF, 1}, {0x7F, 0x07FF, 0x1234, 0}, {0x80, 0x0800, 0, 1}});
  const Pass p = r.Run(File(Cat({ImageHeaderBox(), pclr, CompMapping({{0, 1, 0}})})));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_EQ(p.records, Codes{});
  const Jp2Palette& pal = r.records.palette;
  ASSERT_EQ(pal.entryCount, 3u);
  ASSERT_EQ(pal.columnCount, 4u);
  EXPECT_EQ(pal.Entry(0, 0), -1);
  EXPECT_EQ(pal.Entry(0, 1), 127);
  EXPECT_EQ(pal.Entry(0, 2), -128);
  EXPECT_EQ(pal.Entry(1, 0), -1);
  EXPECT_EQ(pal.Entry(1, 1), 2047);
  EXPECT_EQ(pal.Entry(1, 2), -2048);
  EXPECT_EQ(pal.Entry(2, 0), 0xFFFF);
  EXPECT_EQ(pal.Entry(2, 1), 0x1234);
  EXPECT_EQ(pal.Entry(3, 0), 1);
  EXPECT_EQ(pal.Entry(3, 2), 1);
}

TEST(Jp2Boxes, PaletteDepthsBeyond64BitsAreBoundedBeforeTheSignExtension) {
  // Field 127 (128-bit signed): 16 bytes per entry, the upper 8 dropped.
  Builder b;
  b.u16(2).u8(2).u8(0xFF).u8(0xBF);  // columns: signed field 127, signed field 63
  for (int k = 0; k < 8; ++k) b.u8(0x55);
  for (int k = 0; k < 8; ++k) b.u8(0xFF);                 // entry 0, column 0: low 64 bits all ones
  for (int k = 0; k < 8; ++k) b.u8(0x80 >> (k ? 8 : 0));  // column 1: 0x80 00 .. 00
  for (int k = 0; k < 8; ++k) b.u8(0);
  for (int k = 0; k < 7; ++k) b.u8(0);
  b.u8(5);  // entry 1, column 0: 5
  for (int k = 0; k < 7; ++k) b.u8(0);
  b.u8(9);  // column 1: 9
  Reader r;
  const Pass p = r.Run(File(Cat({ImageHeaderBox(), Box("pclr", b.b)})));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_EQ(p.records, (Codes{kPaletteDepth, kPaletteDepth, kMappingAbsent}));
  EXPECT_EQ(r.records.palette.Entry(0, 0), -1);
  EXPECT_EQ(r.records.palette.Entry(1, 0), INT64_MIN);
  EXPECT_EQ(r.records.palette.Entry(0, 1), 5);
  EXPECT_EQ(r.records.palette.Entry(1, 1), 9);
}

TEST(Jp2Boxes, PaletteEntryCounts) {
  // 2000 entries: warned about, all read.
  std::vector<std::vector<std::uint64_t>> rows;
  for (std::uint32_t e = 0; e < 2000; ++e) rows.push_back({e & 0xFF});
  Reader r;
  Pass p = r.Run(File(Cat({ImageHeaderBox(), Palette(2000, {7}, rows), CompMapping({{0, 1, 0}})})));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_EQ(p.records, Codes{kPaletteMany});
  EXPECT_EQ(r.records.palette.Entry(0, 1999), 1999 & 0xFF);
  // Zero entries: warned about.
  p = Read(File(Cat({ImageHeaderBox(), Palette(0, {7}, {}), CompMapping({{0, 1, 0}})})));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.records, Codes{kPaletteZero});
  // A second palette replaces the first.
  Reader s;
  p = s.Run(File(Cat({ImageHeaderBox(), Palette(1, {7}, {{1}}), Palette(2, {7, 7}, {{3, 4}, {5, 6}})})));
  EXPECT_EQ(p.records, (Codes{kExtraPalette, kMappingAbsent}));
  EXPECT_EQ(s.records.palette.columnCount, 2u);
  EXPECT_EQ(s.records.palette.Entry(1, 1), 6);
}

TEST(Jp2Boxes, PaletteClaimingMoreThanItsBoxIsRefusedBeforeAllocation) {
  // 65535 entries of 255 columns of 16 bytes each in a box of a few bytes.
  Builder b;
  b.u16(65535).u8(255);
  for (int c = 0; c < 255; ++c) b.u8(0x7F);
  b.u8(1).u8(2);
  Reader r;
  const Pass p = r.Run(File(Cat({ImageHeaderBox(), Box("pclr", b.b)})));
  EXPECT_EQ(p.exceptionCode, kNoData);
  EXPECT_TRUE(r.records.palette.entries.Empty());
}

TEST(Jp2Boxes, ComponentMappingAndPaletteChecks) {
  const Bytes pclr = Palette(2, {7, 7}, {{1, 2}, {3, 4}});
  // Both boxes: each channel checked against the palette.
  Reader r;
  // The column is checked before the mapping type.
  Pass p = r.Run(File(
      Cat({ImageHeaderBox(), pclr, CompMapping({{0, 1, 0}, {0, 1, 1}, {0, 1, 2}, {0, 0, 0}, {0, 0, 5}})})));
  EXPECT_EQ(p.records, (Codes{kColumnExceeds, kNonPaletteMapping, kColumnExceeds}));
  ASSERT_EQ(r.records.mapping.channelCount, 5u);
  EXPECT_TRUE(r.records.mapping.channels[0].paletteMapped);
  EXPECT_TRUE(r.records.mapping.channels[1].paletteMapped);
  EXPECT_FALSE(r.records.mapping.channels[2].paletteMapped);
  EXPECT_FALSE(r.records.mapping.channels[3].paletteMapped);
  // Only one of the two.
  Reader m;
  p = m.Run(File(Cat({ImageHeaderBox(), CompMapping({{0, 1, 0}})})));
  EXPECT_EQ(p.records, Codes{kPaletteAbsent});
  EXPECT_FALSE(m.records.mapping.channels[0].paletteMapped);
  p = Read(File(Cat({ImageHeaderBox(), pclr})));
  EXPECT_EQ(p.records, Codes{kMappingAbsent});
  // A second mapping replaces the first.
  Reader s;
  p = s.Run(
      File(Cat({ImageHeaderBox(), pclr, CompMapping({{0, 1, 0}}), CompMapping({{0, 1, 1}, {0, 1, 0}})})));
  EXPECT_EQ(p.records, Codes{kExtraMapping});
  EXPECT_EQ(s.records.mapping.channelCount, 2u);
  EXPECT_EQ(s.records.mapping.channels[0].paletteColumn, 1u);
  // The channel count is the content length over 4; a remainder is skipped.
  Reader t;
  p = t.Run(File(Cat({ImageHeaderBox(), pclr, Box("cmap", {0, 0, 1, 1, 0, 0})})));
  EXPECT_EQ(p.records, Codes{kLengthBelow});
  EXPECT_EQ(t.records.mapping.channelCount, 1u);
}

TEST(Jp2Boxes, ChannelCountAgainstTheColourSpace) {
  const Bytes pclr = Palette(1, {7, 7, 7, 7}, {{1, 2, 3, 4}});
  auto map = [](std::size_t n) {
    std::vector<MapEntry> e;
    for (std::size_t i = 0; i < n; ++i) e.push_back({0, 1, static_cast<std::uint8_t>(i)});
    return CompMapping(e);
  };
  const struct {
    std::uint32_t enumCS;
    std::size_t good, bad;
  } cases[] = {{12, 4, 3}, {16, 3, 4}, {18, 3, 1}, {17, 1, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(Read(File(Cat({ImageHeaderBox(), pclr, map(c.good), ColourSpec(c.enumCS)}))).records, Codes{})
        << c.enumCS;
    EXPECT_EQ(Read(File(Cat({ImageHeaderBox(), pclr, map(c.bad), ColourSpec(c.enumCS)}))).records,
              Codes{kChannelsMismatch})
        << c.enumCS;
  }
  // Other colour spaces are not checked.
  EXPECT_EQ(Read(File(Cat({ImageHeaderBox(), pclr, map(2), ColourSpec(20)}))).records, Codes{kUnknownEnumCS});
}

TEST(Jp2Boxes, ResolutionBox) {
  Builder rec;
  rec.u16(300).u16(1).u16(600).u16(2).u8(3).u8(0xFE);
  Reader r;
  Pass p = r.Run(SimpleFile(Box("res ", Cat({Box("resc", rec.b), Box("resd", rec.b), Box("resx", {})}))));
  EXPECT_FALSE(p.failed) << p.exceptionCode;
  EXPECT_EQ(p.records, Codes{kUnknownResSubBox});
  EXPECT_EQ(r.records.resolution.capture.verticalNum, 300u);
  EXPECT_EQ(r.records.resolution.capture.horizontalNum, 600u);
  EXPECT_EQ(r.records.resolution.capture.horizontalDen, 2u);
  EXPECT_EQ(r.records.resolution.display.horizontalExp, 0xFE);
  EXPECT_FALSE(r.records.resolution.displayNotRead);
  p = Read(SimpleFile(
      Box("res ", Cat({Box("resc", rec.b), Box("resc", rec.b), Box("resd", rec.b), Box("resd", rec.b)}))));
  EXPECT_EQ(p.records, (Codes{kExtraCapture, kExtraDisplay}));
  // A record too short for its fields.
  EXPECT_EQ(Read(SimpleFile(Box("res ", Box("resc", Bytes(9, 0))))).exceptionCode, kNoData);
}

// --- Against the codestream ----------------------------------------------------------

TEST(Jp2Boxes, CodestreamCheck) {
  codec_test::SizParams wide;
  wide.xsiz = 2048;
  wide.ysiz = 1080;
  wide.xtsiz = 2048;
  wide.ytsiz = 1080;
  Ihdr hd;
  hd.width = 1920;
  hd.height = 1080;
  Pass p = Read(File(ImageHeaderBox(hd), Codestream(wide)));
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.top, Codes{kSizeMismatch});  // reaches the caller, reading goes on
  EXPECT_TRUE(p.mainHeaderRead);
  // Image offsets: the size compared is Xsiz - XOsiz.
  codec_test::SizParams off;
  off.xsiz = 74;
  off.xosiz = 10;
  off.xtsiz = 74;
  EXPECT_EQ(Read(File(ImageHeaderBox(), Codestream(off))).top, Codes{});
  // Component count and depths.
  codec_test::SizParams three;
  three.ssiz = {7, 11, 7};
  three.xr = {1, 1, 1};
  three.yr = {1, 1, 1};
  Ihdr h3;
  h3.nc = 3;
  p = Read(File(ImageHeaderBox(h3), Codestream(three)));
  EXPECT_EQ(p.top, Codes{kBpcMismatchCs});
  h3.bpc = 255;
  p = Read(File(Cat({ImageHeaderBox(h3), Box("bpcc", {7, 11, 8})}), Codestream(three)));
  EXPECT_EQ(p.top, Codes{kBpccMismatchCs});
  p = Read(File(Cat({ImageHeaderBox(h3), Box("bpcc", {7, 11, 7})}), Codestream(three)));
  EXPECT_EQ(p.top, Codes{});
  // More bits-per-component entries than codestream components: the smaller count is compared.
  Ihdr h4;
  h4.nc = 4;
  h4.bpc = 255;
  p = Read(File(Cat({ImageHeaderBox(h4), Box("bpcc", {7, 11, 7, 0})}), Codestream(three)));
  EXPECT_EQ(p.top, Codes{kNcMismatch});
}

// --- Hostile files ---------------------------------------------------------------------

TEST(Jp2Boxes, EveryTruncationFailsOrStopsCleanly) {
  const Bytes pclr = Palette(2, {7, 0x8B}, {{1, 2}, {3, 4}});
  const Bytes full =
      Cat({Signature(), FileType(), Box("xml ", {'x'}),
           Box("jp2h", Cat({ImageHeaderBox(), Box("bpcc", {7}), ColourSpec(16), pclr,
                            CompMapping({{0, 1, 0}}), Box("res ", Box("resc", Bytes(10, 1)))})),
           Box("uuid", Bytes(20, 3)), Box("jp2c", Codestream())});
  ASSERT_FALSE(Read(full).failed);
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    const Bytes part(full.begin(), full.begin() + cut);
    const Pass p = Read(part);
    EXPECT_TRUE(p.failed || !p.mainHeaderRead) << cut;
    if (p.failed) {
      ASSERT_FALSE(p.top.empty()) << cut;
      EXPECT_EQ(p.top.back(), p.exceptionCode) << cut;
    }
  }
}

TEST(Jp2Boxes, EverySingleByteCorruptionIsHandled) {
  const Bytes full =
      Cat({Signature(), FileType(),
           Box("jp2h", Cat({ImageHeaderBox(), ColourSpec(16), Palette(2, {7, 0x8B}, {{1, 2}, {3, 4}}),
                            CompMapping({{0, 1, 0}}), Box("res ", Box("resd", Bytes(10, 1)))})),
           Box("jp2c", Codestream())});
  const std::uint8_t values[] = {0x00, 0x01, 0x07, 0x7F, 0x80, 0xFF};
  for (std::size_t i = 0; i < full.size(); ++i) {
    for (std::uint8_t v : values) {
      Bytes bad = full;
      bad[i] = v;
      const Pass p = Read(bad);
      for (std::uint32_t c : p.top) EXPECT_LE(c, 83u) << i;
    }
  }
}
