// The irreversible 9/7 synthesis in Q16 fixed point where the decoder works
// it out itself: near the ends of rows and columns, and signals of two and
// three samples.  (The interior runs in the row and column primitives.)
//
// Samples are 16-bit (with 4 fractional bits on this path); every constant is
// its real value times 2^16 (the lifting constants those of
// transform_constants.h).  Here every product is rounded on its own,
// R(p) = (p + 2^15) >> 16 on 64 bits, before it is added or subtracted, and
// every result saturates to 16 bits; the primitives round the difference of
// the two products of the first two steps once instead.  A neighbour outside
// the signal is the mirror image of the one inside: the sum of the two
// becomes the one times the doubled constant, which for the first two steps
// is rounded from the real value, not twice the single one.
#pragma once

#include <cstdint>

#include "primitives/jpeg2000/transform_constants.h"

namespace Codec::Q16 {

using namespace prim::j2k;

inline constexpr std::int64_t kHalf = 32768;
inline constexpr std::int64_t kQuarter = 16384;
// Signals of three samples: the whole synthesis folded into one factor.
inline constexpr std::int64_t kThreeLow = -7542;    // starting on a low sample
inline constexpr std::int64_t kThreeHigh = -10253;  // starting on a high sample

inline std::int64_t R(std::int64_t p) { return (p + 32768) >> 16; }
inline std::int16_t Sat(std::int64_t v) {
  return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}
// The vector primitives' saturating sum and difference.
inline std::int32_t SatSum(std::int32_t a, std::int32_t b) { return Sat(std::int64_t{a} + b); }
inline std::int32_t SatDiff(std::int32_t a, std::int32_t b) { return Sat(std::int64_t{a} - b); }

// Lifting step S (0: K and delta, 1: 1/K and gamma, 2: beta, 3: alpha) of x
// between neighbours a and b, and with the mirrored neighbour a.
template <int S>
inline std::int16_t Step(std::int16_t x, std::int16_t a, std::int16_t b) {
  const std::int64_t sum = std::int64_t{a} + b;
  if constexpr (S == 0)
    return Sat(R(kLiftQ16K * x) - R(kLiftQ16DeltaByK * sum));
  else if constexpr (S == 1)
    return Sat(R(kLiftQ16InvK * x) - R(kLiftQ16Gamma * sum));
  else if constexpr (S == 2)
    return Sat(x - R(kLiftQ16Beta * sum));
  else
    return Sat(x - R(kLiftQ16Alpha * sum));
}
template <int S>
inline std::int16_t Mirrored(std::int16_t x, std::int16_t a) {
  if constexpr (S == 0)
    return Sat(R(kLiftQ16K * x) - R(kLiftQ16DeltaByKMirror * a));
  else if constexpr (S == 1)
    return Sat(R(kLiftQ16InvK * x) - R(kLiftQ16GammaMirror * a));
  else
    return Step<S>(x, a, a);  // 2 beta and 2 alpha are exact
}

// A row of two or three samples from its low samples L and high samples H,
// starting on a low sample (phase 0) or a high one.
inline void Row2(const std::int16_t* L, const std::int16_t* H, std::uint32_t phase, std::int16_t* X) {
  const std::int16_t e = Sat(std::int32_t{L[0]} - (H[0] >> 1));
  const std::int16_t o = Sat(std::int32_t{H[0]} + e);
  X[phase] = e;
  X[1 - phase] = o;
}
inline void Row3(const std::int16_t* L, const std::int16_t* H, std::uint32_t phase, std::int16_t* X) {
  if (phase == 0) {
    const std::int32_t t = H[0] >> 1;
    const std::int64_t u = R(kThreeLow * (std::int32_t{L[1]} - L[0]));
    X[0] = Sat(std::int64_t{L[0]} - t + u);
    X[2] = Sat(std::int64_t{L[1]} - u - t);
    X[1] = Sat(((std::int32_t{L[0]} + L[1]) >> 1) + t);
  } else {
    const std::int32_t d = std::int32_t{H[1]} - H[0];
    X[0] = Sat((H[0] >> 1) + std::int64_t{L[0]} + R(kThreeHigh * d));
    X[2] = Sat(std::int64_t{X[0]} + R(kLiftQ16InvK * d));
    X[1] = Sat(std::int32_t{L[0]} - ((std::int32_t{H[0]} + H[1]) >> 2));
  }
}

// A column of two or three rows in place (rows r[0] .. r[n - 1] of w
// samples, as the bands gave them: low rows at the phase's parity), the sums
// and differences saturating as the vector primitives do.  Halves round:
// (x + 1) >> 1.
inline void Column2(std::int16_t* const* r, std::uint32_t phase, std::uint32_t w) {
  std::int16_t* lo = r[phase];
  std::int16_t* hi = r[1 - phase];
  for (std::uint32_t i = 0; i < w; ++i) {
    const std::int16_t e = static_cast<std::int16_t>(SatDiff(lo[i], Sat(R(kHalf * hi[i]))));
    hi[i] = static_cast<std::int16_t>(SatSum(hi[i], e));
    lo[i] = e;
  }
}
inline void Column3(std::int16_t* const* r, std::uint32_t phase, std::uint32_t w) {
  for (std::uint32_t i = 0; i < w; ++i) {
    if (phase == 0) {
      const std::int32_t l0 = r[0][i], h0 = r[1][i], l1 = r[2][i];
      const std::int32_t t = Sat(R(kHalf * h0));
      const std::int32_t u = Sat(R(kThreeLow * SatDiff(l1, l0)));
      r[0][i] = static_cast<std::int16_t>(SatDiff(SatSum(l0, u), t));
      r[2][i] = static_cast<std::int16_t>(SatDiff(l1, SatSum(u, t)));
      r[1][i] = static_cast<std::int16_t>(SatSum(t, Sat(R(kHalf * SatSum(l0, l1)))));
    } else {
      const std::int32_t h0 = r[0][i], l0 = r[1][i], h1 = r[2][i];
      const std::int32_t d = SatDiff(h1, h0);
      const std::int32_t x0 = SatSum(l0, SatSum(Sat(R(kThreeHigh * d)), Sat(R(kHalf * h0))));
      r[0][i] = static_cast<std::int16_t>(x0);
      r[2][i] = static_cast<std::int16_t>(SatSum(x0, Sat(R(kLiftQ16InvK * d))));
      r[1][i] = static_cast<std::int16_t>(SatDiff(l0, Sat(R(kQuarter * SatSum(h0, h1)))));
    }
  }
}

}  // namespace Codec::Q16
