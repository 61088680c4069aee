// Tag trees: the packet headers' code of code-block inclusion and of missing
// most significant bit-planes, one tree per precinct part and quantity.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/holders.h"

namespace Codec {

class TagTree {
 public:
  struct Node {
    Node* parent = nullptr;
    std::uint32_t value = 0x7FFFFFFF;  // not decoded yet
    std::uint32_t lowerBound = 0;
  };

  TagTree() = default;
  TagTree(const TagTree&) = delete;
  TagTree& operator=(const TagTree&) = delete;

  // A tree over a width x height grid of leaves; 0 x anything has no nodes.
  void Build(std::uint32_t width, std::uint32_t height);

  // True when the value of leaf `leaf` (raster index) is below threshold t,
  // reading as many bits as that takes.  BitIn has ReadBit().
  template <class BitIn>
  bool Decode(BitIn& bits, std::size_t leaf, std::uint32_t t);

  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  std::size_t NodeCount() const { return nodes_.Count(); }
  const Node& NodeAt(std::size_t i) const { return nodes_[i]; }

  // Levels above the leaves never exceed this (grids are below 2^32 per axis).
  static constexpr int kMaxDepth = 34;

 private:
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  OwnedArray<Node> nodes_;
};

template <class BitIn>
bool TagTree::Decode(BitIn& bits, std::size_t leaf, std::uint32_t t) {
  Node* path[kMaxDepth + 1];
  int depth = 0;
  for (Node* n = &nodes_[leaf]; n && depth <= kMaxDepth; n = n->parent) path[depth++] = n;
  std::uint32_t b = 0;
  while (depth > 0) {
    Node* n = path[--depth];
    if (b > n->lowerBound)
      n->lowerBound = b;
    else
      b = n->lowerBound;
    while (b < t && b < n->value) {
      if (bits.ReadBit())
        n->value = b;
      else
        ++b;
    }
    n->lowerBound = b;
  }
  return nodes_[leaf].value < t;
}

}  // namespace Codec
