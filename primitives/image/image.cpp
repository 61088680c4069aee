// Image primitives: allocation, the region-copy cache lookup, dispatch tables
// and public entries.
#include "primitives/image/image.h"

#include <cpuid.h>

#include <cstdint>

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

// Rows of the cpuid leaf-2 descriptor table for caches of 512 KiB and more,
// largest first: (descriptor, size code), size = (code >> 4) << ((code & 15) + 18).
constexpr Prim8u kDescriptors[][2] = {
    {0xEC, 0x35}, {0xEB, 0x93}, {0x4D, 0x16}, {0xEA, 0x34}, {0x4C, 0x34}, {0xE4, 0x15},
    {0xDE, 0x15}, {0x4B, 0x15}, {0x47, 0x15}, {0x4E, 0x33}, {0x4A, 0x33}, {0xE3, 0x14},
    {0xDD, 0x14}, {0xD8, 0x14}, {0x49, 0x14}, {0x29, 0x14}, {0x46, 0x14}, {0x48, 0x32},
    {0xE2, 0x13}, {0xDC, 0x13}, {0xD7, 0x13}, {0xD2, 0x13}, {0x25, 0x13}, {0x7D, 0x13},
    {0x85, 0x13}, {0x45, 0x13}, {0xD6, 0x12}, {0xD1, 0x12}, {0x23, 0x12}, {0x87, 0x12},
    {0x7C, 0x12}, {0x78, 0x12}, {0x84, 0x12}, {0x44, 0x12}, {0xD0, 0x11}, {0x22, 0x11},
    {0x7B, 0x11}, {0x80, 0x11}, {0x86, 0x11}, {0x3E, 0x11}, {0x7F, 0x11}, {0x83, 0x11},
    {0x43, 0x11}};

}  // namespace

std::atomic<int> owniTestRegionCacheSize{-1};

int owniRegionCacheSize() {
  const int forced = owniTestRegionCacheSize.load(std::memory_order_relaxed);
  if (forced >= 0) return forced;
  unsigned r[4];
  __cpuid(0, r[0], r[1], r[2], r[3]);
  if (r[1] != 0x756e6547 || r[3] != 0x49656e69 || r[2] != 0x6c65746e) return 0;
  if (r[0] < 2) return 0;
  __cpuid(2, r[0], r[1], r[2], r[3]);
  if ((r[0] & 0xff) != 1) return 0;
  Prim8u bytes[16];
  int count = 0;
  for (int reg = 0; reg < 4; ++reg) {
    if (r[reg] & 0x80000000u) continue;
    for (int b = reg == 0 ? 1 : 0; b < 4; ++b) bytes[count++] = static_cast<Prim8u>(r[reg] >> (8 * b));
  }
  for (const auto& row : kDescriptors) {
    for (int i = 0; i < count; ++i) {
      if (bytes[i] == row[0]) return (row[1] >> 4) << ((row[1] & 15) + 18);
    }
  }
  return 0;
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
PRIM_DISPATCH_TABLE_ROW(imgMalloc_8u_C1, px_imgMalloc_8u_C1, sse2_imgMalloc_8u_C1,
                        sse2_imgMalloc_8u_C1, sse2_imgMalloc_8u_C1, sse2_imgMalloc_8u_C1,
                        sse2_imgMalloc_8u_C1, sse2_imgMalloc_8u_C1);
// Release runs the ssse3 build in the ssse3 and movbe slots and the sse2 build
// in every other SIMD slot.
PRIM_DISPATCH_TABLE_ROW(imgFree, px_imgFree, sse2_imgFree, ssse3_imgFree, ssse3_imgFree,
                        sse2_imgFree, sse2_imgFree, sse2_imgFree);
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
PrimResult imgMulC_16s_C1RSfs(const Prim16s* pSrc, int srcStep, Prim16s value, Prim16s* pDst,
                              int dstStep, int width, int height, int scaleFactor) {
  return primDispatch(tbl_imgMulC_16s_C1RSfs)(pSrc, srcStep, value, pDst, dstStep, width, height,
                                               scaleFactor);
}
PrimResult imgMulC_32f_C1R(const Prim32f* pSrc, int srcStep, Prim32f value, Prim32f* pDst,
                           int dstStep, int width, int height) {
  return primDispatch(tbl_imgMulC_32f_C1R)(pSrc, srcStep, value, pDst, dstStep, width, height);
}
PrimResult imgRShiftC_16s_C1R(const Prim16s* pSrc, int srcStep, Prim32u shift, Prim16s* pDst,
                              int dstStep, int width, int height) {
  return primDispatch(tbl_imgRShiftC_16s_C1R)(pSrc, srcStep, shift, pDst, dstStep, width, height);
}
