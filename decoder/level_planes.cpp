// Planes of reconstruction and their conversions.
#include "decoder/level_planes.h"

#include "decoder/sample_rows.h"

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

void AllocLevelSet16(LevelSet& set, const Rect& rect, std::uint32_t n) {
  set.levels = n;
  set.level.Reset(n);
  static const std::uint32_t kOrder[3] = {kBandHL, kBandLH, kBandHH};
  for (std::uint32_t i = 0; i < n; ++i) {
    const Rect res = ResolutionRect(rect, i);
    for (std::uint32_t b = 0; b < 3; ++b) {
      const Rect band = BandRect(res, kOrder[b]);
      set.level[i].Band(b).AllocPlaneOrThrow(band.width, band.height, 2);
    }
  }
  const Rect low = ResolutionRect(rect, n);
  set.ll.AllocPlaneOrThrow(low.width, low.height, 2);
}

void FlipSignMagnitude(LevelSet& set) {
  ForEachPlane(set, [](SubbandPlane& p) {
    if (!Usable(p)) return;
    auto* row = static_cast<std::uint8_t*>(p.data);
    for (std::uint32_t y = 0; y < p.height; ++y, row += p.step) {
      auto* w = reinterpret_cast<std::uint32_t*>(row);
      for (std::uint32_t x = 0; x < p.width; ++x) {
        const std::uint32_t v = w[x];
        w[x] = (v & 0x80000000u) ? ((0u - v) | 0x80000000u) : v;
      }
    }
  });
}

void ConvertPlane32s16s(const SubbandPlane& src, SubbandPlane& dst) {
  if (!Usable(src) || !dst.data) return;
  const auto* s = static_cast<const std::uint8_t*>(src.data);
  auto* d = static_cast<std::uint8_t*>(dst.data);
  for (std::uint32_t y = 0; y < src.height; ++y, s += src.step, d += dst.step)
    RowConvert32s16s(reinterpret_cast<const std::int32_t*>(s), reinterpret_cast<std::int16_t*>(d),
                     static_cast<int>(src.width));
}

void ConvertPlane32s32f(const SubbandPlane& src, SubbandPlane& dst) {
  if (!Usable(src) || !dst.data) return;
  const auto* s = static_cast<const std::uint8_t*>(src.data);
  auto* d = static_cast<std::uint8_t*>(dst.data);
  for (std::uint32_t y = 0; y < src.height; ++y, s += src.step, d += dst.step)
    RowConvert32s32f(reinterpret_cast<const std::int32_t*>(s), reinterpret_cast<float*>(d),
                     static_cast<int>(src.width));
}

void ShiftPlaneLeft16s(SubbandPlane& plane, int count) {
  if (!Usable(plane)) return;
  auto* row = static_cast<std::uint8_t*>(plane.data);
  for (std::uint32_t y = 0; y < plane.height; ++y, row += plane.step)
    RowLShiftSat16s(reinterpret_cast<std::int16_t*>(row), count, static_cast<int>(plane.width));
}

}  // namespace Codec

namespace Codec {

void AddMidpointOffset32f(SubbandPlane& plane) {
  if (!Usable(plane)) return;
  auto* row = static_cast<std::uint8_t*>(plane.data);
  for (std::uint32_t y = 0; y < plane.height; ++y, row += plane.step) {
    auto* v = reinterpret_cast<float*>(row);
    for (std::uint32_t x = 0; x < plane.width; ++x) v[x] += v[x] > 0.0f ? 0.5f : v[x] < 0.0f ? -0.5f : 0.0f;
  }
}

void AddMidpointOffset16s(SubbandPlane& plane, int fractionBits) {
  if (!Usable(plane) || fractionBits < 1) return;
  const std::int32_t half = 1 << (fractionBits - 1);
  auto* row = static_cast<std::uint8_t*>(plane.data);
  for (std::uint32_t y = 0; y < plane.height; ++y, row += plane.step) {
    auto* v = reinterpret_cast<std::int16_t*>(row);
    for (std::uint32_t x = 0; x < plane.width; ++x) {
      const std::int32_t s = v[x];
      const std::int32_t r = s > 0 ? s + half : s < 0 ? s - half : 0;
      v[x] = static_cast<std::int16_t>(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
    }
  }
}

}  // namespace Codec
