// Fuzz entry over ReadHeader and ReadData of Codec::JPEG2000Decoder.
#include "tests/decoder/fuzz_target.h"

#include <cstdlib>

#include "decoder/image_decoder.h"
#include "decoder/image_records.h"
#include "decoder/stream_input.h"

namespace codec_test {

namespace {

// Caller images of more samples than this (all components together: a
// 512 x 512 grey or about 300 x 300 colour picture) are not laid out, so a
// header may announce any size without the run exhausting memory, and each
// input decodes in a few milliseconds: the fuzzer tries many inputs a
// second rather than decoding a few large pictures.
constexpr std::uint64_t kMaxSamples = std::uint64_t{1} << 18;

void DecodeAs(const std::uint8_t* data, std::size_t size, std::int32_t type) {
  Codec::CMemBuffInput stream;
  stream.Open(data, static_cast<std::uint32_t>(size));
  Codec::JPEG2000Decoder dec;
  if (dec.Init() != 0 || dec.AttachStream(&stream) != 0) return;
  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  if (dec.ReadHeader(&header, &sampling) != 0) return;
  std::uint64_t samples = 0;
  for (std::uint32_t c = 0; c < sampling.count; ++c) {
    const Codec::Rect r = sampling.ComponentRectOf(c);
    samples += std::uint64_t{r.width} * r.height;
    if (samples > kMaxSamples) return;
  }
  Codec::ImageBuffer image;
  if (image.Alloc(type, 0, sampling, 6, 0) != 0) return;
  (void)dec.ReadData(image.planePointers, &image.layout);
}

}  // namespace

int DecoderFuzzOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  DecodeAs(data, size, Codec::kImageData32s);
  DecodeAs(data, size, Codec::kImageData16s);
  return 0;
}

}  // namespace codec_test

#ifdef DECODER_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return codec_test::DecoderFuzzOneInput(data, size);
}
#endif
