// The code-block driver: what one code-block receives from its packets
// (inclusion, missing bit-planes, codeword segments and their bytes) and the
// decoding of those bytes by the code-block decoder into the rectangle of its
// band's plane to which it is bound.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/diagnostics.h"
#include "decoder/holders.h"
#include "decoder/level_set.h"

struct PrimCodeBlockDecoderState;

namespace Codec {

// Where a code-block's packets come from: the body bytes of a packet.
class PacketBodyInput {
 public:
  virtual ~PacketBodyInput() = default;
  // Exactly n bytes of the packet body, or Except_noDataToRead.
  virtual void ReadBody(std::uint8_t* dst, std::size_t n) = 0;
  // Bytes that can still be read before the end of the input as a whole.
  virtual std::uint64_t Available() const = 0;
};

// Everything a code-block needs to know of its band.
struct CodeBlockParams {
  std::int32_t* destination = nullptr;  // first coefficient in the band plane
  std::int32_t step = 0;                // plane row step in bytes
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t orientation = kBandLL;
  std::uint32_t guardBits = 0;
  std::uint32_t rb = 0;         // nominal range: precision + band gain
  std::int32_t epsMinusRb = 0;  // quantisation exponent minus Rb
  std::uint32_t flags = 0;      // decoding flags from the code-block style
  std::uint32_t layers = 0;     // quality layers of the tile
};

class CodeBlock {
 public:
  CodeBlock() = default;
  ~CodeBlock();
  CodeBlock(const CodeBlock&) = delete;
  CodeBlock& operator=(const CodeBlock&) = delete;

  // When the destination rectangle is cleared: now, never (the caller has
  // cleared the whole plane already), or late: just before the block is
  // first decoded into it, or on demand (ClearIfOwed) for a code-block that
  // nothing was decoded into.
  enum class Clearing { kNow, kCleared, kLate };

  // Before any packet: parameters stored, Lblock 3, nothing received, the
  // destination rectangle cleared as `clearing` says.  The decoder state is
  // made at the first inclusion, so code-blocks that no packet includes cost
  // no state.
  void SetUp(const CodeBlockParams& p, BDiagnOutput* output, Clearing clearing = Clearing::kNow);

  // First inclusion, with z missing most significant bit-planes.
  void Begin(std::uint32_t z);
  // A codeword segment announced by the packet header of layer `layer`.
  void AddSegment(std::uint32_t layer, std::uint32_t length, std::uint32_t passes);
  // The body of layer l: consumes this code-block's announced bytes from the
  // input and decodes what can be decoded.
  void DecodeLayers(std::uint32_t l, PacketBodyInput& in);
  // When the tile has no packet left: decodes whatever bytes still wait.
  void Finish();

  // A late-cleared destination that no packet has included still holds
  // whatever the plane held: it stands for zeros, which ClearIfOwed writes.
  bool ClearOwed() const { return clearOwed_; }
  void ClearIfOwed();
  // Zeroes the destination rectangle.
  void ZeroDestination() const;
  // Asks for the destination rectangle to be brought into the cache, for
  // writing, when its clearing waits for a decoding this packet brings:
  // called a code-block ahead, the clearing then finds it there.
  void PrefetchDestination() const;

  bool Included() const { return passesReceived_ != 0; }
  bool Begun() const { return begun_; }
  std::uint32_t PassesReceived() const { return passesReceived_; }
  std::uint32_t ZeroBitPlanes() const { return zeroBitPlanes_; }
  std::uint32_t Lblock() const { return lblock_; }
  void SetLblock(std::uint32_t v) { lblock_ = v; }
  std::uint32_t PendingPasses() const { return pendingSegPasses_; }
  std::uint64_t PendingBytes() const { return pendingSegBytes_; }
  std::size_t PendingSegmentCount() const { return segments_.Count(); }
  std::size_t BufferedBytes() const { return data_.Unread(); }
  std::uint32_t DecodeCount() const { return decodes_; }
  const CodeBlockParams& Params() const { return params_; }
  // Binds the block to its rectangle of the band's coefficients moved
  // elsewhere: `destination` its first coefficient, rows `step` bytes apart.
  void Rebind(std::int32_t* destination, std::int32_t step) {
    params_.destination = destination;
    params_.step = step;
  }
  // Bit-planes given to the decoder at Begin (after clamping).
  std::int32_t BitPlanes() const { return bitPlanes_; }

 private:
  struct Segment {
    std::uint32_t length = 0;
    std::uint32_t passes = 0;
  };
  // The segments of one packet: a packet mostly brings a code-block one or
  // two, kept in place; more go to a list.
  class SegmentList {
   public:
    void PushBack(const Segment& s) {
      if (count_ < kInPlace)
        inPlace_[count_] = s;
      else
        more_.PushBack() = s;
      ++count_;
    }
    void Clear() {
      count_ = 0;
      more_.Clear();
    }
    bool Empty() const { return count_ == 0; }
    std::size_t Count() const { return count_; }
    // fn(segment) for each, in order.
    template <class Fn>
    void ForEach(Fn&& fn) const {
      for (std::size_t i = 0; i < count_ && i < kInPlace; ++i) fn(inPlace_[i]);
      for (auto* n = more_.FirstNode(); n; n = n->next) fn(*n->payload);
    }

   private:
    static constexpr std::size_t kInPlace = 4;
    Segment inPlace_[kInPlace];
    OwnedList<Segment> more_;
    std::size_t count_ = 0;
  };

  void EnsureState();
  // Gives the decoder state back to the thread's cache.
  void ReleaseState();
  // Reads the data buffer into a block one byte longer and empties it.
  void TakeBuffer(OwnedBuffer& block, std::size_t& length);
  void DecodeBlock(const std::uint8_t* bytes, std::size_t length);
  void Check();
  void SetPasses(std::uint32_t passes);
  void ClearSegments();
  // The body of a layer by code-block style: every segment decoded as it is
  // read (terminated passes, or a single layer); bypass segments decoded as
  // each codeword segment ends; otherwise bytes gathered until the last layer.
  void DecodeEachSegment(PacketBodyInput& in);
  void DecodeBypassSegments(PacketBodyInput& in, bool last);
  void BufferUntilLastLayer(PacketBodyInput& in, bool last);
  // Decodes the buffered bytes as `passes` passes, and checks the result.
  void DecodeWaiting(std::uint32_t passes);

  std::uint32_t passesReceived_ = 0;
  std::uint32_t zeroBitPlanes_ = 0;
  DiagnRoute route_;
  PrimCodeBlockDecoderState* state_ = nullptr;  // aligned block, owned
  std::size_t stateBytes_ = 0;
  // The last layer was decoded and its state given back.
  bool done_ = false;
  // Segments of the packet being read: {length, passes}, with their layer and sums.
  SegmentList segments_;
  std::uint32_t segmentLayer_ = 0;
  std::uint64_t pendingSegBytes_ = 0;
  std::uint32_t pendingSegPasses_ = 0;
  std::uint32_t lblock_ = 3;
  CodeBlockParams params_;
  std::int32_t bitPlanes_ = 0;
  SegmentChain data_;
  // Bypass bookkeeping.
  std::uint32_t totalPasses_ = 0;
  std::uint32_t pendingPasses_ = 0;
  std::int32_t lastSegmentEnd_ = -1;
  bool begun_ = false;
  bool clearOwed_ = false;
  std::uint32_t decodes_ = 0;
};

}  // namespace Codec
