// Tile output into the caller image: each component of a tile is
// reconstructed straight into its place in the caller's plane, then the
// inverse component transform, the level shift of unsigned components and
// the clamp to the component's range turn the values into samples.
//
// The caller's image is checked against the codestream header before any
// tile is written, and every write stays inside the caller's planes: a
// tile-component that does not fit its plane is reconstructed aside and only
// its visible part is copied in.
#pragma once

#include <cstdint>

#include "decoder/codestream/codestream_header.h"
#include "decoder/diagnostics.h"
#include "decoder/image_records.h"
#include "decoder/level_set.h"
#include "decoder/tier2/tile_component.h"

namespace Codec {

// Rectangle of tile `index` on the reference grid: its grid cell cut to the
// image (an axis without overlap becomes {all ones, 0}).
Rect TileRectOf(const CodestreamHeader& h, std::uint32_t index);

// True when there are three or more components and components 0 and 1, or 1
// and 2, are sampled differently.
bool IsMCTResampled(const CodestreamHeader& h);

// Whether a tile may apply its component transform: needs three components
// whose first three use the same wavelet transform; warns through `out`
// otherwise (when the tile asks for the transform).
bool CheckTileMCT(std::uint32_t componentCount, bool mct, const std::uint32_t* transforms, BDiagnOutput& out);

// One tile as the output sees it.
struct TileOutputInput {
  Rect rect;                                  // tile rectangle on the reference grid
  LevelSet* sets = nullptr;                   // one per component
  const std::uint32_t* transforms = nullptr;  // per component: 0 = 9/7
  const QuantStyle* const* quant = nullptr;   // per component
  bool applyMct = false;                      // flag from CheckTileMCT and the tile's MCT byte
  TileComponent* blocks = nullptr;            // per component, or null
  // Components 0 to 2 have their planes in the caller's (PlaceLevelSet32).
  bool lent = false;
};

// The caller's planes, checked: one {first sample, row step} per component
// and the data type (3: 16-bit, 6: 32-bit samples).
struct CallerPlanes {
  std::uint8_t* const* data = nullptr;
  const std::uint32_t* rowSteps = nullptr;
  std::int32_t dataType = 0;
};

// Checks the caller's image description against the header: plane layout,
// plane count, non-null planes, sampling, row steps and plane sizes.  True
// when every component's plane can take the whole component.
bool CheckCallerImage(const CodestreamHeader& h, void* const* planes, const ImageBufferDescr& descr);

// Reconstructs and stores one tile.  Throws Except_mctIsResampled (after the
// components were reconstructed) when the tile applies its component
// transform to components sampled differently, and whatever reconstruction
// throws.
void OutputTile(const CodestreamHeader& h, const TileOutputInput& tile, const CallerPlanes& planes);

}  // namespace Codec
