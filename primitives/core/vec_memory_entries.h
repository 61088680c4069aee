// Build entries of copy, zero and set over a generation's byte kernels.  A
// generation source defines, in prim::PRIM_GEN_NS (brought in with a using
// directive), copyBytes(src, dst, n), fillBytes(dst, n, byte), fill16(dst,
// elements, value) and fill32(dst, elements, value), n and element counts in
// size_t, and expands these macros at file scope (`gen` may be PRIM_GEN_NS
// itself).  The checks come first:
// null pointers, then the length.
#pragma once

#include <cstddef>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

#define PRIM_VEC_MEMORY_BYTES(p) static_cast<Prim8u*>(static_cast<void*>(p))
#define PRIM_VEC_MEMORY_CBYTES(p) static_cast<const Prim8u*>(static_cast<const void*>(p))

#define PRIM_DEFINE_VEC_COPY_ENTRY(gen, T, size)                                             \
  PrimResult PRIM_BUILD_CAT(gen, vecCopy_##T)(const Prim##T* pSrc, Prim##T* pDst, int len) { \
    if (!pSrc || !pDst) return primResultNullPointer;                                        \
    if (len < 1) return primResultBadSize;                                                   \
    copyBytes(PRIM_VEC_MEMORY_CBYTES(pSrc), PRIM_VEC_MEMORY_BYTES(pDst),                     \
              static_cast<std::size_t>(len) * (size));                                       \
    return primResultOk;                                                                     \
  }

#define PRIM_DEFINE_VEC_ZERO_ENTRY(gen, T, size)                                       \
  PrimResult PRIM_BUILD_CAT(gen, vecZero_##T)(Prim##T * pDst, int len) {               \
    if (!pDst) return primResultNullPointer;                                           \
    if (len < 1) return primResultBadSize;                                             \
    fillBytes(PRIM_VEC_MEMORY_BYTES(pDst), static_cast<std::size_t>(len) * (size), 0); \
    return primResultOk;                                                               \
  }

#define PRIM_DEFINE_VEC_FILL_ENTRIES(gen)                                            \
  PRIM_DEFINE_VEC_ZERO_ENTRY(gen, 8u, 1)                                             \
  PRIM_DEFINE_VEC_ZERO_ENTRY(gen, 16s, 2)                                            \
  PRIM_DEFINE_VEC_ZERO_ENTRY(gen, 32s, 4)                                            \
  PrimResult PRIM_BUILD_CAT(gen, vecSet_8u)(Prim8u val, Prim8u * pDst, int len) {    \
    if (!pDst) return primResultNullPointer;                                         \
    if (len < 1) return primResultBadSize;                                           \
    fillBytes(pDst, static_cast<std::size_t>(len), val);                             \
    return primResultOk;                                                             \
  }                                                                                  \
  PrimResult PRIM_BUILD_CAT(gen, vecSet_16s)(Prim16s val, Prim16s * pDst, int len) { \
    if (!pDst) return primResultNullPointer;                                         \
    if (len < 1) return primResultBadSize;                                           \
    fill16(PRIM_VEC_MEMORY_BYTES(pDst), static_cast<std::size_t>(len), val);         \
    return primResultOk;                                                             \
  }                                                                                  \
  PrimResult PRIM_BUILD_CAT(gen, vecSet_32s)(Prim32s val, Prim32s * pDst, int len) { \
    if (!pDst) return primResultNullPointer;                                         \
    if (len < 1) return primResultBadSize;                                           \
    fill32(PRIM_VEC_MEMORY_BYTES(pDst), static_cast<std::size_t>(len), val);         \
    return primResultOk;                                                             \
  }
