// Float multiply-by-constant, add and subtract loops shared by the SIMD
// builds.  Included by generation sources only: each generation compiles its
// own copy with its own instruction set (the 128-bit code below becomes VEX
// code in the avx and avx2 sources).
//
// Every element is one IEEE single-precision operation rounded to nearest,
// the operands always in the order of the generic build (src * val,
// src1 + src2, src2 - src1, pinned by float_order.h), so the scalar heads and
// tails and the vector blocks give the same bits as the generic build, NaN
// payloads included.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "primitives/arith/float_order.h"
#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::f32 {

inline std::uintptr_t addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// A = true: the address is known to be 16-byte aligned.
template <bool A>
inline __m128 load4(const Prim32f* p) {
  if constexpr (A)
    return _mm_load_ps(p);
  else
    return _mm_loadu_ps(p);
}

// Operand sets: s(i) one element, v4(i) four lanes, v8(i) eight lanes.
struct MulC {
  const Prim32f* a;
  Prim32f val;
  Prim32f s(std::ptrdiff_t i) const { return forder::mul(a[i], val); }
  template <bool AA = false, bool = false>
  __m128 v4(std::ptrdiff_t i) const {
    return forder::mul(load4<AA>(a + i), _mm_set1_ps(val));
  }
#if defined(__AVX__)
  __m256 v8(std::ptrdiff_t i) const { return forder::mul(_mm256_loadu_ps(a + i), _mm256_set1_ps(val)); }
#endif
  bool streams(std::ptrdiff_t i) const { return (addr(a + i) & 15) == 0; }  // aligned source only
  bool aAligned(std::ptrdiff_t i) const { return (addr(a + i) & 15) == 0; }
  bool bAligned(std::ptrdiff_t) const { return true; }
};

struct Add {
  const Prim32f* a;
  const Prim32f* b;
  Prim32f s(std::ptrdiff_t i) const { return forder::add(a[i], b[i]); }
  template <bool AA = false, bool AB = false>
  __m128 v4(std::ptrdiff_t i) const {
    return forder::add(load4<AA>(a + i), load4<AB>(b + i));
  }
#if defined(__AVX__)
  __m256 v8(std::ptrdiff_t i) const { return forder::add(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i)); }
#endif
  bool streams(std::ptrdiff_t) const { return true; }  // whatever the sources
  bool aAligned(std::ptrdiff_t i) const { return (addr(a + i) & 15) == 0; }
  bool bAligned(std::ptrdiff_t i) const { return (addr(b + i) & 15) == 0; }
};

struct Sub {
  const Prim32f* a;
  const Prim32f* b;
  Prim32f s(std::ptrdiff_t i) const { return b[i] - a[i]; }
  template <bool AA = false, bool AB = false>
  __m128 v4(std::ptrdiff_t i) const {
    return _mm_sub_ps(load4<AB>(b + i), load4<AA>(a + i));
  }
#if defined(__AVX__)
  __m256 v8(std::ptrdiff_t i) const { return _mm256_sub_ps(_mm256_loadu_ps(b + i), _mm256_loadu_ps(a + i)); }
#endif
  bool streams(std::ptrdiff_t) const { return true; }
  bool aAligned(std::ptrdiff_t i) const { return (addr(a + i) & 15) == 0; }
  bool bAligned(std::ptrdiff_t i) const { return (addr(b + i) & 15) == 0; }
};

template <class Ops>
inline void scalarRange(const Ops& ops, Prim32f* d, std::ptrdiff_t from, std::ptrdiff_t to) {
  for (std::ptrdiff_t i = from; i < to; ++i) d[i] = ops.s(i);
}

// Blocks of 8 from i up to end.  S: aligned stores (NT: non-temporal);
// AA / AB: aligned loads of each source.
template <bool S, bool NT, bool AA, bool AB, class Ops>
inline std::ptrdiff_t blocks(const Ops& ops, Prim32f* d, std::ptrdiff_t i, std::ptrdiff_t end) {
  for (; i < end; i += 8) {
    const __m128 r0 = ops.template v4<AA, AB>(i);
    const __m128 r1 = ops.template v4<AA, AB>(i + 4);
    if constexpr (NT) {
      _mm_stream_ps(d + i, r0);
      _mm_stream_ps(d + i + 4, r1);
    } else if constexpr (S) {
      _mm_store_ps(d + i, r0);
      _mm_store_ps(d + i + 4, r1);
    } else {
      _mm_storeu_ps(d + i, r0);
      _mm_storeu_ps(d + i + 4, r1);
    }
  }
  return i;
}

// The block loop in the variant for the sources' alignment, tested once.
template <bool S, bool NT, class Ops>
inline std::ptrdiff_t blocksFor(const Ops& ops, Prim32f* d, std::ptrdiff_t i, std::ptrdiff_t end) {
  const bool aa = ops.aAligned(i), ab = ops.bAligned(i);
  if (aa && ab) return blocks<S, NT, true, true>(ops, d, i, end);
  if (aa) return blocks<S, NT, true, false>(ops, d, i, end);
  if (ab) return blocks<S, NT, false, true>(ops, d, i, end);
  return blocks<S, NT, false, false>(ops, d, i, end);
}

// The 16-byte loop: below 11 elements scalar; a destination that is not on a
// 4-byte boundary gets unaligned blocks of 8 from the first element;
// otherwise 0 to 3 scalar elements bring it to a 16-byte boundary and the
// blocks store aligned, non-temporally (then fenced) when more than ntBlocks
// whole blocks follow and the operand set allows it.  The remainder is
// scalar.  Each source is loaded with the aligned form when it lies on a
// 16-byte boundary.
template <class Ops>
inline void sseLoop(const Ops& ops, Prim32f* d, int len, long ntBlocks) {
  if (len < 11) {
    scalarRange(ops, d, 0, len);
    return;
  }
  std::ptrdiff_t i = 0;
  if (addr(d) & 3) {
    i = blocksFor<false, false>(ops, d, 0, len - (len % 8));
    scalarRange(ops, d, i, len);
    return;
  }
  const std::ptrdiff_t head = ((16 - (addr(d) & 15)) / 4) % 4;
  scalarRange(ops, d, 0, head);
  const std::ptrdiff_t nBlocks = (len - head) / 8;
  const std::ptrdiff_t end = head + nBlocks * 8;
  if (nBlocks > ntBlocks && ops.streams(head)) {
    i = blocksFor<true, true>(ops, d, head, end);
    _mm_sfence();
  } else {
    i = blocksFor<true, false>(ops, d, head, end);
  }
  scalarRange(ops, d, i, len);
}

// Thresholds of the non-temporal stores, in whole blocks of 8 after the head.
inline constexpr long kNoStreaming = 0x7fffffffL;

#if defined(__AVX__)
// The avx loop: below 16 elements scalar; a destination off a 32-byte
// boundary gets a scalar head of 1 to 7 (or is wholly scalar when it is not
// even on a 4-byte boundary); then blocks of 16 with aligned stores and the
// rest scalar.
template <class Ops>
inline void avxLoop(const Ops& ops, Prim32f* d, int len) {
  if (len < 16) {
    scalarRange(ops, d, 0, len);
    return;
  }
  std::ptrdiff_t head = 0;
  if (addr(d) & 31) {
    if (addr(d) & 3) {
      scalarRange(ops, d, 0, len);
      return;
    }
    head = (32 - (addr(d) & 31)) / 4;
  }
  if (len < head + 16) {
    scalarRange(ops, d, 0, len);
    return;
  }
  scalarRange(ops, d, 0, head);
  const std::ptrdiff_t end = len - ((len - head) % 16);
  std::ptrdiff_t i = head;
  for (; i < end; i += 16) {
    const __m256 r0 = ops.v8(i);
    const __m256 r1 = ops.v8(i + 8);
    _mm256_store_ps(d + i, r0);
    _mm256_store_ps(d + i + 8, r1);
  }
  scalarRange(ops, d, i, len);
}

// The avx2 loop: below 16 elements scalar; up to 56 elements blocks of 16
// from the first element; from 57 the avx head rule first.  The remainder
// takes one step of 8 when 8 or more are left, then scalar.
template <class Ops>
inline void avx2Loop(const Ops& ops, Prim32f* d, int len) {
  if (len < 16) {
    scalarRange(ops, d, 0, len);
    return;
  }
  std::ptrdiff_t i = 0;
  if (len >= 57 && (addr(d) & 31)) {
    if (addr(d) & 3) {
      scalarRange(ops, d, 0, len);
      return;
    }
    i = (32 - (addr(d) & 31)) / 4;
    scalarRange(ops, d, 0, i);
  }
  const std::ptrdiff_t end = i + ((len - i) / 16) * 16;
  for (; i < end; i += 16) {
    const __m256 r0 = ops.v8(i);
    const __m256 r1 = ops.v8(i + 8);
    _mm256_storeu_ps(d + i, r0);
    _mm256_storeu_ps(d + i + 8, r1);
  }
  if (len - i >= 8) {
    _mm256_storeu_ps(d + i, ops.v8(i));
    i += 8;
  }
  scalarRange(ops, d, i, len);
}
#endif

}  // namespace prim::PRIM_GEN_NS::f32
