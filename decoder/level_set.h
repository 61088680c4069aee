// The coefficient planes of one tile-component.
//
// One plane per subband: for each decomposition level (index 0 the finest,
// whose synthesis gives the whole tile-component) the HL, LH and HH planes,
// and the LL plane of the lowest resolution.  The code-blocks write their
// coefficients straight into these planes, 32-bit sign-magnitude; an empty
// band's plane holds no memory.
#pragma once

#include <cstdint>

#include "decoder/geometry.h"
#include "decoder/holders.h"

namespace Codec {

struct DecompositionLevel {
  SubbandPlane hl;
  SubbandPlane lh;
  SubbandPlane hh;
  // 0 HL, 1 LH, 2 HH.
  SubbandPlane& Band(std::uint32_t i) { return i == 0 ? hl : i == 1 ? lh : hh; }
};

// Band orientations as the code-block decoder numbers them.
enum BandOrientation : std::uint32_t { kBandLL = 0, kBandLH = 1, kBandHL = 2, kBandHH = 3 };

// The rectangle of resolution `levelIndex` levels below the tile-component
// rectangle `tc`: ceil of both ends divided by 2^levelIndex (levelIndex up to 32).
Rect ResolutionRect(const Rect& tc, std::uint32_t levelIndex);

// One band cut from a resolution rectangle: LL takes ceil(x / 2) at both ends,
// HL floor in x and ceil in y, LH ceil in x and floor in y, HH floor in both.
Rect BandRect(const Rect& resolution, std::uint32_t orientation);

class LevelSet {
 public:
  LevelSet() = default;
  LevelSet(const LevelSet&) = delete;
  LevelSet& operator=(const LevelSet&) = delete;

  std::uint32_t levels = 0;
  OwnedArray<DecompositionLevel> level;  // levels entries, 0 the finest
  SubbandPlane ll;
};

// Allocates every plane of a 32-bit set for the tile-component rectangle and
// n decomposition levels; throws Except_faultMalloc when a plane cannot be had.
void AllocLevelSet32(LevelSet& set, const Rect& tc, std::uint32_t n);
// The same with samples of `sampleBytes` bytes (AllocLevelSet32 uses 4).
void AllocLevelSetOf(LevelSet& set, const Rect& tc, std::uint32_t n, std::uint32_t sampleBytes);

}  // namespace Codec
