// Row operations of the decoder's sample stages.
#include "decoder/reconstruct/sample_rows.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "primitives/arith/vec_arith.h"
#include "primitives/colour/threshold.h"
#include "primitives/convert/vec_convert.h"
#include "primitives/jpeg2000/colour_transform.h"
#include "primitives/jpeg2000/transform_constants.h"

namespace Codec {

namespace {

inline std::int16_t Sat16(std::int64_t v) {
  return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

}  // namespace

void RowConvert32s16s(const std::int32_t* src, std::int16_t* dst, int len) {
  vecConvert_32s16s(src, dst, len);
}

void RowConvert32s32f(const std::int32_t* src, float* dst, int len) {
  vecConvert_32s32f_Sfs(src, dst, len, 0);
}

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
void RowInvICT32f(float* __restrict r0, float* __restrict r1, float* __restrict r2, int len) {
  using namespace prim::j2k;
  for (int i = 0; i < len; ++i) {
    const float y = r0[i], cb = r1[i], cr = r2[i];
    r0[i] = y + kIctCrToR * cr;
    r1[i] = (y - kIctCbToG * cb) - kIctCrToG * cr;
    r2[i] = y + kIctCbToB * cb;
  }
}

namespace {

// clamp(round(x) + offset, low, high) as RowConvert32f32s, RowAddC32s and
// RowClamp32s give it, clamped first in floats: rounding keeps the order and
// the bounds less the offset are whole floats, so clamping x to them gives the
// same integer, and NaN and values beyond the 32-bit range (which convert to
// the range's ends) meet the bound they would have met.
struct SampleFinish {
  float lowLess, highLess;
  std::int32_t offset;
  SampleFinish(std::int32_t off, std::int32_t low, std::int32_t high)
      : lowLess(static_cast<float>(low - off)), highLess(static_cast<float>(high - off)), offset(off) {}
  std::int32_t operator()(float x) const {
    const float a = x > lowLess ? x : lowLess;  // NaN: the low bound
    const float b = a < highLess ? a : highLess;
#if defined(__SSE2__)
    return _mm_cvtss_si32(_mm_set_ss(b)) + offset;  // the rounding the vector lanes use
#else
    return static_cast<std::int32_t>(std::nearbyint(b)) + offset;
#endif
  }
};

#if defined(__SSE2__)
inline __m128i FinishPs(__m128 x, const SampleFinish& f) {
  // max(x, low) is low where x is NaN; as in the scalar form.
  const __m128 a = _mm_max_ps(x, _mm_set1_ps(f.lowLess));
  const __m128 b = _mm_min_ps(a, _mm_set1_ps(f.highLess));
  return _mm_add_epi32(_mm_cvtps_epi32(b), _mm_set1_epi32(f.offset));
}
#endif

}  // namespace

void RowInvICTToSamples32(float* r0, float* r1, float* r2, int len, const std::int32_t offset[3],
                          const std::int32_t low[3], const std::int32_t high[3]) {
  const float* const in[3] = {r0, r1, r2};
  void* const out[3] = {r0, r1, r2};
  RowInvICTToSamples32(in, out, len, offset, low, high);
}

void RowInvICTToSamples32(const float* const in[3], void* const out[3], int len, const std::int32_t offset[3],
                          const std::int32_t low[3], const std::int32_t high[3]) {
  using namespace prim::j2k;
  const SampleFinish f0(offset[0], low[0], high[0]), f1(offset[1], low[1], high[1]),
      f2(offset[2], low[2], high[2]);
  const float *r0 = in[0], *r1 = in[1], *r2 = in[2];
  auto* o0 = static_cast<std::uint8_t*>(out[0]);
  auto* o1 = static_cast<std::uint8_t*>(out[1]);
  auto* o2 = static_cast<std::uint8_t*>(out[2]);
  int i = 0;
#if defined(__SSE2__)
  // The transform's operations in RowInvICT32f's order.
  for (; i + 4 <= len; i += 4) {
    const __m128 y = _mm_loadu_ps(r0 + i), cb = _mm_loadu_ps(r1 + i), cr = _mm_loadu_ps(r2 + i);
    const __m128 r = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(kIctCrToR), cr));
    const __m128 g = _mm_sub_ps(_mm_sub_ps(y, _mm_mul_ps(_mm_set1_ps(kIctCbToG), cb)),
                                _mm_mul_ps(_mm_set1_ps(kIctCrToG), cr));
    const __m128 b = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(kIctCbToB), cb));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o0 + 4 * i), FinishPs(r, f0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o1 + 4 * i), FinishPs(g, f1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o2 + 4 * i), FinishPs(b, f2));
  }
#endif
  for (; i < len; ++i) {
    const float y = r0[i], cb = r1[i], cr = r2[i];
    const std::int32_t s[3] = {f0(y + kIctCrToR * cr), f1((y - kIctCbToG * cb) - kIctCrToG * cr),
                               f2(y + kIctCbToB * cb)};
    std::memcpy(o0 + 4 * i, &s[0], 4);
    std::memcpy(o1 + 4 * i, &s[1], 4);
    std::memcpy(o2 + 4 * i, &s[2], 4);
  }
}

}  // namespace Codec
