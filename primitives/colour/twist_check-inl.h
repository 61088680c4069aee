// Argument checks and row plan of the colour twist, the same in every build.
#pragma once

#include <cstdint>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::twist {

inline PrimResult checkArguments(const void* pSrc, int srcStep, const void* pDst, int dstStep,
                                 PrimRoiSize roi, const void* twist) {
  if (!pSrc || !pDst || !twist) return primResultNullPointer;
  if (roi.width < 1 || roi.height < 1) return primResultBadSize;
  if (srcStep < 1 || dstStep < 1) return primResultBadStep;
  return primResultOk;
}

// Calls run(src, dst, floats) once per run: one run for rows that lie back to
// back in both images, else one per row.
template <class Run>
inline void forEachRun(const float* pSrc, int srcStep, float* pDst, int dstStep, PrimRoiSize roi, Run run) {
  const std::int64_t rowBytes = std::int64_t{12} * roi.width;
  if (srcStep == dstStep && srcStep == rowBytes) {
    run(pSrc, pDst, 3 * roi.width * roi.height);
    return;
  }
  for (int r = 0; r < roi.height; ++r) {
    run(reinterpret_cast<const float*>(reinterpret_cast<const char*>(pSrc) + std::int64_t{r} * srcStep),
        reinterpret_cast<float*>(reinterpret_cast<char*>(pDst) + std::int64_t{r} * dstStep), 3 * roi.width);
  }
}

}  // namespace prim::PRIM_GEN_NS::twist
