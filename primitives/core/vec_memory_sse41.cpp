// Copy, zero and set: sse41 builds.
#include <smmintrin.h>

#include <cstddef>

#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_entries.h"
#include "primitives/core/vec_memory_sse.h"

namespace prim::PRIM_GEN_NS {
namespace {

using namespace sse;

constexpr std::size_t shortCopy = 64;              // below: pieces of 32, 16, 8, 4, then bytes
constexpr std::size_t copyThreshold = 0x100000;    // non-temporal rule from this size on
constexpr std::size_t nonTemporalChunk = 0x40000;  // pre-read and written chunk by chunk

// Copies n bytes (a multiple of 64) to a 16-byte aligned destination.
template <bool alignedSource>
inline __m128i load(const Prim8u* s) {
  if constexpr (alignedSource) return _mm_load_si128(reinterpret_cast<const __m128i*>(s));
  return _mm_lddqu_si128(reinterpret_cast<const __m128i*>(s));
}
template <bool nonTemporal>
inline void store(Prim8u* d, __m128i v) {
  if constexpr (nonTemporal)
    _mm_stream_si128(reinterpret_cast<__m128i*>(d), v);
  else
    _mm_store_si128(reinterpret_cast<__m128i*>(d), v);
}

template <bool alignedSource, bool nonTemporal>
void body(const Prim8u* s, Prim8u* d, std::size_t n) {
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
void bodyAnySource(const Prim8u* s, Prim8u* d, std::size_t n) {
  if ((address(s) & 15) == 0)
    body<true, nonTemporal>(s, d, n);
  else
    body<false, nonTemporal>(s, d, n);
}

void copyShort(const Prim8u* s, Prim8u* d, std::size_t n) {
  std::size_t off = 0;
  if (n & 32) copy16u(d, s), copy16u(d + 16, s + 16), off = 32;
  if (n & 16) copy16u(d + off, s + off), off += 16;
  if (n & 8) copy8(d + off, s + off), off += 8;
  if (n & 4) copy4(d + off, s + off), off += 4;
  for (std::size_t i = n; i-- > off;) d[i] = s[i];
}

void copyBytes(const Prim8u* s, Prim8u* d, std::size_t n) {
  if (n < shortCopy) {
    copyShort(s, d, n);
    return;
  }
  const Prim8u* const sEnd = s + n;
  Prim8u* const dEnd = d + n;
  bool nonTemporal = false;
  if (n >= copyThreshold) {
    const Prim64s cache = ownKernelCacheSizeFromDescriptors();
    nonTemporal = cache > 0 && n >= static_cast<std::size_t>(cache / 2);
  }
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

PRIM_DEFINE_VEC_COPY_ENTRY(sse41, 8u, 1)
PRIM_DEFINE_VEC_COPY_ENTRY(sse41, 16s, 2)
PRIM_DEFINE_VEC_COPY_ENTRY(sse41, 32s, 4)
PRIM_DEFINE_VEC_FILL_ENTRIES(sse41)
