// Build entries of the integer scale-factor primitives, shared by the SIMD
// generations.  Each generation source hands in its own kernels and its own
// copy and zero routines; the entry checks the arguments (null pointers in
// argument order, then the length), picks the case once per call and runs
// that one kernel over the whole vector.
#pragma once

#include <cstdint>

#include "primitives/arith/arith16_kernels.h"
#include "primitives/arith/arith32_kernels.h"
#include "primitives/core/gen_namespace.h"
#include "primitives/core/prim_types.h"

namespace prim::PRIM_GEN_NS::entry {

using Kern16 = void (*)(const Prim16s*, const Prim16s*, Prim16s*, int);
using Kern16P = void (*)(const Prim16s*, const Prim16s*, Prim16s*, int, int);
using KernC16 = void (*)(const Prim16s*, std::int32_t, Prim16s*, int);
using KernC16P = void (*)(const Prim16s*, std::int32_t, Prim16s*, int, int);
using Kern32 = void (*)(const Prim32s*, const Prim32s*, Prim32s*, int);
using Kern32P = void (*)(const Prim32s*, const Prim32s*, Prim32s*, int, int);
using KernC32 = void (*)(const Prim32s*, std::int32_t, Prim32s*, int);
using KernC32P = void (*)(const Prim32s*, std::int32_t, Prim32s*, int, int);
using Zero16 = PrimResult (*)(Prim16s*, int);
using Zero32 = PrimResult (*)(Prim32s*, int);
using Copy16 = PrimResult (*)(const Prim16s*, Prim16s*, int);
using Copy32 = PrimResult (*)(const Prim32s*, Prim32s*, int);

// Kernels of one 16-bit two-vector primitive.  sfs1 may be null: the SfsPos
// kernel then also takes factor 1.
struct Binary16 {
  Kern16 sfs0;
  Kern16 sfs1;
  Kern16P pos;
  Kern16P neg;
  Kern16 negSat;
  Zero16 zero;
};

inline PrimResult binary16(const Binary16& k, const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst,
                           int len, int sf) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (sf == 0) {
    k.sfs0(pSrc1, pSrc2, pDst, len);
  } else if (sf > 16) {
    return k.zero(pDst, len);
  } else if (sf == 1 && k.sfs1) {
    k.sfs1(pSrc1, pSrc2, pDst, len);
  } else if (sf > 0) {
    k.pos(pSrc1, pSrc2, pDst, len, sf);
  } else if (sf >= -15) {
    k.neg(pSrc1, pSrc2, pDst, len, -sf);
  } else {
    k.negSat(pSrc1, pSrc2, pDst, len);
  }
  return primResultOk;
}

struct Const16 {
  KernC16 sfs0;
  KernC16 sfs1;
  KernC16P pos;
  KernC16P neg;
  KernC16 negSat;
  Copy16 copy;
  Zero16 zero;
};

inline PrimResult const16(const Const16& k, const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len,
                          int sf) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (sf == 0) {
    if (val == 0) return k.copy(pSrc, pDst, len);
    k.sfs0(pSrc, val, pDst, len);
  } else if (sf > 16) {
    return k.zero(pDst, len);
  } else if (sf == 1) {
    k.sfs1(pSrc, val, pDst, len);
  } else if (sf > 0) {
    k.pos(pSrc, val, pDst, len, sf);
  } else if (sf >= -15) {
    k.neg(pSrc, val, pDst, len, -sf);
  } else {
    k.negSat(pSrc, val, pDst, len);
  }
  return primResultOk;
}

// The sign saturation (factors -31 and below) stands in the entry itself.
using NegSat32 = void (*)(const Prim32s*, const Prim32s*, Prim32s*, int);
using NegSatC32 = void (*)(const Prim32s*, std::int32_t, Prim32s*, int);

struct Binary32 {
  Kern32 sfs0;
  Kern32 sfs1;
  Kern32P pos;
  Kern32P neg;
  NegSat32 negSat;
  Zero32 zero;
};

inline PrimResult binary32(const Binary32& k, const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst,
                           int len, int sf) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (sf == 0) {
    k.sfs0(pSrc1, pSrc2, pDst, len);
  } else if (sf > 32) {
    return k.zero(pDst, len);
  } else if (sf == 1) {
    k.sfs1(pSrc1, pSrc2, pDst, len);
  } else if (sf > 0) {
    k.pos(pSrc1, pSrc2, pDst, len, sf);
  } else if (sf >= -30) {
    k.neg(pSrc1, pSrc2, pDst, len, -sf);
  } else {
    k.negSat(pSrc1, pSrc2, pDst, len);
  }
  return primResultOk;
}

struct Const32 {
  KernC32 sfs0;
  KernC32 sfs1;
  KernC32P pos;
  KernC32P neg;
  NegSatC32 negSat;
  Copy32 copy;
  Zero32 zero;
};

inline PrimResult const32(const Const32& k, const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len,
                          int sf) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (sf == 0) {
    if (val == 0) return k.copy(pSrc, pDst, len);
    k.sfs0(pSrc, val, pDst, len);
  } else if (sf > 32) {
    return k.zero(pDst, len);
  } else if (sf == 1) {
    k.sfs1(pSrc, val, pDst, len);
  } else if (sf > 0) {
    k.pos(pSrc, val, pDst, len, sf);
  } else if (sf >= -30) {
    k.neg(pSrc, val, pDst, len, -sf);
  } else {
    k.negSat(pSrc, val, pDst, len);
  }
  return primResultOk;
}

}  // namespace prim::PRIM_GEN_NS::entry

// ---- kernel definitions for one generation ----------------------------------
//
// Each macro defines one named kernel of the generation `gen` in
// prim::PRIM_GEN_NS (`gen` may be PRIM_GEN_NS itself).  PF: prefetch in the
// fully aligned main loop.

#define PRIM_K16_BIN(gen, Name, OpsT, C, PF)                                                              \
  void PRIM_BUILD_CAT(gen, owns##Name##_16s_##C)(const Prim16s* a, const Prim16s* b, Prim16s* d, int n) { \
    k16::run<k16::Case::C, PF>(k16::OpsT{a, b}, d, n, 1);                                                 \
  }
#define PRIM_K16_BINP(gen, Name, OpsT, C, PF)                                                           \
  void PRIM_BUILD_CAT(gen, owns##Name##_16s_##C)(const Prim16s* a, const Prim16s* b, Prim16s* d, int n, \
                                                 int p) {                                               \
    k16::run<k16::Case::C, PF>(k16::OpsT{a, b}, d, n, p);                                               \
  }
#define PRIM_K16_C(gen, C)                                                                          \
  void PRIM_BUILD_CAT(gen, ownsAddC_16s_##C)(const Prim16s* a, std::int32_t v, Prim16s* d, int n) { \
    k16::run<k16::Case::C, false>(k16::AddCOps(a, v), d, n, 1);                                     \
  }
#define PRIM_K16_CP(gen, C)                                                                                \
  void PRIM_BUILD_CAT(gen, ownsAddC_16s_##C)(const Prim16s* a, std::int32_t v, Prim16s* d, int n, int p) { \
    k16::run<k16::Case::C, false>(k16::AddCOps(a, v), d, n, p);                                            \
  }

// All four 32-bit kernels of one operation (Add or Sub) on the 16-byte
// skeleton; factor 2 runs its own rule.
#define PRIM_K32_BIN(gen, Name)                                                                            \
  void PRIM_BUILD_CAT(gen, owns##Name##_32s_Sfs0)(const Prim32s* a, const Prim32s* b, Prim32s* d, int n) { \
    k32::run(k32::R##Name##0 {}, a, k32::Arr{b}, d, n);                                                    \
  }                                                                                                        \
  void PRIM_BUILD_CAT(gen, owns##Name##_32s_Sfs1)(const Prim32s* a, const Prim32s* b, Prim32s* d, int n) { \
    k32::run(k32::R##Name##1 {}, a, k32::Arr{b}, d, n);                                                    \
  }                                                                                                        \
  void PRIM_BUILD_CAT(gen, owns##Name##_32s_SfsPos)(const Prim32s* a, const Prim32s* b, Prim32s* d, int n, \
                                                    int f) {                                               \
    if (f == 2)                                                                                            \
      k32::run(k32::R##Name##Pos2{}, a, k32::Arr{b}, d, n);                                                \
    else                                                                                                   \
      k32::run(k32::R##Name##Pos{k32::Pos(f)}, a, k32::Arr{b}, d, n);                                      \
  }                                                                                                        \
  void PRIM_BUILD_CAT(gen, owns##Name##_32s_SfsNeg)(const Prim32s* a, const Prim32s* b, Prim32s* d, int n, \
                                                    int k) {                                               \
    k32::run(k32::R##Name##Neg{k}, a, k32::Arr{b}, d, n);                                                  \
  }

#define PRIM_K32_ADDC(gen)                                                                           \
  void PRIM_BUILD_CAT(gen, ownsAddC_32s_Sfs0)(const Prim32s* a, std::int32_t v, Prim32s* d, int n) { \
    k32::run(k32::RAdd0{}, a, k32::Bcast{v}, d, n);                                                  \
  }                                                                                                  \
  void PRIM_BUILD_CAT(gen, ownsAddC_32s_Sfs1)(const Prim32s* a, std::int32_t v, Prim32s* d, int n) { \
    k32::run(k32::RAddC1{v >> 1, (v & 1) != 0}, a, k32::Bcast{v}, d, n);                             \
  }                                                                                                  \
  void PRIM_BUILD_CAT(gen, ownsAddC_32s_SfsPos)(const Prim32s* a, std::int32_t v, Prim32s* d, int n, \
                                                int f) {                                             \
    if (f == 2)                                                                                      \
      k32::run(k32::RAddPos2{}, a, k32::Bcast{v}, d, n);                                             \
    else                                                                                             \
      k32::run(k32::RAddPos{k32::Pos(f)}, a, k32::Bcast{v}, d, n);                                   \
  }                                                                                                  \
  void PRIM_BUILD_CAT(gen, ownsAddC_32s_SfsNeg)(const Prim32s* a, std::int32_t v, Prim32s* d, int n, \
                                                int k) {                                             \
    k32::run(k32::RAddNeg{k}, a, k32::Bcast{v}, d, n);                                               \
  }
