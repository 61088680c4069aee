// Tile reconstruction and dequantisation.
#include "decoder/reconstruct.h"

#include <cmath>

#include "decoder/wavelet_inverse.h"
#include "primitives/image/image.h"

namespace Codec {

namespace {

// Restores sign-magnitude on the way out, also when an exception passes.
class SignMagnitudeGuard {
 public:
  explicit SignMagnitudeGuard(LevelSet& set) : set_(set) { FlipSignMagnitude(set_); }
  ~SignMagnitudeGuard() { FlipSignMagnitude(set_); }
  SignMagnitudeGuard(const SignMagnitudeGuard&) = delete;
  SignMagnitudeGuard& operator=(const SignMagnitudeGuard&) = delete;

 private:
  LevelSet& set_;
};

template <typename Fn>
void ForEachPlanePair(LevelSet& src, LevelSet& dst, Fn&& fn) {
  fn(src.ll, dst.ll);
  for (std::uint32_t i = 0; i < src.levels; ++i) {
    fn(src.level[i].lh, dst.level[i].lh);
    fn(src.level[i].hl, dst.level[i].hl);
    fn(src.level[i].hh, dst.level[i].hh);
  }
}

template <typename Fn>
void ForEachBandStep(LevelSet& set, const QuantStyle& q, std::uint32_t R, Fn&& fn) {
  const std::uint32_t n = set.levels;
  for (std::uint32_t i = 0; i < n; ++i) {
    DecompositionLevel& l = set.level[i];
    const SubbandStep hl = QuantLevelStep(q, n, i, 0);
    const SubbandStep lh = QuantLevelStep(q, n, i, 1);
    const SubbandStep hh = QuantLevelStep(q, n, i, 2);
    fn(l.hl, hl, R + 2);
    fn(l.lh, lh, R + 2);
    fn(l.hh, hh, R + 3);
  }
  fn(set.ll, QuantLLStep(q), R + 1);
}

}  // namespace

void DequantizeBand16(SubbandPlane& p, std::uint32_t mantissa, std::uint32_t exponent, std::uint32_t Rb) {
  const int sf = static_cast<int>(exponent & 31) - static_cast<int>(Rb) + 11;
  auto* d = static_cast<Prim16s*>(p.data);
  imgMulC_16s_C1RSfs(d, p.step, static_cast<Prim16s>(2048 + (mantissa & 2047)), d, p.step,
                     static_cast<int>(p.width), static_cast<int>(p.height), sf);
}

void DequantizeBand32f(SubbandPlane& p, std::uint32_t mantissa, std::uint32_t exponent, std::uint32_t Rb) {
  const double scale = std::ldexp(1.0, static_cast<int>(Rb) - static_cast<int>(exponent & 31)) *
                       (static_cast<double>(mantissa & 2047) * 0.00048828125 + 1.0);
  auto* d = static_cast<Prim32f*>(p.data);
  imgMulC_32f_C1R(d, p.step, static_cast<Prim32f>(scale), d, p.step, static_cast<int>(p.width),
                  static_cast<int>(p.height));
}

void Dequantize16(LevelSet& set, const QuantStyle& q, std::uint32_t R) {
  ForEachBandStep(set, q, R, [](SubbandPlane& p, SubbandStep s, std::uint32_t Rb) {
    DequantizeBand16(p, s.mantissa, s.exponent, Rb);
  });
}

void Dequantize32f(LevelSet& set, const QuantStyle& q, std::uint32_t R) {
  ForEachBandStep(set, q, R, [](SubbandPlane& p, SubbandStep s, std::uint32_t Rb) {
    DequantizeBand32f(p, s.mantissa, s.exponent, Rb);
  });
}

void ReconstructTile16(const ComponentCoefficients& c, std::int16_t* dst, std::int32_t dstStep) {
  LevelSet& coeffs = *c.set;
  SignMagnitudeGuard twos(coeffs);
  LevelSet narrow;
  AllocLevelSet16(narrow, c.rect, coeffs.levels);
  ForEachPlanePair(coeffs, narrow, [](SubbandPlane& s, SubbandPlane& d) { ConvertPlane32s16s(s, d); });
  if (c.transform == 0) {
    ForEachPlanePair(coeffs, narrow, [](SubbandPlane&, SubbandPlane& d) { ShiftPlaneLeft16s(d, 4); });
    if (c.quant) Dequantize16(narrow, *c.quant, c.precision);
    InvDWT97_16s(narrow, dst, dstStep, c.rect);
  } else {
    InvDWT53_16s(narrow, dst, dstStep, c.rect);
  }
}

void ReconstructTile32(const ComponentCoefficients& c, void* dst, std::int32_t dstStep) {
  LevelSet& coeffs = *c.set;
  SignMagnitudeGuard twos(coeffs);
  if (c.transform != 0) {
    InvDWT53_32s(coeffs, static_cast<std::int32_t*>(dst), dstStep, c.rect);
    return;
  }
  LevelSet floats;
  AllocLevelSet32(floats, c.rect, coeffs.levels);
  ForEachPlanePair(coeffs, floats, [](SubbandPlane& s, SubbandPlane& d) { ConvertPlane32s32f(s, d); });
  if (c.quant) Dequantize32f(floats, *c.quant, c.precision);
  InvDWT97_32f(floats, static_cast<float*>(dst), dstStep, c.rect);
}

}  // namespace Codec
