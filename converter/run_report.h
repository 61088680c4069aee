// The line that follows the error line of a failed run: which file (and
// which frame) the failure concerns, and its cause in plain words.
#pragma once

#include <cstdint>
#include <string>

#include "converter/frame_decoding.h"
#include "mxf/KM_error.h"

struct TRunFailure {
  std::string file;         // empty: nothing to add to the error line
  std::int64_t frame = -1;  // -1: not a frame's failure
  std::string cause;
  // When a failed run could not keep the frames it had converted: the movie
  // and why (empty: nothing to say).
  std::string movie{};
  std::string movieCause{};
};

// Prints "  File '<file>'[, frame <n>]: <cause>" as a note (nothing for an
// empty record), then "  File '<movie>': <movieCause>" when there is one.
void PrintFailureCause(const TRunFailure& failure);

// The system's text for an error number ("No space left on device").
std::string SystemErrorText(int error);

// The most bytes one frame may take; a larger frame is refused.
inline constexpr std::uint32_t kMaxFrameBytes = 256u << 20;

// Why the input file could not be opened or probed: the system's error text
// when it cannot be opened or read, "the input is not a regular file" for a
// pipe, a FIFO, a device or a socket (which is not read), "not an MXF file"
// when it does not begin like one, else what the MXF layer's result means.
std::string InputFileCause(const char* path, const Kumu::Result_t& result);

// The most pixels a side of the movie's frames may have, and the most in
// all (the encoder refuses larger frames; an odd side counts as the next
// even number, as the frames are padded to even sizes).
inline constexpr std::uint32_t kMaxMovieSide = 16384;
inline constexpr std::uint64_t kMaxMoviePixels = std::uint64_t{16384} * 16128;

// Why a track whose descriptor announces frames of `width` x `height` pixels
// cannot be converted (a side of 0 pixels, or more than a movie takes), or
// empty when it can.
std::string PictureSizeCause(std::uint32_t width, std::uint32_t height);

// Why reading a frame from the track file failed; `tooLarge` when the frame
// exceeds kMaxFrameBytes.
std::string FrameReadCause(const Kumu::Result_t& result, bool tooLarge);

// Why a frame's decoding or conversion failed, from its result and its stop
// record, against the track's picture size and bit depths.
std::string FrameDecodeCause(const Kumu::Result_t& result, const TFrameStop& stop, std::uint32_t trackWidth,
                             std::uint32_t trackHeight, const std::uint32_t trackDepths[3]);

// The plain words for the decoder error that stopped a frame.
std::string DecoderErrorCause(const TFrameStop& stop);

// Why the movie file could not be created or written; a destination that
// exists must be a file the user may write.  `systemError`, the error number
// behind a failed write, adds the system's text to the cause.
std::string MovieCause(const char* path, const Kumu::Result_t& result, int systemError = 0);
