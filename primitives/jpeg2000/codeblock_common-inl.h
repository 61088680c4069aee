// The code-block decoder, compiled once per processor generation: what every
// part of it shares.
//
// Each codeblock_<gen>.cpp includes codeblock_driver-inl.h, which brings in
// the rest in this order:
//
//   codeblock_common-inl.h       shared helpers (this file)
//   codeblock_mq-inl.h           MQ decoding and the contexts' reset
//   codeblock_contexts-inl.h     flag words and the context tables
//   codeblock_pass_setup-inl.h   a pass's view of the state, the raw reader
//                                and the two sources of a pass's bits
//   codeblock_significance-inl.h the significance propagation scan
//   codeblock_passes-inl.h       refinement and clean-up scans, the passes
//   codeblock_driver-inl.h       begin, the pass driver and the other
//                                primitives of one build
//
// Everything lives in the namespace of the generation being compiled.  The
// builds run the same algorithm on the same state and give the same
// coefficients, results and state bit for bit.  What differs between them
// (PRIM_GEN_LEVEL):
//   - the contexts' reset: word by word in px; 16-byte SSE2 moves from sse2
//     to sse41, 16-byte AVX moves in avx, 32-byte moves in avx2;
//   - the significance pass on full stripes: px scans it column by column;
//     sse2 and later find the samples to code in up to 16 columns at once
//     with vector compares of the flag words (four columns a vector, eight in
//     avx2, which also sets their visited marks with vector shifts) and code
//     them as a list;
//   - avx2 finds the lowest set bit with a trailing-zero count (the others
//     with a reverse scan), takes a raw bit with a bit-field extract, and its
//     object also counts leading zeros with LZCNT where the processor has it
//     (codeblock_avx2.cpp);
//   - everywhere else only the instructions the compiler picks for each
//     generation's flags.
// The layout of the flag words is described in codeblock_contexts-inl.h.
#pragma once

#include <cstdint>
#include <cstring>

#include "primitives/core/gen_namespace.h"
#include "primitives/jpeg2000/codeblock.h"
#include "primitives/jpeg2000/codeblock_tables.h"

#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSE2
#include <immintrin.h>
#endif

// The decision and its callers fold into each pass, so that the MQ registers
// stay in processor registers through a whole pass.
#define PRIM_CB_INLINE __attribute__((always_inline)) inline
#define PRIM_CB_LAMBDA_INLINE __attribute__((always_inline))

namespace prim::PRIM_GEN_NS {
namespace cb {

using u8 = std::uint8_t;
using u32 = std::uint32_t;
using i32 = std::int32_t;
using i64 = std::int64_t;
using State = PrimCodeBlockDecoderState;

inline u8* stateBytes(State* s) { return reinterpret_cast<u8*>(s); }
inline u32 load32(const u8* p) {
  u32 v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(u8* p, u32 v) { std::memcpy(p, &v, 4); }
inline std::uint64_t load64(const u8* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline i64 align32(i64 v) { return (v + 31) & ~i64{31}; }
inline i64 flagStrideBytes(i64 width) { return align32(4 * width + 8); }
inline i64 workAreaBytes(i64 width, i64 height) { return flagStrideBytes(width) * ((height + 1) / 2 + 2); }

// The same address, which the compiler may no longer derive from the loop
// counters: it would otherwise keep a pointer of its own for every
// neighbouring word and coefficient row a scan writes, and spill them.
template <class T>
PRIM_CB_INLINE T* opaque(T* p) {
  asm("" : "+r"(p));
  return p;
}

// Index of the lowest set bit of a non-zero mask.  Below avx2, a reverse
// bit scan of the isolated bit: a forward scan could be encoded above those
// builds' level.
PRIM_CB_INLINE int lowestBit(std::uint64_t m) {
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX2
  return __builtin_ctzll(m);
#else
  return 63 - __builtin_clzll(m & (0 - m));
#endif
}

}  // namespace cb
}  // namespace prim::PRIM_GEN_NS
