#include "converter/colour_conversion.h"

#include <bit>
#include <climits>
#include <cmath>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// dst[i] = TruncateToByte(values[i] x 255).  The vector conversion gives
// INT32_MIN, whose low byte is 0, for whatever it cannot represent.
void TruncateRowToBytes(const Prim32f* values, std::uint8_t* dst, int len) {
  int i = 0;
#if defined(__SSE2__)
  const __m128 full = _mm_set1_ps(255.0f);
  const __m128i low = _mm_set1_epi32(0xFF);
  for (; i + 16 <= len; i += 16) {
    __m128i q[4];
    for (int k = 0; k < 4; ++k) {
      q[k] = _mm_and_si128(_mm_cvttps_epi32(_mm_mul_ps(_mm_loadu_ps(values + i + 4 * k), full)), low);
    }
    const __m128i words = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), words);
  }
#endif
  for (; i < len; ++i) dst[i] = TruncateToByte(values[i] * 255.0f);
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

  // The input gamma of every code value of the precision, by the same
  // primitive on the same values as a row would give it: rows whose samples
  // all lie in the code range take their values from this table.
  const std::uint32_t codes = precision < kGammaTableBits ? 1u << (precision + 1) : 0;
  TRowBuffer gamma(static_cast<int>(codes * 4));
  if (codes != 0) {
    if (!gamma.Data()) {
      return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for image conversion");
    }
    for (std::uint32_t i = 0; i < codes; ++i) gamma.Data()[i] = static_cast<Prim32f>(static_cast<std::int32_t>(i)) * scale;
    if (vecPowx_32f_A21(gamma.Data(), kInputGamma, gamma.Data(), static_cast<int>(codes)) != 0) {
      return ConverterFailure(kCategoryConvertColors, "Failed to apply input gamma");
    }
  }

  Prim32f* values = row.Data();
  const PrimRoiSize oneRow{static_cast<int>(width), 1};
  const int step = len;  // a one-row region never steps to a second row
  auto* output = reinterpret_cast<std::uint8_t*>(out.pixels->Data());
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::int32_t* samples[3];
    for (std::uint32_t c = 0; c < 3; ++c) {
      samples[c] = reinterpret_cast<const std::int32_t*>(static_cast<const std::uint8_t*>(image.planePointers[c]) +
                                                         std::size_t{y} * image.layout.rowSteps[c]);
    }
    bool tabled = codes != 0;
    for (std::uint32_t c = 0; c < 3 && tabled; ++c) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const auto code = static_cast<std::uint32_t>(samples[c][x]);
        if (code >= codes) {
          tabled = false;
          break;
        }
        values[3 * std::size_t{x} + c] = gamma.Data()[code];
      }
    }
    if (!tabled) {
      for (std::uint32_t c = 0; c < 3; ++c) {
        for (std::uint32_t x = 0; x < width; ++x) {
          values[3 * std::size_t{x} + c] = static_cast<Prim32f>(samples[c][x]) * scale;
        }
      }
      if (vecPowx_32f_A21(values, kInputGamma, values, len) != 0) {
        return ConverterFailure(kCategoryConvertColors, "Failed to apply input gamma");
      }
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
    TruncateRowToBytes(values, dst, len);
  }
  return Kumu::RESULT_OK;
}
