// Colour twist: the SSE2 row kernels and the build entry that every SIMD
// build compiles (sse2, ssse3, sse41, avx, avx2 run the same code).
//
// The 3x4 matrix is laid out as a twist block of four columns; column j holds
// in lanes 0..2 what source channel j adds to the three outputs (column 3:
// the additive terms).  Per pixel: d = (C3 + C0 s0) + (C1 s1 + C2 s2), every
// product and sum a single-precision operation, never fused.
#include <emmintrin.h>

#include <cstdint>

#include "primitives/colour/twist_builds.h"
#include "primitives/colour/twist_check-inl.h"

namespace prim::PRIM_GEN_NS::twist {
namespace {

struct Block {
  __m128 c0, c1, c2, c3;
};

inline Block loadBlock(const float* block) {
  return {_mm_loadu_ps(block), _mm_loadu_ps(block + 4), _mm_loadu_ps(block + 8),
          _mm_loadu_ps(block + 12)};
}

inline __m128 transform(const Block& b, __m128 s0, __m128 s1, __m128 s2) {
  const __m128 t = _mm_add_ps(b.c3, _mm_mul_ps(b.c0, s0));
  const __m128 u = _mm_add_ps(_mm_mul_ps(b.c1, s1), _mm_mul_ps(b.c2, s2));
  return _mm_add_ps(t, u);
}

// Pixels need not be 4-byte aligned: single floats move as bytes.
inline __m128 loadChannel(const float* s) {
  float v;
  __builtin_memcpy(&v, s, 4);
  return _mm_set1_ps(v);
}

inline __m128 transformPixel(const Block& b, const float* s) {
  return transform(b, loadChannel(s), loadChannel(s + 1), loadChannel(s + 2));
}

// One 8-byte store of d0, d1 and one 4-byte store of d2.
inline void storePixel(float* d, __m128 v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_castps_si128(v));
  const float d2 = _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2)));
  __builtin_memcpy(d + 2, &d2, 4);
}

inline __m128 lane(__m128 v, int i) {
  switch (i) {
    case 0: return _mm_shuffle_ps(v, v, 0x00);
    case 1: return _mm_shuffle_ps(v, v, 0x55);
    case 2: return _mm_shuffle_ps(v, v, 0xaa);
    default: return _mm_shuffle_ps(v, v, 0xff);
  }
}

void rowNormal(const float* pSrc, float* pDst, int len, const float* block) {
  const Block b = loadBlock(block);
  int n = len;
  if (reinterpret_cast<std::uintptr_t>(pSrc) & 3) {
    for (; n > 0; n -= 3, pSrc += 3, pDst += 3) storePixel(pDst, transformPixel(b, pSrc));
    return;
  }
  while ((reinterpret_cast<std::uintptr_t>(pSrc) & 15) && n > 0) {
    storePixel(pDst, transformPixel(b, pSrc));
    pSrc += 3, pDst += 3, n -= 3;
  }
  for (; n >= 12; n -= 12, pSrc += 12, pDst += 12) {
    // Four pixels from three aligned vectors: a = p0 p0 p0 p1, b = p1 p1 p2 p2, c = p2 p3 p3 p3.
    const __m128 va = _mm_load_ps(pSrc), vb = _mm_load_ps(pSrc + 4), vc = _mm_load_ps(pSrc + 8);
    const __m128 d0 = transform(b, lane(va, 0), lane(va, 1), lane(va, 2));
    const __m128 d1 = transform(b, lane(va, 3), lane(vb, 0), lane(vb, 1));
    const __m128 d2 = transform(b, lane(vb, 2), lane(vb, 3), lane(vc, 0));
    const __m128 d3 = transform(b, lane(vc, 1), lane(vc, 2), lane(vc, 3));
    storePixel(pDst, d0);
    storePixel(pDst + 3, d1);
    storePixel(pDst + 6, d2);
    storePixel(pDst + 9, d3);
  }
  for (; n > 0; n -= 3, pSrc += 3, pDst += 3) storePixel(pDst, transformPixel(b, pSrc));
}

// Non-temporal row kernel: the destination is brought to 8-byte alignment,
// then each step of four pixels is written as six 8-byte non-temporal stores.
void rowNonTemporal(const float* pSrc, float* pDst, int len, const float* block) {
  const Block b = loadBlock(block);
  int n = len;
  if (reinterpret_cast<std::uintptr_t>(pDst) & 3) {
    for (; n > 0; n -= 3, pSrc += 3, pDst += 3) storePixel(pDst, transformPixel(b, pSrc));
    _mm_sfence();
    return;
  }
  if (reinterpret_cast<std::uintptr_t>(pDst) & 4) {
    storePixel(pDst, transformPixel(b, pSrc));
    pSrc += 3, pDst += 3, n -= 3;
  }
  for (; n >= 12; n -= 12, pSrc += 12, pDst += 12) {
    alignas(16) float out[16];
    for (int p = 0; p < 4; ++p) _mm_store_ps(out + 4 * p, transformPixel(b, pSrc + 3 * p));
    alignas(16) float packed[12] = {out[0], out[1], out[2], out[4], out[5], out[6],
                                    out[8], out[9], out[10], out[12], out[13], out[14]};
    long long words[6];
    __builtin_memcpy(words, packed, sizeof words);
    for (int w = 0; w < 6; ++w) _mm_stream_si64(reinterpret_cast<long long*>(pDst) + w, words[w]);
  }
  for (; n > 0; n -= 3, pSrc += 3, pDst += 3) storePixel(pDst, transformPixel(b, pSrc));
  _mm_sfence();
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::twist

PrimResult PRIM_BUILD(imgColorTwist_32f_C3R)(const Prim32f* pSrc, int srcStep, Prim32f* pDst,
                                            int dstStep, PrimRoiSize roi,
                                            const Prim32f twist[3][4]) {
  namespace t = prim::PRIM_GEN_NS::twist;
  if (const PrimResult st = t::checkArguments(pSrc, srcStep, pDst, dstStep, roi, twist)) return st;
  const float block[16] = {twist[0][0], twist[1][0], twist[2][0], 0.0f,
                           twist[0][1], twist[1][1], twist[2][1], 0.0f,
                           twist[0][2], twist[1][2], twist[2][2], 0.0f,
                           twist[0][3], twist[1][3], twist[2][3], 0.0f};
  // n in 64 bits: a region beyond INT_MAX floats is not valid input, but must
  // not pick the kernel through an overflow.
  const std::int64_t n = std::int64_t{3} * roi.width * roi.height;
  auto* kernel = n > kTwistNonTemporalFloats ? t::rowNonTemporal : t::rowNormal;
  t::forEachRun(pSrc, srcStep, pDst, dstStep, roi,
                [&](const float* s, float* d, int len) { kernel(s, d, len, block); });
  return primResultOk;
}
