// Tile-part headers: the coding parameters of one tile, from the main header's
// defaults and the marker segments between SOT and SOD of its tile-parts.
#pragma once

#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/coding_params.h"
#include "decoder/diagnostics.h"
#include "decoder/holders.h"

namespace Codec {

using ProgressionList = OwnedArray<ProgressionChange>;

struct TileCodingParams {
  TileCodingParams() = default;
  TileCodingParams(const TileCodingParams&) = delete;
  TileCodingParams& operator=(const TileCodingParams&) = delete;

  OwnedRef<ProgressionList> progressionChanges;
  DiagnRoute route;
  OwnedRef<GlobalCodingStyle> globalStyle;
  OwnedPtr<QuantStyle> ownQuant;  // the tile's own default, after a tile-part QCD
  OwnedArray<OwnedRef<QuantStyle>> quant;
  OwnedPtr<CodingStyle> ownCoding;  // the tile's own default, after a tile-part COD
  OwnedArray<OwnedRef<CodingStyle>> coding;
};

// The header of a tile's first tile-part, from after SOT up to and with SOD.
void ReadFirstTilePartHeader(CodecAdapterBoundedInputBE& in, const CodestreamHeader& header,
                             TileCodingParams& params);

// The header of a later tile-part: only POC counts; the list in force for the
// tile-part is made in `changes` (shared with the tile's list when none).
void ReadLaterTilePartHeader(CodecAdapterBoundedInputBE& in, const TileCodingParams& params,
                             std::uint32_t csiz, OwnedRef<ProgressionList>& changes, BDiagnOutput& out);

}  // namespace Codec
