#include "converter/frame_decoders.h"

#include "decoder/jp2/jp2_decoder.h"

std::unique_ptr<Codec::BaseImageDecoder> MakeFrameDecoder(bool jp2File) {
  if (jp2File) return std::make_unique<Codec::JP2Decoder>();
  return std::make_unique<Codec::JPEG2000Decoder>();
}
