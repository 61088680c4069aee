// Image primitives: generic builds, element by element and row by row.
#include "primitives/image/image_builds.h"
#include "primitives/image/image_common-inl.h"

namespace im = prim::PRIM_GEN_NS::image;

PrimResult px_imgSet_8u_C1R(Prim8u value, Prim8u* pDst, int dstStep, int width, int height) {
  if (PrimResult st = im::checkSet(pDst, width, height)) return st;
  for (int r = 0; r < height; ++r) {
    Prim8u* d = im::row(pDst, dstStep, r);
    for (int x = 0; x < width; ++x) d[x] = value;
  }
  return primResultOk;
}

PrimResult px_imgSet_16s_C1R(Prim16s value, Prim16s* pDst, int dstStep, int width, int height) {
  if (PrimResult st = im::checkSet(pDst, width, height)) return st;
  for (int r = 0; r < height; ++r) {
    Prim16s* d = im::row(pDst, dstStep, r);
    for (int x = 0; x < width; ++x) im::store(d + x, value);
  }
  return primResultOk;
}

namespace {
template <class T>
PrimResult copyRegion(const T* pSrc, int srcStep, T* pDst, int dstStep, int width, int height) {
  if (PrimResult st = im::checkCopy(pSrc, pDst, width, height)) return st;
  for (int r = 0; r < height; ++r) {
    const T* s = im::row(pSrc, srcStep, r);
    T* d = im::row(pDst, dstStep, r);
    for (int x = 0; x < width; ++x) im::store(d + x, im::load<T>(s + x));
  }
  return primResultOk;
}
}  // namespace

PrimResult px_imgCopy_16s_C1R(const Prim16s* pSrc, int srcStep, Prim16s* pDst, int dstStep, int width,
                              int height) {
  return copyRegion(pSrc, srcStep, pDst, dstStep, width, height);
}
PrimResult px_imgCopy_32s_C1R(const Prim32s* pSrc, int srcStep, Prim32s* pDst, int dstStep, int width,
                              int height) {
  return copyRegion(pSrc, srcStep, pDst, dstStep, width, height);
}

PrimResult px_imgMulC_16s_C1RSfs(const Prim16s* pSrc, int srcStep, Prim16s value, Prim16s* pDst, int dstStep,
                                 int width, int height, int scaleFactor) {
  if (PrimResult st = im::checkCopy(pSrc, pDst, width, height)) return st;
  switch (im::mulCase(value, scaleFactor)) {
    case im::MulCase::Zero:
      return px_imgSet_16s_C1R(0, pDst, dstStep, width, height);
    case im::MulCase::Copy:
      return px_imgCopy_16s_C1R(pSrc, srcStep, pDst, dstStep, width, height);
    default:
      break;
  }
  for (int r = 0; r < height; ++r) {
    const Prim16s* s = im::row(pSrc, srcStep, r);
    Prim16s* d = im::row(pDst, dstStep, r);
    for (int x = 0; x < width; ++x)
      im::store(d + x, im::mulElement(im::load<Prim16s>(s + x), value, scaleFactor));
  }
  return primResultOk;
}

PrimResult px_imgMulC_32f_C1R(const Prim32f* pSrc, int srcStep, Prim32f value, Prim32f* pDst, int dstStep,
                              int width, int height) {
  if (PrimResult st = im::checkCopy(pSrc, pDst, width, height)) return st;
  for (int r = 0; r < height; ++r) {
    const Prim32f* s = im::row(pSrc, srcStep, r);
    Prim32f* d = im::row(pDst, dstStep, r);
    for (int x = 0; x < width; ++x) im::store(d + x, im::load<Prim32f>(s + x) * value);
  }
  return primResultOk;
}

PrimResult px_imgRShiftC_16s_C1R(const Prim16s* pSrc, int srcStep, Prim32u shift, Prim16s* pDst, int dstStep,
                                 int width, int height) {
  if (PrimResult st = im::checkShift(pSrc, srcStep, pDst, dstStep, width, height)) return st;
  if (shift == 0) return px_imgCopy_16s_C1R(pSrc, srcStep, pDst, dstStep, width, height);
  const int count = shift > 31 ? 31 : static_cast<int>(shift);
  for (int r = 0; r < height; ++r) {
    const Prim16s* s = im::row(pSrc, srcStep, r);
    Prim16s* d = im::row(pDst, dstStep, r);
    for (int x = 0; x < width; ++x)
      im::store(d + x, static_cast<Prim16s>(std::int32_t{im::load<Prim16s>(s + x)} >> count));
  }
  return primResultOk;
}
