// sse2 builds of the vector arithmetic primitives and their kernels.
#include "primitives/arith/arith_entries.h"
#include "primitives/arith/arith_float_kernels.h"
#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {

// Float row kernels; the multiply streams beyond 8192 blocks of 8 (with an
// aligned source), the addition beyond 5461.
void sse2_ownsMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  f32::sseLoop(f32::MulC{pSrc, val}, pDst, len, 8192);
}
void sse2_ownsAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  f32::sseLoop(f32::Add{pSrc1, pSrc2}, pDst, len, 5461);
}
void sse2_ownsSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  f32::sseLoop(f32::Sub{pSrc1, pSrc2}, pDst, len, f32::kNoStreaming);
}

PRIM_K16_C(sse2, Sfs0)
PRIM_K16_C(sse2, Sfs1)
PRIM_K16_CP(sse2, SfsPos)
PRIM_K16_CP(sse2, SfsNeg)
PRIM_K16_C(sse2, SfsNegSat)

PRIM_K16_BIN(sse2, Add, AddOps, Sfs0, false)
PRIM_K16_BIN(sse2, Add, AddOps, Sfs1, false)
PRIM_K16_BINP(sse2, Add, AddOps, SfsPos, false)
PRIM_K16_BINP(sse2, Add, AddOps, SfsNeg, false)
PRIM_K16_BIN(sse2, Add, AddOps, SfsNegSat, false)

PRIM_K16_BIN(sse2, Sub, SubOps, Sfs0, false)
PRIM_K16_BIN(sse2, Sub, SubOps, Sfs1, false)
PRIM_K16_BINP(sse2, Sub, SubOps, SfsPos, false)
PRIM_K16_BINP(sse2, Sub, SubOps, SfsNeg, false)
PRIM_K16_BIN(sse2, Sub, SubOps, SfsNegSat, false)

PRIM_K32_ADDC(sse2)
PRIM_K32_BIN(sse2, Add)
PRIM_K32_BIN(sse2, Sub)

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

constexpr entry::Const16 kAddC16{sse2_ownsAddC_16s_Sfs0, sse2_ownsAddC_16s_Sfs1,
                                 sse2_ownsAddC_16s_SfsPos, sse2_ownsAddC_16s_SfsNeg,
                                 sse2_ownsAddC_16s_SfsNegSat, sse2_vecCopy_16s, sse2_vecZero_16s};
constexpr entry::Binary16 kAdd16{sse2_ownsAdd_16s_Sfs0,   sse2_ownsAdd_16s_Sfs1,
                                 sse2_ownsAdd_16s_SfsPos, sse2_ownsAdd_16s_SfsNeg,
                                 sse2_ownsAdd_16s_SfsNegSat, sse2_vecZero_16s};
constexpr entry::Binary16 kSub16{sse2_ownsSub_16s_Sfs0,   sse2_ownsSub_16s_Sfs1,
                                 sse2_ownsSub_16s_SfsPos, sse2_ownsSub_16s_SfsNeg,
                                 sse2_ownsSub_16s_SfsNegSat, sse2_vecZero_16s};
constexpr entry::Const32 kAddC32{sse2_ownsAddC_32s_Sfs0,   sse2_ownsAddC_32s_Sfs1,
                                 sse2_ownsAddC_32s_SfsPos, sse2_ownsAddC_32s_SfsNeg,
                                 addCNegSat32,             sse2_vecCopy_32s,
                                 sse2_vecZero_32s};
constexpr entry::Binary32 kAdd32{sse2_ownsAdd_32s_Sfs0,   sse2_ownsAdd_32s_Sfs1,
                                 sse2_ownsAdd_32s_SfsPos, sse2_ownsAdd_32s_SfsNeg,
                                 addNegSat32,             sse2_vecZero_32s};
constexpr entry::Binary32 kSub32{sse2_ownsSub_32s_Sfs0,   sse2_ownsSub_32s_Sfs1,
                                 sse2_ownsSub_32s_SfsPos, sse2_ownsSub_32s_SfsNeg,
                                 subNegSat32,             sse2_vecZero_32s};
}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult sse2_vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (val == 1.0f) return sse2_vecCopy_32s(reinterpret_cast<const Prim32s*>(pSrc),
                                           reinterpret_cast<Prim32s*>(pDst), len);
  if (val == 0.0f) return sse2_vecZero_32s(reinterpret_cast<Prim32s*>(pDst), len);
  sse2_ownsMulC_32f(pSrc, val, pDst, len);
  return primResultOk;
}
PrimResult sse2_vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  sse2_ownsAdd_32f(pSrc1, pSrc2, pDst, len);
  return primResultOk;
}
PrimResult sse2_vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  sse2_ownsSub_32f(pSrc1, pSrc2, pDst, len);
  return primResultOk;
}
PrimResult sse2_vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len, int sf) {
  return entry::const16(kAddC16, pSrc, val, pDst, len, sf);
}
PrimResult sse2_vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                               int sf) {
  return entry::binary16(kAdd16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult sse2_vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                               int sf) {
  return entry::binary16(kSub16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult sse2_vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len, int sf) {
  return entry::const32(kAddC32, pSrc, val, pDst, len, sf);
}
PrimResult sse2_vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                               int sf) {
  return entry::binary32(kAdd32, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult sse2_vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                               int sf) {
  return entry::binary32(kSub32, pSrc1, pSrc2, pDst, len, sf);
}
