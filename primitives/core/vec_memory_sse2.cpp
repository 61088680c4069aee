// Copy, zero and set: sse2 builds (placeholder element loops until the
// generation's own kernels land).
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {
namespace {
template <class T>
PrimResult copyLoop(const T* s, T* d, int len) {
  if (!s || !d) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  for (int i = 0; i < len; ++i) d[i] = s[i];
  return primResultOk;
}
template <class T>
PrimResult setLoop(T v, T* d, int len) {
  if (!d) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  for (int i = 0; i < len; ++i) d[i] = v;
  return primResultOk;
}
}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult sse2_vecCopy_8u(const Prim8u* s, Prim8u* d, int n) { return copyLoop(s, d, n); }
PrimResult sse2_vecCopy_16s(const Prim16s* s, Prim16s* d, int n) { return copyLoop(s, d, n); }
PrimResult sse2_vecCopy_32s(const Prim32s* s, Prim32s* d, int n) { return copyLoop(s, d, n); }
PrimResult sse2_vecZero_8u(Prim8u* d, int n) { return setLoop<Prim8u>(0, d, n); }
PrimResult sse2_vecZero_16s(Prim16s* d, int n) { return setLoop<Prim16s>(0, d, n); }
PrimResult sse2_vecZero_32s(Prim32s* d, int n) { return setLoop<Prim32s>(0, d, n); }
PrimResult sse2_vecSet_8u(Prim8u v, Prim8u* d, int n) { return setLoop(v, d, n); }
PrimResult sse2_vecSet_16s(Prim16s v, Prim16s* d, int n) { return setLoop(v, d, n); }
PrimResult sse2_vecSet_32s(Prim32s v, Prim32s* d, int n) { return setLoop(v, d, n); }
