// One fuzz input through the whole reading path: essence-type probe, open,
// descriptor, largest frame, every frame as the conversion run reads it
// (growing the frame buffer, which starts at half the largest frame).
// Shared by the libFuzzer program and the bounded mutation test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mxftest {

// Writes the input to a scratch file and reads it as a track file; returns 0.
int MxfFuzzOneInput(const std::uint8_t* data, std::size_t size);

// How many frame reads so far grew the frame buffer (a frame larger than it).
std::uint64_t MxfFuzzGrownReads();

}  // namespace mxftest
