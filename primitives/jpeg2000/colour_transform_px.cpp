// Inverse component transforms: generic builds.
#include "primitives/jpeg2000/wavelet_builds.h"
#include "primitives/jpeg2000/wavelet_lift.h"

using namespace prim::PRIM_GEN_NS::wavelet;

PrimResult px_imgInvReversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width,
                                             int height) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y) {
    Prim16s* p0 = rowAt(pPlanes[0], step, y);
    Prim16s* p1 = rowAt(pPlanes[1], step, y);
    Prim16s* p2 = rowAt(pPlanes[2], step, y);
    for (int x = 0; x < width; ++x) rct16Sample(p0[x], p1[x], p2[x]);
  }
  return primResultOk;
}

PrimResult px_imgInvReversibleColor_32s_P3IR(Prim32s* const pPlanes[3], int step, int width,
                                             int height) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y) {
    Prim32s* p0 = rowAt(pPlanes[0], step, y);
    Prim32s* p1 = rowAt(pPlanes[1], step, y);
    Prim32s* p2 = rowAt(pPlanes[2], step, y);
    for (int x = 0; x < width; ++x) rct32Sample(p0[x], p1[x], p2[x]);
  }
  return primResultOk;
}

PrimResult px_imgInvIrreversibleColor_16s_P3IR(Prim16s* const pPlanes[3], int step, int width,
                                               int height) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y) {
    Prim16s* p0 = rowAt(pPlanes[0], step, y);
    Prim16s* p1 = rowAt(pPlanes[1], step, y);
    Prim16s* p2 = rowAt(pPlanes[2], step, y);
    for (int x = 0; x < width; ++x) ict16Sample(p0[x], p1[x], p2[x]);
  }
  return primResultOk;
}

PrimResult px_imgInvIrreversibleColor_32f_P3IR(Prim32f* const pPlanes[3], int step, int width,
                                               int height) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  const double kR = 1.402f, kGb = 0.34413f, kGr = 0.71414f, kB = 1.772f;
  for (int y = 0; y < height; ++y) {
    Prim32f* p0 = rowAt(pPlanes[0], step, y);
    Prim32f* p1 = rowAt(pPlanes[1], step, y);
    Prim32f* p2 = rowAt(pPlanes[2], step, y);
    for (int x = 0; x < width; ++x) {
      // Intermediates in double precision, each result rounded once.
      const double yy = p0[x], cr = p2[x], cb = p1[x];
      p0[x] = static_cast<float>(kR * cr + yy);
      p1[x] = static_cast<float>((yy - kGb * cb) - kGr * cr);
      p2[x] = static_cast<float>(yy + kB * cb);
    }
  }
  return primResultOk;
}
