// Scalar rules of the conversion and shift primitives, shared by every build:
// the px build is made of them, the SIMD builds use them for single elements
// their vectors do not cover and for the cases their vector paths leave out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::convert {

inline std::uintptr_t addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Element i of an array that need not be aligned to its element size.
template <class T>
inline T ld(const T* p, std::size_t i) {
  T v;
  std::memcpy(&v, p + i, sizeof(T));
  return v;
}
template <class T>
inline void st(T* p, std::size_t i, T v) {
  std::memcpy(p + i, &v, sizeof(T));
}

// ---------------------------------------------------------------------------
// The SSE control and status register of the calling thread.  The accesses
// are compiler barriers for memory, so no load of the data being converted
// moves above the setting and no store below the restore.
inline std::uint32_t readMxcsr() {
  std::uint32_t v;
  asm volatile("stmxcsr %0" : "=m"(v) : : "memory");
  return v;
}
inline void writeMxcsr(std::uint32_t v) { asm volatile("ldmxcsr %0" : : "m"(v) : "memory"); }

// The settings the float-to-integer conversions compute under: every
// exception masked, denormals-are-zero and flush-to-zero off, flags clear;
// round to nearest, or toward zero for the half-away vector kernels.
inline constexpr std::uint32_t kMxcsrNearest = 0x1f80;
inline constexpr std::uint32_t kMxcsrTowardZero = 0x7f80;

// Switches to one of those settings for the life of the object (only when the
// register differs) and then gives the caller back its register exactly,
// controls and flags, whatever the conversion raised.
class MxcsrScope {
 public:
  explicit MxcsrScope(std::uint32_t setting) : saved_(readMxcsr()) {
    if (saved_ != setting) writeMxcsr(setting);
  }
  ~MxcsrScope() {
    if (readMxcsr() != saved_) writeMxcsr(saved_);
  }
  MxcsrScope(const MxcsrScope&) = delete;
  MxcsrScope& operator=(const MxcsrScope&) = delete;

 private:
  std::uint32_t saved_;
};

// Computes under the caller's settings and gives the register back as it was,
// dropping the flags the call raised (the inexact flag of a rounding
// int-to-float conversion).
class MxcsrKeep {
 public:
  MxcsrKeep() : saved_(readMxcsr()) {}
  ~MxcsrKeep() {
    if (readMxcsr() != saved_) writeMxcsr(saved_);
  }
  MxcsrKeep(const MxcsrKeep&) = delete;
  MxcsrKeep& operator=(const MxcsrKeep&) = delete;

 private:
  std::uint32_t saved_;
};

// ---------------------------------------------------------------------------
// Scale multipliers 2^-sf, built from the exponent field: exact wherever the
// format can hold the power (subnormals included), 0 below that, +infinity
// above.  No arithmetic is involved, so no control setting matters.
inline float pow2NegFloat(std::int32_t sf) {
  const std::int64_t e = 127 - std::int64_t{sf};  // biased exponent
  std::uint32_t bits = 0;
  if (e >= 255)
    bits = 0x7f800000u;
  else if (e >= 1)
    bits = static_cast<std::uint32_t>(e) << 23;
  else if (e >= -22)
    bits = std::uint32_t{1} << (e + 22);  // 2^-127 .. 2^-149
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

inline double pow2NegDouble(std::int32_t sf) {
  const std::int64_t e = 1023 - std::int64_t{sf};
  std::uint64_t bits = 0;
  if (e >= 2047)
    bits = 0x7ff0000000000000ull;
  else if (e >= 1)
    bits = static_cast<std::uint64_t>(e) << 52;
  else if (e >= -51)
    bits = std::uint64_t{1} << (e + 51);  // 2^-1023 .. 2^-1074
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

// ---------------------------------------------------------------------------
// Float to 32-bit integer, generic rule.  The scaled value p is held in
// double precision, where x * 2^-sf is exact for every multiplier a rule
// uses short of the double's own range ends.
enum class Round { towardZero, nearestEven, halfAway };

inline Round roundOf(int roundMode) {
  return roundMode == 0 ? Round::towardZero : roundMode == 1 ? Round::nearestEven : Round::halfAway;
}

// One scaled value to an integer.  NaN (also a NaN made by 0 x infinity)
// gives -2147483648 in every mode, like the processor's invalid conversion;
// a value whose rounding leaves the 32-bit range saturates.  The truncation
// below only ever sees a value inside the range, and the fraction it leaves
// is exact, so the rule holds for any double (a float times a power of two
// as much as a double source) and depends on no control setting.
inline Prim32s roundScaled(double p, Round r) {
  if (p != p) return INT32_MIN;
  if (p >= 2147483648.0) return INT32_MAX;
  if (p <= -2147483649.0) return INT32_MIN;
  std::int64_t t = static_cast<std::int64_t>(p);  // toward zero
  const double f = p - static_cast<double>(t);
  if (r == Round::nearestEven) {
    if (f > 0.5 || (f == 0.5 && (t & 1)))
      ++t;
    else if (f < -0.5 || (f == -0.5 && (t & 1)))
      --t;
  } else if (r == Round::halfAway) {
    if (f >= 0.5)
      ++t;
    else if (f <= -0.5)
      --t;
  }
  return t > INT32_MAX ? INT32_MAX : (t < INT32_MIN ? INT32_MIN : static_cast<Prim32s>(t));
}

// The generic rule's multiplier 2^-sf: a double under nearest-even, rounded
// to single precision (0 from sf 150 on, infinity from -128 down) under the
// other two rules.
inline double genericMultiplier(Round r, int sf) {
  return r == Round::nearestEven ? pow2NegDouble(sf) : static_cast<double>(pow2NegFloat(sf));
}

// The whole generic conversion of len elements.  The caller holds an
// MxcsrScope, so no caller setting (DAZ above all) reaches the arithmetic.
inline void convertScalar(const Prim32f* pSrc, Prim32s* pDst, int len, Round r, int sf) {
  if (sf == 0) {
    for (int i = 0; i < len; ++i) st(pDst, i, roundScaled(static_cast<double>(ld(pSrc, i)), r));
    return;
  }
  const double m = genericMultiplier(r, sf);
  for (int i = 0; i < len; ++i) st(pDst, i, roundScaled(static_cast<double>(ld(pSrc, i)) * m, r));
}

// The vector kernels multiply in single precision; this is exact, or
// overflows or underflows harmlessly, for these factors only.  Others take
// convertScalar.
inline bool vectorScaleFactor(int sf) { return sf >= -126 && sf <= 126; }

// ---------------------------------------------------------------------------
// 32-bit integer to float: the factor is clamped so that every product is a
// normal float, exact after the one rounding of the conversion.
inline int clampIntToFloatFactor(int sf) { return sf > 126 ? 126 : (sf < -96 ? -96 : sf); }

// Scalar step of the vector builds: the conversion (caller's rounding mode)
// and the exact multiplication, the two operations of the vector lanes.
inline Prim32f intToFloat(Prim32s v, float m, bool scale) {
  const float f = static_cast<float>(v);
  return scale ? f * m : f;
}

inline bool rangesOverlap(const void* a, const void* b, std::size_t bytes) {
  return addr(a) < addr(b) + bytes && addr(b) < addr(a) + bytes;
}

// ---------------------------------------------------------------------------
// Scalar shift rules.
inline Prim16s shl16(Prim16s v, int n) {
  return static_cast<Prim16s>(static_cast<std::uint16_t>(static_cast<std::uint16_t>(v) << n));
}
inline Prim16s sar16(Prim16s v, int n) { return static_cast<Prim16s>(std::int32_t{v} >> n); }
inline Prim32s sar32(Prim32s v, int n) { return v >> n; }

// Sign fill of right shifts wider than the element: two elements per pass,
// then the odd last one.
template <class T>
inline void signFill(const T* pSrc, T* pDst, int len) {
  int i = 0;
  for (; i + 2 <= len; i += 2) {
    const T a = ld(pSrc, i), b = ld(pSrc, i + 1);
    st(pDst, i, a < 0 ? T(-1) : T(0));
    st(pDst, i + 1, b < 0 ? T(-1) : T(0));
  }
  if (i < len) st(pDst, i, ld(pSrc, i) < 0 ? T(-1) : T(0));
}

// Checks of the right shifts after the copy case.
template <class T>
inline PrimResult checkShift(const T* pSrc, int val, const T* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (val < 0) return primResultBadShift;
  return primResultOk;
}

template <class S, class D>
inline PrimResult checkConvert(const S* pSrc, const D* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  return primResultOk;
}

}  // namespace prim::PRIM_GEN_NS::convert
