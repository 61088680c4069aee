// Builds of the vector arithmetic primitives and their kernels for one
// 16-byte generation: sse2, ssse3 and sse41 each compile this file.  Where
// they differ:
//  - the float multiply streams beyond 8192 blocks of 8 in sse2 and beyond
//    16384 from ssse3 on (with an aligned source), the float addition beyond
//    5461 in sse2 and beyond 10922 in ssse3; sse41 has no float addition (its
//    slot runs the ssse3 build);
//  - from ssse3 on, the 16-bit additions and the 16-bit subtraction at factor
//    0 prefetch 256 bytes ahead when everything is 16-byte aligned;
//  - the sse41 16-bit addition runs the ssse3 kernels at factor 0 and for the
//    sign saturation, the sse41 16-bit subtraction the sse2 sign-saturation
//    kernel.
#include "primitives/arith/arith_entries.h"
#include "primitives/arith/arith_float_kernels.h"
#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/gen_namespace.h"
#include "primitives/core/vec_memory_builds.h"

#if defined(__AVX__) || !defined(__SSE2__)
#error "vec_arith_sse-inl.h is compiled by the sse2, ssse3 and sse41 sources only"
#endif

// The generation shows in its instruction sets: sse2 has neither SSSE3 nor
// SSE4.1, ssse3 has SSSE3, sse41 has both.
namespace prim::PRIM_GEN_NS {

#if defined(__SSSE3__)
constexpr bool kArithPrefetch = true;
constexpr int kMulCStreamBlocks = 16384;
constexpr int kAddStreamBlocks = 10922;
#else
constexpr bool kArithPrefetch = false;
constexpr int kMulCStreamBlocks = 8192;
constexpr int kAddStreamBlocks = 5461;
#endif

// Float row kernels.
void PRIM_BUILD(ownsMulC_32f)(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  f32::sseLoop(f32::MulC{pSrc, val}, pDst, len, kMulCStreamBlocks);
}
#if !defined(__SSE4_1__)
void PRIM_BUILD(ownsAdd_32f)(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  f32::sseLoop(f32::Add{pSrc1, pSrc2}, pDst, len, kAddStreamBlocks);
}
#endif
void PRIM_BUILD(ownsSub_32f)(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  f32::sseLoop(f32::Sub{pSrc1, pSrc2}, pDst, len, f32::kNoStreaming);
}

PRIM_K16_C(PRIM_GEN_NS, Sfs0)
PRIM_K16_C(PRIM_GEN_NS, Sfs1)
PRIM_K16_CP(PRIM_GEN_NS, SfsPos)
PRIM_K16_CP(PRIM_GEN_NS, SfsNeg)
PRIM_K16_C(PRIM_GEN_NS, SfsNegSat)

#if !defined(__SSE4_1__)
PRIM_K16_BIN(PRIM_GEN_NS, Add, AddOps, Sfs0, kArithPrefetch)
#endif
PRIM_K16_BIN(PRIM_GEN_NS, Add, AddOps, Sfs1, kArithPrefetch)
PRIM_K16_BINP(PRIM_GEN_NS, Add, AddOps, SfsPos, kArithPrefetch)
PRIM_K16_BINP(PRIM_GEN_NS, Add, AddOps, SfsNeg, kArithPrefetch)
#if !defined(__SSE4_1__)
PRIM_K16_BIN(PRIM_GEN_NS, Add, AddOps, SfsNegSat, kArithPrefetch)
#endif

PRIM_K16_BIN(PRIM_GEN_NS, Sub, SubOps, Sfs0, kArithPrefetch)
PRIM_K16_BIN(PRIM_GEN_NS, Sub, SubOps, Sfs1, false)
PRIM_K16_BINP(PRIM_GEN_NS, Sub, SubOps, SfsPos, false)
PRIM_K16_BINP(PRIM_GEN_NS, Sub, SubOps, SfsNeg, false)
#if !defined(__SSE4_1__)
PRIM_K16_BIN(PRIM_GEN_NS, Sub, SubOps, SfsNegSat, false)
#endif

PRIM_K32_ADDC(PRIM_GEN_NS)
PRIM_K32_BIN(PRIM_GEN_NS, Add)
PRIM_K32_BIN(PRIM_GEN_NS, Sub)

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

#if defined(__SSE4_1__)
constexpr entry::Kern16 kAdd16Sfs0 = prim::ssse3::ssse3_ownsAdd_16s_Sfs0;
constexpr entry::Kern16 kAdd16NegSat = prim::ssse3::ssse3_ownsAdd_16s_SfsNegSat;
constexpr entry::Kern16 kSub16NegSat = prim::sse2::sse2_ownsSub_16s_SfsNegSat;
#else
constexpr entry::Kern16 kAdd16Sfs0 = PRIM_BUILD(ownsAdd_16s_Sfs0);
constexpr entry::Kern16 kAdd16NegSat = PRIM_BUILD(ownsAdd_16s_SfsNegSat);
constexpr entry::Kern16 kSub16NegSat = PRIM_BUILD(ownsSub_16s_SfsNegSat);
#endif

constexpr entry::Const16 kAddC16{
    PRIM_BUILD(ownsAddC_16s_Sfs0),   PRIM_BUILD(ownsAddC_16s_Sfs1),      PRIM_BUILD(ownsAddC_16s_SfsPos),
    PRIM_BUILD(ownsAddC_16s_SfsNeg), PRIM_BUILD(ownsAddC_16s_SfsNegSat), PRIM_BUILD(vecCopy_16s),
    PRIM_BUILD(vecZero_16s)};
constexpr entry::Binary16 kAdd16{kAdd16Sfs0,
                                 PRIM_BUILD(ownsAdd_16s_Sfs1),
                                 PRIM_BUILD(ownsAdd_16s_SfsPos),
                                 PRIM_BUILD(ownsAdd_16s_SfsNeg),
                                 kAdd16NegSat,
                                 PRIM_BUILD(vecZero_16s)};
constexpr entry::Binary16 kSub16{PRIM_BUILD(ownsSub_16s_Sfs0),
                                 PRIM_BUILD(ownsSub_16s_Sfs1),
                                 PRIM_BUILD(ownsSub_16s_SfsPos),
                                 PRIM_BUILD(ownsSub_16s_SfsNeg),
                                 kSub16NegSat,
                                 PRIM_BUILD(vecZero_16s)};
constexpr entry::Const32 kAddC32{PRIM_BUILD(ownsAddC_32s_Sfs0),
                                 PRIM_BUILD(ownsAddC_32s_Sfs1),
                                 PRIM_BUILD(ownsAddC_32s_SfsPos),
                                 PRIM_BUILD(ownsAddC_32s_SfsNeg),
                                 addCNegSat32,
                                 PRIM_BUILD(vecCopy_32s),
                                 PRIM_BUILD(vecZero_32s)};
constexpr entry::Binary32 kAdd32{PRIM_BUILD(ownsAdd_32s_Sfs0),
                                 PRIM_BUILD(ownsAdd_32s_Sfs1),
                                 PRIM_BUILD(ownsAdd_32s_SfsPos),
                                 PRIM_BUILD(ownsAdd_32s_SfsNeg),
                                 addNegSat32,
                                 PRIM_BUILD(vecZero_32s)};
constexpr entry::Binary32 kSub32{PRIM_BUILD(ownsSub_32s_Sfs0),
                                 PRIM_BUILD(ownsSub_32s_Sfs1),
                                 PRIM_BUILD(ownsSub_32s_SfsPos),
                                 PRIM_BUILD(ownsSub_32s_SfsNeg),
                                 subNegSat32,
                                 PRIM_BUILD(vecZero_32s)};
}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult PRIM_BUILD(vecMulC_32f)(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (val == 1.0f)
    return PRIM_BUILD(vecCopy_32s)(reinterpret_cast<const Prim32s*>(pSrc), reinterpret_cast<Prim32s*>(pDst),
                                   len);
  if (val == 0.0f) return PRIM_BUILD(vecZero_32s)(reinterpret_cast<Prim32s*>(pDst), len);
  PRIM_BUILD(ownsMulC_32f)(pSrc, val, pDst, len);
  return primResultOk;
}
#if !defined(__SSE4_1__)
PrimResult PRIM_BUILD(vecAdd_32f)(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  PRIM_BUILD(ownsAdd_32f)(pSrc1, pSrc2, pDst, len);
  return primResultOk;
}
#endif
PrimResult PRIM_BUILD(vecSub_32f)(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  PRIM_BUILD(ownsSub_32f)(pSrc1, pSrc2, pDst, len);
  return primResultOk;
}
PrimResult PRIM_BUILD(vecAddC_16s_Sfs)(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len, int sf) {
  return entry::const16(kAddC16, pSrc, val, pDst, len, sf);
}
PrimResult PRIM_BUILD(vecAdd_16s_Sfs)(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                                      int sf) {
  return entry::binary16(kAdd16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult PRIM_BUILD(vecSub_16s_Sfs)(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                                      int sf) {
  return entry::binary16(kSub16, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult PRIM_BUILD(vecAddC_32s_Sfs)(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len, int sf) {
  return entry::const32(kAddC32, pSrc, val, pDst, len, sf);
}
PrimResult PRIM_BUILD(vecAdd_32s_Sfs)(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                                      int sf) {
  return entry::binary32(kAdd32, pSrc1, pSrc2, pDst, len, sf);
}
PrimResult PRIM_BUILD(vecSub_32s_Sfs)(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                                      int sf) {
  return entry::binary32(kSub32, pSrc1, pSrc2, pDst, len, sf);
}
