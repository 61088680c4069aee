// Tile-components: what tier 2 (packets) and tier 1 (code-blocks) work on.
//
// When the first tile-part of a tile has been read, every component of the
// tile is laid out: its resolutions, the subbands of each with their
// coefficient planes, the precinct partition of every band, the code-block
// partition of every precinct part, and per precinct part the inclusion and
// zero bit-plane tag trees.  Each code-block is bound at build time to the
// rectangle of its band's plane into which its coefficients are decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/codestream/coding_params.h"
#include "decoder/diagnostics.h"
#include "decoder/geometry.h"
#include "decoder/holders.h"
#include "decoder/level_set.h"
#include "decoder/tier1/codeblock_driver.h"
#include "decoder/tier2/tag_tree.h"

namespace Codec {

struct PrecinctBand {
  OwnedArray<CodeBlock> codeBlocks;  // raster order, x fastest
  std::uint32_t columns = 0;         // code-block grid
  std::uint32_t rows = 0;
  TagTree inclusion;
  TagTree zeroBitPlanes;
  bool bypass = false;
  bool terminateEachPass = false;
};

struct Band {
  OwnedArray<OwnedArray<PrecinctBand>> precincts;  // one row per precinct row
  std::uint32_t precinctRows = 0;
  std::uint32_t precinctColumns = 0;
  bool empty = true;
  Rect rect;  // on the band's own grid

  PrecinctBand* At(std::uint32_t px, std::uint32_t py) const {
    if (py >= precinctRows || px >= precinctColumns) return nullptr;
    return &precincts[py][px];
  }
};

struct ResolutionBands {
  Band bands[3];  // HL, LH, HH: the order in which a packet visits them
};

// Everything a band build needs.
struct BandBuild {
  std::uint32_t orientation = kBandLL;
  Rect resolution;                 // rectangle of the band's resolution
  bool lowestResolution = false;   // resolution 0: the band is the resolution
  PrecinctSize precinct;           // exponents of the resolution
  std::uint32_t xcb = 6, ycb = 6;  // code-block exponents
  SubbandPlane* plane = nullptr;
  std::uint32_t layers = 0;
  std::uint32_t guardBits = 0;
  std::uint32_t rb = 0;
  std::int32_t epsMinusRb = 0;
  std::uint32_t flags = 0;
  // Each code-block clears its own rectangle late (see CodeBlock::Clearing)
  // instead of the band's plane being cleared at once.
  bool clearLate = false;
};

void BuildBand(Band& band, const BandBuild& b, BDiagnOutput* output);

class TileComponent {
 public:
  TileComponent() = default;
  TileComponent(const TileComponent&) = delete;
  TileComponent& operator=(const TileComponent&) = delete;

  Band ll;                                  // resolution 0
  OwnedArray<ResolutionBands> resolutions;  // entry i: resolution NL - i
  std::uint32_t levels = 0;
  DiagnRoute route;
  std::uint32_t lowestResolution = ~0u;  // lowest resolution with a non-empty band

  // The bands a packet of resolution r visits, in order; returns their count.
  std::uint32_t BandsOf(std::uint32_t r, Band* out[3]);

  // fn(code-block) for every code-block, resolution by resolution.
  template <class Fn>
  void ForEachCodeBlock(Fn&& fn) {
    for (std::uint32_t r = 0; r <= levels; ++r) {
      Band* bands[3];
      const std::uint32_t nb = BandsOf(r, bands);
      for (std::uint32_t k = 0; k < nb; ++k)
        for (auto& row : bands[k]->precincts)
          for (PrecinctBand& pb : row)
            for (CodeBlock& cb : pb.codeBlocks) fn(cb);
    }
  }
};

// Zeroes the rectangles of the code-blocks whose late clearing is still owed
// (see CodeBlock::ClearOwed): the planes then hold every code-block's
// coefficients.
void ClearOwedCodeBlocks(TileComponent& tc);

// Precinct parts and code-blocks a tile may hold in all (about 300 bytes of
// records each at most, so some 600 MB); more is refused with
// Except_faultMalloc.  A 4096 x 2160 three-component frame with 4 x 4
// code-blocks needs under 2^21; 2 x 2 precincts over a 2048 x 2048 tile, from
// a 60 KB codestream, would take 1.5 GB (and every decoder thread may hold
// such a tile).
inline constexpr std::uint64_t kMaxTileRecords = std::uint64_t{1} << 21;

// Coefficients a tile may hold over all its components (4 bytes each, so
// 1 GB); more is refused with Except_faultMalloc.  A 4096 x 2160 frame of
// three components holds under 2^25.
inline constexpr std::uint64_t kMaxTileSamples = std::uint64_t{1} << 28;

// Precinct parts and code-blocks of one tile-component, without building
// them; any value above limit means "more than limit".
std::uint64_t CountTileComponentRecords(const Rect& tcRect, const CodingStyle& style, const QuantStyle& quant,
                                        std::uint64_t limit);

// Builds one tile-component over its coefficient planes, which are cleared
// (with `clearLate`, each code-block's rectangle is cleared only at its first
// inclusion, or by CodeBlock::Finish for one that no packet includes: the
// planes hold zeros after every code-block has finished).
void BuildTileComponent(TileComponent& tc, const Rect& tcRect, const CodingStyle& style,
                        const QuantStyle& quant, std::uint32_t precision, std::uint32_t layers,
                        LevelSet& planes, BDiagnOutput* output, bool clearLate = false);

}  // namespace Codec
