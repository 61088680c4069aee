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

void DequantizeNarrow16(const SubbandPlane& src, SubbandPlane& dst, std::uint32_t mantissa, std::uint32_t exponent,
                        std::uint32_t Rb) {
  if (!Usable(src) || !dst.data) return;
  // value x 16 = (q +- 1/2) x (2^11 + mu) x 2^(Rb - eps - 11) x 2^4, formed on
  // 64 bits as (16q +- 8) x (2^11 + mu) x 2^-sf, rounded half to even.
  const std::int64_t factor = 2048 + (mantissa & 2047);
  const int sf = static_cast<int>(exponent & 31) - static_cast<int>(Rb) + 11;
  const auto* s = static_cast<const std::uint8_t*>(src.data);
  auto* d = static_cast<std::uint8_t*>(dst.data);
  for (std::uint32_t y = 0; y < src.height; ++y, s += src.step, d += dst.step) {
    const auto* in = reinterpret_cast<const std::int32_t*>(s);
    auto* out = reinterpret_cast<std::int16_t*>(d);
    for (std::uint32_t x = 0; x < src.width; ++x) {
      const std::int64_t q = in[x];
      const std::int64_t v = q > 0 ? 16 * q + 8 : q < 0 ? 16 * q - 8 : 0;
      std::int64_t p = v * factor;
      if (sf > 0) {
        if (sf > 62) p = 0;
        else p = (p + (std::int64_t{1} << (sf - 1)) - 1 + ((p >> sf) & 1)) >> sf;
      } else if (sf < 0) {
        p = -sf > 20 ? (p > 0 ? 32767 : p < 0 ? -32768 : 0) : p * (std::int64_t{1} << -sf);
      }
      out[x] = static_cast<std::int16_t>(p > 32767 ? 32767 : p < -32768 ? -32768 : p);
    }
  }
}

void ReconstructTile16(const ComponentCoefficients& c, std::int16_t* dst, std::int32_t dstStep) {
  LevelSet& coeffs = *c.set;
  SignMagnitudeGuard twos(coeffs);
  LevelSet narrow;
  AllocLevelSet16(narrow, c.rect, coeffs.levels);
  if (c.transform == 0) {
    // Dequantised straight from the 32-bit coefficients to 16-bit samples
    // with 4 fractional bits: a coefficient whose value fits is never cut
    // down before its step is applied, and one that does not saturates.
    const QuantStyle empty;
    const QuantStyle& q = c.quant ? *c.quant : empty;
    const std::uint32_t n = coeffs.levels, R = c.precision;
    for (std::uint32_t i = 0; i < n; ++i) {
      const SubbandStep hl = QuantLevelStep(q, n, i, 0), lh = QuantLevelStep(q, n, i, 1),
                        hh = QuantLevelStep(q, n, i, 2);
      DequantizeNarrow16(coeffs.level[i].hl, narrow.level[i].hl, hl.mantissa, hl.exponent, R + 2);
      DequantizeNarrow16(coeffs.level[i].lh, narrow.level[i].lh, lh.mantissa, lh.exponent, R + 2);
      DequantizeNarrow16(coeffs.level[i].hh, narrow.level[i].hh, hh.mantissa, hh.exponent, R + 3);
    }
    const SubbandStep ll = QuantLLStep(q);
    DequantizeNarrow16(coeffs.ll, narrow.ll, ll.mantissa, ll.exponent, R + 1);
    InvDWT97_16s(narrow, dst, dstStep, c.rect);
  } else {
    ForEachPlanePair(coeffs, narrow, [](SubbandPlane& s, SubbandPlane& d) { ConvertPlane32s16s(s, d); });
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
  ForEachPlanePair(coeffs, floats, [](SubbandPlane& s, SubbandPlane& d) {
    ConvertPlane32s32f(s, d);
    AddMidpointOffset32f(d);
  });
  if (c.quant) Dequantize32f(floats, *c.quant, c.precision);
  InvDWT97_32f(floats, static_cast<float*>(dst), dstStep, c.rect);
}

}  // namespace Codec
