// sse41 builds of the vector arithmetic primitives and their kernels.  The
// float addition has no sse41 build (its slot runs the ssse3 build); the
// 16-bit addition runs the ssse3 kernels at factor 0 and for the sign
// saturation, the 16-bit subtraction the sse2 sign-saturation kernel.
#include "primitives/arith/arith_entries.h"
#include "primitives/arith/arith_float_kernels.h"
#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {

void sse41_ownsMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  f32::sseLoop(f32::MulC{pSrc, val}, pDst, len, 16384);
}
void sse41_ownsSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  f32::sseLoop(f32::Sub{pSrc1, pSrc2}, pDst, len, f32::kNoStreaming);
}

PRIM_K16_C(sse41, Sfs0)
PRIM_K16_C(sse41, Sfs1)
PRIM_K16_CP(sse41, SfsPos)
PRIM_K16_CP(sse41, SfsNeg)
PRIM_K16_C(sse41, SfsNegSat)

PRIM_K16_BIN(sse41, Add, AddOps, Sfs1, true)
PRIM_K16_BINP(sse41, Add, AddOps, SfsPos, true)
PRIM_K16_BINP(sse41, Add, AddOps, SfsNeg, true)

PRIM_K16_BIN(sse41, Sub, SubOps, Sfs0, true)
PRIM_K16_BIN(sse41, Sub, SubOps, Sfs1, false)
PRIM_K16_BINP(sse41, Sub, SubOps, SfsPos, false)
PRIM_K16_BINP(sse41, Sub, SubOps, SfsNeg, false)

PRIM_K32_ADDC(sse41)
PRIM_K32_BIN(sse41, Add)
PRIM_K32_BIN(sse41, Sub)

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

constexpr entry::Const16 kAddC16{sse41_ownsAddC_16s_Sfs0, sse41_ownsAddC_16s_Sfs1,
                                 sse41_ownsAddC_16s_SfsPos, sse41_ownsAddC_16s_SfsNeg,
                                 sse41_ownsAddC_16s_SfsNegSat, sse41_vecCopy_16s,
                                 sse41_vecZero_16s};
constexpr entry::Binary16 kAdd16{prim::ssse3::ssse3_ownsAdd_16s_Sfs0, sse41_ownsAdd_16s_Sfs1,
                                 sse41_ownsAdd_16s_SfsPos, sse41_ownsAdd_16s_SfsNeg,
                                 prim::ssse3::ssse3_ownsAdd_16s_SfsNegSat, sse41_vecZero_16s};
constexpr entry::Binary16 kSub16{sse41_ownsSub_16s_Sfs0,   sse41_ownsSub_16s_Sfs1,
                                 sse41_ownsSub_16s_SfsPos, sse41_ownsSub_16s_SfsNeg,
                                 prim::sse2::sse2_ownsSub_16s_SfsNegSat, sse41_vecZero_16s};
constexpr entry::Const32 kAddC32{sse41_ownsAddC_32s_Sfs0,   sse41_ownsAddC_32s_Sfs1,
                                 sse41_ownsAddC_32s_SfsPos, sse41_ownsAddC_32s_SfsNeg,
                                 addCNegSat32,              sse41_vecCopy_32s,
                                 sse41_vecZero_32s};
constexpr entry::Binary32 kAdd32{sse41_ownsAdd_32s_Sfs0,   sse41_ownsAdd_32s_Sfs1,
                                 sse41_ownsAdd_32s_SfsPos, sse41_ownsAdd_32s_SfsNeg,
                                 addNegSat32,              sse41_vecZero_32s};
constexpr entry::Binary32 kSub32{sse41_ownsSub_32s_Sfs0,   sse41_ownsSub_32s_Sfs1,
                                 sse41_ownsSub_32s_SfsPos, sse41_ownsSub_32s_SfsNeg,
                                 subNegSat32,              sse41_vecZero_32s};
}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult sse41_vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (val == 1.0f) return sse41_vecCopy_32s(reinterpret_cast<const Prim32s*>(pSrc),
                                            reinterpret_cast<Prim32s*>(pDst), len);
  if (val == 0.0f) return sse41_vecZero_32s(reinterpret_cast<Prim32s*>(pDst), len);
  sse41_ownsMulC_32f(pSrc, val, pDst, len);
  return primResultOk;
}
PrimResult sse41_vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  sse41_ownsSub_32f(pSrc1, pSrc2, pDst, len);
  return primResultOk;
}
PrimResult sse41_vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len,
                                 int sf) {
  return entry::const16(kAddC16, pSrc, val, pDst, len, sf);
}
PrimResult sse41_vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst,
                                int len, int sf) {
  return entry::binary16(kAdd16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult sse41_vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst,
                                int len, int sf) {
  return entry::binary16(kSub16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult sse41_vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len,
                                 int sf) {
  return entry::const32(kAddC32, pSrc, val, pDst, len, sf);
}
PrimResult sse41_vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst,
                                int len, int sf) {
  return entry::binary32(kAdd32, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult sse41_vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst,
                                int len, int sf) {
  return entry::binary32(kSub32, pSrc1, pSrc2, pDst, len, sf);
}
