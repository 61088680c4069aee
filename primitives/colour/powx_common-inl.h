// Scalar part of the power primitive shared by every build: the
// classification of the exponent, the special-value table, the general path
// (double-double logarithm and exponential) and the floating-point
// environment guard.  Included by each build's source; everything lives in
// that build's namespace.
#pragma once

#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "primitives/colour/powx_builds.h"
#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::powx {

struct PowxPair {
  double hi, lo;
};
struct PowxPairF {
  float hi, lo;
};

#include "primitives/colour/powx_tables.inc"

inline std::uint32_t floatBits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
inline float bitsFloat(std::uint32_t u) {
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
inline std::uint64_t doubleBits(double d) {
  std::uint64_t u;
  std::memcpy(&u, &d, 8);
  return u;
}
inline double bitsDouble(std::uint64_t u) {
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}

constexpr std::uint32_t kDefaultNaN = 0xffc00000u;  // 0/0
constexpr int kDomainWarning = primResultDomainWarning;

// Runs the kernels with round to nearest, every exception masked and no
// flush-to-zero; the caller's MXCSR (control bits and flags) comes back
// exactly on return.
class FpEnvironmentGuard {
 public:
  FpEnvironmentGuard() : saved_(_mm_getcsr()) { _mm_setcsr(0x1f80u); }
  ~FpEnvironmentGuard() { _mm_setcsr(saved_); }
  FpEnvironmentGuard(const FpEnvironmentGuard&) = delete;
  FpEnvironmentGuard& operator=(const FpEnvironmentGuard&) = delete;

 private:
  unsigned saved_;
};

enum class ValKind { NotInteger, Even, Odd };

// 0 and every magnitude of 2^24 or more count as even; infinities and NaN
// are not integers.
inline ValKind classify(float val) {
  if (!std::isfinite(val)) return ValKind::NotInteger;
  const float a = std::fabs(val);
  if (a == 0.0f || a >= 16777216.0f) return ValKind::Even;
  if (std::trunc(a) != a) return ValKind::NotInteger;
  return (static_cast<std::int32_t>(a) & 1) ? ValKind::Odd : ValKind::Even;
}

// Dekker's exact product a x b = p + e.
inline void split(double x, double& hi, double& lo) {
  const double c = 134217729.0 * x;
  hi = c - (c - x);
  lo = x - hi;
}
inline void twoProduct(double a, double b, double& p, double& e) {
  p = a * b;
  double ah, al, bh, bl;
  split(a, ah, al);
  split(b, bh, bl);
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// |x|^val for a finite positive a != 1 given as a double: log2(a) as a
// double-double from three table reductions and a short polynomial, the
// product with val split exactly, then 2^(N/128) x (1 + q) scaled into the
// exponent field.  The double result is rounded to float by the caller.
inline double generalPath(double a, float val) {
  constexpr double K = 1.442694902420044;
  constexpr double c1 = 9.597935033233503e-08, c2 = -0.3465736568077919, c3 = 0.16015105075870564,
                   c4 = -0.08325619496470027;
  constexpr double d1 = 0.6931471805599453, d2 = 0.24022650695910072, d3 = 0.05550410866482158,
                   d4 = 0.009618129107628477, d5 = 0.0013333558146428443;
  constexpr double shifter = 52776558133248.0;  // 1.5 x 2^45

  // 1-3: reduction of the mantissa by three reciprocal tables.
  const std::uint64_t b = doubleBits(a);
  const int e = static_cast<int>((b >> 52) & 0x7ff) - 1023;
  const std::uint64_t frac = b & ((std::uint64_t{1} << 52) - 1);
  const double m = bitsDouble(frac | (std::uint64_t{1023} << 52));
  const int j1 = static_cast<int>(((frac >> 46) + 1) >> 1);
  const int k = j1 >= 16 ? e + 1 : e;
  const double m1 = m * kT1[j1];
  const int j2 = static_cast<int>((((doubleBits(m1) >> 42) & 63) + 1) >> 1);
  const double m2 = m1 * kT2[j2];
  const int j3 = static_cast<int>((((doubleBits(m2) >> 36) & 255) + 1) >> 1);
  const double t = m2 * kT3[j3];

  // 4: v = t - K exactly; vlo = the chain's rounding error against R x m.
  const double v = t - K;
  double rh, rl, pm, pe;
  twoProduct(kT1[j1] * kT2[j2], kT3[j3], rh, rl);
  twoProduct(m, rh, pm, pe);
  const double vlo = ((pm - t) + pe) + m * rl;

  // 5: log2(a) = hi + lo.
  const double hsum = static_cast<double>(k) + kL1[j1].hi + kL2[j2].hi + kL3[j3].hi;
  const double hi = hsum + v;
  const double bv = hi - hsum;
  const double sumErr = (hsum - (hi - bv)) + (v - bv);
  const double w = v + vlo;
  const double p = w * (c1 + w * (c2 + w * (c3 + w * c4)));
  const double lo = sumErr + vlo + kL1[j1].lo + kL2[j2].lo + kL3[j3].lo + p;

  // 6: results decided by the magnitude of val x log2(a) alone.
  const double dval = static_cast<double>(val);
  const int S =
      static_cast<int>((doubleBits(hi) >> 52) & 0x7ff) + static_cast<int>((doubleBits(dval) >> 52) & 0x7ff);
  if (S >= 2057) return (hi > 0) == (dval > 0) ? HUGE_VAL : 0.0;
  if (S <= 1984) return 1.0;

  // 7: val x log2(a) = N/128 + r.
  const double s = hi + lo;
  const double sigma = (hi - s) + lo;
  double sh, sl, vh, vl;
  split(s, sh, sl);
  split(dval, vh, vl);
  const double P = vh * sh;
  const double rounded = (P + shifter) - shifter;
  const std::int64_t N = static_cast<std::int64_t>(rounded * 128.0);
  const double r = (P - rounded) + dval * sigma + vh * sl + vl * sh + vl * sl;

  // 8-9: 2^r - 1 by a polynomial, 2^(j/128) from the table, exact scaling.
  const int j = static_cast<int>(N & 127);
  const std::int64_t n = N >> 7;
  const double q = r * (d1 + r * (d2 + r * (d3 + r * (d4 + r * d5))));
  const double z = kE[j].hi + (q * kE[j].hi + kE[j].lo);
  const std::uint64_t zb = doubleBits(z);
  const std::int64_t u = static_cast<std::int64_t>((zb >> 52) & 0x7ff) - 1023 + n;
  if (u >= 1024) return HUGE_VAL;
  if (u >= -1022)
    return bitsDouble((zb & ~(std::uint64_t{0x7ff} << 52)) | (static_cast<std::uint64_t>(u + 1023) << 52));
  return 0.0;
}

// One element by the special-value table; `reported` is set for the two
// reported cases (zero to a negative power, negative base to a non-integer).
inline float powElement(float x, float val, ValKind kind, bool& reported) {
  reported = false;
  const bool odd = kind == ValKind::Odd;
  const float inf = HUGE_VALF;
  if (x == 1.0f || val == 0.0f) return 1.0f;
  if (std::isnan(x)) return bitsFloat(floatBits(x) | 0x00400000u);
  if (std::isnan(val)) return bitsFloat(floatBits(val) | 0x00400000u);
  const bool negative = std::signbit(x);
  if (x == 0.0f) {
    if (val < 0.0f) {
      reported = true;
      return negative && odd ? -inf : inf;
    }
    return negative && odd ? -0.0f : 0.0f;
  }
  if (x == -1.0f && (kind != ValKind::NotInteger || std::isinf(val))) return odd ? -1.0f : 1.0f;
  const float ax = std::fabs(x);
  if (std::isinf(val) && ax < 1.0f) return val < 0.0f ? inf : 0.0f;
  if (std::isinf(x) || (std::isinf(val) && ax > 1.0f)) {
    const bool negResult = x == -inf && odd;
    if (val < 0.0f) return negResult ? -0.0f : 0.0f;
    return negResult ? -inf : inf;
  }
  if (negative && kind == ValKind::NotInteger) {
    reported = true;
    return bitsFloat(kDefaultNaN);
  }
  const double r = generalPath(static_cast<double>(ax), val);
  return static_cast<float>(negative && odd ? -r : r);
}

// Elements [begin, end) one at a time; returns true when any was reported.
inline bool scalarRange(const float* src, float val, float* dst, int begin, int end, ValKind kind) {
  bool any = false;
  for (int i = begin; i < end; ++i) {
    bool reported;
    const float x = src[i];
    dst[i] = powElement(x, val, kind, reported);
    if (reported) {
      any = true;
      ownMathErrorHook(kDomainWarning, i, src, src, dst, dst, "vsPowx");
    }
  }
  return any;
}

// dst = src x src, the exact product rounded once.
inline void squareRange(const float* src, float* dst, int len) {
  for (int i = 0; i < len; ++i) dst[i] = src[i] * src[i];
}

__attribute__((noinline)) inline void squareRangeOutOfLine(const float* src, float* dst, int len) {
  squareRange(src, dst, len);
}

// True for a positive normal finite float (the inputs the vector paths take).
inline bool positiveNormal(float x) {
  const std::uint32_t u = floatBits(x);
  return u >= 0x00800000u && u < 0x7f800000u;
}

}  // namespace prim::PRIM_GEN_NS::powx
