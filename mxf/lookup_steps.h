// The work of the readers' frame lookups, counted so that it can be checked
// to grow with the number of index entries and partitions of a file, not
// with their product.
#pragma once

#include <cstdint>

namespace mxf_internal {

// The index entries, index segments and partitions that frame reads and
// MXFReader::LargestFrameSize looked at, over every reader of the process.
std::uint64_t LookupSteps();

}  // namespace mxf_internal
