// Tile reconstruction: one tile-component's coefficients (32-bit
// sign-magnitude, one plane per subband) become image samples in a
// destination plane of the tile-component's size.
//
// 16-bit path: reversible coefficients are narrowed to 16 bits (saturating);
// irreversible ones are dequantised on 32 bits into 16-bit samples with 4
// fractional bits (kept until the tile output), saturating; then the inverse
// transform runs.  Irreversible coefficients are reconstructed at the middle
// of their quantisation interval.  32-bit path:
// the reversible transform runs straight on the coefficient planes; the
// irreversible one converts them to floats and dequantises them (as the
// synthesis reads their rows, when the code-blocks tile the bands) and writes
// floats.
// The coefficients are back in sign-magnitude when a call returns.
#pragma once

#include <cstdint>

#include "decoder/codestream/coding_params.h"
#include "decoder/geometry.h"
#include "decoder/reconstruct/level_planes.h"
#include "decoder/reconstruct/wavelet_inverse.h"
#include "decoder/tier2/tile_component.h"

namespace Codec {

// What reconstruction needs of one tile-component.
struct ComponentCoefficients {
  LevelSet* set = nullptr;            // 32-bit sign-magnitude planes
  Rect rect;                          // tile-component rectangle
  std::uint32_t transform = 1;        // 0 irreversible 9/7, else reversible 5/3
  const QuantStyle* quant = nullptr;  // the component's quantisation
  std::uint32_t precision = 0;        // bit depth minus one
  // The code-blocks that wrote the set: on the irreversible path, those
  // decoded down to their last bit-plane are reconstructed at the middle of
  // their quantisation interval (the others already are); those whose
  // clearing is still owed (CodeBlock::ClearOwed) are read as zeros, or
  // cleared first where the planes are read whole.  Null: none.
  TileComponent* blocks = nullptr;
};

void ReconstructTile16(const ComponentCoefficients& c, std::int16_t* dst, std::int32_t dstStep);
// Three irreversible components of one rectangle and level count, whose
// code-blocks tile their bands, reconstructed together on the 32-bit path:
// the float rows go to `sink` as they are finished (see
// InvDWT97_32fTogether), each as ReconstructTile32 would write it.  False,
// with nothing done, when the components are not such.
bool ReconstructTiles32Together(const ComponentCoefficients* c, FloatRowSink& sink);
void ReconstructTile32(const ComponentCoefficients& c, void* dst, std::int32_t dstStep);

// Dequantisation of a whole set in place (R = bit depth minus one).
void Dequantize32f(LevelSet& set, const QuantStyle& q, std::uint32_t R);
void DequantizeBand32f(SubbandPlane& plane, std::uint32_t mantissa, std::uint32_t exponent, std::uint32_t Rb);
// From 32-bit sign-magnitude coefficients to dequantised 16-bit samples with
// 4 fractional bits, saturating; the coefficients that `midpoint` selects are
// taken as q +- 1/2.  The rectangle {x, y, w, h} of the planes is converted (the
// whole plane with the default).
void DequantizeNarrow16(const SubbandPlane& src, SubbandPlane& dst, std::uint32_t mantissa,
                        std::uint32_t exponent, std::uint32_t Rb, Midpoint midpoint = Midpoint::kNone,
                        std::uint32_t x = 0, std::uint32_t y = 0, std::uint32_t w = 0xFFFFFFFFu,
                        std::uint32_t h = 0xFFFFFFFFu);

}  // namespace Codec
