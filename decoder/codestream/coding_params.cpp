// Coding and quantisation styles: COD and COC marker segments, QCD and QCC
// marker segments, and the per-tile check of quantisation values.
#include "decoder/codestream/coding_params.h"

namespace Codec {

// ---------------------------------------------------------------------------
// COD and COC marker segments: coding style default and per-component override.

std::uint32_t MapCodeBlockStyle(std::uint8_t b) {
  std::uint32_t flags = 0;
  if (b & 0x01) flags |= kCbBypass;
  if (b & 0x02) flags |= kCbResetContexts;
  if (b & 0x04) flags |= kCbTerminateEachPass;
  if (b & 0x08) flags |= kCbVerticallyCausal;
  if (b & 0x10) flags |= kCbPredictableTermination;
  if (b & 0x20) flags |= kCbSegmentationSymbols;
  return flags;
}

void ClearRecord(CodingStyle& style) {
  style.codeBlockFlags = 0;
  style.transform = 1;
  style.levels = 0;
  style.codeBlockWidthExp = 0;
  style.codeBlockHeightExp = 0;
  style.precincts.Reset();
}

void ReadSPcod(CodecAdapterBoundedInputBE& in, CodingStyle& style, bool precinctsFollow) {
  const std::uint32_t levels = in.ReadU8();
  if (levels > kMaxDecompositionLevels) throw J2k::Except_BadCODOrCOCNumberOfDecompositionLevels();
  style.levels = levels;
  style.precincts.Reset(levels + 1);

  const std::uint32_t xcb = in.ReadU8() & 0x0F;
  if (xcb > 8) throw J2k::Except_BadCODOrCOCCodeBlockWidth();
  const std::uint32_t ycb = in.ReadU8() & 0x0F;
  if (ycb > 8) throw J2k::Except_BadCODOrCOCCodeBlockHeight();
  style.codeBlockWidthExp = xcb + 2;
  style.codeBlockHeightExp = ycb + 2;

  // Style bit 0x40 announces high-throughput code-blocks (another block
  // coder entirely); decoding them as ordinary code-blocks would give noise
  // reported as success, so such a codestream is refused.
  const std::uint8_t blockStyle = in.ReadU8();
  if (blockStyle & 0x40) throw J2k::Except_HTBlockCodingUsed();
  style.codeBlockFlags = MapCodeBlockStyle(blockStyle);

  const std::uint32_t transform = in.ReadU8();
  if (transform > 1) throw J2k::Except_BadCODOrCOCTransformationType();
  style.transform = transform;

  for (std::uint32_t r = 0; r <= levels; ++r) {
    if (precinctsFollow) {
      const std::uint8_t b = in.ReadU8();
      style.precincts[r] = {static_cast<std::uint32_t>(b & 0x0F), static_cast<std::uint32_t>(b >> 4)};
    } else {
      style.precincts[r] = {15, 15};
    }
  }
}

void ReadCODBody(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, GlobalCodingStyle& global,
                 CodingStyle& style) {
  const std::uint8_t scod = in.ReadU8();
  const std::uint32_t order = in.ReadU8();
  if (order > kCPRL) throw J2k::Except_BadCODProgressionOrder();
  global.progressionOrder = order;

  const std::uint32_t layers = in.TakeU16();
  if (layers == 0) out.Warning(J2k::Warn_CODOrCOCOrPOCZeroNOfLayers());
  global.layers = layers;

  const std::uint8_t mct = in.ReadU8();
  if (mct > 1) {
    out.Warning(J2k::Warn_UnknownMCTUsage());
    global.mct = false;
  } else {
    global.mct = mct == 1;
  }
  global.sop = (scod & 0x02) != 0;
  global.eph = (scod & 0x04) != 0;
  ReadSPcod(in, style, (scod & 0x01) != 0);
}

void ReadCOCBody(CodecAdapterBoundedInputBE& in, CodingStyle& style) {
  const std::uint8_t scoc = in.ReadU8();
  ReadSPcod(in, style, (scoc & 0x01) != 0);
}

// ---------------------------------------------------------------------------
// QCD and QCC marker segments, and the per-tile check of quantisation values.

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
