// Vector builds of the inverse component transforms.  Each of
// colour_transform_sse2.cpp .. colour_transform_avx2.cpp includes this file
// once and compiles it with its own instruction set (PRIM_BUILD gives the
// names the generation's prefix).  All builds of the integer transforms give
// the generic build's samples; the float builds work in single precision.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/core/gen_namespace.h"
#include "primitives/jpeg2000/colour_transform_builds.h"
#include "primitives/jpeg2000/wavelet_lift.h"
#include "primitives/jpeg2000/wavelet_vec-inl.h"

namespace prim::PRIM_GEN_NS {
namespace {
using namespace wavelet;
using namespace wavelet_vec;

inline __m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

inline bool closerThan(const void* a, const void* b, std::intptr_t bytes) {
  const std::intptr_t d = reinterpret_cast<std::intptr_t>(a) - reinterpret_cast<std::intptr_t>(b);
  return d < bytes && d > -bytes;
}

// Reversible, 16 bits: floor((U + V) / 4) as the exact floor average of the
// two lanes shifted once more, so the sum never wraps.
void rct16Row(Prim16s* p0, Prim16s* p1, Prim16s* p2, int width) {
  const std::intptr_t span = static_cast<std::intptr_t>(width) * 2;
  int x = 0;
  if (!closerThan(p0, p1, span) && !closerThan(p0, p2, span) && !closerThan(p1, p2, span)) {
    for (; x + 8 <= width; x += 8) {
      const __m128i v = load(p2 + x), u = load(p1 + x), yy = load(p0 + x);
      const __m128i avg = _mm_add_epi16(_mm_and_si128(u, v), _mm_srai_epi16(_mm_xor_si128(u, v), 1));
      const __m128i g = _mm_sub_epi16(yy, _mm_srai_epi16(avg, 1));
      store(p0 + x, _mm_add_epi16(v, g));
      store(p1 + x, g);
      store(p2 + x, _mm_add_epi16(u, g));
    }
  }
  for (; x < width; ++x) rct16Sample(p0[x], p1[x], p2[x]);
}

void PRIM_BUILD(owniInvReversibleColorRow_32s)(Prim32s* p0, Prim32s* p1, Prim32s* p2, int width) {
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m128i v0 = load(p2 + x), v1 = load(p2 + x + 4);
    const __m128i u0 = load(p1 + x), u1 = load(p1 + x + 4);
    const __m128i y0 = load(p0 + x), y1 = load(p0 + x + 4);
    const __m128i g0 = _mm_sub_epi32(y0, _mm_srai_epi32(_mm_add_epi32(u0, v0), 2));
    const __m128i g1 = _mm_sub_epi32(y1, _mm_srai_epi32(_mm_add_epi32(u1, v1), 2));
    store(p0 + x, _mm_add_epi32(v0, g0));
    store(p0 + x + 4, _mm_add_epi32(v1, g1));
    store(p1 + x, g0);
    store(p1 + x + 4, g1);
    store(p2 + x, _mm_add_epi32(u0, g0));
    store(p2 + x + 4, _mm_add_epi32(u1, g1));
  }
  for (; x < width; ++x) rct32Sample(p0[x], p1[x], p2[x]);
}

inline __m128i pair16(int c0, int c1) {
  return _mm_set1_epi32(static_cast<int>(static_cast<Prim32u>(static_cast<Prim16u>(c0)) |
                                         (static_cast<Prim32u>(static_cast<Prim16u>(c1)) << 16)));
}

// Irreversible, 16 bits, Q14: multiply-adds of 16-bit pairs (the rounding
// half rides on a lane of 1s), the sum with Y in 32 bits, then saturation.
void PRIM_BUILD(owniInvIrreversibleColor_16s)(Prim16s* const pPlanes[3], int step, int width, int height) {
  const __m128i one = _mm_set1_epi16(1);
  const __m128i cR = pair16(kIctQ14CrToR, kIctQ14Half), cG = pair16(-kIctQ14CbToG, -kIctQ14CrToG),
                cB = pair16(kIctQ14CbToB, kIctQ14Half);
  const __m128i half = _mm_set1_epi32(kIctQ14Half);
  for (int y = 0; y < height; ++y) {
    Prim16s* p0 = rowAt(pPlanes[0], step, y);
    Prim16s* p1 = rowAt(pPlanes[1], step, y);
    Prim16s* p2 = rowAt(pPlanes[2], step, y);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
      const __m128i cr = load(p2 + x), yy = load(p0 + x), cb = load(p1 + x);
      const __m128i yLo = _mm_srai_epi32(_mm_unpacklo_epi16(yy, yy), 16);
      const __m128i yHi = _mm_srai_epi32(_mm_unpackhi_epi16(yy, yy), 16);
      auto finish = [&](__m128i lo, __m128i hi) {
        return _mm_packs_epi32(_mm_add_epi32(yLo, _mm_srai_epi32(lo, 14)),
                               _mm_add_epi32(yHi, _mm_srai_epi32(hi, 14)));
      };
      const __m128i r = finish(_mm_madd_epi16(_mm_unpacklo_epi16(cr, one), cR),
                               _mm_madd_epi16(_mm_unpackhi_epi16(cr, one), cR));
      const __m128i g = finish(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(cb, cr), cG), half),
                               _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(cb, cr), cG), half));
      const __m128i b = finish(_mm_madd_epi16(_mm_unpacklo_epi16(cb, one), cB),
                               _mm_madd_epi16(_mm_unpackhi_epi16(cb, one), cB));
      store(p0 + x, r);
      store(p1 + x, g);
      store(p2 + x, b);
    }
    for (; x < width; ++x) ict16Sample(p0[x], p1[x], p2[x]);
  }
}

// Irreversible, float: single precision, the two chroma products of G added
// first and Y last.
void PRIM_BUILD(owniInvIrreversibleColorRow_32f)(float* p0, float* p1, float* p2, int width) {
  const __m128 kR = _mm_set1_ps(kIctCrToR), kGb = _mm_set1_ps(-kIctCbToG), kGr = _mm_set1_ps(-kIctCrToG),
               kB = _mm_set1_ps(kIctCbToB);
  int x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128 yy = _mm_loadu_ps(p0 + x), cb = _mm_loadu_ps(p1 + x), cr = _mm_loadu_ps(p2 + x);
    const __m128 r = _mm_add_ps(_mm_mul_ps(cr, kR), yy);
    const __m128 g = _mm_add_ps(_mm_add_ps(_mm_mul_ps(cb, kGb), _mm_mul_ps(cr, kGr)), yy);
    const __m128 b = _mm_add_ps(_mm_mul_ps(cb, kB), yy);
    _mm_storeu_ps(p0 + x, r);
    _mm_storeu_ps(p1 + x, g);
    _mm_storeu_ps(p2 + x, b);
  }
  for (; x < width; ++x) ict32fSample(p0[x], p1[x], p2[x]);
}

// Irreversible into samples: the lanes run the scalar operations of
// ictToSamplesPixel and SampleFinish in the same order, never fused, and the
// conversions of lanes and tail round to nearest, ties to even, under the
// default rounding, as the generic build's rounding does.
inline Prim32s finishScalar(float x, const SampleFinish& f) {
  return _mm_cvtss_si32(_mm_set_ss(f.clamp(x))) + f.offset;
}

inline void storeSample(Prim32s* p, Prim32s v) { std::memcpy(p, &v, sizeof v); }

// x clamped to [low, high] (low where x is NaN), converted, plus the offset,
// stored: eight lanes in builds with avx (the addition of the halves apart
// in the avx build), four in the others.
inline void storeSamples(Prim32s* p, VecF x, VecF low, VecF high, Prim32s offset) {
  const VecF b = vmin(vmax(x, low), high);
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX2
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p),
                      _mm256_add_epi32(_mm256_cvtps_epi32(b), _mm256_set1_epi32(offset)));
#elif PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX
  const __m256i r = _mm256_cvtps_epi32(b);
  const __m128i o = _mm_set1_epi32(offset);
  store(p, _mm_add_epi32(_mm256_castsi256_si128(r), o));
  store(p + 4, _mm_add_epi32(_mm256_extractf128_si256(r, 1), o));
#else
  store(p, _mm_add_epi32(_mm_cvtps_epi32(b), _mm_set1_epi32(offset)));
#endif
}

void PRIM_BUILD(owniInvIrreversibleColorToSamplesRow)(const Prim32f* const pSrc[3], Prim32s* const pDst[3],
                                                      int len, const SampleFinish finish[3]) {
  const float *p0 = pSrc[0], *p1 = pSrc[1], *p2 = pSrc[2];
  Prim32s* const out[3] = {pDst[0], pDst[1], pDst[2]};
  const VecF cR = vsplat(kIctCrToR), cGb = vsplat(kIctCbToG), cGr = vsplat(kIctCrToG), cB = vsplat(kIctCbToB);
  VecF low[3], high[3];
  Prim32s offset[3];
  for (int c = 0; c < 3; ++c) {
    low[c] = vsplat(finish[c].lowLess);
    high[c] = vsplat(finish[c].highLess);
    offset[c] = finish[c].offset;
  }
  int i = 0;
  for (; i + kFloatLanes <= len; i += kFloatLanes) {
    const VecF yy = vload(p0 + i), cb = vload(p1 + i), cr = vload(p2 + i);
    const VecF rgb[3] = {vadd(yy, vmul(cR, cr)), vsub(vsub(yy, vmul(cGb, cb)), vmul(cGr, cr)),
                         vadd(yy, vmul(cB, cb))};
    for (int c = 0; c < 3; ++c) storeSamples(out[c] + i, rgb[c], low[c], high[c], offset[c]);
  }
  for (; i < len; ++i) {
    float rgb[3];
    ictToSamplesPixel(p0[i], p1[i], p2[i], rgb);
    for (int c = 0; c < 3; ++c) storeSample(out[c] + i, finishScalar(rgb[c], finish[c]));
  }
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult PRIM_BUILD(imgInvReversibleColor_16s_P3IR)(Prim16s* const pPlanes[3], int step, int width,
                                                      int height) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y)
    rct16Row(rowAt(pPlanes[0], step, y), rowAt(pPlanes[1], step, y), rowAt(pPlanes[2], step, y), width);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInvReversibleColor_32s_P3IR)(Prim32s* const pPlanes[3], int step, int width,
                                                      int height) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y) PRIM_BUILD(owniInvReversibleColorRow_32s)
  (rowAt(pPlanes[0], step, y), rowAt(pPlanes[1], step, y), rowAt(pPlanes[2], step, y), width);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInvIrreversibleColor_16s_P3IR)(Prim16s* const pPlanes[3], int step, int width,
                                                        int height) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  PRIM_BUILD(owniInvIrreversibleColor_16s)(pPlanes, step, width, height);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInvIrreversibleColor_32f_P3IR)(Prim32f* const pPlanes[3], int step, int width,
                                                        int height) {
  const PrimResult r = checkPlanes(pPlanes, step, width, height);
  if (r != primResultOk) return r;
  for (int y = 0; y < height; ++y) PRIM_BUILD(owniInvIrreversibleColorRow_32f)
  (rowAt(pPlanes[0], step, y), rowAt(pPlanes[1], step, y), rowAt(pPlanes[2], step, y), width);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInvIrreversibleColorToSamples_32f32s_P3)(const Prim32f* const pSrc[3],
                                                                  Prim32s* const pDst[3], int len,
                                                                  const Prim32s pOffset[3],
                                                                  const Prim32s pLow[3],
                                                                  const Prim32s pHigh[3]) {
  const PrimResult r = checkToSamples(pSrc, pDst, len, pOffset, pLow, pHigh);
  if (r != primResultOk) return r;
  const SampleFinish finish[3] = {
      {pOffset[0], pLow[0], pHigh[0]}, {pOffset[1], pLow[1], pHigh[1]}, {pOffset[2], pLow[2], pHigh[2]}};
  PRIM_BUILD(owniInvIrreversibleColorToSamplesRow)(pSrc, pDst, len, finish);
  return primResultOk;
}
