// Conversion and shift primitives: px builds (scalar code).
#include "primitives/convert/vec_convert_builds.h"
#include "primitives/convert/vec_convert_common-inl.h"
#include "primitives/core/vec_memory_builds.h"

namespace cv = prim::PRIM_GEN_NS::convert;

PrimResult px_vecConvert_32s16s(const Prim32s* pSrc, Prim16s* pDst, int len) {
  if (PrimResult st = cv::checkConvert(pSrc, pDst, len)) return st;
  for (int i = 0; i < len; ++i) {
    const Prim32s v = cv::ld(pSrc, i);
    cv::st(pDst, i, static_cast<Prim16s>(v < -32768 ? -32768 : (v >= 32767 ? 32767 : v)));
  }
  return primResultOk;
}

void px_ownsConvert_32f32s_Near_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int scaleFactor) {
  cv::MxcsrScope scope(cv::kMxcsrNearest);
  cv::convertScalar(pSrc, pDst, len, cv::Round::nearestEven, scaleFactor);
}

PrimResult px_vecConvert_32f32s_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int roundMode,
                                    int scaleFactor) {
  if (PrimResult st = cv::checkConvert(pSrc, pDst, len)) return st;
  if (roundMode == 1) {
    px_ownsConvert_32f32s_Near_Sfs(pSrc, pDst, len, scaleFactor);
    return primResultOk;
  }
  cv::MxcsrScope scope(cv::kMxcsrNearest);
  cv::convertScalar(pSrc, pDst, len, cv::roundOf(roundMode), scaleFactor);
  return primResultOk;
}

PrimResult px_vecConvert_32s32f_Sfs(const Prim32s* pSrc, Prim32f* pDst, int len, int scaleFactor) {
  if (PrimResult st = cv::checkConvert(pSrc, pDst, len)) return st;
  cv::MxcsrKeep keep;
  if (scaleFactor == 0) {
    for (int i = 0; i < len; ++i) cv::st(pDst, i, static_cast<Prim32f>(cv::ld(pSrc, i)));
    return primResultOk;
  }
  // The product is exact in double precision and rounded once to float under
  // the caller's rounding mode.
  const double m = cv::pow2NegFloat(cv::clampIntToFloatFactor(scaleFactor));
  for (int i = 0; i < len; ++i)
    cv::st(pDst, i, static_cast<Prim32f>(static_cast<double>(cv::ld(pSrc, i)) * m));
  return primResultOk;
}

PrimResult px_ownsLShiftC_16s_Body(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  if (val == 0) return px_vecCopy_16s(pSrc, pDst, len);
  if (val > 15) {
    if (!pSrc) return primResultNullPointer;
    return px_vecZero_16s(pDst, len);
  }
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  for (int i = 0; i < len; ++i) cv::st(pDst, i, cv::shl16(cv::ld(pSrc, i), val));
  return primResultOk;
}

PrimResult px_vecLShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  return px_ownsLShiftC_16s_Body(pSrc, val, pDst, len);
}

PrimResult px_vecRShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  if (val == 0) return px_vecCopy_16s(pSrc, pDst, len);
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  const int n = val > 15 ? 15 : val;  // 15 already leaves only the sign
  for (int i = 0; i < len; ++i) cv::st(pDst, i, cv::sar16(cv::ld(pSrc, i), n));
  return primResultOk;
}

PrimResult px_vecRShiftC_32s(const Prim32s* pSrc, int val, Prim32s* pDst, int len) {
  if (val == 0) return px_vecCopy_32s(pSrc, pDst, len);
  if (PrimResult st = cv::checkShift(pSrc, val, pDst, len)) return st;
  const int n = val > 31 ? 31 : val;
  for (int i = 0; i < len; ++i) cv::st(pDst, i, cv::sar32(cv::ld(pSrc, i), n));
  return primResultOk;
}
