// The AVX kernels of copy, zero and set, shared by the avx and avx2 builds
// (the two generations run the same algorithms).  Included only by their
// builds (vec_memory_avx-inl.h); everything lives in the generation's
// namespace.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/core/cpu_internal.h"
#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::avx {

inline std::uintptr_t address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

inline constexpr std::size_t stringMoveThreshold = 32768;  // copies from here use the string move
inline constexpr std::size_t tailFirstThreshold = 16384;   // copies from here move their tail first
inline constexpr std::size_t largeThreshold = 0x200000;    // clears and fills above: large kernel

// ---------------------------------------------------------------------------
// Copy.

// Below 256 bytes: pieces of 128, 64, 32, 16, 8, 4, 2 and 1 bytes as the
// length's bits require, unaligned.
inline void copyPieces(const Prim8u* s, Prim8u* d, std::size_t n) {
  if (n & 128) std::memcpy(d, s, 128), s += 128, d += 128;
  if (n & 64) std::memcpy(d, s, 64), s += 64, d += 64;
  if (n & 32) std::memcpy(d, s, 32), s += 32, d += 32;
  if (n & 16) std::memcpy(d, s, 16), s += 16, d += 16;
  if (n & 8) std::memcpy(d, s, 8), s += 8, d += 8;
  if (n & 4) std::memcpy(d, s, 4), s += 4, d += 4;
  if (n & 2) std::memcpy(d, s, 2), s += 2, d += 2;
  if (n & 1) *d = *s;
}

template <bool aligned>
inline __m256i load32(const Prim8u* s) {
  if constexpr (aligned) return _mm256_load_si256(reinterpret_cast<const __m256i*>(s));
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
}
template <bool aligned>
inline void store32(Prim8u* d, __m256i v) {
  if constexpr (aligned)
    _mm256_store_si256(reinterpret_cast<__m256i*>(d), v);
  else
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v);
}

// 256-byte blocks of 32-byte moves.
template <bool aligned>
inline void copyBlocks(const Prim8u* s, Prim8u* d, std::size_t blocks) {
  for (; blocks > 0; --blocks, s += 256, d += 256) {
    const __m256i a = load32<aligned>(s), b = load32<aligned>(s + 32);
    const __m256i c = load32<aligned>(s + 64), e = load32<aligned>(s + 96);
    store32<aligned>(d, a), store32<aligned>(d + 32, b), store32<aligned>(d + 64, c),
        store32<aligned>(d + 96, e);
    const __m256i f = load32<aligned>(s + 128), g = load32<aligned>(s + 160);
    const __m256i h = load32<aligned>(s + 192), i = load32<aligned>(s + 224);
    store32<aligned>(d + 128, f), store32<aligned>(d + 160, g), store32<aligned>(d + 192, h),
        store32<aligned>(d + 224, i);
  }
}

// The string move.  The direction flag is cleared for the move; the calling
// convention has it clear at every call, so clearing it also restores it.
inline void moveStringBytes(const Prim8u*& s, Prim8u*& d, std::size_t count) {
  __asm__ volatile("cld\n\trep movsb" : "+S"(s), "+D"(d), "+c"(count) : : "memory", "cc");
}
inline void moveStringWords(const Prim8u*& s, Prim8u*& d, std::size_t count) {
  __asm__ volatile("cld\n\trep movsw" : "+S"(s), "+D"(d), "+c"(count) : : "memory", "cc");
}
inline void moveStringDwords(const Prim8u*& s, Prim8u*& d, std::size_t count) {
  __asm__ volatile("cld\n\trep movsl" : "+S"(s), "+D"(d), "+c"(count) : : "memory", "cc");
}

// From 32768 bytes: the widest element on which source and destination agree.
inline void copyString(const Prim8u* s, Prim8u* d, std::size_t n) {
  const std::uintptr_t skew = address(s) ^ address(d);
  if ((skew & 3) == 0) {
    if (address(d) & 1) *d++ = *s++, --n;
    if (address(d) & 2) std::memcpy(d, s, 2), d += 2, s += 2, n -= 2;
    moveStringDwords(s, d, n / 4);
    for (std::size_t i = 0; i < (n & 3); ++i) d[i] = s[i];
  } else if ((skew & 1) == 0) {
    if (address(d) & 1) *d++ = *s++, --n;
    moveStringWords(s, d, n / 2);
    if (n & 1) *d = *s;
  } else {
    moveStringBytes(s, d, n);
  }
}

inline void copyBytes(const Prim8u* s, Prim8u* d, std::size_t n) {
  if (n < 256) {
    copyPieces(s, d, n);
    return;
  }
  if (n >= stringMoveThreshold) {
    copyString(s, d, n);
    return;
  }
  const std::size_t blocks = n / 256, tail = n % 256, bodyBytes = n - tail;
  const bool aligned = ((address(s) | address(d)) & 31) == 0;
  if (n >= tailFirstThreshold) copyPieces(s + bodyBytes, d + bodyBytes, tail);
  if (aligned)
    copyBlocks<true>(s, d, blocks);
  else
    copyBlocks<false>(s, d, blocks);
  if (n < tailFirstThreshold) copyPieces(s + bodyBytes, d + bodyBytes, tail);
}

// ---------------------------------------------------------------------------
// Clear and fill.
//
// A fill writes a pattern whose period (1, 2 or 4 bytes) is the element size,
// held as one 32-bit word.  A store at byte offset o from the start of the
// fill uses the word rotated by the phase o mod period, so any destination
// address works.

struct Pattern {
  Prim32u word;           // bytes 0..3 of the pattern at phase 0
  std::size_t phaseMask;  // period - 1

  Prim32u at(std::size_t offset) const {
    const unsigned r = static_cast<unsigned>(offset & phaseMask) * 8;
    return r == 0 ? word : (word >> r) | (word << (32 - r));
  }
  __m256i vector(std::size_t offset) const { return _mm256_set1_epi32(static_cast<int>(at(offset))); }
};

// Below 256 bytes: pieces of 128, 64, 32, 16, 8, 4, 2 and 1 bytes as the
// length's bits require; d lies at byte offset `offset` from the fill start.
inline void fillPieces(Prim8u* d, std::size_t n, const Pattern& p, std::size_t offset) {
  if (n >= 16) {
    // Every piece from 128 to 4 bytes keeps the phase (the period divides 4).
    const __m256i v = p.vector(offset);
    if (n & 128) {
      for (int k = 0; k < 4; ++k) _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32 * k), v);
      d += 128;
    }
    if (n & 64) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32), v);
      d += 64;
    }
    if (n & 32) _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v), d += 32;
    if (n & 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(v)), d += 16;
    offset += n & ~std::size_t{15};
  }
  const Prim32u w = p.at(offset);
  if (n & 8) {
    const std::uint64_t w2 = (std::uint64_t{w} << 32) | w;
    std::memcpy(d, &w2, 8);
    d += 8;
  }
  if (n & 4) std::memcpy(d, &w, 4), d += 4;
  if (n & 2) std::memcpy(d, &w, 2), d += 2;
  if (n & 1) {
    const Prim32u last = p.at(offset + (n & 14));
    std::memcpy(d, &last, 1);
  }
}

// The ordinary kernel: pieces below 256 bytes; otherwise one unaligned
// 32-byte store, aligned 32-byte stores in 256-byte blocks from the next
// 32-byte boundary, and the rest as pieces.
inline void fillOrdinary(Prim8u* d, std::size_t n, const Pattern& p) {
  if (n < 256) {
    fillPieces(d, n, p, 0);
    return;
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), p.vector(0));
  std::size_t offset = 32 - (address(d) & 31);
  const __m256i v = p.vector(offset);
  Prim8u* q = d + offset;
  std::size_t rest = n - offset;
  for (; rest >= 256; rest -= 256, q += 256, offset += 256)
    for (int k = 0; k < 8; ++k) _mm256_store_si256(reinterpret_cast<__m256i*>(q + 32 * k), v);
  fillPieces(q, rest, p, offset);
}

// The large kernel: the first 64 bytes unaligned, then non-temporal 32-byte
// stores in 64-byte blocks from the next 64-byte boundary, the rest as
// pieces, then a store fence.
inline void fillNonTemporal(Prim8u* d, std::size_t n, const Pattern& p) {
  ownNoteNonTemporalPath();
  const __m256i v0 = p.vector(0);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v0);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32), v0);
  std::size_t offset = 64 - (address(d) & 63);
  const __m256i v = p.vector(offset);
  Prim8u* q = d + offset;
  std::size_t rest = n - offset;
  for (; rest >= 64; rest -= 64, q += 64, offset += 64) {
    _mm256_stream_si256(reinterpret_cast<__m256i*>(q), v);
    _mm256_stream_si256(reinterpret_cast<__m256i*>(q + 32), v);
  }
  fillPieces(q, rest, p, offset);
  _mm_sfence();
}

// elements x elementSize bytes at d; above the large threshold the cache size
// is asked for, and the fill bypasses the caches when the element count
// exceeds the cache size divided by the element size.
inline void fill(Prim8u* d, std::size_t elements, Prim32u word, std::size_t elementSize) {
  const Pattern p{word, elementSize - 1};
  const std::size_t n = elements * elementSize;
  if (n > largeThreshold) {
    const Prim64s cache = ownKernelLargestCacheSize();
    if (cache > 0 && elements > static_cast<std::size_t>(cache) / elementSize) {
      fillNonTemporal(d, n, p);
      return;
    }
  }
  fillOrdinary(d, n, p);
}

inline void fillBytes(Prim8u* d, std::size_t n, Prim8u value) { fill(d, n, value * 0x01010101u, 1); }
inline void fill16(Prim8u* d, std::size_t len, Prim16s value) {
  fill(d, len, static_cast<Prim16u>(value) * 0x00010001u, 2);
}
inline void fill32(Prim8u* d, std::size_t len, Prim32s value) {
  fill(d, len, static_cast<Prim32u>(value), 4);
}

}  // namespace prim::PRIM_GEN_NS::avx
