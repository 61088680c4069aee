// Threshold primitives: generic builds.
#include <cmath>
#include <cstring>

#include "primitives/colour/threshold_builds.h"
#include "primitives/core/gen_namespace.h"

namespace prim::PRIM_GEN_NS::threshold {
namespace {
// Elements need not be aligned to their size: they move as bytes.
template <class T>
inline T load(const T* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
inline void store(T* p, T v) {
  std::memcpy(p, &v, sizeof v);
}
template <class T, class Pick>
inline void loop(const T* s, T* d, int len, Pick pick) {
  for (int i = 0; i < len; ++i) store(d + i, pick(load(s + i)));
}
inline PrimResult check(const void* s, const void* d, int len) {
  if (!s || !d) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  return primResultOk;
}
inline PrimResult checkRelation(PrimThresholdRelation rel) {
  return rel == primRelationLT || rel == primRelationGT ? primResultOk : primResultBadArgument;
}
}  // namespace
}  // namespace prim::PRIM_GEN_NS::threshold

namespace th = prim::PRIM_GEN_NS::threshold;

PrimResult px_ownsThreshold_32f(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level,
                                PrimThresholdRelation rel) {
  if (PrimResult st = th::check(pSrc, pDst, len)) return st;
  if (PrimResult st = th::checkRelation(rel)) return st;
  if (std::isnan(level)) {  // a NaN level is handed back in quiet form
    std::uint32_t u;
    std::memcpy(&u, &level, 4);
    u |= 0x00400000u;
    std::memcpy(&level, &u, 4);
  }
  if (rel == primRelationLT)
    th::loop(pSrc, pDst, len, [level](float x) { return x > level ? x : level; });
  else
    th::loop(pSrc, pDst, len, [level](float x) { return x < level ? x : level; });
  return primResultOk;
}

PrimResult px_ownsThreshold_16s(const Prim16s* pSrc, Prim16s* pDst, int len, Prim32s level,
                                PrimThresholdRelation rel) {
  if (PrimResult st = th::check(pSrc, pDst, len)) return st;
  if (PrimResult st = th::checkRelation(rel)) return st;
  if (rel == primRelationLT)
    th::loop(pSrc, pDst, len, [level](Prim16s x) { return static_cast<Prim16s>(x > level ? x : level); });
  else
    th::loop(pSrc, pDst, len, [level](Prim16s x) { return static_cast<Prim16s>(x < level ? x : level); });
  return primResultOk;
}

PrimResult px_vecThreshold_LT_32f(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level) {
  return px_ownsThreshold_32f(pSrc, pDst, len, level, primRelationLT);
}
PrimResult px_vecThreshold_GT_32f(const Prim32f* pSrc, Prim32f* pDst, int len, Prim32f level) {
  return px_ownsThreshold_32f(pSrc, pDst, len, level, primRelationGT);
}
PrimResult px_vecThreshold_LT_16s(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level) {
  return px_ownsThreshold_16s(pSrc, pDst, len, level, primRelationLT);
}
PrimResult px_vecThreshold_GT_16s(const Prim16s* pSrc, Prim16s* pDst, int len, Prim16s level) {
  return px_ownsThreshold_16s(pSrc, pDst, len, level, primRelationGT);
}
PrimResult px_vecThreshold_LT_32s(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level) {
  if (PrimResult st = th::check(pSrc, pDst, len)) return st;
  th::loop(pSrc, pDst, len, [level](Prim32s x) { return level > x ? level : x; });
  return primResultOk;
}
PrimResult px_vecThreshold_GT_32s(const Prim32s* pSrc, Prim32s* pDst, int len, Prim32s level) {
  if (PrimResult st = th::check(pSrc, pDst, len)) return st;
  th::loop(pSrc, pDst, len, [level](Prim32s x) { return x > level ? level : x; });
  return primResultOk;
}
