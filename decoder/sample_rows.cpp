// Row operations of the decoder's sample stages.
#include "decoder/sample_rows.h"

#include <cmath>

#include "primitives/colour/threshold.h"

namespace Codec {

namespace {

inline std::int16_t Sat16(std::int64_t v) {
  return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}
inline std::int32_t Sat32(std::int64_t v) {
  return static_cast<std::int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}
inline std::int16_t Low16(std::int32_t v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v)); }
inline std::int32_t Low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

}  // namespace

void RowConvert32s16s(const std::int32_t* src, std::int16_t* dst, int len) {
  for (int i = 0; i < len; ++i) dst[i] = Sat16(src[i]);
}

void RowConvert32s32f(const std::int32_t* src, float* dst, int len) {
  for (int i = 0; i < len; ++i) dst[i] = static_cast<float>(src[i]);
}

void RowConvert32f32s(float* row, int len) {
  auto* out = reinterpret_cast<std::int32_t*>(row);
  for (int i = 0; i < len; ++i) {
    const float v = row[i];
    std::int32_t r;
    if (v > -4194304.0f && v < 4194304.0f) {
      // Below 2^22 in magnitude, adding and taking away 1.5 x 2^23 rounds to
      // the nearest integer, ties to even, in the default rounding mode.
      const float shifted = v + 12582912.0f;
      r = static_cast<std::int32_t>(shifted - 12582912.0f);
    } else if (v >= 2147483520.0f) {
      r = INT32_MAX;
    } else if (v < -2147483648.0f) {
      r = INT32_MIN;
    } else if (v != v) {
      r = 0;
    } else {
      r = static_cast<std::int32_t>(v);  // already a whole number
    }
    out[i] = r;
  }
}

void RowLShiftSat16s(std::int16_t* row, int count, int len) {
  for (int i = 0; i < len; ++i) row[i] = Sat16(std::int64_t{row[i]} * (std::int64_t{1} << count));
}

void RowRShift16s(std::int16_t* row, int count, int len) {
  if (count > 15) count = 15;
  for (int i = 0; i < len; ++i) row[i] = static_cast<std::int16_t>(row[i] >> count);
}

void RowRShift32s(std::int32_t* row, int count, int len) {
  if (count > 31) count = 31;
  for (int i = 0; i < len; ++i) row[i] = row[i] >> count;
}

void RowAddC16s(std::int16_t* row, std::int32_t value, int scaleFactor, int len) {
  const std::int16_t v16 = static_cast<std::int16_t>(value);
  for (int i = 0; i < len; ++i) {
    std::int32_t s = row[i] + v16;
    if (scaleFactor == 1) s = (s + ((s >> 1) & 1)) >> 1;
    else if (scaleFactor > 1) s = (s + (1 << (scaleFactor - 1)) - 1 + ((s >> scaleFactor) & 1)) >> scaleFactor;
    row[i] = Sat16(s);
  }
}

void RowAddC32s(std::int32_t* row, std::int32_t value, int len) {
  for (int i = 0; i < len; ++i) row[i] = Sat32(std::int64_t{row[i]} + value);
}

void RowClamp16s(std::int16_t* row, std::int16_t low, std::int16_t high, int len) {
  vecThreshold_LT_16s(row, row, len, low);
  vecThreshold_GT_16s(row, row, len, high);
}

void RowClamp32s(std::int32_t* row, std::int32_t low, std::int32_t high, int len) {
  vecThreshold_LT_32s(row, row, len, low);
  vecThreshold_GT_32s(row, row, len, high);
}

void RowInvRCT16s(std::int16_t* r0, std::int16_t* r1, std::int16_t* r2, int len) {
  for (int i = 0; i < len; ++i) {
    const std::int32_t y = r0[i], u = r1[i], v = r2[i];
    const std::int32_t g = y - ((u + v) >> 2);
    r0[i] = Low16(v + g);
    r1[i] = Low16(g);
    r2[i] = Low16(u + g);
  }
}

void RowInvRCT32s(std::int32_t* r0, std::int32_t* r1, std::int32_t* r2, int len) {
  for (int i = 0; i < len; ++i) {
    const std::int64_t y = r0[i], u = r1[i], v = r2[i];
    const std::int64_t g = y - ((u + v) >> 2);
    r0[i] = Low32(v + g);
    r1[i] = Low32(g);
    r2[i] = Low32(u + g);
  }
}

void RowInvICT16s(std::int16_t* r0, std::int16_t* r1, std::int16_t* r2, int len) {
  for (int i = 0; i < len; ++i) {
    const std::int32_t y = r0[i], cb = r1[i], cr = r2[i];
    r0[i] = Low16(y + ((22970 * cr + 8192) >> 14));
    r1[i] = Low16(y + ((-5638 * cb - 11700 * cr + 8192) >> 14));
    r2[i] = Low16(y + ((29032 * cb + 8192) >> 14));
  }
}

void RowInvICT32f(float* r0, float* r1, float* r2, int len) {
  for (int i = 0; i < len; ++i) {
    const float y = r0[i], cb = r1[i], cr = r2[i];
    r0[i] = y + 1.402f * cr;
    r1[i] = (y - 0.34413f * cb) - 0.71414f * cr;
    r2[i] = y + 1.772f * cb;
  }
}

}  // namespace Codec
