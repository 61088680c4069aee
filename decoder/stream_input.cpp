// Memory input stream.
#include "decoder/stream_input.h"

#include "primitives/core/vec_memory.h"

namespace Codec {

std::int32_t CMemBuffInput::Open(const void* buffer, std::uint32_t size) {
  if (!buffer) return 1;
  buffer_ = static_cast<const std::uint8_t*>(buffer);
  size_ = size;
  position_ = 0;
  return 0;
}

void CMemBuffInput::Close() {
  buffer_ = nullptr;
  size_ = 0;
  position_ = 0;
}

// Sizes are widened without sign extension: a frame of 2 GB or more must not
// turn into a huge 64-bit size.
std::int32_t CMemBuffInput::Size(std::uint64_t& size) {
  size = size_;
  return 0;
}

std::int32_t CMemBuffInput::Position(std::uint64_t& position) {
  position = position_;
  return 0;
}

std::int32_t CMemBuffInput::Read(void* dst, std::uint64_t count, std::uint64_t& read) {
  const std::uint32_t available = size_ - position_;
  const std::uint32_t n = count < available ? static_cast<std::uint32_t>(count) : available;
  // The byte copy takes an int length: copy in pieces that fit.
  std::uint32_t done = 0;
  while (done < n) {
    const std::uint32_t piece = (n - done) > 0x40000000u ? 0x40000000u : (n - done);
    vecCopy_8u(buffer_ + position_ + done, static_cast<std::uint8_t*>(dst) + done, static_cast<int>(piece));
    done += piece;
  }
  position_ += n;
  read = n;
  return n == count ? 0 : 1;
}

std::int32_t CMemBuffInput::Skip(std::int64_t distance) { return Seek(distance, SeekCurrent); }

std::int32_t CMemBuffInput::Seek(std::int64_t offset, std::int32_t origin) {
  const std::int64_t size = size_;
  switch (origin) {
    case SeekCurrent: {
      // Both terms are far below 2^62, so the sum cannot overflow once the
      // offset itself is limited to the buffer's size.
      if (offset > size || offset < -size) return 1;
      const std::int64_t target = static_cast<std::int64_t>(position_) + offset;
      if (target < 0 || target > size) return 1;
      position_ = static_cast<std::uint32_t>(target);
      return 0;
    }
    case SeekBegin:
      if (offset < 0 || offset >= size) return 1;
      position_ = static_cast<std::uint32_t>(offset);
      return 0;
    case SeekEnd:
      if (offset < 0 || offset >= size) return 1;
      position_ = static_cast<std::uint32_t>(size - offset);
      return 0;
    default:
      return 1;
  }
}

}  // namespace Codec
