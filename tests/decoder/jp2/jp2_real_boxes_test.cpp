// JP2 box reader over real files made by other tools: the part-one JP2 files
// with what their boxes say (as an independent box dump lists them), and every
// file of the assorted damaged set, which must fail cleanly or read through.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decoder/jp2/jp2_boxes.h"
#include "tests/decoder/jp2/jp2_builder.h"
#include "tests/support/testdata.h"

using namespace Codec;
using namespace jp2_test;
using Codes = std::vector<std::uint32_t>;

namespace {

struct Expected {
  const char* name;
  std::uint32_t width, height;
  std::uint16_t nc;
  std::uint8_t bpc;
  std::uint32_t method, enumCS;
  std::uint16_t paletteEntries;
  std::uint8_t paletteColumns;
  std::uint16_t channels;
  Codes top;      // the decoder's output
  Codes records;  // the header records' output
};

// Codes: 0 unknown sub-box, 2 box longer than its reading, 6 extra colour
// box, 13 unknown enumerated colour space, 22 not enumerated,
// 28 unexpected box ignored; from the codestream, which shares the
// output: 22 comment marker, 38 unknown capabilities (Rsiz).
const Expected kFiles[] = {
    // An "xml " box before and after the header box.
    {"partone/file1.jp2", 768, 512, 3, 7, 1, 16, 0, 0, 0, {28, 28, 38}, {}},
    // A channel definition box, which this reader does not know.
    {"partone/file2.jp2", 480, 640, 3, 7, 1, 18, 0, 0, 0, {38}, {0, 2}},
    {"partone/file3.jp2", 480, 640, 3, 7, 1, 18, 0, 0, 0, {38}, {}},
    {"partone/file4.jp2", 768, 512, 1, 7, 1, 17, 0, 0, 0, {38}, {}},
    // Brand "jpx " with "jp2 " second of four entries (the two after it are
    // left unread), a reader requirements box, an ICC profile followed by an
    // enumerated colour space this reader does not know.
    {"partone/file5.jp2", 768, 512, 3, 7, 1, 21, 0, 0, 0, {2, 28, 38}, {2, 6, 13}},
    {"partone/file6.jp2", 768, 512, 1, 11, 1, 17, 0, 0, 0, {38}, {}},
    {"partone/file7.jp2", 480, 640, 3, 15, 1, 20, 0, 0, 0, {2, 28, 38}, {2, 6, 13}},
    // An ICC profile only.
    {"partone/file8.jp2", 700, 400, 1, 7, 2, 17, 0, 0, 0, {28, 38, 22}, {2, 22}},
    // A palette of 256 entries in three 8-bit columns and a mapping of three channels.
    {"partone/file9.jp2", 768, 512, 1, 7, 1, 16, 256, 3, 3, {38}, {}},
    // A UUID box after the header box.
    {"partone/subsampling_1.jp2", 1280, 1024, 3, 7, 1, 18, 0, 0, 0, {28, 22}, {}},
    {"partone/subsampling_2.jp2", 1280, 1024, 3, 7, 1, 16, 0, 0, 0, {28, 22}, {}},
    {"partone/zoo2.jp2", 3906, 2602, 3, 7, 1, 16, 0, 0, 0, {28, 22}, {}},
};

}  // namespace

TEST(Jp2RealBoxes, PartOneFiles) {
  for (const Expected& e : kFiles) {
    const std::string path = testDataPath(e.name);
    if (path.empty()) GTEST_SKIP() << "test data " << e.name << " is absent";
    const Bytes file = codec_test::ReadFile(path);
    Reader r;
    const Pass p = r.Run(file);
    SCOPED_TRACE(e.name);
    EXPECT_FALSE(p.failed) << p.exceptionCode;
    EXPECT_TRUE(p.mainHeaderRead);
    EXPECT_EQ(p.top, e.top);
    EXPECT_EQ(p.records, e.records);
    const Jp2HeaderRecords& h = r.records;
    EXPECT_EQ(h.imageHeader.width, e.width);
    EXPECT_EQ(h.imageHeader.height, e.height);
    EXPECT_EQ(h.imageHeader.componentCount, e.nc);
    EXPECT_EQ(h.imageHeader.bitsPerComponent, e.bpc);
    EXPECT_EQ(h.colourSpec.method, e.method);
    EXPECT_EQ(h.colourSpec.enumCS, e.enumCS);
    EXPECT_EQ(h.palette.entryCount, e.paletteEntries);
    EXPECT_EQ(h.palette.columnCount, e.paletteColumns);
    EXPECT_EQ(h.mapping.channelCount, e.channels);
    // The codestream agrees with the image header (no codes 30 to 33 above).
    EXPECT_EQ(r.codestream.componentCount, e.nc);
  }
}

TEST(Jp2RealBoxes, PaletteOfFile9) {
  REQUIRE_TESTDATA(path, "partone/file9.jp2");
  const Bytes file = codec_test::ReadFile(path);
  Reader r;
  ASSERT_FALSE(r.Run(file).failed);
  // The palette as the file holds it: rows of three bytes after NE, NPC and
  // the three size bytes, at the start of the "pclr" content.
  std::size_t at = 0;
  for (std::size_t i = 0; i + 4 <= file.size(); ++i)
    if (file[i] == 'p' && file[i + 1] == 'c' && file[i + 2] == 'l' && file[i + 3] == 'r') {
      at = i + 4 + 6;
      break;
    }
  ASSERT_GT(at, 0u);
  const Jp2Palette& pal = r.records.palette;
  for (std::uint32_t e = 0; e < 256; ++e)
    for (std::uint32_t c = 0; c < 3; ++c) ASSERT_EQ(pal.Entry(c, e), file[at + 3 * e + c]) << e << " " << c;
  for (std::uint32_t ch = 0; ch < 3; ++ch) {
    EXPECT_EQ(r.records.mapping.channels[ch].component, 0u);
    EXPECT_EQ(r.records.mapping.channels[ch].paletteColumn, ch);
    EXPECT_TRUE(r.records.mapping.channels[ch].paletteMapped);
  }
}

TEST(Jp2RealBoxes, AssortedFilesFailCleanlyOrReadThrough) {
  const std::string dir = testDataPath("assorted");
  if (dir.empty()) GTEST_SKIP() << "test data assorted/ is absent";
  std::size_t files = 0, jp2 = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const Bytes file = codec_test::ReadFile(entry.path().string());
    if (file.size() > 0xFFFFFFFFu) continue;
    ++files;
    Reader r;
    const Pass p = r.Run(file);
    const std::string name = entry.path().filename().string();
    if (!p.failed || p.exceptionCode < 43 || p.exceptionCode > 44) ++jp2;
    for (std::uint32_t c : p.top) EXPECT_LE(c, 83u) << name;
    if (p.failed) {
      ASSERT_FALSE(p.top.empty()) << name;
      EXPECT_EQ(p.top.back(), p.exceptionCode) << name;
    }
  }
  EXPECT_GT(files, 0u);
  EXPECT_GT(jp2, 10u);  // the set holds many JP2 files; most pass the signature
}
