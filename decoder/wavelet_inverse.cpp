// Inverse wavelet transform over levels.
#include "decoder/wavelet_inverse.h"

#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/holders.h"
#include "decoder/vectorize_hint.h"
#include "primitives/jpeg2000/wavelet.h"

namespace Codec {

namespace {

inline std::int16_t Low16(std::int32_t v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v)); }
inline std::int32_t Low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }
inline std::int16_t Sat16(std::int64_t v) {
  return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

// Lifting kernels.  Step S applies to the low (even) positions when S is
// even and to the high (odd) positions when S is odd; a and b are the two
// neighbours (the same sample twice where the signal is mirrored).

// Reversible 5/3: predict the even samples, then update the odd ones.
template <typename T>
struct Kernel53 {
  using Sample = T;
  static constexpr int kSteps = 2;
  static constexpr bool kColumnPrimitive = true;
  static T Wrap(std::int64_t v) {
    if constexpr (sizeof(T) == 2) return Low16(static_cast<std::int32_t>(v));
    else return Low32(v);
  }
  template <int S>
  static T Step(T x, T a, T b) {
    using Wide = std::conditional_t<sizeof(T) == 2, std::int32_t, std::int64_t>;
    if constexpr (S == 0) return Wrap(Wide{x} - ((Wide{a} + Wide{b} + 2) >> 2));
    else return Wrap(Wide{x} + ((Wide{a} + Wide{b}) >> 1));
  }
  // A lone sample at an odd position is half its high coefficient.
  static T Single(T h, bool /*vertical*/) { return static_cast<T>(h >> 1); }
  // Both steps around low row p in place: rows p - 2 .. p + 1.
  static void ColumnStep(T* const* r, std::uint32_t w) {
    if constexpr (sizeof(T) == 2)
      imgInvLift53ColumnStep_16s_C1(r[2], r[1], r[3], r[0], r[1], r[2], static_cast<int>(w));
    else
      imgInvLift53ColumnStep_32s_C1(r[2], r[1], r[3], r[0], r[1], r[2], static_cast<int>(w));
  }
};

// Irreversible 9/7 in Q16 fixed point: every step is
// sat16((cs x self - cn x (a + b) + 2^15) >> 16) with 64-bit products.
struct Kernel97Fixed {
  using Sample = std::int16_t;
  static constexpr int kSteps = 4;
  static constexpr bool kColumnPrimitive = true;
  static constexpr std::int64_t kSelf[4] = {80621, 53274, 65536, 65536};     // K, 1/K, 1, 1
  static constexpr std::int64_t kNeigh[4] = {23627, 57862, -3472, -103949};  // delta/K, gamma, beta, alpha
  template <int S>
  static std::int16_t Step(std::int16_t x, std::int16_t a, std::int16_t b) {
    const std::int64_t sum = std::int32_t{a} + std::int32_t{b};
    return Sat16((kSelf[S] * x - kNeigh[S] * sum + 32768) >> 16);
  }
  // Rows take H >> 1; columns the rounded half (H + 1) >> 1.
  static std::int16_t Single(std::int16_t h, bool vertical) {
    return vertical ? static_cast<std::int16_t>((std::int32_t{h} + 1) >> 1) : static_cast<std::int16_t>(h >> 1);
  }
  // The four steps around low row p in place: rows p - 4 .. p + 1.
  static void ColumnStep(std::int16_t* const* r, std::uint32_t w) {
    imgInvLift97ColumnStep_16s_C1(r[4], r[3], r[5], r[0], r[1], r[2], r[3], r[4], static_cast<int>(w));
  }
};

// Irreversible 9/7 on floats, every operation a float operation.
struct Kernel97Float {
  using Sample = float;
  static constexpr int kSteps = 4;
  template <int S>
  static float Step(float x, float a, float b) {
    if constexpr (S == 0) return 1.2301741f * x - 0.36052364f * (a + b);
    else if constexpr (S == 1) return 0.8128931f * x - 0.8829111f * (a + b);
    else if constexpr (S == 2) return x - (-0.052980117f) * (a + b);
    else return x - (-1.5861343f) * (a + b);
  }
  static float Single(float h, bool /*vertical*/) { return 0.5f * h; }
  // No column-step primitive: its builds round differently (the generic one
  // in double precision), and every build must give the same samples.
  static constexpr bool kColumnPrimitive = false;
  static void ColumnStep(float* const*, std::uint32_t) {}
};

// x is never a or b (a and b may be the same row).
// The loop is vectorised in the baseline instruction set (the same in every
// build, so every processor gives the same samples).
template <class K, int S>
CODEC_VECTORIZE_HINT void StepRow(
    typename K::Sample* __restrict x, const typename K::Sample* __restrict a, const typename K::Sample* __restrict b,
    std::uint32_t w) {
  for (std::uint32_t i = 0; i < w; ++i) x[i] = K::template Step<S>(x[i], a[i], b[i]);
}

template <class K>
void StepRowDispatch(int s, typename K::Sample* x, const typename K::Sample* a, const typename K::Sample* b,
                     std::uint32_t w) {
  switch (s) {
    case 0: StepRow<K, 0>(x, a, b, w); break;
    case 1: StepRow<K, 1>(x, a, b, w); break;
    case 2: if constexpr (K::kSteps > 2) StepRow<K, 2>(x, a, b, w); break;
    default: if constexpr (K::kSteps > 3) StepRow<K, 3>(x, a, b, w); break;
  }
}

#if defined(__SSE2__)
// Step S of the float kernel on four columns, with the scalar kernel's
// operations in the scalar kernel's order (no fused multiply-add).
template <int S>
inline __m128 StepPs(__m128 x, __m128 a, __m128 b) {
  const __m128 sum = _mm_add_ps(a, b);
  if constexpr (S == 0) return _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(1.2301741f), x), _mm_mul_ps(_mm_set1_ps(0.36052364f), sum));
  else if constexpr (S == 1)
    return _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(0.8128931f), x), _mm_mul_ps(_mm_set1_ps(0.8829111f), sum));
  else if constexpr (S == 2) return _mm_sub_ps(x, _mm_mul_ps(_mm_set1_ps(-0.052980117f), sum));
  else return _mm_sub_ps(x, _mm_mul_ps(_mm_set1_ps(-1.5861343f), sum));
}
#endif

// The four steps of an inner wavefront: r[0 .. 5] are rows t - 4 .. t + 1,
// step s runs on row t - s.  Each row is loaded and stored once.
void InnerFloatWavefront(float* const* r, std::uint32_t w) {
  std::uint32_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= w; i += 4) {
    const __m128 m4 = _mm_loadu_ps(r[0] + i), n1 = _mm_loadu_ps(r[5] + i);
    __m128 m3 = _mm_loadu_ps(r[1] + i), m2 = _mm_loadu_ps(r[2] + i);
    __m128 m1 = _mm_loadu_ps(r[3] + i), x = _mm_loadu_ps(r[4] + i);
    x = StepPs<0>(x, m1, n1);
    m1 = StepPs<1>(m1, m2, x);
    m2 = StepPs<2>(m2, m3, m1);
    m3 = StepPs<3>(m3, m4, m2);
    _mm_storeu_ps(r[4] + i, x);
    _mm_storeu_ps(r[3] + i, m1);
    _mm_storeu_ps(r[2] + i, m2);
    _mm_storeu_ps(r[1] + i, m3);
  }
#endif
  for (; i < w; ++i) {
    r[4][i] = Kernel97Float::Step<0>(r[4][i], r[3][i], r[5][i]);
    r[3][i] = Kernel97Float::Step<1>(r[3][i], r[2][i], r[4][i]);
    r[2][i] = Kernel97Float::Step<2>(r[2][i], r[1][i], r[3][i]);
    r[1][i] = Kernel97Float::Step<3>(r[1][i], r[0][i], r[2][i]);
  }
}

// Vertical synthesis over the h rows of an output plane in place.  Step s at
// row p runs once step s - 1 has run at rows p - 1 and p + 1; visiting the
// rows as a wavefront (step s at row t - s for t = 0, 1, ...) keeps that
// order while each row is revisited while it is still in the cache.
// Wavefront t reads rows up to t + 1 only, so the rows may be produced one
// by one just ahead of it.  With `fused` (float kernel) the four steps of an
// inner wavefront are swept over the columns together.
template <class K>
class ColumnLifter {
 public:
  using T = typename K::Sample;
  ColumnLifter(std::uint8_t* base, std::int32_t step, std::uint32_t w, std::uint32_t h, std::uint32_t phase,
               bool fused)
      : base_(base), step_(step), w_(w), h_(h), phase_(phase), fused_(fused) {}

  // Wavefronts to run (a single row takes Finish only).
  std::uint32_t Count() const { return h_ >= 2 && w_ ? h_ + K::kSteps - 1 : 0; }

  void Run(std::uint32_t t) {
    const std::uint32_t last = h_ - 1;
    // Rows a column step spans: p - 2 .. p + 1 (5/3), p - 4 .. p + 1 (9/7).
    constexpr std::uint32_t kBack = K::kSteps;
    // Step s runs at row t - s when (t + phase) is even, for every s at once.
    if (((t + phase_) & 1) != 0) return;
    // Away from both edges all steps of this wavefront run as one column step
    // (the rows are distinct and every neighbour exists).
    const bool inner = t >= kBack && t + 1 <= last;
    if (inner && (K::kColumnPrimitive || fused_)) {
      T* r[6];
      for (std::uint32_t k = 0; k <= kBack + 1; ++k) r[k] = Row(t - kBack + k);
      if constexpr (std::is_same_v<K, Kernel97Float>) InnerFloatWavefront(r, w_);
      else K::ColumnStep(r, w_);
      return;
    }
    for (int s = 0; s < K::kSteps; ++s) {
      if (t < static_cast<std::uint32_t>(s)) break;
      const std::uint32_t p = t - static_cast<std::uint32_t>(s);
      if (p > last) continue;
      const std::uint32_t a = p == 0 ? 1 : p - 1;
      const std::uint32_t b = p == last ? p - 1 : p + 1;
      StepRowDispatch<K>(s, Row(p), Row(a), Row(b), w_);
    }
  }

  // A single row at an odd position is half its high coefficient.
  void Finish() {
    if (h_ != 1 || !phase_) return;
    T* r = Row(0);
    for (std::uint32_t i = 0; i < w_; ++i) r[i] = K::Single(r[i], true);
  }

 private:
  T* Row(std::uint32_t p) const { return reinterpret_cast<T*>(base_ + static_cast<std::ptrdiff_t>(p) * step_); }
  std::uint8_t* base_;
  std::int32_t step_;
  std::uint32_t w_, h_, phase_;
  bool fused_;
};

// One row (n >= 2 samples) lifted on its separated halves: lo[0..nL) the low
// samples, hi[0..nH) the high ones, each with room for one sample on either
// side.  Low sample k sits between high samples k - 1 and k at phase 0 and
// between k and k + 1 at phase 1; high sample k between low k and k + 1 at
// phase 0, k - 1 and k at phase 1.  The symmetric extension repeats the first
// and the last sample of a half beyond its ends.
template <class K>
void LiftHalves(typename K::Sample* lo, std::uint32_t nL, typename K::Sample* hi, std::uint32_t nH,
                std::uint32_t phase) {
  const std::ptrdiff_t lowFirst = phase == 0 ? -1 : 0;   // hi offset of a low sample's left neighbour
  const std::ptrdiff_t highFirst = phase == 0 ? 0 : -1;  // lo offset of a high sample's left neighbour
  auto padHigh = [&] {
    hi[-1] = hi[0];
    hi[nH] = hi[nH - 1];
  };
  auto padLow = [&] {
    lo[-1] = lo[0];
    lo[nL] = lo[nL - 1];
  };
  padHigh();
  StepRow<K, 0>(lo, hi + lowFirst, hi + lowFirst + 1, nL);
  padLow();
  StepRow<K, 1>(hi, lo + highFirst, lo + highFirst + 1, nH);
  if constexpr (K::kSteps > 2) {
    padHigh();
    StepRow<K, 2>(lo, hi + lowFirst, hi + lowFirst + 1, nL);
    padLow();
    StepRow<K, 3>(hi, lo + highFirst, lo + highFirst + 1, nH);
  }
}

// o[2k] = even[k] (k < nE), o[2k + 1] = odd[k] (k < nO); nE is nO or nO + 1.
template <typename T>
void Interleave(T* o, const T* even, std::uint32_t nE, const T* odd, std::uint32_t nO) {
  std::uint32_t k = 0;
#if defined(__SSE2__)
  if constexpr (std::is_same_v<T, float>) {
    for (; k + 4 <= nO; k += 4) {
      const __m128 e = _mm_loadu_ps(even + k), d = _mm_loadu_ps(odd + k);
      _mm_storeu_ps(o + 2 * k, _mm_unpacklo_ps(e, d));
      _mm_storeu_ps(o + 2 * k + 4, _mm_unpackhi_ps(e, d));
    }
  } else if constexpr (sizeof(T) == 4) {
    for (; k + 4 <= nO; k += 4) {
      const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(even + k));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(odd + k));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * k), _mm_unpacklo_epi32(e, d));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * k + 4), _mm_unpackhi_epi32(e, d));
    }
  } else {
    for (; k + 8 <= nO; k += 8) {
      const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(even + k));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(odd + k));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * k), _mm_unpacklo_epi16(e, d));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * k + 8), _mm_unpackhi_epi16(e, d));
    }
  }
#endif
  for (; k < nO; ++k) {
    o[2 * k] = even[k];
    o[2 * k + 1] = odd[k];
  }
  if (nE > nO) o[2 * nO] = even[nO];
}

struct PlaneRef {
  const std::uint8_t* data;
  std::int32_t step;
};

// Synthesises one level: output rectangle r from its LL (previous level or
// the set's LL plane) and the level's HL, LH and HH planes.  Each wavefront of
// the vertical synthesis runs as soon as the rows it reads are made, while
// they are still in the cache; `reference` makes every row first and then
// runs the wavefronts one row operation at a time.
template <class K>
void SynthesizeLevel(PlaneRef ll, const SubbandPlane& hl, const SubbandPlane& lh, const SubbandPlane& hh,
                     std::uint8_t* out, std::int32_t outStep, const Rect& r, bool reference) {
  using T = typename K::Sample;
  const std::uint32_t w = r.width, h = r.height;
  if (w == 0 || h == 0) return;
  const std::uint32_t px = r.x & 1, py = r.y & 1;
  const std::uint64_t x1 = std::uint64_t{r.x} + w;
  const std::uint32_t nL = static_cast<std::uint32_t>(((x1 + 1) >> 1) - ((std::uint64_t{r.x} + 1) >> 1));
  const std::uint32_t nH = static_cast<std::uint32_t>((x1 >> 1) - (r.x >> 1));
  OwnedArray<T> lines;
  lines.Reset(std::size_t{nL} + nH + 4);
  ColumnLifter<K> columns(out, outStep, w, h, py, !reference);
  const std::uint32_t wavefronts = columns.Count();
  std::uint32_t done = 0;  // wavefronts run
  for (std::uint32_t j = 0; j < h; ++j) {
    // Rows 0 .. j - 1 are made: wavefronts up to j - 2 may run.
    for (; !reference && done + 1 < j && done < wavefronts; ++done) columns.Run(done);
    T* o = reinterpret_cast<T*>(out + static_cast<std::ptrdiff_t>(j) * outStep);
    const bool lowRow = ((j + py) & 1) == 0;
    const std::uint32_t band = lowRow ? (j - py) >> 1 : (j + py - 1) >> 1;
    const T* L;
    const T* H;
    if (lowRow) {
      L = reinterpret_cast<const T*>(ll.data + static_cast<std::ptrdiff_t>(band) * ll.step);
      H = hl.data ? reinterpret_cast<const T*>(static_cast<const std::uint8_t*>(hl.data) +
                                               static_cast<std::ptrdiff_t>(band) * hl.step)
                  : nullptr;
    } else {
      L = lh.data ? reinterpret_cast<const T*>(static_cast<const std::uint8_t*>(lh.data) +
                                               static_cast<std::ptrdiff_t>(band) * lh.step)
                  : nullptr;
      H = hh.data ? reinterpret_cast<const T*>(static_cast<const std::uint8_t*>(hh.data) +
                                               static_cast<std::ptrdiff_t>(band) * hh.step)
                  : nullptr;
    }
    if (w == 1) {
      // A lone sample: the low one as it is, or half the high one.
      o[0] = px == 0 ? L[0] : K::Single(H[0], false);
      continue;
    }
    // The low and high halves are lifted apart, each contiguous with one
    // mirrored sample on either side, then interleaved into the row:
    // position i is low when (i + px) is even.
    T* lo = lines.Data() + 1;
    T* hi = lines.Data() + nL + 3;
    std::memcpy(lo, L, std::size_t{nL} * sizeof(T));
    std::memcpy(hi, H, std::size_t{nH} * sizeof(T));
    LiftHalves<K>(lo, nL, hi, nH, px);
    if (px == 0) Interleave(o, lo, nL, hi, nH);
    else Interleave(o, hi, nH, lo, nL);
  }
  for (; done < wavefronts; ++done) columns.Run(done);
  columns.Finish();
}

template <class K>
void InvDWT(const LevelSet& set, typename K::Sample* dst, std::int32_t dstStep, const Rect& rect,
            bool reference = false) {
  using T = typename K::Sample;
  const std::uint32_t n = set.levels;
  if (rect.width == 0 || rect.height == 0) return;
  if (n == 0) {
    const SubbandPlane& ll = set.ll;
    if (!ll.data) return;
    for (std::uint32_t y = 0; y < rect.height; ++y)
      std::memcpy(reinterpret_cast<std::uint8_t*>(dst) + static_cast<std::ptrdiff_t>(y) * dstStep,
                  static_cast<const std::uint8_t*>(ll.data) + static_cast<std::ptrdiff_t>(y) * ll.step,
                  std::size_t{rect.width} * sizeof(T));
    return;
  }
  SubbandPlane temp;
  if (n >= 2) {
    const Rect llRect = ResolutionRect(rect, 1);
    temp.AllocPlaneOrThrow(llRect.width, llRect.height, sizeof(T));
  }
  PlaneRef ll{static_cast<const std::uint8_t*>(set.ll.data), set.ll.step};
  for (std::uint32_t i = n; i-- > 0;) {
    // Level 0 writes the destination; the levels before it alternate.
    const bool toDst = (i % 2) == 0;
    std::uint8_t* out = toDst ? reinterpret_cast<std::uint8_t*>(dst) : static_cast<std::uint8_t*>(temp.data);
    const std::int32_t outStep = toDst ? dstStep : temp.step;
    const DecompositionLevel& lv = set.level[i];
    SynthesizeLevel<K>(ll, lv.hl, lv.lh, lv.hh, out, outStep, ResolutionRect(rect, i), reference);
    ll = {out, outStep};
  }
}

}  // namespace

void InvDWT53_16s(const LevelSet& set, std::int16_t* dst, std::int32_t dstStep, const Rect& rect) {
  InvDWT<Kernel53<std::int16_t>>(set, dst, dstStep, rect);
}
void InvDWT53_32s(const LevelSet& set, std::int32_t* dst, std::int32_t dstStep, const Rect& rect) {
  InvDWT<Kernel53<std::int32_t>>(set, dst, dstStep, rect);
}
void InvDWT97_16s(const LevelSet& set, std::int16_t* dst, std::int32_t dstStep, const Rect& rect) {
  InvDWT<Kernel97Fixed>(set, dst, dstStep, rect);
}
void InvDWT97_32f(const LevelSet& set, float* dst, std::int32_t dstStep, const Rect& rect) {
  InvDWT<Kernel97Float>(set, dst, dstStep, rect);
}
void InvDWT97_32fReference(const LevelSet& set, float* dst, std::int32_t dstStep, const Rect& rect) {
  InvDWT<Kernel97Float>(set, dst, dstStep, rect, true);
}

}  // namespace Codec
