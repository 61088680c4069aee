// Generic builds of the vector arithmetic primitives: one scalar loop per
// case, the integer intermediates formed exactly (32 bits for 16-bit
// elements, 64 bits for 32-bit elements).  These are the reference every
// processor build matches bit for bit.
#include <cstdint>

#include "primitives/arith/float_order.h"
#include "primitives/arith/scale_factor.h"
#include "primitives/arith/vec_arith_builds.h"
#include "primitives/core/vec_memory_builds.h"

namespace prim::PRIM_GEN_NS {
namespace {

using std::int32_t;
using std::int64_t;

// Exact intermediates of the three integer operations.
struct AddOp {
  static int64_t r(int64_t a, int64_t b) { return a + b; }
};
struct SubOp {  // second operand minus the first
  static int64_t r(int64_t a, int64_t b) { return b - a; }
};

// One loop per scale-factor case; the zero case is forwarded to the zero
// routine by the caller.  T is the element type, the intermediate of each
// element is Op::r(a[i], b(i)).
template <class T, class Op, class B>
void runCases(const T* a, B b, T* d, int len, int sf) {
  if (sf == 0) {
    for (int i = 0; i < len; ++i) d[i] = sfs::saturate<T>(Op::r(a[i], b(i)));
  } else if (sf < 0) {
    constexpr int signThreshold = sizeof(T) == 2 ? -15 : -30;
    if (sf < signThreshold) {
      constexpr T hi = std::numeric_limits<T>::max();
      constexpr T lo = std::numeric_limits<T>::min();
      for (int i = 0; i < len; ++i) {
        const int64_t r = Op::r(a[i], b(i));
        d[i] = r > 0 ? hi : (r < 0 ? lo : T{0});
      }
    } else {
      const int n = -sf;
      for (int i = 0; i < len; ++i) d[i] = sfs::saturate<T>(Op::r(a[i], b(i)) * (int64_t{1} << n));
    }
  } else if (sf == 1) {
    for (int i = 0; i < len; ++i) {
      const int64_t r = Op::r(a[i], b(i));
      d[i] = sfs::saturate<T>((r + ((r >> 1) & 1)) >> 1);
    }
  } else {
    const int64_t half = (int64_t{1} << (sf - 1)) - 1;
    for (int i = 0; i < len; ++i) {
      const int64_t r = Op::r(a[i], b(i));
      d[i] = static_cast<T>((r + half + ((r >> sf) & 1)) >> sf);
    }
  }
}

template <class T>
struct Arr {
  const T* p;
  int64_t operator()(int i) const { return p[i]; }
};
template <class T>
struct Const {
  T v;
  int64_t operator()(int) const { return v; }
};

}  // namespace
}  // namespace prim::PRIM_GEN_NS

using namespace prim::PRIM_GEN_NS;

// ---- float -----------------------------------------------------------------

PrimResult px_vecMulC_32f(const Prim32f* pSrc, Prim32f val, Prim32f* pDst, int len) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (val == 1.0f)
    return px_vecCopy_32s(reinterpret_cast<const Prim32s*>(pSrc), reinterpret_cast<Prim32s*>(pDst), len);
  if (val == 0.0f) return px_vecZero_32s(reinterpret_cast<Prim32s*>(pDst), len);
  for (int i = 0; i < len; ++i) pDst[i] = forder::mul(pSrc[i], val);
  return primResultOk;
}

PrimResult px_vecAdd_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  for (int i = 0; i < len; ++i) pDst[i] = forder::add(pSrc1[i], pSrc2[i]);
  return primResultOk;
}

PrimResult px_vecSub_32f(const Prim32f* pSrc1, const Prim32f* pSrc2, Prim32f* pDst, int len) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  for (int i = 0; i < len; ++i) pDst[i] = pSrc2[i] - pSrc1[i];
  return primResultOk;
}

// ---- 16-bit ----------------------------------------------------------------

PrimResult px_vecAddC_16s_Sfs(const Prim16s* pSrc, Prim16s val, Prim16s* pDst, int len, int scaleFactor) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (scaleFactor == 0 && val == 0) return px_vecCopy_16s(pSrc, pDst, len);
  if (scaleFactor > 16) return px_vecZero_16s(pDst, len);
  runCases<Prim16s, AddOp>(pSrc, Const<Prim16s>{val}, pDst, len, scaleFactor);
  return primResultOk;
}

PrimResult px_vecAdd_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                             int scaleFactor) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (scaleFactor > 16) return px_vecZero_16s(pDst, len);
  runCases<Prim16s, AddOp>(pSrc1, Arr<Prim16s>{pSrc2}, pDst, len, scaleFactor);
  return primResultOk;
}

PrimResult px_vecSub_16s_Sfs(const Prim16s* pSrc1, const Prim16s* pSrc2, Prim16s* pDst, int len,
                             int scaleFactor) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (scaleFactor > 16) return px_vecZero_16s(pDst, len);
  runCases<Prim16s, SubOp>(pSrc1, Arr<Prim16s>{pSrc2}, pDst, len, scaleFactor);
  return primResultOk;
}

// ---- 32-bit ----------------------------------------------------------------

PrimResult px_vecAddC_32s_Sfs(const Prim32s* pSrc, Prim32s val, Prim32s* pDst, int len, int scaleFactor) {
  if (!pSrc || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (scaleFactor == 0 && val == 0) return px_vecCopy_32s(pSrc, pDst, len);
  if (scaleFactor > 32) return px_vecZero_32s(pDst, len);
  runCases<Prim32s, AddOp>(pSrc, Const<Prim32s>{val}, pDst, len, scaleFactor);
  return primResultOk;
}

PrimResult px_vecAdd_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                             int scaleFactor) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (scaleFactor > 32) return px_vecZero_32s(pDst, len);
  runCases<Prim32s, AddOp>(pSrc1, Arr<Prim32s>{pSrc2}, pDst, len, scaleFactor);
  return primResultOk;
}

PrimResult px_vecSub_32s_Sfs(const Prim32s* pSrc1, const Prim32s* pSrc2, Prim32s* pDst, int len,
                             int scaleFactor) {
  if (!pSrc1 || !pSrc2 || !pDst) return primResultNullPointer;
  if (len < 1) return primResultBadSize;
  if (scaleFactor > 32) return px_vecZero_32s(pDst, len);
  runCases<Prim32s, SubOp>(pSrc1, Arr<Prim32s>{pSrc2}, pDst, len, scaleFactor);
  return primResultOk;
}
