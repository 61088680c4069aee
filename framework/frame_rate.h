// Frame-rate classes: an edit rate in frames per second maps to one of the
// standard rates the movie writer knows.
//
//   index  whole  exact
//     0     24    23.976
//     1     24    24.0
//     2     25    25.0
//     3     30    29.97
//     4     30    29.97   (in the table, never produced by FrameRateToIndex)
//     5     30    30.0
//     6     50    50.0
//     7     60    59.94
//     8     60    60.0
#pragma once

#include <cstdint>

// The index of a rate, or -1 for an unsupported one (also for a rate that is
// not finite or too large to classify).
std::int32_t FrameRateToIndex(double rate);
// Whole and exact frames per second of an index; 0 for an index outside 0-8.
std::int32_t FrameRateIndexToInteger(std::int32_t index);
double FrameRateIndexToDouble(std::int32_t index);
