// Out-of-line parts of the owning holders and the plane allocator.
#include "decoder/holders.h"

#include <climits>
#include <cstdlib>

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

void SubbandPlane::Free() {
  primAlignedFree(data);
  data = nullptr;
  step = 0;
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
  void* p = primAlignedMalloc(static_cast<int>(total));
  if (!p) ThrowFaultMalloc();
  data = p;
  step = static_cast<std::int32_t>(row);
}

}  // namespace Codec
