// Marker codes, lengths and component indices.
#include "decoder/codestream/marker_io.h"

namespace Codec {

std::uint16_t ReadMarker(CodecAdapterBoundedInputBE& in) {
  const std::uint16_t code = in.TakeU16();
  switch (code) {
    case kMarkerSOC:
    case kMarkerSIZ:
    case kMarkerCOD:
    case kMarkerCOC:
    case kMarkerTLM:
    case kMarkerPLM:
    case kMarkerPLT:
    case kMarkerQCD:
    case kMarkerQCC:
    case kMarkerRGN:
    case kMarkerPOC:
    case kMarkerPPM:
    case kMarkerPPT:
    case kMarkerCRG:
    case kMarkerCOM:
    case kMarkerSOT:
    case kMarkerSOP:
    case kMarkerEPH:
    case kMarkerSOD:
    case kMarkerEOC:
      return code;
    default:
      return (code & 0xFFF0) == 0xFF30 ? kMarkerReservedNoSegment : kMarkerUnknown;
  }
}

std::uint32_t ReadMarkerLength(CodecAdapterBoundedInputBE& in) {
  const std::uint32_t length = in.TakeU16();
  if (length < 2) throw J2k::Except_NegativeBodyLen();
  return length - 2;
}

std::uint32_t ReadComponentIndex(CodecAdapterBoundedInputBE& in, std::uint32_t csiz) {
  if (csiz < 257) return in.ReadU8();
  return in.TakeU16();
}

void OpenSegment(CodecAdapterBoundedInputBE& in, std::uint32_t bodyLength, BDiagnOutput& out) {
  if (in.PushBound(bodyLength) < bodyLength)
    out.Warning(J2k::Warn_SpecifiedMarkerLengthExceedContainerTail());
}

void CloseSegment(CodecAdapterBoundedInputBE& in, BDiagnOutput& out) {
  if (in.PopBound() != 0) out.Warning(J2k::Warn_ActualMarkerLengthBelowSpecified());
}

}  // namespace Codec
