#include "converter/frame_decoders.h"

std::unique_ptr<Codec::BaseImageDecoder> MakeFrameDecoder(bool jp2File) {
  // JP2 files need the JP2 file decoder, which this build does not have yet:
  // such a frame fails as a decoder that cannot be initialised.
  if (jp2File) return nullptr;
  return std::make_unique<Codec::JPEG2000Decoder>();
}
