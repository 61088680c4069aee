// The SSE2 clear and fill kernels shared by the sse2, ssse3 and sse41 builds
// of copy, zero and set, and the helpers and the long path of their copy
// kernels.  Included only by those generation sources; everything lives in
// the generation's namespace.
#pragma once

#include <emmintrin.h>
#if defined(__SSE3__)
#include <pmmintrin.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/core/cpu_internal.h"
#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::sse {

inline std::uintptr_t address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

inline Prim8u* bytes(void* p) { return static_cast<Prim8u*>(p); }
inline const Prim8u* bytes(const void* p) { return static_cast<const Prim8u*>(p); }

// Clear and fill thresholds: the non-temporal rule is considered only above
// these sizes.
inline constexpr std::size_t fillBytesThreshold = 0x80000;  // bytes after alignment
inline constexpr std::size_t fill16Threshold = 0x80000;     // elements
inline constexpr std::size_t fill32Threshold = 0x40000;     // elements

// Writes n bytes of the 16-byte pattern v (whose period divides every store
// offset used here: the caller starts at an element boundary) at d.
// wantNonTemporal(bodyBytes) decides, for a body of the given size after the
// destination alignment, whether the body bypasses the caches.
template <class NonTemporalRule>
inline void fill(Prim8u* d, std::size_t n, __m128i v, NonTemporalRule wantNonTemporal) {
  alignas(16) Prim8u pattern[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(pattern), v);
  if (n < 16) {
    // Overlapping stores at both ends.
    if (n >= 8) {
      std::memcpy(d, pattern, 8);
      std::memcpy(d + n - 8, pattern, 8);
    } else if (n >= 4) {
      std::memcpy(d, pattern, 4);
      std::memcpy(d + n - 4, pattern, 4);
    } else {
      for (std::size_t i = 0; i < n; ++i) d[i] = pattern[i];
    }
    return;
  }
  Prim8u* const end = d + n;
  // 1-, 2-, 4- and 8-byte stores up to the 16-byte boundary.  The pattern
  // repeats every element, and each step starts at an element boundary.
  const std::size_t head = (0 - address(d)) & 15;
  if (head & 1) *d++ = pattern[0];
  if (head & 2) std::memcpy(d, pattern, 2), d += 2;
  if (head & 4) std::memcpy(d, pattern, 4), d += 4;
  if (head & 8) std::memcpy(d, pattern, 8), d += 8;
  n -= head;
  if (wantNonTemporal(n)) {
    ownNoteNonTemporalPath();
    for (; n >= 64; n -= 64, d += 64) {
      _mm_stream_si128(reinterpret_cast<__m128i*>(d), v);
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + 16), v);
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + 32), v);
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + 48), v);
    }
    _mm_sfence();
  } else {
    for (; n >= 64; n -= 64, d += 64) {
      _mm_store_si128(reinterpret_cast<__m128i*>(d), v);
      _mm_store_si128(reinterpret_cast<__m128i*>(d + 16), v);
      _mm_store_si128(reinterpret_cast<__m128i*>(d + 32), v);
      _mm_store_si128(reinterpret_cast<__m128i*>(d + 48), v);
    }
  }
  for (; n >= 16; n -= 16, d += 16) _mm_store_si128(reinterpret_cast<__m128i*>(d), v);
  // The last bytes: one store ending at the end (the whole length is at least
  // 16 and a multiple of the element size).
  if (n) _mm_storeu_si128(reinterpret_cast<__m128i*>(end - 16), v);
}

// Zero and Set_8u: non-temporal when the body after alignment is above the
// threshold and at least the cache size.
inline void fillBytes(Prim8u* d, std::size_t n, Prim8u value) {
  fill(d, n, _mm_set1_epi8(static_cast<char>(value)), [](std::size_t body) {
    if (body <= fillBytesThreshold) return false;
    const Prim64s cache = ownKernelCacheSizeFromDescriptors();
    return cache > 0 && body >= static_cast<std::size_t>(cache);
  });
}

// Set_16s: element by element at an odd address; non-temporal when the
// element count is above its threshold and above half the cache in bytes.
inline void fill16(Prim8u* d, std::size_t len, Prim16s value) {
  if (address(d) & 1) {
    for (std::size_t i = 0; i < len; ++i) std::memcpy(d + 2 * i, &value, 2);
    return;
  }
  fill(d, len * 2, _mm_set1_epi16(value), [len](std::size_t) {
    if (len <= fill16Threshold) return false;
    const Prim64s cache = ownKernelCacheSizeFromDescriptors();
    return cache > 0 && len > static_cast<std::size_t>(cache / 2);
  });
}

// Set_32s: element by element at an address that is not 4-byte aligned;
// non-temporal when the element count is above its threshold and above a
// quarter of the cache in bytes.
inline void fill32(Prim8u* d, std::size_t len, Prim32s value) {
  if (address(d) & 3) {
    for (std::size_t i = 0; i < len; ++i) std::memcpy(d + 4 * i, &value, 4);
    return;
  }
  fill(d, len * 4, _mm_set1_epi32(value), [len](std::size_t) {
    if (len <= fill32Threshold) return false;
    const Prim64s cache = ownKernelCacheSizeFromDescriptors();
    return cache > 0 && len > static_cast<std::size_t>(cache / 4);
  });
}

// Copy helpers.
inline void copy4(Prim8u* d, const Prim8u* s) { std::memcpy(d, s, 4); }
inline void copy8(Prim8u* d, const Prim8u* s) { std::memcpy(d, s, 8); }
inline void copy16u(Prim8u* d, const Prim8u* s) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
}

// Reads one byte in every 32 of a source range, bringing it into the cache
// before it is written out with non-temporal stores.
inline void touchSource(const Prim8u* s, std::size_t n) {
  Prim8u sum = 0;
  for (std::size_t i = 0; i < n; i += 32)
    sum = static_cast<Prim8u>(sum + *static_cast<const volatile Prim8u*>(s + i));
  static_cast<void>(sum);
}

// The copy path below is local to each source that includes this file, so
// that the compiler folds it into that source's copy kernel.
namespace {

// Loads and stores of the copy bodies.  The unaligned load is LDDQU where the
// generation has SSE3.
template <bool alignedSource>
inline __m128i load(const Prim8u* s) {
  if constexpr (alignedSource) return _mm_load_si128(reinterpret_cast<const __m128i*>(s));
#if defined(__SSE3__)
  return _mm_lddqu_si128(reinterpret_cast<const __m128i*>(s));
#else
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
#endif
}
template <bool nonTemporal>
inline void store(Prim8u* d, __m128i v) {
  if constexpr (nonTemporal)
    _mm_stream_si128(reinterpret_cast<__m128i*>(d), v);
  else
    _mm_store_si128(reinterpret_cast<__m128i*>(d), v);
}

// Copies n bytes (a multiple of 64) to a 16-byte aligned destination.
template <bool alignedSource, bool nonTemporal>
inline void body64(const Prim8u* s, Prim8u* d, std::size_t n) {
  for (; n >= 64; n -= 64, s += 64, d += 64) {
    const __m128i x0 = load<alignedSource>(s + 0);
    const __m128i x1 = load<alignedSource>(s + 16);
    const __m128i x2 = load<alignedSource>(s + 32);
    const __m128i x3 = load<alignedSource>(s + 48);
    store<nonTemporal>(d + 0, x0);
    store<nonTemporal>(d + 16, x1);
    store<nonTemporal>(d + 32, x2);
    store<nonTemporal>(d + 48, x3);
  }
}

template <bool nonTemporal>
inline void body64AnySource(const Prim8u* s, Prim8u* d, std::size_t n) {
  if ((address(s) & 15) == 0)
    body64<true, nonTemporal>(s, d, n);
  else
    body64<false, nonTemporal>(s, d, n);
}

// Non-temporal copies pre-read and write their body chunk by chunk.
inline constexpr std::size_t nonTemporalChunk = 0x40000;

// The long copy of the sse2 and sse41 builds (n at least their short-copy
// size): one unaligned move, then on from the next 16-byte boundary in 64-byte
// blocks (cached or non-temporal as the caller chose), 16-byte moves, and a
// last move ending at the end.
inline void copyLong(const Prim8u* s, Prim8u* d, std::size_t n, bool nonTemporal) {
  const Prim8u* const sEnd = s + n;
  Prim8u* const dEnd = d + n;
  copy16u(d, s);
  const std::size_t head = 16 - (address(d) & 15);
  s += head, d += head, n -= head;
  std::size_t bodyBytes = n & ~std::size_t{63};
  if (nonTemporal) {
    ownNoteNonTemporalPath();
    while (bodyBytes > 0) {
      const std::size_t chunk = bodyBytes < nonTemporalChunk ? bodyBytes : nonTemporalChunk;
      touchSource(s, chunk);
      body64AnySource<true>(s, d, chunk);
      s += chunk, d += chunk, n -= chunk, bodyBytes -= chunk;
    }
    _mm_sfence();
  } else {
    body64AnySource<false>(s, d, bodyBytes);
    s += bodyBytes, d += bodyBytes, n -= bodyBytes;
  }
  for (; n >= 16; n -= 16, s += 16, d += 16) copy16u(d, s);
  if (n) copy16u(dEnd - 16, sEnd - 16);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::sse
