// One fuzz input through the decoder: header and data, on both sample paths,
// into a caller image of capped size.  Shared by the libFuzzer program and the
// bounded mutation test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec_test {

// Decodes the input as a codestream; returns 0.
int DecoderFuzzOneInput(const std::uint8_t* data, std::size_t size);

}  // namespace codec_test
