// Subband geometry and the 32-bit coefficient planes of a tile-component.
#include "decoder/level_set.h"

namespace Codec {

namespace {

std::uint64_t CeilShift(std::uint64_t a, std::uint32_t s) { return (a + (std::uint64_t{1} << s) - 1) >> s; }

}  // namespace

Rect ResolutionRect(const Rect& tc, std::uint32_t i) {
  const std::uint64_t x0 = CeilShift(tc.x, i), y0 = CeilShift(tc.y, i);
  const std::uint64_t x1 = CeilShift(std::uint64_t{tc.x} + tc.width, i);
  const std::uint64_t y1 = CeilShift(std::uint64_t{tc.y} + tc.height, i);
  return {static_cast<std::uint32_t>(x0), static_cast<std::uint32_t>(y0), static_cast<std::uint32_t>(x1 - x0),
          static_cast<std::uint32_t>(y1 - y0)};
}

Rect BandRect(const Rect& res, std::uint32_t orientation) {
  const std::uint64_t x0 = res.x, y0 = res.y;
  const std::uint64_t x1 = x0 + res.width, y1 = y0 + res.height;
  const bool highX = orientation == kBandHL || orientation == kBandHH;
  const bool highY = orientation == kBandLH || orientation == kBandHH;
  const std::uint64_t bx0 = highX ? x0 >> 1 : (x0 + 1) >> 1;
  const std::uint64_t bx1 = highX ? x1 >> 1 : (x1 + 1) >> 1;
  const std::uint64_t by0 = highY ? y0 >> 1 : (y0 + 1) >> 1;
  const std::uint64_t by1 = highY ? y1 >> 1 : (y1 + 1) >> 1;
  return {static_cast<std::uint32_t>(bx0), static_cast<std::uint32_t>(by0),
          static_cast<std::uint32_t>(bx1 - bx0), static_cast<std::uint32_t>(by1 - by0)};
}

void AllocLevelSet32(LevelSet& set, const Rect& tc, std::uint32_t n) { AllocLevelSetOf(set, tc, n, 4); }

void AllocLevelSetOf(LevelSet& set, const Rect& tc, std::uint32_t n, std::uint32_t sampleBytes) {
  set.levels = n;
  set.level.Reset(n);
  static const std::uint32_t kOrder[3] = {kBandHL, kBandLH, kBandHH};
  for (std::uint32_t i = 0; i < n; ++i) {
    const Rect res = ResolutionRect(tc, i);
    for (std::uint32_t b = 0; b < 3; ++b) {
      const Rect band = BandRect(res, kOrder[b]);
      set.level[i].Band(b).AllocPlaneOrThrow(band.width, band.height, sampleBytes);
    }
  }
  const Rect low = ResolutionRect(tc, n);
  set.ll.AllocPlaneOrThrow(low.width, low.height, sampleBytes);
}

}  // namespace Codec
