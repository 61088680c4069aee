// The JPEG 2000 decoder a frame goes to.  The choice between the JP2 file
// decoder and the codestream decoder is made here and nowhere else.
#pragma once

#include <memory>

#include "decoder/image_decoder.h"

// The decoder for a frame: the JP2 file decoder when the data carries the
// JP2 signature, the codestream decoder otherwise.
std::unique_ptr<Codec::BaseImageDecoder> MakeFrameDecoder(bool jp2File);
