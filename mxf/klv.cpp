// Low-level MXF coding: labels, BER lengths, big-endian fields, 64-bit file.
#include "mxf/klv.h"

#include <cstring>

#include "platform/file_system.h"

namespace mxf_internal {

bool SameLabelPrefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (i != 7 && a[i] != b[i]) return false;
  }
  return true;
}

bool SameLabel(const std::uint8_t* a, const std::uint8_t* b) { return SameLabelPrefix(a, b, 16); }

bool SameElementKey(const std::uint8_t* a, const std::uint8_t* b) { return SameLabelPrefix(a, b, 15); }

void PutBe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutBe16(out, static_cast<std::uint16_t>(v >> 16));
  PutBe16(out, static_cast<std::uint16_t>(v));
}

void PutBe64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  PutBe32(out, static_cast<std::uint32_t>(v >> 32));
  PutBe32(out, static_cast<std::uint32_t>(v));
}

void PutBytes(std::vector<std::uint8_t>& out, const std::uint8_t* p, std::size_t n) {
  out.insert(out.end(), p, p + n);
}

void PutBerLength(std::vector<std::uint8_t>& out, std::uint64_t length) {
  if (length < (std::uint64_t{1} << 24)) {
    out.push_back(0x83);
    out.push_back(static_cast<std::uint8_t>(length >> 16));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
  } else {
    out.push_back(0x88);
    PutBe64(out, length);
  }
}

std::size_t DecodeBer(const std::uint8_t* p, std::size_t avail, std::uint64_t& length) {
  if (avail < 1) return 0;
  if (p[0] < 0x80) {
    length = p[0];
    return 1;
  }
  const std::size_t n = p[0] & 0x7f;
  if (n == 0 || n > 8 || avail < 1 + n) return 0;
  std::uint64_t v = 0;
  for (std::size_t i = 1; i <= n; ++i) v = (v << 8) | p[i];
  length = v;
  return 1 + n;
}

File::~File() { Close(); }

bool File::Open(const char* path) {
  Close();
  if (path == nullptr) return false;
  // Only a regular file is a track file: a folder, a pipe or a device is
  // refused, and a FIFO without a writer does not make the open wait.
  file_ = platformOpenRegularFileForReading(path);
  if (file_ == nullptr) return false;
  if (fseeko(file_, 0, SEEK_END) != 0) {
    Close();
    return false;
  }
  const off_t end = ftello(file_);
  if (end < 0 || fseeko(file_, 0, SEEK_SET) != 0) {
    Close();
    return false;
  }
  size_ = static_cast<std::uint64_t>(end);
  position_ = 0;
  // A file that opens but cannot be read counts as not opened.
  std::uint8_t probe = 0;
  if (size_ > 0 && !ReadAt(0, &probe, 1)) {
    Close();
    return false;
  }
  return true;
}

void File::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
  position_ = 0;
}

bool File::ReadAt(std::uint64_t pos, void* out, std::size_t n) {
  if (file_ == nullptr) return false;
  if (pos > size_ || n > size_ - pos) return false;
  if (n == 0) return true;
  if (pos != position_) {
    if (pos > static_cast<std::uint64_t>(INT64_MAX) ||
        fseeko(file_, static_cast<off_t>(pos), SEEK_SET) != 0) {
      position_ = UINT64_MAX;
      return false;
    }
    position_ = pos;
  }
  const std::size_t got = std::fread(out, 1, n, file_);
  if (got != n) {
    std::clearerr(file_);
    position_ = UINT64_MAX;
    return false;
  }
  position_ = pos + n;
  return true;
}

KlvStatus ReadKlvHeader(File& file, std::uint64_t pos, KlvHeader& klv) {
  const std::uint64_t size = file.Size();
  if (pos >= size) return KlvStatus::kEnd;
  std::uint8_t buf[25];
  const std::size_t avail = static_cast<std::size_t>(size - pos < sizeof buf ? size - pos : sizeof buf);
  if (!file.ReadAt(pos, buf, avail)) return KlvStatus::kShort;
  if (avail < 4) return KlvStatus::kShort;
  if (std::memcmp(buf, kUlPrefix, 4) != 0) return KlvStatus::kNotKlv;
  if (avail < 17) return KlvStatus::kShort;
  if (buf[16] == 0x80 || buf[16] > 0x88) return KlvStatus::kBadLength;
  std::uint64_t length = 0;
  const std::size_t ber = DecodeBer(buf + 16, avail - 16, length);
  if (ber == 0) return KlvStatus::kShort;
  klv.offset = pos;
  std::memcpy(klv.key.data(), buf, 16);
  klv.length = length;
  klv.header_size = static_cast<std::uint32_t>(16 + ber);
  const std::uint64_t value_pos = pos + klv.header_size;
  if (value_pos > size || length > size - value_pos) return KlvStatus::kTruncated;
  return KlvStatus::kOk;
}

}  // namespace mxf_internal
