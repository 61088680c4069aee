// Byte input with bounded segments.
//
// All marker segments, box headers and packet data are read through one byte
// input that knows, besides the stream, how many bytes the segment being
// parsed may still give.  A parser announces a segment's length (PushBound),
// reads its fields with consuming reads, and closes the segment (PopBound):
// whatever it did not read is skipped, and no read can run past the segment's
// end.  Segments nest; a closed segment is charged to its container whole.
//
// Layers, each over the one below:
//   CodecAdapterInput          the attached stream; exact reads of n bytes
//   ByteInputBE                big-endian 16- and 32-bit reads (no accounting)
//   ByteInputSigned            nothing of its own
//   ByteInputBoundService      the bound stack and the consuming reads
//   CodecAdapterBoundedInputBE the concrete input the parsers use
// Reading past the top bound, or a stream that delivers fewer bytes than
// asked, throws Except_noDataToRead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/diagnostics.h"
#include "decoder/holders.h"
#include "decoder/stream_input.h"

namespace Codec {

class CodecAdapterInput {
 public:
  BaseStreamInput* Stream() const { return stream_; }

  // The stream must deliver exactly n bytes.
  void ReadExact(void* dst, std::uint64_t n) {
    std::uint64_t got = 0;
    if (!stream_) throw J2k::Except_noDataToRead();
    stream_->Read(dst, n, got);
    if (got != n) throw J2k::Except_noDataToRead();
  }
  std::uint8_t ReadByteExact() {
    std::uint8_t b = 0;
    ReadExact(&b, 1);
    return b;
  }

 protected:
  BaseStreamInput* stream_ = nullptr;
};

template <class Base>
class ByteInputBE : public Base {
 public:
  // These do not account the bytes: callers Consume (2) or (4) first.
  std::uint16_t ReadU16() {
    const std::uint32_t hi = this->ReadByteExact();
    const std::uint32_t lo = this->ReadByteExact();
    return static_cast<std::uint16_t>((hi << 8) | lo);
  }
  std::uint32_t ReadU32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | this->ReadByteExact();
    return v;
  }
};

template <class Base>
class ByteInputSigned : public Base {};

// One open segment.
struct InputBound {
  std::uint32_t consumed = 0;
  std::uint32_t length = 0;
  std::uint32_t Remaining() const { return length - consumed; }
};

template <class Base>
class ByteInputBoundService : public Base {
 public:
  virtual ~ByteInputBoundService() = default;
  [[noreturn]] virtual void RaiseNoData() { throw J2k::Except_noDataToRead(); }

  // Accounts n bytes against the top bound; more than it has left (or no
  // bound at all) throws and leaves the bound unchanged.
  void Consume(std::uint32_t n) {
    InputBound* top = bounds_.First();
    if (!top || n > top->Remaining()) RaiseNoData();
    top->consumed += n;
  }
  std::uint8_t ReadU8() {
    Consume(1);
    return this->ReadByteExact();
  }
  // Consume and read in one step.
  std::uint16_t TakeU16() {
    Consume(2);
    return this->ReadU16();
  }
  std::uint32_t TakeU32() {
    Consume(4);
    return this->ReadU32();
  }
  // The next two bytes, big-endian, without consuming them; false (and v
  // unchanged) when the top bound has fewer than two bytes left.
  bool PeekU16(std::uint16_t& v) {
    if (Remaining() < 2 || !this->stream_) return false;
    const std::uint16_t read = this->ReadU16();
    this->stream_->Skip(-2);
    v = read;
    return true;
  }
  // Accounts and skips n bytes of the current segment.
  void SkipBytes(std::uint32_t n) {
    Consume(n);
    if (n && this->stream_) this->stream_->Skip(static_cast<std::int64_t>(n));
  }

  // Opens a segment of n bytes, shortened to what the enclosing one has left;
  // returns the granted length.
  std::uint32_t PushBound(std::uint32_t n) {
    if (const InputBound* top = bounds_.First()) {
      if (n > top->Remaining()) n = top->Remaining();
    }
    InputBound& b = bounds_.PushFront();
    b.length = n;
    return n;
  }
  // Closes the top segment: its unread rest is skipped in the stream and
  // returned; the segment's full length is charged to its container.
  std::uint32_t PopBound() {
    const InputBound* top = bounds_.First();
    if (!top) return 0;
    const std::uint32_t rest = top->Remaining();
    if (rest && this->stream_) this->stream_->Skip(static_cast<std::int64_t>(rest));
    RemoveTop();
    return rest;
  }
  // Removes the top segment without touching the stream, charging it to its
  // container as PopBound does.
  void DropBound() {
    if (bounds_.First()) RemoveTop();
  }
  void ClearBounds() { bounds_.Clear(); }

  std::uint32_t Remaining() const {
    const InputBound* top = bounds_.First();
    return top ? top->Remaining() : 0;
  }
  std::uint32_t Consumed() const {
    const InputBound* top = bounds_.First();
    return top ? top->consumed : 0;
  }
  std::size_t BoundDepth() const { return bounds_.Count(); }

 private:
  void RemoveTop() {
    const std::uint32_t length = bounds_.First()->length;
    bounds_.PopFront();
    if (InputBound* below = bounds_.First()) {
      const std::uint32_t room = below->Remaining();
      below->consumed += length <= room ? length : room;
    }
  }

 protected:
  OwnedList<InputBound> bounds_;
};

class CodecAdapterBoundedInputBE final
    : public ByteInputBoundService<ByteInputSigned<ByteInputBE<CodecAdapterInput>>> {
 public:
  // Takes the stream and opens the outermost bound over its size (low 32 bits).
  void AttachStream(BaseStreamInput* stream) {
    stream_ = stream;
    std::uint64_t size = 0;
    if (stream) stream->Size(size);
    PushBound(static_cast<std::uint32_t>(size));
  }
  // Forgets the stream and removes the most recent bound.
  void ResetInput() {
    stream_ = nullptr;
    DropBound();
  }
};

// Three-byte look-ahead window over a bounded input, for packet data in which
// SOP and EPH markers may occur.  Appending b stores it at positions i and
// i + 3 of the ring and advances i modulo 3, so the three latest bytes always
// read contiguously from Window().
template <class Source>
class ByteInputLookAhead {
 public:
  ByteInputLookAhead() = default;
  ByteInputLookAhead(const ByteInputLookAhead&) = delete;
  ByteInputLookAhead& operator=(const ByteInputLookAhead&) = delete;

  // Stores the source and fills the window with its next three bytes.
  void Prime(Source* source) {
    source_ = source;
    for (int k = 0; k < 3; ++k) Append(source->ReadU8());
  }
  void Append(std::uint8_t b) {
    ring_[index_] = b;
    ring_[index_ + 3] = b;
    index_ = (index_ + 1) % 3;
  }
  // Reads one more byte of the source into the window; returns it.
  std::uint8_t Advance() {
    const std::uint8_t b = source_->ReadU8();
    Append(b);
    return b;
  }
  const std::uint8_t* Window() const { return ring_ + index_; }
  Source* SourceInput() const { return source_; }

 private:
  std::uint8_t ring_[6] = {};
  std::uint32_t index_ = 0;
  Source* source_ = nullptr;
};

// First-in first-out chain of 512-byte blocks holding received bytes not yet
// read (a code-block's data buffer).
class SegmentChain {
 public:
  static constexpr std::uint32_t kBlockSize = 512;

  // Appends n bytes, filling the newest block first.
  void Append(const std::uint8_t* src, std::size_t n);
  // Copies up to n bytes, oldest first; returns the count copied.
  std::size_t ReadBlock(std::uint8_t* dst, std::size_t n);
  // Copies n bytes or throws Except_noDataToRead.
  void ReadBlockExact(std::uint8_t* dst, std::size_t n);
  std::size_t Unread() const { return unread_; }
  std::size_t BlockCount() const { return blocks_.Count(); }
  void Clear() {
    blocks_.Clear();
    unread_ = 0;
  }

 private:
  struct Block {
    std::uint8_t bytes[kBlockSize];
    std::uint32_t read = 0;
    std::uint32_t write = 0;
  };
  OwnedList<Block> blocks_;
  std::size_t unread_ = 0;
};

}  // namespace Codec
