// Row operations of the decoder's sample stages.
#include "decoder/reconstruct/sample_rows.h"

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

void RowInvICTToSamples32(float* r0, float* r1, float* r2, int len, const std::int32_t offset[3],
                          const std::int32_t low[3], const std::int32_t high[3]) {
  const float* const in[3] = {r0, r1, r2};
  void* const out[3] = {r0, r1, r2};
  RowInvICTToSamples32(in, out, len, offset, low, high);
}

// The primitive computes the transform in RowInvICT32f's order and finishes
// as the separate passes do, in every build.
void RowInvICTToSamples32(const float* const in[3], void* const out[3], int len, const std::int32_t offset[3],
                          const std::int32_t low[3], const std::int32_t high[3]) {
  Prim32s* const dst[3] = {static_cast<Prim32s*>(out[0]), static_cast<Prim32s*>(out[1]),
                           static_cast<Prim32s*>(out[2])};
  imgInvIrreversibleColorToSamples_32f32s_P3(in, dst, len, offset, low, high);
}

}  // namespace Codec
