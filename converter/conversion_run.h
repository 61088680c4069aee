// The conversion run: the essence-type check of the input, then the
// conversion of a JPEG 2000 track file into the movie, batch by batch
// through the decoder components, with the progress line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "converter/run_report.h"
#include "mxf/AS_DCP.h"
#include "mxf/KM_error.h"

class TCommandLineOptions;

// The essence-type check and the conversion with their notes and error line;
// the exit code.
std::int32_t CheckEssenceAndConvert(const TCommandLineOptions& options);

// Converts the input track file into the movie named by the output prefix
// with ".mov" appended; with -W (read only) every frame is read and decoded
// and no movie file is made.  The movie is written under a temporary name and
// replaces the destination at the end of a successful run, or of a failed run
// that converted frames (the movie then holds them); a run that fails before
// its first frame leaves the destination as it was.  A track without frames,
// a destination that is the input file itself and one whose name is longer
// than its folder allows stop the run before anything is written.
// `failure`, when given, receives the file, frame and cause of a failure.
Kumu::Result_t ConvertTrackFile(const TCommandLineOptions& options, TRunFailure* failure = nullptr);

// The progress line of a batch that begins at `frame` of the range
// [start, end), `elapsedMs` after the first batch began.  Within the first
// five frames of the range it carries no estimate.
int FormatProgressLine(char* buffer, std::size_t size, std::uint32_t frame, std::uint32_t start,
                       std::uint32_t end, float elapsedMs);

// The end of the frame range: start + count (the whole file for a count of
// 0), limited to the duration; a sum beyond 32 bits saturates.
std::uint32_t FrameRangeEnd(std::uint32_t start, std::uint32_t count, std::uint32_t duration);

// Reads a frame into the buffer, doubling the buffer while the frame does not
// fit, up to `bound` bytes; past it the result is RESULT_SMALLBUF with
// `tooLarge` set.
Kumu::Result_t ReadFrameGrowing(const ASDCP::JP2K::MXFReader& reader, std::uint32_t number,
                                ASDCP::JP2K::FrameBuffer& buffer, bool& tooLarge,
                                std::uint32_t bound = kMaxFrameBytes);

// The decoder threads of a run: the logical processors, clamped to 1..8.
std::uint32_t DecoderThreadCount(std::int32_t processors);
