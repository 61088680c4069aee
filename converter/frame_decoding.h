// Decoding of one frame's JPEG 2000 data (a raw codestream or a JP2 file)
// into a caller image of 32-bit signed samples, one plane per component.
#pragma once

#include <cstdint>
#include <memory>

#include "decoder/diagnostics.h"
#include "decoder/image_decoder.h"
#include "decoder/image_records.h"
#include "decoder/stream_input.h"
#include "mxf/KM_error.h"

// What the track says every frame must be.  A bit depth of 0 means the track
// does not say; the frame's depth must then lie within 1..30 bits.
struct TFrameFormat {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bitDepth[3] = {0, 0, 0};
};

// Why a frame's decoding stopped, for the error report: the decoder
// diagnostic that ended it (the last error the decoder reported), and the
// picture the frame's header describes once the header was read.
struct TFrameStop {
  std::int32_t codecId = 0;  // 0: the decoder reported no error
  std::uint32_t code = 0;
  char name[96] = {};
  bool headerRead = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t components = 0;
  bool fullResolution = true;
  std::uint32_t bitDepth[3] = {0, 0, 0};
};

// The decoder's diagnostics sink: warnings are dropped; an error (the
// diagnostic that ends an entry operation) is kept in the frame's stop record,
// where the run's error report finds it.
class TDecoderLogger : public Codec::BaseStreamDiagn {
 public:
  explicit TDecoderLogger(TFrameStop& stop) : mStop(stop) {}
  ~TDecoderLogger() override = default;
  void Write(const Codec::BaseDiagnDescriptor& descr) override;

 private:
  TFrameStop& mStop;
};

// The decoder for a frame: the JP2 file decoder when the data carries the
// JP2 signature, the codestream decoder otherwise.  The choice between the two
// is made here and nowhere else.
std::unique_ptr<Codec::BaseImageDecoder> MakeFrameDecoder(bool jp2File);

// Whether the stream holds a JP2 file: bytes 4 to 7 are "jP  " (OK), other
// bytes (FALSE), or the stream is too short to tell (BADSEEK).  The stream is
// left at its beginning.
Kumu::Result_t IsJP2FileFormat(Codec::BaseStreamInput& stream);

// Decodes the frame into `image`.  The header is checked against `format`
// before the image is allocated; an image that holds the planes of an earlier
// frame of the same layout keeps them (cleared) instead.  Failures carry the
// category "ImageDecoder"; `stop`, when given, says why.
Kumu::Result_t DecodeFrameImage(const std::uint8_t* data, std::uint32_t size, const TFrameFormat& format,
                                Codec::ImageBuffer& image, TFrameStop* stop = nullptr);
