// Inverse component transforms: generic builds.
#include <cstring>

#include "primitives/jpeg2000/colour_transform_builds.h"
#include "primitives/jpeg2000/wavelet_lift.h"

using namespace prim::PRIM_GEN_NS::wavelet;

namespace prim::PRIM_GEN_NS::wavelet {
namespace {
// Checks the planes, then applies `sample` to the three samples of every
// pixel, row by row.
template <class T, class Sample>
PrimResult forEachPixel(T* const pPlanes[3], int step, int width, int height, Sample sample) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y) {
    T* p0 = rowAt(pPlanes[0], step, y);
    T* p1 = rowAt(pPlanes[1], step, y);
    T* p2 = rowAt(pPlanes[2], step, y);
    for (int x = 0; x < width; ++x) sample(p0[x], p1[x], p2[x]);
  }
  return primResultOk;
}
}  // namespace
}  // namespace prim::PRIM_GEN_NS::wavelet

PrimResult px_imgInvReversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width, int height) {
  return forEachPixel(pPlanes, step, width, height,
                      [](Prim16s& a, Prim16s& b, Prim16s& c) { rct16Sample(a, b, c); });
}

PrimResult px_imgInvReversibleColor_32s_P3IR(Prim32s* const pPlanes[3], int step, int width, int height) {
  return forEachPixel(pPlanes, step, width, height,
                      [](Prim32s& a, Prim32s& b, Prim32s& c) { rct32Sample(a, b, c); });
}

PrimResult px_imgInvIrreversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width, int height) {
  return forEachPixel(pPlanes, step, width, height,
                      [](Prim16s& a, Prim16s& b, Prim16s& c) { ict16Sample(a, b, c); });
}

PrimResult px_imgInvIrreversibleColor_32f_P3IR(Prim32f* const pPlanes[3], int step, int width, int height) {
  const double kR = kIctCrToR, kGb = kIctCbToG, kGr = kIctCrToG, kB = kIctCbToB;
  return forEachPixel(pPlanes, step, width, height, [=](Prim32f& s0, Prim32f& s1, Prim32f& s2) {
    // Intermediates in double precision, each result rounded once.
    const double yy = s0, cr = s2, cb = s1;
    s0 = static_cast<float>(kR * cr + yy);
    s1 = static_cast<float>((yy - kGb * cb) - kGr * cr);
    s2 = static_cast<float>(yy + kB * cb);
  });
}

PrimResult px_imgInvIrreversibleColorToSamples_32f32s_P3(const Prim32f* const pSrc[3], Prim32s* const pDst[3],
                                                         int len, const Prim32s pOffset[3],
                                                         const Prim32s pLow[3], const Prim32s pHigh[3]) {
  const PrimResult r = checkToSamples(pSrc, pDst, len, pOffset, pLow, pHigh);
  if (r != primResultOk) return r;
  const SampleFinish finish[3] = {
      {pOffset[0], pLow[0], pHigh[0]}, {pOffset[1], pLow[1], pHigh[1]}, {pOffset[2], pLow[2], pHigh[2]}};
  for (int i = 0; i < len; ++i) {
    float rgb[3];
    ictToSamplesPixel(pSrc[0][i], pSrc[1][i], pSrc[2][i], rgb);
    for (int c = 0; c < 3; ++c) {
      const Prim32s s = roundHalfEven(finish[c].clamp(rgb[c])) + finish[c].offset;
      std::memcpy(pDst[c] + i, &s, sizeof s);
    }
  }
  return primResultOk;
}
