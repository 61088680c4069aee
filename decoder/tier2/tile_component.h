// Tile structures: what tier 2 (packets) and tier 1 (code-blocks) work on.
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

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/coding_params.h"
#include "decoder/diagnostics.h"
#include "decoder/geometry.h"
#include "decoder/holders.h"
#include "decoder/level_set.h"
#include "decoder/tier2/packet_iterator.h"

struct PrimCodeBlockDecoderState;

namespace Codec {

// ---------------------------------------------------------------------------
// Tag trees.

class TagTree {
 public:
  struct Node {
    Node* parent = nullptr;
    std::uint32_t value = 0x7FFFFFFF;  // not decoded yet
    std::uint32_t lowerBound = 0;
  };

  TagTree() = default;
  TagTree(const TagTree&) = delete;
  TagTree& operator=(const TagTree&) = delete;

  // A tree over a width x height grid of leaves; 0 x anything has no nodes.
  void Build(std::uint32_t width, std::uint32_t height);

  // True when the value of leaf `leaf` (raster index) is below threshold t,
  // reading as many bits as that takes.  BitIn has ReadBit().
  template <class BitIn>
  bool Decode(BitIn& bits, std::size_t leaf, std::uint32_t t);

  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  std::size_t NodeCount() const { return nodes_.Count(); }
  const Node& NodeAt(std::size_t i) const { return nodes_[i]; }

  // Levels above the leaves never exceed this (grids are below 2^32 per axis).
  static constexpr int kMaxDepth = 34;

 private:
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  OwnedArray<Node> nodes_;
};

template <class BitIn>
bool TagTree::Decode(BitIn& bits, std::size_t leaf, std::uint32_t t) {
  Node* path[kMaxDepth + 1];
  int depth = 0;
  for (Node* n = &nodes_[leaf]; n && depth <= kMaxDepth; n = n->parent) path[depth++] = n;
  std::uint32_t b = 0;
  while (depth > 0) {
    Node* n = path[--depth];
    if (b > n->lowerBound) n->lowerBound = b;
    else b = n->lowerBound;
    while (b < t && b < n->value) {
      if (bits.ReadBit()) n->value = b;
      else ++b;
    }
    n->lowerBound = b;
  }
  return nodes_[leaf].value < t;
}

// ---------------------------------------------------------------------------
// Code-blocks.

// Where a code-block's packets come from: the body bytes of a packet.
class PacketBodyInput {
 public:
  virtual ~PacketBodyInput() = default;
  // Exactly n bytes of the packet body, or Except_noDataToRead.
  virtual void ReadBody(std::uint8_t* dst, std::size_t n) = 0;
  // Bytes that can still be read before the end of the input as a whole.
  virtual std::uint64_t Available() const = 0;
};

// Everything a code-block needs to know of its band.
struct CodeBlockParams {
  std::int32_t* destination = nullptr;  // first coefficient in the band plane
  std::int32_t step = 0;                // plane row step in bytes
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t orientation = kBandLL;
  std::uint32_t guardBits = 0;
  std::uint32_t rb = 0;        // nominal range: precision + band gain
  std::int32_t epsMinusRb = 0;  // quantisation exponent minus Rb
  std::uint32_t flags = 0;      // decoding flags from the code-block style
  std::uint32_t layers = 0;     // quality layers of the tile
};

class CodeBlock {
 public:
  CodeBlock() = default;
  ~CodeBlock();
  CodeBlock(const CodeBlock&) = delete;
  CodeBlock& operator=(const CodeBlock&) = delete;

  // Before any packet: parameters stored, Lblock 3, nothing received, the
  // destination rectangle cleared.  The decoder state is made at the first
  // inclusion, so code-blocks that no packet includes cost no state.
  void SetUp(const CodeBlockParams& p, BDiagnOutput* output);

  // First inclusion, with z missing most significant bit-planes.
  void Begin(std::uint32_t z);
  // A codeword segment announced by the packet header of layer `layer`.
  void AddSegment(std::uint32_t layer, std::uint32_t length, std::uint32_t passes);
  // The body of layer l: consumes this code-block's announced bytes from the
  // input and decodes what can be decoded.
  void DecodeLayers(std::uint32_t l, PacketBodyInput& in);
  // When the tile has no packet left: decodes whatever bytes still wait.
  void Finish();

  bool Included() const { return passesReceived_ != 0; }
  bool Begun() const { return begun_; }
  std::uint32_t PassesReceived() const { return passesReceived_; }
  std::uint32_t ZeroBitPlanes() const { return zeroBitPlanes_; }
  std::uint32_t Lblock() const { return lblock_; }
  void SetLblock(std::uint32_t v) { lblock_ = v; }
  std::uint32_t PendingPasses() const { return pendingSegPasses_; }
  std::uint64_t PendingBytes() const { return pendingSegBytes_; }
  std::size_t PendingSegmentCount() const { return segments_.Count(); }
  std::size_t BufferedBytes() const { return data_.Unread(); }
  std::uint32_t DecodeCount() const { return decodes_; }
  const CodeBlockParams& Params() const { return params_; }
  // Bit-planes given to the decoder at Begin (after clamping).
  std::int32_t BitPlanes() const { return bitPlanes_; }

 private:
  struct Segment {
    std::uint32_t length = 0;
    std::uint32_t passes = 0;
  };

  void EnsureState();
  // Reads the data buffer into a block one byte longer and empties it.
  void TakeBuffer(OwnedBuffer& block, std::size_t& length);
  void DecodeBlock(const std::uint8_t* bytes, std::size_t length);
  void Check();
  void SetPasses(std::uint32_t passes);
  void ClearSegments();

  std::uint32_t passesReceived_ = 0;
  std::uint32_t zeroBitPlanes_ = 0;
  DiagnRoute route_;
  PrimCodeBlockDecoderState* state_ = nullptr;  // aligned block, owned
  // Segments of the packet being read: {length, passes}, with their layer and sums.
  OwnedList<Segment> segments_;
  std::uint32_t segmentLayer_ = 0;
  std::uint64_t pendingSegBytes_ = 0;
  std::uint32_t pendingSegPasses_ = 0;
  std::uint32_t lblock_ = 3;
  CodeBlockParams params_;
  std::int32_t bitPlanes_ = 0;
  SegmentChain data_;
  // Bypass bookkeeping.
  std::uint32_t totalPasses_ = 0;
  std::uint32_t pendingPasses_ = 0;
  std::int32_t lastSegmentEnd_ = -1;
  bool begun_ = false;
  std::uint32_t decodes_ = 0;
};

// ---------------------------------------------------------------------------
// Precincts, bands, resolutions.

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
  Rect resolution;          // rectangle of the band's resolution
  bool lowestResolution = false;  // resolution 0: the band is the resolution
  PrecinctSize precinct;    // exponents of the resolution
  std::uint32_t xcb = 6, ycb = 6;  // code-block exponents
  SubbandPlane* plane = nullptr;
  std::uint32_t layers = 0;
  std::uint32_t guardBits = 0;
  std::uint32_t rb = 0;
  std::int32_t epsMinusRb = 0;
  std::uint32_t flags = 0;
};

void BuildBand(Band& band, const BandBuild& b, BDiagnOutput* output);

class TileComponent {
 public:
  TileComponent() = default;
  TileComponent(const TileComponent&) = delete;
  TileComponent& operator=(const TileComponent&) = delete;

  Band ll;                                // resolution 0
  OwnedArray<ResolutionBands> resolutions;  // entry i: resolution NL - i
  std::uint32_t levels = 0;
  DiagnRoute route;
  std::uint32_t lowestResolution = ~0u;  // lowest resolution with a non-empty band

  // The bands a packet of resolution r visits, in order; returns their count.
  std::uint32_t BandsOf(std::uint32_t r, Band* out[3]);
};

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

// Builds one tile-component over its coefficient planes.
void BuildTileComponent(TileComponent& tc, const Rect& tcRect, const CodingStyle& style, const QuantStyle& quant,
                        std::uint32_t precision, std::uint32_t layers, LevelSet& planes, BDiagnOutput* output);

// ---------------------------------------------------------------------------
// Coding parameters of one tile.

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
void ReadFirstTilePartHeader(CodecAdapterBoundedInputBE& in, const CodestreamHeader& header, TileCodingParams& params);

// The header of a later tile-part: only POC counts; the list in force for the
// tile-part is made in `changes` (shared with the tile's list when none).
void ReadLaterTilePartHeader(CodecAdapterBoundedInputBE& in, const TileCodingParams& params, std::uint32_t csiz,
                             OwnedRef<ProgressionList>& changes, BDiagnOutput& out);

// ---------------------------------------------------------------------------
// The tile record.

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
  void Start(CodecAdapterBoundedInputBE& in);
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
  LevelSet& Planes(std::uint32_t c) { return levelSets_[c]; }
  const TileCodingParams& Params() const { return params_; }
  const GlobalCodingStyle& Global() const { return *params_.globalStyle; }
  PacketIterator& Iterator() { return iterator_; }
  std::uint32_t TilePartsRead() const { return tilePartsRead_; }
  std::uint32_t tilePartsAnnounced = 0;

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
};

}  // namespace Codec
