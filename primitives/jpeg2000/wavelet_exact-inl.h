// The exact float synthesis kernels, compiled once per build: scalar (px),
// four lanes (sse2) or eight (avx).  Every lane and every scalar tail runs
// the same float operations in the same order, so every build gives the
// same bits (the primitives are compiled without contraction).
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/core/gen_namespace.h"
#include "primitives/jpeg2000/transform_constants.h"
#include "primitives/jpeg2000/wavelet_exact_builds.h"
#include "primitives/jpeg2000/wavelet_vec-inl.h"

namespace prim::PRIM_GEN_NS {
namespace {

using namespace prim::j2k;

template <int S>
inline float step(float x, float a, float b) {
  if constexpr (S == 0)
    return kLiftK * x - kLiftDeltaByK * (a + b);
  else if constexpr (S == 1)
    return kLiftInvK * x - kLiftGamma * (a + b);
  else if constexpr (S == 2)
    return x - kLiftBeta * (a + b);
  else
    return x - kLiftAlpha * (a + b);
}

inline float dequantize(std::uint32_t w, std::uint32_t only, float half, float scale) {
  const std::uint32_t m = w & 0x7FFFFFFFu;
  const std::uint32_t take = only ? static_cast<std::uint32_t>(m == 1) : static_cast<std::uint32_t>(m != 0);
  const float f =
      (static_cast<float>(static_cast<std::int32_t>(m)) + static_cast<float>(take) * half) * scale;
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  bits |= w & 0x80000000u;
  float out;
  std::memcpy(&out, &bits, 4);
  return out;
}

#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
using namespace wavelet_vec;
#endif

#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX
using V = VecF;
inline V band(V a, V b) { return _mm256_and_ps(a, b); }
inline V bor(V a, V b) { return _mm256_or_ps(a, b); }
inline V ldBits(const std::uint32_t* p) { return _mm256_loadu_ps(reinterpret_cast<const float*>(p)); }
inline V toFloat(V bits) { return _mm256_cvtepi32_ps(_mm256_castps_si256(bits)); }
inline V eq(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
inline V ne(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_NEQ_UQ); }
// e0 o0 e1 o1 ... e7 o7 from e and o.
inline void interleave(float* d, V e, V o) {
  const V a = _mm256_unpacklo_ps(e, o), b = _mm256_unpackhi_ps(e, o);
  vstore(d, _mm256_permute2f128_ps(a, b, 0x20));
  vstore(d + 8, _mm256_permute2f128_ps(a, b, 0x31));
}
#elif PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
using V = VecF;
inline V band(V a, V b) { return _mm_and_ps(a, b); }
inline V bor(V a, V b) { return _mm_or_ps(a, b); }
inline V ldBits(const std::uint32_t* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); }
inline V toFloat(V bits) { return _mm_cvtepi32_ps(_mm_castps_si128(bits)); }
inline V eq(V a, V b) { return _mm_cmpeq_ps(a, b); }
inline V ne(V a, V b) { return _mm_cmpneq_ps(a, b); }
inline void interleave(float* d, V e, V o) {
  vstore(d, _mm_unpacklo_ps(e, o));
  vstore(d + 4, _mm_unpackhi_ps(e, o));
}
#endif

#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
constexpr int kLanes = PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX ? 8 : 4;
template <int S>
inline V stepV(V x, V a, V b) {
  const V s = vadd(a, b);
  if constexpr (S == 0)
    return vsub(vmul(vsplat(kLiftK), x), vmul(vsplat(kLiftDeltaByK), s));
  else if constexpr (S == 1)
    return vsub(vmul(vsplat(kLiftInvK), x), vmul(vsplat(kLiftGamma), s));
  else if constexpr (S == 2)
    return vsub(x, vmul(vsplat(kLiftBeta), s));
  else
    return vsub(x, vmul(vsplat(kLiftAlpha), s));
}
#endif

// x[i] = step S of in[i] with neighbours a[i] and a[i + 1], i < n.
template <int S>
inline void stepRow(float* x, const float* in, const float* a, int n) {
  int i = 0;
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
  for (; i + kLanes <= n; i += kLanes) vstore(x + i, stepV<S>(vload(in + i), vload(a + i), vload(a + i + 1)));
#endif
  for (; i < n; ++i) x[i] = step<S>(in[i], a[i], a[i + 1]);
}

inline void extend(float* h, int n) {
  h[-1] = h[0];
  h[n] = h[n - 1];
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult PRIM_BUILD(imgInvLift97Halves_32f)(const Prim32f* pLowIn, Prim32f* pLow, int nL, Prim32f* pHigh,
                                              int nH, int phase, Prim32f* pDst) {
  if (!pLowIn || !pLow || !pHigh || !pDst) return primResultNullPointer;
  if (nL < 1 || nH < 1) return primResultBadSize;
  if (phase == 0 ? (nL != nH && nL != nH + 1) : (nH != nL && nH != nL + 1)) return primResultBadSize;
  // Offsets of the left neighbours: a low sample's in the high half, a high
  // sample's in the low half.
  const int lowFirst = phase == 0 ? -1 : 0, highFirst = phase == 0 ? 0 : -1;
  extend(pHigh, nH);
  stepRow<0>(pLow, pLowIn, pHigh + lowFirst, nL);
  extend(pLow, nL);
  stepRow<1>(pHigh, pHigh, pLow + highFirst, nH);
  extend(pHigh, nH);
  stepRow<2>(pLow, pLow, pHigh + lowFirst, nL);
  extend(pLow, nL);
  // Step 3 makes the high samples and writes them with their low partners.
  int k = 0;
  if (phase == 0) {
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
    for (; k + kLanes <= nH; k += kLanes) {
      const V e = vload(pLow + k);
      interleave(pDst + 2 * k, e, stepV<3>(vload(pHigh + k), e, vload(pLow + k + 1)));
    }
#endif
    for (; k < nH; ++k) {
      pDst[2 * k] = pLow[k];
      pDst[2 * k + 1] = step<3>(pHigh[k], pLow[k], pLow[k + 1]);
    }
    if (nL > nH) pDst[2 * nH] = pLow[nH];
  } else {
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
    for (; k + kLanes <= nL; k += kLanes) {
      const V o = vload(pLow + k);
      interleave(pDst + 2 * k, stepV<3>(vload(pHigh + k), vload(pLow + k - 1), o), o);
    }
#endif
    for (; k < nL; ++k) {
      pDst[2 * k] = step<3>(pHigh[k], pLow[k - 1], pLow[k]);
      pDst[2 * k + 1] = pLow[k];
    }
    if (nH > nL) pDst[2 * nL] = step<3>(pHigh[nL], pLow[nL - 1], pLow[nL]);
  }
  return primResultOk;
}

PrimResult PRIM_BUILD(imgInvLift97Wavefront_32f)(Prim32f* const pRows[6], int width) {
  if (!pRows) return primResultNullPointer;
  for (int k = 0; k < 6; ++k)
    if (!pRows[k]) return primResultNullPointer;
  if (width < 0) return primResultBadSize;
  float* const r0 = pRows[0];
  float* const r1 = pRows[1];
  float* const r2 = pRows[2];
  float* const r3 = pRows[3];
  float* const r4 = pRows[4];
  const float* const r5 = pRows[5];
  int i = 0;
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
  for (; i + kLanes <= width; i += kLanes) {
    const V x = stepV<0>(vload(r4 + i), vload(r3 + i), vload(r5 + i));
    const V m1 = stepV<1>(vload(r3 + i), vload(r2 + i), x);
    const V m2 = stepV<2>(vload(r2 + i), vload(r1 + i), m1);
    const V m3 = stepV<3>(vload(r1 + i), vload(r0 + i), m2);
    vstore(r4 + i, x);
    vstore(r3 + i, m1);
    vstore(r2 + i, m2);
    vstore(r1 + i, m3);
  }
#endif
  for (; i < width; ++i) {
    r4[i] = step<0>(r4[i], r3[i], r5[i]);
    r3[i] = step<1>(r3[i], r2[i], r4[i]);
    r2[i] = step<2>(r2[i], r1[i], r3[i]);
    r1[i] = step<3>(r1[i], r0[i], r2[i]);
  }
  return primResultOk;
}

PrimResult PRIM_BUILD(imgDequantizeMidpoint_32u32f)(const Prim32u* pSrc, Prim32f* pDst, int len, int midpoint,
                                                    Prim32f scale) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 0) return primResultBadSize;
  if (midpoint < 0 || midpoint > 2) return primResultBadArgument;
  const std::uint32_t only = midpoint == 2 ? 1u : 0u;
  const float half = midpoint == 0 ? 0.0f : 0.5f;
  int i = 0;
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
  // The magnitude converted, plus a half where the lane takes one (the half
  // or +0 selected by the compare mask, as the scalar product gives it),
  // scaled, then the sign bit.
  const V magnitude = vsplat([] {
    const std::uint32_t b = 0x7FFFFFFFu;
    float f;
    std::memcpy(&f, &b, 4);
    return f;
  }());
  const V sign = vsplat(-0.0f), halfV = vsplat(half), scaleV = vsplat(scale), one = vsplat(1.0f),
          zero = vsplat(0.0f);
  for (; i + kLanes <= len; i += kLanes) {
    const V w = ldBits(pSrc + i);
    V f = toFloat(band(w, magnitude));
    if (midpoint != 0) f = vadd(f, band(only ? eq(f, one) : ne(f, zero), halfV));
    vstore(pDst + i, bor(vmul(f, scaleV), band(w, sign)));
  }
#endif
  for (; i < len; ++i) pDst[i] = dequantize(pSrc[i], only, half, scale);
  return primResultOk;
}
