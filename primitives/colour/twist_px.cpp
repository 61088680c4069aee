// Colour twist: generic build, double precision, rounded once per output.
#include <cstring>

#include "primitives/colour/twist_builds.h"
#include "primitives/colour/twist_check-inl.h"

PrimResult px_imgColorTwist_32f_C3R(const Prim32f* pSrc, int srcStep, Prim32f* pDst, int dstStep,
                                    PrimRoiSize roi, const Prim32f twist[3][4]) {
  namespace t = prim::PRIM_GEN_NS::twist;
  if (const PrimResult st = t::checkArguments(pSrc, srcStep, pDst, dstStep, roi, twist)) return st;
  t::forEachRun(pSrc, srcStep, pDst, dstStep, roi, [twist](const float* s, float* d, int len) {
    double m[3][4];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j) m[i][j] = twist[i][j];
    for (int p = 0; p < len; p += 3) {
      // Rows need not be 4-byte aligned: move the floats as bytes.
      float in[3], out[3];
      std::memcpy(in, s + p, sizeof in);
      const double s0 = in[0], s1 = in[1], s2 = in[2];
      for (int i = 0; i < 3; ++i)
        out[i] = static_cast<float>(((m[i][0] * s0 + m[i][3]) + m[i][1] * s1) + m[i][2] * s2);
      std::memcpy(d + p, out, sizeof out);
    }
  });
  return primResultOk;
}
