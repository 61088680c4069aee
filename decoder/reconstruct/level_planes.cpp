// Planes of reconstruction and their conversions.
#include "decoder/reconstruct/level_planes.h"

#include <cstring>

#include "decoder/reconstruct/sample_rows.h"
#include "primitives/jpeg2000/wavelet_exact.h"

namespace Codec {

namespace {

template <typename Fn>
void ForEachPlane(LevelSet& set, Fn&& fn) {
  fn(set.ll);
  for (std::uint32_t i = 0; i < set.levels; ++i) {
    DecompositionLevel& l = set.level[i];
    fn(l.lh);
    fn(l.hl);
    fn(l.hh);
  }
}

}  // namespace

bool Usable(const SubbandPlane& p) { return p.data && p.width && p.height && p.step; }

void AllocLevelSet16(LevelSet& set, const Rect& rect, std::uint32_t n) { AllocLevelSetOf(set, rect, n, 2); }

void FlipSignMagnitude(LevelSet& set) {
  ForEachPlane(set, [](SubbandPlane& p) {
    if (!Usable(p)) return;
    auto* row = static_cast<std::uint8_t*>(p.data);
    for (std::uint32_t y = 0; y < p.height; ++y, row += p.step) {
      auto* w = reinterpret_cast<std::uint32_t*>(row);
      for (std::uint32_t x = 0; x < p.width; ++x) {
        // Negative words (bit 31 set) become (0 - word) with bit 31 forced.
        const std::uint32_t v = w[x];
        const std::uint32_t neg = static_cast<std::uint32_t>(static_cast<std::int32_t>(v) >> 31);
        w[x] = (((0u - v) | 0x80000000u) & neg) | (v & ~neg);
      }
    }
  });
}

namespace {

// Signed value of a sign-magnitude word.
inline std::int64_t SignMagnitudeValue(std::uint32_t v) {
  const std::int64_t m = v & 0x7FFFFFFFu;
  return (v & 0x80000000u) ? -m : m;
}

}  // namespace

void ConvertPlaneSM32s16s(const SubbandPlane& src, SubbandPlane& dst) {
  if (!Usable(src) || !dst.data) return;
  const auto* s = static_cast<const std::uint8_t*>(src.data);
  auto* d = static_cast<std::uint8_t*>(dst.data);
  for (std::uint32_t y = 0; y < src.height; ++y, s += src.step, d += dst.step) {
    const auto* in = reinterpret_cast<const std::uint32_t*>(s);
    auto* out = reinterpret_cast<std::int16_t*>(d);
    for (std::uint32_t x = 0; x < src.width; ++x) {
      const std::int64_t v = SignMagnitudeValue(in[x]);
      out[x] = static_cast<std::int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    }
  }
}

void ConvertPlaneSM32s32f(const SubbandPlane& src, SubbandPlane& dst) {
  if (!Usable(src) || !dst.data) return;
  const auto* s = static_cast<const std::uint8_t*>(src.data);
  auto* d = static_cast<std::uint8_t*>(dst.data);
  for (std::uint32_t y = 0; y < src.height; ++y, s += src.step, d += dst.step) {
    const auto* in = reinterpret_cast<const std::uint32_t*>(s);
    auto* out = reinterpret_cast<float*>(d);
    for (std::uint32_t x = 0; x < src.width; ++x) {
      // The magnitude as a float, then the sign bit moved over.
      const float m = static_cast<float>(static_cast<std::int32_t>(in[x] & 0x7FFFFFFFu));
      std::uint32_t bits;
      std::memcpy(&bits, &m, 4);
      bits |= in[x] & 0x80000000u;
      std::memcpy(&out[x], &bits, 4);
    }
  }
}

void ShiftPlaneLeft16s(SubbandPlane& plane, int count) {
  if (!Usable(plane)) return;
  auto* row = static_cast<std::uint8_t*>(plane.data);
  for (std::uint32_t y = 0; y < plane.height; ++y, row += plane.step)
    RowLShiftSat16s(reinterpret_cast<std::int16_t*>(row), count, static_cast<int>(plane.width));
}

}  // namespace Codec

namespace Codec {

void ConvertRowSM32s32fMidpoint(const std::uint32_t* in, float* out, std::uint32_t w, Midpoint mode,
                                float scale) {
  // Magnitude m becomes m + 1/2 (every m != 0, or only m == 1), is scaled,
  // then the sign bit is moved over (the product's magnitude does not depend
  // on the sign).
  const int midpoint = mode == Midpoint::kAll ? 1 : mode == Midpoint::kMagnitudeOne ? 2 : 0;
  imgDequantizeMidpoint_32u32f(in, out, static_cast<int>(w), midpoint, scale);
}

void ConvertRectSM32s32fMidpoint(const SubbandPlane& src, SubbandPlane& dst, Midpoint mode, std::uint32_t x0,
                                 std::uint32_t y0, std::uint32_t w, std::uint32_t h, float scale) {
  if (!Usable(src) || !dst.data || x0 >= src.width || y0 >= src.height) return;
  w = w < src.width - x0 ? w : src.width - x0;
  h = h < src.height - y0 ? h : src.height - y0;
  const auto* s = static_cast<const std::uint8_t*>(src.data) + std::size_t{y0} * src.step;
  auto* d = static_cast<std::uint8_t*>(dst.data) + std::size_t{y0} * dst.step;
  for (std::uint32_t y = 0; y < h; ++y, s += src.step, d += dst.step)
    ConvertRowSM32s32fMidpoint(reinterpret_cast<const std::uint32_t*>(s) + x0,
                               reinterpret_cast<float*>(d) + x0, w, mode, scale);
}

}  // namespace Codec
