// The decoder-thread component: the JP2 signature test, frames refused
// before and after the header, and real cinema frames decoded and converted
// on the worker thread, compared with an independent decode and conversion.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "converter/decoder_component.h"
#include "converter/frame_decoding.h"
#include "tests/converter/reference_conversion.h"
#include "tests/platform/quicktime/media_tools.h"
#include "tests/support/testdata.h"

namespace {

Kumu::Result_t Decode(TDecoderThreadComponent& component, TFrameSize size, const std::uint8_t* data,
                      std::uint32_t bytes) {
  component.StartDecode(size, data, bytes);
  EXPECT_TRUE(component.GetDoneEvent().Wait(TEvent::kInfinite));
  return component.GetResult();
}

TEST(IsJP2FileFormat, SignatureShortDataAndPosition) {
  const std::uint8_t jp2[] = {0, 0, 0, 12, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
  const std::uint8_t raw[] = {0xFF, 0x4F, 0xFF, 0x51, 0, 0x2F, 0, 0, 0, 0};
  const std::uint8_t shortData[] = {0, 0, 0, 12, 0x6A, 0x50, 0x20};
  struct Case {
    const std::uint8_t* data;
    std::uint32_t size;
    int value;
  };
  const Case cases[] = {{jp2, sizeof(jp2), 0}, {jp2, 8, 0},
                        {raw, sizeof(raw), 1}, {shortData, sizeof(shortData), -14},
                        {jp2, 0, -14},         {nullptr, 0, -14}};
  for (const Case& c : cases) {
    Codec::CMemBuffInput stream;
    stream.Open(c.data, c.size);
    EXPECT_EQ(IsJP2FileFormat(stream).Value(), c.value) << c.size;
    std::uint64_t position = 99;
    stream.Position(position);
    if (c.value >= 0) {
      EXPECT_EQ(position, 0u);
    }
  }
}

TEST(DecoderComponent, RefusesDataThatIsNoJpeg2000) {
  TDecoderThreadComponent component;
  EXPECT_EQ(component.GetResult().Value(), 1);  // "FALSE" before the first frame
  const std::uint8_t seven[] = {1, 2, 3, 4, 5, 6, 7};
  const std::string noData = "Unexpected or invalid input data (no JPEG2k data?)";
  for (const auto& [data, size] : std::vector<std::pair<const std::uint8_t*, std::uint32_t>>{
           {nullptr, 0}, {seven, 0}, {seven, 7}, {nullptr, 100}}) {
    const Kumu::Result_t r = Decode(component, {16, 16}, data, size);
    EXPECT_EQ(r.Value(), -1);
    EXPECT_STREQ(r.Symbol(), "ImageDecoder");
    EXPECT_EQ(r.Label(), noData) << size;
  }
  std::vector<std::uint8_t> garbage(500);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
  Kumu::Result_t r = Decode(component, {16, 16}, garbage.data(), static_cast<std::uint32_t>(garbage.size()));
  EXPECT_STREQ(r.Label(), "Failed to read JPEG header (not a JPEG image?)");
  // With the JP2 signature the same bytes go to the JP2 file decoder, which
  // finds no header either.
  garbage[4] = 0x6A;
  garbage[5] = 0x50;
  garbage[6] = 0x20;
  garbage[7] = 0x20;
  r = Decode(component, {16, 16}, garbage.data(), static_cast<std::uint32_t>(garbage.size()));
  EXPECT_STREQ(r.Label(), "Failed to read JPEG header (not a JPEG image?)");
}

TEST(DecoderComponent, ManyIdleComponentsStopAndJoin) {
  for (int round = 0; round < 20; ++round) {
    std::vector<std::unique_ptr<TDecoderThreadComponent>> components;
    for (int i = 0; i < 8; ++i) components.push_back(std::make_unique<TDecoderThreadComponent>());
    // One of them just handed a frame: its destruction waits for the frame.
    const std::uint8_t bytes[3] = {0, 1, 2};
    components[round % 8]->StartDecode({4, 4}, bytes, 3);
  }
}

class CinemaFrame : public ::testing::Test {
 protected:
  void Load(const std::string& path) {
    bytes_ = convtest::ReadBytes(path);
    ASSERT_FALSE(bytes_.empty());
  }
  std::vector<std::uint8_t> bytes_;
};

TEST_F(CinemaFrame, DecodesAndConvertsLikeAnIndependentDecoder) {
  REQUIRE_TESTDATA(path, "cinema/X_4_2K_24_185_CBR_WB_000.j2k");
  Load(path);
  convtest::ReferenceFrame reference;
  if (!convtest::IndependentConversion(path, reference)) GTEST_SKIP() << "opj_decompress is not available";
  ASSERT_EQ(reference.width, 1998);
  ASSERT_EQ(reference.height, 1080);
  TDecoderThreadComponent component;
  const std::uint32_t depths[3] = {12, 12, 12};
  component.SetExpectedBitDepths(depths);
  // Twice: the second frame reuses the output block.
  for (int round = 0; round < 2; ++round) {
    const Kumu::Result_t r =
        Decode(component, {1998, 1080}, bytes_.data(), static_cast<std::uint32_t>(bytes_.size()));
    ASSERT_EQ(r.Value(), 0) << r.Label();
    ASSERT_EQ(component.GetSize(), 1998u * 3);
    ASSERT_EQ(component.GetHeight(), 1080u);
    const std::uint8_t* rgb = component.GetPixels();
    ASSERT_NE(rgb, nullptr);
    const double psnr = qttest::Psnr(reference.rgb.data(), 1998 * 3, rgb, 1998 * 3, 1998, 1080);
    EXPECT_GT(psnr, 60.0);
    // Two 9/7 decoders may differ by a code value here and there, and near
    // black the output gamma turns one code value into several levels: few
    // samples may be more than one level apart.
    std::size_t apart = 0;
    for (std::size_t i = 0; i < reference.rgb.size(); ++i)
      apart += std::abs(int(reference.rgb[i]) - int(rgb[i])) > 1;
    EXPECT_LT(apart, reference.rgb.size() / 1000) << apart;
    RecordProperty("psnr", std::to_string(psnr));
    std::printf("PSNR against the independent conversion: %.2f dB\n", psnr);
  }
}

TEST_F(CinemaFrame, HeaderIsCheckedAgainstTheTrack) {
  REQUIRE_TESTDATA(path, "cinema/X_4_2K_24_185_CBR_WB_000.j2k");
  Load(path);
  TDecoderThreadComponent component;
  const auto size = static_cast<std::uint32_t>(bytes_.size());
  Kumu::Result_t r = Decode(component, {2048, 1080}, bytes_.data(), size);
  EXPECT_STREQ(r.Label(), "Unexpected frame width/height of decoded frame");
  r = Decode(component, {1998, 858}, bytes_.data(), size);
  EXPECT_STREQ(r.Label(), "Unexpected frame width/height of decoded frame");
  const std::uint32_t tenBits[3] = {10, 10, 10};
  component.SetExpectedBitDepths(tenBits);
  r = Decode(component, {1998, 1080}, bytes_.data(), size);
  EXPECT_EQ(r.Value(), -1);
  EXPECT_STREQ(r.Label(), "Unexpected bit depth of decoded frame");
}

TEST_F(CinemaFrame, DamagedDataFailsTheFrame) {
  REQUIRE_TESTDATA(path, "cinema/profile-cinema2k.j2c");
  Load(path);
  TDecoderThreadComponent component;
  // The main header alone: the header reads, the data does not all come.
  std::vector<std::uint8_t> damaged = bytes_;
  for (std::size_t i = 200; i < damaged.size(); i += 3) damaged[i] ^= 0x5A;
  // Decoder diagnostics go nowhere: nothing on the console.
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Kumu::Result_t r =
      Decode(component, {793, 1080}, damaged.data(), static_cast<std::uint32_t>(damaged.size()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // Damage in the packets either fails the data or decodes to something; it
  // never crashes, and a failure names the data step.
  if (r.Failure()) {
    EXPECT_STREQ(r.Symbol(), "ImageDecoder");
  }
  const Kumu::Result_t good =
      Decode(component, {793, 1080}, bytes_.data(), static_cast<std::uint32_t>(bytes_.size()));
  EXPECT_EQ(good.Value(), 0) << good.Label();
}

}  // namespace
