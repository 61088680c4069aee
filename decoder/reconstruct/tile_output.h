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
#include "decoder/holders.h"
#include "decoder/image_records.h"
#include "decoder/level_set.h"
#include "decoder/tier2/tile_component.h"

namespace Codec {

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
  // Components 0 to 2 have their coefficients in the caller's planes
  // (lent_planes.h).
  bool lent = false;
};

// The caller's planes, checked: one {first sample, row step} per component
// and the data type (3: 16-bit, 6: 32-bit samples).
struct CallerPlanes {
  std::uint8_t* const* data = nullptr;
  const std::uint32_t* rowSteps = nullptr;
  std::int32_t dataType = 0;
};

// 16-bit samples (data type 3) hold components of up to 16 bits when signed,
// 15 when unsigned; throws Except_BitDepthExceedsDataType for a deeper one.
void CheckDepthsFit16(const CodestreamHeader& h);

// True when 16-bit samples of the image are made on 32 bits and narrowed
// (WidePlanes, NarrowTile): a component deeper than 11 bits leaves the range
// of 16-bit reconstruction (irreversible samples there carry 4 fractional
// bits, and the coefficients of either transform outgrow 16 bits).
bool NeedsWideReconstruction(const CodestreamHeader& h);

// 32-bit planes of the whole image, one per component, for the samples that
// NarrowTile then hands to 16-bit planes.
class WidePlanes {
 public:
  // Throws Except_faultMalloc when a plane cannot be had.
  void Alloc(const CodestreamHeader& h);
  bool Allocated() const { return count_ != 0; }
  CallerPlanes Planes() const { return {data_.Data(), steps_.Data(), kImageData32s}; }

 private:
  OwnedArray<SubbandPlane> planes_;
  OwnedArray<std::uint8_t*> data_;
  OwnedArray<std::uint32_t> steps_;
  std::uint32_t count_ = 0;
};

// Copies the samples of tile `rect` from 32-bit planes into 16-bit ones, each
// component where it is visible.
void NarrowTile(const CodestreamHeader& h, const Rect& rect, const CallerPlanes& from,
                const CallerPlanes& to);

// Checks the caller's image description against the header: plane layout,
// plane count, non-null planes, sampling, row steps and plane sizes.  True
// when every component's plane can take the whole component.
bool CheckCallerImage(const CodestreamHeader& h, void* const* planes, const ImageBufferDescr& descr);

// Reconstructs and stores one tile.  Throws Except_mctIsResampled, before
// anything is written, when the tile applies its component transform to
// components sampled differently, and whatever reconstruction throws.
void OutputTile(const CodestreamHeader& h, const TileOutputInput& tile, const CallerPlanes& planes);

}  // namespace Codec
