// The codestream reader: the main header, then the tile-parts (SOT segment,
// tile-part header up to SOD, packet data) up to EOC, and the output of the
// decoded tiles into the caller's planes.  Codec::JPEG2000Decoder runs it on
// the attached stream; the JP2 decoder on the contents of its codestream box.
#pragma once

#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/diagnostics.h"
#include "decoder/holders.h"
#include "decoder/image_records.h"
#include "decoder/tier2/tile.h"

namespace Codec {

class CodestreamReader {
 public:
  CodestreamReader() { header.SetOutput(output); }
  CodestreamReader(const CodestreamReader&) = delete;
  CodestreamReader& operator=(const CodestreamReader&) = delete;

  // Where warnings and caught failures go (null: dropped).
  void SetOutput(BDiagnOutput* out);
  BDiagnOutput& Output() const { return *output; }

  // Back to the state before a codestream, reading from `in`.
  void Reset(CodecAdapterBoundedInputBE* in);

  // Main header, then one tile record per tile.
  void ReadCodestreamHeader();
  // True when a tile-part header was read and its data may follow; false at
  // the end of the codestream.
  bool ReadNextTilePart();
  // True while the current tile-part may hold further packets; decodes at
  // most one packet per call.
  bool ReadTilePartData();
  // Every tile-part and packet up to the end of the codestream.
  void ReadAllTileParts();

  // The start and the end of a ReadHeader's reading: the start refuses it
  // after a failed read (Except_EarlierReadFailed); until the end, the read
  // counts as failed.
  void StartHeaderRead();
  void EndHeaderRead() { reading = Reading::kOpen; }

  // ReadData of both decoders, once they have a state.  First the refusals,
  // which read and write nothing and leave the reader as it was: after a
  // failed read (Except_EarlierReadFailed); after a ReadData that succeeded
  // with lending on, or any successful one once lending is on
  // (Except_LentPlanesHoldSamples); an image that does not fit the header
  // (CheckCallerImage: false, without a diagnostic); 16-bit planes for
  // deeper components (Except_BitDepthExceedsDataType).  Then reads every
  // tile-part left and writes every tile into the planes; false, after the
  // reading, for a data type other than 3 and 6.  With `lendPlanes` the tiles
  // that start during the call may keep their coefficients in the planes
  // (lent_planes.h).  A failure from the reading on, thrown or false, is
  // final: every later read is refused.  Throws the diagnostic that stops it.
  bool ReadData(void* const* planes, const ImageBufferDescr* descr);

  // Writes every tile into the caller's planes (data type 3 or 6), in tile
  // order.  Refuses the call before anything is written when a tile cannot
  // be written into these planes.
  void WriteTiles(void* const* planes, const ImageBufferDescr& descr);

  std::uint32_t TileCount() const { return static_cast<std::uint32_t>(tiles.Count()); }
  Tile& TileAt(std::uint32_t i) const { return tiles[i]; }

  // Fields of the reader, in the order the decoder's state lists them.
  CodecAdapterBoundedInputBE* input = nullptr;
  BDiagnOutput defaultOutput;
  BDiagnOutput* output = &defaultOutput;
  bool tilePartsPending = false;
  bool sotAlreadyRead = true;
  CodestreamHeader header;
  OwnedArray<Tile> tiles;
  std::uint32_t currentTile = 0xFFFFFFFFu;
  std::uint32_t tilePartRemaining = 0;
  bool tilePartLengthKnown = false;
  // Per tile: whether its component transform may be applied (set when the
  // tile starts).
  OwnedArray<std::uint8_t> mctApplicable;
  // The tile-components of the tiles started so far, each weighted by its
  // levels + 2 (its own records and those of each resolution): a started
  // tile keeps about a kilobyte per component and half of one per resolution
  // until the image is written, whatever its size, so the sum is bounded by
  // kMaxStartedTileWeight.
  std::uint64_t startedTileWeight = 0;
  // Whether ReadData lends the caller's planes (the caller's choice; kept
  // when a new stream is attached).
  bool lendPlanes = false;
  // What the reads of the attached stream have come to, for the refusals at
  // the start of the next one (back to kOpen when a stream is attached).
  enum class Reading : std::uint8_t {
    kOpen,          // no ReadData has succeeded
    kSamplesGiven,  // one succeeded without lending: more may follow, not
                    // with lending on
    kSamplesLent,   // one succeeded with lending on: the samples are only in
                    // the caller's planes
    kFailed,        // a ReadHeader or ReadData failed once it began to read:
                    // the tiles are half read, the stream stands anywhere
  };
  Reading reading = Reading::kOpen;

 private:
  // The planes offered to the tiles that start, during a lending ReadData.
  const LentPlanes* offer_ = nullptr;

  // First tile-part of tile `index`: the tile starts, its started weight is
  // counted and whether its component transform applies is recorded.
  void StartTile(std::uint32_t index, CodecAdapterBoundedInputBE& in);
  // Bytes of tile-part data after a header of `headerSize` bytes, from Psot.
  void SetTilePartLength(std::uint32_t psot, std::uint64_t headerSize);
};

// About a gigabyte of tile structures: far above what real images need
// (65535 tiles of three components and five levels weigh 1.4 M), far below
// what a few hundred kilobytes of tiny tiles of many components and levels
// could otherwise claim.
inline constexpr std::uint64_t kMaxStartedTileWeight = std::uint64_t{1} << 21;

}  // namespace Codec
