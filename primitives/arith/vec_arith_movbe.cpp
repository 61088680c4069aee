// movbe build of vecAdd_16s_Sfs and its kernels: the steps, thresholds and
// results of the ssse3 build, compiled for the movbe generation (SSSE3; no
// byte-swapping load is needed by an addition).  Its zero case runs the ssse3
// zero routine.
#include "primitives/arith/arith_entries.h"
#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {

PRIM_K16_BIN(movbe, Add, AddOps, Sfs0, true)
PRIM_K16_BIN(movbe, Add, AddOps, Sfs1, true)
PRIM_K16_BINP(movbe, Add, AddOps, SfsPos, true)
PRIM_K16_BINP(movbe, Add, AddOps, SfsNeg, true)
PRIM_K16_BIN(movbe, Add, AddOps, SfsNegSat, true)

namespace {
constexpr entry::Binary16 kAdd16{movbe_ownsAdd_16s_Sfs0,      movbe_ownsAdd_16s_Sfs1,
                                 movbe_ownsAdd_16s_SfsPos,    movbe_ownsAdd_16s_SfsNeg,
                                 movbe_ownsAdd_16s_SfsNegSat, ssse3_vecZero_16s};
}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

PrimResult movbe_vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len, int sf) {
  return entry::binary16(kAdd16, pSrc1, pSrc2, pDst, len, sf);
}
