// Component rectangles.
#include "decoder/geometry.h"

namespace Codec {

Rect ComponentRect(const Rect& r, SamplingPair f) {
  const std::uint64_t fx = f.x ? f.x : 1;
  const std::uint64_t fy = f.y ? f.y : 1;
  const std::uint64_t x0 = CeilDiv(r.x, fx);
  const std::uint64_t y0 = CeilDiv(r.y, fy);
  const std::uint64_t x1 = CeilDiv(std::uint64_t{r.x} + r.width, fx);
  const std::uint64_t y1 = CeilDiv(std::uint64_t{r.y} + r.height, fy);
  return {static_cast<std::uint32_t>(x0), static_cast<std::uint32_t>(y0), static_cast<std::uint32_t>(x1 - x0),
          static_cast<std::uint32_t>(y1 - y0)};
}

}  // namespace Codec
