// Tile reconstruction and dequantisation.
#include "decoder/reconstruct/reconstruct.h"

#include <algorithm>
#include <cmath>

#include "decoder/reconstruct/wavelet_inverse.h"
#include "primitives/image/image.h"

namespace Codec {

namespace {

// Restores sign-magnitude on the way out, also when an exception passes.
class SignMagnitudeGuard {
 public:
  explicit SignMagnitudeGuard(LevelSet& set) : set_(set) { FlipSignMagnitude(set_); }
  ~SignMagnitudeGuard() { FlipSignMagnitude(set_); }
  SignMagnitudeGuard(const SignMagnitudeGuard&) = delete;
  SignMagnitudeGuard& operator=(const SignMagnitudeGuard&) = delete;

 private:
  LevelSet& set_;
};

template <typename Fn>
void ForEachPlanePair(LevelSet& src, LevelSet& dst, Fn&& fn) {
  fn(src.ll, dst.ll);
  for (std::uint32_t i = 0; i < src.levels; ++i) {
    fn(src.level[i].lh, dst.level[i].lh);
    fn(src.level[i].hl, dst.level[i].hl);
    fn(src.level[i].hh, dst.level[i].hh);
  }
}

template <typename Fn>
void ForEachBandStep(LevelSet& set, const QuantStyle& q, std::uint32_t R, Fn&& fn) {
  const std::uint32_t n = set.levels;
  for (std::uint32_t i = 0; i < n; ++i) {
    DecompositionLevel& l = set.level[i];
    const SubbandStep hl = QuantLevelStep(q, n, i, 0);
    const SubbandStep lh = QuantLevelStep(q, n, i, 1);
    const SubbandStep hh = QuantLevelStep(q, n, i, 2);
    fn(l.hl, hl, R + 2);
    fn(l.lh, lh, R + 2);
    fn(l.hh, hh, R + 3);
  }
  fn(set.ll, QuantLLStep(q), R + 1);
}

// Which subband a plane holds: level index and band (0 HL, 1 LH, 2 HH), or
// the LL band when `ll`.
struct BandId {
  bool ll;
  std::uint32_t level;
  std::uint32_t band;
};

// The quantisation step of a subband and its nominal range bits.
struct BandStep {
  SubbandStep step;
  std::uint32_t Rb;
};

BandStep StepOf(const QuantStyle& q, std::uint32_t levels, std::uint32_t R, BandId id) {
  if (id.ll) return {QuantLLStep(q), R + 1};
  return {QuantLevelStep(q, levels, id.level, id.band), R + (id.band == 2 ? 3 : 2)};
}

// The factor DequantizeBand32f multiplies by.
float DequantizationScale(SubbandStep s, std::uint32_t Rb) {
  const double scale = std::ldexp(1.0, static_cast<int>(Rb) - static_cast<int>(s.exponent & 31)) *
                       (static_cast<double>(s.mantissa & 2047) * 0.00048828125 + 1.0);
  return static_cast<Prim32f>(scale);
}

// Visits the code-blocks of a tile-component with the midpoint their
// coefficients need: fn(32-bit plane, matching plane of `other`, x, y, w, h,
// mode, band, owed); with `all` also those that need none (mode kNone).
// `owed`: the block's rectangle was never cleared nor decoded into, and
// stands for zeros (CodeBlock::ClearOwed).
template <typename Fn>
void ForEachBlock(const TileComponent& tc, LevelSet& set, LevelSet& other, bool all, Fn&& fn) {
  auto visit = [&](const Band& band, SubbandPlane& plane, SubbandPlane& otherPlane, BandId id) {
    if (!Usable(plane)) return;
    for (std::uint32_t py = 0; py < band.precinctRows; ++py)
      for (std::uint32_t px = 0; px < band.precinctColumns; ++px) {
        const PrecinctBand* pb = band.At(px, py);
        if (!pb) continue;
        for (const CodeBlock& cb : pb->codeBlocks) {
          const CodeBlockParams& p = cb.Params();
          if (!p.destination) continue;
          // Coding passes: a clean-up on the top bit-plane, then significance,
          // refinement and clean-up on each lower one; the last bit-plane's
          // passes are numbers 3P - 4, 3P - 3 and 3P - 2.  A coefficient that
          // a pass of the last bit-plane visited is an exact integer there
          // (every other one already sits at the middle of its interval):
          // after the refinement pass that is every non-zero coefficient;
          // after only the significance pass, the ones it made significant,
          // which are exactly those of magnitude 1.
          Midpoint mode = Midpoint::kNone;
          if (cb.Begun() && cb.BitPlanes() >= 1) {
            const std::uint64_t planes = static_cast<std::uint64_t>(cb.BitPlanes());
            const std::uint64_t passes = cb.PassesReceived();
            if (passes + 3 >= 3 * planes)
              mode = Midpoint::kAll;
            else if (planes >= 2 && passes + 4 == 3 * planes)
              mode = Midpoint::kMagnitudeOne;
          }
          if (mode == Midpoint::kNone && !all) continue;
          const std::ptrdiff_t off = reinterpret_cast<const std::uint8_t*>(p.destination) -
                                     static_cast<const std::uint8_t*>(plane.data);
          if (off < 0 || plane.step <= 0) continue;
          const auto y = static_cast<std::uint32_t>(off / plane.step);
          const auto x = static_cast<std::uint32_t>((off % plane.step) / 4);
          fn(plane, otherPlane, x, y, p.width, p.height, mode, id, cb.ClearOwed());
        }
      }
  };
  visit(tc.ll, set.ll, other.ll, {true, 0, 0});
  for (std::uint32_t i = 0; i < set.levels && i < tc.resolutions.Count(); ++i)
    for (std::uint32_t k = 0; k < 3; ++k)
      visit(tc.resolutions[i].bands[k], set.level[i].Band(k), other.level[i].Band(k), {false, i, k});
}

// The subband rows of one tile-component made on demand from its code-blocks:
// each block's rows converted with the block's midpoint and the band's
// dequantisation step, as ConvertRectSM32s32fMidpoint would convert them into
// a float plane.  Usable only when the blocks tile every band in strips of
// equal height (the code-block grid); Build says whether they do.
class BlockRows : public FloatBandRows {
 public:
  bool Build(const ComponentCoefficients& c) {
    LevelSet& coeffs = *c.set;
    const std::uint32_t n = coeffs.levels;
    bands_.Reset(std::size_t{n} * 3 + 1);
    std::size_t count = 0;
    ForEachBlock(*c.blocks, coeffs, coeffs, true,
                 [&](SubbandPlane&, SubbandPlane&, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                     Midpoint, BandId, bool) { ++count; });
    blocks_.Reset(count);
    count = 0;
    ForEachBlock(*c.blocks, coeffs, coeffs, true,
                 [&](SubbandPlane& plane, SubbandPlane&, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                     std::uint32_t h, Midpoint mode, BandId id, bool owed) {
                   const std::uint32_t b = Index(id, n);
                   BandRows& band = bands_[b];
                   if (!band.plane) {
                     band.plane = &plane;
                     if (c.quant) {
                       const BandStep step = StepOf(*c.quant, n, c.precision, id);
                       band.scale = DequantizationScale(step.step, step.Rb);
                     }
                   }
                   blocks_[count++] = {b, x, y, w, h, mode, owed};
                 });
    // The blocks come band by band, each precinct's in raster order, the
    // precincts of a band in raster order too: a stable sort of each band's
    // blocks by row puts them in raster order over the band (a row's blocks
    // follow precinct by precinct, left to right).  Bands with one precinct
    // across are in order already.
    Block* first = blocks_.begin();
    for (std::size_t s = 0; s < count;) {
      std::size_t e = s + 1;
      while (e < count && blocks_[e].band == blocks_[s].band) ++e;
      const auto raster = [](const Block& a, const Block& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; };
      if (!std::is_sorted(first + s, first + e, raster))
        std::stable_sort(first + s, first + e, [](const Block& a, const Block& b) { return a.y < b.y; });
      s = e;
    }
    // Every band: strips from row 0 down to its height, each covering
    // columns 0 to its width with blocks of the strip's height.
    std::size_t i = 0;
    while (i < count) {
      BandRows& band = bands_[blocks_[i].band];
      band.first = i;
      std::uint32_t y = 0;
      while (i < count && &bands_[blocks_[i].band] == &band) {
        const Block& head = blocks_[i];
        if (head.y != y || head.h == 0) return false;
        std::uint32_t x = 0;
        for (; i < count && &bands_[blocks_[i].band] == &band && blocks_[i].y == y; ++i) {
          if (blocks_[i].x != x || blocks_[i].h != head.h) return false;
          x += blocks_[i].w;
        }
        if (x != band.plane->width) return false;
        y += head.h;
      }
      if (y != band.plane->height) return false;
      band.end = i;
      band.cursor = band.first;
    }
    // Every usable plane has its blocks: together they cover the planes'
    // whole area, and each band's blocks cover just its plane.
    return true;
  }

  void Read(std::uint32_t level, std::uint32_t kind, std::uint32_t row, float* dst,
            std::uint32_t count) const override {
    // The LL band follows the levels' bands.
    const BandRows& band = bands_[level * 3 + 1 == bands_.Count() ? level * 3 : level * 3 + kind];
    if (!band.plane || row >= band.plane->height) return;
    // Rows come in increasing order: the strip is the cursor's or a later one.
    std::size_t i = band.cursor;
    if (blocks_[i].y > row) i = band.first;
    while (blocks_[i].y + blocks_[i].h <= row) {
      const std::uint32_t y = blocks_[i].y;
      while (i < band.end && blocks_[i].y == y) ++i;
    }
    band.cursor = i;
    const auto* in =
        reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(band.plane->data) +
                                               static_cast<std::ptrdiff_t>(row) * band.plane->step);
    // Neighbouring blocks of the strip with the same midpoint are converted
    // in one call (the blocks of a strip follow each other without gaps).
    const std::uint32_t y = blocks_[i].y;
    while (i < band.end && blocks_[i].y == y && blocks_[i].x < count) {
      const std::uint32_t x = blocks_[i].x;
      const Midpoint mode = blocks_[i].mode;
      const bool owed = blocks_[i].owed;
      std::uint32_t end = x;
      for (; i < band.end && blocks_[i].y == y && blocks_[i].mode == mode && blocks_[i].owed == owed &&
             blocks_[i].x == end;
           ++i)
        end += blocks_[i].w;
      if (end > count) end = count;
      // A block never included holds no coefficients of this tile: zeros.
      if (owed)
        std::fill(dst + x, dst + end, 0.0f);
      else
        ConvertRowSM32s32fMidpoint(in + x, dst + x, end - x, mode, band.scale);
    }
  }

 private:
  struct Block {
    std::uint32_t band, x, y, w, h;
    Midpoint mode;
    bool owed;
  };
  struct BandRows {
    const SubbandPlane* plane = nullptr;
    float scale = 1.0f;
    std::size_t first = 0, end = 0;
    mutable std::size_t cursor = 0;
  };
  static std::uint32_t Index(BandId id, std::uint32_t levels) {
    return id.ll ? levels * 3 : id.level * 3 + id.band;
  }
  OwnedArray<BandRows> bands_;
  OwnedArray<Block> blocks_;
};

// True when the code-blocks that wrote the set cover its planes' whole area.
bool BlocksTileBands(const ComponentCoefficients& c) {
  if (!c.blocks) return false;
  LevelSet& coeffs = *c.set;
  std::uint64_t blockArea = 0, planeArea = 0;
  ForEachPlanePair(coeffs, coeffs, [&](SubbandPlane& s, SubbandPlane&) {
    if (Usable(s)) planeArea += std::uint64_t{s.width} * s.height;
  });
  ForEachBlock(*c.blocks, coeffs, coeffs, true,
               [&](SubbandPlane&, SubbandPlane&, std::uint32_t, std::uint32_t, std::uint32_t w,
                   std::uint32_t h, Midpoint, BandId, bool) { blockArea += std::uint64_t{w} * h; });
  return blockArea == planeArea;
}

// Zeroes the rectangles of the code-blocks that stand for zeros without
// holding them, for the paths that read the planes whole.
void ClearOwedBlocks(const ComponentCoefficients& c) {
  if (c.blocks) ClearOwedCodeBlocks(*c.blocks);
}

}  // namespace

bool ReconstructTiles32Together(const ComponentCoefficients* c, FloatRowSink& sink) {
  for (int k = 0; k < 3; ++k) {
    if (c[k].transform != 0 || !c[k].set || c[k].set->levels == 0 || c[k].set->levels != c[0].set->levels)
      return false;
    const Rect& r = c[k].rect;
    if (r.x != c[0].rect.x || r.y != c[0].rect.y || r.width != c[0].rect.width ||
        r.height != c[0].rect.height)
      return false;
    if (!BlocksTileBands(c[k])) return false;
  }
  BlockRows rows[3];
  for (int k = 0; k < 3; ++k)
    if (!rows[k].Build(c[k])) return false;
  const FloatBandRows* const bands[3] = {&rows[0], &rows[1], &rows[2]};
  InvDWT97_32fTogether(bands, c[0].set->levels, c[0].rect, sink);
  return true;
}

void DequantizeBand32f(SubbandPlane& p, std::uint32_t mantissa, std::uint32_t exponent, std::uint32_t Rb) {
  const float scale = DequantizationScale({mantissa, exponent}, Rb);
  auto* d = static_cast<Prim32f*>(p.data);
  imgMulC_32f_C1R(d, p.step, scale, d, p.step, static_cast<int>(p.width), static_cast<int>(p.height));
}

void Dequantize32f(LevelSet& set, const QuantStyle& q, std::uint32_t R) {
  ForEachBandStep(set, q, R, [](SubbandPlane& p, SubbandStep s, std::uint32_t Rb) {
    DequantizeBand32f(p, s.mantissa, s.exponent, Rb);
  });
}

void DequantizeNarrow16(const SubbandPlane& src, SubbandPlane& dst, std::uint32_t mantissa,
                        std::uint32_t exponent, std::uint32_t Rb, Midpoint midpoint, std::uint32_t x0,
                        std::uint32_t y0, std::uint32_t w, std::uint32_t h) {
  if (!Usable(src) || !dst.data || x0 >= src.width || y0 >= src.height) return;
  w = std::min(w, src.width - x0);
  h = std::min(h, src.height - y0);

  // value x 16 = q x (2^11 + mu) x 2^(Rb - eps - 11) x 2^4, formed on 64 bits
  // as 16q (+- 8 for the midpoint) x (2^11 + mu) x 2^-sf, rounded half to even.
  const std::int64_t factor = 2048 + (mantissa & 2047);
  const int sf = static_cast<int>(exponent & 31) - static_cast<int>(Rb) + 11;
  const auto* s = static_cast<const std::uint8_t*>(src.data) + std::size_t{y0} * src.step;
  auto* d = static_cast<std::uint8_t*>(dst.data) + std::size_t{y0} * dst.step;
  for (std::uint32_t y = 0; y < h; ++y, s += src.step, d += dst.step) {
    const auto* in = reinterpret_cast<const std::int32_t*>(s) + x0;
    auto* out = reinterpret_cast<std::int16_t*>(d) + x0;
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::int64_t m = static_cast<std::uint32_t>(in[x]) & 0x7FFFFFFFu;
      const std::int64_t q = (static_cast<std::uint32_t>(in[x]) & 0x80000000u) ? -m : m;
      const std::int64_t half =
          midpoint == Midpoint::kAll || (midpoint == Midpoint::kMagnitudeOne && (q == 1 || q == -1)) ? 8 : 0;
      const std::int64_t v = q > 0 ? 16 * q + half : q < 0 ? 16 * q - half : 0;
      std::int64_t p = v * factor;
      if (sf > 0) {
        if (sf > 62)
          p = 0;
        else
          p = (p + (std::int64_t{1} << (sf - 1)) - 1 + ((p >> sf) & 1)) >> sf;
      } else if (sf < 0) {
        // A left shift: anything but a small product leaves the 16-bit range.
        const bool large = -sf > 16 || p >= 65536 || p <= -65536;
        p = large ? (p > 0 ? 32767 : p < 0 ? -32768 : 0) : p * (std::int64_t{1} << -sf);
      }
      out[x] = static_cast<std::int16_t>(p > 32767 ? 32767 : p < -32768 ? -32768 : p);
    }
  }
}

void ReconstructTile16(const ComponentCoefficients& c, std::int16_t* dst, std::int32_t dstStep) {
  // Every conversion reads the sign-magnitude words as they are.
  ClearOwedBlocks(c);
  LevelSet& coeffs = *c.set;
  LevelSet narrow;
  AllocLevelSet16(narrow, c.rect, coeffs.levels);
  if (c.transform == 0) {
    // Dequantised straight from the 32-bit coefficients to 16-bit samples
    // with 4 fractional bits: a coefficient whose value fits is never cut
    // down before its step is applied, and one that does not saturates.
    const QuantStyle empty;
    const QuantStyle& q = c.quant ? *c.quant : empty;
    const std::uint32_t n = coeffs.levels, R = c.precision;
    for (std::uint32_t i = 0; i < n; ++i) {
      const SubbandStep hl = QuantLevelStep(q, n, i, 0), lh = QuantLevelStep(q, n, i, 1),
                        hh = QuantLevelStep(q, n, i, 2);
      DequantizeNarrow16(coeffs.level[i].hl, narrow.level[i].hl, hl.mantissa, hl.exponent, R + 2);
      DequantizeNarrow16(coeffs.level[i].lh, narrow.level[i].lh, lh.mantissa, lh.exponent, R + 2);
      DequantizeNarrow16(coeffs.level[i].hh, narrow.level[i].hh, hh.mantissa, hh.exponent, R + 3);
    }
    const SubbandStep ll = QuantLLStep(q);
    DequantizeNarrow16(coeffs.ll, narrow.ll, ll.mantissa, ll.exponent, R + 1);
    if (c.blocks) {
      ForEachBlock(*c.blocks, coeffs, narrow, false,
                   [&](SubbandPlane& src, SubbandPlane& dstPlane, std::uint32_t x, std::uint32_t y,
                       std::uint32_t w, std::uint32_t h, Midpoint mode, BandId id, bool) {
                     const BandStep b = StepOf(q, n, R, id);
                     DequantizeNarrow16(src, dstPlane, b.step.mantissa, b.step.exponent, b.Rb, mode, x, y, w,
                                        h);
                   });
    }
    InvDWT97_16s(narrow, dst, dstStep, c.rect);
  } else {
    ForEachPlanePair(coeffs, narrow, [](SubbandPlane& s, SubbandPlane& d) { ConvertPlaneSM32s16s(s, d); });
    InvDWT53_16s(narrow, dst, dstStep, c.rect);
  }
}

void ReconstructTile32(const ComponentCoefficients& c, void* dst, std::int32_t dstStep) {
  LevelSet& coeffs = *c.set;
  if (c.transform != 0) {
    ClearOwedBlocks(c);
    // The transform reads the coefficient planes themselves: two's complement
    // while it runs, sign-magnitude again afterwards.
    SignMagnitudeGuard twos(coeffs);
    InvDWT53_32s(coeffs, static_cast<std::int32_t*>(dst), dstStep, c.rect);
    return;
  }
  // The code-blocks tile their bands: then each is converted once, with the
  // midpoint it needs, best while the synthesis reads its rows.  Otherwise
  // the planes are converted whole and the code-blocks that need the
  // midpoint again.
  const bool tiled = BlocksTileBands(c);
  if (tiled) {
    BlockRows rows;
    if (rows.Build(c)) {
      InvDWT97_32f(rows, coeffs.levels, static_cast<float*>(dst), dstStep, c.rect);
      return;
    }
  }
  // The paths below read the planes whole.
  ClearOwedBlocks(c);
  LevelSet floats;
  AllocLevelSet32(floats, c.rect, coeffs.levels);
  if (tiled) {
    // Conversion, midpoint and dequantisation in one pass.
    ForEachBlock(*c.blocks, coeffs, floats, true,
                 [&](SubbandPlane& s, SubbandPlane& d, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                     std::uint32_t h, Midpoint mode, BandId id, bool) {
                   float scale = 1.0f;
                   if (c.quant) {
                     const BandStep b = StepOf(*c.quant, coeffs.levels, c.precision, id);
                     scale = DequantizationScale(b.step, b.Rb);
                   }
                   ConvertRectSM32s32fMidpoint(s, d, mode, x, y, w, h, scale);
                 });
  } else {
    ForEachPlanePair(coeffs, floats, [](SubbandPlane& s, SubbandPlane& d) { ConvertPlaneSM32s32f(s, d); });
    if (c.blocks) {
      ForEachBlock(*c.blocks, coeffs, floats, false,
                   [](SubbandPlane& s, SubbandPlane& d, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                      std::uint32_t h, Midpoint mode, BandId,
                      bool) { ConvertRectSM32s32fMidpoint(s, d, mode, x, y, w, h); });
    }
    if (c.quant) Dequantize32f(floats, *c.quant, c.precision);
  }
  InvDWT97_32f(floats, static_cast<float*>(dst), dstStep, c.rect);
}

}  // namespace Codec
