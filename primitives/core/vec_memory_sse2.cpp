// Copy, zero and set: sse2 builds.
#include <emmintrin.h>

#include <cstddef>

#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_entries.h"
#include "primitives/core/vec_memory_sse.h"

namespace prim::PRIM_GEN_NS {
namespace {

using namespace sse;

constexpr std::size_t shortCopy = 64;              // below: 4-byte words from the end down
constexpr std::size_t copyThreshold = 0x20000;     // non-temporal rule only above this
constexpr std::size_t nonTemporalChunk = 0x40000;  // pre-read and written chunk by chunk

template <bool alignedSource>
inline __m128i load(const Prim8u* s) {
  if constexpr (alignedSource) return _mm_load_si128(reinterpret_cast<const __m128i*>(s));
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
}

// Copies n bytes (a multiple of 64) to a 16-byte aligned destination.
template <bool alignedSource, bool nonTemporal>
void body(const Prim8u* s, Prim8u* d, std::size_t n) {
  for (; n >= 64; n -= 64, s += 64, d += 64) {
    const __m128i a = load<alignedSource>(s), b = load<alignedSource>(s + 16);
    const __m128i c = load<alignedSource>(s + 32), e = load<alignedSource>(s + 48);
    __m128i* q = reinterpret_cast<__m128i*>(d);
    if constexpr (nonTemporal) {
      _mm_stream_si128(q, a), _mm_stream_si128(q + 1, b), _mm_stream_si128(q + 2, c), _mm_stream_si128(q + 3, e);
    } else {
      _mm_store_si128(q, a), _mm_store_si128(q + 1, b), _mm_store_si128(q + 2, c), _mm_store_si128(q + 3, e);
    }
  }
}

template <bool nonTemporal>
void bodyAnySource(const Prim8u* s, Prim8u* d, std::size_t n) {
  if ((address(s) & 15) == 0)
    body<true, nonTemporal>(s, d, n);
  else
    body<false, nonTemporal>(s, d, n);
}

void copyBytes(const Prim8u* s, Prim8u* d, std::size_t n) {
  if (n < shortCopy) {
    if (n < 4) {
      for (std::size_t i = n; i-- > 0;) d[i] = s[i];
      return;
    }
    // Words from the end down; the first word overlaps the rest.
    std::size_t off = n - 4;
    for (;;) {
      copy4(d + off, s + off);
      if (off <= 4) break;
      off -= 4;
    }
    if (off) copy4(d, s);
    return;
  }
  const Prim8u* const sEnd = s + n;
  Prim8u* const dEnd = d + n;
  bool nonTemporal = false;
  if (n > copyThreshold) {
    const Prim64s cache = ownKernelCacheSizeFromDescriptors();
    nonTemporal = cache > 0 && n >= static_cast<std::size_t>(cache / 2);
  }
  // One unaligned move, then on from the next 16-byte boundary.
  copy16u(d, s);
  const std::size_t head = 16 - (address(d) & 15);
  s += head, d += head, n -= head;
  std::size_t bodyBytes = n & ~std::size_t{63};
  if (nonTemporal) {
    ownNoteNonTemporalPath();
    while (bodyBytes > 0) {
      const std::size_t chunk = bodyBytes < nonTemporalChunk ? bodyBytes : nonTemporalChunk;
      touchSource(s, chunk);
      bodyAnySource<true>(s, d, chunk);
      s += chunk, d += chunk, n -= chunk, bodyBytes -= chunk;
    }
    _mm_sfence();
  } else {
    bodyAnySource<false>(s, d, bodyBytes);
    s += bodyBytes, d += bodyBytes, n -= bodyBytes;
  }
  for (; n >= 16; n -= 16, s += 16, d += 16) copy16u(d, s);
  if (n) copy16u(dEnd - 16, sEnd - 16);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PRIM_DEFINE_VEC_COPY_ENTRY(sse2, 8u, 1)
PRIM_DEFINE_VEC_COPY_ENTRY(sse2, 16s, 2)
PRIM_DEFINE_VEC_COPY_ENTRY(sse2, 32s, 4)
PRIM_DEFINE_VEC_FILL_ENTRIES(sse2)
