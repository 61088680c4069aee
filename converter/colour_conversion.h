// Colour conversion of one decoded Digital Cinema frame: three planes of
// X'Y'Z' code values become 8-bit interleaved R, G, B rows.  Per row:
// normalisation to [0, 1], gamma 2.6 decoding, the fixed XYZ-to-RGB matrix,
// clamping to [0, 1], gamma 1/2.2 encoding and scaling to 0..255 (truncated).
#pragma once

#include <cstdint>

#include "decoder/image_records.h"
#include "framework/arrays.h"
#include "mxf/KM_error.h"
#include "primitives/core/prim_types.h"

// The conversion's constants (exact single-precision values).
extern const Prim32f kXyzToRgbMatrix[3][4];
inline constexpr Prim32f kInputGamma = 2.6f;
inline constexpr Prim32f kOutputGamma = 0.45454547f;  // 1 / 2.2

// The converted frame: rows of 3 x width bytes, top to bottom, at `data`.
struct TRgbFrame {
  TByteArray* pixels;     // resized to 3 x width x height bytes (unused over the image)
  std::uint32_t rowSize;  // bytes per row
  std::uint32_t width;
  std::uint32_t height;
  std::uint8_t* data = nullptr;  // the first row: in `pixels`, or over the image
};

// The output gamma and the truncation to bytes of a row of values in [0, 1]:
// dst[i] = TruncateToByte(v^kOutputGamma x 255) with the power primitive's v^g,
// the byte whatever the processor.  A value whose float bit pattern lies in a
// short range at whose two ends the primitive gives the same byte takes that
// byte from a table made by the primitive; the others (about one in forty)
// go through the primitive.  `positions` has room for len indices; `values`
// is overwritten.  Returns the primitive's status.
PrimResult OutputGammaToBytes(Prim32f* values, std::int32_t* positions, std::uint8_t* dst, int len);

// Converts `image` (32-bit signed samples, one plane per component, as the
// decoder wrote them) into `out`.  The image must be expectedWidth x
// expectedHeight with three full-size components.  The output block is kept
// while its size stays the same.  Every failure is a result; nothing throws.
Kumu::Result_t ConvertXyzImageToRgb(const Codec::ImageBuffer& image, std::uint32_t expectedWidth,
                                    std::uint32_t expectedHeight, TRgbFrame& out);
// The same, with the rows written over the image's first plane (its samples
// are then gone); `out.pixels` is not used.  The frame needs no memory of its
// own: it lives as long as the image's planes stay as they are.
Kumu::Result_t ConvertXyzImageToRgbOverImage(Codec::ImageBuffer& image, std::uint32_t expectedWidth,
                                             std::uint32_t expectedHeight, TRgbFrame& out);
