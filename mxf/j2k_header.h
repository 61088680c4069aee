// The main-header parameters of a JPEG 2000 codestream (SIZ, COD, QCD) as
// the track file's JPEG 2000 sub-descriptor records them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mxf_internal {

struct CodestreamParams {
  std::uint16_t rsiz = 0;
  std::uint32_t xsiz = 0, ysiz = 0, xosiz = 0, yosiz = 0;
  std::uint32_t xtsiz = 0, ytsiz = 0, xtosiz = 0, ytosiz = 0;
  std::uint16_t csiz = 0;
  struct Component {
    std::uint8_t ssiz, xrsiz, yrsiz;
  };
  std::vector<Component> components;
  std::vector<std::uint8_t> cod;  // COD segment body after its length field
  std::vector<std::uint8_t> qcd;  // QCD segment body after its length field
};

// Parses the main header of a raw codestream, or of the first codestream box
// of a JP2 file.  False when SIZ, COD or QCD is missing or malformed.
bool ParseCodestreamParams(const std::uint8_t* data, std::size_t size, CodestreamParams& out);

}  // namespace mxf_internal
