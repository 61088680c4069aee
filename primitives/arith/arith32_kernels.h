// The 32-bit scale-factor arithmetic of the SIMD builds in 32-bit lanes.
//
// The exact sum or difference of two 32-bit elements needs 33 bits; these
// rules never form it.  Overflow and sign come from the operand signs and
// signed compares, and the positive factors split each operand into its
// arithmetic quarter (or half) and its low bits so that no partial sum can
// wrap.  Every rule gives, lane for lane, what the generic build computes in
// 64 bits.  Only the sign saturation (factors of -31 and below) widens to
// 64-bit lanes.
//
// The rules are written once over a lane-traits type (L128: four lanes in a
// 16-byte vector, L256: eight lanes in a 32-byte vector) and compiled by
// each generation source with its own instruction set.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::k32 {

using std::int32_t;
using std::ptrdiff_t;

inline std::uintptr_t addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

struct L128 {
  using V = __m128i;
  template <bool A = false>  // A: known to be 16-byte aligned
  static V load4(const Prim32s* p) {
    if constexpr (A)
      return _mm_load_si128(reinterpret_cast<const V*>(p));
    else
      return _mm_loadu_si128(reinterpret_cast<const V*>(p));
  }
  static V load2(const Prim32s* p) { return _mm_loadl_epi64(reinterpret_cast<const V*>(p)); }
  static V load1(const Prim32s* p) { return _mm_cvtsi32_si128(*p); }
  static void store4a(Prim32s* p, V v) {
#if defined(__AVX__)
    _mm_storeu_si128(reinterpret_cast<V*>(p), v);  // the VEX builds never demand alignment
#else
    _mm_store_si128(reinterpret_cast<V*>(p), v);
#endif
  }
  static void store4(Prim32s* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
  static void store2(Prim32s* p, V v) { _mm_storel_epi64(reinterpret_cast<V*>(p), v); }
  static void store1(Prim32s* p, V v) { *p = _mm_cvtsi128_si32(v); }
  static V set1(int32_t x) { return _mm_set1_epi32(x); }
  static V add(V a, V b) { return _mm_add_epi32(a, b); }
  static V sub(V a, V b) { return _mm_sub_epi32(a, b); }
  static V and_(V a, V b) { return _mm_and_si128(a, b); }
  static V or_(V a, V b) { return _mm_or_si128(a, b); }
  static V xor_(V a, V b) { return _mm_xor_si128(a, b); }
  static V andnot(V a, V b) { return _mm_andnot_si128(a, b); }  // (NOT a) AND b
  static V srai(V a, int n) { return _mm_sra_epi32(a, _mm_cvtsi32_si128(n)); }
  static V srli(V a, int n) { return _mm_srl_epi32(a, _mm_cvtsi32_si128(n)); }
  static V slli(V a, int n) { return _mm_sll_epi32(a, _mm_cvtsi32_si128(n)); }
  static V cmpgt(V a, V b) { return _mm_cmpgt_epi32(a, b); }
  static V cmpeq(V a, V b) { return _mm_cmpeq_epi32(a, b); }
  static V select(V m, V x, V y) {  // x where m is all ones, else y
#if defined(__SSE4_1__)
    return _mm_blendv_epi8(y, x, m);
#else
    return _mm_or_si128(_mm_and_si128(m, x), _mm_andnot_si128(m, y));
#endif
  }
};

#if defined(__AVX2__)
struct L256 {
  using V = __m256i;
  static V load8(const Prim32s* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
  static void store8(Prim32s* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
  static V set1(int32_t x) { return _mm256_set1_epi32(x); }
  static V add(V a, V b) { return _mm256_add_epi32(a, b); }
  static V sub(V a, V b) { return _mm256_sub_epi32(a, b); }
  static V and_(V a, V b) { return _mm256_and_si256(a, b); }
  static V or_(V a, V b) { return _mm256_or_si256(a, b); }
  static V xor_(V a, V b) { return _mm256_xor_si256(a, b); }
  static V andnot(V a, V b) { return _mm256_andnot_si256(a, b); }
  static V srai(V a, int n) { return _mm256_sra_epi32(a, _mm_cvtsi32_si128(n)); }
  static V srli(V a, int n) { return _mm256_srl_epi32(a, _mm_cvtsi32_si128(n)); }
  static V slli(V a, int n) { return _mm256_sll_epi32(a, _mm_cvtsi32_si128(n)); }
  static V cmpgt(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
  static V cmpeq(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
  static V select(V m, V x, V y) { return _mm256_blendv_epi8(y, x, m); }
};
#endif

// ---- lane rules: a is the first operand, b the second -----------------------

// Factor 0, addition: s wrapped; nonneg true exactly when a + b >= 0; ok
// true when s carries the sign of the exact sum.
template <class L>
inline typename L::V add0(typename L::V a, typename L::V b) {
  const auto s = L::add(a, b);
  const auto nonneg = L::cmpgt(a, L::xor_(b, L::set1(-1)));
  const auto ok = L::xor_(L::srai(s, 31), nonneg);
  return L::select(ok, s, L::xor_(nonneg, L::set1(INT32_MIN)));
}

// Factor 0, subtraction b - a: ov true exactly when the difference wrapped.
template <class L>
inline typename L::V sub0(typename L::V a, typename L::V b) {
  const auto d = L::sub(b, a);
  const auto gt = L::cmpgt(b, a);
  const auto ov = L::xor_(L::cmpgt(d, L::set1(0)), gt);
  return L::select(ov, L::xor_(gt, L::set1(INT32_MIN)), d);
}

// Factor 1, addition: halves, then the low bits decide (ties to even).
template <class L>
inline typename L::V add1(typename L::V a, typename L::V b) {
  const auto one = L::set1(1);
  const auto h = L::add(L::srai(a, 1), L::srai(b, 1));
  const auto l = L::add(L::add(L::and_(a, one), L::and_(b, one)), L::and_(h, one));
  return L::add(h, L::srli(l, 1));
}

// Factor 1, addition of a constant: the parity of the constant picks the
// form once per call.
template <class L>
inline typename L::V addC1(typename L::V a, typename L::V valHalf, bool valOdd) {
  const auto one = L::set1(1);
  const auto h = L::add(L::srai(a, 1), valHalf);
  const auto t = valOdd ? L::or_(a, h) : L::and_(a, h);
  return L::add(h, L::and_(t, one));
}

// Factor 1, subtraction b - a.  b odd and a even: a tie above h; a odd and
// b even: a tie below h; an odd h moves to the even neighbour, except that
// 2^31 saturates to 0x7fffffff.
template <class L>
inline typename L::V sub1(typename L::V a, typename L::V b) {
  const auto one = L::set1(1);
  const auto h = L::sub(L::srai(b, 1), L::srai(a, 1));
  const auto up = L::and_(L::and_(L::andnot(a, b), one), h);
  const auto down = L::and_(L::and_(L::xor_(a, b), one), h);
  const auto notMax = L::xor_(L::cmpeq(h, L::set1(INT32_MAX)), L::set1(-1));
  return L::sub(L::add(L::add(h, up), L::and_(up, notMax)), down);
}

// Per-call constants of the positive factors 2..32.
struct Pos {
  int f;
  int32_t half;  // 2^(f-1) - 1
  explicit Pos(int factor) : f(factor), half(static_cast<int32_t>((std::uint32_t{1} << (factor - 1)) - 1)) {}
};

// Factors 3..32, addition: quarters h, low parts plus the rounding bias and
// the lowest kept bit of h (the tie bit).
template <class L>
inline typename L::V addPos(typename L::V a, typename L::V b, const Pos& k) {
  const auto three = L::set1(3);
  const auto h = L::add(L::srai(a, 2), L::srai(b, 2));
  const auto bit = L::and_(L::srli(h, k.f - 2), L::set1(1));
  const auto low = L::add(L::add(L::and_(a, three), L::and_(b, three)), L::add(L::set1(k.half), bit));
  return L::srai(L::add(h, L::srli(low, 2)), k.f - 2);
}

// Factor 2, addition: the carry out of the low bits enters the tie bit.
template <class L>
inline typename L::V addPos2(typename L::V a, typename L::V b) {
  const auto three = L::set1(3), one = L::set1(1);
  const auto c = L::add(L::and_(a, three), L::and_(b, three));
  const auto h = L::add(L::srai(a, 2), L::srai(b, 2));
  const auto bit = L::and_(L::add(h, L::srli(c, 2)), one);
  return L::add(h, L::srli(L::add(L::add(one, c), bit), 2));
}

// Factors 3..32, subtraction b - a: the low part is never negative here.
template <class L>
inline typename L::V subPos(typename L::V a, typename L::V b, const Pos& k) {
  const auto three = L::set1(3);
  const auto h = L::sub(L::srai(b, 2), L::srai(a, 2));
  const auto bit = L::and_(L::srli(h, k.f - 2), L::set1(1));
  const auto low = L::add(L::sub(L::and_(b, three), L::and_(a, three)), L::add(L::set1(k.half), bit));
  return L::srai(L::add(h, L::srli(low, 2)), k.f - 2);
}

// Factor 2, subtraction: a negative low part borrows from h.
template <class L>
inline typename L::V subPos2(typename L::V a, typename L::V b) {
  const auto three = L::set1(3), one = L::set1(1);
  const auto c = L::sub(L::and_(b, three), L::and_(a, three));
  const auto h = L::sub(L::srai(b, 2), L::srai(a, 2));
  const auto bit = L::and_(L::add(h, L::srli(c, 2)), one);
  return L::add(h, L::srai(L::add(L::add(one, c), bit), 2));
}

// Negative factors -30..-1, shift k: the result fits where the top k + 1
// bits of the wrapped value all equal the sign of the exact value.
template <class L>
inline typename L::V negCommon(typename L::V w, typename L::V sign, int k) {
  const auto mask = L::srai(L::set1(INT32_MIN), k);
  const auto fits = L::cmpeq(L::and_(w, mask), L::and_(sign, mask));
  return L::select(fits, L::slli(w, k), L::xor_(sign, L::set1(INT32_MAX)));
}

template <class L>
inline typename L::V addNeg(typename L::V a, typename L::V b, int k) {
  const auto s = L::add(a, b);
  const auto x = L::xor_(a, b);
  // Unlike signs: s cannot have wrapped; like signs: the sum has a's sign.
  const auto sign = L::srai(L::or_(L::and_(x, s), L::andnot(x, a)), 31);
  return negCommon<L>(s, sign, k);
}

template <class L>
inline typename L::V subNeg(typename L::V a, typename L::V b, int k) {
  const auto d = L::sub(b, a);
  const auto x = L::xor_(a, b);
  // Unlike signs: the difference has b's sign; like signs: d cannot wrap.
  const auto sign = L::srai(L::or_(L::and_(x, b), L::andnot(x, d)), 31);
  return negCommon<L>(d, sign, k);
}

// ---- rule objects: one case, callable on every lane-traits type -------------

struct RAdd0 {
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return add0<L>(a, b);
  }
};
struct RSub0 {
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return sub0<L>(a, b);
  }
};
struct RAdd1 {
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return add1<L>(a, b);
  }
};
struct RSub1 {
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return sub1<L>(a, b);
  }
};
struct RAddPos {
  Pos k;
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return addPos<L>(a, b, k);
  }
};
struct RSubPos {
  Pos k;
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return subPos<L>(a, b, k);
  }
};
struct RAddPos2 {
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return addPos2<L>(a, b);
  }
};
struct RSubPos2 {
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return subPos2<L>(a, b);
  }
};
struct RAddNeg {
  int k;
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return addNeg<L>(a, b, k);
  }
};
struct RSubNeg {
  int k;
  template <class L>
  typename L::V op(typename L::V a, typename L::V b) const {
    return subNeg<L>(a, b, k);
  }
};
// Addition of a constant at factor 1 (b is the broadcast constant and is not
// looked at).
struct RAddC1 {
  int32_t valHalf;
  bool valOdd;
  template <class L>
  typename L::V op(typename L::V a, typename L::V) const {
    return addC1<L>(a, L::set1(valHalf), valOdd);
  }
};

// Second operand: a vector, or a constant broadcast to every lane.
struct Arr {
  const Prim32s* p;
  template <bool A = false>
  L128::V v4(ptrdiff_t i) const {
    return L128::load4<A>(p + i);
  }
  bool aligned(ptrdiff_t i) const { return (addr(p + i) & 15) == 0; }
  L128::V v2(ptrdiff_t i) const { return L128::load2(p + i); }
  L128::V v1(ptrdiff_t i) const { return L128::load1(p + i); }
#if defined(__AVX2__)
  L256::V v8(ptrdiff_t i) const { return L256::load8(p + i); }
#endif
};
struct Bcast {
  int32_t val;
  template <bool = false>
  L128::V v4(ptrdiff_t) const {
    return L128::set1(val);
  }
  bool aligned(ptrdiff_t) const { return true; }
  L128::V v2(ptrdiff_t) const { return L128::set1(val); }
  L128::V v1(ptrdiff_t) const { return L128::set1(val); }
#if defined(__AVX2__)
  L256::V v8(ptrdiff_t) const { return L256::set1(val); }
#endif
};

// The tail: groups of 4, then a pair, then one element.
template <class R, class B>
inline void tail(const R& rule, const Prim32s* a, const B& b, Prim32s* d, ptrdiff_t i, ptrdiff_t n) {
  for (; n - i >= 4; i += 4) L128::store4(d + i, rule.template op<L128>(L128::load4(a + i), b.v4(i)));
  if ((n - i) & 2) {
    L128::store2(d + i, rule.template op<L128>(L128::load2(a + i), b.v2(i)));
    i += 2;
  }
  if ((n - i) & 1) L128::store1(d + i, rule.template op<L128>(L128::load1(a + i), b.v1(i)));
}

// Blocks of 8 (two vectors; loads before stores, so pDst may equal a
// source) from i up to end; S: aligned stores; AA / AB: aligned loads of
// each source.
template <bool S, bool AA, bool AB, class R, class B>
inline ptrdiff_t blocks(const R& rule, const Prim32s* a, const B& b, Prim32s* d, ptrdiff_t i, ptrdiff_t end) {
  for (; i < end; i += 8) {
    const auto r0 = rule.template op<L128>(L128::load4<AA>(a + i), b.template v4<AB>(i));
    const auto r1 = rule.template op<L128>(L128::load4<AA>(a + i + 4), b.template v4<AB>(i + 4));
    if constexpr (S) {
      L128::store4a(d + i, r0);
      L128::store4a(d + i + 4, r1);
    } else {
      L128::store4(d + i, r0);
      L128::store4(d + i + 4, r1);
    }
  }
  return i;
}

// The block loop in the variant for the sources' alignment, tested once
// (the VEX build uses the misalignment-tolerant form throughout).
template <bool S, class R, class B>
inline ptrdiff_t blocksFor(const R& rule, const Prim32s* a, const B& b, Prim32s* d, ptrdiff_t i,
                           ptrdiff_t end) {
#if defined(__AVX__)
  return blocks<S, false, false>(rule, a, b, d, i, end);
#else
  const bool aa = (addr(a + i) & 15) == 0, ab = b.aligned(i);
  if (aa && ab) return blocks<S, true, true>(rule, a, b, d, i, end);
  if (aa) return blocks<S, true, false>(rule, a, b, d, i, end);
  if (ab) return blocks<S, false, true>(rule, a, b, d, i, end);
  return blocks<S, false, false>(rule, a, b, d, i, end);
#endif
}

// The 16-byte kernel skeleton (sse2, ssse3, sse41, avx): below 11 elements
// the tail alone; otherwise a destination on a 4-byte boundary is brought to
// a 16-byte boundary by a pair and / or a single element, then blocks of 8,
// then the tail.
template <class R, class B>
inline void run(const R& rule, const Prim32s* a, const B& b, Prim32s* d, int len) {
  ptrdiff_t i = 0;
  const ptrdiff_t n = len;
  if (n >= 11) {
    if ((addr(d) & 3) == 0) {
      const std::uintptr_t r = (16 - (addr(d) & 15)) & 15;
      if (r == 8 || r == 12) {
        L128::store2(d, rule.template op<L128>(L128::load2(a), b.v2(0)));
        i = 2;
      }
      if (r == 4 || r == 12) {
        L128::store1(d + i, rule.template op<L128>(L128::load1(a + i), b.v1(i)));
        ++i;
      }
      i = blocksFor<true>(rule, a, b, d, i, i + ((n - i) / 8) * 8);
    } else {
      i = blocksFor<false>(rule, a, b, d, 0, (n / 8) * 8);
    }
  }
  tail(rule, a, b, d, i, n);
}

#if defined(__AVX2__)
// The avx2 loop: blocks of 16 (two 32-byte vectors, unaligned), then the
// tail of 4, 2 and 1.
template <class R, class B>
inline void run256(const R& rule, const Prim32s* a, const B& b, Prim32s* d, int len) {
  ptrdiff_t i = 0;
  const ptrdiff_t n = len;
  const ptrdiff_t end = (n / 16) * 16;
  for (; i < end; i += 16) {
    const auto r0 = rule.template op<L256>(L256::load8(a + i), b.v8(i));
    const auto r1 = rule.template op<L256>(L256::load8(a + i + 8), b.v8(i + 8));
    L256::store8(d + i, r0);
    L256::store8(d + i + 8, r1);
  }
  tail(rule, a, b, d, i, n);
}
#endif

// ---- sign saturation in 64-bit lanes ---------------------------------------

// Two elements: each widened to a 64-bit lane, summed or subtracted there;
// a positive lane gives 0x7fffffff, a negative one 0x80000000, zero stays 0.
// Returns the two results in the low 8 bytes.
template <bool kSub>
inline __m128i negSat2(__m128i a, __m128i b) {
#if defined(__SSE4_1__)
  const __m128i a64 = _mm_cvtepi32_epi64(a), b64 = _mm_cvtepi32_epi64(b);
#else
  const __m128i a64 = _mm_unpacklo_epi32(a, _mm_srai_epi32(a, 31));
  const __m128i b64 = _mm_unpacklo_epi32(b, _mm_srai_epi32(b, 31));
#endif
  const __m128i r = kSub ? _mm_sub_epi64(b64, a64) : _mm_add_epi64(a64, b64);
#if defined(__SSE4_1__)
  // Worked out in the high word of each lane, which holds the sign: 0x7fffffff
  // for a non-zero lane, flipped to 0x80000000 by a negative sign.
  const __m128i isZero = _mm_cmpeq_epi64(r, _mm_setzero_si128());
  const __m128i out =
      _mm_xor_si128(_mm_andnot_si128(isZero, _mm_set1_epi32(INT32_MAX)), _mm_srai_epi32(r, 31));
  return _mm_shuffle_epi32(out, _MM_SHUFFLE(3, 3, 3, 1));
#else
  // Negative: the high word's sign.  Non-zero: either word non-zero.
  const __m128i hi = _mm_shuffle_epi32(r, _MM_SHUFFLE(3, 3, 1, 1));
  const __m128i neg = _mm_srai_epi32(hi, 31);
  const __m128i zw = _mm_cmpeq_epi32(r, _mm_setzero_si128());
  const __m128i isZero = _mm_and_si128(zw, _mm_shuffle_epi32(zw, _MM_SHUFFLE(2, 3, 0, 1)));
  const __m128i out = _mm_xor_si128(_mm_andnot_si128(isZero, _mm_set1_epi32(INT32_MAX)), neg);
  return _mm_shuffle_epi32(out, _MM_SHUFFLE(3, 3, 2, 0));
#endif
}

template <bool kSub>
inline Prim32s negSat1(Prim32s a, Prim32s b) {
  const std::int64_t r = kSub ? std::int64_t{b} - a : std::int64_t{a} + b;
  return r > 0 ? INT32_MAX : (r < 0 ? INT32_MIN : 0);
}

// The 16-byte builds: two per step, then the odd last element.
template <bool kSub, class B>
inline void negSatPairs(const Prim32s* a, const B& b, Prim32s* d, int len) {
  ptrdiff_t i = 0;
  for (; i + 2 <= len; i += 2) L128::store2(d + i, negSat2<kSub>(L128::load2(a + i), b.v2(i)));
  if (i < len) d[i] = negSat1<kSub>(a[i], _mm_cvtsi128_si32(b.v1(i)));
}

}  // namespace prim::PRIM_GEN_NS::k32
