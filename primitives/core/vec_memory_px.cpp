// Copy, zero and set: px builds, plain scalar code.  These are the reference
// every other build reproduces: copy moves bytes from the first upward; zero
// and fill write single bytes up to a 4-byte boundary, then 32-byte blocks of
// 32-bit words, then the rest.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {
namespace {

void copyBytes(const Prim8u* s, Prim8u* d, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) d[i] = s[i];
}

void store32(Prim8u* d, Prim32u w) { std::memcpy(d, &w, 4); }
bool aligned4(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) & 3) == 0; }

void fillBytes(Prim8u v, Prim8u* d, std::size_t n) {
  while (n > 0 && !aligned4(d)) {
    *d++ = v;
    --n;
  }
  const Prim32u w = v * 0x01010101u;
  for (; n >= 32; n -= 32, d += 32)
    for (int k = 0; k < 32; k += 4) store32(d + k, w);
  for (std::size_t i = 0; i < n; ++i) d[i] = v;
}

void fill16(Prim16s v, Prim8u* d, std::size_t len) {
  auto one = [v](Prim8u* p) { std::memcpy(p, &v, 2); };
  if (reinterpret_cast<std::uintptr_t>(d) & 1) {  // never reaches a 4-byte boundary
    for (std::size_t i = 0; i < len; ++i) one(d + 2 * i);
    return;
  }
  if (len > 0 && !aligned4(d)) {
    one(d);
    d += 2;
    --len;
  }
  const Prim32u u = static_cast<Prim16u>(v);
  const Prim32u w = u | (u << 16);
  for (; len >= 16; len -= 16, d += 32)
    for (int k = 0; k < 32; k += 4) store32(d + k, w);
  for (std::size_t i = 0; i < len; ++i) one(d + 2 * i);
}

void fill32(Prim32s v, Prim8u* d, std::size_t len) {
  auto one = [v](Prim8u* p) { std::memcpy(p, &v, 4); };
  for (; len >= 8; len -= 8, d += 32)
    for (int k = 0; k < 32; k += 4) one(d + k);
  for (std::size_t i = 0; i < len; ++i) one(d + 4 * i);
}

Prim8u* bytes(void* p) { return static_cast<Prim8u*>(p); }
const Prim8u* bytes(const void* p) { return static_cast<const Prim8u*>(p); }

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult px_vecCopy_8u(const Prim8u* pSrc, Prim8u* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  copyBytes(pSrc, pDst, static_cast<std::size_t>(len));
  return primResultOk;
}
PrimResult px_vecCopy_16s(const Prim16s* pSrc, Prim16s* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  copyBytes(bytes(pSrc), bytes(pDst), static_cast<std::size_t>(len) * 2);
  return primResultOk;
}
PrimResult px_vecCopy_32s(const Prim32s* pSrc, Prim32s* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  copyBytes(bytes(pSrc), bytes(pDst), static_cast<std::size_t>(len) * 4);
  return primResultOk;
}

PrimResult px_vecZero_8u(Prim8u* pDst, int len) {
  if (!pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  fillBytes(0, pDst, static_cast<std::size_t>(len));
  return primResultOk;
}
PrimResult px_vecZero_16s(Prim16s* pDst, int len) {
  if (!pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  fillBytes(0, bytes(pDst), static_cast<std::size_t>(len) * 2);
  return primResultOk;
}
PrimResult px_vecZero_32s(Prim32s* pDst, int len) {
  if (!pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  fillBytes(0, bytes(pDst), static_cast<std::size_t>(len) * 4);
  return primResultOk;
}

PrimResult px_vecSet_8u(Prim8u val, Prim8u* pDst, int len) {
  if (!pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  fillBytes(val, pDst, static_cast<std::size_t>(len));
  return primResultOk;
}
PrimResult px_vecSet_16s(Prim16s val, Prim16s* pDst, int len) {
  if (!pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  fill16(val, bytes(pDst), static_cast<std::size_t>(len));
  return primResultOk;
}
PrimResult px_vecSet_32s(Prim32s val, Prim32s* pDst, int len) {
  if (!pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  fill32(val, bytes(pDst), static_cast<std::size_t>(len));
  return primResultOk;
}
