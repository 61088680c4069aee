// The 16-bit scale-factor kernels of the 16-byte SIMD builds (sse2, ssse3,
// movbe, sse41, avx), shared as templates: each generation source compiles
// its own copy with its own instruction set, and the narrowing and widening
// steps below pick that generation's instructions (PSHUFB from ssse3,
// PMOVSXWD, PMINSD and PACKUSDW from sse41, the VEX forms in avx).
//
// One kernel serves one scale-factor case over the whole vector:
//   Sfs0      r clamped                      (factor 0)
//   Sfs1      (r + bit1(r)) >> 1, <= 32767    (factor 1)
//   SfsPos    (r + 2^(p-1)-1 + bit_p(r)) >> p  (factors 2..16, shift p)
//   SfsNeg    r << p clamped                 (factors -15..-1, p = -factor)
//   SfsNegSat 32767 / -32768 / 0 by sign of r (factors -16 and below)
// where r is the exact 17-bit intermediate (a + b, b - a or a + val).
//
// Layout of every kernel: a long path from W + 7 elements (W = 16 for Sfs0,
// SfsNeg and SfsNegSat, 8 for Sfs1 and SfsPos) that brings an even
// destination to a 16-byte boundary with 0 to 7 scalar elements and then
// runs blocks of W, and a short path for short vectors and the remainder.
// Every block loads its sources before it stores, so pDst may equal a source.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::k16 {

using std::int32_t;
using std::ptrdiff_t;

enum class Case { Sfs0, Sfs1, SfsPos, SfsNeg, SfsNegSat };

#if defined(__AVX__)
inline constexpr bool kVex = true;  // every access misalignment-tolerant, no short-path peel
#else
inline constexpr bool kVex = false;
#endif

inline std::uintptr_t addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

inline Prim16s clamp16(int32_t v) {
  return static_cast<Prim16s>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

// The scale-factor rule for one exact intermediate.
template <Case C>
inline Prim16s scalar(int32_t r, int p) {
  if constexpr (C == Case::Sfs0) {
    return clamp16(r);
  } else if constexpr (C == Case::Sfs1) {
    const int32_t q = (r + ((r >> 1) & 1)) >> 1;
    return static_cast<Prim16s>(q > 32767 ? 32767 : q);
  } else if constexpr (C == Case::SfsPos) {
    const int32_t bias = (int32_t{1} << (p - 1)) - 1;
    return static_cast<Prim16s>((r + bias + ((r >> p) & 1)) >> p);
  } else if constexpr (C == Case::SfsNeg) {
    return clamp16(r * (int32_t{1} << p));  // |r| * 2^15 <= 2^31: no overflow
  } else {
    return static_cast<Prim16s>(r > 0 ? 32767 : (r < 0 ? -32768 : 0));
  }
}

// A = true: the address is known to be 16-byte aligned (the aligned form,
// which the pre-VEX processors run faster).
template <bool A = false>
inline __m128i load8(const Prim16s* p) {
  if constexpr (A)
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
  else
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i load4(const Prim16s* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }

// Four words in the low half to four sign-extended 32-bit lanes.
inline __m128i widen4(__m128i x) {
#if defined(__SSE4_1__)
  return _mm_cvtepi16_epi32(x);
#else
  return _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
#endif
}

// Four 32-bit lanes holding 16-bit values to four words in the low half.
inline __m128i narrow4(__m128i x) {
#if defined(__SSE4_1__)
  return _mm_packus_epi32(_mm_and_si128(x, _mm_set1_epi32(0xffff)), _mm_setzero_si128());
#elif defined(__SSSE3__)
  return _mm_shuffle_epi8(x, _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1));
#else
  return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(x, 16), 16), _mm_setzero_si128());
#endif
}

// Lanes above 32767 become 32767.
inline __m128i min32767(__m128i x) {
  const __m128i lim = _mm_set1_epi32(32767);
#if defined(__SSE4_1__)
  return _mm_min_epi32(x, lim);
#else
  const __m128i m = _mm_cmpgt_epi32(x, lim);
  return _mm_xor_si128(x, _mm_and_si128(_mm_xor_si128(x, lim), m));
#endif
}

// Operand sets.  exact(i): the 32-bit intermediate of element i.  sat8(i):
// eight 16-bit saturated intermediates.  wide8(i): eight exact
// intermediates as two vectors of four 32-bit lanes (pairs multiplied and
// added, PMADDWD).  exact4(i) / exact8(i): the same by sign extension.
struct AddOps {
  static constexpr bool kEightStepShortRounding = false;
  const Prim16s* a;
  const Prim16s* b;
  int32_t exact(ptrdiff_t i) const { return int32_t{a[i]} + b[i]; }
  template <bool AA = false, bool AB = false>
  __m128i sat8(ptrdiff_t i) const {
    return _mm_adds_epi16(load8<AA>(a + i), load8<AB>(b + i));
  }
  template <bool AA = false, bool AB = false>
  void wide8(ptrdiff_t i, __m128i& lo, __m128i& hi) const {
    const __m128i x = load8<AA>(a + i), y = load8<AB>(b + i), one = _mm_set1_epi16(1);
    lo = _mm_madd_epi16(_mm_unpacklo_epi16(x, y), one);
    hi = _mm_madd_epi16(_mm_unpackhi_epi16(x, y), one);
  }
  __m128i exact4(ptrdiff_t i) const { return _mm_add_epi32(widen4(load4(a + i)), widen4(load4(b + i))); }
  void exact8(ptrdiff_t i, __m128i& lo, __m128i& hi) const {
    lo = exact4(i);
    hi = exact4(i + 4);
  }
  bool overlaps(const Prim16s* d, ptrdiff_t n) const { return near(d, a, n) || near(d, b, n); }
  bool aAligned(ptrdiff_t i) const { return (addr(a + i) & 15) == 0; }
  bool bAligned(ptrdiff_t i) const { return (addr(b + i) & 15) == 0; }
  void prefetch(ptrdiff_t i) const {
    _mm_prefetch(reinterpret_cast<const char*>(a + i) + 256, _MM_HINT_NTA);
    _mm_prefetch(reinterpret_cast<const char*>(b + i) + 256, _MM_HINT_NTA);
  }
  static bool near(const Prim16s* d, const Prim16s* s, ptrdiff_t n) {
    const std::uintptr_t x = addr(d), y = addr(s);
    return (x > y ? x - y : y - x) < static_cast<std::uintptr_t>(2 * n);
  }
};

struct SubOps {  // second operand minus the first
  static constexpr bool kEightStepShortRounding = false;
  const Prim16s* a;
  const Prim16s* b;
  int32_t exact(ptrdiff_t i) const { return int32_t{b[i]} - a[i]; }
  template <bool AA = false, bool AB = false>
  __m128i sat8(ptrdiff_t i) const {
    return _mm_subs_epi16(load8<AB>(b + i), load8<AA>(a + i));
  }
  template <bool AA = false, bool AB = false>
  void wide8(ptrdiff_t i, __m128i& lo, __m128i& hi) const {
    const __m128i x = load8<AA>(a + i), y = load8<AB>(b + i), w = _mm_set1_epi32(0x0001ffff);  // (-1, +1)
    lo = _mm_madd_epi16(_mm_unpacklo_epi16(x, y), w);
    hi = _mm_madd_epi16(_mm_unpackhi_epi16(x, y), w);
  }
  __m128i exact4(ptrdiff_t i) const { return _mm_sub_epi32(widen4(load4(b + i)), widen4(load4(a + i))); }
  void exact8(ptrdiff_t i, __m128i& lo, __m128i& hi) const {
    lo = exact4(i);
    hi = exact4(i + 4);
  }
  bool overlaps(const Prim16s* d, ptrdiff_t n) const {
    return AddOps::near(d, a, n) || AddOps::near(d, b, n);
  }
  bool aAligned(ptrdiff_t i) const { return (addr(a + i) & 15) == 0; }
  bool bAligned(ptrdiff_t i) const { return (addr(b + i) & 15) == 0; }
  void prefetch(ptrdiff_t i) const {
    _mm_prefetch(reinterpret_cast<const char*>(a + i) + 256, _MM_HINT_NTA);
    _mm_prefetch(reinterpret_cast<const char*>(b + i) + 256, _MM_HINT_NTA);
  }
};

struct AddCOps {  // the constant, broadcast once per call
  // The avx add-constant kernels round eight elements per short-path step.
  static constexpr bool kEightStepShortRounding = true;
  const Prim16s* a;
  int32_t val;
  __m128i v16;
  __m128i v32;
  AddCOps(const Prim16s* src, int32_t value)
      : a(src), val(value), v16(_mm_set1_epi16(static_cast<short>(value))), v32(_mm_set1_epi32(value)) {}
  int32_t exact(ptrdiff_t i) const { return a[i] + val; }
  template <bool AA = false, bool = false>
  __m128i sat8(ptrdiff_t i) const {
    return _mm_adds_epi16(load8<AA>(a + i), v16);
  }
  template <bool AA = false, bool = false>
  void wide8(ptrdiff_t i, __m128i& lo, __m128i& hi) const {
    const __m128i x = load8<AA>(a + i), one = _mm_set1_epi16(1);
    lo = _mm_madd_epi16(_mm_unpacklo_epi16(x, v16), one);
    hi = _mm_madd_epi16(_mm_unpackhi_epi16(x, v16), one);
  }
  __m128i exact4(ptrdiff_t i) const { return _mm_add_epi32(widen4(load4(a + i)), v32); }
  void exact8(ptrdiff_t i, __m128i& lo, __m128i& hi) const {
    lo = exact4(i);
    hi = exact4(i + 4);
  }
  bool overlaps(const Prim16s* d, ptrdiff_t n) const { return AddOps::near(d, a, n); }
  bool aAligned(ptrdiff_t i) const { return (addr(a + i) & 15) == 0; }
  bool bAligned(ptrdiff_t) const { return true; }  // the constant is in a register
  void prefetch(ptrdiff_t i) const { _mm_prefetch(reinterpret_cast<const char*>(a + i) + 256, _MM_HINT_NTA); }
};

// Per-call constants of a case: the shift count p and the rounding bias.
struct Params {
  int p;
  __m128i count;  // p as a shift count
  __m128i bias;   // 2^(p-1) - 1 in 32-bit lanes (0 for Sfs1)
  __m128i one;
  explicit Params(int shift)
      : p(shift),
        count(_mm_cvtsi32_si128(shift)),
        bias(_mm_set1_epi32(shift > 1 ? (int32_t{1} << (shift - 1)) - 1 : 0)),
        one(_mm_set1_epi32(1)) {}
};

// Rounding of four exact 32-bit intermediates (Sfs1 with p = 1, bias 0).
inline __m128i round4(__m128i d, const Params& k) {
  const __m128i odd = _mm_and_si128(_mm_srl_epi32(d, k.count), k.one);
  return _mm_sra_epi32(_mm_add_epi32(_mm_add_epi32(d, k.bias), odd), k.count);
}

// Eight results of the long path.
template <Case C, bool AA, bool AB, class Ops>
inline __m128i long8(const Ops& ops, ptrdiff_t i, const Params& k) {
  if constexpr (C == Case::Sfs0) {
    return ops.template sat8<AA, AB>(i);
  } else if constexpr (C == Case::Sfs1 || C == Case::SfsPos) {
    __m128i lo, hi;
    ops.template wide8<AA, AB>(i, lo, hi);
    return _mm_packs_epi32(round4(lo, k), round4(hi, k));  // packs turns 32768 into 32767
  } else if constexpr (C == Case::SfsNeg) {
    // A saturated 16-bit value saturates again after a shift of 1 or more,
    // so the saturated intermediate gives the result of the exact one.
    const __m128i s = ops.template sat8<AA, AB>(i), sign = _mm_srai_epi16(s, 15);
    return _mm_packs_epi32(_mm_sll_epi32(_mm_unpacklo_epi16(s, sign), k.count),
                           _mm_sll_epi32(_mm_unpackhi_epi16(s, sign), k.count));
  } else {
    // Each saturated value times 65536, packed back: sign saturation.
    const __m128i s = ops.template sat8<AA, AB>(i), z = _mm_setzero_si128();
    return _mm_packs_epi32(_mm_unpacklo_epi16(z, s), _mm_unpackhi_epi16(z, s));
  }
}

// Eight results of the short path (Sfs0, SfsNeg by the exact route).
template <Case C, class Ops>
inline __m128i short8(const Ops& ops, ptrdiff_t i, const Params& k) {
  if constexpr (C == Case::Sfs0) {
    return ops.sat8(i);
  } else {
    __m128i lo, hi;
    ops.exact8(i, lo, hi);
    return _mm_packs_epi32(_mm_sll_epi32(lo, k.count), _mm_sll_epi32(hi, k.count));
  }
}

// Four results of the short path (Sfs1, SfsPos), in the low 8 bytes.
template <Case C, class Ops>
inline __m128i short4(const Ops& ops, ptrdiff_t i, const Params& k) {
  __m128i r = round4(ops.exact4(i), k);
  if constexpr (C == Case::Sfs1) r = min32767(r);
  return narrow4(r);
}

template <Case C, class Ops>
inline void scalarRange(const Ops& ops, Prim16s* d, ptrdiff_t from, ptrdiff_t to, int p) {
  for (ptrdiff_t i = from; i < to; ++i) d[i] = scalar<C>(ops.exact(i), p);
}

inline ptrdiff_t headTo16(const Prim16s* d) { return ((16 - (addr(d) & 15)) & 15) / 2; }

// The short path over elements [i, i + n).
template <Case C, class Ops>
inline void shortPath(const Ops& ops, Prim16s* d, ptrdiff_t i, ptrdiff_t n, const Params& k) {
  const ptrdiff_t end = i + n;
  if constexpr (C == Case::SfsNegSat) {
    scalarRange<C>(ops, d, i, end, k.p);
    return;
  }
  // Scalar for short counts and for a destination range that meets a source
  // range (the sources and the destination advance together, so the bases
  // decide).
  if (n <= 6 || ops.overlaps(d, n)) {
    scalarRange<C>(ops, d, i, end, k.p);
    return;
  }
  if constexpr ((C == Case::Sfs1 || C == Case::SfsPos) && kVex && Ops::kEightStepShortRounding) {
    if (n < 8) {
      scalarRange<C>(ops, d, i, end, k.p);
      return;
    }
    const ptrdiff_t vend = i + (n & ~ptrdiff_t{7});
    for (; i < vend; i += 8)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), long8<C, false, false>(ops, i, k));
    scalarRange<C>(ops, d, i, end, k.p);
  } else if constexpr (C == Case::Sfs1 || C == Case::SfsPos) {
    const ptrdiff_t vend = i + (n & ~ptrdiff_t{3});
    for (; i < vend; i += 4) _mm_storel_epi64(reinterpret_cast<__m128i*>(d + i), short4<C>(ops, i, k));
    scalarRange<C>(ops, d, i, end, k.p);
  } else if constexpr (kVex) {
    const ptrdiff_t vend = i + (n & ~ptrdiff_t{7});
    for (; i < vend; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), short8<C>(ops, i, k));
    scalarRange<C>(ops, d, i, end, k.p);
  } else {
    if (n < 8 || (addr(d + i) & 1)) {
      scalarRange<C>(ops, d, i, end, k.p);
      return;
    }
    const ptrdiff_t head = headTo16(d + i);
    if (n < head + 8) {
      scalarRange<C>(ops, d, i, end, k.p);
      return;
    }
    scalarRange<C>(ops, d, i, i + head, k.p);
    i += head;
    const ptrdiff_t vend = end - ((end - i) % 8);
    for (; i < vend; i += 8) _mm_store_si128(reinterpret_cast<__m128i*>(d + i), short8<C>(ops, i, k));
    scalarRange<C>(ops, d, i, end, k.p);
  }
}

template <bool kAligned>
inline void store8(Prim16s* p, __m128i v) {
  if constexpr (kAligned && !kVex)
    _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
  else
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <Case C, bool kAligned, bool kPrefetch, bool AA, bool AB, class Ops>
inline ptrdiff_t mainLoop(const Ops& ops, Prim16s* d, ptrdiff_t i, ptrdiff_t end, const Params& k) {
  constexpr ptrdiff_t W = (C == Case::Sfs1 || C == Case::SfsPos) ? 8 : 16;
  for (; i < end; i += W) {
    if constexpr (kPrefetch) ops.prefetch(i);
    if constexpr (W == 16) {
      const __m128i r0 = long8<C, AA, AB>(ops, i, k);
      const __m128i r1 = long8<C, AA, AB>(ops, i + 8, k);
      store8<kAligned>(d + i, r0);
      store8<kAligned>(d + i + 8, r1);
    } else {
      store8<kAligned>(d + i, long8<C, AA, AB>(ops, i, k));
    }
  }
  return i;
}

// The main loop in the variant for the sources' alignment at element i,
// tested once: aligned loads for a source on a 16-byte boundary (the VEX
// builds use the misalignment-tolerant form throughout).  kPrefetch applies
// to the loop whose destination and sources are all aligned.
template <Case C, bool kAligned, bool kPrefetch, class Ops>
inline ptrdiff_t mainLoopFor(const Ops& ops, Prim16s* d, ptrdiff_t i, ptrdiff_t end, const Params& k) {
  const bool aa = ops.aAligned(i), ab = ops.bAligned(i);
  if constexpr (kVex) {
    if (kAligned && aa && ab) return mainLoop<C, kAligned, kPrefetch, false, false>(ops, d, i, end, k);
    return mainLoop<C, kAligned, false, false, false>(ops, d, i, end, k);
  } else {
    if (aa && ab) return mainLoop < C, kAligned, kPrefetch && kAligned, true, true > (ops, d, i, end, k);
    if (aa) return mainLoop<C, kAligned, false, true, false>(ops, d, i, end, k);
    if (ab) return mainLoop<C, kAligned, false, false, true>(ops, d, i, end, k);
    return mainLoop<C, kAligned, false, false, false>(ops, d, i, end, k);
  }
}

// One kernel: the case C over len >= 1 elements.  p is the shift count of
// SfsPos / SfsNeg (1 for Sfs1).  With kPrefetch the loop whose destination
// and sources are all 16-byte aligned prefetches 256 bytes ahead.
template <Case C, bool kPrefetch, class Ops>
inline void run(const Ops& ops, Prim16s* d, int len, int p) {
  constexpr ptrdiff_t W = (C == Case::Sfs1 || C == Case::SfsPos) ? 8 : 16;
  const Params k(C == Case::Sfs1 ? 1 : p);
  ptrdiff_t i = 0;
  if (len >= W + 7) {
    if (addr(d) & 1) {
      // An odd destination cannot be aligned: no head, unaligned stores.
      i = mainLoopFor<C, false, false>(ops, d, 0, (len / W) * W, k);
    } else {
      const ptrdiff_t head = headTo16(d);
      scalarRange<C>(ops, d, 0, head, k.p);
      i = mainLoopFor<C, true, kPrefetch>(ops, d, head, head + ((len - head) / W) * W, k);
    }
  }
  shortPath<C>(ops, d, i, len - i, k);
}

}  // namespace prim::PRIM_GEN_NS::k16
