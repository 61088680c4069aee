// The abstract codec interface through which callers drive the decoders, and
// Codec::JPEG2000Decoder, which decodes a raw JPEG 2000 codestream.
//
// Call order: construct; Init; AttachStream; AttachDiagnOutput; ReadHeader;
// the caller lays out its image; ReadData; destroy.  Integer results are 0
// for success and -1 for failure; no exception leaves an operation.
#pragma once

#include <cstdint>

#include "decoder/diagnostics.h"
#include "decoder/image_records.h"
#include "decoder/stream_input.h"

namespace Codec {

// Static description of a decoder class.
struct CodecInfo {
  std::uint32_t words[4];
  const char* name;
  const char* version;
  const char* buildDate;
};

class BaseImageCodec {
 public:
  virtual ~BaseImageCodec() = default;
  virtual void AttachDiagnOutput(BaseStreamDiagn* sink) = 0;
  virtual void DetachDiagnOutput() = 0;
  virtual std::int32_t Init() = 0;
  virtual std::int32_t Close() = 0;
  virtual const CodecInfo* GetInfo() = 0;
  virtual std::int32_t CapabilityForward(std::int32_t unused) = 0;
  virtual std::int32_t Capability() = 0;
  virtual std::int32_t ResetInput() = 0;
};

class BaseImageDecoder : public BaseImageCodec {
 public:
  virtual std::int32_t AttachStream(BaseStreamInput* stream) = 0;
  virtual std::int32_t ReadHeader(ImageHeader* header, ImageSampling* sampling) = 0;
  virtual std::int32_t ReadData(void** planes, ImageBufferDescr* descr) = 0;
};

struct JPEG2000DecoderState;

class JPEG2000Decoder final : public BaseImageDecoder {
 public:
  JPEG2000Decoder() = default;
  ~JPEG2000Decoder() override;
  JPEG2000Decoder(const JPEG2000Decoder&) = delete;
  JPEG2000Decoder& operator=(const JPEG2000Decoder&) = delete;

  void AttachDiagnOutput(BaseStreamDiagn* sink) override;
  void DetachDiagnOutput() override;
  std::int32_t Init() override;
  std::int32_t Close() override;
  const CodecInfo* GetInfo() override;
  std::int32_t CapabilityForward(std::int32_t unused) override;
  std::int32_t Capability() override;
  std::int32_t ResetInput() override;
  std::int32_t AttachStream(BaseStreamInput* stream) override;
  std::int32_t ReadHeader(ImageHeader* header, ImageSampling* sampling) override;
  std::int32_t ReadData(void** planes, ImageBufferDescr* descr) override;

 private:
  JPEG2000DecoderState* state_ = nullptr;
};

}  // namespace Codec
