// Marker codes and the reads every marker-segment parser shares.
#pragma once

#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/diagnostics.h"

namespace Codec {

enum MarkerCode : std::uint16_t {
  kMarkerSOC = 0xFF4F,
  kMarkerSIZ = 0xFF51,
  kMarkerCOD = 0xFF52,
  kMarkerCOC = 0xFF53,
  kMarkerTLM = 0xFF55,
  kMarkerPLM = 0xFF57,
  kMarkerPLT = 0xFF58,
  kMarkerQCD = 0xFF5C,
  kMarkerQCC = 0xFF5D,
  kMarkerRGN = 0xFF5E,
  kMarkerPOC = 0xFF5F,
  kMarkerPPM = 0xFF60,
  kMarkerPPT = 0xFF61,
  kMarkerCRG = 0xFF63,
  kMarkerCOM = 0xFF64,
  kMarkerSOT = 0xFF90,
  kMarkerSOP = 0xFF91,
  kMarkerEPH = 0xFF92,
  kMarkerSOD = 0xFF93,
  kMarkerEOC = 0xFFD9,
  kMarkerUnknown = 0xFFFF,
  // 0xFF30 to 0xFF3F: reserved markers that carry no length and no body.
  kMarkerReservedNoSegment = 0xFF30,
};

// Two bytes, mapped to one of the known codes, kMarkerReservedNoSegment for
// the whole range 0xFF30 to 0xFF3F, or kMarkerUnknown.
std::uint16_t ReadMarker(CodecAdapterBoundedInputBE& in);

// The length field L of a marker segment; returns the body length L - 2.
// L < 2 throws Except_NegativeBodyLen.
std::uint32_t ReadMarkerLength(CodecAdapterBoundedInputBE& in);

// One byte when there are fewer than 257 components, else two.
std::uint32_t ReadComponentIndex(CodecAdapterBoundedInputBE& in, std::uint32_t csiz);

// Opens the body of a marker segment; a length beyond what the container has
// left is shortened and warned about.
void OpenSegment(CodecAdapterBoundedInputBE& in, std::uint32_t bodyLength, BDiagnOutput& out);

// Closes the body; bytes the parser did not read are skipped and warned about.
void CloseSegment(CodecAdapterBoundedInputBE& in, BDiagnOutput& out);

}  // namespace Codec
