// The reader against real track files written by other tools: essence types,
// every frame byte for byte against an independent demultiplexer's checksums,
// and the descriptor values independent tools report.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mxf/AS_DCP.h"
#include "tests/mxf/mxf_test_util.h"
#include "tests/support/testdata.h"

namespace {

using namespace mxftest;
using ASDCP::JP2K::MXFReader;
using ASDCP::JP2K::PictureDescriptor;

constexpr ASDCP::ui32_t kConverterBuffer = 1302083;

struct TypeCase {
  const char* file;
  ASDCP::EssenceType_t type;
};

TEST(RealFilesTest, EssenceTypeOfEveryFile) {
  const TypeCase cases[] = {
      {"mxf/smpte_dci_2k_picture.mxf", ASDCP::ESS_JPEG_2000},
      {"mxf/interop_dci_2k_picture.mxf", ASDCP::ESS_JPEG_2000},
      {"mxf/smpte_rgb8_picture.mxf", ASDCP::ESS_JPEG_2000},
      // Encrypted essence keeps its descriptors in clear.
      {"mxf/smpte_encrypted_picture.mxf", ASDCP::ESS_JPEG_2000},
      {"mxf/smpte_stereoscopic_picture.mxf", ASDCP::ESS_JPEG_2000_S},
      {"mxf/smpte_pcm_sound.mxf", ASDCP::ESS_PCM_24b_48k},
      {"mxf/timed_text.mxf", ASDCP::ESS_TIMED_TEXT},
      {"mxf/op1a_mpeg2_d10.mxf", ASDCP::ESS_MPEG2_VES},
      {"mxf/op1a_jpeg2000_422_10bit.mxf", ASDCP::ESS_JPEG_2000},
  };
  for (const TypeCase& c : cases) {
    REQUIRE_TESTDATA(path, c.file);
    ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
    const Kumu::Result_t r = ASDCP::EssenceType(path.c_str(), type);
    EXPECT_EQ(r, Kumu::RESULT_OK) << c.file << ": " << r.Symbol();
    EXPECT_EQ(type, c.type) << c.file;
  }
}

TEST(RealFilesTest, SoundAt96kHz) {
  // The sound file with its AudioSamplingRate (tag 3d03) changed from 48000/1 to 96000/1.
  REQUIRE_TESTDATA(path, "mxf/smpte_pcm_sound.mxf");
  Bytes b = ReadBytes(path);
  const std::uint8_t rate48k[] = {0x3d, 0x03, 0x00, 0x08, 0x00, 0x00, 0xbb, 0x80, 0x00, 0x00, 0x00, 0x01};
  std::size_t hits = 0;
  for (std::size_t i = 0; i + sizeof rate48k <= b.size(); ++i) {
    if (std::memcmp(&b[i], rate48k, sizeof rate48k) == 0) {
      b[i + 5] = 0x01;
      b[i + 6] = 0x77;
      b[i + 7] = 0x00;
      ++hits;
    }
  }
  ASSERT_EQ(hits, 1u);
  TempDir dir;
  const std::string copy = dir.File("sound96.mxf");
  WriteBytes(copy, b);
  ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
  ASSERT_EQ(ASDCP::EssenceType(copy.c_str(), type), Kumu::RESULT_OK);
  EXPECT_EQ(type, ASDCP::ESS_PCM_24b_96k);
}

TEST(RealFilesTest, EmptyMissingAndNonMxfFiles) {
  REQUIRE_TESTDATA(empty, "mxf/empty.mxf");
  ASDCP::EssenceType_t type = ASDCP::ESS_MPEG2_VES;
  EXPECT_EQ(ASDCP::EssenceType(empty.c_str(), type), Kumu::RESULT_ENDOFFILE);
  EXPECT_EQ(type, ASDCP::ESS_MPEG2_VES);  // untouched on failure
  MXFReader reader;
  EXPECT_EQ(reader.OpenRead(empty.c_str()), Kumu::RESULT_ENDOFFILE);

  const std::string missing = empty + ".does-not-exist";
  EXPECT_EQ(ASDCP::EssenceType(missing.c_str(), type), Kumu::RESULT_FILEOPEN);
  EXPECT_EQ(reader.OpenRead(missing.c_str()), Kumu::RESULT_FILEOPEN);
  EXPECT_EQ(ASDCP::EssenceType(nullptr, type), Kumu::RESULT_PTR);
  // A folder opens as a stream on some systems but cannot be read.
  const std::string folder = std::filesystem::path(empty).parent_path().string();
  EXPECT_EQ(ASDCP::EssenceType(folder.c_str(), type), Kumu::RESULT_FILEOPEN);
  EXPECT_EQ(reader.OpenRead(folder.c_str()), Kumu::RESULT_FILEOPEN);

  // A JPEG 2000 codestream is not an MXF file.
  REQUIRE_TESTDATA(j2c, "cinema/profile-cinema2k.j2c");
  EXPECT_EQ(ASDCP::EssenceType(j2c.c_str(), type), Kumu::RESULT_FAIL);
  EXPECT_EQ(reader.OpenRead(j2c.c_str()), Kumu::RESULT_FAIL);
}

// Reads every frame and compares size and MD5 with the checksum list.
void ExpectFramesMatch(const std::string& mxf, const std::string& sums_path) {
  const std::vector<FrameSum> sums = ReadFrameSums(sums_path);
  ASSERT_FALSE(sums.empty()) << sums_path;
  MXFReader reader;
  ASSERT_EQ(reader.OpenRead(mxf.c_str()), Kumu::RESULT_OK) << mxf;
  PictureDescriptor desc{};
  ASSERT_EQ(reader.FillPictureDescriptor(desc), Kumu::RESULT_OK);
  EXPECT_EQ(desc.ContainerDuration, sums.size());
  ASDCP::JP2K::FrameBuffer fb;
  ASSERT_TRUE(fb.Capacity(kConverterBuffer).Success());
  for (std::size_t i = 0; i < sums.size(); ++i) {
    const Kumu::Result_t r = reader.ReadFrame(static_cast<ASDCP::ui32_t>(i), fb);
    ASSERT_EQ(r, Kumu::RESULT_OK) << mxf << " frame " << i << ": " << r.Symbol();
    EXPECT_EQ(fb.Size(), sums[i].size) << "frame " << i;
    EXPECT_EQ(Md5Hex(fb.RoData(), fb.Size()), sums[i].md5) << "frame " << i;
    EXPECT_EQ(fb.FrameNumber(), i);
  }
  EXPECT_EQ(reader.ReadFrame(static_cast<ASDCP::ui32_t>(sums.size()), fb), ASDCP::RESULT_RANGE);
  EXPECT_EQ(reader.ReadFrame(0xffffffffu, fb), ASDCP::RESULT_RANGE);
  // Frames can be read in any order.
  ASSERT_EQ(reader.ReadFrame(static_cast<ASDCP::ui32_t>(sums.size() - 1), fb), Kumu::RESULT_OK);
  ASSERT_EQ(reader.ReadFrame(0, fb), Kumu::RESULT_OK);
  EXPECT_EQ(Md5Hex(fb.RoData(), fb.Size()), sums[0].md5);
}

TEST(RealFilesTest, SmpteFramesMatchChecksums) {
  REQUIRE_TESTDATA(mxf, "mxf/smpte_dci_2k_picture.mxf");
  REQUIRE_TESTDATA(sums, "mxf/smpte_dci_2k_picture.framemd5");
  ExpectFramesMatch(mxf, sums);
}

TEST(RealFilesTest, InteropFramesMatchChecksums) {
  REQUIRE_TESTDATA(mxf, "mxf/interop_dci_2k_picture.mxf");
  REQUIRE_TESTDATA(sums, "mxf/interop_dci_2k_picture.framemd5");
  ExpectFramesMatch(mxf, sums);
}

TEST(RealFilesTest, Rgb8FramesMatchChecksums) {
  REQUIRE_TESTDATA(mxf, "mxf/smpte_rgb8_picture.mxf");
  REQUIRE_TESTDATA(sums, "mxf/smpte_rgb8_picture.framemd5");
  ExpectFramesMatch(mxf, sums);
}

TEST(RealFilesTest, BroadcastOp1aFrameMatchesDemultiplexer) {
  REQUIRE_TESTDATA(mxf, "mxf/op1a_jpeg2000_422_10bit.mxf");
  MXFReader reader;
  ASSERT_EQ(reader.OpenRead(mxf.c_str()), Kumu::RESULT_OK);
  ASDCP::JP2K::FrameBuffer fb(kConverterBuffer);
  ASSERT_EQ(reader.ReadFrame(0, fb), Kumu::RESULT_OK);
  // Size and MD5 as ffmpeg's frame checksums give them for this file.
  EXPECT_EQ(fb.Size(), 17047u);
  EXPECT_EQ(Md5Hex(fb.RoData(), fb.Size()), "21aa16e34c5a025d541b2933a321d4ee");
  EXPECT_EQ(reader.ReadFrame(1, fb), ASDCP::RESULT_RANGE);
}

// Values as mediainfo, ffprobe and opj_dump (on the first frame) report them.
struct DescriptorCase {
  const char* file;
  ASDCP::Rational edit_rate;
  ASDCP::ui32_t duration, width, height;
  ASDCP::Rational aspect;
  ASDCP::ui16_t rsize;
  ASDCP::ui8_t bits;  // bit depth of every component
  ASDCP::ui8_t xr1;   // horizontal separation of components 1 and 2
  ASDCP::ui8_t mct, levels, cb, transformation;
};

TEST(RealFilesTest, DescriptorValues) {
  const DescriptorCase cases[] = {
      {"mxf/smpte_dci_2k_picture.mxf", {24, 1}, 24, 1998, 1080, {1998, 1080}, 3, 12, 1, 1, 5, 3, 0},
      {"mxf/interop_dci_2k_picture.mxf", {24, 1}, 24, 1998, 1080, {1998, 1080}, 3, 12, 1, 1, 5, 3, 0},
      {"mxf/smpte_rgb8_picture.mxf", {24, 1}, 24, 1998, 1080, {1998, 1080}, 3, 8, 1, 1, 5, 3, 0},
      {"mxf/smpte_encrypted_picture.mxf", {24, 1}, 24, 1998, 1080, {1998, 1080}, 3, 8, 1, 1, 5, 3, 0},
      {"mxf/op1a_jpeg2000_422_10bit.mxf", {24000, 1001}, 1, 1920, 1080, {16, 9}, 0x0307, 10, 2, 0, 5, 4, 1},
  };
  for (const DescriptorCase& c : cases) {
    REQUIRE_TESTDATA(path, c.file);
    SCOPED_TRACE(c.file);
    MXFReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
    PictureDescriptor d{};
    ASSERT_EQ(reader.FillPictureDescriptor(d), Kumu::RESULT_OK);
    EXPECT_EQ(d.EditRate, c.edit_rate);
    EXPECT_EQ(d.SampleRate, c.edit_rate);
    EXPECT_EQ(d.ContainerDuration, c.duration);
    EXPECT_EQ(d.StoredWidth, c.width);
    EXPECT_EQ(d.StoredHeight, c.height);
    EXPECT_EQ(d.AspectRatio, c.aspect);
    EXPECT_EQ(d.Rsize, c.rsize);
    EXPECT_EQ(d.Xsize, c.width);
    EXPECT_EQ(d.Ysize, c.height);
    EXPECT_EQ(d.XOsize, 0u);
    EXPECT_EQ(d.XTsize, c.width);
    EXPECT_EQ(d.YTsize, c.height);
    EXPECT_EQ(d.Csize, 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(d.ImageComponents[i].Ssize, c.bits - 1) << i;
      EXPECT_EQ(d.ImageComponents[i].XRsize, i == 0 ? 1 : c.xr1) << i;
      EXPECT_EQ(d.ImageComponents[i].YRsize, 1) << i;
    }
    const auto& cod = d.CodingStyleDefault;
    EXPECT_EQ(cod.Scod, 1);                    // precincts given
    EXPECT_EQ(cod.SGcod.ProgressionOrder, 4);  // CPRL
    EXPECT_EQ(cod.SGcod.NumberOfLayers[0], 0);
    EXPECT_EQ(cod.SGcod.NumberOfLayers[1], 1);
    EXPECT_EQ(cod.SGcod.MultiCompTransform, c.mct);
    EXPECT_EQ(cod.SPcod.DecompositionLevels, c.levels);
    EXPECT_EQ(cod.SPcod.CodeblockWidth, c.cb);
    EXPECT_EQ(cod.SPcod.CodeblockHeight, c.cb);
    EXPECT_EQ(cod.SPcod.CodeblockStyle, 0);
    EXPECT_EQ(cod.SPcod.Transformation, c.transformation);
    EXPECT_EQ(cod.SPcod.PrecinctSize[0], 0x77);
    EXPECT_EQ(cod.SPcod.PrecinctSize[1], 0x88);
    EXPECT_GT(d.QuantizationDefault.SPqcdLength, 0);
  }
}

TEST(RealFilesTest, DescriptorAgreesWithFirstCodestream) {
  // The JPEG 2000 sub-descriptor mirrors the first frame's SIZ, COD and QCD.
  REQUIRE_TESTDATA(mxf, "mxf/smpte_dci_2k_picture.mxf");
  MXFReader reader;
  ASSERT_EQ(reader.OpenRead(mxf.c_str()), Kumu::RESULT_OK);
  PictureDescriptor d{};
  ASSERT_EQ(reader.FillPictureDescriptor(d), Kumu::RESULT_OK);
  ASDCP::JP2K::FrameBuffer fb(kConverterBuffer);
  ASSERT_EQ(reader.ReadFrame(0, fb), Kumu::RESULT_OK);
  const ASDCP::byte_t* p = fb.RoData();
  ASSERT_EQ(p[0], 0xff);
  ASSERT_EQ(p[1], 0x4f);
  ASSERT_EQ(p[3], 0x51);  // SIZ follows SOC
  EXPECT_EQ((p[6] << 8) | p[7], d.Rsize);
  // Walk to COD and QCD and compare their bodies byte for byte.
  std::size_t at = 2;
  int found = 0;
  while (at + 4 <= fb.Size() && found < 2) {
    const int marker = (p[at] << 8) | p[at + 1];
    const std::size_t len = (p[at + 2] << 8) | p[at + 3];
    if (marker == 0xff90) break;
    if (marker == 0xff52) {
      ASSERT_LE(len - 2, sizeof d.CodingStyleDefault);
      EXPECT_EQ(std::memcmp(p + at + 4, &d.CodingStyleDefault, len - 2), 0);
      ++found;
    } else if (marker == 0xff5c) {
      EXPECT_EQ(p[at + 4], d.QuantizationDefault.Sqcd);
      EXPECT_EQ(len - 3, d.QuantizationDefault.SPqcdLength);
      EXPECT_EQ(std::memcmp(p + at + 5, d.QuantizationDefault.SPqcd, len - 3), 0);
      ++found;
    }
    at += 2 + len;
  }
  EXPECT_EQ(found, 2);
}

TEST(RealFilesTest, EncryptedFramesAreRefusedNotHandedOut) {
  REQUIRE_TESTDATA(mxf, "mxf/smpte_encrypted_picture.mxf");
  MXFReader reader;
  ASSERT_EQ(reader.OpenRead(mxf.c_str()), Kumu::RESULT_OK);
  PictureDescriptor d{};
  ASSERT_EQ(reader.FillPictureDescriptor(d), Kumu::RESULT_OK);
  ASSERT_EQ(d.ContainerDuration, 24u);
  ASDCP::JP2K::FrameBuffer fb(kConverterBuffer);
  for (ASDCP::ui32_t i = 0; i < d.ContainerDuration; ++i) {
    EXPECT_EQ(reader.ReadFrame(i, fb), ASDCP::RESULT_CRYPT_CTX) << i;
    EXPECT_EQ(fb.Size(), 0u);
  }
  EXPECT_EQ(reader.ReadFrame(24, fb), ASDCP::RESULT_RANGE);
}

TEST(RealFilesTest, OtherEssenceIsNotOpenedAsPicture) {
  struct Case {
    const char* file;
    Kumu::Result_t result;
  };
  const Case cases[] = {
      {"mxf/smpte_stereoscopic_picture.mxf", ASDCP::RESULT_SFORMAT},
      {"mxf/smpte_pcm_sound.mxf", ASDCP::RESULT_FORMAT},
      {"mxf/timed_text.mxf", ASDCP::RESULT_FORMAT},
      {"mxf/op1a_mpeg2_d10.mxf", ASDCP::RESULT_FORMAT},
  };
  for (const Case& c : cases) {
    REQUIRE_TESTDATA(path, c.file);
    MXFReader reader;
    EXPECT_EQ(reader.OpenRead(path.c_str()), c.result) << c.file;
    // A failed open leaves nothing open.
    PictureDescriptor d{};
    EXPECT_EQ(reader.FillPictureDescriptor(d), Kumu::RESULT_INIT) << c.file;
    ASDCP::JP2K::FrameBuffer fb(16);
    EXPECT_EQ(reader.ReadFrame(0, fb), Kumu::RESULT_INIT) << c.file;
    EXPECT_EQ(reader.Close(), Kumu::RESULT_INIT) << c.file;
  }
}

TEST(RealFilesTest, ReaderStateAndSmallBuffers) {
  REQUIRE_TESTDATA(mxf, "mxf/interop_dci_2k_picture.mxf");
  MXFReader reader;
  ASDCP::JP2K::FrameBuffer fb(kConverterBuffer);
  EXPECT_EQ(reader.ReadFrame(0, fb), Kumu::RESULT_INIT);
  ASSERT_EQ(reader.OpenRead(mxf.c_str()), Kumu::RESULT_OK);
  ASSERT_EQ(reader.ReadFrame(3, fb), Kumu::RESULT_OK);
  const ASDCP::ui32_t size = fb.Size();

  ASDCP::JP2K::FrameBuffer exact(size), small(size - 1), none;
  EXPECT_EQ(reader.ReadFrame(3, exact), Kumu::RESULT_OK);
  EXPECT_EQ(std::memcmp(exact.RoData(), fb.RoData(), size), 0);
  EXPECT_EQ(reader.ReadFrame(3, small), ASDCP::RESULT_SMALLBUF);
  EXPECT_EQ(reader.ReadFrame(3, none), ASDCP::RESULT_SMALLBUF);

  // Opening again replaces the open file; closing ends it.
  ASSERT_EQ(reader.OpenRead(mxf.c_str()), Kumu::RESULT_OK);
  EXPECT_EQ(reader.Close(), Kumu::RESULT_OK);
  EXPECT_EQ(reader.ReadFrame(0, fb), Kumu::RESULT_INIT);
}

}  // namespace
