// Copy, zero and set: ssse3 builds (they also serve the movbe slot).
#include <tmmintrin.h>

#include <cstddef>

#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_entries.h"
#include "primitives/core/vec_memory_sse.h"

namespace prim::PRIM_GEN_NS {
namespace {

using namespace sse;

constexpr std::size_t shortCopy = 16;           // below: overlapping stores at both ends
constexpr std::size_t copyThreshold = 0x20000;  // non-temporal rule only above this

// Copies n bytes (a multiple of 128) to a 16-byte aligned destination.
template <bool alignedSource, bool nonTemporal>
void body(const Prim8u* s, Prim8u* d, std::size_t n) {
  for (; n >= 128; n -= 128, s += 128, d += 128) {
    const __m128i x0 = load<alignedSource>(s + 0);
    const __m128i x1 = load<alignedSource>(s + 16);
    const __m128i x2 = load<alignedSource>(s + 32);
    const __m128i x3 = load<alignedSource>(s + 48);
    const __m128i x4 = load<alignedSource>(s + 64);
    const __m128i x5 = load<alignedSource>(s + 80);
    const __m128i x6 = load<alignedSource>(s + 96);
    const __m128i x7 = load<alignedSource>(s + 112);
    store<nonTemporal>(d + 0, x0);
    store<nonTemporal>(d + 16, x1);
    store<nonTemporal>(d + 32, x2);
    store<nonTemporal>(d + 48, x3);
    store<nonTemporal>(d + 64, x4);
    store<nonTemporal>(d + 80, x5);
    store<nonTemporal>(d + 96, x6);
    store<nonTemporal>(d + 112, x7);
  }
}

void copyBytes(const Prim8u* s, Prim8u* d, std::size_t n) {
  if (n < shortCopy) {
    if (n >= 8) {
      const Prim8u* sl = s + n - 8;
      Prim8u tail[8];
      std::memcpy(tail, sl, 8);
      copy8(d, s);
      std::memcpy(d + n - 8, tail, 8);
    } else if (n >= 4) {
      Prim8u tail[4];
      std::memcpy(tail, s + n - 4, 4);
      copy4(d, s);
      std::memcpy(d + n - 4, tail, 4);
    } else {
      for (std::size_t i = 0; i < n; ++i) d[i] = s[i];
    }
    return;
  }
  const Prim8u* const sEnd = s + n;
  Prim8u* const dEnd = d + n;
  bool nonTemporal = false;
  if (n > copyThreshold) {
    const Prim64s cache = ownKernelCacheSizeFromDescriptors();
    nonTemporal = cache > 0 && n > static_cast<std::size_t>(cache / 2);
  }
  // 1-, 2-, 4- and 8-byte steps up to the 16-byte boundary.
  const std::size_t head = (0 - address(d)) & 15;
  if (head & 1) *d++ = *s++;
  if (head & 2) std::memcpy(d, s, 2), d += 2, s += 2;
  if (head & 4) copy4(d, s), d += 4, s += 4;
  if (head & 8) copy8(d, s), d += 8, s += 8;
  n -= head;
  const std::size_t bodyBytes = n & ~std::size_t{127};
  const bool alignedSource = (address(s) & 15) == 0;
  if (nonTemporal) {
    ownNoteNonTemporalPath();
    if (alignedSource)
      body<true, true>(s, d, bodyBytes);
    else
      body<false, true>(s, d, bodyBytes);
    _mm_sfence();
  } else if (alignedSource) {
    body<true, false>(s, d, bodyBytes);
  } else {
    body<false, false>(s, d, bodyBytes);
  }
  s += bodyBytes, d += bodyBytes, n -= bodyBytes;
  for (; n >= 16; n -= 16, s += 16, d += 16) copy16u(d, s);
  if (n) copy16u(dEnd - 16, sEnd - 16);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PRIM_DEFINE_VEC_COPY_ENTRY(ssse3, 8u, 1)
PRIM_DEFINE_VEC_COPY_ENTRY(ssse3, 16s, 2)
PRIM_DEFINE_VEC_COPY_ENTRY(ssse3, 32s, 4)
PRIM_DEFINE_VEC_FILL_ENTRIES(ssse3)

PrimResult ssse3_ownsZero_16s(Prim16s* pDst, int len) { return ssse3_vecZero_16s(pDst, len); }
PrimResult ssse3_ownsZero_32s(Prim32s* pDst, int len) { return ssse3_vecZero_32s(pDst, len); }
