// Building a tile-component: the precinct and code-block partitions of its
// bands over its coefficient planes.
#include <climits>
#include <cstring>

#include "decoder/tier2/tile_component.h"
#include "primitives/image/image.h"

namespace Codec {

// ---------------------------------------------------------------------------
// Bands.

namespace {

std::uint64_t CeilShift(std::uint64_t a, std::uint32_t s) { return (a + (std::uint64_t{1} << s) - 1) >> s; }

// Partition of [start, end) into cells of 2^e anchored at multiples of 2^e.
std::uint64_t CellCount(std::uint64_t start, std::uint64_t end, std::uint32_t e) {
  if (end <= start) return 0;
  return CeilShift(end, e) - (start >> e);
}
// Cell i of that partition, clipped to [start, end).
void Cell(std::uint64_t start, std::uint64_t end, std::uint32_t e, std::uint64_t i, std::uint64_t& c0,
          std::uint64_t& c1) {
  const std::uint64_t first = (start >> e) + i;
  c0 = first << e;
  c1 = (first + 1) << e;
  if (c0 < start) c0 = start;
  if (c1 > end) c1 = end;
}

}  // namespace

std::uint64_t CountBandRecords(const BandBuild& b, std::uint64_t limit) {
  const std::uint64_t rx0 = b.resolution.x, ry0 = b.resolution.y;
  const std::uint64_t rx1 = rx0 + b.resolution.width, ry1 = ry0 + b.resolution.height;
  const std::uint64_t cols = CellCount(rx0, rx1, b.precinct.ppx);
  const std::uint64_t rows = CellCount(ry0, ry1, b.precinct.ppy);
  if (cols > limit || rows > limit || cols * rows > limit) return limit + 1;
  const Rect bandRect = b.lowestResolution ? b.resolution : BandRect(b.resolution, b.orientation);
  if (bandRect.width == 0 || bandRect.height == 0) return cols * rows;
  // The code-block partition of a precinct's band part depends on its column
  // in x and its row in y only, so the count is a product of two sums.
  std::uint64_t across = 0, down = 0;
  for (std::uint64_t i = 0; i < cols; ++i) {
    std::uint64_t c0, c1;
    Cell(rx0, rx1, b.precinct.ppx, i, c0, c1);
    Rect part{static_cast<std::uint32_t>(c0), 0, static_cast<std::uint32_t>(c1 - c0), 1};
    if (!b.lowestResolution) part = BandRect(part, b.orientation);
    if (part.width) across += CellCount(part.x, std::uint64_t{part.x} + part.width, b.xcb);
  }
  for (std::uint64_t j = 0; j < rows; ++j) {
    std::uint64_t c0, c1;
    Cell(ry0, ry1, b.precinct.ppy, j, c0, c1);
    Rect part{0, static_cast<std::uint32_t>(c0), 1, static_cast<std::uint32_t>(c1 - c0)};
    if (!b.lowestResolution) part = BandRect(part, b.orientation);
    if (part.height) down += CellCount(part.y, std::uint64_t{part.y} + part.height, b.ycb);
  }
  if (across > limit || down > limit || across * down > limit) return limit + 1;
  return cols * rows + across * down;
}

namespace {

// The code-block partition of one precinct part `part` of a band whose
// plane covers `bandRect`, with its tag trees; each code-block is bound to its
// rectangle of the plane.
void BuildPrecinctBand(PrecinctBand& pb, const Rect& part, const Rect& bandRect, const BandBuild& b,
                       BDiagnOutput* output) {
  const std::uint64_t bx0 = part.x, by0 = part.y;
  const std::uint64_t bx1 = bx0 + part.width, by1 = by0 + part.height;
  const std::uint64_t cbCols = CellCount(bx0, bx1, b.xcb);
  const std::uint64_t cbRows = CellCount(by0, by1, b.ycb);
  if (cbCols * cbRows > 0x7FFFFFFFu) ThrowFaultMalloc();
  pb.columns = static_cast<std::uint32_t>(cbCols);
  pb.rows = static_cast<std::uint32_t>(cbRows);
  pb.codeBlocks.Reset(static_cast<std::size_t>(cbCols * cbRows));
  pb.inclusion.Build(pb.columns, pb.rows);
  pb.zeroBitPlanes.Build(pb.columns, pb.rows);
  auto* base = static_cast<std::uint8_t*>(b.plane->data);
  for (std::uint64_t j = 0; j < cbRows; ++j) {
    std::uint64_t cy0, cy1;
    Cell(by0, by1, b.ycb, j, cy0, cy1);
    for (std::uint64_t i = 0; i < cbCols; ++i) {
      std::uint64_t cx0, cx1;
      Cell(bx0, bx1, b.xcb, i, cx0, cx1);
      CodeBlockParams p;
      p.destination = reinterpret_cast<std::int32_t*>(
          base + (cy0 - bandRect.y) * static_cast<std::uint64_t>(b.plane->step) + (cx0 - bandRect.x) * 4);
      p.step = b.plane->step;
      p.width = static_cast<std::uint32_t>(cx1 - cx0);
      p.height = static_cast<std::uint32_t>(cy1 - cy0);
      p.orientation = b.orientation;
      p.guardBits = b.guardBits;
      p.rb = b.rb;
      p.epsMinusRb = b.epsMinusRb;
      p.flags = b.flags;
      p.layers = b.layers;
      pb.codeBlocks[static_cast<std::size_t>(j * cbCols + i)].SetUp(
          p, output, b.clearLate ? CodeBlock::Clearing::kLate : CodeBlock::Clearing::kCleared);
    }
  }
}

}  // namespace

void BuildBand(Band& band, const BandBuild& b, BDiagnOutput* output) {
  const Rect bandRect = b.lowestResolution ? b.resolution : BandRect(b.resolution, b.orientation);
  band.rect = bandRect;
  band.empty = bandRect.width == 0 || bandRect.height == 0;
  const std::uint64_t rx0 = b.resolution.x, ry0 = b.resolution.y;
  const std::uint64_t rx1 = rx0 + b.resolution.width, ry1 = ry0 + b.resolution.height;
  const std::uint64_t cols = CellCount(rx0, rx1, b.precinct.ppx);
  const std::uint64_t rows = CellCount(ry0, ry1, b.precinct.ppy);
  if (cols * rows > 0x7FFFFFFFu) ThrowFaultMalloc();
  band.precinctColumns = static_cast<std::uint32_t>(cols);
  band.precinctRows = static_cast<std::uint32_t>(rows);
  band.precincts.Reset(static_cast<std::size_t>(rows));
  // The code-blocks of the precinct parts tile the band: its plane is
  // cleared in one sweep rather than block by block, unless each block
  // clears its own late.
  if (!b.clearLate && !band.empty && b.plane && b.plane->data)
    std::memset(b.plane->data, 0, static_cast<std::size_t>(b.plane->step) * b.plane->height);
  const bool bypass = (b.flags & kCbBypass) != 0;
  const bool terminate = (b.flags & kCbTerminateEachPass) != 0;
  for (std::uint64_t py = 0; py < rows; ++py) {
    OwnedArray<PrecinctBand>& row = band.precincts[static_cast<std::size_t>(py)];
    row.Reset(static_cast<std::size_t>(cols));
    for (std::uint64_t px = 0; px < cols; ++px) {
      PrecinctBand& pb = row[static_cast<std::size_t>(px)];
      pb.bypass = bypass;
      pb.terminateEachPass = terminate;
      std::uint64_t x0, x1, y0, y1;
      Cell(rx0, rx1, b.precinct.ppx, px, x0, x1);
      Cell(ry0, ry1, b.precinct.ppy, py, y0, y1);
      Rect part{static_cast<std::uint32_t>(x0), static_cast<std::uint32_t>(y0),
                static_cast<std::uint32_t>(x1 - x0), static_cast<std::uint32_t>(y1 - y0)};
      if (!b.lowestResolution) part = BandRect(part, b.orientation);
      if (band.empty || part.width == 0 || part.height == 0 || !b.plane || !b.plane->data) {
        pb.inclusion.Build(0, 0);
        pb.zeroBitPlanes.Build(0, 0);
        continue;
      }
      BuildPrecinctBand(pb, part, bandRect, b, output);
    }
  }
}

std::uint32_t TileComponent::BandsOf(std::uint32_t r, Band* out[3]) {
  if (r == 0) {
    out[0] = &ll;
    return 1;
  }
  if (r > levels) return 0;
  ResolutionBands& rb = resolutions[levels - r];
  for (int i = 0; i < 3; ++i) out[i] = &rb.bands[i];
  return 3;
}

void ClearOwedCodeBlocks(TileComponent& tc) {
  tc.ForEachCodeBlock([](CodeBlock& cb) { cb.ClearIfOwed(); });
}

namespace {

// Calls f(band build, band) for every band of a tile-component, resolution 0
// first; band is null when only the builds are wanted.
template <class F>
void ForEachBand(TileComponent* tc, const Rect& tcRect, const CodingStyle& style, const QuantStyle& quant,
                 std::uint32_t precision, std::uint32_t layers, LevelSet* planes, F&& f) {
  const std::uint32_t nl = style.levels;
  BandBuild b;
  b.xcb = style.codeBlockWidthExp;
  b.ycb = style.codeBlockHeightExp;
  b.layers = layers;
  b.guardBits = quant.guardBits;
  b.flags = style.codeBlockFlags;

  // Resolution 0: the LL band.
  b.orientation = kBandLL;
  b.resolution = ResolutionRect(tcRect, nl);
  b.lowestResolution = true;
  b.precinct = style.precincts.Count() > 0 ? style.precincts[0] : PrecinctSize{15, 15};
  b.plane = planes ? &planes->ll : nullptr;
  b.rb = precision;
  b.epsMinusRb = static_cast<std::int32_t>(QuantLLStep(quant).exponent) - static_cast<std::int32_t>(b.rb);
  f(b, tc ? &tc->ll : nullptr);

  static const std::uint32_t kOrientation[3] = {kBandHL, kBandLH, kBandHH};
  static const std::uint32_t kGain[3] = {1, 1, 2};
  b.lowestResolution = false;
  for (std::uint32_t i = 0; i < nl; ++i) {
    const std::uint32_t r = nl - i;
    b.resolution = ResolutionRect(tcRect, i);
    b.precinct = r < style.precincts.Count() ? style.precincts[r] : PrecinctSize{15, 15};
    for (std::uint32_t k = 0; k < 3; ++k) {
      b.orientation = kOrientation[k];
      b.plane = planes ? &planes->level[i].Band(k) : nullptr;
      b.rb = precision + kGain[k];
      b.epsMinusRb = static_cast<std::int32_t>(QuantLevelStep(quant, nl, i, k).exponent) -
                     static_cast<std::int32_t>(b.rb);
      f(b, tc ? &tc->resolutions[i].bands[k] : nullptr);
    }
  }
}

}  // namespace

std::uint64_t CountTileComponentRecords(const Rect& tcRect, const CodingStyle& style, const QuantStyle& quant,
                                        std::uint64_t limit) {
  std::uint64_t total = 0;
  ForEachBand(nullptr, tcRect, style, quant, 0, 0, nullptr, [&](const BandBuild& b, Band*) {
    if (total > limit) return;
    total += CountBandRecords(b, limit);
  });
  return total;
}

void BuildTileComponent(TileComponent& tc, const Rect& tcRect, const CodingStyle& style,
                        const QuantStyle& quant, std::uint32_t precision, std::uint32_t layers,
                        LevelSet& planes, BDiagnOutput* output, bool clearLate) {
  const std::uint32_t nl = style.levels;
  tc.levels = nl;
  tc.route.SetOutput(output);
  tc.resolutions.Reset(nl);
  ForEachBand(&tc, tcRect, style, quant, precision, layers, &planes, [&](const BandBuild& build, Band* band) {
    BandBuild b = build;
    b.clearLate = clearLate;
    BuildBand(*band, b, output);
  });

  // Lowest resolution whose bands are not all empty.
  tc.lowestResolution = ~0u;
  if (!tc.ll.empty) tc.lowestResolution = 0;
  for (std::uint32_t r = nl; r >= 1; --r) {
    const ResolutionBands& rb = tc.resolutions[nl - r];
    const bool any = !rb.bands[0].empty || !rb.bands[1].empty || !rb.bands[2].empty;
    if (any && r < tc.lowestResolution) tc.lowestResolution = r;
  }
}

}  // namespace Codec
