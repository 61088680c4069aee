// The code-block decoder of one generation: the significance propagation
// scan, shared by the MQ-coded and the raw significance passes.  From sse2
// on, a full stripe is coded as a list of the samples to code, found with
// vector compares of the flag words; px and short stripes go column by
// column.
#pragma once

#include "primitives/jpeg2000/codeblock_pass_setup-inl.h"

namespace prim::PRIM_GEN_NS {
namespace cb {

// Row r of the significance pass: a sample not yet significant with a
// significant neighbour is coded, and marked visited.
template <int r, class Bits>
PRIM_CB_INLINE void significanceRow(const Pass& P, Bits& bits, u32& f, u32* w, u8* c, bool skipAbove) {
  const u32 k = P.zcSpp[(f >> (3 * r)) & kWindow];
  if (k == 0) return;
  if (bits.significanceIn(k)) {
    const u32 neg = bits.sign(signIndex<r>(f, w));
    store32(opaque(c) + r * P.dstStep, (neg << 31) | P.newMag);
    markSignificant<r>(f, w, P.fs, neg, skipAbove);
  }
  f |= visitBit(r);
}

template <int r, class Bits>
PRIM_CB_INLINE void significanceRowIf(const Pass& P, Bits& bits, u32& f, u32* w, u8* c, int rows,
                                      bool skipAbove) {
  if (r < rows) significanceRow<r>(P, bits, f, w, c, skipAbove);
}

#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
// Bit i moved to bit 4i, for the row masks of four (eight) columns.
struct NibbleTable {
  u32 t[256];
};
constexpr NibbleTable makeNibbleTable() {
  NibbleTable z{};
  for (u32 m = 0; m < 256; ++m)
    for (int i = 0; i < 8; ++i)
      if (m & (1u << i)) z.t[m] |= 1u << (4 * i);
  return z;
}
alignas(64) inline constexpr NibbleTable kNibbles = makeNibbleTable();

// The samples of columns 0..n-1 (n 1 to 16) of a full stripe, from their
// words at w, that the significance pass codes as things stand: bit 4x + r
// for row r of column x, set where the sample is not significant and has a
// significant neighbour.  Whole vectors are read: the border word and the
// padding of the flag row lie after the last column.
PRIM_CB_INLINE std::uint64_t candidateSamples(const u32* w, int n, std::uint64_t& significant) {
  std::uint64_t m = 0;
  significant = 0;
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX2
  const __m256i nb = _mm256_set1_epi32(static_cast<int>(kNeighbours));
  const __m256i zero = _mm256_setzero_si256();
  for (int i = 0; i < n; i += 8) {
    const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + i));
    if (_mm256_testz_si256(f, f)) continue;
    const u32 lanes = n - i >= 8 ? 0xFFu : (1u << (n - i)) - 1u;
    u32 nib = 0;
    u32 sig = 0;
    for (int r = 0; r < 4; ++r) {
      const __m256i sb = _mm256_set1_epi32(static_cast<int>(sigBit(r)));
      const __m256i on = _mm256_cmpeq_epi32(_mm256_and_si256(f, sb), sb);
      const __m256i idle =
          _mm256_or_si256(_mm256_cmpeq_epi32(_mm256_and_si256(_mm256_srli_epi32(f, 3 * r), nb), zero), on);
      nib |= kNibbles.t[~static_cast<u32>(_mm256_movemask_ps(_mm256_castsi256_ps(idle))) & lanes] << r;
      sig |= kNibbles.t[static_cast<u32>(_mm256_movemask_ps(_mm256_castsi256_ps(on)))] << r;
    }
    m |= static_cast<std::uint64_t>(nib) << (4 * i);
    significant |= static_cast<std::uint64_t>(sig) << (4 * i);
  }
#else
  const __m128i nb = _mm_set1_epi32(static_cast<int>(kNeighbours));
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < n; i += 4) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(f, zero)) == 0xFFFF) continue;
    const u32 lanes = n - i >= 4 ? 0xFu : (1u << (n - i)) - 1u;
    u32 nib = 0;
    u32 sig = 0;
    for (int r = 0; r < 4; ++r) {
      const __m128i sb = _mm_set1_epi32(static_cast<int>(sigBit(r)));
      const __m128i on = _mm_cmpeq_epi32(_mm_and_si128(f, sb), sb);
      const __m128i idle =
          _mm_or_si128(_mm_cmpeq_epi32(_mm_and_si128(_mm_srli_epi32(f, 3 * r), nb), zero), on);
      nib |= kNibbles.t[~static_cast<u32>(_mm_movemask_ps(_mm_castsi128_ps(idle))) & lanes] << r;
      sig |= kNibbles.t[static_cast<u32>(_mm_movemask_ps(_mm_castsi128_ps(on)))] << r;
    }
    m |= static_cast<std::uint64_t>(nib) << (4 * i);
    significant |= static_cast<std::uint64_t>(sig) << (4 * i);
  }
#endif
  return m;
}

// Sets the visited mark of the samples of a list (bit 4x + r for row r of
// column x) in the words of their columns at w.
PRIM_CB_INLINE void markVisited(u32* w, std::uint64_t m) {
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX2
  const __m256i shifts = _mm256_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28);
  const __m256i nibble = _mm256_set1_epi32(0xF);
  for (int i = 0; i < 16; i += 8) {
    const u32 part = static_cast<u32>(m >> (4 * i));
    if (part == 0) continue;
    const __m256i rows =
        _mm256_and_si256(_mm256_srlv_epi32(_mm256_set1_epi32(static_cast<int>(part)), shifts), nibble);
    __m256i* const p = reinterpret_cast<__m256i*>(w + i);
    _mm256_storeu_si256(p, _mm256_or_si256(_mm256_loadu_si256(p), _mm256_slli_epi32(rows, 24)));
  }
#else
  while (m != 0) {
    const int x = lowestBit(m) >> 2;
    w[x] |= static_cast<u32>((m >> (4 * x)) & 0xFu) << 24;
    m &= ~(std::uint64_t{0xF} << (4 * x));
  }
#endif
}

// The samples of the list that row r of a column adds when it becomes
// significant, as bits of the list from that column's bit 0 (bit 4x + r is
// row r of column x): the row below it, and rows r - 1 to r + 1 of the next
// column, inside the stripe.  kAddedByRow holds them for row r in byte r.
constexpr u32 addedByRow(int r) {
  u32 m = r < 3 ? 1u << (r + 1) : 0u;
  for (int k = r - 1; k <= r + 1; ++k)
    if (k >= 0 && k < 4) m |= 1u << (4 + k);
  return m;
}
constexpr u32 kAddedByRow = addedByRow(0) | addedByRow(1) << 8 | addedByRow(2) << 16 | addedByRow(3) << 24;

// A full stripe of the significance pass, taken as a list of the samples to
// code rather than column by column: the list of up to 16 columns comes from
// their words at once, and a sample that becomes significant adds the
// samples it gives a significant neighbour (the row below it, and three rows
// of the next column) when they are not significant themselves.
template <class Bits>
PRIM_CB_INLINE void significanceStripe(const Pass& P, Bits& bits, u32* w, u8* c, bool skipAbove) {
  for (int x0 = 0; x0 < P.width; x0 += 16, w += 16, c += 64) {
    const int n = P.width - x0 < 16 ? P.width - x0 : 16;
    const std::uint64_t limit = n < 16 ? (std::uint64_t{1} << (4 * n)) - 1u : ~std::uint64_t{0};
    std::uint64_t significant;
    std::uint64_t todo = candidateSamples(w, n, significant);
    if (todo == 0) continue;
    // The samples that a sample becoming significant may add: those not
    // significant as the list starts.  The ones the list makes significant
    // all come before any sample a later one adds (the row below it and the
    // next column), so the mask needs no update.
    const std::uint64_t open = ~significant & limit;
    // The context of sample i of the list as the words stand.
    auto contextOf = [&](int i) PRIM_CB_LAMBDA_INLINE {
      return P.zcSpp[(load32(reinterpret_cast<const u8*>(w) + (i & ~3)) >> (3 * (i & 3))) & kWindow];
    };
    // The samples coded, marked visited once the list is done: nothing in
    // the pass reads the visited marks.
    std::uint64_t coded = todo;
    int b = lowestBit(todo);
    u32 k = contextOf(b);
    for (;;) {
      todo &= todo - 1;
      // The next sample and its context, found before this decision: they
      // stay right unless this sample becomes significant.
      int bn = lowestBit(todo | (todo == 0 ? std::uint64_t{1} << b : 0u));
      u32 kn = contextOf(bn);
      if (bits.significanceIn(k)) {
        const int x4 = b & ~3;  // bytes from column 0 to the sample's word and coefficient
        const int r = b & 3;
        u32* wc = reinterpret_cast<u32*>(reinterpret_cast<u8*>(w) + x4);
        // The sample's significance goes into its stripe before its sign
        // is decided: the contexts of the samples after it depend on that
        // alone, so the next one is found while the sign is decided.  The
        // sign context does not look at the sample's own bit.
        u32 f = *wc;
        const u32 si = signIndexAt(f, wc, r);
        // (sigBit(r) here, kSigBitAt<r, 1> west, kSigBitAt<r, -1> east.)
        f |= 1u << (3 * r + 4);
        wc[-1] |= 1u << (3 * r + 5);
        wc[1] |= 1u << (3 * r + 3);
        *wc = f;
        // The samples it gives a significant neighbour, where not
        // significant, become candidates.
        const u32 rows = (kAddedByRow >> (8 * r)) & 0xFFu;
        const std::uint64_t added = (static_cast<std::uint64_t>(rows) << x4) & open;
        todo |= added;
        coded |= added;
        if (todo != 0) {
          bn = lowestBit(todo);
          kn = contextOf(bn);
        }
        const u32 neg = bits.signIn(kSignAt.t[si]);
        store32(c + x4 + r * P.dstStep, (neg << 31) | P.newMag);
        // Then the sign, and the stripes above and below.
        markSignAt(wc, P.fs, neg, r, skipAbove);
      }
      if (todo == 0) break;
      b = bn;
      k = kn;
    }
    markVisited(w, coded);
  }
}
#endif

template <class Bits>
PRIM_CB_INLINE void significanceScan(const Pass& P, Bits& bits, u32 causal) {
  const bool skipAbove = causal != 0;
  for (int y0 = 0; y0 < P.height; y0 += 4) {
    const int rows = P.height - y0 < 4 ? P.height - y0 : 4;
    u32* w = P.flags + (1 + y0 / 4) * P.fs + 1;
    u8* c = P.dst + y0 * P.dstStep;
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
    if (rows == 4) {
      significanceStripe(P, bits, w, c, skipAbove);
      continue;
    }
#endif
    if (rows == 4) {
      for (int x = 0; x < P.width; ++x, ++w, c += 4) {
        u32 f = *w;
        if (f == 0) continue;
        significanceRow<0>(P, bits, f, w, c, skipAbove);
        significanceRow<1>(P, bits, f, w, c, false);
        significanceRow<2>(P, bits, f, w, c, false);
        significanceRow<3>(P, bits, f, w, c, false);
        *w = f;
      }
    } else {
      for (int x = 0; x < P.width; ++x, ++w, c += 4) {
        u32 f = *w;
        if (f == 0) continue;
        significanceRowIf<0>(P, bits, f, w, c, rows, skipAbove);
        significanceRowIf<1>(P, bits, f, w, c, rows, false);
        significanceRowIf<2>(P, bits, f, w, c, rows, false);
        *w = f;
      }
    }
  }
}

}  // namespace cb
}  // namespace prim::PRIM_GEN_NS
