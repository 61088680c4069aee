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

namespace prim::PRIM_GEN_NS {
namespace {
using namespace wavelet;

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
// ictToSamplesPixel and SampleFinish in the same order; the maximum with the
// bound as second operand gives the bound for NaN, and the conversion rounds
// to nearest, ties to even, under the default rounding, as does the scalar
// conversion of the tail.
inline Prim32s finishScalar(float x, const SampleFinish& f) {
  return _mm_cvtss_si32(_mm_set_ss(f.clamp(x))) + f.offset;
}

inline void storeSample(Prim32s* p, Prim32s v) { std::memcpy(p, &v, sizeof v); }

#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX2
// Eight lanes.
struct LanesF {
  using F = __m256;
  using I = __m256i;
  static constexpr int kCount = 8;
  static F load(const float* p) { return _mm256_loadu_ps(p); }
  static F splat(float x) { return _mm256_set1_ps(x); }
  static F add(F a, F b) { return _mm256_add_ps(a, b); }
  static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
  static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
  static F max(F a, F b) { return _mm256_max_ps(a, b); }
  static F min(F a, F b) { return _mm256_min_ps(a, b); }
  static I round(F a) { return _mm256_cvtps_epi32(a); }
  static I splatI(Prim32s x) { return _mm256_set1_epi32(x); }
  static I addI(I a, I b) { return _mm256_add_epi32(a, b); }
  static void store(Prim32s* p, I v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
};
#else
// Four lanes.
struct LanesF {
  using F = __m128;
  using I = __m128i;
  static constexpr int kCount = 4;
  static F load(const float* p) { return _mm_loadu_ps(p); }
  static F splat(float x) { return _mm_set1_ps(x); }
  static F add(F a, F b) { return _mm_add_ps(a, b); }
  static F sub(F a, F b) { return _mm_sub_ps(a, b); }
  static F mul(F a, F b) { return _mm_mul_ps(a, b); }
  static F max(F a, F b) { return _mm_max_ps(a, b); }
  static F min(F a, F b) { return _mm_min_ps(a, b); }
  static I round(F a) { return _mm_cvtps_epi32(a); }
  static I splatI(Prim32s x) { return _mm_set1_epi32(x); }
  static I addI(I a, I b) { return _mm_add_epi32(a, b); }
  static void store(Prim32s* p, I v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
};
#endif

void PRIM_BUILD(owniInvIrreversibleColorToSamplesRow)(const Prim32f* const pSrc[3], Prim32s* const pDst[3],
                                                      int len, const SampleFinish finish[3]) {
  using L = LanesF;
  const float *p0 = pSrc[0], *p1 = pSrc[1], *p2 = pSrc[2];
  Prim32s* const out[3] = {pDst[0], pDst[1], pDst[2]};
  const L::F cR = L::splat(kIctCrToR), cGb = L::splat(kIctCbToG), cGr = L::splat(kIctCrToG),
             cB = L::splat(kIctCbToB);
  L::F low[3], high[3];
  L::I offset[3];
  for (int c = 0; c < 3; ++c) {
    low[c] = L::splat(finish[c].lowLess);
    high[c] = L::splat(finish[c].highLess);
    offset[c] = L::splatI(finish[c].offset);
  }
  int i = 0;
  for (; i + L::kCount <= len; i += L::kCount) {
    const L::F yy = L::load(p0 + i), cb = L::load(p1 + i), cr = L::load(p2 + i);
    const L::F rgb[3] = {L::add(yy, L::mul(cR, cr)), L::sub(L::sub(yy, L::mul(cGb, cb)), L::mul(cGr, cr)),
                         L::add(yy, L::mul(cB, cb))};
    for (int c = 0; c < 3; ++c)
      L::store(out[c] + i, L::addI(L::round(L::min(L::max(rgb[c], low[c]), high[c])), offset[c]));
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
