#include "converter/frame_decoding.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "converter/results.h"
#include "decoder/jp2/jp2_decoder.h"
#include "platform/system.h"

namespace {

const char* const kNoJpegData = "Unexpected or invalid input data (no JPEG2k data?)";
const char* const kWrongSize = "Unexpected frame width/height of decoded frame";
const char* const kWrongCount =
    "Unexpected number of color channels in JPEG. Expected 3, found 1 (gray scale?)";
const char* const kWrongDepth = "Unexpected bit depth of decoded frame";

// The frame's header against what the track says: size, three components
// sampled at full resolution, and each component's depth.
Kumu::Result_t CheckHeader(const Codec::ImageHeader& header, const Codec::ImageSampling& sampling,
                           const TFrameFormat& format) {
  if (sampling.rect.width != format.width || sampling.rect.height != format.height) {
    return ConverterFailure(kCategoryImageDecoder, kWrongSize);
  }
  if (sampling.count != 3 || !sampling.factors || Codec::CountedArraySize(sampling.factors) < 3 ||
      header.ComponentCount() != 3) {
    return ConverterFailure(kCategoryImageDecoder, kWrongCount);
  }
  for (std::uint32_t c = 0; c < 3; ++c) {
    if (sampling.factors[c].x != 1 || sampling.factors[c].y != 1) {
      return ConverterFailure(kCategoryImageDecoder, kWrongSize);
    }
    const std::uint32_t depth = header.components[c].precision + 1;
    const bool known = format.bitDepth[c] != 0;
    if (depth < 1 || depth > 30 || (known && depth != format.bitDepth[c])) {
      return ConverterFailure(kCategoryImageDecoder, kWrongDepth);
    }
  }
  return Kumu::RESULT_OK;
}

// Whether `image` holds the planes Alloc would lay out for `sampling` (the
// converter's layout of 32-bit planes); then they are cleared, as fresh
// planes would be, for the next frame.
bool ReusePlanes(Codec::ImageBuffer& image, const Codec::ImageSampling& sampling) {
  const Codec::ImageBufferDescr& d = image.layout;
  if (image.PlaneCount() != sampling.count || !image.planes || d.dataType != Codec::kImageData32s ||
      d.planeLayout != Codec::kPlanePerComponent || !d.sampling.factors || !sampling.factors ||
      d.sampling.count != sampling.count || d.sampling.rect.x != sampling.rect.x ||
      d.sampling.rect.y != sampling.rect.y || d.sampling.rect.width != sampling.rect.width ||
      d.sampling.rect.height != sampling.rect.height) {
    return false;
  }
  for (std::uint32_t c = 0; c < sampling.count; ++c) {
    if (d.sampling.factors[c].x != sampling.factors[c].x ||
        d.sampling.factors[c].y != sampling.factors[c].y || !image.planePointers[c]) {
      return false;
    }
  }
  for (std::uint32_t c = 0; c < sampling.count; ++c) {
    std::memset(image.planePointers[c], 0, static_cast<std::size_t>(d.PlaneSize(c)));
  }
  return true;
}

}  // namespace

Kumu::Result_t IsJP2FileFormat(Codec::BaseStreamInput& stream) {
  if (stream.Seek(4, Codec::BaseStreamInput::SeekBegin) != 0) return Kumu::RESULT_BADSEEK;
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  std::uint64_t read = 0;
  const std::int32_t status = stream.Read(bytes, 4, read);
  if (status != 0 || read != 4) return Kumu::RESULT_BADSEEK;
  if (stream.Seek(0, Codec::BaseStreamInput::SeekBegin) != 0) return Kumu::RESULT_BADSEEK;
  if (bytes[0] == 0x6A && bytes[1] == 0x50 && bytes[2] == 0x20 && bytes[3] == 0x20) return Kumu::RESULT_OK;
  return Kumu::RESULT_FALSE;
}

namespace {

// What the frame's header says, for the report of a refused frame.
void NoteHeader(const Codec::ImageHeader& header, const Codec::ImageSampling& sampling, TFrameStop& stop) {
  stop.headerRead = true;
  stop.width = sampling.rect.width;
  stop.height = sampling.rect.height;
  stop.components = sampling.count;
  const std::uint32_t factors = sampling.factors ? Codec::CountedArraySize(sampling.factors) : 0;
  for (std::uint32_t c = 0; c < sampling.count && c < factors; ++c) {
    if (sampling.factors[c].x != 1 || sampling.factors[c].y != 1) stop.fullResolution = false;
  }
  for (std::uint32_t c = 0; c < 3 && c < header.ComponentCount(); ++c) {
    stop.bitDepth[c] = header.components[c].precision + 1;
  }
}

}  // namespace

void TDecoderLogger::Write(const Codec::BaseDiagnDescriptor& descr) {
  // Errors are named "...::Except_..."; a JP2 file without a codestream box
  // is reported without a name.
  const char* text = descr.Text();
  const bool error = std::strstr(text, "::Except_") != nullptr || std::strcmp(text, "<no text>") == 0;
  if (!error) return;
  mStop.codecId = descr.CodecId();
  mStop.code = descr.Code();
  std::snprintf(mStop.name, sizeof(mStop.name), "%s", text);
}

std::unique_ptr<Codec::BaseImageDecoder> MakeFrameDecoder(bool jp2File) {
  if (jp2File) return std::make_unique<Codec::JP2Decoder>();
  return std::make_unique<Codec::JPEG2000Decoder>();
}

Kumu::Result_t DecodeFrameImage(const std::uint8_t* data, std::uint32_t size, const TFrameFormat& format,
                                Codec::ImageBuffer& image, TFrameStop* stop) {
  TFrameStop unused;
  TFrameStop& why = stop ? *stop : unused;
  why = TFrameStop();
  Codec::CMemBuffInput stream;
  stream.Open(data, size);  // a null frame leaves the stream empty
  const Kumu::Result_t signature = IsJP2FileFormat(stream);
  if (signature.Failure()) return ConverterFailure(kCategoryImageDecoder, kNoJpegData);

  // The sink outlives the decoder that reports to it.
  TDecoderLogger logger(why);
  std::unique_ptr<Codec::BaseImageDecoder> decoder = MakeFrameDecoder(signature.Value() == 0);
  if (!decoder || decoder->Init() != 0) {
    return ConverterFailure(kCategoryImageDecoder, "Decoder initialization failed");
  }
  // The image is read once, into 32-bit planes: the coefficients may lie in
  // them.
  decoder->LendCallerPlanes(true);
  if (decoder->AttachStream(&stream) != 0)
    return ConverterFailure(kCategoryImageDecoder, "Stream attaching failed");
  decoder->AttachDiagnOutput(&logger);

  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  if (decoder->ReadHeader(&header, &sampling) != 0) {
    return ConverterFailure(kCategoryImageDecoder, "Failed to read JPEG header (not a JPEG image?)");
  }
  sampling.Normalize();
  NoteHeader(header, sampling, why);
  const Kumu::Result_t checked = CheckHeader(header, sampling, format);
  if (checked.Failure()) return checked;

  if (!ReusePlanes(image, sampling)) {
    if (image.Alloc(Codec::kImageData32s, Codec::kPlanePerComponent, sampling, 5, 1) != 0)
      return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for the decoded image");
    for (std::uint32_t c = 0; c < sampling.count; ++c)
      platformPrefault(image.planePointers[c], static_cast<std::size_t>(image.layout.PlaneSize(c)));
  }
  if (image.header.SetComponentCount(sampling.count) != 0) {
    return ConverterMemoryFailure(kCategoryImageDecoder, "Failed to allocate memory for the decoded image");
  }
  image.header.colourSpace = header.colourSpace;
  image.header.reserved[0] = 0;
  image.header.reserved[1] = 0;
  image.header.components[0] = header.components[0];

  if (decoder->ReadData(image.planePointers, &image.layout) != 0) {
    return ConverterFailure(kCategoryImageDecoder, "Failed to read JPEG data");
  }
  return Kumu::RESULT_OK;
}
