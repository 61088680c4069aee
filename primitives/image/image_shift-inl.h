// Image shift module of one SIMD generation: left, logical right and
// arithmetic right shifts of 8-, 16- and 32-bit regions by constant counts,
// one channel (one count) and four channels (C4: one count per channel; AC4:
// one per colour channel; AC4Same: one for all three colour channels), the
// alpha of AC4 and AC4Same destinations keeping its value.
//
// Included by image_simd-inl.h, whose load helpers it uses; every generation
// compiles it with its own flags and namespace.
//
// Every element goes through the vector shift, head and tail included, and
// the counts are clamped first, so a count at or beyond the element width
// gives zero (left, logical right) or the sign fill (arithmetic right) for
// any 32-bit count.
//
// Rows are walked one at a time.  Within a row of units (elements, or pixels
// of four channels): a head of single units brings the destination to a
// 16-byte boundary where the unit size allows it, blocks of whole vectors
// follow (aligned stores, the source loads aligned or not as decided once
// per row; unaligned stores where the destination cannot be aligned), then
// an 8-byte group, a 4-byte group and single units.
#pragma once

#include <algorithm>

namespace prim::PRIM_GEN_NS::image {
namespace {

// Lane masks, 16 bytes each: 0-3 channel c of two 8-bit pixels widened to
// 16-bit lanes (low byte of lanes c and c + 4); 4 the alpha bytes of four
// 8-bit pixels; 5-8 channel c of two 16-bit pixels (8: their alpha); 9-12
// channel c of one 32-bit pixel (12: its alpha); 13 the colour channels of
// one 32-bit pixel.
alignas(16) constexpr Prim8u owniShiftChannelMasks[14][16] = {
    {0xFF, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0},
    {0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF},
    {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0},
    {0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0},
    {0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0},
    {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}};

inline __m128i shiftMask(int i) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(owniShiftChannelMasks[i]));
}

enum class ShiftKind { Left, Logical, Arithmetic };

// The count that gives the same result as n for every element of Bits bits:
// Bits for left and logical shifts (all bits gone), Bits - 1 for arithmetic
// ones (sign fill).
template <ShiftKind K, int Bits>
inline int clampCount(Prim32u n) {
  return static_cast<int>(std::min<Prim32u>(n, K == ShiftKind::Arithmetic ? Bits - 1 : Bits));
}

// Lane shift of 16- or 32-bit lanes.
template <ShiftKind K, int Bits>
inline __m128i laneShift(__m128i x, __m128i cnt) {
  if constexpr (Bits == 16)
    return K == ShiftKind::Left      ? _mm_sll_epi16(x, cnt)
           : K == ShiftKind::Logical ? _mm_srl_epi16(x, cnt)
                                     : _mm_sra_epi16(x, cnt);
  else
    return K == ShiftKind::Left      ? _mm_sll_epi32(x, cnt)
           : K == ShiftKind::Logical ? _mm_srl_epi32(x, cnt)
                                     : _mm_sra_epi32(x, cnt);
}

// One count for every element.  8u: a 16-bit lane shift, then a byte mask
// removes what crossed between the bytes of a lane.  8s: each byte in the
// upper half of a 16-bit lane, shifted by n + 8 and packed back (no value
// saturates).
template <ShiftKind K, int Bits>
struct OneCount {
  __m128i cnt, byteMask;
  explicit OneCount(Prim32u n) {
    const int c = clampCount<K, Bits>(n);
    cnt = _mm_cvtsi32_si128(Bits == 8 && K == ShiftKind::Arithmetic ? c + 8 : c);
    // Only 8u uses the byte mask, where c is at most 8.
    const int b = std::min(c, 8);
    byteMask = _mm_set1_epi8(static_cast<char>(K == ShiftKind::Left ? (0xFF << b) & 0xFF : 0xFF >> b));
  }
  __m128i shift(__m128i x) const {
    if constexpr (Bits != 8) {
      return laneShift<K, Bits>(x, cnt);
    } else if constexpr (K == ShiftKind::Arithmetic) {
      const __m128i zero = _mm_setzero_si128();
      return _mm_packs_epi16(_mm_sra_epi16(_mm_unpacklo_epi8(zero, x), cnt),
                             _mm_sra_epi16(_mm_unpackhi_epi8(zero, x), cnt));
    } else {
      return _mm_and_si128(laneShift<K, 16>(x, cnt), byteMask);
    }
  }
  static constexpr bool kReadsDst = false;
  __m128i operator()(__m128i x, __m128i) const { return shift(x); }
};

// Alpha-keeping variant: the shifted colour channels, the alpha from the
// destination.  Alpha masks: 4 (8-bit), 8 (16-bit), 12 (32-bit).
template <class Op, int AlphaMask>
struct KeepAlpha {
  Op op;
  __m128i alpha = shiftMask(AlphaMask);
  static constexpr bool kReadsDst = true;
  __m128i operator()(__m128i x, __m128i old) const {
    return _mm_or_si128(_mm_andnot_si128(alpha, op.shift(x)), _mm_and_si128(alpha, old));
  }
};

// One count per channel of four-channel pixels: each channel's copy of the
// vector is shifted by its count and masked to its lanes.  Channels 3: the
// alpha comes from the destination.  8-bit pixels are widened to 16-bit
// lanes, two pixels per vector (8u zero-extended in the low half of each
// lane, 8s in the upper half shifted by the count + 8).
template <ShiftKind K, int Bits, int Channels>
struct PerChannel {
  __m128i cnt[Channels];
  explicit PerChannel(const Prim32u* shifts) {
    for (int c = 0; c < Channels; ++c) {
      const int n = clampCount<K, Bits>(shifts[c]);
      cnt[c] = _mm_cvtsi32_si128(Bits == 8 && K == ShiftKind::Arithmetic ? n + 8 : n);
    }
  }
  static constexpr bool kReadsDst = Channels == 3;
  static constexpr int kLaneBits = Bits == 8 ? 16 : Bits;
  static constexpr int kFirstMask = Bits == 32 ? 9 : Bits == 16 || K == ShiftKind::Arithmetic ? 5 : 0;

  __m128i channels(__m128i lanes) const {
    __m128i r = _mm_setzero_si128();
    for (int c = 0; c < Channels; ++c)
      r = _mm_or_si128(r, _mm_and_si128(laneShift<K, kLaneBits>(lanes, cnt[c]), shiftMask(kFirstMask + c)));
    return r;
  }
  __m128i operator()(__m128i x, __m128i old) const {
    __m128i r;
    if constexpr (Bits != 8) {
      r = channels(x);
    } else if constexpr (K == ShiftKind::Arithmetic) {
      const __m128i zero = _mm_setzero_si128();
      r = _mm_packs_epi16(channels(_mm_unpacklo_epi8(zero, x)), channels(_mm_unpackhi_epi8(zero, x)));
    } else {
      const __m128i zero = _mm_setzero_si128();
      r = _mm_packus_epi16(channels(_mm_unpacklo_epi8(x, zero)), channels(_mm_unpackhi_epi8(x, zero)));
    }
    if constexpr (Channels == 3) {
      const __m128i alpha = shiftMask(Bits == 8 ? 4 : Bits == 16 ? 8 : 12);
      r = _mm_or_si128(_mm_andnot_si128(alpha, r), _mm_and_si128(alpha, old));
    }
    return r;
  }
};

// Loads and stores of the low N bytes of a vector, at any address.
template <int N>
inline __m128i loadLow(const Prim8u* p) {
  if constexpr (N == 16)
    return loadU(p);
  else if constexpr (N == 8)
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  else if constexpr (N == 4)
    return _mm_cvtsi32_si128(load<std::int32_t>(p));
  else if constexpr (N == 2)
    return _mm_cvtsi32_si128(load<Prim16u>(p));
  else
    return _mm_cvtsi32_si128(*p);
}
template <int N>
inline void storeLow(Prim8u* p, __m128i v) {
  if constexpr (N == 16)
    storeU(p, v);
  else if constexpr (N == 8)
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
  else if constexpr (N == 4)
    store(p, _mm_cvtsi128_si32(v));
  else if constexpr (N == 2)
    store(p, static_cast<Prim16u>(_mm_cvtsi128_si32(v)));
  else
    *p = static_cast<Prim8u>(_mm_cvtsi128_si32(v));
}

// N bytes (a group of units) through the vector operation.
template <int N, class Op>
inline void shiftGroup(const Prim8u* s, Prim8u* d, const Op& op) {
  const __m128i old = Op::kReadsDst ? loadLow<N>(d) : _mm_setzero_si128();
  storeLow<N>(d, op(loadLow<N>(s), old));
}

// One row of `units` units of Unit bytes; Unroll vectors per main-loop step.
template <int Unit, int Unroll, class Op>
void shiftRowUnits(const Prim8u* s, Prim8u* d, int units, const Op& op) {
  constexpr int kPerVector = 16 / Unit;
  int r = units;
  if (addr(d) % Unit == 0) {
    const int k = static_cast<int>((16 - (addr(d) & 15)) & 15) / Unit;
    if (r >= k) {
      for (int i = 0; i < k; ++i, s += Unit, d += Unit) shiftGroup<Unit>(s, d, op);
      r -= k;
      const bool srcAligned = (addr(s) & 15) == 0;
      auto block = [&](int at) {
        const __m128i x =
            srcAligned ? _mm_load_si128(reinterpret_cast<const __m128i*>(s + at)) : loadU(s + at);
        const __m128i old =
            Op::kReadsDst ? _mm_load_si128(reinterpret_cast<const __m128i*>(d + at)) : _mm_setzero_si128();
        _mm_store_si128(reinterpret_cast<__m128i*>(d + at), op(x, old));
      };
      for (; r >= Unroll * kPerVector; r -= Unroll * kPerVector, s += 16 * Unroll, d += 16 * Unroll)
        for (int u = 0; u < Unroll; ++u) block(16 * u);
      for (; r >= kPerVector; r -= kPerVector, s += 16, d += 16) block(0);
    }
  } else {
    for (; r >= kPerVector; r -= kPerVector, s += 16, d += 16) shiftGroup<16>(s, d, op);
  }
  if constexpr (Unit <= 8) {
    if (r * Unit >= 8) {
      shiftGroup<8>(s, d, op);
      r -= 8 / Unit, s += 8, d += 8;
    }
  }
  if constexpr (Unit <= 4) {
    if (r * Unit >= 4) {
      shiftGroup<4>(s, d, op);
      r -= 4 / Unit, s += 4, d += 4;
    }
  }
  for (; r > 0; --r, s += Unit, d += Unit) shiftGroup<Unit>(s, d, op);
}

template <int Unit, int Unroll, class T, class Op>
void shiftRegion(const T* pSrc, int srcStep, T* pDst, int dstStep, int width, int height, const Op& op) {
  for (int r = 0; r < height; ++r)
    shiftRowUnits<Unit, Unroll>(reinterpret_cast<const Prim8u*>(row(pSrc, srcStep, r)),
                                reinterpret_cast<Prim8u*>(row(pDst, dstStep, r)), width, op);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::image

// The kernels of one element type and operation: one channel, C4, AC4 and
// AC4Same.  Unrolling: four vectors per step for one-channel rows of 16 and
// 32 bits and of 8u, two for 8s and AC4Same, one for C4 and AC4.
#define PRIM_SHIFT_KERNELS(name, T, kind, bits, unroll1)                                                   \
  void PRIM_BUILD(name)(const T* pSrc, int srcStep, T* pDst, int dstStep, int width, int height,           \
                        Prim32u shift) {                                                                   \
    using namespace prim::PRIM_GEN_NS::image;                                                              \
    shiftRegion<bits / 8, unroll1>(pSrc, srcStep, pDst, dstStep, width, height,                            \
                                   OneCount<ShiftKind::kind, bits>(shift));                                \
  }                                                                                                        \
  void PRIM_BUILD(name##_C4)(const T* pSrc, int srcStep, T* pDst, int dstStep, int width, int height,      \
                             const Prim32u* shifts) {                                                      \
    using namespace prim::PRIM_GEN_NS::image;                                                              \
    shiftRegion<bits / 2, 1>(pSrc, srcStep, pDst, dstStep, width, height,                                  \
                             PerChannel<ShiftKind::kind, bits, 4>(shifts));                                \
  }                                                                                                        \
  void PRIM_BUILD(name##_AC4)(const T* pSrc, int srcStep, T* pDst, int dstStep, int width, int height,     \
                              const Prim32u* shifts) {                                                     \
    using namespace prim::PRIM_GEN_NS::image;                                                              \
    shiftRegion<bits / 2, 1>(pSrc, srcStep, pDst, dstStep, width, height,                                  \
                             PerChannel<ShiftKind::kind, bits, 3>(shifts));                                \
  }                                                                                                        \
  void PRIM_BUILD(name##_AC4Same)(const T* pSrc, int srcStep, T* pDst, int dstStep, int width, int height, \
                                  const Prim32u* shifts) {                                                 \
    using namespace prim::PRIM_GEN_NS::image;                                                              \
    using One = OneCount<ShiftKind::kind, bits>;                                                           \
    shiftRegion<bits / 2, 2>(pSrc, srcStep, pDst, dstStep, width, height, KeepAlpha < One,                 \
                             bits == 8    ? 4                                                              \
                             : bits == 16 ? 8                                                              \
                                          : 12 > {One(shifts[0])});                                        \
  }
PRIM_SHIFT_KERNELS(owniLShiftC_8u, Prim8u, Left, 8, 4)
PRIM_SHIFT_KERNELS(owniRShiftC_8u, Prim8u, Logical, 8, 4)
PRIM_SHIFT_KERNELS(owniRShiftC_8s, std::int8_t, Arithmetic, 8, 2)
PRIM_SHIFT_KERNELS(owniLShiftC_16u, Prim16u, Left, 16, 4)
PRIM_SHIFT_KERNELS(owniRShiftC_16u, Prim16u, Logical, 16, 4)
PRIM_SHIFT_KERNELS(owniRShiftC_16s, Prim16s, Arithmetic, 16, 4)
PRIM_SHIFT_KERNELS(owniLShiftC_32s, Prim32s, Left, 32, 4)
PRIM_SHIFT_KERNELS(owniRShiftC_32s, Prim32s, Arithmetic, 32, 4)
#undef PRIM_SHIFT_KERNELS
