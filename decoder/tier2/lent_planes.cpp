// Coefficients in the caller's planes: which tiles, where, and how they move
// out.
#include "decoder/tier2/lent_planes.h"

namespace Codec {

LentPlanes PlanesOfCall(std::uint32_t componentCount, void* const* planes, const ImageBufferDescr& descr) {
  LentPlanes p;
  p.dataType = descr.dataType;
  for (std::uint32_t c = 0; c < 3 && c < componentCount && planes && descr.rowSteps; ++c) {
    p.data[c] = static_cast<std::uint8_t*>(planes[c]);
    p.step[c] = descr.rowSteps[c];
  }
  return p;
}

bool TakesLentPlanes(const CodestreamHeader& h, const TileCodingParams& p, const Rect& rect,
                     const LentPlanes& lend) {
  if (lend.dataType != kImageData32s || h.componentCount != 3 || !p.globalStyle->mct) return false;
  // Three planes apart from one another.
  for (std::uint32_t c = 0; c < 3; ++c) {
    if (!lend.data[c]) return false;
    const std::uint64_t rows = ComponentRect(h.image, h.sampling[c]).height;
    for (std::uint32_t d = 0; d < 3; ++d) {
      if (d == c) continue;
      const auto a = reinterpret_cast<std::uintptr_t>(lend.data[c]),
                 b = reinterpret_cast<std::uintptr_t>(lend.data[d]);
      if (a <= b && b - a < rows * lend.step[c]) return false;
    }
  }
  const std::uint32_t levels = p.coding[0]->levels;
  if (levels == 0 || levels > 30) return false;
  for (std::uint32_t c = 0; c < 3; ++c) {
    const CodingStyle& s = *p.coding[c];
    if (s.transform != 0 || s.levels != levels || h.BitDepth(c) > 23) return false;
    if (h.sampling[c].x != h.sampling[0].x || h.sampling[c].y != h.sampling[0].y) return false;
    if ((std::uint64_t{lend.step[c]} << levels) > 0x7FFFFFFFu) return false;
    const Rect tc = ComponentRect(rect, h.sampling[c]), img = ComponentRect(h.image, h.sampling[c]);
    if (tc.x != img.x || tc.y != img.y || tc.width != img.width || tc.height != img.height) return false;
  }
  return true;
}

void PlaceLevelSet32(LevelSet& set, const Rect& tc, std::uint32_t n, std::uint8_t* plane, std::int32_t step) {
  set.levels = n;
  set.level.Reset(n);
  // The area of level i: the rows of resolution i, `rowStep` apart from
  // `area`.  Its row j holds band row j / 2 of the low bands (LL, HL) when j
  // has the parity of a low row, else of the high ones (LH, HH); in each row
  // the low columns come first.  The low rows' low columns are the area of
  // level i + 1.  Nothing is pointed at in an area without samples.
  std::uint8_t* area = plane;
  std::int64_t rowStep = step;
  auto at = [&](const Rect& band, std::int64_t offset) {
    return area && band.width && band.height ? area + offset : nullptr;
  };
  for (std::uint32_t i = 0; i < n; ++i) {
    const Rect res = ResolutionRect(tc, i);
    const Rect hl = BandRect(res, kBandHL), lh = BandRect(res, kBandLH);
    const std::int64_t py = res.y & 1;  // 1: the first row is a high row
    const std::int64_t lowRow = py * rowStep, highRow = (1 - py) * rowStep;
    const auto pairs = static_cast<std::int32_t>(2 * rowStep);
    const auto right = static_cast<std::int64_t>(lh.width) * 4;
    DecompositionLevel& d = set.level[i];
    d.hl.View(at(hl, lowRow + right), pairs, hl.width, hl.height);
    d.lh.View(at(lh, highRow), pairs, lh.width, lh.height);
    d.hh.View(at({0, 0, hl.width, lh.height}, highRow + right), pairs, hl.width, lh.height);
    area = hl.height && lh.width ? area + lowRow : nullptr;
    rowStep *= 2;
  }
  const Rect low = ResolutionRect(tc, n);
  set.ll.View(area && low.width && low.height ? area : nullptr, static_cast<std::int32_t>(rowStep), low.width,
              low.height);
}
namespace {

// Moves one band's coefficients into a block of their own and binds its
// code-blocks to their rectangles there.
void MoveBand(SubbandPlane& plane, const Band& band) {
  if (!plane.IsView()) return;
  const auto* from = static_cast<const std::uint8_t*>(plane.data);
  const std::int32_t fromStep = plane.step;
  plane.TakeOwnCopy(4);
  auto* to = static_cast<std::uint8_t*>(plane.data);
  for (std::uint32_t py = 0; py < band.precinctRows; ++py)
    for (std::uint32_t px = 0; px < band.precinctColumns; ++px) {
      PrecinctBand* pb = band.At(px, py);
      if (!pb) continue;
      for (CodeBlock& cb : pb->codeBlocks) {
        const CodeBlockParams& p = cb.Params();
        if (!p.destination) continue;
        const std::ptrdiff_t off = reinterpret_cast<const std::uint8_t*>(p.destination) - from;
        const std::ptrdiff_t y = off / fromStep, x = off % fromStep;
        cb.Rebind(reinterpret_cast<std::int32_t*>(to + y * plane.step + x), plane.step);
      }
    }
}

}  // namespace

void MoveOutOfLentPlanes(LevelSet* sets, TileComponent* blocks) {
  for (std::uint32_t c = 0; c < 3; ++c) {
    LevelSet& set = sets[c];
    if (!blocks) {
      set.ll.TakeOwnCopy(4);
      for (std::uint32_t i = 0; i < set.levels; ++i)
        for (std::uint32_t b = 0; b < 3; ++b) set.level[i].Band(b).TakeOwnCopy(4);
      continue;
    }
    TileComponent& tc = blocks[c];
    // Owed rectangles stand for zeros, whatever the caller's plane held.
    ClearOwedCodeBlocks(tc);
    MoveBand(set.ll, tc.ll);
    for (std::uint32_t i = 0; i < set.levels && i < tc.resolutions.Count(); ++i)
      for (std::uint32_t b = 0; b < 3; ++b) MoveBand(set.level[i].Band(b), tc.resolutions[i].bands[b]);
  }
}

}  // namespace Codec
