// The abstract codec interface through which callers drive the decoders, and
// Codec::JPEG2000Decoder, which decodes a raw JPEG 2000 codestream.
//
// Call order: construct; Init; AttachStream; AttachDiagnOutput; ReadHeader;
// the caller lays out its image; ReadData; destroy.  Integer results are 0
// for success and -1 for failure; no exception leaves an operation.  A
// failure met in the data reaches the attached sink as the diagnostic that
// stopped it; a call without a state, or with an image that does not fit the
// header, fails without one.
//
// ReadData (planes, layout) decodes every tile-part not yet read and writes
// the whole image into the caller's planes: one plane per component laid out
// for the header's sampling (ImageBuffer::Alloc), of data type 6 (32-bit
// samples) or 3 (16-bit samples; components of up to 16 bits signed, 15
// unsigned, else Except_BitDepthExceedsDataType); another data type is
// refused once the codestream is read.  After a successful ReadData:
// - without LendCallerPlanes, ReadData may be called again, on the same
//   planes or on others, with either data type, and gives the same samples of
//   that data type each time (16-bit samples of components deeper than 11
//   bits are the 32-bit ones; shallower irreversible components are made in
//   16-bit fixed point, within its rounding of the 32-bit ones);
// - with LendCallerPlanes, the samples are given once: every later ReadData
//   fails with Except_LentPlanesHoldSamples, whatever its planes (the same
//   addresses included), and reads and writes nothing.
//
// A failed read is final.  After a ReadHeader that failed, or a ReadData that
// failed once it began to read the codestream or to write the planes (every
// failure but the refusals below), every later ReadHeader and ReadData fails
// at once with Except_EarlierReadFailed and reads and writes nothing, with or
// without LendCallerPlanes, whatever its planes; until a new stream is
// attached (AttachStream, which reads the new stream whole only after
// ResetInput) or Close.  A ReadData refused before anything is read or
// written leaves the decoder as it was: without a state, with an image that
// does not fit the header (plane layout, planes, sampling, row steps; no
// diagnostic) and with 16-bit planes for components too deep for them
// (Except_BitDepthExceedsDataType).
//
// A ReadData that fails leaves its planes as they were when it is refused as
// above, when the codestream is refused or damaged (every tile-part is read
// before a sample is written) and when a tile cannot be written into these
// planes (Except_mctIsResampled); only memory running out while tiles are
// written (Except_faultMalloc) leaves the tiles before the failing one
// written, the failing one's components partly written and the later ones
// untouched.  With LendCallerPlanes, a failure while the codestream is read
// leaves coefficients in the lent planes in place of what they held.
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
  // Reads from `stream` from here on, within its size.  A stream attached
  // while another is still attached (no ResetInput since) is also held to
  // what the earlier stream's size has left unread: after a whole
  // codestream that is usually nothing, and its reads fail with
  // Except_noDataToRead.  ResetInput first, then AttachStream, to read the
  // next stream.
  virtual std::int32_t AttachStream(BaseStreamInput* stream) = 0;
  virtual std::int32_t ReadHeader(ImageHeader* header, ImageSampling* sampling) = 0;
  virtual std::int32_t ReadData(void** planes, ImageBufferDescr* descr) = 0;
  // For a caller that reads each image once, into 32-bit planes: lets the
  // tiles that can keep their coefficients in the caller's planes, where the
  // samples are then written over them, instead of planes of their own
  // (tier2/lent_planes.h says which tiles and how).  The samples are then
  // given once: after a successful ReadData every later one fails with
  // Except_LentPlanesHoldSamples, whatever its planes, and reads and writes
  // nothing.  Off by default; without a state (before Init) it does nothing;
  // it holds until Close.
  virtual void LendCallerPlanes(bool lend) = 0;
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
  void LendCallerPlanes(bool lend) override;

 private:
  JPEG2000DecoderState* state_ = nullptr;
};

}  // namespace Codec
