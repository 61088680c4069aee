// Code-block decoding driver: feeds the code-block entropy decoder the bytes
// of each layer as packets deliver them.
//
// Three ways, by code-block style and layer count:
//   - every pass terminated, or a single layer: each segment is decoded as
//     soon as its bytes are read;
//   - selective bypass over several layers: bytes collect until a codeword
//     segment is complete (a segment may span layers), then it is decoded;
//   - otherwise: all layers form one segment, decoded at the last layer.
// Bytes that still wait when the tile has no packet left (a truncated
// codestream, or progression records that never deliver the last layer) are
// decoded then, so a code-block keeps what it received.
#include <cstring>

#include "decoder/codestream/coding_params.h"
#include "decoder/tier1/codeblock_driver.h"
#include "primitives/core/memory.h"
#include "primitives/image/image.h"
#include "primitives/jpeg2000/codeblock.h"

namespace Codec {

namespace {
// Pass budget that lets a decode run every pass its bytes hold.
constexpr int kAllPasses = 1024;
constexpr std::uint32_t kKeepDestination = 0x20000;

// The calling thread's buffer for a segment's bytes while they are decoded:
// it grows to the largest segment and is kept, so that decoding a segment
// as it is read takes no allocation.
std::uint8_t* SegmentScratch(std::size_t n) {
  thread_local OwnedBuffer scratch;
  if (scratch.Size() < n) scratch.Reset(n < 4096 ? 4096 : n);
  return scratch.Data();
}
}  // namespace

CodeBlock::~CodeBlock() { ReleaseState(); }

void CodeBlock::ReleaseState() {
  ReturnCachedBlock(state_, stateBytes_);
  state_ = nullptr;
  stateBytes_ = 0;
}

void CodeBlock::SetUp(const CodeBlockParams& p, BDiagnOutput* output, Clearing clearing) {
  params_ = p;
  route_.SetOutput(output);
  // A state sized for another code-block must not be reused.
  ReleaseState();
  done_ = false;
  segments_.Clear();
  pendingSegBytes_ = 0;
  pendingSegPasses_ = 0;
  data_.Clear();
  lblock_ = 3;
  passesReceived_ = 0;
  zeroBitPlanes_ = 0;
  begun_ = false;
  decodes_ = 0;
  clearOwed_ = clearing != Clearing::kCleared;
  if (clearing == Clearing::kNow) ClearIfOwed();
}

void CodeBlock::ClearIfOwed() {
  if (!clearOwed_) return;
  clearOwed_ = false;
  ZeroDestination();
}

void CodeBlock::PrefetchDestination() const {
  if (!clearOwed_ || !begun_ || segments_.Empty() || !params_.destination) return;
  const auto* row = reinterpret_cast<const std::uint8_t*>(params_.destination);
  const std::uintptr_t bytes = std::uintptr_t{params_.width} * 4;
  for (std::uint32_t y = 0; y < params_.height; ++y, row += params_.step) {
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(row);
    for (std::uintptr_t a = start & ~std::uintptr_t{63}; a < start + bytes; a += 64)
      __builtin_prefetch(reinterpret_cast<const void*>(a), 1, 3);
  }
}

void CodeBlock::ZeroDestination() const {
  if (params_.destination && params_.width > 0 && params_.height > 0)
    imgSet_8u_C1R(0, reinterpret_cast<Prim8u*>(params_.destination), params_.step,
                  static_cast<int>(params_.width * 4), static_cast<int>(params_.height));
}

void CodeBlock::EnsureState() {
  if (state_) return;
  const int w = static_cast<int>(params_.width), h = static_cast<int>(params_.height);
  int size = 0;
  if (imgCodeBlockDecoderStateSize_JPEG2000(w, h, &size) != 0 || size <= 0) ThrowFaultMalloc();
  void* p = TakeCachedBlock(static_cast<std::size_t>(size));
  if (!p) ThrowFaultMalloc();
  state_ = static_cast<PrimCodeBlockDecoderState*>(p);
  stateBytes_ = static_cast<std::size_t>(size);
  imgCodeBlockDecoderInit_JPEG2000(state_, w, h);
}

void CodeBlock::Begin(std::uint32_t z) {
  EnsureState();
  zeroBitPlanes_ = z;
  const std::int64_t eps = static_cast<std::int64_t>(params_.epsMinusRb) + params_.rb;
  std::int64_t planes = static_cast<std::int64_t>(params_.guardBits) + eps - 1 - z;
  if (planes > 31) {
    route_.Warn(J2k::Warn_CodeBlockNOfSignificantBitsExceedImplementationLimit());
    planes = 31;
  } else if (planes < 0) {
    route_.Warn(J2k::Warn_CodeBlockNOfSignificantBitsBelowZero());
    planes = 0;
  }
  bitPlanes_ = static_cast<std::int32_t>(planes);
  // An owed clearing waits for the first decoding, rather than being done
  // with the whole plane or here: the rectangle is decoded into right after
  // it, while in the cache, and the packet body can have it fetched ahead
  // (PrefetchDestination).  Until then it reads as zeros.
  (void)imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(
      params_.destination, params_.step, static_cast<int>(params_.width), static_cast<int>(params_.height),
      state_, static_cast<int>(params_.orientation), bitPlanes_, params_.flags | kKeepDestination);
  totalPasses_ = 0;
  pendingPasses_ = 0;
  lastSegmentEnd_ = -1;
  begun_ = true;
}

void CodeBlock::AddSegment(std::uint32_t layer, std::uint32_t length, std::uint32_t passes) {
  if (segments_.Empty()) segmentLayer_ = layer;
  segments_.PushBack({length, passes});
  pendingSegBytes_ += length;
  pendingSegPasses_ += passes;
  passesReceived_ += passes;
}

void CodeBlock::ClearSegments() {
  segments_.Clear();
  pendingSegBytes_ = 0;
  pendingSegPasses_ = 0;
}

void CodeBlock::SetPasses(std::uint32_t passes) {
  const int n = passes > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(passes);
  imgCodeBlockDecodeSetPasses_JPEG2000(n, state_);
}

void CodeBlock::DecodeBlock(const std::uint8_t* bytes, std::size_t length) {
  ClearIfOwed();
  ++decodes_;
  const int n = length > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(length);
  if (imgCodeBlockDecodePasses_JPEG2000(bytes, n, state_) == -112)
    route_.Warn(J2k::Warn_CodeBlockLayerDamage());
}

void CodeBlock::Check() {
  int left = 0;
  imgCodeBlockDecodeGetPasses_JPEG2000(state_, &left);
  if (left != 0) route_.Warn(J2k::Warn_CodeBlockLayerNOfPassesMissmatch());
}

void CodeBlock::TakeBuffer(OwnedBuffer& block, std::size_t& length) {
  length = data_.Unread();
  block.Reset(length + 1);
  data_.ReadBlockExact(block.Data(), length);
  block.Data()[length] = 0xFF;
}

void CodeBlock::DecodeLayers(std::uint32_t l, PacketBodyInput& in) {
  // Segments announced for another layer cannot belong to this body: they
  // were left by a packet whose body was never read.
  if (!segments_.Empty() && segmentLayer_ != l) ClearSegments();
  if (!begun_) {
    ClearSegments();
    return;
  }
  // Nothing is allocated before the announced bytes are known to exist.
  if (pendingSegBytes_ > in.Available()) throw J2k::Except_noDataToRead();
  if (done_) {
    // Packets come once each, layers in order: no bytes follow the last
    // layer's.  Should some all the same, they are read past, as the state
    // that could decode them is gone.
    OwnedBuffer skipped;
    segments_.ForEach([&](const Segment& s) {
      skipped.Reset(s.length);
      if (s.length) in.ReadBody(skipped.Data(), s.length);
    });
    ClearSegments();
    return;
  }
  const std::uint32_t flags = params_.flags;
  const bool last = params_.layers == 0 || l + 1 >= params_.layers;

  const bool bypassLayers = !(flags & kCbTerminateEachPass) && params_.layers > 1 && (flags & kCbBypass);
  if ((flags & kCbTerminateEachPass) || params_.layers <= 1)
    DecodeEachSegment(in);
  else if (bypassLayers)
    DecodeBypassSegments(in, last);
  else
    BufferUntilLastLayer(in, last);
  ClearSegments();
  // After the last layer with nothing left waiting, the decoder state has
  // served: it goes back to the thread's cache for the next code-block, so a
  // tile holds few states at a time instead of one per code-block.
  if (last && pendingPasses_ == 0 && data_.Unread() == 0) {
    ReleaseState();
    done_ = true;
  }
}

void CodeBlock::DecodeEachSegment(PacketBodyInput& in) {
  if (segments_.Empty()) return;
  SetPasses(pendingSegPasses_);
  segments_.ForEach([&](const Segment& s) {
    const std::size_t len = s.length;
    std::uint8_t* bytes = SegmentScratch(len + 1);
    in.ReadBody(bytes, len);
    bytes[len] = 0xFF;
    DecodeBlock(bytes, len);
  });
  Check();
}

void CodeBlock::DecodeBypassSegments(PacketBodyInput& in, bool last) {
  OwnedBuffer block;
  segments_.ForEach([&](const Segment& s) {
    block.Reset(s.length + std::size_t{1});
    in.ReadBody(block.Data(), s.length);
    data_.Append(block.Data(), s.length);
    totalPasses_ += s.passes;
    pendingPasses_ += s.passes;
    const std::uint32_t t = totalPasses_;
    if (s.passes > 0 && t > 9 && t % 3 < 2) {
      // The passes so far end a codeword segment: decode it.
      lastSegmentEnd_ = static_cast<std::int32_t>(t);
      std::size_t len = 0;
      TakeBuffer(block, len);
      imgCodeBlockDecodeSetPasses_JPEG2000(kAllPasses, state_);
      pendingPasses_ = 0;
      DecodeBlock(block.Data(), len);
    }
  });
  if (last && data_.Unread() > 0) DecodeWaiting(pendingPasses_);
}

void CodeBlock::BufferUntilLastLayer(PacketBodyInput& in, bool last) {
  if (pendingSegBytes_ > 0) {
    OwnedBuffer block;
    const std::size_t len = static_cast<std::size_t>(pendingSegBytes_);
    block.Reset(len);
    in.ReadBody(block.Data(), len);
    data_.Append(block.Data(), len);
  }
  pendingPasses_ += pendingSegPasses_;
  if (last) DecodeWaiting(passesReceived_);
}

void CodeBlock::Finish() {
  if (!begun_) return;
  ClearSegments();
  const std::uint32_t flags = params_.flags;
  if ((flags & kCbTerminateEachPass) || params_.layers <= 1) return;  // decoded as read
  if (pendingPasses_ == 0 && data_.Unread() == 0) return;
  // In the bypass way the passes since the last complete segment wait; in
  // the other every pass received waits (nothing was decoded yet).
  DecodeWaiting(pendingPasses_);
}

void CodeBlock::DecodeWaiting(std::uint32_t passes) {
  OwnedBuffer block;
  std::size_t len = 0;
  TakeBuffer(block, len);
  SetPasses(passes);
  pendingPasses_ = 0;
  DecodeBlock(block.Data(), len);
  Check();
}

}  // namespace Codec
