// ssse3 builds of the vector arithmetic primitives and their kernels (they
// also fill the movbe slots, except for vecAdd_16s_Sfs, which has a movbe
// build of its own, and the sse41 slot of vecAdd_32f).  The 16-bit additions
// and the 16-bit subtraction at factor 0 prefetch 256 bytes ahead when
// everything is 16-byte aligned.
#include "primitives/arith/arith_entries.h"
#include "primitives/arith/arith_float_kernels.h"
#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {

// Float row kernels; the multiply streams beyond 16384 blocks of 8 (with an
// aligned source), the addition beyond 10922.
void ssse3_ownsMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  f32::sseLoop(f32::MulC{pSrc, val}, pDst, len, 16384);
}
void ssse3_ownsAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  f32::sseLoop(f32::Add{pSrc1, pSrc2}, pDst, len, 10922);
}
void ssse3_ownsSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  f32::sseLoop(f32::Sub{pSrc1, pSrc2}, pDst, len, f32::kNoStreaming);
}

PRIM_K16_C(ssse3, Sfs0)
PRIM_K16_C(ssse3, Sfs1)
PRIM_K16_CP(ssse3, SfsPos)
PRIM_K16_CP(ssse3, SfsNeg)
PRIM_K16_C(ssse3, SfsNegSat)

PRIM_K16_BIN(ssse3, Add, AddOps, Sfs0, true)
PRIM_K16_BIN(ssse3, Add, AddOps, Sfs1, true)
PRIM_K16_BINP(ssse3, Add, AddOps, SfsPos, true)
PRIM_K16_BINP(ssse3, Add, AddOps, SfsNeg, true)
PRIM_K16_BIN(ssse3, Add, AddOps, SfsNegSat, true)

PRIM_K16_BIN(ssse3, Sub, SubOps, Sfs0, true)
PRIM_K16_BIN(ssse3, Sub, SubOps, Sfs1, false)
PRIM_K16_BINP(ssse3, Sub, SubOps, SfsPos, false)
PRIM_K16_BINP(ssse3, Sub, SubOps, SfsNeg, false)
PRIM_K16_BIN(ssse3, Sub, SubOps, SfsNegSat, false)

PRIM_K32_ADDC(ssse3)
PRIM_K32_BIN(ssse3, Add)
PRIM_K32_BIN(ssse3, Sub)

namespace {
void addNegSat32(const Prim32s* a, const Prim32s* b, Prim32s* d, int n) {
  k32::negSatPairs<false>(a, k32::Arr{b}, d, n);
}
void subNegSat32(const Prim32s* a, const Prim32s* b, Prim32s* d, int n) {
  k32::negSatPairs<true>(a, k32::Arr{b}, d, n);
}
void addCNegSat32(const Prim32s* a, std::int32_t v, Prim32s* d, int n) {
  k32::negSatPairs<false>(a, k32::Bcast{v}, d, n);
}

constexpr entry::Const16 kAddC16{ssse3_ownsAddC_16s_Sfs0, ssse3_ownsAddC_16s_Sfs1,
                                 ssse3_ownsAddC_16s_SfsPos, ssse3_ownsAddC_16s_SfsNeg,
                                 ssse3_ownsAddC_16s_SfsNegSat, ssse3_vecCopy_16s, ssse3_vecZero_16s};
constexpr entry::Binary16 kAdd16{ssse3_ownsAdd_16s_Sfs0,   ssse3_ownsAdd_16s_Sfs1,
                                 ssse3_ownsAdd_16s_SfsPos, ssse3_ownsAdd_16s_SfsNeg,
                                 ssse3_ownsAdd_16s_SfsNegSat, ssse3_vecZero_16s};
constexpr entry::Binary16 kSub16{ssse3_ownsSub_16s_Sfs0,   ssse3_ownsSub_16s_Sfs1,
                                 ssse3_ownsSub_16s_SfsPos, ssse3_ownsSub_16s_SfsNeg,
                                 ssse3_ownsSub_16s_SfsNegSat, ssse3_vecZero_16s};
constexpr entry::Const32 kAddC32{ssse3_ownsAddC_32s_Sfs0,   ssse3_ownsAddC_32s_Sfs1,
                                 ssse3_ownsAddC_32s_SfsPos, ssse3_ownsAddC_32s_SfsNeg,
                                 addCNegSat32,             ssse3_vecCopy_32s,
                                 ssse3_vecZero_32s};
constexpr entry::Binary32 kAdd32{ssse3_ownsAdd_32s_Sfs0,   ssse3_ownsAdd_32s_Sfs1,
                                 ssse3_ownsAdd_32s_SfsPos, ssse3_ownsAdd_32s_SfsNeg,
                                 addNegSat32,             ssse3_vecZero_32s};
constexpr entry::Binary32 kSub32{ssse3_ownsSub_32s_Sfs0,   ssse3_ownsSub_32s_Sfs1,
                                 ssse3_ownsSub_32s_SfsPos, ssse3_ownsSub_32s_SfsNeg,
                                 subNegSat32,             ssse3_vecZero_32s};
}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult ssse3_vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (val == 1.0f) return ssse3_vecCopy_32s(reinterpret_cast<const Prim32s*>(pSrc),
                                           reinterpret_cast<Prim32s*>(pDst), len);
  if (val == 0.0f) return ssse3_vecZero_32s(reinterpret_cast<Prim32s*>(pDst), len);
  ssse3_ownsMulC_32f(pSrc, val, pDst, len);
  return primResultOk;
}
PrimResult ssse3_vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  ssse3_ownsAdd_32f(pSrc1, pSrc2, pDst, len);
  return primResultOk;
}
PrimResult ssse3_vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  ssse3_ownsSub_32f(pSrc1, pSrc2, pDst, len);
  return primResultOk;
}
PrimResult ssse3_vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len, int sf) {
  return entry::const16(kAddC16, pSrc, val, pDst, len, sf);
}
PrimResult ssse3_vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                               int sf) {
  return entry::binary16(kAdd16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult ssse3_vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                               int sf) {
  return entry::binary16(kSub16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult ssse3_vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len, int sf) {
  return entry::const32(kAddC32, pSrc, val, pDst, len, sf);
}
PrimResult ssse3_vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                               int sf) {
  return entry::binary32(kAdd32, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult ssse3_vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                               int sf) {
  return entry::binary32(kSub32, pSrc1, pSrc2, pDst, len, sf);
}
