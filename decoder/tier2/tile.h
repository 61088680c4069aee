// The tile record: the tile-part headers of one tile, its coefficient planes,
// its packet iterator and tile-components, and the packet loop over them.
#pragma once

#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/tile_part_header.h"
#include "decoder/diagnostics.h"
#include "decoder/geometry.h"
#include "decoder/holders.h"
#include "decoder/level_set.h"
#include "decoder/tier2/lent_planes.h"
#include "decoder/tier2/packet_iterator.h"
#include "decoder/tier2/tile_component.h"

namespace Codec {

class Tile {
 public:
  Tile() = default;
  Tile(const Tile&) = delete;
  Tile& operator=(const Tile&) = delete;

  // Where the tile's diagnostics go.
  void SetOutput(BDiagnOutput* output);

  // Rectangle of tile `index` on the reference grid, and one empty LevelSet
  // per component.
  void SetTileRect(const CodestreamHeader& header, std::uint32_t index);

  // First tile-part of the tile (after its SOT segment): its header up to SOD,
  // then the coefficient planes, the packet iterator and the tile-components.
  // The coefficient planes lie in the `lend` planes when the tile can take
  // them (TakesLentPlanes).
  void Start(CodecAdapterBoundedInputBE& in, const LentPlanes* lend = nullptr);
  // Later tile-part: its header up to SOD; the iterator takes its POC records.
  void Continue(CodecAdapterBoundedInputBE& in);

  // Reads the packet the iterator names and advances it.  False when the tile
  // has no packet left (nothing is read then; code-blocks still waiting for
  // layers are decoded with what they have).
  bool DecodeNextPacket(CodecAdapterBoundedInputBE& in);

  // Decodes every code-block's waiting bytes; for a tile whose data ended early.
  void FinishCodeBlocks();

  const Rect& TileRect() const { return rect_; }
  std::uint32_t ComponentCount() const { return componentCount_; }
  TileComponent& Component(std::uint32_t c) { return components_[c]; }
  // The coefficient planes of component c, whole: the rectangles of
  // code-blocks no packet included are cleared first.
  LevelSet& Planes(std::uint32_t c);
  // The planes as the packets left them: the rectangles of code-blocks that
  // no packet included are still owed their clearing (CodeBlock::ClearOwed),
  // for a reader that takes them as zeros.
  LevelSet* PlanesAsDecoded() { return levelSets_.Data(); }
  const TileCodingParams& Params() const { return params_; }
  const GlobalCodingStyle& Global() const { return *params_.globalStyle; }
  PacketIterator& Iterator() { return iterator_; }
  std::uint32_t TilePartsRead() const { return tilePartsRead_; }
  std::uint32_t tilePartsAnnounced = 0;
  // Whether the tile's coefficients lie in the caller's planes.
  bool Lent() const { return lent_; }

 private:
  template <class In>
  void DecodePacket(In& in, const PacketPosition& p);

  DiagnRoute route_;
  Rect rect_;
  const CodestreamHeader* header_ = nullptr;
  TileCodingParams params_;
  OwnedRef<ProgressionList> tilePartChanges_;
  DiagnRoute tilePartRoute_;
  PacketIterator iterator_;
  OwnedArray<TileComponent> components_;
  std::uint32_t componentCount_ = 0;
  OwnedArray<LevelSet> levelSets_;
  std::uint32_t tilePartsRead_ = 0;
  bool finished_ = false;
  bool lent_ = false;
};

}  // namespace Codec
