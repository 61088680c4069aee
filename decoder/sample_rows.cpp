// Row operations of the decoder's sample stages.
#include "decoder/sample_rows.h"

#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/vectorize_hint.h"
#include "primitives/arith/vec_arith.h"
#include "primitives/colour/threshold.h"
#include "primitives/convert/vec_convert.h"
#include "primitives/jpeg2000/wavelet.h"

namespace Codec {

namespace {

inline std::int16_t Sat16(std::int64_t v) {
  return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

}  // namespace

void RowConvert32s16s(const std::int32_t* src, std::int16_t* dst, int len) { vecConvert_32s16s(src, dst, len); }

void RowConvert32s32f(const std::int32_t* src, float* dst, int len) { vecConvert_32s32f_Sfs(src, dst, len, 0); }

void RowConvert32f32s(float* row, int len) {
  vecConvert_32f32s_Sfs(row, reinterpret_cast<std::int32_t*>(row), len, 1, 0);
}

void RowLShiftSat16s(std::int16_t* row, int count, int len) {
  for (int i = 0; i < len; ++i) row[i] = Sat16(std::int64_t{row[i]} * (std::int64_t{1} << count));
}

void RowRShift16s(std::int16_t* row, int count, int len) { vecRShiftC_16s(row, count, row, len); }

void RowRShift32s(std::int32_t* row, int count, int len) { vecRShiftC_32s(row, count, row, len); }

void RowAddC16s(std::int16_t* row, std::int32_t value, int scaleFactor, int len) {
  vecAddC_16s_Sfs(row, static_cast<Prim16s>(value), row, len, scaleFactor);
}

void RowAddC32s(std::int32_t* row, std::int32_t value, int len) { vecAddC_32s_Sfs(row, value, row, len, 0); }

void RowClamp16s(std::int16_t* row, std::int16_t low, std::int16_t high, int len) {
  vecThreshold_LT_16s(row, row, len, low);
  vecThreshold_GT_16s(row, row, len, high);
}

void RowClamp32s(std::int32_t* row, std::int32_t low, std::int32_t high, int len) {
  vecThreshold_LT_32s(row, row, len, low);
  vecThreshold_GT_32s(row, row, len, high);
}

void RowInvRCT16s(std::int16_t* r0, std::int16_t* r1, std::int16_t* r2, int len) {
  Prim16s* const planes[3] = {r0, r1, r2};
  imgInvReversibleColor_16s_P3IR(planes, len * 2, len, 1);
}

void RowInvRCT32s(std::int32_t* r0, std::int32_t* r1, std::int32_t* r2, int len) {
  Prim32s* const planes[3] = {r0, r1, r2};
  imgInvReversibleColor_32s_P3IR(planes, len * 4, len, 1);
}

void RowInvICT16s(std::int16_t* r0, std::int16_t* r1, std::int16_t* r2, int len) {
  Prim16s* const planes[3] = {r0, r1, r2};
  imgInvIrreversibleColor_16s_P3IR(planes, len * 2, len, 1);
}

// Computed here in single precision rather than by the component-transform
// primitive, whose generic build rounds through double precision: every
// processor then gives the same samples.
CODEC_VECTORIZE_HINT void RowInvICT32f(
    float* __restrict r0, float* __restrict r1, float* __restrict r2, int len) {
  for (int i = 0; i < len; ++i) {
    const float y = r0[i], cb = r1[i], cr = r2[i];
    r0[i] = y + 1.402f * cr;
    r1[i] = (y - 0.34413f * cb) - 0.71414f * cr;
    r2[i] = y + 1.772f * cb;
  }
}

namespace {

// RowConvert32f32s on one value: nearest, ties to even; NaN and values below
// the range give INT32_MIN, values above it INT32_MAX.
inline std::int32_t NearestSaturated(float x) {
  if (x != x || x < -2147483648.0f) return INT_MIN;
  if (x >= 2147483648.0f) return INT_MAX;
#if defined(__SSE2__)
  return _mm_cvtss_si32(_mm_set_ss(x));  // the rounding the vector lanes use
#else
  const float t = x < 0 ? -static_cast<float>(static_cast<std::int64_t>(-x)) : static_cast<float>(static_cast<std::int64_t>(x));
  const float f = x - t;
  auto v = static_cast<std::int64_t>(t);
  if (f > 0.5f || (f == 0.5f && (v & 1))) ++v;
  else if (f < -0.5f || (f == -0.5f && (v & 1))) --v;
  return static_cast<std::int32_t>(v);
#endif
}

// clamp(v + offset, low, high) without overflow: v is clamped to the bounds
// less the offset first (every bound lies within 2^30 of zero).
struct SampleFinish {
  std::int32_t lowLess, highLess, offset;
  SampleFinish(std::int32_t off, std::int32_t low, std::int32_t high)
      : lowLess(low - off), highLess(high - off), offset(off) {}
  std::int32_t operator()(float x) const {
    const std::int32_t v = NearestSaturated(x);
    return (v < lowLess ? lowLess : v > highLess ? highLess : v) + offset;
  }
};

#if defined(__SSE2__)
inline __m128i SelectEpi32(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

inline __m128i FinishPs(__m128 x, const SampleFinish& f) {
  __m128i v = _mm_cvtps_epi32(x);  // NaN and out of range: INT32_MIN
  const __m128i over = _mm_castps_si128(_mm_cmpge_ps(x, _mm_set1_ps(2147483648.0f)));
  v = SelectEpi32(over, _mm_set1_epi32(INT_MAX), v);
  const __m128i lo = _mm_set1_epi32(f.lowLess), hi = _mm_set1_epi32(f.highLess);
  v = SelectEpi32(_mm_cmplt_epi32(v, lo), lo, v);
  v = SelectEpi32(_mm_cmpgt_epi32(v, hi), hi, v);
  return _mm_add_epi32(v, _mm_set1_epi32(f.offset));
}
#endif

}  // namespace

void RowInvICTToSamples32(float* r0, float* r1, float* r2, int len, const std::int32_t offset[3],
                          const std::int32_t low[3], const std::int32_t high[3]) {
  const SampleFinish f0(offset[0], low[0], high[0]), f1(offset[1], low[1], high[1]), f2(offset[2], low[2], high[2]);
  int i = 0;
#if defined(__SSE2__)
  // The transform's operations in RowInvICT32f's order.
  for (; i + 4 <= len; i += 4) {
    const __m128 y = _mm_loadu_ps(r0 + i), cb = _mm_loadu_ps(r1 + i), cr = _mm_loadu_ps(r2 + i);
    const __m128 r = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(1.402f), cr));
    const __m128 g =
        _mm_sub_ps(_mm_sub_ps(y, _mm_mul_ps(_mm_set1_ps(0.34413f), cb)), _mm_mul_ps(_mm_set1_ps(0.71414f), cr));
    const __m128 b = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(1.772f), cb));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r0 + i), FinishPs(r, f0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r1 + i), FinishPs(g, f1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r2 + i), FinishPs(b, f2));
  }
#endif
  for (; i < len; ++i) {
    const float y = r0[i], cb = r1[i], cr = r2[i];
    const std::int32_t s[3] = {f0(y + 1.402f * cr), f1((y - 0.34413f * cb) - 0.71414f * cr), f2(y + 1.772f * cb)};
    std::memcpy(r0 + i, &s[0], 4);
    std::memcpy(r1 + i, &s[1], 4);
    std::memcpy(r2 + i, &s[2], 4);
  }
}

}  // namespace Codec
