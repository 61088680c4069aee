// Power of a float vector: SSE2 kernel (also run by the ssse3, movbe and
// sse41 builds).  Blocks of 8 positive normal inputs: the logarithm in
// double precision from a 257-entry table, the exponential in single
// precision from a 128-entry table of 2^(j/128).  Any other block, or a
// block whose val x ln(x) leaves the range of normal float results, goes
// element by element through the scalar table.
#include <emmintrin.h>

#include "primitives/colour/powx_common-inl.h"

namespace prim::PRIM_GEN_NS::powx {
namespace {

constexpr double kLn2 = 0.6931471805599453;
constexpr double kLogC3 = 0.33333333333238757;
constexpr double kLogC2 = 0.4999999999992423;
constexpr double kInvLn2x128 = 184.6649652337873;
constexpr double kLn2Over128 = 0.0054152123481245725;
constexpr double kShifter52 = 6755399441055744.0;  // 1.5 x 2^52
constexpr double kMaxT = 87.333740234375;

// ln(x) for two floats given as their bit patterns (lanes 0, 1 of `bits`).
inline __m128d logPair(const std::uint32_t* bits) {
  alignas(16) double e[2], lnT[2], rc[2], m[2], mr[2];
  for (int i = 0; i < 2; ++i) {
    const std::uint32_t u = bits[i];
    const std::uint32_t frac = u & 0x7fffff;
    const int j = static_cast<int>((frac + (1u << 14)) >> 15);  // nearest 1/256, halves up
    e[i] = static_cast<double>(static_cast<int>(u >> 23) - 127);
    m[i] = static_cast<double>(bitsFloat(frac | 0x3f800000u));
    mr[i] = 1.0 + j * (1.0 / 256.0);
    lnT[i] = kLnRecip[j].hi;
    rc[i] = kLnRecip[j].lo;
  }
  const __m128d r = _mm_mul_pd(_mm_sub_pd(_mm_load_pd(m), _mm_load_pd(mr)), _mm_load_pd(rc));
  __m128d ln = _mm_add_pd(_mm_mul_pd(_mm_load_pd(e), _mm_set1_pd(kLn2)), _mm_load_pd(lnT));
  ln = _mm_add_pd(ln, r);
  const __m128d poly = _mm_sub_pd(_mm_mul_pd(_mm_set1_pd(kLogC3), r), _mm_set1_pd(kLogC2));
  return _mm_add_pd(ln, _mm_mul_pd(_mm_mul_pd(r, r), poly));
}

// Eight elements; false when the block must go element by element.
// Positive zeros ride along (computed as 1.0, stored as +0) when val > 0:
// clamped rows are full of them and would otherwise leave the vector path.
inline bool vectorBlock(const float* src, float val, float* dst) {
  alignas(16) std::uint32_t bits[8];
  std::memcpy(bits, src, sizeof bits);
  alignas(16) std::uint32_t keep[8];
  for (int k = 0; k < 8; ++k) {
    keep[k] = bits[k] == 0 ? 0u : ~0u;
    if (bits[k] == 0) bits[k] = 0x3f800000u;
  }
  alignas(16) double t[8];
  const __m128d vv = _mm_set1_pd(static_cast<double>(val));
  __m128d over = _mm_setzero_pd();
  for (int p = 0; p < 4; ++p) {
    const __m128d tp = _mm_mul_pd(vv, logPair(bits + 2 * p));
    // |t| beyond the normal float range of exp(t), or NaN: not this path.
    const __m128d abst = _mm_andnot_pd(_mm_set1_pd(-0.0), tp);
    over = _mm_or_pd(over, _mm_cmpnle_pd(abst, _mm_set1_pd(kMaxT)));
    _mm_store_pd(t + 2 * p, tp);
  }
  if (_mm_movemask_pd(over) != 0) return false;

  for (int half = 0; half < 2; ++half) {
    alignas(16) std::int32_t N[4];
    __m128 rr[2];
    for (int p = 0; p < 2; ++p) {
      const __m128d tp = _mm_load_pd(t + 4 * half + 2 * p);
      const __m128d nd =
          _mm_sub_pd(_mm_add_pd(_mm_mul_pd(tp, _mm_set1_pd(kInvLn2x128)), _mm_set1_pd(kShifter52)),
                     _mm_set1_pd(kShifter52));
      const __m128d r = _mm_sub_pd(tp, _mm_mul_pd(nd, _mm_set1_pd(kLn2Over128)));
      rr[p] = _mm_cvtpd_ps(r);
      const __m128i ni = _mm_cvtpd_epi32(nd);
      N[2 * p] = _mm_cvtsi128_si32(ni);
      N[2 * p + 1] = _mm_cvtsi128_si32(_mm_srli_si128(ni, 4));
    }
    const __m128 r = _mm_movelh_ps(rr[0], rr[1]);
    alignas(16) float hi[4], lo[4];
    alignas(16) std::uint32_t scale[4];
    for (int i = 0; i < 4; ++i) {
      const int j = N[i] & 127;
      hi[i] = kExpF[j].hi;
      lo[i] = kExpF[j].lo;
      scale[i] = static_cast<std::uint32_t>((N[i] >> 7) + 127) << 23;
    }
    const __m128 h = _mm_load_ps(hi);
    const __m128 inner =
        _mm_add_ps(_mm_add_ps(r, _mm_load_ps(lo)), _mm_mul_ps(_mm_set1_ps(0.5f), _mm_mul_ps(r, r)));
    const __m128 res = _mm_add_ps(h, _mm_mul_ps(h, inner));
    const __m128 scaled =
        _mm_mul_ps(res, _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(scale))));
    _mm_storeu_ps(dst + 4 * half,
                  _mm_and_ps(scaled, _mm_castsi128_ps(
                                         _mm_load_si128(reinterpret_cast<const __m128i*>(keep + 4 * half)))));
  }
  return true;
}

__attribute__((noinline)) PrimResult run(const Prim32f* src, Prim32f val, Prim32f* dst, int len) {
  if (val == 2.0f) {
    squareRange(src, dst, len);
    return primResultOk;
  }
  const ValKind kind = classify(val);
  bool reported = false;
  int i = 0;
  const bool zerosAllowed = val > 0.0f;  // +0 ^ val = +0, not reported
  if (std::isfinite(val)) {
    for (; i + 8 <= len; i += 8) {
      bool ordinary = true;
      for (int k = 0; k < 8; ++k)
        ordinary &= positiveNormal(src[i + k]) || (zerosAllowed && floatBits(src[i + k]) == 0);
      if (!ordinary || !vectorBlock(src + i, val, dst + i))
        reported |= scalarRange(src, val, dst, i, i + 8, kind);
    }
  }
  reported |= scalarRange(src, val, dst, i, len, kind);
  return reported ? primResultDomainWarning : primResultOk;
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::powx

PrimResult sse2_ownsPowx_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (len < 1) return primResultBadSize;
  if (!pSrc || !pDst) return primResultNullPointer;
  prim::PRIM_GEN_NS::powx::FpEnvironmentGuard guard;
  return prim::PRIM_GEN_NS::powx::run(pSrc, val, pDst, len);
}

PrimResult sse2_vecPowx_32f_A21(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  return own_vec_sPowx_SSE2_ttab[0](pSrc, val, pDst, len);
}
