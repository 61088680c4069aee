// Fuzz entry over ReadHeader and ReadData of Codec::JPEG2000Decoder.
#include "tests/decoder/fuzz_target.h"

#include <cstdlib>
#include <cstring>

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

// What the caller's planes hold before a ReadData that must not write them.
constexpr int kUntouched = 0xA5;

void Fill(Codec::ImageBuffer& image) {
  for (std::uint32_t c = 0; c < image.PlaneCount(); ++c)
    std::memset(image.planePointers[c], kUntouched, static_cast<std::size_t>(image.layout.PlaneSize(c)));
}

bool Untouched(const Codec::ImageBuffer& image) {
  for (std::uint32_t c = 0; c < image.PlaneCount(); ++c) {
    const auto* p = static_cast<const std::uint8_t*>(image.planePointers[c]);
    for (std::uint64_t i = 0, n = image.layout.PlaneSize(c); i < n; ++i)
      if (p[i] != kUntouched) return false;
  }
  return true;
}

void DecodeAs(const std::uint8_t* data, std::size_t size, std::int32_t type, bool lend) {
  Codec::CMemBuffInput stream;
  stream.Open(data, static_cast<std::uint32_t>(size));
  Codec::JPEG2000Decoder dec;
  if (dec.Init() != 0 || dec.AttachStream(&stream) != 0) return;
  dec.LendCallerPlanes(lend);
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
  const std::int32_t result = dec.ReadData(image.planePointers, &image.layout);
  // After a failed ReadData, and after a successful one into lent planes, a
  // second ReadData must fail and leave the planes (the same ones, which the
  // caller might have freed or reused) as they are.
  if (result == 0 && !lend) return;
  Fill(image);
  if (dec.ReadData(image.planePointers, &image.layout) != -1 || !Untouched(image)) std::abort();
}

}  // namespace

int DecoderFuzzOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size - 1 > 0xFFFFFFFFu) return 0;
  // The last byte chooses the configuration, the rest is the codestream.
  const bool lend = (data[size - 1] & 1) != 0;
  DecodeAs(data, size - 1, Codec::kImageData32s, lend);
  DecodeAs(data, size - 1, Codec::kImageData16s, lend);
  return 0;
}

}  // namespace codec_test

#ifdef DECODER_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return codec_test::DecoderFuzzOneInput(data, size);
}
#endif
