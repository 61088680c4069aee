// avx2 builds of the vector arithmetic primitives and their kernels: 32-byte
// vectors with misalignment-tolerant accesses and no destination peel (except
// for the add-constant kernel at factor 1).  The 16-bit addition and
// subtraction have no factor-1 kernel: their SfsPos kernel narrows with
// signed saturation and takes factor 1 as well.  The 32-bit addition and
// subtraction run every case inline.
#include <algorithm>
#include <cstring>

#include "primitives/arith/arith_entries.h"
#include "primitives/arith/arith_float_kernels.h"
#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {
namespace {

using std::int32_t;
using std::ptrdiff_t;

inline __m256i load16(const Prim16s* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void store16(Prim16s* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline __m128i load8(const Prim16s* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store8(Prim16s* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// 256-bit operand sets of the 16-bit kernels, beside their 16-byte twins.
struct Add256 {
  const Prim16s* a;
  const Prim16s* b;
  k16::AddOps o128() const { return {a, b}; }
  __m256i sat16(ptrdiff_t i) const { return _mm256_adds_epi16(load16(a + i), load16(b + i)); }
  __m256i exact8(ptrdiff_t i) const {
    return _mm256_add_epi32(_mm256_cvtepi16_epi32(load8(a + i)), _mm256_cvtepi16_epi32(load8(b + i)));
  }
};
struct Sub256 {
  const Prim16s* a;
  const Prim16s* b;
  k16::SubOps o128() const { return {a, b}; }
  __m256i sat16(ptrdiff_t i) const { return _mm256_subs_epi16(load16(b + i), load16(a + i)); }
  __m256i exact8(ptrdiff_t i) const {
    return _mm256_sub_epi32(_mm256_cvtepi16_epi32(load8(b + i)), _mm256_cvtepi16_epi32(load8(a + i)));
  }
};
struct AddC256 {
  const Prim16s* a;
  int32_t val;
  __m256i v16;
  __m256i v32;
  AddC256(const Prim16s* src, int32_t value)
      : a(src),
        val(value),
        v16(_mm256_set1_epi16(static_cast<short>(value))),
        v32(_mm256_set1_epi32(value)) {}
  k16::AddCOps o128() const { return k16::AddCOps(a, val); }
  __m256i sat16(ptrdiff_t i) const { return _mm256_adds_epi16(load16(a + i), v16); }
  __m256i exact8(ptrdiff_t i) const { return _mm256_add_epi32(_mm256_cvtepi16_epi32(load8(a + i)), v32); }
};

// Factor 0: saturating 16-bit arithmetic; 32 per step, then 8 per step, then
// the last elements by the scalar rule.
template <class Ops>
void sfs0(const Ops& ops, Prim16s* d, int len) {
  const auto o = ops.o128();
  ptrdiff_t i = 0;
  for (; i + 32 <= len; i += 32) {
    const __m256i r0 = ops.sat16(i), r1 = ops.sat16(i + 16);
    store16(d + i, r0);
    store16(d + i + 16, r1);
  }
  for (; i + 8 <= len; i += 8) store8(d + i, o.sat8(i));
  k16::scalarRange<k16::Case::Sfs0>(o, d, i, len, 0);
}

// Factors 1..16: widened to 32-bit lanes, rounded half to even, narrowed with
// signed saturation (so factor 1 saturates 32768 to 32767); 16 per step,
// then 4 per step, then the scalar rule.
template <class Ops>
void sfsPos(const Ops& ops, Prim16s* d, int len, int p) {
  const auto o = ops.o128();
  const __m128i cnt = _mm_cvtsi32_si128(p);
  const __m256i bias = _mm256_set1_epi32(p > 1 ? (int32_t{1} << (p - 1)) - 1 : 0);
  const __m256i one = _mm256_set1_epi32(1);
  auto round8 = [&](__m256i x) {
    const __m256i odd = _mm256_and_si256(_mm256_srl_epi32(x, cnt), one);
    return _mm256_sra_epi32(_mm256_add_epi32(_mm256_add_epi32(x, bias), odd), cnt);
  };
  ptrdiff_t i = 0;
  for (; i + 16 <= len; i += 16) {
    const __m256i r = _mm256_packs_epi32(round8(ops.exact8(i)), round8(ops.exact8(i + 8)));
    store16(d + i, _mm256_permute4x64_epi64(r, _MM_SHUFFLE(3, 1, 2, 0)));
  }
  const k16::Params k(p);
  for (; i + 4 <= len; i += 4) {
    const __m128i r = k16::round4(o.exact4(i), k);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + i), _mm_packs_epi32(r, r));
  }
  if (p == 1)
    k16::scalarRange<k16::Case::Sfs1>(o, d, i, len, 1);
  else
    k16::scalarRange<k16::Case::SfsPos>(o, d, i, len, p);
}

// Factors -15..-1 in 16-bit lanes: the saturated value shifted, replaced by
// the bound where it lies beyond 32767 >> k or -32768 >> k.  32 per step,
// then 8 per step, then the scalar rule.
template <class Ops>
void sfsNeg(const Ops& ops, Prim16s* d, int len, int k) {
  const auto o = ops.o128();
  const __m128i cnt = _mm_cvtsi32_si128(k);
  const short hi = static_cast<short>(32767 >> k), lo = static_cast<short>(-32768 >> k);
  const __m256i hi16 = _mm256_set1_epi16(hi), lo16 = _mm256_set1_epi16(lo);
  const __m256i max16 = _mm256_set1_epi16(32767), min16 = _mm256_set1_epi16(-32768);
  auto shift16 = [&](__m256i s) {
    __m256i r = _mm256_sll_epi16(s, cnt);
    r = _mm256_blendv_epi8(r, max16, _mm256_cmpgt_epi16(s, hi16));
    return _mm256_blendv_epi8(r, min16, _mm256_cmpgt_epi16(lo16, s));
  };
  ptrdiff_t i = 0;
  for (; i + 32 <= len; i += 32) {
    const __m256i r0 = shift16(ops.sat16(i)), r1 = shift16(ops.sat16(i + 16));
    store16(d + i, r0);
    store16(d + i + 16, r1);
  }
  const __m128i hi8 = _mm_set1_epi16(hi), lo8 = _mm_set1_epi16(lo);
  for (; i + 8 <= len; i += 8) {
    const __m128i s = o.sat8(i);
    __m128i r = _mm_sll_epi16(s, cnt);
    r = _mm_blendv_epi8(r, _mm_set1_epi16(32767), _mm_cmpgt_epi16(s, hi8));
    r = _mm_blendv_epi8(r, _mm_set1_epi16(-32768), _mm_cmpgt_epi16(lo8, s));
    store8(d + i, r);
  }
  k16::scalarRange<k16::Case::SfsNeg>(o, d, i, len, k);
}

// Factors -16 and below: t = 32767 or -32768 by the sign of the saturated
// value s, then the sign of s applied (0 where s is 0).  32 per step, one
// step of 16, one of 8, then the scalar rule.
template <class Ops>
void sfsNegSat(const Ops& ops, Prim16s* d, int len) {
  const auto o = ops.o128();
  const __m256i m = _mm256_set1_epi16(32767);
  auto sat = [&](__m256i s) { return _mm256_sign_epi16(_mm256_add_epi16(_mm256_srli_epi16(s, 15), m), s); };
  ptrdiff_t i = 0;
  for (; i + 32 <= len; i += 32) {
    const __m256i r0 = sat(ops.sat16(i)), r1 = sat(ops.sat16(i + 16));
    store16(d + i, r0);
    store16(d + i + 16, r1);
  }
  if (i + 16 <= len) {
    store16(d + i, sat(ops.sat16(i)));
    i += 16;
  }
  if (i + 8 <= len) {
    const __m128i s = o.sat8(i);
    store8(d + i, _mm_sign_epi16(_mm_add_epi16(_mm_srli_epi16(s, 15), _mm_set1_epi16(32767)), s));
    i += 8;
  }
  k16::scalarRange<k16::Case::SfsNegSat>(o, d, i, len, 0);
}

// Add-constant at factor 1 in 16-bit lanes: both operands biased to unsigned,
// their rounding average (a + b + 1) >> 1 is exact in 17 bits; lanes whose
// sum is 1 mod 4 (a tie that must round down to even) take one less.
struct AddCSfs1 {
  __m256i b;     // val biased
  __m256i low;   // (val XOR 1) AND 3: the low bits of src that make the sum 1 mod 4
  __m256i bias;  // 0x8000
  __m256i three;
  explicit AddCSfs1(int32_t val)
      : b(_mm256_set1_epi16(static_cast<short>(val ^ 0x8000))),
        low(_mm256_set1_epi16(static_cast<short>((val ^ 1) & 3))),
        bias(_mm256_set1_epi16(static_cast<short>(0x8000))),
        three(_mm256_set1_epi16(3)) {}
  __m256i operator()(__m256i src) const {
    const __m256i avg = _mm256_avg_epu16(_mm256_xor_si256(src, bias), b);
    const __m256i down = _mm256_cmpeq_epi16(_mm256_and_si256(src, three), low);  // -1 there
    return _mm256_xor_si256(_mm256_add_epi16(avg, down), bias);
  }
};

// Up to 16 elements as one vector whose other lanes are 0; nothing outside
// the k elements is read or written.
inline void partial16(const AddCSfs1& f, const Prim16s* s, Prim16s* d, ptrdiff_t k) {
  alignas(32) Prim16s buf[16] = {};
  std::memcpy(buf, s, static_cast<std::size_t>(k) * 2);
  _mm256_store_si256(reinterpret_cast<__m256i*>(buf),
                     f(_mm256_load_si256(reinterpret_cast<const __m256i*>(buf))));
  std::memcpy(d, buf, static_cast<std::size_t>(k) * 2);
}

void addCSfs1(const Prim16s* a, int32_t val, Prim16s* d, int len) {
  const AddCSfs1 f(val);
  ptrdiff_t i = 0;
  const std::uintptr_t off = k16::addr(d) & 31 & ~std::uintptr_t{1};
  if (off) {
    const ptrdiff_t h = std::min<ptrdiff_t>(16 - static_cast<ptrdiff_t>(off / 2), len);
    partial16(f, a, d, h);
    i = h;
  }
  for (; i + 16 <= len; i += 16) store16(d + i, f(load16(a + i)));
  if (i < len) partial16(f, a + i, d + i, len - i);
}

}  // namespace

void avx2_ownsAddC_16s_Sfs0(const Prim16s* a, int32_t v, Prim16s* d, int n) { sfs0(AddC256(a, v), d, n); }
void avx2_ownsAddC_16s_Sfs1(const Prim16s* a, int32_t v, Prim16s* d, int n) { addCSfs1(a, v, d, n); }
void avx2_ownsAddC_16s_SfsPos(const Prim16s* a, int32_t v, Prim16s* d, int n, int p) {
  sfsPos(AddC256(a, v), d, n, p);
}
void avx2_ownsAddC_16s_SfsNeg(const Prim16s* a, int32_t v, Prim16s* d, int n, int k) {
  sfsNeg(AddC256(a, v), d, n, k);
}
void avx2_ownsAddC_16s_SfsNegSat(const Prim16s* a, int32_t v, Prim16s* d, int n) {
  sfsNegSat(AddC256(a, v), d, n);
}

void avx2_ownsAdd_16s_Sfs0(const Prim16s* a, const Prim16s* b, Prim16s* d, int n) {
  sfs0(Add256{a, b}, d, n);
}
void avx2_ownsAdd_16s_SfsPos(const Prim16s* a, const Prim16s* b, Prim16s* d, int n, int p) {
  sfsPos(Add256{a, b}, d, n, p);
}
void avx2_ownsAdd_16s_SfsNeg(const Prim16s* a, const Prim16s* b, Prim16s* d, int n, int k) {
  sfsNeg(Add256{a, b}, d, n, k);
}
void avx2_ownsAdd_16s_SfsNegSat(const Prim16s* a, const Prim16s* b, Prim16s* d, int n) {
  sfsNegSat(Add256{a, b}, d, n);
}

void avx2_ownsSub_16s_Sfs0(const Prim16s* a, const Prim16s* b, Prim16s* d, int n) {
  sfs0(Sub256{a, b}, d, n);
}
void avx2_ownsSub_16s_SfsPos(const Prim16s* a, const Prim16s* b, Prim16s* d, int n, int p) {
  sfsPos(Sub256{a, b}, d, n, p);
}
void avx2_ownsSub_16s_SfsNeg(const Prim16s* a, const Prim16s* b, Prim16s* d, int n, int k) {
  sfsNeg(Sub256{a, b}, d, n, k);
}
void avx2_ownsSub_16s_SfsNegSat(const Prim16s* a, const Prim16s* b, Prim16s* d, int n) {
  sfsNegSat(Sub256{a, b}, d, n);
}

namespace {

// ---- 32-bit, inline cases ---------------------------------------------------

// Sign saturation of eight elements in 64-bit lanes.
template <bool kSub>
inline __m256i negSat8(__m256i a, __m256i b) {
  const __m256i aLo = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(a));
  const __m256i aHi = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(a, 1));
  const __m256i bLo = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(b));
  const __m256i bHi = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(b, 1));
  const __m256i z = _mm256_setzero_si256();
  const __m256i hi = _mm256_set1_epi64x(INT32_MAX), lo = _mm256_set1_epi64x(INT32_MIN);
  __m256i r0 = kSub ? _mm256_sub_epi64(bLo, aLo) : _mm256_add_epi64(aLo, bLo);
  __m256i r1 = kSub ? _mm256_sub_epi64(bHi, aHi) : _mm256_add_epi64(aHi, bHi);
  r0 = _mm256_blendv_epi8(r0, hi, _mm256_cmpgt_epi64(r0, z));
  r0 = _mm256_blendv_epi8(r0, lo, _mm256_cmpgt_epi64(z, r0));
  r1 = _mm256_blendv_epi8(r1, hi, _mm256_cmpgt_epi64(r1, z));
  r1 = _mm256_blendv_epi8(r1, lo, _mm256_cmpgt_epi64(z, r1));
  const __m256i idx = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  const __m128i l = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(r0, idx));
  const __m128i h = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(r1, idx));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(l), h, 1);
}

template <bool kSub>
inline __m128i negSat4(__m128i a, __m128i b) {
  const __m256i a64 = _mm256_cvtepi32_epi64(a), b64 = _mm256_cvtepi32_epi64(b);
  const __m256i z = _mm256_setzero_si256();
  __m256i r = kSub ? _mm256_sub_epi64(b64, a64) : _mm256_add_epi64(a64, b64);
  r = _mm256_blendv_epi8(r, _mm256_set1_epi64x(INT32_MAX), _mm256_cmpgt_epi64(r, z));
  r = _mm256_blendv_epi8(r, _mm256_set1_epi64x(INT32_MIN), _mm256_cmpgt_epi64(z, r));
  return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(r, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
}

// Below 8 elements one at a time; up to 1199 eight per step from the first
// element; from 1200 the destination is first brought to a 32-byte boundary
// (wholly scalar when it is not on a 4-byte boundary, or when fewer than 8
// would follow the head).  Then one group of 4 and the rest one at a time.
template <bool kSub, class B>
void negSat32(const Prim32s* a, const B& b, Prim32s* d, int len) {
  ptrdiff_t i = 0;
  const ptrdiff_t n = len;
  auto one = [&](ptrdiff_t j) { d[j] = k32::negSat1<kSub>(a[j], _mm_cvtsi128_si32(b.v1(j))); };
  if (n >= 8) {
    bool vector = true;
    if (n >= 1200 && (k32::addr(d) & 31)) {
      if (k32::addr(d) & 3) {
        vector = false;
      } else {
        const ptrdiff_t head = (32 - (k32::addr(d) & 31)) / 4;
        if (n < head + 8)
          vector = false;
        else
          for (; i < head; ++i) one(i);
      }
    }
    if (vector) {
      for (; i + 8 <= n; i += 8) k32::L256::store8(d + i, negSat8<kSub>(k32::L256::load8(a + i), b.v8(i)));
      if (i + 4 <= n) {
        k32::L128::store4(d + i, negSat4<kSub>(k32::L128::load4(a + i), b.v4(i)));
        i += 4;
      }
    }
  }
  for (; i < n; ++i) one(i);
}

template <bool kSub, class B>
void cases32(const Prim32s* a, const B& b, Prim32s* d, int len, int sf) {
  if (sf == 0) {
    if constexpr (kSub)
      k32::run256(k32::RSub0{}, a, b, d, len);
    else
      k32::run256(k32::RAdd0{}, a, b, d, len);
  } else if (sf == 1) {
    if constexpr (kSub)
      k32::run256(k32::RSub1{}, a, b, d, len);
    else
      k32::run256(k32::RAdd1{}, a, b, d, len);
  } else if (sf == 2) {
    if constexpr (kSub)
      k32::run256(k32::RSubPos2{}, a, b, d, len);
    else
      k32::run256(k32::RAddPos2{}, a, b, d, len);
  } else if (sf > 2) {
    if constexpr (kSub)
      k32::run256(k32::RSubPos{k32::Pos(sf)}, a, b, d, len);
    else
      k32::run256(k32::RAddPos{k32::Pos(sf)}, a, b, d, len);
  } else if (sf >= -30) {
    if constexpr (kSub)
      k32::run256(k32::RSubNeg{-sf}, a, b, d, len);
    else
      k32::run256(k32::RAddNeg{-sf}, a, b, d, len);
  } else {
    negSat32<kSub>(a, b, d, len);
  }
}

constexpr entry::Const16 kAddC16{
    avx2_ownsAddC_16s_Sfs0,      avx2_ownsAddC_16s_Sfs1, avx2_ownsAddC_16s_SfsPos, avx2_ownsAddC_16s_SfsNeg,
    avx2_ownsAddC_16s_SfsNegSat, avx2_vecCopy_16s,       avx2_vecZero_16s};
constexpr entry::Binary16 kAdd16{avx2_ownsAdd_16s_Sfs0,      nullptr,
                                 avx2_ownsAdd_16s_SfsPos,    avx2_ownsAdd_16s_SfsNeg,
                                 avx2_ownsAdd_16s_SfsNegSat, avx2_vecZero_16s};
constexpr entry::Binary16 kSub16{avx2_ownsSub_16s_Sfs0,      nullptr,
                                 avx2_ownsSub_16s_SfsPos,    avx2_ownsSub_16s_SfsNeg,
                                 avx2_ownsSub_16s_SfsNegSat, avx2_vecZero_16s};
}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult avx2_vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (val == 1.0f)
    return avx2_vecCopy_32s(reinterpret_cast<const Prim32s*>(pSrc), reinterpret_cast<Prim32s*>(pDst), len);
  if (val == 0.0f) return avx2_vecZero_32s(reinterpret_cast<Prim32s*>(pDst), len);
  f32::avx2Loop(f32::MulC{pSrc, val}, pDst, len);
  return primResultOk;
}
PrimResult avx2_vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  f32::avx2Loop(f32::Add{pSrc1, pSrc2}, pDst, len);
  return primResultOk;
}
PrimResult avx2_vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  f32::avx2Loop(f32::Sub{pSrc1, pSrc2}, pDst, len);
  return primResultOk;
}
PrimResult avx2_vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len, int sf) {
  return entry::const16(kAddC16, pSrc, val, pDst, len, sf);
}
PrimResult avx2_vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len, int sf) {
  return entry::binary16(kAdd16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult avx2_vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len, int sf) {
  return entry::binary16(kSub16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult avx2_vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len, int sf) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (sf == 0 && val == 0) return avx2_vecCopy_32s(pSrc, pDst, len);
  if (sf > 32) return avx2_vecZero_32s(pDst, len);
  if (sf == 1)
    k32::run256(k32::RAddC1{val >> 1, (val & 1) != 0}, pSrc, k32::Bcast{val}, pDst, len);
  else
    cases32<false>(pSrc, k32::Bcast{val}, pDst, len, sf);
  return primResultOk;
}
PrimResult avx2_vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len, int sf) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (sf > 32) return avx2_vecZero_32s(pDst, len);
  cases32<false>(pSrc1, k32::Arr{pSrc2}, pDst, len, sf);
  return primResultOk;
}
PrimResult avx2_vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len, int sf) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (sf > 32) return avx2_vecZero_32s(pDst, len);
  cases32<true>(pSrc1, k32::Arr{pSrc2}, pDst, len, sf);
  return primResultOk;
}
