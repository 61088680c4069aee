// Helpers shared by every build of the image primitives: element access at
// any byte address, row addressing, checks and the scalar case arithmetic of
// the 16-bit multiply.
#pragma once

#include <cstdint>
#include <cstring>

#include "primitives/arith/scale_factor.h"
#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::image {

// Elements may sit at any byte address (odd rows, odd steps): move them as bytes.
template <class T>
inline T load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
inline void store(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

template <class T>
inline T* row(T* base, int step, int r) {
  return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(base) + std::intptr_t{step} * r);
}
template <class T>
inline const T* row(const T* base, int step, int r) {
  return reinterpret_cast<const T*>(reinterpret_cast<std::uintptr_t>(base) + std::intptr_t{step} * r);
}

inline PrimResult checkSet(const void* dst, int width, int height) {
  if (!dst) return primResultNullPointer;
  if (width < 1 || height < 1) return primResultBadSize;
  return primResultOk;
}
inline PrimResult checkCopy(const void* src, const void* dst, int width, int height) {
  if (!src || !dst) return primResultNullPointer;
  if (width < 1 || height < 1) return primResultBadSize;
  return primResultOk;
}
inline PrimResult checkShift(const void* src, int srcStep, const void* dst, int dstStep, int width,
                             int height) {
  if (!src || !dst) return primResultNullPointer;
  if (srcStep < 1 || dstStep < 1) return primResultBadStep;
  if (width < 1 || height < 1) return primResultBadSize;
  return primResultOk;
}

// Scale-factor cases of the 16-bit multiply, chosen once per call.
enum class MulCase { Zero, Copy, Sfs0, Sfs1, SfsPos, SfsNeg, SfsNegSat };
inline MulCase mulCase(Prim16s value, int sf) {
  if (value == 0) return MulCase::Zero;
  if (sf == 0) return value == 1 ? MulCase::Copy : MulCase::Sfs0;
  if (sf > 30) return MulCase::Zero;
  if (sf == 1) return MulCase::Sfs1;
  if (sf > 0) return MulCase::SfsPos;
  return sf < -14 ? MulCase::SfsNegSat : MulCase::SfsNeg;
}

// One element of the 16-bit multiply by the scale-factor rule.
inline Prim16s mulElement(Prim16s src, Prim16s value, int sf) {
  return sfs::apply<Prim16s>(std::int32_t{src} * value, sf);
}

// Contiguous when the step equals the row length; the byte count of the
// whole region must also fit an int to be handled as one run.
inline bool mergeable(std::int64_t rowBytes, std::int64_t height, int step1, int step2) {
  return step1 == rowBytes && step2 == rowBytes && rowBytes * height <= INT32_MAX;
}

}  // namespace prim::PRIM_GEN_NS::image
