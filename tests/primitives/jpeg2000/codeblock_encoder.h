// A reference tier-1 encoder for the code-block decoder's tests: the MQ
// arithmetic encoder and the bit-plane coder written straight from the
// encoding procedures of the JPEG 2000 standard, on plain per-sample arrays
// (no packed flag rows, no shared tables with the decoder).  It codes a
// block of signed integer coefficients into codeword segments in every
// code-block style the decoder supports, and records what a decoder must
// reconstruct after the passes it coded.
#pragma once

#include <cstdint>
#include <vector>

namespace cbtest {

// Code-block style bits, as the decoder's flags word.
inline constexpr std::uint32_t kCausal = 0x1;
inline constexpr std::uint32_t kBypass = 0x2;
inline constexpr std::uint32_t kTermAll = 0x4;
inline constexpr std::uint32_t kReset = 0x8;
inline constexpr std::uint32_t kSegSymbol = 0x10;
inline constexpr std::uint32_t kPredictable = 0x100000;

struct Segment {
  std::vector<std::uint8_t> bytes;
  int passes = 0;
  bool raw = false;
};

struct EncodedBlock {
  std::vector<Segment> segments;
  int passes = 0;                       // passes coded
  std::vector<std::uint32_t> expected;  // sign-magnitude reconstruction after those passes
};

struct EncodeOptions {
  int width = 0;
  int height = 0;
  int band = 0;       // 0 LL, 1 LH, 2 HL, 3 HH
  int bitPlanes = 0;  // magnitudes must be below 2^bitPlanes
  std::uint32_t style = 0;
  int maxPasses = 1 << 30;  // truncation: code at most this many passes
  // Raw segments: drop a final 0xFF byte (the decoder reads missing bytes as
  // 0xFF, so both forms are valid codewords).
  bool dropFinalRawFF = false;
};

// coeffs: width x height signed values, row by row.
EncodedBlock encodeCodeBlock(const std::vector<std::int32_t>& coeffs, const EncodeOptions& opt);

// Number of passes of a block of n bit-planes.
inline int passCount(int bitPlanes) { return bitPlanes > 0 ? 3 * bitPlanes - 2 : 0; }

// Sign-magnitude form of a signed value.
inline std::uint32_t signMagnitude(std::int32_t v) {
  return v < 0 ? (0x80000000u | static_cast<std::uint32_t>(-static_cast<std::int64_t>(v)))
               : static_cast<std::uint32_t>(v);
}

}  // namespace cbtest
