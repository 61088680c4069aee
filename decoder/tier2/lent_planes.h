// Coefficients in the caller's planes.
//
// A tile keeps its wavelet coefficients in planes of its own until its
// samples are written: 25 MB per decoder for a 2K cinema frame.  A caller that
// reads every image once, into 32-bit planes, may ask the decoder to keep
// them in its planes instead (BaseImageDecoder::LendCallerPlanes): the
// coefficients are decoded straight into the planes that are to receive the
// samples, and the samples are written over them.  Everything that rule
// involves is in this unit.
//
// Which tiles.  A tile whose rectangle is the whole image, with exactly three
// components, each irreversible (9/7), of one sampling, one level count (1 to
// 30) and at most 23 bits, under the component transform; the three offered
// planes must not overlap, and a row step shifted left by the level count
// must fit 31 bits (the band planes' step).  Such a tile's output is its
// three components synthesised together, row by row, each output row taking
// the whole sample stage once it is final (OutputTile's together path).
//
// Where the coefficients go (PlaceLevelSet32).  Every level's bands are views
// inside the component's plane, where that level's synthesis puts its
// samples: level i takes the rows of resolution i, 2^i plane rows apart; its
// row j holds band row j / 2 of the low bands (LL, HL) when j has the parity
// of a low row, else of the high bands (LH, HH); in each row the low columns
// come first, and the low rows' low columns are the area of level i + 1.
//
// Why each row is read before it is written.  So placed, every coefficient
// lies in the plane row that the finest level's synthesis makes first of all
// the rows that need it: that synthesis reads plane row y's own bands when it
// makes row y, and the coarser levels' rows in plane row y reach it as LL
// rows, made on demand (through rings of their own) when row y is made, if
// not before.  The together path writes plane row y only once output row y is
// final, which is after row y was made.  So every plane row has been read
// whole before a sample is written into it, and no level needs a plane of
// its own.
//
// What it costs the caller.  Once written, the planes hold samples, no longer
// coefficients, and the decoder keeps nothing else of the image: it gives the
// samples once.  Every later ReadData fails with Except_LentPlanesHoldSamples,
// whatever its planes, and reads and writes nothing (the decoder cannot know
// whether the caller's planes, even at the same addresses, still hold the
// samples).  A ReadData that fails may leave coefficients in the planes, in
// place of what they held; every later one fails with
// Except_EarlierReadFailed and touches no plane, those included.  A tile that
// cannot take the together path after all (code-blocks that do not tile their
// bands) has its coefficients moved into planes of its own first
// (MoveOutOfLentPlanes) before its samples are written.
#pragma once

#include <cstdint>

#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/tile_part_header.h"
#include "decoder/geometry.h"
#include "decoder/image_records.h"
#include "decoder/level_set.h"
#include "decoder/tier2/tile_component.h"

namespace Codec {

// Three 32-bit planes of the image's size, as one ReadData call names them.
struct LentPlanes {
  std::uint8_t* data[3] = {};
  std::uint32_t step[3] = {};
  std::int32_t dataType = 0;
};

// The planes of a ReadData call as a lending would name them (whether or not
// they can be lent).
LentPlanes PlanesOfCall(std::uint32_t componentCount, void* const* planes, const ImageBufferDescr& descr);

// Whether a tile starting now can keep its coefficients in `offer`.
bool TakesLentPlanes(const CodestreamHeader& h, const TileCodingParams& p, const Rect& tileRect,
                     const LentPlanes& offer);

// Lays the planes of a 32-bit set out as views inside a plane of the
// tile-component's size (`plane`, rows `step` bytes apart; step << n must fit
// 31 bits), as described above.
void PlaceLevelSet32(LevelSet& set, const Rect& tc, std::uint32_t n, std::uint8_t* plane, std::int32_t step);

// Gives the coefficient planes of components 0 to 2 blocks of their own: the
// rectangles of code-blocks still owed their clearing are cleared first, and
// every code-block is bound to its rectangle in the new planes.
void MoveOutOfLentPlanes(LevelSet* sets, TileComponent* blocks);

}  // namespace Codec
