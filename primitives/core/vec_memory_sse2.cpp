// Copy, zero and set: sse2 builds.
#include <emmintrin.h>

#include <cstddef>

#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_entries.h"
#include "primitives/core/vec_memory_sse.h"

namespace prim::PRIM_GEN_NS {
namespace {

using namespace sse;

constexpr std::size_t shortCopy = 64;           // below: 4-byte words from the end down
constexpr std::size_t copyThreshold = 0x20000;  // non-temporal rule only above this

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
  bool nonTemporal = false;
  if (n > copyThreshold) {
    const Prim64s cache = ownKernelCacheSizeFromDescriptors();
    nonTemporal = cache > 0 && n >= static_cast<std::size_t>(cache / 2);
  }
  copyLong(s, d, n, nonTemporal);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PRIM_DEFINE_VEC_COPY_ENTRY(sse2, 8u, 1)
PRIM_DEFINE_VEC_COPY_ENTRY(sse2, 16s, 2)
PRIM_DEFINE_VEC_COPY_ENTRY(sse2, 32s, 4)
PRIM_DEFINE_VEC_FILL_ENTRIES(sse2)
