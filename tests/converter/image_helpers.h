// Caller images for the colour-conversion tests, and the conversion's
// formula in double precision as an independent reference.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>

#include "converter/colour_conversion.h"
#include "decoder/image_records.h"

namespace convtest {

// A decoded image as the decoder leaves it: `count` planes of 32-bit signed
// samples (precision = bit depth - 1), sampled (1, 1) unless `factors` says
// otherwise.
inline bool MakeImage(
    Codec::ImageBuffer& image, std::uint32_t width, std::uint32_t height, std::uint32_t count,
    std::uint32_t precision,
    const std::function<std::int32_t(std::uint32_t c, std::uint32_t x, std::uint32_t y)>& sample,
    const Codec::SamplingPair* factors = nullptr) {
  Codec::ImageSampling sampling;
  if (sampling.ResetFactors(count) != 0) return false;
  sampling.rect = {0, 0, width, height};
  for (std::uint32_t c = 0; c < count; ++c)
    sampling.factors[c] = factors ? factors[c] : Codec::SamplingPair{1, 1};
  if (image.Alloc(Codec::kImageData32s, Codec::kPlanePerComponent, sampling, 5, 1) != 0) return false;
  if (image.header.SetComponentCount(count) != 0) return false;
  image.header.components[0].SetBitDepth(precision, false);
  for (std::uint32_t c = 0; c < count; ++c) {
    const Codec::Rect r = sampling.ComponentRectOf(c);
    for (std::uint32_t y = 0; y < r.height; ++y) {
      auto* row = reinterpret_cast<std::int32_t*>(static_cast<std::uint8_t*>(image.planePointers[c]) +
                                                  std::size_t{y} * image.layout.rowSteps[c]);
      for (std::uint32_t x = 0; x < r.width; ++x) row[x] = sample(c, x, y);
    }
  }
  return true;
}

// The conversion of one X'Y'Z' code-value triple in double precision,
// before the truncation: 255 x ((clamp(M (v / max)^2.6))^(1/2.2)).
inline void ReferenceRgb(const std::int32_t xyz[3], std::uint32_t bits, double rgb[3]) {
  const double max = std::ldexp(1.0, static_cast<int>(bits)) - 1.0;
  double linear[3];
  for (int c = 0; c < 3; ++c) linear[c] = std::pow(xyz[c] / max, 2.6);
  for (int r = 0; r < 3; ++r) {
    double v = 0;
    for (int c = 0; c < 3; ++c) v += static_cast<double>(kXyzToRgbMatrix[r][c]) * linear[c];
    v = v < 0 ? 0 : (v > 1 ? 1 : v);
    rgb[r] = 255.0 * std::pow(v, 1.0 / 2.2);
  }
}

}  // namespace convtest
