// Rectangles and sampling factors of the decoder and the caller image.
#pragma once

#include <cstdint>

namespace Codec {

// Rectangles of the decoder: {x, y, width, height}, unsigned 32-bit each.
struct Rect {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Sampling factors of one component.
struct SamplingPair {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
};

// The rectangle of a component with sampling factors (fx, fy) on the grid of
// `r`: x0 = ceil(x / fx), x1 = ceil((x + width) / fx), width = x1 - x0 (the
// same on y).  Factors of 1 give r unchanged; a factor of 0 is taken as 1.
Rect ComponentRect(const Rect& r, SamplingPair factors);

// Unsigned ceil(a / b) for b > 0.
inline std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return b ? (a + b - 1) / b : a; }

}  // namespace Codec
