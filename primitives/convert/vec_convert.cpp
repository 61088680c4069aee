// Conversion and shift primitives: dispatch tables and public entries.
#include "primitives/convert/vec_convert.h"

#include "primitives/convert/vec_convert_builds.h"
#include "primitives/core/dispatch.h"

namespace {
PRIM_DISPATCH_TABLE(vecConvert_32s16s);
PRIM_DISPATCH_TABLE(vecConvert_32f32s_Sfs);
PRIM_DISPATCH_TABLE(vecConvert_32s32f_Sfs);
PRIM_DISPATCH_TABLE(vecLShiftC_16s);
PRIM_DISPATCH_TABLE(vecRShiftC_16s);
PRIM_DISPATCH_TABLE(vecRShiftC_32s);
}  // namespace

PrimResult vecConvert_32s16s(const Prim32s* pSrc, Prim16s* pDst, int len) {
  return primDispatch(tbl_vecConvert_32s16s)(pSrc, pDst, len);
}
PrimResult vecConvert_32f32s_Sfs(const Prim32f* pSrc, Prim32s* pDst, int len, int roundMode,
                                 int scaleFactor) {
  return primDispatch(tbl_vecConvert_32f32s_Sfs)(pSrc, pDst, len, roundMode, scaleFactor);
}
PrimResult vecConvert_32s32f_Sfs(const Prim32s* pSrc, Prim32f* pDst, int len, int scaleFactor) {
  return primDispatch(tbl_vecConvert_32s32f_Sfs)(pSrc, pDst, len, scaleFactor);
}
PrimResult vecLShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  return primDispatch(tbl_vecLShiftC_16s)(pSrc, val, pDst, len);
}
PrimResult vecRShiftC_16s(const Prim16s* pSrc, int val, Prim16s* pDst, int len) {
  return primDispatch(tbl_vecRShiftC_16s)(pSrc, val, pDst, len);
}
PrimResult vecRShiftC_32s(const Prim32s* pSrc, int val, Prim32s* pDst, int len) {
  return primDispatch(tbl_vecRShiftC_32s)(pSrc, val, pDst, len);
}
