// Planes of reconstruction: temporary 16-bit and float level sets of a
// tile-component's geometry, the sign-magnitude mapping of the code-blocks'
// coefficients and the plane conversions between the sample paths.
#pragma once

#include <cstdint>

#include "decoder/geometry.h"
#include "decoder/holders.h"
#include "decoder/level_set.h"

namespace Codec {

// Allocates every plane of a set of 16-bit samples (AllocLevelSet32 makes the
// 32-bit ones); throws Except_faultMalloc when a plane cannot be had.
void AllocLevelSet16(LevelSet& set, const Rect& rect, std::uint32_t n);

// Maps every coefficient of a 32-bit set between sign-magnitude and two's
// complement (the mapping is its own inverse).
void FlipSignMagnitude(LevelSet& set);

// Row-by-row plane conversions over the source plane's size.
void ConvertPlane32s16s(const SubbandPlane& src, SubbandPlane& dst);  // saturating
void ConvertPlane32s32f(const SubbandPlane& src, SubbandPlane& dst);
// Left shift that saturates to [-32768, 32767] (a wrapped coefficient would
// come back with the wrong sign and magnitude).
void ShiftPlaneLeft16s(SubbandPlane& plane, int count);

// Irreversible path: a decoded coefficient q != 0 stands for a value between
// |q| and |q| + 1 steps; these move it to the middle of that interval (half a
// step away from zero) before dequantisation.  The 16-bit form works on
// samples with `fractionBits` fractional bits.
void AddMidpointOffset32f(SubbandPlane& plane);
void AddMidpointOffset16s(SubbandPlane& plane, int fractionBits);

// True for a plane that holds samples.
bool Usable(const SubbandPlane& p);

}  // namespace Codec
