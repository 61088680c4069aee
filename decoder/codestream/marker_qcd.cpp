// QCD and QCC marker segments, and the per-tile check of quantisation values.
#include "decoder/codestream/coding_params.h"

namespace Codec {

namespace {

SubbandStep ExponentOnly(std::uint8_t b) { return {0, static_cast<std::uint32_t>(b >> 3)}; }

SubbandStep MantissaExponent(std::uint16_t v) {
  return {static_cast<std::uint32_t>(v & 0x7FF), static_cast<std::uint32_t>(v >> 11)};
}

}  // namespace

void ClearRecord(QuantStyle& q) {
  q.style = kQuantNone;
  q.ll = {};
  q.levels.Reset();
  q.base = {};
  q.guardBits = 0;
  q.levelCount = 0;
  q.notRead = true;
}

void ReadQuantBody(CodecAdapterBoundedInputBE& in, QuantStyle& q) {
  const std::uint8_t sq = in.ReadU8();
  std::uint32_t style = sq & 0x1F;
  if (style > kQuantExpounded) {
    q.route.Warn(J2k::Warn_UnknownQuantStyle());
    style = kQuantNone;
  }
  q.style = style;
  q.guardBits = sq >> 5;

  if (style == kQuantNone) {
    // One exponent byte for LL, then three per level.  An empty body would
    // give a level count from an unsigned underflow: refuse it.
    const std::uint32_t r = in.Remaining();
    if (r < 1) throw J2k::Except_OCDOrQCCLackOfQuantValues();
    std::uint32_t count = (r - 1) / 3;
    if (count > kMaxDecompositionLevels) count = kMaxDecompositionLevels;
    q.levels.Reset(count);
    q.levelCount = count;
    q.ll = ExponentOnly(in.ReadU8());
    for (std::uint32_t k = count; k-- > 0;) {
      q.levels[k].hl = ExponentOnly(in.ReadU8());
      q.levels[k].lh = ExponentOnly(in.ReadU8());
      q.levels[k].hh = ExponentOnly(in.ReadU8());
    }
  } else if (style == kQuantDerived) {
    q.base = MantissaExponent(in.TakeU16());
  } else {
    const std::uint32_t r = in.Remaining();
    if (r < 2) throw J2k::Except_OCDOrQCCLackOfQuantValues();
    std::uint32_t count = (r - 2) / 6;
    if (count > kMaxDecompositionLevels) count = kMaxDecompositionLevels;
    q.levels.Reset(count);
    q.levelCount = count;
    q.ll = MantissaExponent(in.TakeU16());
    for (std::uint32_t k = count; k-- > 0;) {
      q.levels[k].hl = MantissaExponent(in.TakeU16());
      q.levels[k].lh = MantissaExponent(in.TakeU16());
      q.levels[k].hh = MantissaExponent(in.TakeU16());
    }
  }
  q.notRead = false;
}

void CheckQuantValues(QuantStyle& q, std::uint32_t levels) {
  if (q.style == kQuantDerived) {
    // Level k + 1 gets the exponent e0 - NL + (k + 1); the finest level has
    // the smallest, which must not go below 0.
    if (levels > kMaxDecompositionLevels) throw J2k::Except_OCDOrQCCLackOfQuantValues();
    if (levels > 0 && q.base.exponent + 1 < levels) throw J2k::Except_OCDOrQCCLackOfQuantValues();
    q.levels.Reset(levels);
    q.levelCount = levels;
    q.ll = q.base;
    for (std::uint32_t k = levels; k-- > 0;) {
      const SubbandStep s{q.base.mantissa, q.base.exponent - (levels - 1 - k)};
      q.levels[k] = {s, s, s};
    }
    return;
  }
  if (levels > q.levelCount) throw J2k::Except_OCDOrQCCLackOfQuantValues();
}

SubbandStep QuantLevelStep(const QuantStyle& q, std::uint32_t levels, std::uint32_t k, std::uint32_t band) {
  if (k >= levels || band > 2) return {};
  if (q.style == kQuantDerived) {
    const std::uint32_t drop = levels - 1 - k;
    return {q.base.mantissa, q.base.exponent > drop ? q.base.exponent - drop : 0};
  }
  if (levels > q.levelCount || q.levelCount > q.levels.Count()) return {};
  const LevelSteps& l = q.levels[k + (q.levelCount - levels)];
  return band == 0 ? l.hl : band == 1 ? l.lh : l.hh;
}

SubbandStep QuantLLStep(const QuantStyle& q) { return q.style == kQuantDerived ? q.base : q.ll; }

}  // namespace Codec
