// Tag trees: the node records of a tree over a grid of leaves.
#include "decoder/tier2/tag_tree.h"

namespace Codec {

void TagTree::Build(std::uint32_t width, std::uint32_t height) {
  width_ = width;
  height_ = height;
  nodes_.Reset();
  if (width == 0 || height == 0) return;
  std::uint64_t count = 0;
  std::uint64_t w = width, h = height;
  for (;;) {
    count += w * h;
    if (w == 1 && h == 1) break;
    w = (w + 1) >> 1;
    h = (h + 1) >> 1;
  }
  if (count > 0x7FFFFFFFu) ThrowFaultMalloc();
  nodes_.Reset(static_cast<std::size_t>(count));
  std::size_t levelStart = 0;
  w = width;
  h = height;
  while (!(w == 1 && h == 1)) {
    const std::uint64_t pw = (w + 1) >> 1;
    const std::size_t parentStart = levelStart + static_cast<std::size_t>(w * h);
    for (std::uint64_t y = 0; y < h; ++y)
      for (std::uint64_t x = 0; x < w; ++x)
        nodes_[levelStart + static_cast<std::size_t>(y * w + x)].parent =
            &nodes_[parentStart + static_cast<std::size_t>((y >> 1) * pw + (x >> 1))];
    levelStart = parentStart;
    w = pw;
    h = (h + 1) >> 1;
  }
}

}  // namespace Codec
