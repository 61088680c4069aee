// Colour twist: the SSE2 row kernels, the one-pixel kernels for float and
// integer pixels and the build entry that every SIMD build compiles (sse2, ssse3,
// sse41, avx, avx2 run the same code).
//
// The 3x4 matrix is laid out as a twist block of four columns; column j holds
// in lanes 0..2 what source channel j adds to the three outputs (column 3:
// the additive terms).  Per pixel: d = (C3 + C0 s0) + (C1 s1 + C2 s2), every
// product and sum a single-precision operation, never fused.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "primitives/colour/twist_builds.h"
#include "primitives/colour/twist_check-inl.h"

namespace prim::PRIM_GEN_NS::twist {
namespace {

struct Block {
  __m128 c0, c1, c2, c3;
};

inline Block loadBlock(const float* block) {
  return {_mm_loadu_ps(block), _mm_loadu_ps(block + 4), _mm_loadu_ps(block + 8), _mm_loadu_ps(block + 12)};
}

// A pixel's three column products, formed apart from the sums so that the
// one-pixel kernels can overlap one pixel's products with the next's stores.
struct Products {
  __m128 p0, p1, p2;
};

inline Products products(const Block& b, __m128 s0, __m128 s1, __m128 s2) {
  return {_mm_mul_ps(b.c0, s0), _mm_mul_ps(b.c1, s1), _mm_mul_ps(b.c2, s2)};
}

inline __m128 sums(const Block& b, const Products& p) {
  return _mm_add_ps(_mm_add_ps(b.c3, p.p0), _mm_add_ps(p.p1, p.p2));
}

inline __m128 transform(const Block& b, __m128 s0, __m128 s1, __m128 s2) {
  return sums(b, products(b, s0, s1, s2));
}

// Pixels need not be 4-byte aligned: single floats move as bytes.
inline __m128 loadChannel(const float* s) {
  float v;
  __builtin_memcpy(&v, s, 4);
  return _mm_set1_ps(v);
}

inline __m128 transformPixel(const Block& b, const float* s) {
  return transform(b, loadChannel(s), loadChannel(s + 1), loadChannel(s + 2));
}

// One 8-byte store of d0, d1 and one 4-byte store of d2.
inline void storePixel(float* d, __m128 v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_castps_si128(v));
  const float d2 = _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2)));
  __builtin_memcpy(d + 2, &d2, 4);
}

inline __m128 lane(__m128 v, int i) {
  switch (i) {
    case 0:
      return _mm_shuffle_ps(v, v, 0x00);
    case 1:
      return _mm_shuffle_ps(v, v, 0x55);
    case 2:
      return _mm_shuffle_ps(v, v, 0xaa);
    default:
      return _mm_shuffle_ps(v, v, 0xff);
  }
}

void rowNormal(const float* pSrc, float* pDst, int len, const float* block) {
  const Block b = loadBlock(block);
  int n = len;
  if (reinterpret_cast<std::uintptr_t>(pSrc) & 3) {
    for (; n > 0; n -= 3, pSrc += 3, pDst += 3) storePixel(pDst, transformPixel(b, pSrc));
    return;
  }
  while ((reinterpret_cast<std::uintptr_t>(pSrc) & 15) && n > 0) {
    storePixel(pDst, transformPixel(b, pSrc));
    pSrc += 3, pDst += 3, n -= 3;
  }
  for (; n >= 12; n -= 12, pSrc += 12, pDst += 12) {
    // Four pixels from three aligned vectors: a = p0 p0 p0 p1, b = p1 p1 p2 p2, c = p2 p3 p3 p3.
    const __m128 va = _mm_load_ps(pSrc), vb = _mm_load_ps(pSrc + 4), vc = _mm_load_ps(pSrc + 8);
    const __m128 d0 = transform(b, lane(va, 0), lane(va, 1), lane(va, 2));
    const __m128 d1 = transform(b, lane(va, 3), lane(vb, 0), lane(vb, 1));
    const __m128 d2 = transform(b, lane(vb, 2), lane(vb, 3), lane(vc, 0));
    const __m128 d3 = transform(b, lane(vc, 1), lane(vc, 2), lane(vc, 3));
    storePixel(pDst, d0);
    storePixel(pDst + 3, d1);
    storePixel(pDst + 6, d2);
    storePixel(pDst + 9, d3);
  }
  for (; n > 0; n -= 3, pSrc += 3, pDst += 3) storePixel(pDst, transformPixel(b, pSrc));
}

// Non-temporal row kernel: the destination is brought to 8-byte alignment,
// then each step of four pixels is written as six 8-byte non-temporal stores.
void rowNonTemporal(const float* pSrc, float* pDst, int len, const float* block) {
  const Block b = loadBlock(block);
  int n = len;
  if (reinterpret_cast<std::uintptr_t>(pDst) & 3) {
    for (; n > 0; n -= 3, pSrc += 3, pDst += 3) storePixel(pDst, transformPixel(b, pSrc));
    _mm_sfence();
    return;
  }
  if (reinterpret_cast<std::uintptr_t>(pDst) & 4) {
    storePixel(pDst, transformPixel(b, pSrc));
    pSrc += 3, pDst += 3, n -= 3;
  }
  for (; n >= 12; n -= 12, pSrc += 12, pDst += 12) {
    alignas(16) float out[16];
    for (int p = 0; p < 4; ++p) _mm_store_ps(out + 4 * p, transformPixel(b, pSrc + 3 * p));
    alignas(16) float packed[12] = {out[0], out[1], out[2],  out[4],  out[5],  out[6],
                                    out[8], out[9], out[10], out[12], out[13], out[14]};
    long long words[6];
    __builtin_memcpy(words, packed, sizeof words);
    for (int w = 0; w < 6; ++w) _mm_stream_si64(reinterpret_cast<long long*>(pDst) + w, words[w]);
  }
  for (; n > 0; n -= 3, pSrc += 3, pDst += 3) storePixel(pDst, transformPixel(b, pSrc));
  _mm_sfence();
}

// ---------------------------------------------------------------------------
// One-pixel kernels for float and integer pixels.  An integer sample is
// widened to a float, the matrix is applied as above, and the result is
// clamped to the sample type (a NaN gives the upper bound), rounded in the
// current rounding mode and stored; float results are stored as they are.

// Bounds of the integer sample types, one vector each.
alignas(16) constexpr float kBounds[5][4] = {{65535.0f, 65535.0f, 65535.0f, 65535.0f},
                                             {32767.0f, 32767.0f, 32767.0f, 32767.0f},
                                             {-32768.0f, -32768.0f, -32768.0f, -32768.0f},
                                             {255.0f, 255.0f, 255.0f, 255.0f},
                                             {0.0f, 0.0f, 0.0f, 0.0f}};
enum : int { kHigh16u, kHigh16s, kLow16s, kHigh8u, kZero };

// Samples need no alignment: they move as bytes.
template <class T>
inline __m128 loadSample(const T* p) {
  T v;
  __builtin_memcpy(&v, p, sizeof v);
  return _mm_set1_ps(static_cast<float>(v));
}

template <class T>
inline void storeSample(T* p, T v) {
  __builtin_memcpy(p, &v, sizeof v);
}

// Lanes 0..2 of v, already within the type's bounds, as samples.
inline void narrow(__m128i v, Prim8u out[3]) {
  const __m128i words = _mm_packs_epi32(v, v);
  const auto bytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
  out[0] = static_cast<Prim8u>(bytes), out[1] = static_cast<Prim8u>(bytes >> 8);
  out[2] = static_cast<Prim8u>(bytes >> 16);
}
template <class T>
inline void narrow(__m128i v, T out[3]) {
  out[0] = static_cast<T>(_mm_extract_epi16(v, 0));
  out[1] = static_cast<T>(_mm_extract_epi16(v, 2));
  out[2] = static_cast<T>(_mm_extract_epi16(v, 4));
}

// What a pixel's sums become in the sample type.  Integers: minps gives its
// second operand when either is NaN, so a NaN becomes the upper bound.
template <class T, int Low, int High>
struct IntegerOutput {
  __m128 low = _mm_load_ps(kBounds[Low]), high = _mm_load_ps(kBounds[High]);
  __m128 finish(__m128 r) const { return _mm_max_ps(_mm_min_ps(r, high), low); }
  void values(__m128 r, T out[3]) const { narrow(_mm_cvtps_epi32(r), out); }
};
template <class T>
struct Output;
template <>
struct Output<Prim8u> : IntegerOutput<Prim8u, kZero, kHigh8u> {};
template <>
struct Output<Prim16u> : IntegerOutput<Prim16u, kZero, kHigh16u> {};
template <>
struct Output<Prim16s> : IntegerOutput<Prim16s, kLow16s, kHigh16s> {};
template <>
struct Output<float> {
  __m128 finish(__m128 r) const { return r; }
  void values(__m128 r, float out[3]) const {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, r);
    out[0] = lanes[0], out[1] = lanes[1], out[2] = lanes[2];
  }
};

// Pixels of Channels interleaved samples, of which the first three are
// transformed (3: C3, 4: AC4).
template <class T, int Channels>
struct Interleaved {
  const T* s;
  T* d;
  const T* src(int c) const { return s + c; }
  T* dst(int c) const { return d + c; }
  void nextSrc() { s += Channels; }
  void nextDst() { d += Channels; }
};

// Pixels of three planes; the plane distances are in bytes and may be negative.
template <class T>
struct Planar {
  const char* s;
  char* d;
  std::ptrdiff_t srcDist[3], dstDist[3];
  const T* src(int c) const { return reinterpret_cast<const T*>(s + srcDist[c]); }
  T* dst(int c) const { return reinterpret_cast<T*>(d + dstDist[c]); }
  void nextSrc() { s += sizeof(T); }
  void nextDst() { d += sizeof(T); }
};

// Transforms pixels pixels, software-pipelined by one: the next pixel's loads
// and products come before the current pixel's stores, so in-place runs work
// and nothing beyond the run is touched.
template <class T, class Pixels>
void twistPixels(Pixels px, int pixels, const float* block) {
  if (pixels < 1) return;
  const Block b = loadBlock(block);
  const Output<T> output;
  auto finish = [&](const Products& p) { return output.finish(sums(b, p)); };
  auto store = [&](__m128 r) {
    T out[3];
    output.values(r, out);
    for (int c = 0; c < 3; ++c) storeSample(px.dst(c), out[c]);
  };
  auto load = [&] {
    return products(b, loadSample(px.src(0)), loadSample(px.src(1)), loadSample(px.src(2)));
  };
  Products current = load();
  while (--pixels > 0) {
    const __m128 r = finish(current);
    px.nextSrc();
    current = load();
    store(r);
    px.nextDst();
  }
  store(finish(current));
}

template <class T, int Channels>
inline void twistInterleaved(const T* pSrc, T* pDst, int len, const float* block) {
  twistPixels<T>(Interleaved<T, Channels>{pSrc, pDst}, len / Channels, block);
}

template <class T>
inline void twistPlanar(const T* pSrc, T* pDst, const Prim32s* distances, int len, const float* block) {
  twistPixels<T>(Planar<T>{reinterpret_cast<const char*>(pSrc),
                           reinterpret_cast<char*>(pDst),
                           {0, distances[0], distances[1]},
                           {0, distances[2], distances[3]}},
                 len, block);
}

}  // namespace
}  // namespace prim::PRIM_GEN_NS::twist

PrimResult PRIM_BUILD(imgColorTwist_32f_C3R)(const Prim32f* pSrc, int srcStep, Prim32f* pDst, int dstStep,
                                             PrimRoiSize roi, const Prim32f twist[3][4]) {
  namespace t = prim::PRIM_GEN_NS::twist;
  if (const PrimResult st = t::checkArguments(pSrc, srcStep, pDst, dstStep, roi, twist)) return st;
  const float block[16] = {twist[0][0], twist[1][0], twist[2][0], 0.0f,        twist[0][1], twist[1][1],
                           twist[2][1], 0.0f,        twist[0][2], twist[1][2], twist[2][2], 0.0f,
                           twist[0][3], twist[1][3], twist[2][3], 0.0f};
  // n in 64 bits: a region beyond INT_MAX floats is not valid input, but must
  // not pick the kernel through an overflow.
  const std::int64_t n = std::int64_t{3} * roi.width * roi.height;
  auto* kernel = n > kTwistNonTemporalFloats ? t::rowNonTemporal : t::rowNormal;
  t::forEachRun(pSrc, srcStep, pDst, dstStep, roi,
                [&](const float* s, float* d, int len) { kernel(s, d, len, block); });
  return primResultOk;
}

#define PRIM_TWIST_PIXEL_KERNELS(type)                                                                   \
  void PRIM_BUILD(owniColorTwist_##type##_C3)(const Prim##type* pSrc, Prim##type* pDst, int len,         \
                                              const Prim32f* block) {                                    \
    prim::PRIM_GEN_NS::twist::twistInterleaved<Prim##type, 3>(pSrc, pDst, len, block);                   \
  }                                                                                                      \
  void PRIM_BUILD(owniColorTwist_##type##_AC4)(const Prim##type* pSrc, Prim##type* pDst, int len,        \
                                               const Prim32f* block) {                                   \
    prim::PRIM_GEN_NS::twist::twistInterleaved<Prim##type, 4>(pSrc, pDst, len, block);                   \
  }                                                                                                      \
  void PRIM_BUILD(owniColorTwist_##type##_P3)(const Prim##type* pSrc, Prim##type* pDst,                  \
                                              const Prim32s* distances, int len, const Prim32f* block) { \
    prim::PRIM_GEN_NS::twist::twistPlanar(pSrc, pDst, distances, len, block);                            \
  }
PRIM_TWIST_PIXEL_KERNELS(32f)
PRIM_TWIST_PIXEL_KERNELS(8u)
PRIM_TWIST_PIXEL_KERNELS(16u)
PRIM_TWIST_PIXEL_KERNELS(16s)
#undef PRIM_TWIST_PIXEL_KERNELS
