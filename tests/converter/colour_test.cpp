// Colour conversion of decoded X'Y'Z' frames to 8-bit RGB: exact vectors, the
// truncation rule against the formula in double precision in every build of
// the primitives, and the refusals.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "converter/colour_conversion.h"
#include "primitives/colour/powx.h"
#include "tests/converter/image_helpers.h"
#include "tests/support/generations.h"

namespace {

using convtest::MakeImage;

struct Converted {
  Kumu::Result_t result = Kumu::RESULT_FALSE;
  TByteArray pixels;
  TRgbFrame frame{nullptr, 0, 0, 0};
};

void Convert(const Codec::ImageBuffer& image, std::uint32_t w, std::uint32_t h, Converted& out) {
  out.frame.pixels = &out.pixels;
  out.result = ConvertXyzImageToRgb(image, w, h, out.frame);
}

// One pixel of constant code values, converted.
std::vector<int> ConvertTriple(std::int32_t x, std::int32_t y, std::int32_t z, std::uint32_t precision = 11) {
  Codec::ImageBuffer image;
  const std::int32_t v[3] = {x, y, z};
  EXPECT_TRUE(MakeImage(image, 1, 1, 3, precision,
                        [&](std::uint32_t c, std::uint32_t, std::uint32_t) { return v[c]; }));
  Converted out;
  Convert(image, 1, 1, out);
  EXPECT_EQ(out.result.Value(), 0) << out.result.Label();
  if (out.result.Failure()) return {};
  const auto* p = reinterpret_cast<const std::uint8_t*>(out.pixels.Data());
  return {p[0], p[1], p[2]};
}

TEST(ColourConversion, ConstantsAreTheExactSinglePrecisionValues) {
  const std::uint32_t bits[3][3] = {{0x408214A1, 0xBFF6D1CF, 0xBF201963},
                                    {0xBF9B9B82, 0x401696BD, 0x3D557CA8},
                                    {0x3D8EE5F8, 0xBE82FD79, 0x3FA9B117}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(std::bit_cast<std::uint32_t>(kXyzToRgbMatrix[r][c]), bits[r][c]);
    EXPECT_EQ(kXyzToRgbMatrix[r][3], 0.0f);
  }
}

TEST(ColourConversion, ExactVectors) {
  // Full scale in all three planes: about 1.511, 1.189, 1.140 after the
  // matrix, clamped to 1.
  EXPECT_EQ(ConvertTriple(4095, 4095, 4095), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(ConvertTriple(0, 0, 0), (std::vector<int>{0, 0, 0}));
  // Negative matrix results become 0 before the output gamma.
  EXPECT_EQ(ConvertTriple(0, 4095, 0), (std::vector<int>{0, 255, 0}));
  const std::vector<int> xOnly = ConvertTriple(4095, 0, 0);
  ASSERT_EQ(xOnly.size(), 3u);
  EXPECT_EQ(xOnly[0], 255);
  EXPECT_EQ(xOnly[1], 0);
  const std::vector<int> zOnly = ConvertTriple(0, 0, 4095);
  ASSERT_EQ(zOnly.size(), 3u);
  EXPECT_EQ(zOnly[0], 0);
  EXPECT_EQ(zOnly[2], 255);
  // 8-bit and 16-bit samples scale by their own full value.
  EXPECT_EQ(ConvertTriple(255, 255, 255, 7), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(ConvertTriple(65535, 65535, 65535, 15), (std::vector<int>{255, 255, 255}));
}

class ColourConversionBuilds : public GenerationTest {};

// Every triple of a grid and random triples against the formula in double
// precision: never more than 1 apart, and equal to the truncated reference
// wherever the reference is not within 0.01 of a whole number (so the output
// is truncated, not rounded).
TEST_P(ColourConversionBuilds, TruncatesTheFormula) {
  constexpr std::uint32_t kWidth = 997;  // odd: every vector tail of the row steps
  constexpr std::uint32_t kHeight = 24;
  std::mt19937 random(11 + generation());
  std::vector<std::int32_t> samples(std::size_t{3} * kWidth * kHeight);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::size_t pixel = i / 3;
    samples[i] = pixel < 4096 ? static_cast<std::int32_t>((pixel * 7 + (i % 3) * 1365) % 4096)
                              : static_cast<std::int32_t>(random() % 4096);
  }
  Codec::ImageBuffer image;
  ASSERT_TRUE(
      MakeImage(image, kWidth, kHeight, 3, 11, [&](std::uint32_t c, std::uint32_t x, std::uint32_t y) {
        return samples[(std::size_t{y} * kWidth + x) * 3 + c];
      }));
  Converted out;
  Convert(image, kWidth, kHeight, out);
  ASSERT_EQ(out.result.Value(), 0) << out.result.Label();
  ASSERT_EQ(out.frame.rowSize, 3 * kWidth);
  ASSERT_EQ(out.pixels.Size(), static_cast<std::int32_t>(3 * kWidth * kHeight));
  const auto* p = reinterpret_cast<const std::uint8_t*>(out.pixels.Data());
  int checkedExactly = 0;
  bool sawTruncation = false;
  for (std::size_t pixel = 0; pixel < std::size_t{kWidth} * kHeight; ++pixel) {
    double rgb[3];
    convtest::ReferenceRgb(&samples[pixel * 3], 12, rgb);
    for (int c = 0; c < 3; ++c) {
      const int got = p[pixel * 3 + c];
      const double fraction = rgb[c] - std::floor(rgb[c]);
      ASSERT_LE(std::abs(got - rgb[c]), 1.0) << "pixel " << pixel << " channel " << c;
      if (fraction > 0.01 && fraction < 0.99) {
        ASSERT_EQ(got, static_cast<int>(std::floor(rgb[c]))) << "pixel " << pixel << " channel " << c;
        ++checkedExactly;
        // 254.999 and the like give 254: truncation.
        if (fraction > 0.6 && rgb[c] > 254) sawTruncation = true;
      }
    }
  }
  EXPECT_GT(checkedExactly, 20000);
  EXPECT_TRUE(sawTruncation);
}

// Rows of in-range code values take the input gamma from a table, a row with
// a value beyond the range computes it sample by sample: the same samples
// give the same pixels either way, in every build.
TEST_P(ColourConversionBuilds, GammaTableGivesTheComputedValues) {
  constexpr std::uint32_t kWidth = 4097;
  Codec::ImageBuffer image;
  ASSERT_TRUE(MakeImage(image, kWidth, 2, 3, 11, [](std::uint32_t c, std::uint32_t x, std::uint32_t y) {
    if (x == kWidth - 1) return y == 0 ? 0 : 4096;  // beyond the 12-bit range: no table for row 1
    return static_cast<std::int32_t>((x + c * 1365) % 4096);
  }));
  Converted out;
  Convert(image, kWidth, 2, out);
  ASSERT_EQ(out.result.Value(), 0) << out.result.Label();
  const auto* p = reinterpret_cast<const std::uint8_t*>(out.pixels.Data());
  EXPECT_EQ(std::memcmp(p, p + 3 * kWidth, 3 * (kWidth - 1)), 0);
}

// The output gamma's table against the primitive and the truncation on the
// values where the byte changes (a few float steps either side of each), the
// ends of the table's ranges and the interval's ends, in every build.
TEST_P(ColourConversionBuilds, OutputGammaBytesAreThePrimitivesBytes) {
  std::vector<Prim32f> values = {
      0.0f, -0.0f, 1.0f, std::nextafter(1.0f, 0.0f), 0x1p-20f, std::nextafter(0x1p-20f, 0.0f)};
  for (int b = 1; b <= 255; ++b) {
    const auto edge = std::bit_cast<std::uint32_t>(static_cast<float>(std::pow(b / 255.0, 2.2)));
    for (std::uint32_t d = 0; d < 64; ++d) {
      values.push_back(std::bit_cast<Prim32f>(edge - 32 + d));
    }
  }
  for (std::uint32_t bits = 0x35800000u; bits < 0x3F800000u; bits += 0x1000u) {
    values.push_back(std::bit_cast<Prim32f>(bits));
    values.push_back(std::bit_cast<Prim32f>(bits - 1));
  }
  std::vector<Prim32f> powers(values.size()), scratch = values;
  ASSERT_EQ(vecPowx_32f_A21(values.data(), kOutputGamma, powers.data(), static_cast<int>(values.size())), 0);
  std::vector<std::int32_t> positions(values.size());
  std::vector<std::uint8_t> bytes(values.size());
  ASSERT_EQ(
      OutputGammaToBytes(scratch.data(), positions.data(), bytes.data(), static_cast<int>(values.size())), 0);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const float scaled = powers[i] * 255.0f;
    ASSERT_EQ(bytes[i], static_cast<std::uint8_t>(static_cast<std::int32_t>(scaled) & 0xFF)) << values[i];
  }
}

TEST(ColourConversion, JustUnderFullScaleGives254) {
  // The first grey level whose green lies between 254.3 and 254.95 in the
  // formula: truncated to 254, where rounding would give 255.
  for (std::int32_t v = 3500; v < 4096; ++v) {
    double rgb[3];
    const std::int32_t grey[3] = {v, v, v};
    convtest::ReferenceRgb(grey, 12, rgb);
    if (rgb[1] > 254.3 && rgb[1] < 254.95) {
      EXPECT_EQ(ConvertTriple(v, v, v)[1], 254) << "grey " << v << " green " << rgb[1];
      return;
    }
  }
  FAIL() << "no grey level near full-scale green";
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, ColourConversionBuilds, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });

TEST(ColourConversion, RefusesFramesItCannotConvert) {
  const auto zero = [](std::uint32_t, std::uint32_t, std::uint32_t) { return 0; };
  const std::string countText =
      "Unexpected number of color channels in JPEG. Expected 3, found 1 (gray scale?)";
  const std::string sizeText = "Unexpected frame width/height of decoded frame";
  struct Case {
    std::uint32_t count;
    std::uint32_t width, height;     // of the image
    std::uint32_t expectW, expectH;  // of the track
    bool halfChroma;
    std::string text;
  };
  const Case cases[] = {
      {3, 16, 8, 17, 8, false, sizeText},  {3, 16, 8, 16, 9, false, sizeText},
      {1, 16, 8, 16, 8, false, countText}, {4, 16, 8, 16, 8, false, countText},
      {2, 16, 8, 16, 8, false, countText}, {3, 16, 8, 16, 8, true, sizeText},
  };
  for (const Case& c : cases) {
    Codec::ImageBuffer image;
    const Codec::SamplingPair half[3] = {{1, 1}, {2, 1}, {2, 1}};
    ASSERT_TRUE(MakeImage(image, c.width, c.height, c.count, 11, zero, c.halfChroma ? half : nullptr));
    Converted out;
    Convert(image, c.expectW, c.expectH, out);
    EXPECT_EQ(out.result.Value(), -1);
    EXPECT_STREQ(out.result.Symbol(), "ImageDecoder");
    EXPECT_EQ(out.result.Label(), c.text) << c.count << " " << c.halfChroma;
  }
}

TEST(ColourConversion, NegativeSamplesFailTheInputGamma) {
  Codec::ImageBuffer image;
  ASSERT_TRUE(MakeImage(image, 8, 2, 3, 11,
                        [](std::uint32_t, std::uint32_t x, std::uint32_t) { return x == 5 ? -3 : 100; }));
  Converted out;
  Convert(image, 8, 2, out);
  EXPECT_EQ(out.result.Value(), -1);
  EXPECT_STREQ(out.result.Symbol(), "ConvertColors");
  EXPECT_STREQ(out.result.Label(), "Failed to apply input gamma");
}

TEST(ColourConversion, KeepsTheOutputBlockWhileTheSizeStays) {
  Codec::ImageBuffer image;
  ASSERT_TRUE(MakeImage(image, 40, 3, 3, 11, [](std::uint32_t c, std::uint32_t x, std::uint32_t y) {
    return static_cast<std::int32_t>(c * 1000 + x * 50 + y);
  }));
  Converted out;
  Convert(image, 40, 3, out);
  ASSERT_EQ(out.result.Value(), 0);
  const char* block = out.pixels.Data();
  Convert(image, 40, 3, out);
  ASSERT_EQ(out.result.Value(), 0);
  EXPECT_EQ(out.pixels.Data(), block);
  Codec::ImageBuffer bigger;
  ASSERT_TRUE(MakeImage(bigger, 41, 3, 3, 11, [](std::uint32_t, std::uint32_t, std::uint32_t) { return 7; }));
  Convert(bigger, 41, 3, out);
  ASSERT_EQ(out.result.Value(), 0);
  EXPECT_EQ(out.pixels.Size(), 3 * 41 * 3);
  EXPECT_EQ(out.frame.width, 41u);
  EXPECT_EQ(out.frame.height, 3u);
}

// Written over the image's first plane, the frame has the bytes of the
// conversion into a block of its own: every row is read before the rows
// written over it, whatever the size and whichever path a row takes (the
// input gamma from the table, or computed for wide samples).
struct OverImageCase {
  std::uint32_t width, height, precision;
};
std::string OverImageName(const OverImageCase& c) {
  return std::to_string(c.width) + "x" + std::to_string(c.height) + "_precision" +
         std::to_string(c.precision);
}
void PrintTo(const OverImageCase& c, std::ostream* os) { *os << OverImageName(c); }
class ColourConversionOverImage : public ::testing::TestWithParam<OverImageCase> {};

TEST_P(ColourConversionOverImage, GivesTheBytesOfTheSeparateBlock) {
  const OverImageCase c = GetParam();
  std::mt19937 random(c.width * 131 + c.height * 7 + c.precision);
  const std::int32_t top = (1 << (c.precision + 1)) - 1;
  std::uniform_int_distribution<std::int32_t> code(0, top);
  std::vector<std::int32_t> samples(std::size_t{3} * c.width * c.height);
  for (auto& v : samples) v = code(random);
  const auto at = [&](std::uint32_t k, std::uint32_t x, std::uint32_t y) {
    return samples[(std::size_t{k} * c.height + y) * c.width + x];
  };
  Codec::ImageBuffer image;
  ASSERT_TRUE(MakeImage(image, c.width, c.height, 3, c.precision, at));
  Converted separate;
  Convert(image, c.width, c.height, separate);
  ASSERT_EQ(separate.result.Value(), 0) << separate.result.Label();

  TRgbFrame over{nullptr, 0, 0, 0};
  const Kumu::Result_t r = ConvertXyzImageToRgbOverImage(image, c.width, c.height, over);
  ASSERT_EQ(r.Value(), 0) << r.Label();
  EXPECT_EQ(over.data, image.planePointers[0]);
  EXPECT_EQ(over.rowSize, 3 * c.width);
  EXPECT_EQ(over.height, c.height);
  ASSERT_EQ(std::memcmp(over.data, separate.frame.data, std::size_t{3} * c.width * c.height), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ColourConversionOverImage,
                         ::testing::Values(OverImageCase{1, 1, 11}, OverImageCase{1, 9, 11},
                                           OverImageCase{2, 3, 11}, OverImageCase{7, 5, 11},
                                           OverImageCase{40, 64, 11}, OverImageCase{333, 17, 11},
                                           OverImageCase{64, 8, 7}, OverImageCase{31, 6, 19}),
                         [](const ::testing::TestParamInfo<OverImageCase>& info) {
                           return OverImageName(info.param);
                         });

}  // namespace
