// The main header of a JPEG 2000 codestream: SOC, SIZ and every marker
// segment up to the first SOT, kept in the CodestreamHeader of the decoder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/coding_params.h"
#include "decoder/diagnostics.h"
#include "decoder/geometry.h"
#include "decoder/holders.h"

namespace Codec {

// One POC entry.
struct ProgressionChange {
  std::uint32_t progressionOrder = 0;
  std::uint32_t resolutionStart = 0;
  std::uint32_t resolutionCount = 0;  // end - start
  std::uint32_t resolutionEnd = 0;
  std::uint32_t componentStart = 0;
  std::uint32_t componentCount = 0;  // end - start
  std::uint32_t componentEnd = 0;
  std::uint32_t layerEnd = 0;
};

// Limits beyond which SIZ is refused.
inline constexpr std::uint32_t kMaxComponents = 16384;
inline constexpr std::uint32_t kMaxTiles = 65535;
inline constexpr std::uint32_t kMaxPrecisionIndex = 37;  // bit depth 38

class CodestreamHeader {
 public:
  CodestreamHeader() = default;
  CodestreamHeader(const CodestreamHeader&) = delete;
  CodestreamHeader& operator=(const CodestreamHeader&) = delete;

  // Back to the state before a codestream: geometry zero, per-component
  // arrays and owned records freed, global style zeroed, progression changes
  // freed, COD missing.  The default records keep what they hold.
  void Reset();

  // Where warnings go (null: dropped).
  void SetOutput(BDiagnOutput* output) { route.SetOutput(output); }
  BDiagnOutput& Output() const { return *route.Output(); }

  // Tile grid, valid once SIZ has been read (SIZ refuses more than kMaxTiles).
  std::uint32_t TilesAcross() const;
  std::uint32_t TilesDown() const;
  std::uint32_t TileCount() const { return TilesAcross() * TilesDown(); }

  std::uint32_t BitDepth(std::size_t c) const { return (precisions[c] & 0x7F) + 1u; }
  bool IsSigned(std::size_t c) const { return (precisions[c] & 0x80) != 0; }
  std::size_t ProgressionChangeCount() const { return progressionChanges.Count(); }

  Rect image;                     // XOsiz, YOsiz, Xsiz - XOsiz, Ysiz - YOsiz
  std::uint32_t tileOriginX = 0;  // XTOsiz, moved to at or before XOsiz
  std::uint32_t tileOriginY = 0;
  std::uint32_t tileWidth = 0;  // XTsiz
  std::uint32_t tileHeight = 0;
  std::uint16_t componentCount = 0;     // Csiz
  OwnedArray<std::uint8_t> precisions;  // raw Ssiz: bit 7 signed, bits 0-6 depth - 1
  OwnedArray<SamplingPair> sampling;    // XRsiz, YRsiz
  ComponentQuantStyles quantStyles;
  ComponentCodingStyles codingStyles;
  GlobalCodingStyle globalStyle;
  OwnedArray<ProgressionChange> progressionChanges;
  bool codMissing = true;
  DiagnRoute route;
};

// SOC and SIZ.
void ReadSOCAndSIZ(CodecAdapterBoundedInputBE& in, CodestreamHeader& header);

// POC body into `changes` (remade), for a codestream of csiz components.
void ReadPOCBody(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, std::uint32_t csiz,
                 OwnedArray<ProgressionChange>& changes);

// SOC, SIZ and the main-header marker segments.  True when the header ended
// at SOT (whose code is then consumed), false when it ended at EOC.
bool ReadMainHeader(CodecAdapterBoundedInputBE& in, CodestreamHeader& header);

}  // namespace Codec
