#include "converter/colour_conversion.h"

#include <bit>
#include <climits>
#include <cmath>
#include <new>
#include <vector>

#include "converter/results.h"
#include "framework/exceptions.h"
#include "platform/system.h"
#include "primitives/colour/powx.h"
#include "primitives/colour/threshold.h"
#include "primitives/colour/twist.h"
#include "primitives/core/memory.h"

namespace {

constexpr Prim32f Bits(std::uint32_t pattern) { return std::bit_cast<Prim32f>(pattern); }

// Owns one aligned float buffer of a conversion.
class TRowBuffer {
 public:
  explicit TRowBuffer(int bytes) : mData(static_cast<Prim32f*>(primAlignedMalloc(bytes))) {}
  ~TRowBuffer() { primAlignedFree(mData); }
  TRowBuffer(const TRowBuffer&) = delete;
  TRowBuffer& operator=(const TRowBuffer&) = delete;
  Prim32f* Data() const { return mData; }

 private:
  Prim32f* mData;
};

// Precisions up to this many bits take the input gamma from a table.
constexpr std::uint32_t kGammaTableBits = 16;

// Truncation toward zero of a value that should lie in 0..255; anything a
// float-to-int conversion cannot represent gives 0.
std::uint8_t TruncateToByte(Prim32f v) {
  if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
  return static_cast<std::uint8_t>(static_cast<std::int32_t>(v) & 0xFF);
}

// Bytes of the output gamma over ranges of 2^12 float bit patterns from 2^-20
// to just above 1, and of [0, 2^-20) as one range: kMixed where the
// primitive's bytes at the range's two ends differ (the byte changes inside
// it).
class TOutputGammaTable {
 public:
  static constexpr std::uint16_t kMixed = 0x100;

  TOutputGammaTable() {
    std::vector<Prim32f> ends(2 * std::size_t{kCount} + 2);
    for (std::uint32_t k = 0; k < kCount; ++k) {
      ends[2 * k] = std::bit_cast<Prim32f>((kFirst + k) << kShift);
      ends[2 * k + 1] = std::bit_cast<Prim32f>(((kFirst + k + 1) << kShift) - 1);
    }
    ends[2 * kCount] = 0.0f;
    ends[2 * kCount + 1] = std::bit_cast<Prim32f>((kFirst << kShift) - 1);
    std::vector<Prim32f> powers(ends.size());
    const bool ok =
        vecPowx_32f_A21(ends.data(), kOutputGamma, powers.data(), static_cast<int>(ends.size())) == 0;
    auto byteOf = [&](std::size_t i) { return TruncateToByte(powers[i] * 255.0f); };
    for (std::uint32_t k = 0; k <= kCount; ++k) {
      const std::uint8_t a = byteOf(2 * std::size_t{k}), b = byteOf(2 * std::size_t{k} + 1);
      mBytes[k] = ok && a == b ? a : kMixed;
    }
  }

  // The byte of value v (as its bit pattern), or kMixed.
  std::uint16_t Byte(std::uint32_t bits) const {
    if (bits < (kFirst << kShift)) return mBytes[kCount];
    const std::uint32_t k = (bits >> kShift) - kFirst;
    return k < kCount ? mBytes[k] : kMixed;
  }

 private:
  static constexpr int kShift = 12;
  static constexpr std::uint32_t kFirst = 0x35800000u >> kShift;                 // 2^-20
  static constexpr std::uint32_t kCount = (0x3F800000u >> kShift) - kFirst + 1;  // the last one begins at 1
  std::uint16_t mBytes[kCount + 1];
};

}  // namespace

const Prim32f kXyzToRgbMatrix[3][4] = {
    {Bits(0x408214A1), Bits(0xBFF6D1CF), Bits(0xBF201963), 0.0f},
    {Bits(0xBF9B9B82), Bits(0x401696BD), Bits(0x3D557CA8), 0.0f},
    {Bits(0x3D8EE5F8), Bits(0xBE82FD79), Bits(0x3FA9B117), 0.0f},
};

static_assert(std::bit_cast<std::uint32_t>(kInputGamma) == 0x40266666u);
static_assert(std::bit_cast<std::uint32_t>(kOutputGamma) == 0x3EE8BA2Fu);

PrimResult OutputGammaToBytes(Prim32f* values, std::int32_t* positions, std::uint8_t* dst, int len) {
  static const TOutputGammaTable table;
  int pending = 0;
  for (int i = 0; i < len; ++i) {
    const std::uint16_t byte = table.Byte(std::bit_cast<std::uint32_t>(values[i]));
    if (byte != TOutputGammaTable::kMixed) {
      dst[i] = static_cast<std::uint8_t>(byte);
    } else {
      // Gathered at the front (never ahead of i) for one call of the primitive.
      values[pending] = values[i];
      positions[pending++] = i;
    }
  }
  if (pending == 0) return primResultOk;
  const PrimResult status = vecPowx_32f_A21(values, kOutputGamma, values, pending);
  for (int k = 0; k < pending; ++k) dst[positions[k]] = TruncateToByte(values[k] * 255.0f);
  return status;
}

namespace {

Kumu::Result_t NoConversionMemory() {
  return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for image conversion");
}

Kumu::Result_t NoOutputMemory() {
  return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for the dest image");
}

// Whether the decoded image is one the conversion reads: expectedWidth x
// expectedHeight pixels in three full-size planes of 32-bit samples.
Kumu::Result_t CheckDecodedImage(const Codec::ImageBuffer& image, std::uint32_t expectedWidth,
                                 std::uint32_t expectedHeight) {
  const Codec::ImageSampling& sampling = image.layout.sampling;
  const std::uint32_t width = sampling.rect.width;
  const std::uint32_t height = sampling.rect.height;
  if (width != expectedWidth || height != expectedHeight) {
    return ConverterFailure(kCategoryImageDecoder, "Unexpected frame width/height of decoded frame");
  }
  if (sampling.count != 3) {
    return ConverterFailure(kCategoryImageDecoder,
                            "Unexpected number of color channels in JPEG. Expected 3, found 1 (gray scale?)");
  }
  // Every plane is read at the full frame size: each must be a full-size
  // plane of 32-bit samples with rows long enough.
  if (image.layout.dataType != Codec::kImageData32s ||
      image.layout.planeLayout != Codec::kPlanePerComponent || image.PlaneCount() < 3 ||
      !image.layout.rowSteps || !sampling.factors || Codec::CountedArraySize(image.layout.rowSteps) < 3 ||
      Codec::CountedArraySize(sampling.factors) < 3) {
    return ConverterFailure(kCategoryImageDecoder, "Unexpected frame width/height of decoded frame");
  }
  for (std::uint32_t c = 0; c < 3; ++c) {
    if (sampling.factors[c].x != 1 || sampling.factors[c].y != 1 || !image.planePointers[c] ||
        std::uint64_t{image.layout.rowSteps[c]} < std::uint64_t{width} * 4 ||
        image.layout.PlaneSize(c) < std::uint64_t{image.layout.rowSteps[c]} * height) {
      return ConverterFailure(kCategoryImageDecoder, "Unexpected frame width/height of decoded frame");
    }
  }
  if (!image.header.components || image.header.ComponentCount() < 1) {
    return ConverterFailure(kCategoryImageDecoder,
                            "Unexpected number of color channels in JPEG. Expected 3, found 1 (gray scale?)");
  }
  return Kumu::RESULT_OK;
}

// Gives `out` the frame's size and the place of its rows: over the image's
// first plane (`overImage`), or in out.pixels, whose block is kept while
// its size stays the same.
Kumu::Result_t PlaceOutput(const Codec::ImageBuffer& image, std::uint32_t width, std::uint32_t height,
                           TRgbFrame& out, bool overImage) {
  const std::uint64_t rowValues = std::uint64_t{width} * 3;
  const std::uint64_t outputBytes = rowValues * height;
  out.rowSize = static_cast<std::uint32_t>(rowValues);
  out.width = width;
  out.height = height;
  if (outputBytes > INT32_MAX) return NoOutputMemory();
  if (overImage) {
    // Row y of the output, 3 x width bytes from y x 3 x width on, lies below
    // row y + 1 of the plane (whose rows are at least 4 x width bytes apart),
    // and row y is read whole before it is written.
    out.data = static_cast<std::uint8_t*>(image.planePointers[0]);
    return Kumu::RESULT_OK;
  }
  try {
    const bool fresh = out.pixels->Size() != static_cast<std::int32_t>(outputBytes);
    out.pixels->SetSize(static_cast<std::int32_t>(outputBytes));
    if (fresh) platformAdviseLargePages(out.pixels->Data(), static_cast<std::size_t>(outputBytes));
  } catch (const TOutOfMemoryException&) {
    return NoOutputMemory();
  } catch (const std::bad_alloc&) {
    return NoOutputMemory();
  }
  out.data = reinterpret_cast<std::uint8_t*>(out.pixels->Data());
  return Kumu::RESULT_OK;
}

// The input gamma of every code value 0 .. codes - 1 (normalised by
// `scale`), by the same primitive on the same values as a row would give it.
Kumu::Result_t FillInputGammaTable(Prim32f* table, std::uint32_t codes, Prim32f scale) {
  for (std::uint32_t i = 0; i < codes; ++i)
    table[i] = static_cast<Prim32f>(static_cast<std::int32_t>(i)) * scale;
  if (vecPowx_32f_A21(table, kInputGamma, table, static_cast<int>(codes)) != 0) {
    return ConverterFailure(kCategoryConvertColors, "Failed to apply input gamma");
  }
  return Kumu::RESULT_OK;
}

// What every row of a frame's conversion works with.
struct TRowConversion {
  const Codec::ImageBuffer& image;
  std::uint32_t width;
  int len;                  // values of a row: 3 x width
  Prim32f scale;            // of the normalisation: 1 / (2^(p+1) - 1)
  std::uint32_t codes;      // code values of the input gamma table (0: no table)
  const Prim32f* gamma;     // the input gamma table
  Prim32f* values;          // the row buffer, len values
  std::int32_t* positions;  // room for len indices
};

// Row y of the three planes, interleaved, normalised to [0, 1] and gamma
// decoded into the row buffer.  A row whose samples all lie in the code
// range takes its values from the table.
Kumu::Result_t LoadRow(const TRowConversion& conversion, std::uint32_t y) {
  const std::uint32_t width = conversion.width;
  const std::uint32_t codes = conversion.codes;
  const Prim32f* const gamma = conversion.gamma;
  Prim32f* const values = conversion.values;
  const std::int32_t* samples[3];
  for (std::uint32_t c = 0; c < 3; ++c) {
    samples[c] = reinterpret_cast<const std::int32_t*>(
        static_cast<const std::uint8_t*>(conversion.image.planePointers[c]) +
        std::size_t{y} * conversion.image.layout.rowSteps[c]);
  }
  bool tabled = codes != 0;
  for (std::uint32_t c = 0; c < 3 && tabled; ++c) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const auto code = static_cast<std::uint32_t>(samples[c][x]);
      if (code >= codes) {
        tabled = false;
        break;
      }
      values[3 * std::size_t{x} + c] = gamma[code];
    }
  }
  if (tabled) return Kumu::RESULT_OK;
  for (std::uint32_t c = 0; c < 3; ++c) {
    for (std::uint32_t x = 0; x < width; ++x) {
      values[3 * std::size_t{x} + c] = static_cast<Prim32f>(samples[c][x]) * conversion.scale;
    }
  }
  if (vecPowx_32f_A21(values, kInputGamma, values, conversion.len) != 0) {
    return ConverterFailure(kCategoryConvertColors, "Failed to apply input gamma");
  }
  return Kumu::RESULT_OK;
}

// The matrix, the clamps to [0, 1] and the output gamma of the row buffer,
// into the row's bytes at `dst`.
Kumu::Result_t FinishRow(const TRowConversion& conversion, std::uint8_t* dst) {
  Prim32f* const values = conversion.values;
  const int len = conversion.len;
  const PrimRoiSize oneRow{static_cast<int>(conversion.width), 1};
  const int step = len;  // a one-row region never steps to a second row
  if (imgColorTwist_32f_C3R(values, step, values, step, oneRow, kXyzToRgbMatrix) != 0) {
    return ConverterFailure(kCategoryConvertColors, "Color twist failed");
  }
  if (vecThreshold_LT_32f(values, values, len, 0.0f) != 0) {
    return ConverterFailure(kCategoryConvertColors, "Failed to clamp (LT)");
  }
  if (vecThreshold_GT_32f(values, values, len, 1.0f) != 0) {
    return ConverterFailure(kCategoryConvertColors, "Failed to clamp (GT)");
  }
  if (OutputGammaToBytes(values, conversion.positions, dst, len) != 0) {
    return ConverterFailure(kCategoryConvertColors, "Failed to apply output gamma");
  }
  return Kumu::RESULT_OK;
}

// The conversion into the caller's block (`overImage` false: out.pixels) or
// over the image's first plane.
Kumu::Result_t ConvertFrame(const Codec::ImageBuffer& image, std::uint32_t expectedWidth,
                            std::uint32_t expectedHeight, TRgbFrame& out, bool overImage) {
  Kumu::Result_t result = CheckDecodedImage(image, expectedWidth, expectedHeight);
  if (result.Failure()) return result;
  const std::uint32_t width = image.layout.sampling.rect.width;
  const std::uint32_t height = image.layout.sampling.rect.height;
  const std::uint64_t rowValues = std::uint64_t{width} * 3;
  if (width == 0 || height == 0 || rowValues * 4 > INT_MAX) return NoConversionMemory();
  const int len = static_cast<int>(rowValues);
  TRowBuffer values(len * 4);
  if (!values.Data()) return NoConversionMemory();
  result = PlaceOutput(image, width, height, out, overImage);
  if (result.Failure()) return result;

  // 1 / (2^(p+1) - 1): 1/4095 for 12-bit samples.
  const std::uint32_t precision = image.header.components[0].precision;
  const Prim32f scale =
      1.0f / (std::ldexp(1.0f, static_cast<int>(precision < 200 ? precision + 1 : 200)) - 1.0f);
  // Rows whose samples all lie in the code range of the precision take their
  // input gammas from a table.
  const std::uint32_t codes = precision < kGammaTableBits ? 1u << (precision + 1) : 0;
  TRowBuffer gamma(static_cast<int>(codes * 4));
  if (codes != 0) {
    if (!gamma.Data()) return NoConversionMemory();
    result = FillInputGammaTable(gamma.Data(), codes, scale);
    if (result.Failure()) return result;
  }

  TRowBuffer pending(len * 4);
  if (!pending.Data()) return NoConversionMemory();
  const TRowConversion conversion{.image = image,
                                  .width = width,
                                  .len = len,
                                  .scale = scale,
                                  .codes = codes,
                                  .gamma = gamma.Data(),
                                  .values = values.Data(),
                                  .positions = reinterpret_cast<std::int32_t*>(pending.Data())};
  for (std::uint32_t y = 0; y < height; ++y) {
    result = LoadRow(conversion, y);
    if (result.Success()) result = FinishRow(conversion, out.data + std::size_t{y} * out.rowSize);
    if (result.Failure()) return result;
  }
  return Kumu::RESULT_OK;
}

}  // namespace

Kumu::Result_t ConvertXyzImageToRgb(const Codec::ImageBuffer& image, std::uint32_t expectedWidth,
                                    std::uint32_t expectedHeight, TRgbFrame& out) {
  return ConvertFrame(image, expectedWidth, expectedHeight, out, false);
}

Kumu::Result_t ConvertXyzImageToRgbOverImage(Codec::ImageBuffer& image, std::uint32_t expectedWidth,
                                             std::uint32_t expectedHeight, TRgbFrame& out) {
  return ConvertFrame(image, expectedWidth, expectedHeight, out, true);
}
