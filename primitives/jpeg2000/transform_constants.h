// The constants of the irreversible transforms of JPEG 2000, written once for
// the primitives and the decoder: the 9/7 lifting steps (in single precision
// and in Q16 fixed point) and the inverse irreversible component transform
// (in single precision and in Q14).
//
// The inverse 9/7 lifting runs four steps, each on one half of a row or
// column, with its two neighbours a and b in the other half:
//   step 0 (low samples)   x' = K x - (delta/K) (a + b)
//   step 1 (high samples)  x' = (1/K) x - gamma (a + b)
//   step 2 (low samples)   x' = x - beta (a + b)
//   step 3 (high samples)  x' = x - alpha (a + b)
// (the scaling by K and 1/K is folded into the first two steps).
//
// The values are constants with internal linkage, so that no build's object
// shares a symbol with another's.
#pragma once

#include <cstdint>

namespace prim::j2k {

// ---------------------------------------------------------------------------
// 9/7 lifting, single precision.

constexpr float kLiftK = 1.2301741f;          // K, the scale of the low samples
constexpr float kLiftInvK = 0.8128931f;       // 1/K, the scale of the high samples
constexpr float kLiftDeltaByK = 0.36052364f;  // delta/K: delta on high samples before their 1/K
constexpr float kLiftGamma = 0.8829111f;      // gamma
constexpr float kLiftBeta = -0.052980117f;    // beta
constexpr float kLiftAlpha = -1.5861343f;     // alpha

// ---------------------------------------------------------------------------
// 9/7 lifting in Q16: each the real value times 2^16 (kQ16One), rounded to
// the nearest integer.  Products are formed in 64 bits.

constexpr std::int64_t kQ16One = 65536;
constexpr std::int64_t kLiftQ16K = 80621;
constexpr std::int64_t kLiftQ16InvK = 53274;
constexpr std::int64_t kLiftQ16DeltaByK = 23627;
constexpr std::int64_t kLiftQ16Gamma = 57862;
constexpr std::int64_t kLiftQ16Beta = -3472;
constexpr std::int64_t kLiftQ16Alpha = -103949;
// Where a neighbour outside the signal mirrors the one inside, the two
// become one sample times the doubled constant; for delta/K and gamma the
// doubled real value rounds to these, not to twice the single constants.
// (Twice beta and twice alpha round to twice their Q16 forms.)
constexpr std::int64_t kLiftQ16DeltaByKMirror = 47255;
constexpr std::int64_t kLiftQ16GammaMirror = 115725;

// ---------------------------------------------------------------------------
// Inverse irreversible component transform:
//   R = Y + 1.402 Cr
//   G = Y - 0.34413 Cb - 0.71414 Cr
//   B = Y + 1.772 Cb

constexpr float kIctCrToR = 1.402f;
constexpr float kIctCbToG = 0.34413f;
constexpr float kIctCrToG = 0.71414f;
constexpr float kIctCbToB = 1.772f;

// The same in Q14, each the real value times 2^14 rounded to the nearest
// integer (16-bit samples).
constexpr int kIctQ14Half = 8192;  // the rounding half of a Q14 product
constexpr int kIctQ14CrToR = 22970;
constexpr int kIctQ14CbToG = 5638;
constexpr int kIctQ14CrToG = 11700;
constexpr int kIctQ14CbToB = 29032;

}  // namespace prim::j2k
