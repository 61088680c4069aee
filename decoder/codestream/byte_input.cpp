// Block segment chain of the byte input.
#include "decoder/codestream/byte_input.h"

#include <cstring>

namespace Codec {

void SegmentChain::Append(const std::uint8_t* src, std::size_t n) {
  while (n > 0) {
    Block* last = blocks_.Last();
    if (!last || last->write == kBlockSize) last = &blocks_.PushBack();
    const std::size_t room = kBlockSize - last->write;
    const std::size_t take = n < room ? n : room;
    std::memcpy(last->bytes + last->write, src, take);
    last->write += static_cast<std::uint32_t>(take);
    src += take;
    n -= take;
    unread_ += take;
  }
}

std::size_t SegmentChain::ReadBlock(std::uint8_t* dst, std::size_t n) {
  std::size_t copied = 0;
  while (copied < n) {
    Block* first = blocks_.First();
    if (!first) break;
    const std::size_t avail = first->write - first->read;
    if (avail == 0) {
      if (blocks_.Count() == 1) break;
      blocks_.PopFront();
      continue;
    }
    const std::size_t want = n - copied;
    const std::size_t take = want < avail ? want : avail;
    std::memcpy(dst + copied, first->bytes + first->read, take);
    first->read += static_cast<std::uint32_t>(take);
    copied += take;
  }
  unread_ -= copied;
  return copied;
}

void SegmentChain::ReadBlockExact(std::uint8_t* dst, std::size_t n) {
  if (ReadBlock(dst, n) < n) throw J2k::Except_noDataToRead();
}

}  // namespace Codec
