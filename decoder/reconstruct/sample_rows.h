// Row operations of the decoder's sample stages: conversions, shifts, level
// shifts and the inverse component transforms, each over one row in place or
// from one row to another.  Statuses are not reported: every caller passes
// valid rows and lengths.
#pragma once

#include <cstdint>

namespace Codec {

// Saturating narrowing to [-32768, 32767].
void RowConvert32s16s(const std::int32_t* src, std::int16_t* dst, int len);
// Exact for every value that fits a float, otherwise rounded to nearest.
void RowConvert32s32f(const std::int32_t* src, float* dst, int len);
// Float to integer in place: rounded to nearest (ties to even), saturated.
void RowConvert32f32s(float* row, int len);
// Left shift saturating to [-32768, 32767].
void RowLShiftSat16s(std::int16_t* row, int count, int len);
// Arithmetic right shift in place.
void RowRShift16s(std::int16_t* row, int count, int len);
void RowRShift32s(std::int32_t* row, int count, int len);
// row := sat16((row + value) x 2^-scaleFactor), rounding half to even
// (scale factor 0 or 4 here).
void RowAddC16s(std::int16_t* row, std::int32_t value, int scaleFactor, int len);
// row := sat32(row + value).
void RowAddC32s(std::int32_t* row, std::int32_t value, int len);
// Clamp to [low, high].
void RowClamp16s(std::int16_t* row, std::int16_t low, std::int16_t high, int len);
void RowClamp32s(std::int32_t* row, std::int32_t low, std::int32_t high, int len);

// Inverse component transforms over three rows of len samples in place:
// Y, U, V (Y, Cb, Cr) in, R, G, B out.
void RowInvRCT16s(std::int16_t* r0, std::int16_t* r1, std::int16_t* r2, int len);
void RowInvRCT32s(std::int32_t* r0, std::int32_t* r1, std::int32_t* r2, int len);
void RowInvICT16s(std::int16_t* r0, std::int16_t* r1, std::int16_t* r2, int len);
void RowInvICT32f(float* r0, float* r1, float* r2, int len);

// The whole irreversible sample stage of three rows in one pass: the inverse
// component transform, then per component the conversion to integers
// (RowConvert32f32s), the level shift offset[c] (RowAddC32s) and the clamp to
// [low[c], high[c]] (RowClamp32s), giving the samples those passes give.  The
// integers are written over the floats.  Needs |offset|, |low|, |high| <= 2^23
// and low <= high.
void RowInvICTToSamples32(float* r0, float* r1, float* r2, int len, const std::int32_t offset[3],
                          const std::int32_t low[3], const std::int32_t high[3]);
// The same from three float rows to three rows of 32-bit integers elsewhere
// (or in the same place).
void RowInvICTToSamples32(const float* const in[3], void* const out[3], int len, const std::int32_t offset[3],
                          const std::int32_t low[3], const std::int32_t high[3]);

}  // namespace Codec
