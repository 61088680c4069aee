// The JPEG 2000 decoders a frame can go to, behind one small interface with
// the decoder calls the converter makes, in the order it makes them.  The
// choice between the JP2 file decoder and the codestream decoder is made
// here and nowhere else.
#pragma once

#include <cstdint>
#include <memory>

#include "decoder/diagnostics.h"
#include "decoder/image_records.h"
#include "decoder/stream_input.h"

class TFrameDecoder {
 public:
  virtual ~TFrameDecoder() = default;
  virtual std::int32_t Init() = 0;
  virtual std::int32_t AttachStream(Codec::BaseStreamInput* stream) = 0;
  virtual void AttachDiagnOutput(Codec::BaseStreamDiagn* sink) = 0;
  virtual std::int32_t ReadHeader(Codec::ImageHeader* header, Codec::ImageSampling* sampling) = 0;
  virtual std::int32_t ReadData(void** planes, Codec::ImageBufferDescr* layout) = 0;
};

// The decoder for a frame: the JP2 file decoder when the data carries the
// JP2 signature, the codestream decoder otherwise.  Null when that decoder
// is not available in this build.
std::unique_ptr<TFrameDecoder> MakeFrameDecoder(bool jp2File);
