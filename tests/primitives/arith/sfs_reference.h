// An independent statement of the scale-factor rule for the tests: exact
// 128-bit arithmetic, rounding decided by comparing twice the remainder with
// the divisor (ties to the even quotient), saturation last.
#pragma once

#include <cstdint>
#include <limits>

namespace sfsref {

using i128 = __int128;

// r * 2^-sf rounded half to even (sf > 0) or exact (sf <= 0), with any
// magnitude above 2^100 standing for "beyond every element range".
inline i128 scaled(std::int64_t r, std::int64_t sf) {
  const i128 big = i128{1} << 100;
  if (sf == 0) return r;
  if (sf < 0) {
    if (r == 0) return 0;
    if (-sf >= 60) return r > 0 ? big : -big;
    return i128{r} * (i128{1} << -sf);
  }
  if (sf >= 100) return 0;  // |r| < 2^64 is far below half the divisor
  const i128 den = i128{1} << sf;
  i128 q = i128{r} / den;  // truncates toward zero
  i128 rem = i128{r} - q * den;
  if (rem < 0) {  // make it the floor quotient, 0 <= rem < den
    q -= 1;
    rem += den;
  }
  const i128 twice = 2 * rem;
  if (twice > den || (twice == den && (q & 1) != 0)) q += 1;
  return q;
}

template <class T>
T apply(std::int64_t r, std::int64_t sf) {
  const i128 v = scaled(r, sf);
  if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
  if (v < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
  return static_cast<T>(v);
}

}  // namespace sfsref
