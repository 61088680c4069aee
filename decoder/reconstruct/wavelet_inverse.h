// Inverse discrete wavelet transform of one tile-component over all its
// decomposition levels: reversible 5/3 on 16-bit or 32-bit integers,
// irreversible 9/7 in 16-bit fixed point (samples with 4 fractional bits,
// constants in Q16: the rounding of lifting97_fixed.h at the ends and for
// signals of two or three samples, the primitives' in the interior) or on
// 32-bit floats.
//
// Each level is synthesised into its output plane: every output row is made
// from its band row pair by the horizontal synthesis, and the rows are
// combined vertically top-down just behind, while the rows a lifting step
// still needs are in the cache.  The levels alternate between one temporary plane of the
// tile-component's largest intermediate size and the destination, so that
// the finest level writes the destination.
#pragma once

#include <cstdint>

#include "decoder/geometry.h"
#include "decoder/reconstruct/level_planes.h"

namespace Codec {

// `set` holds the subband planes of the path's sample type; `dst` receives the
// rectangle's width x height samples, rows dstStep bytes apart.  Throws
// Except_faultMalloc when the temporary plane cannot be had.
void InvDWT53_16s(const LevelSet& set, std::int16_t* dst, std::int32_t dstStep, const Rect& rect);
void InvDWT53_32s(const LevelSet& set, std::int32_t* dst, std::int32_t dstStep, const Rect& rect);
void InvDWT97_16s(const LevelSet& set, std::int16_t* dst, std::int32_t dstStep, const Rect& rect);
void InvDWT97_32f(const LevelSet& set, float* dst, std::int32_t dstStep, const Rect& rect);
// Rows of the subbands the float synthesis reads, made on demand: Read
// writes `count` floats of row `row` of subband `band` (0 HL, 1 LH, 2 HH) of
// level `level`, or of the LL band when `level` is the number of levels.
class FloatBandRows {
 public:
  virtual ~FloatBandRows() = default;
  virtual void Read(std::uint32_t level, std::uint32_t band, std::uint32_t row, float* dst,
                    std::uint32_t count) const = 0;
};
// The float synthesis of `levels` levels reading its subbands from `bands`.
void InvDWT97_32f(const FloatBandRows& bands, std::uint32_t levels, float* dst, std::int32_t dstStep,
                  const Rect& rect);

// Takes the finished rows of three components synthesised together.
class FloatRowSink {
 public:
  virtual ~FloatRowSink() = default;
  // Row y (0 up, each once) of the three components, `width` floats each.
  virtual void Rows(std::uint32_t y, float* const rows[3], std::uint32_t width) = 0;
};
// The float synthesis of three components of one rectangle, each reading its
// subbands from bands[c]: their coarser levels one after another, then the
// finest level of all three row by row, each output row triple handed to
// `sink` as soon as it is final, while it is still in the cache (the rows are
// not kept).  Needs levels >= 1.
void InvDWT97_32fTogether(const FloatBandRows* const bands[3], std::uint32_t levels, const Rect& rect,
                          FloatRowSink& sink);

// The same float synthesis one row operation at a time, level by level: the
// reference the column-swept synthesis above must match bit for bit.
void InvDWT97_32fReference(const LevelSet& set, float* dst, std::int32_t dstStep, const Rect& rect);

}  // namespace Codec
