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

// Row-by-row plane conversions over the source plane's size, reading the
// code-blocks' sign-magnitude words (so the coefficients need no flip).
void ConvertPlaneSM32s16s(const SubbandPlane& src, SubbandPlane& dst);  // saturating
void ConvertPlaneSM32s32f(const SubbandPlane& src, SubbandPlane& dst);
// Left shift that saturates to [-32768, 32767] (a wrapped coefficient would
// come back with the wrong sign and magnitude).
void ShiftPlaneLeft16s(SubbandPlane& plane, int count);

// Irreversible path: a coefficient q != 0 whose last bit-plane was decoded
// stands for a value between |q| and |q| + 1 steps; it is moved to the middle
// of that interval (half a step away from zero) before dequantisation.
// Which coefficients of a code-block: none, every non-zero one, or those of
// magnitude 1 (a code-block that stopped after the significance pass of its
// last bit-plane).
// ConvertRectSM32s32fMidpoint converts the rectangle {x, y, w, h} of a
// sign-magnitude plane, with the midpoint `mode` asks for, into the float
// plane, each value multiplied by `scale` (the dequantisation step; the
// product is the one a separate multiplication would give).
enum class Midpoint { kNone, kAll, kMagnitudeOne };
void ConvertRectSM32s32fMidpoint(const SubbandPlane& src, SubbandPlane& dst, Midpoint mode, std::uint32_t x,
                                 std::uint32_t y, std::uint32_t w, std::uint32_t h, float scale = 1.0f);
// The same on w words of one row.
void ConvertRowSM32s32fMidpoint(const std::uint32_t* in, float* out, std::uint32_t w, Midpoint mode,
                                float scale);

// True for a plane that holds samples.
bool Usable(const SubbandPlane& p);

}  // namespace Codec
