// avx builds of the vector arithmetic primitives and their kernels: the
// 16-byte kernels in VEX encoding with misalignment-tolerant accesses, the
// float primitives inline with eight lanes.
#include "primitives/arith/arith_entries.h"
#include "primitives/arith/arith_float_kernels.h"
#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {

PRIM_K16_C(avx, Sfs0)
PRIM_K16_C(avx, Sfs1)
PRIM_K16_CP(avx, SfsPos)
PRIM_K16_CP(avx, SfsNeg)
PRIM_K16_C(avx, SfsNegSat)

PRIM_K16_BIN(avx, Add, AddOps, Sfs0, true)
PRIM_K16_BIN(avx, Add, AddOps, Sfs1, true)
PRIM_K16_BINP(avx, Add, AddOps, SfsPos, true)
PRIM_K16_BINP(avx, Add, AddOps, SfsNeg, true)
PRIM_K16_BIN(avx, Add, AddOps, SfsNegSat, true)

PRIM_K16_BIN(avx, Sub, SubOps, Sfs0, true)
PRIM_K16_BIN(avx, Sub, SubOps, Sfs1, false)
PRIM_K16_BINP(avx, Sub, SubOps, SfsPos, false)
PRIM_K16_BINP(avx, Sub, SubOps, SfsNeg, false)
PRIM_K16_BIN(avx, Sub, SubOps, SfsNegSat, false)

PRIM_K32_ADDC(avx)
PRIM_K32_BIN(avx, Add)
PRIM_K32_BIN(avx, Sub)

namespace {

// Sign saturation, four elements per step in 64-bit lanes.
template <bool kSub>
inline __m128i negSat4(__m128i a, __m128i b) {
  const __m128i aLo = _mm_cvtepi32_epi64(a), aHi = _mm_cvtepi32_epi64(_mm_srli_si128(a, 8));
  const __m128i bLo = _mm_cvtepi32_epi64(b), bHi = _mm_cvtepi32_epi64(_mm_srli_si128(b, 8));
  const __m128i z = _mm_setzero_si128(), hi = _mm_set1_epi64x(INT32_MAX), lo = _mm_set1_epi64x(INT32_MIN);
  __m128i r0 = kSub ? _mm_sub_epi64(bLo, aLo) : _mm_add_epi64(aLo, bLo);
  __m128i r1 = kSub ? _mm_sub_epi64(bHi, aHi) : _mm_add_epi64(aHi, bHi);
  r0 = _mm_blendv_epi8(r0, hi, _mm_cmpgt_epi64(r0, z));
  r0 = _mm_blendv_epi8(r0, lo, _mm_cmpgt_epi64(z, r0));
  r1 = _mm_blendv_epi8(r1, hi, _mm_cmpgt_epi64(r1, z));
  r1 = _mm_blendv_epi8(r1, lo, _mm_cmpgt_epi64(z, r1));
  return _mm_castps_si128(
      _mm_shuffle_ps(_mm_castsi128_ps(r0), _mm_castsi128_ps(r1), _MM_SHUFFLE(2, 0, 2, 0)));
}

// Below 4 elements one at a time; up to 393 four per step from the first
// element; from 394 the destination is first brought to a 32-byte boundary
// (wholly scalar when it is not on a 4-byte boundary, or when fewer than 4
// elements would follow the head).  The rest one at a time.
template <bool kSub, class B>
void negSat32(const Prim32s* a, const B& b, Prim32s* d, int len) {
  std::ptrdiff_t i = 0;
  const std::ptrdiff_t n = len;
  auto one = [&](std::ptrdiff_t j) { d[j] = k32::negSat1<kSub>(a[j], _mm_cvtsi128_si32(b.v1(j))); };
  if (n >= 4) {
    bool vector = true;
    if (n >= 394 && (k32::addr(d) & 31)) {
      if (k32::addr(d) & 3) {
        vector = false;
      } else {
        const std::ptrdiff_t head = (32 - (k32::addr(d) & 31)) / 4;
        if (n < head + 4) {
          vector = false;
        } else {
          for (; i < head; ++i) one(i);
        }
      }
    }
    if (vector) {
      const std::ptrdiff_t end = i + ((n - i) / 4) * 4;
      for (; i < end; i += 4) k32::L128::store4(d + i, negSat4<kSub>(k32::L128::load4(a + i), b.v4(i)));
    }
  }
  for (; i < n; ++i) one(i);
}

void addNegSat32(const Prim32s* a, const Prim32s* b, Prim32s* d, int n) {
  negSat32<false>(a, k32::Arr{b}, d, n);
}
void subNegSat32(const Prim32s* a, const Prim32s* b, Prim32s* d, int n) {
  negSat32<true>(a, k32::Arr{b}, d, n);
}
void addCNegSat32(const Prim32s* a, std::int32_t v, Prim32s* d, int n) {
  negSat32<false>(a, k32::Bcast{v}, d, n);
}

constexpr entry::Const16 kAddC16{avx_ownsAddC_16s_Sfs0,   avx_ownsAddC_16s_Sfs1,      avx_ownsAddC_16s_SfsPos,
                                 avx_ownsAddC_16s_SfsNeg, avx_ownsAddC_16s_SfsNegSat, avx_vecCopy_16s,
                                 avx_vecZero_16s};
constexpr entry::Binary16 kAdd16{avx_ownsAdd_16s_Sfs0,   avx_ownsAdd_16s_Sfs1,      avx_ownsAdd_16s_SfsPos,
                                 avx_ownsAdd_16s_SfsNeg, avx_ownsAdd_16s_SfsNegSat, avx_vecZero_16s};
constexpr entry::Binary16 kSub16{avx_ownsSub_16s_Sfs0,   avx_ownsSub_16s_Sfs1,      avx_ownsSub_16s_SfsPos,
                                 avx_ownsSub_16s_SfsNeg, avx_ownsSub_16s_SfsNegSat, avx_vecZero_16s};
constexpr entry::Const32 kAddC32{avx_ownsAddC_32s_Sfs0,   avx_ownsAddC_32s_Sfs1, avx_ownsAddC_32s_SfsPos,
                                 avx_ownsAddC_32s_SfsNeg, addCNegSat32,          avx_vecCopy_32s,
                                 avx_vecZero_32s};
constexpr entry::Binary32 kAdd32{avx_ownsAdd_32s_Sfs0,   avx_ownsAdd_32s_Sfs1, avx_ownsAdd_32s_SfsPos,
                                 avx_ownsAdd_32s_SfsNeg, addNegSat32,          avx_vecZero_32s};
constexpr entry::Binary32 kSub32{avx_ownsSub_32s_Sfs0,   avx_ownsSub_32s_Sfs1, avx_ownsSub_32s_SfsPos,
                                 avx_ownsSub_32s_SfsNeg, subNegSat32,          avx_vecZero_32s};
}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult avx_vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (val == 1.0f)
    return avx_vecCopy_32s(reinterpret_cast<const Prim32s*>(pSrc), reinterpret_cast<Prim32s*>(pDst), len);
  if (val == 0.0f) return avx_vecZero_32s(reinterpret_cast<Prim32s*>(pDst), len);
  f32::avxLoop(f32::MulC{pSrc, val}, pDst, len);
  return primResultOk;
}
PrimResult avx_vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  f32::avxLoop(f32::Add{pSrc1, pSrc2}, pDst, len);
  return primResultOk;
}
PrimResult avx_vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  f32::avxLoop(f32::Sub{pSrc1, pSrc2}, pDst, len);
  return primResultOk;
}
PrimResult avx_vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len, int sf) {
  return entry::const16(kAddC16, pSrc, val, pDst, len, sf);
}
PrimResult avx_vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len, int sf) {
  return entry::binary16(kAdd16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult avx_vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len, int sf) {
  return entry::binary16(kSub16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult avx_vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len, int sf) {
  return entry::const32(kAddC32, pSrc, val, pDst, len, sf);
}
PrimResult avx_vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len, int sf) {
  return entry::binary32(kAdd32, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult avx_vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len, int sf) {
  return entry::binary32(kSub32, pSrc1, pSrc2, pDst, len, sf);
}
