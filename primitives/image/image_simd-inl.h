// Image primitives: the builds of one SIMD generation (sse2, ssse3, sse41,
// avx and avx2 each compile this file with their own flags and namespace).
//
// Set and copy work on runs of bytes with 16-byte aligned body stores and
// merge contiguous regions into one run; large runs bypass the caches with
// non-temporal stores when the Part's size and cache rules say so.  The
// multiply and shift builds align each destination row with scalar head
// elements and then run whole vectors (the shift kernels are in
// image_shift-inl.h).  Every build gives the generic build's results bit for
// bit.
#include <immintrin.h>

#include <cstdint>

#include "primitives/core/gen_namespace.h"
#include "primitives/core/memory.h"
#include "primitives/image/image_builds.h"
#include "primitives/image/image_common-inl.h"

namespace prim::PRIM_GEN_NS::image {
namespace {

inline std::uintptr_t addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

inline __m128i loadU(const void* p) {
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_SSSE3
  return _mm_lddqu_si128(static_cast<const __m128i*>(p));
#else
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
#endif
}
inline void storeU(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline void storeA(void* p, __m128i v, bool nonTemporal) {
  if (nonTemporal)
    _mm_stream_si128(static_cast<__m128i*>(p), v);
  else
    _mm_store_si128(static_cast<__m128i*>(p), v);
}

// ---------------------------------------------------------------------------
// Fill a run of `len` bytes with a pixel pattern of P bytes whose period is
// 16 (P = 1, 2, 4, 8, 16) or 48 (P = 3, 6, 12).  The pattern buffer holds the
// pixel repeated from its first byte, long enough for a 16-byte window at any
// offset below the period.  The head store is unaligned; the body stores are
// aligned 16-byte stores (non-temporal when asked, then a fence); the rest
// takes unaligned 16-byte stores and finally whole pixels from the end.
void fillPattern(const Prim8u* pattern, Prim8u* d, int len, bool nonTemporal, int P, int period) {
  const int body = period == 48 ? 48 : 64;
  const int maxRest = period == 48 ? 2 : 3;
  int pos = 0;
  if (len >= body) {
    if (addr(d) & 15) {
      storeU(d, loadU(pattern));
      pos = static_cast<int>(16 - (addr(d) & 15));
    }
    bool any = false;
    while (len - pos >= body) {
      for (int k = 0; k < body; k += 16)
        storeA(d + pos + k, loadU(pattern + (pos + k) % period), nonTemporal);
      pos += body;
      any = true;
    }
    if (nonTemporal && any) _mm_sfence();
  }
  for (int n = 0; n < maxRest && len - pos >= 16 && (n == 0 || len - pos > 16); ++n) {
    storeU(d + pos, loadU(pattern + pos % period));
    pos += 16;
  }
  // Whole pixels from the end backward until the rest is covered.
  for (int at = len - P; at + P > pos; at -= P) std::memcpy(d + at, pattern, static_cast<size_t>(P));
}

// Pattern buffer of `size` bytes holding `pixel` repeated.
inline void makePattern(Prim8u* buf, int size, const void* pixel, int P) {
  for (int i = 0; i < size; ++i) buf[i] = static_cast<const Prim8u*>(pixel)[i % P];
}

// ---------------------------------------------------------------------------
// Row copy kernel of the sse2 builds.
void copyRow(const Prim8u* s, Prim8u* d, int len, bool nonTemporal) {
  int pos = 0;
  if (len >= 64) {
    if (addr(d) & 15) {
      storeU(d, loadU(s));
      pos = static_cast<int>(16 - (addr(d) & 15));
    }
    bool any = false;
    for (; len - pos >= 64; pos += 64) {
      for (int k = 0; k < 64; k += 16) storeA(d + pos + k, loadU(s + pos + k), nonTemporal);
      any = true;
    }
    if (nonTemporal && any) _mm_sfence();
  }
  for (; len - pos >= 8; pos += 8) std::memcpy(d + pos, s + pos, 8);
  const int rest = len - pos;
  if (rest & 4) std::memcpy(d + pos, s + pos, 4), pos += 4;
  if (rest & 2) std::memcpy(d + pos, s + pos, 2), pos += 2;
  if (rest & 1) d[pos] = s[pos];
}

// Non-temporal copy of one row: bytes until the destination is 16-byte
// aligned, 256 KiB chunks touched (one byte in 64) and then streamed, the
// rest streamed in 16-byte blocks, the last bytes one at a time.
void copyRowStreaming(const Prim8u* s, Prim8u* d, std::int64_t len) {
  std::int64_t pos = 0;
  while (pos < len && (addr(d + pos) & 15)) d[pos] = s[pos], ++pos;
  volatile Prim8u sink = 0;
  while (len - pos >= 0x40000) {
    for (std::int64_t k = 0; k < 0x40000; k += 64) sink = sink + s[pos + k];
    for (std::int64_t k = 0; k < 0x40000; k += 16)
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + pos + k), loadU(s + pos + k));
    pos += 0x40000;
  }
  for (std::int64_t k = (len - pos) / 64 * 64; k >= 0 && k < len - pos; k -= 64) sink = sink + s[pos + k];
  for (; len - pos >= 16; pos += 16) _mm_stream_si128(reinterpret_cast<__m128i*>(d + pos), loadU(s + pos));
  for (; pos < len; ++pos) d[pos] = s[pos];
}

// Ordinary copy of one row with 16-byte aligned stores.
void copyRowNormal(const Prim8u* s, Prim8u* d, int len) {
  if (len < 64) {
    int pos = 0;
    if (len & 32) std::memcpy(d, s, 32), pos += 32;
    if (len & 16) std::memcpy(d + pos, s + pos, 16), pos += 16;
    if (len & 8) std::memcpy(d + pos, s + pos, 8), pos += 8;
    if (len & 4) std::memcpy(d + pos, s + pos, 4), pos += 4;
    for (int i = len - 1; i >= pos; --i) d[i] = s[i];
    return;
  }
  copyRow(s, d, len, false);
}

// Region copy kernel of the ssse3, sse41, avx and avx2 builds: merges
// contiguous rows, streams large regions that are at least half the largest
// cache, else copies row by row with aligned stores.
[[maybe_unused]] void copyRegion8u(const Prim8u* s, int srcStep, Prim8u* d, int dstStep, int widthBytes,
                                   int height) {
  const std::int64_t n = std::int64_t{widthBytes} * height;
  if (n > INT32_MAX) {  // no merging, no cache lookup: every row streamed
    for (int r = 0; r < height; ++r) copyRowStreaming(row(s, srcStep, r), row(d, dstStep, r), widthBytes);
    _mm_sfence();
    return;
  }
  if (widthBytes == srcStep && widthBytes == dstStep) {
    widthBytes = static_cast<int>(n);
    height = 1;
  }
  bool stream = false;
  if (widthBytes >= 64 && n >= 0x100000) {
    const int cache = owniRegionCacheSize();
    stream = cache > 0 && n >= cache / 2;
  }
  for (int r = 0; r < height; ++r) {
    if (stream)
      copyRowStreaming(row(s, srcStep, r), row(d, dstStep, r), widthBytes);
    else
      copyRowNormal(row(s, srcStep, r), row(d, dstStep, r), widthBytes);
  }
  if (stream) _mm_sfence();
}

// The ssse3 build's 16-bit region kernel: the same decisions with a
// threshold of more than 0x20000 bytes and more than half the cache.
[[maybe_unused]] void copyRegion8uSse2(const Prim8u* s, int srcStep, Prim8u* d, int dstStep, int widthBytes,
                                       int height) {
  const std::int64_t n = std::int64_t{widthBytes} * height;
  if (n > INT32_MAX) {
    for (int r = 0; r < height; ++r) copyRowStreaming(row(s, srcStep, r), row(d, dstStep, r), widthBytes);
    _mm_sfence();
    return;
  }
  if (widthBytes == srcStep && widthBytes == dstStep) {
    widthBytes = static_cast<int>(n);
    height = 1;
  }
  bool stream = false;
  if (widthBytes >= 64 && n > 0x20000) {
    const int cache = owniRegionCacheSize();
    stream = cache > 0 && n > cache / 2;
  }
  for (int r = 0; r < height; ++r) {
    if (stream)
      copyRowStreaming(row(s, srcStep, r), row(d, dstStep, r), widthBytes);
    else
      copyRow(row(s, srcStep, r), row(d, dstStep, r), widthBytes, false);
  }
  if (stream) _mm_sfence();
}

template <class T>
PrimResult copyBuild(const T* pSrc, int srcStep, T* pDst, int dstStep, int width, int height) {
  if (PrimResult st = checkCopy(pSrc, pDst, width, height)) return st;
  const std::int64_t rowBytes = std::int64_t{width} * sizeof(T);
  const auto* s = reinterpret_cast<const Prim8u*>(pSrc);
  auto* d = reinterpret_cast<Prim8u*>(pDst);
  if (rowBytes > INT32_MAX) {  // a row beyond an int: element loops, row by row
    for (int r = 0; r < height; ++r) copyRowStreaming(row(s, srcStep, r), row(d, dstStep, r), rowBytes);
    _mm_sfence();
    return primResultOk;
  }
#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSE2
  const std::int64_t n = rowBytes * height;
  const bool nonTemporal = n > 0x100000;
  if (mergeable(rowBytes, height, srcStep, dstStep)) {
    copyRow(s, d, static_cast<int>(n), nonTemporal);
  } else {
    for (int r = 0; r < height; ++r)
      copyRow(row(s, srcStep, r), row(d, dstStep, r), static_cast<int>(rowBytes), nonTemporal);
  }
#else
  copyRegion8u(s, srcStep, d, dstStep, static_cast<int>(rowBytes), height);
#endif
  return primResultOk;
}

// ---------------------------------------------------------------------------
// 16-bit multiply with scale factor: products of 8 elements in 32-bit lanes.
struct Products {
  __m128i lo, hi;  // elements 0-3 and 4-7
};
inline Products products(__m128i x, __m128i value) {
  const __m128i pl = _mm_mullo_epi16(x, value), ph = _mm_mulhi_epi16(x, value);
  return {_mm_unpacklo_epi16(pl, ph), _mm_unpackhi_epi16(pl, ph)};
}

inline __m128i roundHalfEven(__m128i p, int s) {
  const __m128i cnt = _mm_cvtsi32_si128(s);
  const __m128i odd = _mm_and_si128(_mm_sra_epi32(p, cnt), _mm_set1_epi32(1));
  const __m128i bias = _mm_add_epi32(_mm_set1_epi32((1 << (s - 1)) - 1), odd);
  return _mm_sra_epi32(_mm_add_epi32(p, bias), cnt);
}

inline __m128i mulVector(__m128i x, __m128i value, MulCase c, int sf) {
  const Products p = products(x, value);
  switch (c) {
    case MulCase::Sfs0:
      return _mm_packs_epi32(p.lo, p.hi);
    case MulCase::Sfs1:
    case MulCase::SfsPos:
      return _mm_packs_epi32(roundHalfEven(p.lo, sf), roundHalfEven(p.hi, sf));
    default: {  // SfsNeg: saturate, widen, shift left, saturate again
      const __m128i q = _mm_packs_epi32(p.lo, p.hi);
      const __m128i cnt = _mm_cvtsi32_si128(-sf);
      const __m128i lo = _mm_sll_epi32(_mm_srai_epi32(_mm_unpacklo_epi16(q, q), 16), cnt);
      const __m128i hi = _mm_sll_epi32(_mm_srai_epi32(_mm_unpackhi_epi16(q, q), 16), cnt);
      return _mm_packs_epi32(lo, hi);
    }
  }
}

inline Prim16s negSatElement(Prim16s x, Prim16s value) {
  if (x == 0) return 0;
  return ((x < 0) == (value < 0)) ? Prim16s{32767} : Prim16s{-32768};
}

void mulRow(const Prim16s* s, Prim16s value, Prim16s* d, int n, MulCase c, int sf) {
  int i = 0;
  if (c != MulCase::SfsNegSat && n >= 15 && !(addr(d) & 1)) {
    while (addr(d + i) & 15) {
      store(d + i, mulElement(load<Prim16s>(s + i), value, sf));
      ++i;
    }
    const __m128i v = _mm_set1_epi16(value);
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX2
    const __m256i v256 = _mm256_set1_epi16(value);
    if (c == MulCase::Sfs0) {
      for (; n - i >= 16; i += 16) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i pl = _mm256_mullo_epi16(x, v256), ph = _mm256_mulhi_epi16(x, v256);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                            _mm256_packs_epi32(_mm256_unpacklo_epi16(pl, ph), _mm256_unpackhi_epi16(pl, ph)));
      }
    }
#endif
    for (; n - i >= 8; i += 8)
      _mm_store_si128(reinterpret_cast<__m128i*>(d + i), mulVector(loadU(s + i), v, c, sf));
  }
  if (c == MulCase::SfsNegSat) {
    for (; i < n; ++i) store(d + i, negSatElement(load<Prim16s>(s + i), value));
    return;
  }
  for (; i < n; ++i) store(d + i, mulElement(load<Prim16s>(s + i), value, sf));
}

// ---------------------------------------------------------------------------
// Float multiply of one row.
void mulRow32f(const float* s, float value, float* d, int n) {
  int i = 0;
#if PRIM_GEN_LEVEL >= PRIM_LEVEL_AVX
  const __m256 v = _mm256_set1_ps(value);
  if (n >= 16) {
    for (; n - i >= 16; i += 16) {
      const __m256 a = _mm256_loadu_ps(s + i), b = _mm256_loadu_ps(s + i + 8);
      _mm256_storeu_ps(d + i, _mm256_mul_ps(a, v));
      _mm256_storeu_ps(d + i + 8, _mm256_mul_ps(b, v));
    }
    if (n - i >= 8) {
      _mm256_storeu_ps(d + i, _mm256_mul_ps(_mm256_loadu_ps(s + i), v));
      i += 8;
    }
  }
  _mm256_zeroupper();
#else
  const __m128 v = _mm_set1_ps(value);
  if (n >= 11) {
    for (; n - i >= 8; i += 8) {
      _mm_storeu_ps(d + i, _mm_mul_ps(_mm_loadu_ps(s + i), v));
      _mm_storeu_ps(d + i + 4, _mm_mul_ps(_mm_loadu_ps(s + i + 4), v));
    }
  }
#endif
  for (; i < n; ++i) {
    const __m128 x = _mm_set_ss(load<float>(s + i));
    store(d + i, _mm_cvtss_f32(_mm_mul_ss(x, _mm_set_ss(value))));
  }
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::image

#include "primitives/image/image_shift-inl.h"

namespace imb = prim::PRIM_GEN_NS::image;

// ---------------------------------------------------------------------------
// Set.
PrimResult PRIM_BUILD(imgSet_8u_C1R)(Prim8u value, Prim8u* pDst, int dstStep, int width, int height) {
  if (PrimResult st = imb::checkSet(pDst, width, height)) return st;
  alignas(16) Prim8u pattern[32];
  imb::makePattern(pattern, 32, &value, 1);
  const std::int64_t n = std::int64_t{width} * height;
  constexpr std::int64_t threshold = PRIM_GEN_LEVEL == PRIM_LEVEL_SSE2 ? 0x80000 : 0x100000;
  bool nonTemporal = false;
  if (n > threshold) {
    int cache = 0;
    nonTemporal = primQueryLargestCacheSize(&cache) == primResultOk && n >= cache;
  }
  if (dstStep == width && n <= INT32_MAX) {
    imb::fillPattern(pattern, pDst, static_cast<int>(n), nonTemporal, 1, 16);
  } else {
    for (int r = 0; r < height; ++r)
      imb::fillPattern(pattern, imb::row(pDst, dstStep, r), width, nonTemporal, 1, 16);
  }
  return primResultOk;
}

PrimResult PRIM_BUILD(imgSet_16s_C1R)(Prim16s value, Prim16s* pDst, int dstStep, int width, int height) {
  if (PrimResult st = imb::checkSet(pDst, width, height)) return st;
  alignas(16) Prim8u pattern[32];
  imb::makePattern(pattern, 32, &value, 2);
  const std::int64_t rowBytes = std::int64_t{width} * 2;
  auto* d = reinterpret_cast<Prim8u*>(pDst);
  if (rowBytes > INT32_MAX) {
    for (int r = 0; r < height; ++r) {
      Prim16s* rowPtr = imb::row(pDst, dstStep, r);
      for (int x = 0; x < width; ++x) imb::store(rowPtr + x, value);
    }
    return primResultOk;
  }
  // Large 16-bit fills keep ordinary stores: the caches are refilled by the
  // multiply that follows anyway.
  if (imb::mergeable(rowBytes, height, dstStep, dstStep)) {
    imb::fillPattern(pattern, d, static_cast<int>(rowBytes * height), false, 2, 16);
  } else {
    for (int r = 0; r < height; ++r)
      imb::fillPattern(pattern, imb::row(d, dstStep, r), static_cast<int>(rowBytes), false, 2, 16);
  }
  return primResultOk;
}

// ---------------------------------------------------------------------------
// Copy.
PrimResult PRIM_BUILD(imgCopy_16s_C1R)(const Prim16s* pSrc, int srcStep, Prim16s* pDst, int dstStep,
                                       int width, int height) {
#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSSE3
  if (PrimResult st = imb::checkCopy(pSrc, pDst, width, height)) return st;
  const std::int64_t rowBytes = std::int64_t{width} * 2;
  if (rowBytes > INT32_MAX) return px_imgCopy_16s_C1R(pSrc, srcStep, pDst, dstStep, width, height);
  imb::copyRegion8uSse2(reinterpret_cast<const Prim8u*>(pSrc), srcStep, reinterpret_cast<Prim8u*>(pDst),
                        dstStep, static_cast<int>(rowBytes), height);
  return primResultOk;
#else
  return imb::copyBuild(pSrc, srcStep, pDst, dstStep, width, height);
#endif
}

PrimResult PRIM_BUILD(imgCopy_32s_C1R)(const Prim32s* pSrc, int srcStep, Prim32s* pDst, int dstStep,
                                       int width, int height) {
  return imb::copyBuild(pSrc, srcStep, pDst, dstStep, width, height);
}

#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSSE3
PrimResult ssse3_owniCopy_16s_C1R(const Prim16s* pSrc, int srcStep, Prim16s* pDst, int dstStep, int width,
                                  int height) {
  return imb::copyBuild(pSrc, srcStep, pDst, dstStep, width, height);
}
#endif

// ---------------------------------------------------------------------------
// Multiply.
PrimResult PRIM_BUILD(imgMulC_16s_C1RSfs)(const Prim16s* pSrc, int srcStep, Prim16s value, Prim16s* pDst,
                                          int dstStep, int width, int height, int scaleFactor) {
  if (PrimResult st = imb::checkCopy(pSrc, pDst, width, height)) return st;
  const imb::MulCase c = imb::mulCase(value, scaleFactor);
  if (c == imb::MulCase::Zero) return PRIM_BUILD(imgSet_16s_C1R)(0, pDst, dstStep, width, height);
  if (c == imb::MulCase::Copy)
    return PRIM_BUILD(imgCopy_16s_C1R)(pSrc, srcStep, pDst, dstStep, width, height);
  for (int r = 0; r < height; ++r)
    imb::mulRow(imb::row(pSrc, srcStep, r), value, imb::row(pDst, dstStep, r), width, c, scaleFactor);
  return primResultOk;
}

PrimResult PRIM_BUILD(imgMulC_32f_C1R)(const Prim32f* pSrc, int srcStep, Prim32f value, Prim32f* pDst,
                                       int dstStep, int width, int height) {
  if (PrimResult st = imb::checkCopy(pSrc, pDst, width, height)) return st;
  for (int r = 0; r < height; ++r)
    imb::mulRow32f(imb::row(pSrc, srcStep, r), value, imb::row(pDst, dstStep, r), width);
  return primResultOk;
}

// ---------------------------------------------------------------------------
// Right shift.
PrimResult PRIM_BUILD(imgRShiftC_16s_C1R)(const Prim16s* pSrc, int srcStep, Prim32u shift, Prim16s* pDst,
                                          int dstStep, int width, int height) {
  if (PrimResult st = imb::checkShift(pSrc, srcStep, pDst, dstStep, width, height)) return st;
  if (shift > 31) {
    for (int r = 0; r < height; ++r) {
      const Prim16s* s = imb::row(pSrc, srcStep, r);
      Prim16s* d = imb::row(pDst, dstStep, r);
      for (int x = 0; x < width; ++x)
        imb::store(d + x, static_cast<Prim16s>(imb::load<Prim16s>(s + x) < 0 ? -1 : 0));
    }
    return primResultOk;
  }
  if (shift == 0) {
#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSSE3
    return ssse3_owniCopy_16s_C1R(pSrc, srcStep, pDst, dstStep, width, height);
#else
    return PRIM_BUILD(imgCopy_16s_C1R)(pSrc, srcStep, pDst, dstStep, width, height);
#endif
  }
  PRIM_BUILD(owniRShiftC_16s)(pSrc, srcStep, pDst, dstStep, width, height, shift);
  return primResultOk;
}

// ---------------------------------------------------------------------------
// Row fills, masked and channel-copy kernels of the set module.
namespace prim::PRIM_GEN_NS::image {
namespace {
template <int P>
void maskedCopy(const Prim8u* s, Prim8u* d, int len, const Prim8u* mask) {
  for (int i = 0; i < len; ++i)
    if (mask[i]) std::memcpy(d + i * P, s + i * P, P);
}
template <int P>
void maskedSet(const Prim8u* pixel, Prim8u* d, int len, const Prim8u* mask) {
  for (int i = 0; i < len; ++i)
    if (mask[i]) std::memcpy(d + i * P, pixel, P);
}
}  // namespace
}  // namespace prim::PRIM_GEN_NS::image

#define PRIM_IMAGE_FILL(name, P, period)                                                 \
  void PRIM_BUILD(name)(const Prim8u* pattern, Prim8u* pDst, int len, int nonTemporal) { \
    imb::fillPattern(pattern, pDst, len, nonTemporal != 0, P, period);                   \
  }
PRIM_IMAGE_FILL(owniSetRow_8u, 1, 16)
PRIM_IMAGE_FILL(owniSetRow_16s, 2, 16)
PRIM_IMAGE_FILL(owniSetRow_8u_C3, 3, 48)
PRIM_IMAGE_FILL(owniSetRow_32s, 4, 16)
PRIM_IMAGE_FILL(owniSetRow_16s_C3, 6, 48)
PRIM_IMAGE_FILL(owniSetRow_16s_C4, 8, 16)
PRIM_IMAGE_FILL(owniSetRow_32s_C3, 12, 48)
PRIM_IMAGE_FILL(owniSetRow_32s_C4, 16, 16)
#undef PRIM_IMAGE_FILL

void PRIM_BUILD(owniCopyRowMasked_8u)(const Prim8u* s, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedCopy<1>(s, d, len, m);
}
void PRIM_BUILD(owniCopyRowMasked_8u_C3)(const Prim8u* s, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedCopy<3>(s, d, len, m);
}
void PRIM_BUILD(owniSetRowMasked_8u)(const Prim8u* p, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedSet<1>(p, d, len, m);
}
void PRIM_BUILD(owniSetRowMasked_8u_C3)(const Prim8u* p, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedSet<3>(p, d, len, m);
}
#if PRIM_GEN_LEVEL == PRIM_LEVEL_SSE2
void sse2_owniCopyRowMasked_16s(const Prim8u* s, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedCopy<2>(s, d, len, m);
}
void sse2_owniCopyRowMasked_16s_C3(const Prim8u* s, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedCopy<6>(s, d, len, m);
}
void sse2_owniSetRowMasked_16s(const Prim8u* p, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedSet<2>(p, d, len, m);
}
void sse2_owniSetRowMasked_16s_C3(const Prim8u* p, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedSet<6>(p, d, len, m);
}
void sse2_owniCopyRowMasked_32s(const Prim8u* s, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedCopy<4>(s, d, len, m);
}
void sse2_owniCopyRowMasked_32s_C3(const Prim8u* s, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedCopy<12>(s, d, len, m);
}
void sse2_owniSetRowMasked_32s(const Prim8u* p, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedSet<4>(p, d, len, m);
}
void sse2_owniSetRowMasked_32s_C3(const Prim8u* p, Prim8u* d, int len, const Prim8u* m) {
  imb::maskedSet<12>(p, d, len, m);
}
#endif

void PRIM_BUILD(owniCopyRowAC4_16s)(const Prim16s* s, Prim16s* d, int len) {
  for (int i = 0; i + 4 <= len; i += 4) std::memcpy(d + i, s + i, 6);
}
void PRIM_BUILD(owniCopyRowAC4_8u)(const Prim8u* s, Prim8u* d, int len) {
  for (int i = 0; i + 4 <= len; i += 4) std::memcpy(d + i, s + i, 3);
}
void PRIM_BUILD(owniCopyRowC1C4_8u)(const Prim8u* s, Prim8u* d, int len) {
  for (int i = 0; i < len; ++i) d[4 * i] = s[i];
}
void PRIM_BUILD(owniCopyRowC4C1_8u)(const Prim8u* s, Prim8u* d, int len) {
  for (int i = 0; i < len; ++i) d[i] = s[4 * i];
}
void PRIM_BUILD(owniCopyRow)(const Prim8u* s, Prim8u* d, int len, int nonTemporal) {
  imb::copyRow(s, d, len, nonTemporal != 0);
}
