// POC marker segment: progression order changes.
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/marker_io.h"

namespace Codec {

namespace {
constexpr std::uint32_t kMaxResolutionIndex = 33;
}

void ReadPOCBody(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, std::uint32_t csiz,
                 OwnedArray<ProgressionChange>& changes) {
  const std::uint32_t entrySize = csiz < 257 ? 7 : 9;
  // A remainder shorter than one entry is left unread and reported when the
  // segment closes.
  const std::uint32_t count = in.Remaining() / entrySize;
  changes.Reset(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t rs = in.ReadU8();
    if (rs > kMaxResolutionIndex) throw J2k::Except_POCResLevelIndexExceedBound();
    const std::uint32_t cs = ReadComponentIndex(in, csiz);
    if (cs > csiz) throw J2k::Except_POCCompIndexExceedNOfComponents();
    const std::uint32_t lye = in.TakeU16();
    if (lye == 0) out.Warning(J2k::Warn_CODOrCOCOrPOCZeroNOfLayers());
    const std::uint32_t re = in.ReadU8();
    if (re > kMaxResolutionIndex) throw J2k::Except_POCResLevelIndexExceedBound();
    if (re < rs) throw J2k::Except_POCInverseResLevelProgr();
    // An end beyond the component count is valid (the end is exclusive and
    // the packet iterator clamps it to the tile's components).
    std::uint32_t ce = ReadComponentIndex(in, csiz);
    if (ce == 0) ce = 256;
    if (ce < cs) throw J2k::Except_POCInverseCompProgr();
    const std::uint32_t order = in.ReadU8();

    ProgressionChange& pc = changes[i];
    pc.progressionOrder = order;
    pc.resolutionStart = rs;
    pc.resolutionCount = re - rs;
    pc.resolutionEnd = re;
    pc.componentStart = cs;
    pc.componentCount = ce - cs;
    pc.componentEnd = ce;
    pc.layerEnd = lye;
  }
}

}  // namespace Codec
