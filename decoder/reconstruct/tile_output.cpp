// Tile output into the caller image.
#include "decoder/reconstruct/tile_output.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "decoder/reconstruct/reconstruct.h"
#include "decoder/reconstruct/sample_rows.h"
#include "decoder/reconstruct/wavelet_inverse.h"
#include "decoder/tier2/lent_planes.h"

namespace Codec {

namespace {

struct Range {
  std::int64_t low;
  std::int64_t high;
  std::int64_t offset;  // level shift of an unsigned component
};

Range ComponentRange(const CodestreamHeader& h, std::uint32_t c) {
  const std::uint32_t B = h.BitDepth(c);  // 1 to 38
  if (h.IsSigned(c)) return {-(std::int64_t{1} << (B - 1)), (std::int64_t{1} << (B - 1)) - 1, 0};
  return {0, (std::int64_t{1} << B) - 1, std::int64_t{1} << (B - 1)};
}

template <typename T>
T Narrow(std::int64_t v) {
  constexpr std::int64_t lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
  return static_cast<T>(v < lo ? lo : v > hi ? hi : v);
}

// Finishes one row of 32-bit integers: level shift, clamp.
void Finish32(std::int32_t* row, int len, const Range& r) {
  if (r.offset) RowAddC32s(row, Narrow<std::int32_t>(r.offset), len);
  RowClamp32s(row, Narrow<std::int32_t>(r.low), Narrow<std::int32_t>(r.high), len);
}

// Finishes one row of 16-bit values; `fraction` when they carry 4 fractional
// bits (irreversible path): unsigned components round them away with the
// level shift, signed ones shift them out.  Every row is clamped.
void Finish16(std::int16_t* row, int len, const Range& r, bool fraction) {
  if (!fraction) {
    if (r.offset && r.offset <= 32767)
      RowAddC16s(row, static_cast<std::int32_t>(r.offset), 0, len);
    else if (r.offset) {
      for (int i = 0; i < len; ++i) row[i] = Narrow<std::int16_t>(std::int64_t{row[i]} + r.offset);
    }
  } else if (r.offset) {
    // (x + 2^(B+3)) x 2^-4 rounded half to even, on 32 bits so that every
    // bit depth keeps its offset.
    for (int i = 0; i < len; ++i) {
      const std::int32_t s = row[i];
      const std::int32_t q = (s + 7 + ((s >> 4) & 1)) >> 4;
      row[i] = Narrow<std::int16_t>(std::int64_t{q} + r.offset);
    }
  } else {
    RowRShift16s(row, 4, len);
  }
  RowClamp16s(row, Narrow<std::int16_t>(r.low), Narrow<std::int16_t>(r.high), len);
}

struct Region {
  std::uint8_t* data;  // first sample of the visible part
  std::int32_t step;
  std::uint32_t width;
  std::uint32_t height;
};

// Finishes `len` values of one row that no component transform covers:
// 16-bit values, or 32-bit integers (floats of the irreversible path are
// rounded to integers first).
void FinishRow(std::uint8_t* p, int len, const Range& r, bool irreversible, bool is16) {
  if (is16)
    Finish16(reinterpret_cast<std::int16_t*>(p), len, r, irreversible);
  else {
    if (irreversible) RowConvert32f32s(reinterpret_cast<float*>(p), len);
    Finish32(reinterpret_cast<std::int32_t*>(p), len, r);
  }
}

void Reconstruct(const ComponentCoefficients& cc, void* dst, std::int32_t step, bool is16) {
  if (is16)
    ReconstructTile16(cc, static_cast<std::int16_t*>(dst), step);
  else
    ReconstructTile32(cc, dst, step);
}

// The visible part of component c of the tile in the caller's plane (no
// data when nothing is visible), with the tile-component's rectangle `tc`;
// `fits` when the visible part is the whole tile-component.
Region VisiblePart(const CodestreamHeader& h, const Rect& tileRect, const CallerPlanes& planes,
                   std::uint32_t c, std::uint32_t size, Rect& tc, bool& fits) {
  tc = ComponentRect(tileRect, h.sampling[c]);
  const Rect img = ComponentRect(h.image, h.sampling[c]);
  Region reg = {nullptr, static_cast<std::int32_t>(planes.rowSteps[c]), 0, 0};
  fits = false;
  if (tc.width == 0 || tc.height == 0) return reg;
  // Visible part: the tile-component inside the component's plane.
  const std::uint64_t x0 = std::max<std::uint64_t>(tc.x, img.x), y0 = std::max<std::uint64_t>(tc.y, img.y);
  const std::uint64_t x1 =
      std::min<std::uint64_t>(std::uint64_t{tc.x} + tc.width, std::uint64_t{img.x} + img.width);
  const std::uint64_t y1 =
      std::min<std::uint64_t>(std::uint64_t{tc.y} + tc.height, std::uint64_t{img.y} + img.height);
  if (x1 <= x0 || y1 <= y0) return reg;
  reg.width = static_cast<std::uint32_t>(x1 - x0);
  reg.height = static_cast<std::uint32_t>(y1 - y0);
  reg.data = planes.data[c] + (y0 - img.y) * planes.rowSteps[c] + (x0 - img.x) * size;
  fits = x0 == tc.x && y0 == tc.y && reg.width == tc.width && reg.height == tc.height;
  return reg;
}

ComponentCoefficients CoefficientsOf(const CodestreamHeader& h, const TileOutputInput& tile, std::uint32_t c,
                                     const Rect& tc) {
  ComponentCoefficients cc;
  cc.set = &tile.sets[c];
  cc.rect = tc;
  cc.transform = tile.transforms[c];
  cc.quant = tile.quant[c];
  cc.precision = h.BitDepth(c) - 1;
  cc.blocks = tile.blocks ? &tile.blocks[c] : nullptr;
  return cc;
}

// Reconstructs component c of the tile into the caller's plane and returns
// the visible part it was written to (no data when nothing is visible).  A
// tile-component that does not fit the plane is reconstructed aside and only
// its visible part is copied in.
Region ReconstructComponent(const CodestreamHeader& h, const TileOutputInput& tile,
                            const CallerPlanes& planes, std::uint32_t c, bool is16) {
  const std::uint32_t size = is16 ? 2 : 4;
  Rect tc;
  bool fits = false;
  const Region reg = VisiblePart(h, tile.rect, planes, c, size, tc, fits);
  if (!reg.data) return reg;
  const ComponentCoefficients cc = CoefficientsOf(h, tile, c, tc);
  if (fits) {
    Reconstruct(cc, reg.data, reg.step, is16);
    return reg;
  }
  // Reconstructed aside; only the visible part reaches the plane.
  const Rect img = ComponentRect(h.image, h.sampling[c]);
  const std::uint64_t x0 = std::max<std::uint64_t>(tc.x, img.x), y0 = std::max<std::uint64_t>(tc.y, img.y);
  SubbandPlane aside;
  aside.AllocPlaneOrThrow(tc.width, tc.height, size);
  Reconstruct(cc, aside.data, aside.step, is16);
  const auto* src =
      static_cast<const std::uint8_t*>(aside.data) + (y0 - tc.y) * aside.step + (x0 - tc.x) * size;
  for (std::uint32_t y = 0; y < reg.height; ++y)
    std::memcpy(reg.data + std::size_t{y} * reg.step, src + std::size_t{y} * aside.step,
                std::size_t{reg.width} * size);
  return reg;
}

// Ranges of components 0 to 2, and whether they are narrow enough (up to 23
// bits) for the fused float sample stage with its bounds.
struct TransformRanges {
  Range ranges[3];
  bool fused = true;
  std::int32_t offsets[3], lows[3], highs[3];
};

TransformRanges TransformRangesOf(const CodestreamHeader& h) {
  TransformRanges t;
  for (std::uint32_t c = 0; c < 3; ++c) t.ranges[c] = ComponentRange(h, c);
  for (std::uint32_t c = 0; c < 3; ++c) {
    constexpr std::int64_t kBound = std::int64_t{1} << 23;
    const Range& g = t.ranges[c];
    if (g.offset > kBound || g.low < -kBound || g.high > kBound) t.fused = false;
    t.offsets[c] = static_cast<std::int32_t>(std::clamp(g.offset, -kBound, kBound));
    t.lows[c] = static_cast<std::int32_t>(std::clamp(g.low, -kBound, kBound));
    t.highs[c] = static_cast<std::int32_t>(std::clamp(g.high, -kBound, kBound));
  }
  return t;
}

// The inverse component transform over `len` values of one row of each of
// components 0 to 2, then each component's own finish.
void InverseTransformRow(std::uint8_t* const r[3], int len, const TransformRanges& t, bool irreversible,
                         bool is16) {
  if (is16) {
    auto* a = reinterpret_cast<std::int16_t*>(r[0]);
    auto* b = reinterpret_cast<std::int16_t*>(r[1]);
    auto* cc = reinterpret_cast<std::int16_t*>(r[2]);
    if (irreversible)
      RowInvICT16s(a, b, cc, len);
    else
      RowInvRCT16s(a, b, cc, len);
    Finish16(a, len, t.ranges[0], irreversible);
    Finish16(b, len, t.ranges[1], irreversible);
    Finish16(cc, len, t.ranges[2], irreversible);
  } else if (irreversible && t.fused) {
    // Components of up to 23 bits take the whole float sample stage in one
    // pass over their rows.
    RowInvICTToSamples32(reinterpret_cast<float*>(r[0]), reinterpret_cast<float*>(r[1]),
                         reinterpret_cast<float*>(r[2]), len, t.offsets, t.lows, t.highs);
  } else if (irreversible) {
    auto* a = reinterpret_cast<float*>(r[0]);
    auto* b = reinterpret_cast<float*>(r[1]);
    auto* cc = reinterpret_cast<float*>(r[2]);
    RowInvICT32f(a, b, cc, len);
    for (int c = 0; c < 3; ++c) {
      RowConvert32f32s(reinterpret_cast<float*>(r[c]), len);
      Finish32(reinterpret_cast<std::int32_t*>(r[c]), len, t.ranges[c]);
    }
  } else {
    auto* a = reinterpret_cast<std::int32_t*>(r[0]);
    auto* b = reinterpret_cast<std::int32_t*>(r[1]);
    auto* cc = reinterpret_cast<std::int32_t*>(r[2]);
    RowInvRCT32s(a, b, cc, len);
    Finish32(a, len, t.ranges[0]);
    Finish32(b, len, t.ranges[1]);
    Finish32(cc, len, t.ranges[2]);
  }
}

// Sample stage of components 0 to 2 under the component transform: the rows
// and columns all three have go through the transform, the rest of each
// component is finished on its own.
void FinishWithComponentTransform(const CodestreamHeader& h, const TileOutputInput& tile,
                                  const Region* regions, bool is16) {
  const std::uint32_t size = is16 ? 2 : 4;
  const std::uint32_t w = std::min({regions[0].width, regions[1].width, regions[2].width});
  const std::uint32_t rows = std::min({regions[0].height, regions[1].height, regions[2].height});
  const bool irreversible = tile.transforms[0] == 0;
  const TransformRanges t = TransformRangesOf(h);
  for (std::uint32_t y = 0; y < rows && w; ++y) {
    std::uint8_t* r[3];
    for (int c = 0; c < 3; ++c) r[c] = regions[c].data + std::size_t{y} * regions[c].step;
    InverseTransformRow(r, static_cast<int>(w), t, irreversible, is16);
  }
  // Rows or columns outside the common part are finished on their own.
  for (std::uint32_t c = 0; c < 3; ++c) {
    const Region& reg = regions[c];
    const bool irr = tile.transforms[c] == 0;
    for (std::uint32_t y = 0; y < reg.height; ++y) {
      const std::uint32_t from = y < rows ? w : 0;
      if (from >= reg.width) continue;
      std::uint8_t* p = reg.data + std::size_t{y} * reg.step + std::size_t{from} * size;
      FinishRow(p, static_cast<int>(reg.width - from), t.ranges[c], irr, is16);
    }
  }
}

// Components 0 to 2 under the irreversible component transform, on the
// 32-bit path: reconstructed together, each row triple taking the whole
// sample stage as soon as its synthesis is final, while it is still in the
// cache, and written to the caller's planes once.  The samples are those of
// ReconstructComponent and FinishWithComponentTransform.  False, with
// nothing written, unless the three are whole in their planes, of one size,
// irreversible, of ranges the fused stage takes, and made of code-blocks
// that tile their bands.
bool OutputTransformedTogether(const CodestreamHeader& h, const TileOutputInput& tile,
                               const CallerPlanes& planes) {
  if (tile.transforms[0] != 0 || tile.transforms[1] != 0 || tile.transforms[2] != 0) return false;
  const TransformRanges t = TransformRangesOf(h);
  if (!t.fused) return false;
  Region regions[3];
  ComponentCoefficients cc[3];
  for (std::uint32_t c = 0; c < 3; ++c) {
    Rect tc;
    bool fits = false;
    regions[c] = VisiblePart(h, tile.rect, planes, c, 4, tc, fits);
    if (!regions[c].data || !fits) return false;
    if (regions[c].width != regions[0].width || regions[c].height != regions[0].height) return false;
    cc[c] = CoefficientsOf(h, tile, c, tc);
  }
  class Sink final : public FloatRowSink {
   public:
    Sink(const Region* r, const TransformRanges& ranges) : regions_(r), t_(ranges) {}
    void Rows(std::uint32_t y, float* const rows[3], std::uint32_t width) override {
      void* const out[3] = {regions_[0].data + std::size_t{y} * regions_[0].step,
                            regions_[1].data + std::size_t{y} * regions_[1].step,
                            regions_[2].data + std::size_t{y} * regions_[2].step};
      RowInvICTToSamples32(rows, out, static_cast<int>(width), t_.offsets, t_.lows, t_.highs);
    }

   private:
    const Region* regions_;
    const TransformRanges& t_;
  } sink(regions, t);
  return ReconstructTiles32Together(cc, sink);
}

}  // namespace

bool IsMCTResampled(const CodestreamHeader& h) {
  if (h.componentCount < 3) return false;
  const SamplingPair* s = h.sampling.Data();
  return s[0].x != s[1].x || s[0].y != s[1].y || s[1].x != s[2].x || s[1].y != s[2].y;
}

bool CheckTileMCT(std::uint32_t componentCount, bool mct, const std::uint32_t* transforms,
                  BDiagnOutput& out) {
  if (componentCount < 3) {
    if (mct) out.Warning(J2k::Warn_MCTIsNotApplicableForNOfComponents());
    return false;
  }
  if ((transforms[1] == 0) != (transforms[0] == 0) || (transforms[2] == 0) != (transforms[0] == 0)) {
    if (mct) out.Warning(J2k::Warn_MCTIsNotApplicableForMixedWTTypes());
    return false;
  }
  return true;
}

void CheckDepthsFit16(const CodestreamHeader& h) {
  for (std::uint32_t c = 0; c < h.componentCount; ++c)
    if (h.BitDepth(c) > (h.IsSigned(c) ? 16u : 15u)) throw J2k::Except_BitDepthExceedsDataType();
}

bool NeedsWideReconstruction(const CodestreamHeader& h) {
  for (std::uint32_t c = 0; c < h.componentCount; ++c)
    if (h.BitDepth(c) > 11) return true;
  return false;
}

void WidePlanes::Alloc(const CodestreamHeader& h) {
  const std::uint32_t n = h.componentCount;
  planes_.Reset(n);
  data_.Reset(n);
  steps_.Reset(n);
  for (std::uint32_t c = 0; c < n; ++c) {
    const Rect r = ComponentRect(h.image, h.sampling[c]);
    planes_[c].AllocPlaneOrThrow(r.width, r.height, 4);
    data_[c] = static_cast<std::uint8_t*>(planes_[c].data);
    steps_[c] = static_cast<std::uint32_t>(planes_[c].step);
  }
  count_ = n;
}

void NarrowTile(const CodestreamHeader& h, const Rect& rect, const CallerPlanes& from,
                const CallerPlanes& to) {
  for (std::uint32_t c = 0; c < h.componentCount; ++c) {
    Rect tc;
    bool fits = false;
    const Region wide = VisiblePart(h, rect, from, c, 4, tc, fits);
    const Region narrow = VisiblePart(h, rect, to, c, 2, tc, fits);
    if (!wide.data) continue;
    for (std::uint32_t y = 0; y < wide.height; ++y)
      RowConvert32s16s(reinterpret_cast<const std::int32_t*>(wide.data + std::size_t{y} * wide.step),
                       reinterpret_cast<std::int16_t*>(narrow.data + std::size_t{y} * narrow.step),
                       static_cast<int>(wide.width));
  }
}

bool CheckCallerImage(const CodestreamHeader& h, void* const* planes, const ImageBufferDescr& d) {
  const std::uint32_t n = h.componentCount;
  if (d.planeLayout != kPlanePerComponent) return false;
  if (n == 0) return true;
  if (!planes || CountedArraySize(planes) < n) return false;
  if (!d.rowSteps || CountedArraySize(d.rowSteps) < n) return false;
  const ImageSampling& s = d.sampling;
  if (!s.factors || s.count < n || CountedArraySize(s.factors) < n) return false;
  if (s.rect.x != h.image.x || s.rect.y != h.image.y || s.rect.width != h.image.width ||
      s.rect.height != h.image.height)
    return false;
  const int size = d.dataType == kImageData16s ? 2 : d.dataType == kImageData32s ? 4 : 0;
  for (std::uint32_t c = 0; c < n; ++c) {
    if (!planes[c]) return false;
    if (s.factors[c].x != h.sampling[c].x || s.factors[c].y != h.sampling[c].y) return false;
    const Rect cr = ComponentRect(h.image, h.sampling[c]);
    if (size == 0) continue;  // refused after decoding, as an unknown type
    if (d.rowSteps[c] < std::uint64_t{cr.width} * size) return false;
    if (d.rowSteps[c] > 0x7FFFFFFFu) return false;
    if (d.PlaneSize(c) < std::uint64_t{d.rowSteps[c]} * cr.height) return false;
  }
  return true;
}

void OutputTile(const CodestreamHeader& h, const TileOutputInput& tile, const CallerPlanes& planes) {
  const std::uint32_t n = h.componentCount;
  const bool is16 = planes.dataType == kImageData16s;
  // Components sampled differently cannot share a transform: refused before
  // anything is written.
  if (tile.applyMct && IsMCTResampled(h)) throw J2k::Except_mctIsResampled();
  OwnedArray<Region> regions;
  regions.Reset(n);

  // 1. Reconstruct every component into its place; components 0 to 2 under
  // the irreversible transform together with their sample stage, when they
  // can be.
  const bool together = tile.applyMct && n >= 3 && !is16 && OutputTransformedTogether(h, tile, planes);
  // The other paths write whole planes before they read the coefficients:
  // coefficients in the caller's planes move out first.
  if (!together && tile.lent) MoveOutOfLentPlanes(tile.sets, tile.blocks);
  for (std::uint32_t c = together ? 3 : 0; c < n; ++c)
    regions[c] = ReconstructComponent(h, tile, planes, c, is16);

  // 2. Sample stage.  Each component is finished by its own transform; the
  // component transform covers components 0 to 2 and the rows all three have.
  std::uint32_t first = together ? 3 : 0;
  if (!together && tile.applyMct && n >= 3) {
    FinishWithComponentTransform(h, tile, regions.Data(), is16);
    first = 3;
  }
  for (std::uint32_t c = first; c < n; ++c) {
    const Region& reg = regions[c];
    const Range range = ComponentRange(h, c);
    const bool irr = tile.transforms[c] == 0;
    for (std::uint32_t y = 0; y < reg.height; ++y)
      FinishRow(reg.data + std::size_t{y} * reg.step, static_cast<int>(reg.width), range, irr, is16);
  }
}

}  // namespace Codec
