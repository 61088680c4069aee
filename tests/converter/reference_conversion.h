// The independent conversion of a codestream the converter's output is
// compared with: Debian's opj_decompress decodes it, and the conversion's
// formula is applied in double precision (then truncated).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace convtest {

struct ReferenceFrame {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::vector<std::uint8_t> rgb;  // rows of 3 x width bytes
};

// False when opj_decompress is missing or the codestream does not decode to
// three equal unsigned components.
bool IndependentConversion(const std::string& codestream, ReferenceFrame& frame);

// Largest difference and PSNR of two RGB frames of the same size.
int MaxDifference(const std::vector<std::uint8_t>& a, const std::uint8_t* b, std::size_t count);

// The codestreams of a track file as an independent demultiplexer (ffmpeg)
// extracts them, one file per frame in `folder`; their paths.
std::vector<std::string> ExtractCodestreams(const std::string& trackFile, const std::string& folder);

std::vector<std::uint8_t> ReadBytes(const std::string& path);

}  // namespace convtest
