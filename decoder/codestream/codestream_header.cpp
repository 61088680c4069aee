// The main-header marker loop, from SIZ up to the first SOT.
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/marker_io.h"

namespace Codec {

void CodestreamHeader::Reset() {
  image = {};
  tileOriginX = tileOriginY = 0;
  tileWidth = tileHeight = 0;
  componentCount = 0;
  precisions.Reset();
  sampling.Reset();
  quantStyles.Clear();
  codingStyles.Clear();
  // The defaults are cleared too: a codestream without COD or QCD must be
  // refused, not decoded with what an earlier codestream left behind.
  ClearRecord(quantStyles.Default());
  ClearRecord(codingStyles.Default());
  globalStyle = {};
  progressionChanges.Reset();
  codMissing = true;
}

namespace {

void ReadMainCOC(CodecAdapterBoundedInputBE& in, CodestreamHeader& h, BDiagnOutput& out) {
  const std::uint32_t c = ReadComponentIndex(in, h.componentCount);
  if (c >= h.componentCount) throw J2k::Except_COCIndexExceedNOfComponents();
  if (h.codingStyles.HasOwn(c)) out.Warning(J2k::Warn_MainHeaderExtraCOC());
  ReadCOCBody(in, h.codingStyles.OwnRecord(c));
}

void ReadMainQCC(CodecAdapterBoundedInputBE& in, CodestreamHeader& h, BDiagnOutput& out) {
  const std::uint32_t c = ReadComponentIndex(in, h.componentCount);
  if (c >= h.componentCount) throw J2k::Except_QCCIndexExceedNOfComponents();
  if (h.quantStyles.HasOwn(c)) out.Warning(J2k::Warn_MainHeaderExtraQCC());
  QuantStyle& q = h.quantStyles.OwnRecord(c);
  q.route.SetOutput(&out);
  ReadQuantBody(in, q);
}

}  // namespace

bool ReadMainHeader(CodecAdapterBoundedInputBE& in, CodestreamHeader& h) {
  ReadSOCAndSIZ(in, h);
  BDiagnOutput& out = h.Output();
  for (;;) {
    const std::uint16_t code = ReadMarker(in);
    if (code == kMarkerSOT) break;
    if (code == kMarkerEOC) {
      out.Warning(J2k::Warn_MainHeaderOnlyInCodestream());
      return false;
    }
    if (code == kMarkerReservedNoSegment) {
      // These markers stand alone: reading a length here would swallow the
      // next marker and the rest of the header with it.
      out.Warning(J2k::Warn_MainHeaderUnknownMarker());
      continue;
    }
    OpenSegment(in, ReadMarkerLength(in), out);
    switch (code) {
      case kMarkerCOD:
        if (!h.codMissing) out.Warning(J2k::Warn_MainHeaderExtraCOD());
        h.codMissing = false;
        ReadCODBody(in, out, h.globalStyle, h.codingStyles.Default());
        break;
      case kMarkerCOC:
        ReadMainCOC(in, h, out);
        break;
      case kMarkerQCD:
        if (!h.quantStyles.Default().notRead) out.Warning(J2k::Warn_MainHeaderExtraQCD());
        ReadQuantBody(in, h.quantStyles.Default());
        break;
      case kMarkerQCC:
        ReadMainQCC(in, h, out);
        break;
      case kMarkerPOC:
        if (!h.progressionChanges.Empty()) out.Warning(J2k::Warn_MainHeaderExtraPOC());
        ReadPOCBody(in, out, h.componentCount, h.progressionChanges);
        break;
      case kMarkerTLM:
        in.SkipBytes(in.Remaining());
        out.Warning(J2k::Warn_TLMUsed());
        break;
      case kMarkerPLM:
        in.SkipBytes(in.Remaining());
        out.Warning(J2k::Warn_PLMUsed());
        break;
      case kMarkerCRG:
        in.SkipBytes(in.Remaining());
        out.Warning(J2k::Warn_CRGUsed());
        break;
      case kMarkerCOM:
        in.SkipBytes(in.Remaining());
        out.Warning(J2k::Warn_COMUsed());
        break;
      case kMarkerRGN:
        throw J2k::Except_RGNUsed();
      case kMarkerPPM:
        throw J2k::Except_PPMUsed();
      default:
        out.Warning(J2k::Warn_MainHeaderUnknownMarker());
        in.SkipBytes(in.Remaining());
        break;
    }
    CloseSegment(in, out);
  }
  if (h.codMissing) throw J2k::Except_CODNotFound();
  if (h.quantStyles.Default().notRead) throw J2k::Except_QCDNotFound();
  return true;
}

}  // namespace Codec
