// Image primitives: allocation, the region-copy cache lookup, dispatch tables
// and public entries.
#include "primitives/image/image.h"

#include <cstdint>

#include "primitives/core/cpu_internal.h"
#include "primitives/core/dispatch.h"
#include "primitives/core/memory.h"
#include "primitives/image/image_builds.h"

namespace {

Prim8u* allocate(int widthBytes, int height, int* pStep) {
  if (!pStep) return nullptr;
  if (widthBytes < 1 || height < 1) {
    *pStep = 0;
    return nullptr;
  }
  // Computed in 64 bits: a buffer whose size does not fit the allocator's
  // int is refused instead of wrapping.
  const std::int64_t step = (std::int64_t{widthBytes} + 63) & ~std::int64_t{63};
  if (step > INT32_MAX) {
    *pStep = 0;
    return nullptr;
  }
  *pStep = static_cast<int>(step);
  const std::int64_t bytes = step * height;
  if (bytes > INT32_MAX) return nullptr;
  return static_cast<Prim8u*>(primAlignedMalloc(static_cast<int>(bytes)));
}

}  // namespace

std::atomic<int> owniTestRegionCacheSize{-1};

int owniRegionCacheSize() {
  const int forced = owniTestRegionCacheSize.load(std::memory_order_relaxed);
  if (forced >= 0) return forced;
  return static_cast<int>(ownLargeCacheSizeFromDescriptors(true));
}

Prim8u* px_imgMalloc_8u_C1(int widthBytes, int height, int* pStep) {
  return allocate(widthBytes, height, pStep);
}
Prim8u* sse2_imgMalloc_8u_C1(int widthBytes, int height, int* pStep) {
  return allocate(widthBytes, height, pStep);
}
void px_imgFree(void* p) { primAlignedFree(p); }
void sse2_imgFree(void* p) { primAlignedFree(p); }
void ssse3_imgFree(void* p) { primAlignedFree(p); }

namespace {
// Allocation has one build for every SIMD generation, the sse2 one.
PRIM_DISPATCH_TABLE_ROW(imgMalloc_8u_C1, px_imgMalloc_8u_C1, sse2_imgMalloc_8u_C1, sse2_imgMalloc_8u_C1,
                        sse2_imgMalloc_8u_C1, sse2_imgMalloc_8u_C1, sse2_imgMalloc_8u_C1,
                        sse2_imgMalloc_8u_C1);
// Release runs the ssse3 build in the ssse3 and movbe slots and the sse2 build
// in every other SIMD slot.
PRIM_DISPATCH_TABLE_ROW(imgFree, px_imgFree, sse2_imgFree, ssse3_imgFree, ssse3_imgFree, sse2_imgFree,
                        sse2_imgFree, sse2_imgFree);
PRIM_DISPATCH_TABLE(imgSet_8u_C1R);
PRIM_DISPATCH_TABLE(imgCopy_16s_C1R);
PRIM_DISPATCH_TABLE(imgCopy_32s_C1R);
PRIM_DISPATCH_TABLE(imgMulC_16s_C1RSfs);
PRIM_DISPATCH_TABLE(imgMulC_32f_C1R);
PRIM_DISPATCH_TABLE(imgRShiftC_16s_C1R);
}  // namespace

Prim8u* imgMalloc_8u_C1(int widthBytes, int height, int* pStep) {
  return primDispatch(tbl_imgMalloc_8u_C1)(widthBytes, height, pStep);
}
void imgFree(void* p) { primDispatch(tbl_imgFree)(p); }

PrimResult imgSet_8u_C1R(Prim8u value, Prim8u* pDst, int dstStep, int width, int height) {
  return primDispatch(tbl_imgSet_8u_C1R)(value, pDst, dstStep, width, height);
}
PrimResult imgCopy_16s_C1R(const Prim16s* pSrc, int srcStep, Prim16s* pDst, int dstStep, int width,
                           int height) {
  return primDispatch(tbl_imgCopy_16s_C1R)(pSrc, srcStep, pDst, dstStep, width, height);
}
PrimResult imgCopy_32s_C1R(const Prim32s* pSrc, int srcStep, Prim32s* pDst, int dstStep, int width,
                           int height) {
  return primDispatch(tbl_imgCopy_32s_C1R)(pSrc, srcStep, pDst, dstStep, width, height);
}
PrimResult imgMulC_16s_C1RSfs(const Prim16s* pSrc, int srcStep, Prim16s value, Prim16s* pDst, int dstStep,
                              int width, int height, int scaleFactor) {
  return primDispatch(tbl_imgMulC_16s_C1RSfs)(pSrc, srcStep, value, pDst, dstStep, width, height,
                                              scaleFactor);
}
PrimResult imgMulC_32f_C1R(const Prim32f* pSrc, int srcStep, Prim32f value, Prim32f* pDst, int dstStep,
                           int width, int height) {
  return primDispatch(tbl_imgMulC_32f_C1R)(pSrc, srcStep, value, pDst, dstStep, width, height);
}
PrimResult imgRShiftC_16s_C1R(const Prim16s* pSrc, int srcStep, Prim32u shift, Prim16s* pDst, int dstStep,
                              int width, int height) {
  return primDispatch(tbl_imgRShiftC_16s_C1R)(pSrc, srcStep, shift, pDst, dstStep, width, height);
}
