#include "converter/frame_decoders.h"

std::unique_ptr<TFrameDecoder> MakeFrameDecoder(bool jp2File) {
  // Neither decoder is part of this build yet.
  (void)jp2File;
  return nullptr;
}
