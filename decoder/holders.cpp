// Out-of-line parts of the owning holders and the plane allocator.
#include "decoder/holders.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/system.h"
#include "primitives/core/memory.h"

namespace Codec {

void ThrowFaultMalloc() { throw J2k::Except_faultMalloc(); }

void OwnedBuffer::Reset(std::size_t n) {
  std::free(p_);
  p_ = nullptr;
  size_ = 0;
  if (n == 0) return;
  p_ = static_cast<std::uint8_t*>(std::malloc(n));
  if (!p_) ThrowFaultMalloc();
  size_ = n;
}

namespace {

// Set once the thread's caches are gone: blocks freed later (by objects the
// thread destroys after them) go straight back to the allocator.
thread_local bool tBlockCachesGone = false;

// Blocks a thread gave back, kept for its next blocks of the same size:
// those from minBytes to the bound on the total, at most kMaxBlocks of them.
class BlockCache {
 public:
  BlockCache(std::size_t minBytes, std::size_t maxBytes) : minBytes_(minBytes), maxBytes_(maxBytes) {}
  ~BlockCache() {
    for (std::size_t i = 0; i < count_; ++i) primAlignedFree(blocks_[i].data);
    count_ = 0;
    tBlockCachesGone = true;
  }
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;

  // A kept block of exactly `bytes`, or null.
  void* Take(std::size_t bytes) {
    for (std::size_t i = count_; i-- > 0;) {
      if (blocks_[i].bytes != bytes) continue;
      void* p = blocks_[i].data;
      total_ -= bytes;
      for (std::size_t k = i + 1; k < count_; ++k) blocks_[k - 1] = blocks_[k];
      --count_;
      return p;
    }
    return nullptr;
  }

  // Keeps the block when its size is within the bounds, evicting the oldest
  // kept ones to stay within them; otherwise frees it.
  void Keep(void* p, std::size_t bytes) {
    if (bytes < minBytes_ || bytes > maxBytes_) {
      primAlignedFree(p);
      return;
    }
    while (count_ == kMaxBlocks || total_ + bytes > maxBytes_) {
      primAlignedFree(blocks_[0].data);
      total_ -= blocks_[0].bytes;
      for (std::size_t k = 1; k < count_; ++k) blocks_[k - 1] = blocks_[k];
      --count_;
    }
    blocks_[count_++] = {p, bytes};
    total_ += bytes;
  }

 private:
  static constexpr std::size_t kMaxBlocks = 96;
  struct Block {
    void* data;
    std::size_t bytes;
  };
  std::size_t minBytes_;
  std::size_t maxBytes_;
  Block blocks_[kMaxBlocks] = {};
  std::size_t count_ = 0;
  std::size_t total_ = 0;
};

// Planes: large blocks, up to 160 MB of them.
constexpr std::size_t kCachedPlaneBytes = std::size_t{64} << 10;
thread_local BlockCache tPlaneCache(kCachedPlaneBytes, std::size_t{160} << 20);
// Small blocks (code-block decoder states): up to 256 KB of them.
thread_local BlockCache tSmallCache(0, std::size_t{256} << 10);

}  // namespace

void* TakeCachedBlock(std::size_t bytes) {
  if (bytes == 0 || bytes > static_cast<std::size_t>(INT_MAX)) return nullptr;
  void* p = tBlockCachesGone ? nullptr : tSmallCache.Take(bytes);
  return p ? p : primAlignedMalloc(static_cast<int>(bytes));
}

void ReturnCachedBlock(void* p, std::size_t bytes) {
  if (!p) return;
  if (tBlockCachesGone)
    primAlignedFree(p);
  else
    tSmallCache.Keep(p, bytes);
}

void SubbandPlane::Free() {
  if (data && bytes_) {
    if (tBlockCachesGone)
      primAlignedFree(data);
    else
      tPlaneCache.Keep(data, bytes_);
  }
  data = nullptr;
  step = 0;
  bytes_ = 0;
}

void SubbandPlane::AllocPlaneOrThrow(std::uint32_t w, std::uint32_t h, std::uint32_t bytesPerSample) {
  Free();
  width = w;
  height = h;
  if (w == 0 || h == 0) return;
  // Rows are padded to 64 bytes; the whole plane must fit one aligned block,
  // whose size the allocator takes as an int.
  const std::uint64_t row = (static_cast<std::uint64_t>(w) * bytesPerSample + 63) & ~std::uint64_t{63};
  if (bytesPerSample == 0 || row > static_cast<std::uint64_t>(INT_MAX)) ThrowFaultMalloc();
  const std::uint64_t total = row * h;
  if (total > static_cast<std::uint64_t>(INT_MAX)) ThrowFaultMalloc();
  void* p = tBlockCachesGone ? nullptr : tPlaneCache.Take(static_cast<std::size_t>(total));
  if (!p) {
    p = primAlignedMalloc(static_cast<int>(total));
    if (!p) ThrowFaultMalloc();
    platformAdviseLargePages(p, static_cast<std::size_t>(total));
    // A plane the cache will keep is supplied whole now: it is written whole
    // (cleared or synthesised) anyway, and this is its only supply.
    if (total >= kCachedPlaneBytes) platformPrefault(p, static_cast<std::size_t>(total));
  }
  data = p;
  step = static_cast<std::int32_t>(row);
  bytes_ = static_cast<std::size_t>(total);
}

void SubbandPlane::View(void* at, std::int32_t rowStep, std::uint32_t w, std::uint32_t h) {
  Free();
  width = w;
  height = h;
  if (w == 0 || h == 0 || !at) return;
  data = at;
  step = rowStep;
}

void SubbandPlane::TakeOwnCopy(std::uint32_t bytesPerSample) {
  if (!IsView()) return;
  const auto* from = static_cast<const std::uint8_t*>(data);
  const std::int32_t fromStep = step;
  data = nullptr;  // the view is let go, its memory untouched
  AllocPlaneOrThrow(width, height, bytesPerSample);
  for (std::uint32_t y = 0; y < height; ++y)
    std::memcpy(static_cast<std::uint8_t*>(data) + std::size_t{y} * step,
                from + static_cast<std::ptrdiff_t>(y) * fromStep, std::size_t{width} * bytesPerSample);
}

}  // namespace Codec
