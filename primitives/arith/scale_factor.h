// The scale-factor rule of the integer "Sfs" primitives, in scalar form.
//
// The exact intermediate r of an operation is multiplied by 2^-sf: for sf > 0
// rounded to nearest with ties to even, for sf < 0 shifted left, then
// saturated to the element type.  Every build's scalar code and the tests use
// these functions; SIMD kernels reproduce them lane by lane.
#pragma once

#include <cstdint>
#include <limits>

#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::sfs {

template <class T>
constexpr T saturate(std::int64_t v) {
  if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
  if (v < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
  return static_cast<T>(v);
}

// r * 2^-sf rounded half to even (sf > 0) or shifted left (sf < 0), without
// saturation.  |r| must be below 2^33, which covers every Sfs intermediate.
constexpr std::int64_t scaleRounded(std::int64_t r, std::int32_t sf) {
  if (sf == 0) return r;
  if (sf > 0) {
    if (sf > 40) return 0;  // |r| <= 2^(sf-1): rounds to 0 (a tie goes to even 0)
    const std::int64_t half = (std::int64_t{1} << (sf - 1)) - 1;
    return (r + half + ((r >> sf) & 1)) >> sf;
  }
  if (sf < -30) {
    // Every non-zero r passes the bound of its sign.
    return r > 0 ? std::int64_t{1} << 40 : (r < 0 ? -(std::int64_t{1} << 40) : 0);
  }
  return r * (std::int64_t{1} << -sf);
}

// The whole rule for one element of type T.
template <class T>
constexpr T apply(std::int64_t r, std::int32_t sf) {
  return saturate<T>(scaleRounded(r, sf));
}

}  // namespace prim::PRIM_GEN_NS::sfs
