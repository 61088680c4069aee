// Writes a small SMPTE (or MXF Interop) OP-Atom track file that frame-wraps
// the given JPEG 2000 codestreams: header metadata with an RGBA descriptor and
// a JPEG 2000 sub-descriptor taken from the first codestream, one essence KLV
// per frame, an index table in the footer and a random index pack.  Used to
// make the project's own sample track files and test files.
#pragma once

#include <cstdint>
#include <vector>

#include "mxf/AS_DCP.h"

namespace mxfwrite {

struct TrackFileOptions {
  // MXF Interop labels and layout (essence in the header partition) instead of SMPTE.
  bool interop = false;
  ASDCP::Rational edit_rate{24, 1};
  // 0/0: StoredWidth/StoredHeight.
  ASDCP::Rational aspect_ratio{0, 0};
  // Leave out the index table (readers then have to scan for frames).
  bool write_index = true;
  // Leave out the random index pack.
  bool write_rip = true;
  // SMPTE layout only: a fill item of this many bytes (at least 25, or 0 for
  // none) between the header metadata and the body partition, written as a
  // hole where the file system allows; makes files whose essence lies beyond
  // 4 GiB without writing gigabytes.
  std::uint64_t gap_before_body = 0;
  // SMPTE layout only: this many body partitions without essence in front of
  // the one that holds the frames (as a writer that starts a partition every
  // few frames, or a hostile file, might leave).
  std::uint32_t empty_partitions = 0;
  // Non-zero: the index is one segment of edit units of this many bytes each
  // instead of one entry per frame (frames whose KLVs have that size read
  // back; others make a damaged file).
  std::uint32_t constant_edit_unit_bytes = 0;
  // Seed of the identifiers written into the file (same inputs, same file).
  std::uint64_t seed = 1;
};

// Writes `frames` (each one codestream) as a track file at `path`.
// RESULT_PARAM when there are no frames, when the first is not a JPEG 2000
// codestream or a frame exceeds 4 GiB - 1 bytes; RESULT_FILEOPEN or
// RESULT_WRITEFAIL for file trouble.
Kumu::Result_t WriteJpeg2000TrackFile(const char* path, const std::vector<std::vector<std::uint8_t>>& frames,
                                      const TrackFileOptions& options = {});

}  // namespace mxfwrite
