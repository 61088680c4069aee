// Copy, zero and set: the builds over the AVX kernels of vec_memory_avx.h.
// The avx and avx2 sources each compile this file (the two generations run
// the same algorithms).
#include <cstddef>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/vec_memory_avx.h"
#include "primitives/core/vec_memory_builds.h"
#include "primitives/core/vec_memory_entries.h"

using namespace prim::PRIM_GEN_NS::avx;

PRIM_DEFINE_VEC_COPY_ENTRY(PRIM_GEN_NS, 8u, 1)
PRIM_DEFINE_VEC_FILL_ENTRIES(PRIM_GEN_NS)

// The 16-bit and 32-bit copies go through the byte copy's entry, in pieces of
// 0x7fffffe0 bytes while the rest would not fit its length.
PrimResult PRIM_BUILD(vecCopy_16s)(const Prim16s* pSrc, Prim16s* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  const Prim8u* s = PRIM_VEC_MEMORY_CBYTES(pSrc);
  Prim8u* d = PRIM_VEC_MEMORY_BYTES(pDst);
  while (len > 0x3fffffff) {
    PRIM_BUILD(vecCopy_8u)(s, d, 0x7fffffe0);
    s += 0x7fffffe0, d += 0x7fffffe0, len -= 0x3ffffff0;
  }
  return PRIM_BUILD(vecCopy_8u)(s, d, len * 2);
}

PrimResult PRIM_BUILD(vecCopy_32s)(const Prim32s* pSrc, Prim32s* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  const Prim8u* s = PRIM_VEC_MEMORY_CBYTES(pSrc);
  Prim8u* d = PRIM_VEC_MEMORY_BYTES(pDst);
  if (len > 0x1fffffff) {
    // The rest after these pieces is 8 to 0x1fffffff elements.
    for (int pieces = (len - 8) / 0x1ffffff8; pieces > 0; --pieces) {
      PRIM_BUILD(vecCopy_8u)(s, d, 0x7fffffe0);
      s += 0x7fffffe0, d += 0x7fffffe0, len -= 0x1ffffff8;
    }
  }
  return PRIM_BUILD(vecCopy_8u)(s, d, len * 4);
}
