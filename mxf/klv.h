// Low-level MXF coding used by the reader and the writer: universal labels,
// BER lengths, big-endian fields and a 64-bit positioned file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace mxf_internal {

using UL = std::array<std::uint8_t, 16>;

// Every SMPTE label starts with these four bytes.
inline constexpr std::uint8_t kUlPrefix[4] = {0x06, 0x0e, 0x2b, 0x34};

// Labels compare without their version byte (byte 7), which differs between
// MXF Interop and SMPTE files.
bool SameLabel(const std::uint8_t* a, const std::uint8_t* b);
// Essence element keys also ignore the element number (byte 15).
bool SameElementKey(const std::uint8_t* a, const std::uint8_t* b);
// Compares the first `n` bytes, ignoring byte 7.
bool SameLabelPrefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t n);

// Big-endian integers from bytes the caller has checked to be present.
inline std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline std::uint64_t Be64(const std::uint8_t* p) { return (std::uint64_t{Be32(p)} << 32) | Be32(p + 4); }

void PutBe16(std::vector<std::uint8_t>& out, std::uint16_t v);
void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t v);
void PutBe64(std::vector<std::uint8_t>& out, std::uint64_t v);
void PutBytes(std::vector<std::uint8_t>& out, const std::uint8_t* p, std::size_t n);
// A 4-byte BER length (0x83 + 3 bytes) or, above 16 MiB, the 9-byte form.
void PutBerLength(std::vector<std::uint8_t>& out, std::uint64_t length);

// Decodes a BER length at p (at most `avail` bytes present).  Gives the number
// of bytes the length field takes (1..9), or 0 when the field is invalid (the
// indefinite form 0x80, more than 8 length bytes, or cut short).
std::size_t DecodeBer(const std::uint8_t* p, std::size_t avail, std::uint64_t& length);

// A read-only file addressed by 64-bit offsets.
class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  std::uint64_t Size() const { return size_; }
  // Reads exactly n bytes at pos; false when they are not all there.
  bool ReadAt(std::uint64_t pos, void* out, std::size_t n);

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

// A key and a length read from a file.
struct KlvHeader {
  std::uint64_t offset = 0;  // position of the key
  UL key{};
  std::uint64_t length = 0;       // value length
  std::uint32_t header_size = 0;  // key + length field
  std::uint64_t ValueOffset() const { return offset + header_size; }
  std::uint64_t End() const { return offset + header_size + length; }
};

enum class KlvStatus { kOk, kEnd, kShort, kNotKlv, kBadLength, kTruncated };

// Reads the key and length at pos.  kEnd when pos is at the end of the file,
// kShort when the file ends inside the key or length (or cannot be read),
// kNotKlv when the bytes are not an SMPTE key, kBadLength for an invalid length
// field, kTruncated when the value runs past the end of the file (`klv` is
// filled in that case).
KlvStatus ReadKlvHeader(File& file, std::uint64_t pos, KlvHeader& klv);

}  // namespace mxf_internal
