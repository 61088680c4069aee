#include "converter/colour_conversion.h"

#include <bit>
#include <climits>
#include <cmath>
#include <new>

#include "converter/results.h"
#include "framework/exceptions.h"
#include "platform/system.h"
#include "primitives/colour/powx.h"
#include "primitives/colour/threshold.h"
#include "primitives/colour/twist.h"
#include "primitives/core/memory.h"

namespace {

constexpr Prim32f Bits(std::uint32_t pattern) { return std::bit_cast<Prim32f>(pattern); }

// Owns the row buffer of one conversion.
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

// Truncation toward zero of a value that should lie in 0..255; anything a
// float-to-int conversion cannot represent gives 0.
std::uint8_t TruncateToByte(Prim32f v) {
  if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
  return static_cast<std::uint8_t>(static_cast<std::int32_t>(v) & 0xFF);
}

}  // namespace

const Prim32f kXyzToRgbMatrix[3][4] = {
    {Bits(0x408214A1), Bits(0xBFF6D1CF), Bits(0xBF201963), 0.0f},
    {Bits(0xBF9B9B82), Bits(0x401696BD), Bits(0x3D557CA8), 0.0f},
    {Bits(0x3D8EE5F8), Bits(0xBE82FD79), Bits(0x3FA9B117), 0.0f},
};

static_assert(std::bit_cast<std::uint32_t>(kInputGamma) == 0x40266666u);
static_assert(std::bit_cast<std::uint32_t>(kOutputGamma) == 0x3EE8BA2Fu);

Kumu::Result_t ConvertXyzImageToRgb(const Codec::ImageBuffer& image, std::uint32_t expectedWidth,
                                    std::uint32_t expectedHeight, TRgbFrame& out) {
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
  if (image.layout.dataType != Codec::kImageData32s || image.layout.planeLayout != Codec::kPlanePerComponent ||
      image.PlaneCount() < 3 || !image.layout.rowSteps || !sampling.factors ||
      Codec::CountedArraySize(image.layout.rowSteps) < 3 || Codec::CountedArraySize(sampling.factors) < 3) {
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

  const std::uint64_t rowValues = std::uint64_t{width} * 3;
  if (width == 0 || height == 0 || rowValues * 4 > INT_MAX) {
    return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for image conversion");
  }
  const int len = static_cast<int>(rowValues);
  TRowBuffer row(len * 4);
  if (!row.Data()) {
    return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for image conversion");
  }

  const std::uint64_t outputBytes = rowValues * height;
  out.rowSize = static_cast<std::uint32_t>(rowValues);
  out.width = width;
  out.height = height;
  if (outputBytes > INT32_MAX) {
    return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for the dest image");
  }
  try {
    const bool fresh = out.pixels->Size() != static_cast<std::int32_t>(outputBytes);
    out.pixels->SetSize(static_cast<std::int32_t>(outputBytes));
    if (fresh) platformAdviseLargePages(out.pixels->Data(), static_cast<std::size_t>(outputBytes));
  } catch (const TOutOfMemoryException&) {
    return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for the dest image");
  } catch (const std::bad_alloc&) {
    return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for the dest image");
  }

  // 1 / (2^(p+1) - 1): 1/4095 for 12-bit samples.
  const std::uint32_t precision = image.header.components[0].precision;
  const Prim32f scale =
      1.0f / (std::ldexp(1.0f, static_cast<int>(precision < 200 ? precision + 1 : 200)) - 1.0f);

  Prim32f* values = row.Data();
  const PrimRoiSize oneRow{static_cast<int>(width), 1};
  const int step = len;  // a one-row region never steps to a second row
  auto* output = reinterpret_cast<std::uint8_t*>(out.pixels->Data());
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t c = 0; c < 3; ++c) {
      const auto* plane = static_cast<const std::uint8_t*>(image.planePointers[c]) +
                          std::size_t{y} * image.layout.rowSteps[c];
      const auto* samples = reinterpret_cast<const std::int32_t*>(plane);
      for (std::uint32_t x = 0; x < width; ++x) {
        values[3 * std::size_t{x} + c] = static_cast<Prim32f>(samples[x]) * scale;
      }
    }
    if (vecPowx_32f_A21(values, kInputGamma, values, len) != 0) {
      return ConverterFailure(kCategoryConvertColors, "Failed to apply input gamma");
    }
    if (imgColorTwist_32f_C3R(values, step, values, step, oneRow, kXyzToRgbMatrix) != 0) {
      return ConverterFailure(kCategoryConvertColors, "Color twist failed");
    }
    if (vecThreshold_LT_32f(values, values, len, 0.0f) != 0) {
      return ConverterFailure(kCategoryConvertColors, "Failed to clamp (LT)");
    }
    if (vecThreshold_GT_32f(values, values, len, 1.0f) != 0) {
      return ConverterFailure(kCategoryConvertColors, "Failed to clamp (GT)");
    }
    if (vecPowx_32f_A21(values, kOutputGamma, values, len) != 0) {
      return ConverterFailure(kCategoryConvertColors, "Failed to apply output gamma");
    }
    std::uint8_t* dst = output + std::size_t{y} * out.rowSize;
    for (int i = 0; i < len; ++i) dst[i] = TruncateToByte(values[i] * 255.0f);
  }
  return Kumu::RESULT_OK;
}
