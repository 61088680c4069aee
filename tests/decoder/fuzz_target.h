// One fuzz input through the decoder: header and data, on both sample paths,
// into a caller image of capped size, with the caller's planes lent or not;
// after a failed ReadData, and after a successful one into lent planes, a
// second ReadData must fail and leave the planes as they are (else the entry
// aborts).  Shared by the libFuzzer program and the bounded mutation test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec_test {

// Decodes the input but its last byte as a codestream, into lent planes when
// bit 0 of that byte is set; returns 0.
int DecoderFuzzOneInput(const std::uint8_t* data, std::size_t size);

}  // namespace codec_test
