// Library-wide types of the primitives: status values, element types, the
// region size of 2-D primitives and the processor generations.
#pragma once

#include <cstdint>

using Prim8u = std::uint8_t;
using Prim16s = std::int16_t;
using Prim16u = std::uint16_t;
using Prim32s = std::int32_t;
using Prim32u = std::uint32_t;
using Prim32f = float;
using Prim64s = std::int64_t;
using Prim64f = double;
// Complex elements: the real part, then the imaginary part.
struct Prim16sc {
  Prim16s re, im;
};
struct Prim32fc {
  Prim32f re, im;
};
struct Prim64fc {
  Prim64f re, im;
};

// Signed status of every primitive: 0 success, negative errors (nothing was
// done), positive warnings (the operation completed).
using PrimResult = std::int32_t;

enum : PrimResult {
  primResultOk = 0,
  primResultBadArgument = -5,
  primResultBadSize = -6,
  primResultNullPointer = -8,
  primResultBadStep = -14,
  primResultBadState = -17,
  primResultBadShift = -32,
  primResultDamagedCodeBlock = -112,
  primResultNoCodeBlock = -180,
  primResultDomainWarning = 19,
  primResultUnknownCpu = 20,
  primResultCpuQueryUnsupported = 36,
  primResultCacheSizeUnknown = 37,
};

// Width and height of the region a 2-D primitive works on.
struct PrimRoiSize {
  int width;
  int height;
};

using PrimCpuFeatureMask = std::uint64_t;

// Index of a primitive's build.
enum PrimCpuGeneration : std::int32_t {
  primGenPx = 0,
  primGenSse2 = 1,
  primGenSsse3 = 2,
  primGenMovbe = 3,
  primGenSse41 = 4,
  primGenAvx = 5,
  primGenAvx2 = 6,
};

inline constexpr int primGenerationCount = 7;
