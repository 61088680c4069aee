// Input streams of the decoders.
//
// The decoders read through the abstract Codec::BaseStreamInput, so the
// caller decides where the bytes come from; CMemBuffInput reads one frame
// already in memory.  Every operation returns 0 for success and nonzero for
// failure; none throws.  Positions and sizes cross the interface as 64-bit
// values although the memory stream counts in 32 bits.
#pragma once

#include <cstdint>

namespace Codec {

class BaseStream {
 public:
  virtual ~BaseStream() = default;
  virtual std::int32_t Size(std::uint64_t& size) = 0;
  virtual std::int32_t Position(std::uint64_t& position) = 0;
};

class BaseStreamInputFwd : public BaseStream {
 public:
  // Copies up to `count` bytes and advances; `read` tells how many were
  // copied.  Nonzero when fewer than `count` bytes were there.
  virtual std::int32_t Read(void* dst, std::uint64_t count, std::uint64_t& read) = 0;
  // Seek relative to the current position.
  virtual std::int32_t Skip(std::int64_t distance) = 0;
};

class BaseStreamInput : public BaseStreamInputFwd {
 public:
  enum SeekOrigin : std::int32_t { SeekCurrent = 0, SeekBegin = 1, SeekEnd = 2 };
  virtual std::int32_t Seek(std::int64_t offset, std::int32_t origin) = 0;
};

// Read-only stream over bytes in memory; it never owns the buffer.
class CMemBuffInput final : public BaseStreamInput {
 public:
  CMemBuffInput() = default;
  ~CMemBuffInput() override { Close(); }
  CMemBuffInput(const CMemBuffInput&) = delete;
  CMemBuffInput& operator=(const CMemBuffInput&) = delete;

  // A null buffer gives 1 and changes nothing; a size of 0 is accepted.
  std::int32_t Open(const void* buffer, std::uint32_t size);
  void Close();

  std::int32_t Size(std::uint64_t& size) override;
  std::int32_t Position(std::uint64_t& position) override;
  std::int32_t Read(void* dst, std::uint64_t count, std::uint64_t& read) override;
  std::int32_t Skip(std::int64_t distance) override;
  // Origin 0 current, 1 begin, 2 end (the offset then counts back from the
  // end).  A refused seek gives 1 and leaves the position unchanged.
  std::int32_t Seek(std::int64_t offset, std::int32_t origin) override;

 private:
  const std::uint8_t* buffer_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t position_ = 0;
};

}  // namespace Codec
