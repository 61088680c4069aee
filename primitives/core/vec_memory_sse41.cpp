// Copy, zero and set: sse41 builds.
#include <smmintrin.h>

#include <cstddef>

#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_entries.h"
#include "primitives/core/vec_memory_sse.h"

namespace prim::PRIM_GEN_NS {
namespace {

using namespace sse;

constexpr std::size_t shortCopy = 64;            // below: pieces of 32, 16, 8, 4, then bytes
constexpr std::size_t copyThreshold = 0x100000;  // non-temporal rule from this size on

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
  bool nonTemporal = false;
  if (n >= copyThreshold) {
    const Prim64s cache = ownKernelCacheSizeFromDescriptors();
    nonTemporal = cache > 0 && n >= static_cast<std::size_t>(cache / 2);
  }
  copyLong(s, d, n, nonTemporal);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PRIM_DEFINE_VEC_COPY_ENTRY(sse41, 8u, 1)
PRIM_DEFINE_VEC_COPY_ENTRY(sse41, 16s, 2)
PRIM_DEFINE_VEC_COPY_ENTRY(sse41, 32s, 4)
PRIM_DEFINE_VEC_FILL_ENTRIES(sse41)
