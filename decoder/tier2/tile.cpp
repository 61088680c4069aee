// The tile record: tile-part starts, the tile's packet loop and its end.
#include "decoder/tier2/tile.h"

#include "decoder/tier2/packet.h"

namespace Codec {

void Tile::SetOutput(BDiagnOutput* output) {
  route_.SetOutput(output);
  params_.route.SetOutput(output);
  tilePartRoute_.SetOutput(output);
}

void Tile::SetTileRect(const CodestreamHeader& h, std::uint32_t index) {
  header_ = &h;
  const std::uint32_t across = h.TilesAcross();
  const std::uint64_t p = across ? index % across : 0;
  const std::uint64_t q = across ? index / across : 0;
  const std::uint64_t ix0 = h.image.x, iy0 = h.image.y;
  const std::uint64_t ix1 = ix0 + h.image.width, iy1 = iy0 + h.image.height;
  std::uint64_t x0 = h.tileOriginX + p * h.tileWidth, x1 = x0 + h.tileWidth;
  std::uint64_t y0 = h.tileOriginY + q * h.tileHeight, y1 = y0 + h.tileHeight;
  if (x0 < ix0) x0 = ix0;
  if (y0 < iy0) y0 = iy0;
  if (x1 > ix1) x1 = ix1;
  if (y1 > iy1) y1 = iy1;
  if (x1 < x0) x1 = x0;
  if (y1 < y0) y1 = y0;
  rect_ = {static_cast<std::uint32_t>(x0), static_cast<std::uint32_t>(y0),
           static_cast<std::uint32_t>(x1 - x0), static_cast<std::uint32_t>(y1 - y0)};
  componentCount_ = h.componentCount;
}

void Tile::Start(CodecAdapterBoundedInputBE& in, const LentPlanes* lend) {
  const CodestreamHeader& h = *header_;
  ReadFirstTilePartHeader(in, h, params_);
  const std::uint32_t n = componentCount_;

  // A precinct exponent of 0 above resolution 0 would leave the band split
  // of a one-sample precinct empty on one side and code-blocks narrower than
  // one sample: refused, as a code-block size that cannot be.
  for (std::uint32_t c = 0; c < n; ++c) {
    const CodingStyle& s = *params_.coding[c];
    for (std::uint32_t r = 1; r < s.precincts.Count(); ++r) {
      if (s.precincts[r].ppx == 0) throw J2k::Except_BadCODOrCOCCodeBlockWidth();
      if (s.precincts[r].ppy == 0) throw J2k::Except_BadCODOrCOCCodeBlockHeight();
    }
  }

  // The precinct and code-block records of a tile are refused beyond a
  // fixed budget before anything is allocated: tiny precincts or code-blocks
  // over a large tile would otherwise ask for gigabytes of records.
  std::uint64_t records = 0, samples = 0;
  for (std::uint32_t c = 0; c < n; ++c) {
    const Rect tc = ComponentRect(rect_, h.sampling[c]);
    // Likewise the coefficient planes: a header of a few bytes must not make
    // the decoder take and clear gigabytes.
    samples += std::uint64_t{tc.width} * tc.height;
    if (samples > kMaxTileSamples) ThrowFaultMalloc();
    records += CountTileComponentRecords(tc, *params_.coding[c], *params_.quant[c], kMaxTileRecords);
    if (records > kMaxTileRecords) ThrowFaultMalloc();
  }

  // The planes are made when the tile starts, not with the tile record: a
  // header may announce 65535 tiles of 16384 components.
  levelSets_.Reset(n);
  lent_ = lend && TakesLentPlanes(h, params_, rect_, *lend);
  for (std::uint32_t c = 0; c < n; ++c) {
    const Rect tc = ComponentRect(rect_, h.sampling[c]);
    if (lent_)
      PlaceLevelSet32(levelSets_[c], tc, params_.coding[c]->levels, lend->data[c],
                      static_cast<std::int32_t>(lend->step[c]));
    else
      AllocLevelSet32(levelSets_[c], tc, params_.coding[c]->levels);
  }

  OwnedArray<IteratorComponent> ic;
  ic.Reset(n);
  for (std::uint32_t c = 0; c < n; ++c) ic[c] = {params_.coding[c].Get(), h.sampling[c]};
  const ProgressionList& changes = *params_.progressionChanges;
  iterator_.SetUp(rect_, ic.Data(), n, Global().progressionOrder, Global().layers, changes.Data(),
                  changes.Count());

  components_.Reset(n);
  for (std::uint32_t c = 0; c < n; ++c) {
    const Rect tc = ComponentRect(rect_, h.sampling[c]);
    // Each code-block clears its rectangle of the planes when it is first
    // included; the rectangles of those never included are cleared by
    // Planes, or taken as zeros by reconstruction.
    BuildTileComponent(components_[c], tc, *params_.coding[c], *params_.quant[c], h.BitDepth(c),
                       Global().layers, levelSets_[c], route_.Output(), true);
  }
  finished_ = false;
  ++tilePartsRead_;
}

void Tile::Continue(CodecAdapterBoundedInputBE& in) {
  ReadLaterTilePartHeader(in, params_, componentCount_, tilePartChanges_, *tilePartRoute_.Output());
  const ProgressionList& list = *tilePartChanges_;
  iterator_.ReplaceRecords(list.Data(), list.Count());
  ++tilePartsRead_;
}

void Tile::FinishCodeBlocks() {
  for (std::uint32_t c = 0; c < components_.Count(); ++c)
    components_[c].ForEachCodeBlock([](CodeBlock& cb) { cb.Finish(); });
  finished_ = true;
}

LevelSet& Tile::Planes(std::uint32_t c) {
  if (c < components_.Count()) ClearOwedCodeBlocks(components_[c]);
  return levelSets_[c];
}

template <class In>
void Tile::DecodePacket(In& in, const PacketPosition& p) {
  if (p.component >= components_.Count()) return;
  TileComponent& tc = components_[p.component];
  // Below the lowest resolution with a non-empty band no packet exists (an
  // unsigned compare: a tile-component whose bands are all empty has none).
  if (p.resolution < tc.lowestResolution) return;
  DecodePacketHeader(in, tc, p.resolution, p.precinctX, p.precinctY, p.layer, tc.route);
  DecodePacketBody(in, tc, p.resolution, p.precinctX, p.precinctY, p.layer);
}

bool Tile::DecodeNextPacket(CodecAdapterBoundedInputBE& in) {
  if (!iterator_.Available()) {
    if (!finished_) FinishCodeBlocks();
    return false;
  }
  const PacketPosition p = iterator_.Current();
  const GlobalCodingStyle& g = Global();
  if (g.sop || g.eph) {
    MarkerPacketInput pin(in, g.sop, g.eph);
    DecodePacket(pin, p);
  } else {
    PlainPacketInput pin(in);
    DecodePacket(pin, p);
  }
  iterator_.Advance();
  return true;
}

}  // namespace Codec
