// COD and COC marker segments: coding style default and per-component override.
#include "decoder/codestream/coding_params.h"

namespace Codec {

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

void ReadCODBody(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, GlobalCodingStyle& global, CodingStyle& style) {
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

}  // namespace Codec
