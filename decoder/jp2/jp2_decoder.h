// Codec::JP2Decoder: decodes a JPEG 2000 image wrapped in the JP2 file
// format, through the same codec interface as Codec::JPEG2000Decoder.
//
// ReadHeader reads the JP2 boxes up to the codestream box, then the
// codestream's main header inside that box; ReadData decodes the codestream
// inside the box exactly as the codestream decoder does.  Diagnostics reach
// the attached sink with codec id 3; a file without a codestream box is
// reported as code 48 without a text.  Integer results are 0 for success and
// -1 for failure; no exception leaves an operation.
#pragma once

#include <cstdint>

#include "decoder/image_decoder.h"

namespace Codec {

struct JP2DecoderState;

// Diagnostic code of a JP2 file without a codestream box (it has no text).
inline constexpr std::uint32_t kJp2NoCodestreamCode = 48;

class JP2Decoder final : public BaseImageDecoder {
 public:
  JP2Decoder() = default;
  ~JP2Decoder() override;
  JP2Decoder(const JP2Decoder&) = delete;
  JP2Decoder& operator=(const JP2Decoder&) = delete;

  void AttachDiagnOutput(BaseStreamDiagn* sink) override;
  void DetachDiagnOutput() override;
  std::int32_t Init() override;
  std::int32_t Close() override;
  const CodecInfo* GetInfo() override;
  std::int32_t CapabilityForward(std::int32_t unused) override;
  std::int32_t Capability() override;
  std::int32_t ResetInput() override;
  std::int32_t AttachStream(BaseStreamInput* stream) override;
  // Besides the geometry and component ranges: the colour space code from an
  // enumerated colour description (sRGB 3, greyscale 1, sYCC 10, CMYK 11,
  // anything else 0), and the palette with its component mapping when the
  // file has both.  A mapping that names a component the codestream does
  // not have is refused (-1, no colour description).
  std::int32_t ReadHeader(ImageHeader* header, ImageSampling* sampling) override;
  // The caller's image is checked as for a raw codestream (one plane per
  // component, each able to take its whole component) before anything is
  // decoded.
  std::int32_t ReadData(void** planes, ImageBufferDescr* descr) override;
  void LendCallerPlanes(bool lend) override;

 private:
  JP2DecoderState* state_ = nullptr;
};

}  // namespace Codec
