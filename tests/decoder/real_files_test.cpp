// Real codestreams made by other tools: the older part-1 streams against
// their reference images and an independent decoder, the five progression
// orders of one image, the digital-cinema frames against Debian's
// opj_decompress and FFmpeg's decoder, every processor generation, and the
// damaged files, which must fail cleanly.  Each also with the caller's planes
// lent (the converter's configuration), which must give the same samples and
// the same failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "primitives/core/test_hooks.h"
#include "tests/decoder/decode_helpers.h"
#include "tests/support/generations.h"
#include "tests/support/testdata.h"

namespace {

using codec_test::Component;
using codec_test::Decoded;
using codec_test::Planes;

// Decodes `bytes` as Decode does, with the caller's planes lent, and expects
// what `own` (decoded with planes of the decoder's own) got.
void ExpectSameWhenLent(const std::vector<std::uint8_t>& bytes, const Decoded& own, const std::string& what,
                        std::int32_t type = Codec::kImageData32s,
                        std::uint64_t maxSamples = codec_test::kAnySize) {
  Decoded lent;
  codec_test::Decode(bytes, lent, type, maxSamples, Planes::kLent);
  EXPECT_EQ(lent.headerResult, own.headerResult) << what;
  EXPECT_EQ(lent.dataResult, own.dataResult) << what;
  EXPECT_EQ(lent.sink.texts, own.sink.texts) << what;
  EXPECT_TRUE(lent.components == own.components) << what << ": other samples with lent planes";
}

void ExpectSame(const std::vector<Component>& got, const std::vector<Component>& want, std::int64_t peak,
                double mse, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t c = 0; c < got.size(); ++c) {
    ASSERT_EQ(got[c].width, want[c].width) << what << " component " << c;
    ASSERT_EQ(got[c].height, want[c].height) << what << " component " << c;
    const codec_test::ErrorStats e = codec_test::Compare(got[c], want[c]);
    EXPECT_LE(e.peak, peak) << what << " component " << c;
    EXPECT_LE(e.mse, mse) << what << " component " << c;
  }
}

const char* const kPartOne[] = {"a1_mono", "a2_colr", "a3_mono", "a4_colr", "a5_mono", "a6_mono_colr",
                                "b1_mono", "b2_mono", "b3_mono", "c1_mono", "c2_mono", "d1_colr",
                                "d2_colr", "e1_colr", "e2_colr", "f1_mono", "f2_mono"};

TEST(RealFiles, PartOneStreamsMatchTheirReferencesAndAnIndependentDecoder) {
  for (const char* name : kPartOne) {
    REQUIRE_TESTDATA(path, std::string("partone/") + name + ".j2c");
    const std::vector<std::uint8_t> bytes = codec_test::ReadFile(path);
    Decoded d;
    codec_test::Decode(bytes, d);
    ASSERT_EQ(d.headerResult, 0) << name;
    ASSERT_EQ(d.dataResult, 0) << name;
    ExpectSameWhenLent(bytes, d, name);
    // The reference image, where it has the components' own size (some are
    // drawn on the reference grid).
    for (const char* ext : {".ppm", ".pgm"}) {
      const std::string ref = testDataPath(std::string("partone/") + name + ext);
      std::vector<Component> want;
      if (ref.empty() || !codec_test::ReadPnm(ref, want)) continue;
      if (want.size() != d.components.size() || want[0].width != d.components[0].width ||
          want[0].height != d.components[0].height)
        continue;
      ExpectSame(d.components, want, 0, 0, std::string(name) + ext);
    }
    std::vector<Component> opj;
    if (codec_test::DecodeWithOpenJpeg(path, opj))
      ExpectSame(d.components, opj, 0, 0, std::string(name) + " opj");
    // The 16-bit path gives the same samples.
    Decoded d16;
    codec_test::Decode(bytes, d16, Codec::kImageData16s);
    ASSERT_EQ(d16.dataResult, 0) << name;
    ExpectSame(d16.components, d.components, 0, 0, std::string(name) + " 16-bit");
  }
}

TEST(RealFiles, PackedPacketHeadersAreRefused) {
  for (const char* name : {"g1_colr", "g2_colr", "g3_colr", "g4_colr"}) {
    REQUIRE_TESTDATA(path, std::string("partone/") + name + ".j2c");
    const std::vector<std::uint8_t> bytes = codec_test::ReadFile(path);
    Decoded d;
    codec_test::Decode(bytes, d);
    EXPECT_TRUE(d.headerResult != 0 || d.dataResult != 0) << name;
    ASSERT_FALSE(d.sink.texts.empty());
    EXPECT_EQ(d.sink.texts.back(), "Codec::JPEG2000Decoder::Except_PPMUsed") << name;
    ExpectSameWhenLent(bytes, d, name);
  }
}

TEST(RealFiles, FiveProgressionOrdersDecodeToTheSameSamples) {
  std::vector<Component> first;
  for (const char* order : {"lrcp", "rlcp", "rpcl", "pcrl", "cprl"}) {
    REQUIRE_TESTDATA(path, std::string("progression/boats_") + order + ".j2k");
    const std::vector<std::uint8_t> bytes = codec_test::ReadFile(path);
    Decoded d;
    codec_test::Decode(bytes, d);
    ASSERT_EQ(d.dataResult, 0) << order;
    ExpectSameWhenLent(bytes, d, order);
    ASSERT_EQ(d.components.size(), 3u);
    EXPECT_EQ(d.components[0].width, 640u);
    EXPECT_EQ(d.components[0].height, 512u);
    if (first.empty()) {
      first = d.components;
      std::vector<Component> opj;
      if (codec_test::DecodeWithOpenJpeg(path, opj)) ExpectSame(d.components, opj, 0, 0, "boats opj");
    } else {
      ExpectSame(d.components, first, 0, 0, order);
    }
  }
}

const char* const kCinema[] = {"X_4_2K_24_185_CBR_WB_000.j2k", "X_5_2K_24_235_CBR_STEM24_000.j2k",
                               "profile-cinema2k.j2c", "profile-cinema4k.j2c"};

// 9/7 frames: our float path and the independent decoders round differently;
// the bound we hold to is one code value and a mean squared error below 0.02.
TEST(RealFiles, CinemaFramesAgreeWithOpenJpegAndFfmpeg) {
  for (const char* name : kCinema) {
    REQUIRE_TESTDATA(path, std::string("cinema/") + name);
    const std::vector<std::uint8_t> bytes = codec_test::ReadFile(path);
    Decoded d;
    codec_test::Decode(bytes, d);
    ASSERT_EQ(d.headerResult, 0) << name;
    ASSERT_EQ(d.dataResult, 0) << name;
    ASSERT_EQ(d.components.size(), 3u) << name;
    ExpectSameWhenLent(bytes, d, name);
    std::vector<Component> opj;
    if (codec_test::DecodeWithOpenJpeg(path, opj))
      ExpectSame(d.components, opj, 1, 0.02, std::string(name) + " opj");
    std::vector<Component> ff;
    if (codec_test::DecodeXyzWithFfmpeg(path, d.components[0].width, d.components[0].height, ff))
      ExpectSame(d.components, ff, 1, 0.02, std::string(name) + " ffmpeg");
  }
}

// Every build of every primitive the decoder calls gives the same samples.
class DecodeGenerations : public GenerationTest {};

TEST_P(DecodeGenerations, SameSamplesAsPx) {
  for (const char* file : {"cinema/profile-cinema2k.j2c", "partone/e1_colr.j2c", "conformance/p0_04.j2k",
                           "conformance/p1_04.j2k"}) {
    REQUIRE_TESTDATA(path, file);
    const std::vector<std::uint8_t> bytes = codec_test::ReadFile(path);
    const struct {
      std::int32_t type;
      Planes planes;
    } configs[] = {{Codec::kImageData32s, Planes::kOwn},
                   {Codec::kImageData32s, Planes::kLent},
                   {Codec::kImageData16s, Planes::kOwn}};
    for (const auto& config : configs) {
      Decoded here;
      codec_test::Decode(bytes, here, config.type, codec_test::kAnySize, config.planes);
      ASSERT_EQ(primTestForceGeneration(0), 0);
      Decoded px;
      codec_test::Decode(bytes, px, config.type, codec_test::kAnySize, config.planes);
      ASSERT_EQ(primTestForceGeneration(generation()), 0);
      ASSERT_EQ(here.dataResult, 0) << file;
      ASSERT_EQ(px.dataResult, 0) << file;
      ExpectSame(here.components, px.components, 0, 0, file);
    }
  }
}
INSTANTIATE_GENERATIONS(DecodeGenerations);

// Damaged and unusual files: each decodes or fails with a result, never a
// crash, a hang (the test's time-out) or a read outside the data.
TEST(RealFiles, AssortedFilesDecodeOrFailCleanly) {
  REQUIRE_TESTDATA(dir, "assorted");
  int decoded = 0, refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::vector<std::uint8_t> bytes = codec_test::ReadFile(entry.path().string());
    if (bytes.size() > 0xFFFFFFFFu) continue;
    Decoded d;
    // The caller image is capped at 64 M samples per component, as the
    // converter's frames are far smaller.
    const std::uint64_t cap = std::uint64_t{1} << 26;
    codec_test::Decode(bytes, d, Codec::kImageData32s, cap);
    ExpectSameWhenLent(bytes, d, entry.path().filename().string(), Codec::kImageData32s, cap);
    if (d.headerResult == 0 && d.dataResult == 0) {
      ++decoded;
    } else {
      ++refused;
      // A refused header always comes with its reason.
      if (d.headerResult != 0) {
        EXPECT_FALSE(d.sink.texts.empty()) << entry.path().filename();
      }
    }
  }
  EXPECT_GT(decoded + refused, 0);
  std::printf("assorted: %d decoded, %d refused\n", decoded, refused);
}

}  // namespace
