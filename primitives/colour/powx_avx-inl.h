// Power of a float vector: the 256-bit double-precision kernel body shared
// by the avx and avx2 builds (the avx2 build fuses multiply and add
// explicitly and gathers its table entries).  Blocks of 8 positive normal
// inputs; everything else goes element by element through the scalar table.
#pragma once

#include <immintrin.h>

#include "primitives/colour/powx_common-inl.h"

namespace prim::PRIM_GEN_NS::powx {
namespace {

#if defined(__FMA__)
inline __m256d madd(__m256d a, __m256d b, __m256d c) { return _mm256_fmadd_pd(a, b, c); }
#else
inline __m256d madd(__m256d a, __m256d b, __m256d c) { return _mm256_add_pd(_mm256_mul_pd(a, b), c); }
#endif

constexpr double kLn2Avx = 0.6931471805599453;
constexpr double kLn2HiOver128 = 0x1.62e42fefa3800p-8;   // ln 2 / 128, high bits
constexpr double kLn2LoOver128 = 0x1.ef35793c76730p-53;  // ... and the rest
constexpr double kMaxTAvx = 87.333740234375;

// Table entries j[0..3] of a pair table as two vectors.
inline void lookup(const PowxPair* table, __m128i j, __m256d& hi, __m256d& lo) {
#if defined(__AVX2__)
  const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  const __m128i idx = _mm_slli_epi32(j, 1);
  hi = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), &table[0].hi, idx, all, 8);
  lo = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), &table[0].lo, idx, all, 8);
#else
  alignas(16) std::int32_t idx[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(idx), j);
  hi = _mm256_set_pd(table[idx[3]].hi, table[idx[2]].hi, table[idx[1]].hi, table[idx[0]].hi);
  lo = _mm256_set_pd(table[idx[3]].lo, table[idx[2]].lo, table[idx[1]].lo, table[idx[0]].lo);
#endif
}

// x^val for four positive normal floats; false when a result would leave the
// normal float range (or is NaN), with nothing stored.
inline __m256d logQuad(__m128i bits) {
  const __m128i frac = _mm_and_si128(bits, _mm_set1_epi32(0x7fffff));
  const __m128i j = _mm_srli_epi32(_mm_add_epi32(frac, _mm_set1_epi32(1 << 14)), 15);
  const __m128i e = _mm_sub_epi32(_mm_srli_epi32(bits, 23), _mm_set1_epi32(127));
  const __m256d m = _mm256_cvtps_pd(_mm_castsi128_ps(_mm_or_si128(frac, _mm_set1_epi32(0x3f800000))));
  const __m256d mr = madd(_mm256_cvtepi32_pd(j), _mm256_set1_pd(1.0 / 256.0), _mm256_set1_pd(1.0));
  __m256d lnT, rc;
  lookup(kLnRecip, j, lnT, rc);
  const __m256d r = _mm256_mul_pd(_mm256_sub_pd(m, mr), rc);
  // ln(1 + r) - r = r^2 (-1/2 + r (1/3 + r (-1/4 + r/5)))
  __m256d poly = madd(r, _mm256_set1_pd(0.2), _mm256_set1_pd(-0.25));
  poly = madd(r, poly, _mm256_set1_pd(1.0 / 3.0));
  poly = madd(r, poly, _mm256_set1_pd(-0.5));
  const __m256d ln = madd(_mm256_cvtepi32_pd(e), _mm256_set1_pd(kLn2Avx), lnT);
  return _mm256_add_pd(_mm256_add_pd(ln, r), _mm256_mul_pd(_mm256_mul_pd(r, r), poly));
}

inline __m128 expQuad(__m256d t) {
  const __m256d nd = _mm256_round_pd(_mm256_mul_pd(t, _mm256_set1_pd(128.0 / kLn2Avx)),
                                     _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  __m256d r = _mm256_sub_pd(t, _mm256_mul_pd(nd, _mm256_set1_pd(kLn2HiOver128)));
  r = _mm256_sub_pd(r, _mm256_mul_pd(nd, _mm256_set1_pd(kLn2LoOver128)));
  const __m128i n = _mm256_cvtpd_epi32(nd);
  const __m128i j = _mm_and_si128(n, _mm_set1_epi32(127));
  __m256d eh, el;
  lookup(kE, j, eh, el);
  // e^r - 1 = r + r^2 (1/2 + r (1/6 + r (1/24 + r/120)))
  __m256d poly = madd(r, _mm256_set1_pd(1.0 / 120.0), _mm256_set1_pd(1.0 / 24.0));
  poly = madd(r, poly, _mm256_set1_pd(1.0 / 6.0));
  poly = madd(r, poly, _mm256_set1_pd(0.5));
  const __m256d q = madd(_mm256_mul_pd(r, r), poly, r);
  const __m256d z = _mm256_add_pd(eh, madd(q, eh, el));
  const __m128i scale = _mm_slli_epi32(_mm_add_epi32(_mm_srai_epi32(n, 7), _mm_set1_epi32(127)), 23);
  return _mm_mul_ps(_mm256_cvtpd_ps(z), _mm_castsi128_ps(scale));
}

// Positive zeros ride along (computed as 1.0, stored as +0) when val > 0:
// clamped rows are full of them and would otherwise leave the vector path.
inline bool vectorBlock(const float* src, float val, float* dst) {
  const __m128i one = _mm_set1_epi32(0x3f800000);
  const __m128i in0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  const __m128i in1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4));
  const __m128i z0 = _mm_cmpeq_epi32(in0, _mm_setzero_si128());
  const __m128i z1 = _mm_cmpeq_epi32(in1, _mm_setzero_si128());
  const __m128i b0 = _mm_or_si128(_mm_andnot_si128(z0, in0), _mm_and_si128(z0, one));
  const __m128i b1 = _mm_or_si128(_mm_andnot_si128(z1, in1), _mm_and_si128(z1, one));
  const __m256d vv = _mm256_set1_pd(static_cast<double>(val));
  const __m256d t0 = _mm256_mul_pd(vv, logQuad(b0));
  const __m256d t1 = _mm256_mul_pd(vv, logQuad(b1));
  const __m256d absMask = _mm256_set1_pd(-0.0);
  const __m256d limit = _mm256_set1_pd(kMaxTAvx);
  const __m256d over = _mm256_or_pd(_mm256_cmp_pd(_mm256_andnot_pd(absMask, t0), limit, _CMP_NLE_UQ),
                                    _mm256_cmp_pd(_mm256_andnot_pd(absMask, t1), limit, _CMP_NLE_UQ));
  if (_mm256_movemask_pd(over) != 0) return false;
  const __m128 r0 = _mm_andnot_ps(_mm_castsi128_ps(z0), expQuad(t0));
  const __m128 r1 = _mm_andnot_ps(_mm_castsi128_ps(z1), expQuad(t1));
  _mm_storeu_ps(dst, r0);
  _mm_storeu_ps(dst + 4, r1);
  return true;
}

// Every lane a positive normal number, or +0 when zeros may ride along.
inline bool blockOrdinary(const float* src, bool zerosAllowed) {
  const __m256i v = _mm256_castps_si256(_mm256_loadu_ps(src));
  const __m128i lo = _mm256_castsi256_si128(v), hi = _mm256_extractf128_si256(v, 1);
  const __m128i minNormal = _mm_set1_epi32(0x007fffff), inf = _mm_set1_epi32(0x7f800000);
  __m128i ok0 = _mm_and_si128(_mm_cmpgt_epi32(lo, minNormal), _mm_cmplt_epi32(lo, inf));
  __m128i ok1 = _mm_and_si128(_mm_cmpgt_epi32(hi, minNormal), _mm_cmplt_epi32(hi, inf));
  if (zerosAllowed) {
    ok0 = _mm_or_si128(ok0, _mm_cmpeq_epi32(lo, _mm_setzero_si128()));
    ok1 = _mm_or_si128(ok1, _mm_cmpeq_epi32(hi, _mm_setzero_si128()));
  }
  return _mm_movemask_epi8(_mm_and_si128(ok0, ok1)) == 0xffff;
}

__attribute__((noinline)) PrimResult runVector(const Prim32f* src, Prim32f val, Prim32f* dst, int len) {
  const ValKind kind = classify(val);
  bool reported = false;
  int i = 0;
  const bool zerosAllowed = val > 0.0f;  // +0 ^ val = +0, not reported
  if (std::isfinite(val)) {
    for (; i + 8 <= len; i += 8) {
      if (!blockOrdinary(src + i, zerosAllowed) || !vectorBlock(src + i, val, dst + i))
        reported |= scalarRange(src, val, dst, i, i + 8, kind);
    }
  }
  reported |= scalarRange(src, val, dst, i, len, kind);
  _mm256_zeroupper();
  return reported ? primResultDomainWarning : primResultOk;
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::powx
