// Tile-parts and the codestream body.
#include "decoder/codestream_reader.h"

#include "decoder/codestream/marker_io.h"
#include "decoder/reconstruct/tile_output.h"

namespace Codec {

void CodestreamReader::SetOutput(BDiagnOutput* out) {
  output = out ? out : &defaultOutput;
  header.SetOutput(output);
}

void CodestreamReader::Reset(CodecAdapterBoundedInputBE* in) {
  input = in;
  header.Reset();
  tilePartsPending = false;
  sotAlreadyRead = true;
  tiles.Reset();
  mctApplicable.Reset();
  currentTile = 0xFFFFFFFFu;
  tilePartRemaining = 0;
  tilePartLengthKnown = false;
  startedTileWeight = 0;
  reading = Reading::kOpen;
}

void CodestreamReader::StartHeaderRead() {
  if (reading == Reading::kFailed) throw J2k::Except_EarlierReadFailed();
  reading = Reading::kFailed;
}

void CodestreamReader::ReadCodestreamHeader() {
  tiles.Reset();
  mctApplicable.Reset();
  startedTileWeight = 0;
  tilePartsPending = ReadMainHeader(*input, header);
  sotAlreadyRead = true;
  // The tile count is a product of two 32-bit counts: refuse it before the
  // array is made when it does not fit.
  const std::uint64_t count = std::uint64_t{header.TilesAcross()} * header.TilesDown();
  if (count > kMaxTiles) throw J2k::Except_SIZGeometryTooLage();
  const auto n = static_cast<std::uint32_t>(count);
  tiles.Reset(n);
  mctApplicable.Reset(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    tiles[i].SetOutput(output);
    tiles[i].SetTileRect(header, i);
  }
}

namespace {

// Reads markers up to the next SOT; false when the codestream ends first: at
// EOC, or where the data ends without one (a truncated frame, or surplus
// tile-part bytes skipped up to the end), and then what was decoded is kept.
bool SeekSOT(CodecAdapterBoundedInputBE& in, BDiagnOutput& out) {
  for (;;) {
    if (in.Remaining() < 2) return false;
    const std::uint16_t code = ReadMarker(in);
    if (code == kMarkerSOT) return true;
    if (code == kMarkerEOC) return false;
    out.Warning(J2k::Warn_CodeStreamBodyUnknownMarker());
    // 0xFF30 to 0xFF3F stand alone; every other code carries a length.
    if (code == kMarkerReservedNoSegment) continue;
    in.SkipBytes(ReadMarkerLength(in));
  }
}

struct SOTSegment {
  std::uint32_t bodyLength = 0;
  std::uint32_t isot = 0;   // tile index
  std::uint32_t psot = 0;   // tile-part length, 0 when not known
  std::uint32_t tpsot = 0;  // tile-part index
  std::uint32_t tnsot = 0;  // tile-parts of the tile, 0 when not known
};

// The SOT segment, after its marker.
SOTSegment ReadSOT(CodecAdapterBoundedInputBE& in, BDiagnOutput& out) {
  SOTSegment sot;
  sot.bodyLength = ReadMarkerLength(in);
  OpenSegment(in, sot.bodyLength, out);
  sot.isot = in.TakeU16();
  sot.psot = in.TakeU32();
  sot.tpsot = in.ReadU8();
  sot.tnsot = in.ReadU8();
  CloseSegment(in, out);
  return sot;
}

// Tile-part index and count of an SOT against what the tile has seen.
void CheckTilePartCounts(Tile& tile, const SOTSegment& sot, BDiagnOutput& out) {
  if (sot.tpsot != tile.TilePartsRead()) out.Warning(J2k::Warn_SOTTilePartIndexMismatch());
  if (sot.tnsot != 0) {
    if (tile.tilePartsAnnounced != 0 && tile.tilePartsAnnounced != sot.tnsot) {
      out.Warning(J2k::Warn_SOTNOfTilePartsMismatch());
      if (sot.tnsot > tile.tilePartsAnnounced) tile.tilePartsAnnounced = sot.tnsot;
    } else {
      tile.tilePartsAnnounced = sot.tnsot;
    }
  }
  if (tile.tilePartsAnnounced != 0 && tile.tilePartsAnnounced <= tile.TilePartsRead())
    out.Warning(J2k::Warn_ActualNOfTilePartsExceedSpecifiedInSOT());
}

}  // namespace

bool CodestreamReader::ReadNextTilePart() {
  if (!tilePartsPending) return false;
  CodecAdapterBoundedInputBE& in = *input;
  BDiagnOutput& out = *output;
  if (sotAlreadyRead) {
    sotAlreadyRead = false;
  } else if (!SeekSOT(in, out)) {
    tilePartsPending = false;
    return false;
  }

  // SOT segment.
  const SOTSegment sot = ReadSOT(in, out);
  if (sot.isot >= tiles.Count()) throw J2k::Except_SOTTileIndexExceedNOfTiles();
  currentTile = sot.isot;
  Tile& tile = tiles[sot.isot];
  const std::uint32_t before = in.Consumed();
  CheckTilePartCounts(tile, sot, out);

  // Tile-part header.
  if (tile.TilePartsRead() == 0)
    StartTile(sot.isot, in);
  else
    tile.Continue(in);

  const std::uint64_t headerSize = 2ull + (sot.bodyLength + 2ull) + (in.Consumed() - before);
  SetTilePartLength(sot.psot, headerSize);
  return true;
}

void CodestreamReader::StartTile(std::uint32_t index, CodecAdapterBoundedInputBE& in) {
  Tile& tile = tiles[index];
  tile.Start(in, offer_);
  const std::uint32_t n = tile.ComponentCount();
  OwnedArray<std::uint32_t> transforms;
  transforms.Reset(n ? n : 1);
  for (std::uint32_t c = 0; c < n; ++c) {
    transforms[c] = tile.Params().coding[c]->transform;
    startedTileWeight += std::uint64_t{tile.Params().coding[c]->levels} + 2;
  }
  if (startedTileWeight > kMaxStartedTileWeight) throw J2k::Except_faultMalloc();
  mctApplicable[index] = CheckTileMCT(n, tile.Global().mct, transforms.Data(), *output) ? 1 : 0;
}

void CodestreamReader::SetTilePartLength(std::uint32_t psot, std::uint64_t headerSize) {
  if (psot != 0) {
    if (psot < headerSize) {
      output->Warning(J2k::Warn_SOTTilePartLengthLessHeaderSize());
      tilePartRemaining = 0;
      tilePartLengthKnown = false;
    } else {
      tilePartLengthKnown = true;
      tilePartRemaining = static_cast<std::uint32_t>(psot - headerSize);
    }
  } else {
    tilePartLengthKnown = false;
  }
}

bool CodestreamReader::ReadTilePartData() {
  Tile& tile = tiles[currentTile];
  CodecAdapterBoundedInputBE& in = *input;
  if (!tilePartLengthKnown) return tile.DecodeNextPacket(in);
  if (tilePartRemaining == 0) return false;
  const std::uint32_t before = in.Consumed();
  const bool decoded = tile.DecodeNextPacket(in);
  const std::uint32_t used = in.Consumed() - before;
  if (used > tilePartRemaining) {
    output->Warning(J2k::Warn_SOTTilePartLengthLessActualLength());
    tilePartLengthKnown = false;
    tilePartRemaining = 0;
    return true;
  }
  if (!decoded) {
    output->Warning(J2k::Warn_SOTTilePartLengthExceedActualLength());
    // Surplus bytes are skipped up to the end of the data at most: a length
    // that runs past the end changes nothing in packets already decoded.
    const std::uint32_t available = in.Remaining();
    in.SkipBytes(tilePartRemaining < available ? tilePartRemaining : available);
    tilePartRemaining = 0;
    return true;
  }
  tilePartRemaining -= used;
  return true;
}

void CodestreamReader::ReadAllTileParts() {
  while (ReadNextTilePart()) {
    while (ReadTilePartData()) {
    }
  }
}

bool CodestreamReader::ReadData(void* const* planes, const ImageBufferDescr* descr) {
  // A failed read may have stopped anywhere in the stream and in the tiles
  // (and left coefficients in lent planes); lent planes that were given the
  // samples may have been freed since.  Neither is read or written again.
  if (reading == Reading::kFailed) throw J2k::Except_EarlierReadFailed();
  if (reading == Reading::kSamplesLent || (reading == Reading::kSamplesGiven && lendPlanes))
    throw J2k::Except_LentPlanesHoldSamples();
  // The caller's image must take every component before a byte is decoded.
  if (!descr || !CheckCallerImage(header, planes, *descr)) return false;
  if (descr->dataType == kImageData16s) CheckDepthsFit16(header);

  // From here on a failure is final: the flag stays unless the read succeeds.
  reading = Reading::kFailed;
  const LentPlanes call = PlanesOfCall(header.componentCount, planes, *descr);
  // The offer holds for this call only.
  struct Offer {
    const LentPlanes*& slot;
    ~Offer() { slot = nullptr; }
  } offer{offer_};
  offer_ = lendPlanes ? &call : nullptr;
  ReadAllTileParts();
  if (descr->dataType != kImageData16s && descr->dataType != kImageData32s) return false;
  WriteTiles(planes, *descr);
  reading = lendPlanes ? Reading::kSamplesLent : Reading::kSamplesGiven;
  return true;
}

void CodestreamReader::WriteTiles(void* const* planes, const ImageBufferDescr& descr) {
  const std::uint32_t n = header.componentCount;
  if (n == 0) return;
  // Whatever refuses the call refuses it before any tile is written.
  for (std::uint32_t t = 0; t < tiles.Count(); ++t) {
    const Tile& tile = tiles[t];
    if (tile.TilePartsRead() == 0 || tile.ComponentCount() != n) continue;
    if (mctApplicable[t] && tile.Global().mct && IsMCTResampled(header)) throw J2k::Except_mctIsResampled();
  }
  // Bytes still waiting in code-blocks are decoded before a sample is written.
  for (std::uint32_t t = 0; t < tiles.Count(); ++t)
    if (tiles[t].TilePartsRead() != 0) tiles[t].FinishCodeBlocks();

  OwnedArray<std::uint8_t*> data;
  OwnedArray<std::uint32_t> transforms;
  OwnedArray<const QuantStyle*> quant;
  data.Reset(n);
  transforms.Reset(n);
  quant.Reset(n);
  for (std::uint32_t c = 0; c < n; ++c) data[c] = static_cast<std::uint8_t*>(planes[c]);
  const CallerPlanes caller{data.Data(), descr.rowSteps, descr.dataType};
  // 16-bit samples of deep components are made on 32 bits, then narrowed.
  WidePlanes wide;
  if (caller.dataType == kImageData16s && NeedsWideReconstruction(header)) wide.Alloc(header);
  for (std::uint32_t t = 0; t < tiles.Count(); ++t) {
    Tile& tile = tiles[t];
    // A tile without any tile-part has no planes: nothing of it is written.
    if (tile.TilePartsRead() == 0 || tile.ComponentCount() != n) continue;
    for (std::uint32_t c = 0; c < n; ++c) {
      transforms[c] = tile.Params().coding[c]->transform;
      quant[c] = tile.Params().quant[c].Get();
    }
    TileOutputInput in;
    in.rect = tile.TileRect();
    in.sets = tile.PlanesAsDecoded();
    in.transforms = transforms.Data();
    in.quant = quant.Data();
    in.applyMct = mctApplicable[t] && tile.Global().mct;
    in.blocks = &tile.Component(0);
    in.lent = tile.Lent();
    if (wide.Allocated()) {
      OutputTile(header, in, wide.Planes());
      NarrowTile(header, in.rect, wide.Planes(), caller);
    } else {
      OutputTile(header, in, caller);
    }
  }
}

}  // namespace Codec
