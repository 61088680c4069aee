// The track-file writer, read back by the layer's reader and cross-checked
// with independent tools (ffmpeg, mediainfo) when they are installed; also the
// layouts the writer's options give: no index (frames found by a key scan),
// no random index pack, several index segments and essence beyond 4 GiB.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "mxf/AS_DCP.h"
#include "mxf/lookup_steps.h"
#include "mxf/writer.h"
#include "tests/mxf/mxf_test_util.h"
#include "tests/support/testdata.h"

namespace {

using namespace mxftest;
using ASDCP::JP2K::MXFReader;
using ASDCP::JP2K::PictureDescriptor;

std::vector<Bytes> SomeFrames(std::size_t count) {
  std::vector<Bytes> frames;
  for (std::size_t i = 0; i < count; ++i)
    frames.push_back(TinyCodestream(320, 240, 12, 100 + 37 * i, static_cast<std::uint8_t>(i)));
  return frames;
}

// Reads every frame back and compares; checks the frame count and RANGE after it.
void ExpectReadsBack(const std::string& path, const std::vector<Bytes>& frames) {
  MXFReader reader;
  ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK) << path;
  PictureDescriptor d{};
  ASSERT_EQ(reader.FillPictureDescriptor(d), Kumu::RESULT_OK);
  EXPECT_EQ(d.ContainerDuration, frames.size());
  ASDCP::JP2K::FrameBuffer fb(1302083);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    ASSERT_EQ(reader.ReadFrame(static_cast<ASDCP::ui32_t>(i), fb), Kumu::RESULT_OK) << i;
    ASSERT_EQ(Bytes(fb.RoData(), fb.RoData() + fb.Size()), frames[i]) << i;
  }
  EXPECT_EQ(reader.ReadFrame(static_cast<ASDCP::ui32_t>(frames.size()), fb), ASDCP::RESULT_RANGE);
}

TEST(WriterTest, SmpteAndInteropFilesReadBack) {
  TempDir dir;
  const std::vector<Bytes> frames = SomeFrames(7);
  for (bool interop : {false, true}) {
    mxfwrite::TrackFileOptions o;
    o.interop = interop;
    o.edit_rate = {48, 1};
    const std::string path = dir.File(interop ? "interop.mxf" : "smpte.mxf");
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
    ASSERT_EQ(ASDCP::EssenceType(path.c_str(), type), Kumu::RESULT_OK);
    EXPECT_EQ(type, ASDCP::ESS_JPEG_2000);
    ExpectReadsBack(path, frames);

    MXFReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
    PictureDescriptor d{};
    ASSERT_EQ(reader.FillPictureDescriptor(d), Kumu::RESULT_OK);
    EXPECT_EQ(d.EditRate, ASDCP::Rational(48, 1));
    EXPECT_EQ(d.SampleRate, ASDCP::Rational(48, 1));
    EXPECT_EQ(d.StoredWidth, 320u);
    EXPECT_EQ(d.StoredHeight, 240u);
    EXPECT_EQ(d.AspectRatio, ASDCP::Rational(320, 240));
    EXPECT_EQ(d.Xsize, 320u);
    EXPECT_EQ(d.YTsize, 240u);
    EXPECT_EQ(d.Csize, 3);
    EXPECT_EQ(d.ImageComponents[2].Ssize, 11);
    EXPECT_EQ(d.CodingStyleDefault.SPcod.DecompositionLevels, 5);
    EXPECT_EQ(d.CodingStyleDefault.SPcod.PrecinctSize[5], 0x88);
    EXPECT_EQ(d.QuantizationDefault.Sqcd, 0x42);
    EXPECT_EQ(d.QuantizationDefault.SPqcdLength, 32);
    EXPECT_EQ(d.QuantizationDefault.SPqcd[2], 0x71);
  }
}

TEST(WriterTest, SameInputsGiveTheSameFile) {
  TempDir dir;
  const std::vector<Bytes> frames = SomeFrames(3);
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(dir.File("a.mxf").c_str(), frames), Kumu::RESULT_OK);
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(dir.File("b.mxf").c_str(), frames), Kumu::RESULT_OK);
  EXPECT_EQ(ReadBytes(dir.File("a.mxf")), ReadBytes(dir.File("b.mxf")));
}

TEST(WriterTest, RefusesBadInput) {
  TempDir dir;
  const std::string path = dir.File("bad.mxf");
  EXPECT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), {}), Kumu::RESULT_PARAM);
  EXPECT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), {Bytes{1, 2, 3, 4}}), Kumu::RESULT_PARAM);
  mxfwrite::TrackFileOptions o;
  o.edit_rate = {0, 1};
  EXPECT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), SomeFrames(1), o), Kumu::RESULT_PARAM);
  EXPECT_EQ(mxfwrite::WriteJpeg2000TrackFile(dir.File("no/such/folder.mxf").c_str(), SomeFrames(1)),
            Kumu::RESULT_FILEOPEN);
}

TEST(WriterTest, LayoutsWithoutIndexOrRandomIndexPack) {
  TempDir dir;
  const std::vector<Bytes> frames = SomeFrames(9);
  for (bool interop : {false, true}) {
    for (int variant = 0; variant < 3; ++variant) {
      mxfwrite::TrackFileOptions o;
      o.interop = interop;
      o.write_index = variant != 1;  // 1: frames found by a key scan
      o.write_rip = variant == 1;    // 0, 2: partitions found through the footer chain
      if (variant == 2) o.write_index = false;
      const std::string path =
          dir.File(std::string("v").append(std::to_string(variant)).append(interop ? "i.mxf" : "s.mxf"));
      ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
      SCOPED_TRACE(path);
      ExpectReadsBack(path, frames);
    }
  }
}

TEST(WriterTest, PartitionsFoundByWalkingTheFile) {
  // No random index pack and no footer offset in the header: the reader walks
  // the file to find the body and footer partitions.
  TempDir dir;
  const std::vector<Bytes> frames = SomeFrames(6);
  for (bool interop : {false, true}) {
    mxfwrite::TrackFileOptions o;
    o.interop = interop;
    o.write_rip = false;
    const std::string path = dir.File("walk.mxf");
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    Bytes b = ReadBytes(path);
    ASSERT_EQ(b[16], 0x83);
    for (int i = 0; i < 8; ++i) b[20 + 24 + i] = 0;  // FooterPartition of the header partition pack
    WriteBytes(path, b);
    ExpectReadsBack(path, frames);
  }
}

TEST(WriterTest, HeaderByteCountRunningIntoTheEssence) {
  // A file whose HeaderByteCount also counts the key of what follows the
  // metadata (Interop: the first frame; SMPTE: the body partition pack): the
  // metadata ends where that begins.
  TempDir dir;
  const std::vector<Bytes> frames = SomeFrames(3);
  for (bool interop : {true, false}) {
    mxfwrite::TrackFileOptions o;
    o.interop = interop;
    const std::string path = dir.File("overrun.mxf");
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    Bytes b = ReadBytes(path);
    std::uint64_t count = 0;
    for (int i = 0; i < 8; ++i) count = (count << 8) | b[20 + 32 + i];
    count += 20;
    for (int i = 7; i >= 0; --i, count >>= 8)
      b[20 + 32 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(count);
    WriteBytes(path, b);
    ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
    EXPECT_EQ(ASDCP::EssenceType(path.c_str(), type), Kumu::RESULT_OK) << interop;
    EXPECT_EQ(type, ASDCP::ESS_JPEG_2000) << interop;
  }
}

TEST(WriterTest, ManyFramesSpanSeveralIndexSegments) {
  TempDir dir;
  std::vector<Bytes> frames;
  frames.push_back(TinyCodestream(64, 32, 8, 10));
  for (std::size_t i = 1; i < 12001; ++i) {
    Bytes f(8 + i % 13);
    for (std::size_t k = 0; k < f.size(); ++k) f[k] = static_cast<std::uint8_t>(i >> (k % 3 * 4));
    frames.push_back(std::move(f));
  }
  const std::string path = dir.File("long.mxf");
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames), Kumu::RESULT_OK);
  ExpectReadsBack(path, frames);
}

TEST(WriterTest, MissingContainerDurationComesFromTheIndex) {
  TempDir dir;
  const std::vector<Bytes> frames = SomeFrames(5);
  for (bool index : {true, false}) {
    mxfwrite::TrackFileOptions o;
    o.write_index = index;
    const std::string path = dir.File("nodur.mxf");
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    // Turn the descriptor's ContainerDuration (tag 3002) into a dark property.
    Bytes b = ReadBytes(path);
    const std::uint8_t prop[] = {0x30, 0x02, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 5};
    std::size_t hits = 0;
    for (std::size_t i = 0; i + sizeof prop <= b.size(); ++i) {
      if (std::memcmp(&b[i], prop, sizeof prop) == 0) {
        b[i] = 0x7f;
        ++hits;
      }
    }
    ASSERT_EQ(hits, 1u);
    WriteBytes(path, b);
    ExpectReadsBack(path, frames);
  }
}

TEST(WriterTest, CodingParametersFromTheFirstFrameWithoutSubDescriptor) {
  TempDir dir;
  const std::vector<Bytes> frames = SomeFrames(4);
  const std::string path = dir.File("nosub.mxf");
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames), Kumu::RESULT_OK);
  // Make the JPEG 2000 sub-descriptor an unknown (dark) set.
  Bytes b = ReadBytes(path);
  const std::uint8_t key[] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01,
                              0x0d, 0x01, 0x01, 0x01, 0x01, 0x01, 0x5a, 0x00};
  std::size_t hits = 0;
  for (std::size_t i = 0; i + sizeof key <= b.size(); ++i) {
    if (std::memcmp(&b[i], key, sizeof key) == 0) {
      b[i + 14] = 0x7e;
      ++hits;
    }
  }
  ASSERT_EQ(hits, 1u);
  WriteBytes(path, b);
  ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
  ASSERT_EQ(ASDCP::EssenceType(path.c_str(), type), Kumu::RESULT_OK);
  EXPECT_EQ(type, ASDCP::ESS_JPEG_2000);  // the descriptor's container label says JPEG 2000
  ExpectReadsBack(path, frames);
  MXFReader reader;
  ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
  PictureDescriptor d{};
  ASSERT_EQ(reader.FillPictureDescriptor(d), Kumu::RESULT_OK);
  EXPECT_EQ(d.Xsize, 320u);
  EXPECT_EQ(d.Csize, 3);
  EXPECT_EQ(d.ImageComponents[0].Ssize, 11);
  EXPECT_EQ(d.CodingStyleDefault.SGcod.ProgressionOrder, 4);
  EXPECT_EQ(d.QuantizationDefault.SPqcdLength, 32);
}

TEST(WriterTest, EssenceBeyondFourGibibytes) {
  TempDir dir;
  const std::vector<Bytes> frames = SomeFrames(6);
  mxfwrite::TrackFileOptions o;
  o.gap_before_body = (std::uint64_t{5} << 30) + 12345;  // a hole: the essence starts past 5 GiB
  const std::string path = dir.File("big.mxf");
  const Kumu::Result_t w = mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o);
  if (w.Failure()) GTEST_SKIP() << "cannot write a sparse 5 GiB file here: " << w.Symbol();
  ASSERT_GT(std::filesystem::file_size(path), std::uint64_t{5} << 30);
  ExpectReadsBack(path, frames);
  // Also without the random index pack or the index.
  o.write_rip = false;
  o.write_index = false;
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
  ExpectReadsBack(path, frames);
}

// ---------------------------------------------------------------------------
// Independent tools

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<Bytes> RealCodestreams() {
  // Real codestreams when the shared data is there, else tiny ones.
  const std::string j2c = testDataPath("cinema/profile-cinema2k.j2c");
  if (j2c.empty()) return SomeFrames(3);
  const Bytes one = ReadBytes(j2c);
  return {one, one, one};
}

TEST(WriterToolTest, FfmpegExtractsTheSameFrames) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  TempDir dir;
  const std::vector<Bytes> frames = RealCodestreams();
  for (bool interop : {false, true}) {
    mxfwrite::TrackFileOptions o;
    o.interop = interop;
    const std::string path = dir.File("tool.mxf");
    const std::string sums = dir.File("tool.framemd5");
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    const std::string cmd =
        "ffmpeg -nostdin -v error -i '" + path + "' -map 0:v -c copy -f framemd5 -y '" + sums + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::vector<FrameSum> listed = ReadFrameSums(sums);
    ASSERT_EQ(listed.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(listed[i].size, frames[i].size());
      EXPECT_EQ(listed[i].md5, Md5Hex(frames[i].data(), frames[i].size()));
    }
  }
}

TEST(WriterToolTest, MediainfoSeesAnOpAtomJpeg2000TrackFile) {
  if (!HaveTool("mediainfo")) GTEST_SKIP() << "mediainfo is not installed";
  TempDir dir;
  const std::vector<Bytes> frames = RealCodestreams();
  const std::string path = dir.File("tool.mxf");
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames), Kumu::RESULT_OK);
  const std::string out = dir.File("mediainfo.txt");
  const std::string cmd = "mediainfo '" + path + "' > '" + out + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string text = Slurp(out);
  EXPECT_NE(text.find("OP-Atom"), std::string::npos) << text;
  EXPECT_NE(text.find("Closed / Complete"), std::string::npos) << text;
  EXPECT_NE(text.find("JPEG 2000"), std::string::npos) << text;
  const std::size_t wrapping = text.find("wrapping mode");
  ASSERT_NE(wrapping, std::string::npos) << text;
  EXPECT_EQ(text.substr(wrapping, text.find('\n', wrapping) - wrapping).find("Frame") != std::string::npos,
            true)
      << text;
}

TEST(WriterToolTest, ReadsFfmpegRewrappedFiles) {
  // ffmpeg's own layouts: OP1a with system items, fill and KAG 512, and OP-Atom
  // with every frame in one KLV; neither has a JPEG 2000 sub-descriptor or a
  // container duration.
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  TempDir dir;
  const std::vector<Bytes> frames = RealCodestreams();
  const std::string source = dir.File("source.mxf");
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(source.c_str(), frames), Kumu::RESULT_OK);
  for (const char* format : {"mxf", "mxf_opatom"}) {
    const std::string path = dir.File(std::string(format) + ".mxf");
    const std::string cmd =
        "ffmpeg -nostdin -v error -i '" + source + "' -c:v copy -f " + format + " -y '" + path + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    SCOPED_TRACE(format);
    ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
    ASSERT_EQ(ASDCP::EssenceType(path.c_str(), type), Kumu::RESULT_OK);
    EXPECT_EQ(type, ASDCP::ESS_JPEG_2000);
    ExpectReadsBack(path, frames);
  }
}

}  // namespace

TEST(WriterTest, LargestFrameSizeFromTheIndex) {
  TempDir dir;
  std::vector<Bytes> frames = SomeFrames(5);
  frames[2] = TinyCodestream(320, 240, 12, 9000, 7);  // the largest, in the middle
  for (bool interop : {false, true}) {
    mxfwrite::TrackFileOptions o;
    o.interop = interop;
    const std::string path = dir.File(interop ? "interop.mxf" : "smpte.mxf");
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    MXFReader reader;
    ASDCP::ui32_t size = 1;
    EXPECT_EQ(reader.LargestFrameSize(size), Kumu::RESULT_INIT);
    ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
    ASSERT_EQ(reader.LargestFrameSize(size), Kumu::RESULT_OK);
    // The frame's KLV: 16 bytes of key and 4 of length before the codestream.
    EXPECT_EQ(size, frames[2].size() + 20) << path;
    // Without an index there is nothing to tell.
    o.write_index = false;
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
    EXPECT_EQ(reader.LargestFrameSize(size), Kumu::RESULT_FALSE);
    EXPECT_EQ(size, 0u);
  }
}

TEST(WriterTest, LookupsGrowWithTheIndexAndThePartitionsNotTheirProduct) {
  // 20,000 frames behind 2,000 body partitions without essence, found through
  // the random index pack or the partition chain: the largest frame takes
  // one walk over the index entries and the partitions, and a frame read two
  // binary searches, where a search of every partition for each entry would
  // look 40 million times.
  TempDir dir;
  std::vector<Bytes> frames{TinyCodestream(64, 32, 8, 40)};
  for (std::size_t i = 1; i < 20000; ++i) frames.emplace_back(8 + i % 13, static_cast<std::uint8_t>(i));
  for (bool rip : {true, false}) {
    mxfwrite::TrackFileOptions o;
    o.empty_partitions = 2000;
    o.write_rip = rip;
    const std::string path = dir.File("partitions.mxf");
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    ExpectReadsBack(path, frames);
    MXFReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
    std::uint64_t before = mxf_internal::LookupSteps();
    ASDCP::ui32_t size = 0;
    ASSERT_EQ(reader.LargestFrameSize(size), Kumu::RESULT_OK);
    EXPECT_EQ(size, frames[0].size() + 20);  // the first frame's KLV
    EXPECT_LE(mxf_internal::LookupSteps() - before, 2u * (20000 + 2002 + 4));
    before = mxf_internal::LookupSteps();
    ASDCP::JP2K::FrameBuffer fb(4096);
    for (ASDCP::ui32_t n : {0u, 1u, 9999u, 19999u}) {
      ASSERT_EQ(reader.ReadFrame(n, fb), Kumu::RESULT_OK);
      EXPECT_EQ(Bytes(fb.RoData(), fb.RoData() + fb.Size()), frames[n]);
    }
    // Four segments and one partition with essence: a few steps a frame.
    EXPECT_LE(mxf_internal::LookupSteps() - before, 4u * 8);
  }
}

TEST(WriterTest, ConstantSizeIndexIsBoundedByTheEssence) {
  // Frames of one size under a constant-size index read back; an edit-unit
  // size far beyond the file bounds no frame beyond the essence it has.
  TempDir dir;
  const std::vector<Bytes> frames(5, TinyCodestream(320, 240, 12, 300));
  const ASDCP::ui32_t klv = static_cast<ASDCP::ui32_t>(frames[0].size() + 20);
  const std::string path = dir.File("constant.mxf");
  mxfwrite::TrackFileOptions o;
  o.constant_edit_unit_bytes = klv;
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
  ExpectReadsBack(path, frames);
  MXFReader reader;
  ASDCP::ui32_t size = 0;
  ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
  ASSERT_EQ(reader.LargestFrameSize(size), Kumu::RESULT_OK);
  EXPECT_EQ(size, klv);
  o.constant_edit_unit_bytes = 256u << 20;
  ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
  ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
  ASSERT_EQ(reader.LargestFrameSize(size), Kumu::RESULT_OK);
  EXPECT_EQ(size, 5 * klv);  // the whole essence, in one partition
  ASDCP::JP2K::FrameBuffer fb(size);
  EXPECT_EQ(reader.ReadFrame(0, fb), Kumu::RESULT_OK);
  EXPECT_EQ(reader.ReadFrame(1, fb), Kumu::RESULT_BADSEEK);  // 256 MiB into a small stream
}
