// Inverse wavelet transform over levels.
#include "decoder/reconstruct/wavelet_inverse.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "decoder/holders.h"
#include "decoder/reconstruct/lifting97_fixed.h"
#include "primitives/jpeg2000/transform_constants.h"
#include "primitives/jpeg2000/wavelet.h"
#include "primitives/jpeg2000/wavelet_exact.h"

namespace Codec {

namespace {

inline std::int16_t Low16(std::int32_t v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v)); }
inline std::int32_t Low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

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
    if constexpr (sizeof(T) == 2)
      return Low16(static_cast<std::int32_t>(v));
    else
      return Low32(v);
  }
  template <int S>
  static T Step(T x, T a, T b) {
    using Wide = std::conditional_t<sizeof(T) == 2, std::int32_t, std::int64_t>;
    if constexpr (S == 0)
      return Wrap(Wide{x} - ((Wide{a} + Wide{b} + 2) >> 2));
    else
      return Wrap(Wide{x} + ((Wide{a} + Wide{b}) >> 1));
  }
  template <int S>
  static T Mirrored(T x, T a) {
    return Step<S>(x, a, a);
  }
  static constexpr bool kShortCases = false;
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

// Irreversible 9/7 in Q16 fixed point (lifting97_fixed.h); the interior of
// rows and columns runs in the primitives.
struct Kernel97Fixed {
  using Sample = std::int16_t;
  static constexpr int kSteps = 4;
  static constexpr bool kColumnPrimitive = true;
  static constexpr bool kShortCases = true;
  template <int S>
  static std::int16_t Step(std::int16_t x, std::int16_t a, std::int16_t b) {
    return Q16::Step<S>(x, a, b);
  }
  template <int S>
  static std::int16_t Mirrored(std::int16_t x, std::int16_t a) {
    return Q16::Mirrored<S>(x, a);
  }
  // Rows take H >> 1; columns the rounded half (H + 1) >> 1.
  static std::int16_t Single(std::int16_t h, bool vertical) {
    return vertical ? static_cast<std::int16_t>((std::int32_t{h} + 1) >> 1)
                    : static_cast<std::int16_t>(h >> 1);
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
    using namespace prim::j2k;
    if constexpr (S == 0)
      return kLiftK * x - kLiftDeltaByK * (a + b);
    else if constexpr (S == 1)
      return kLiftInvK * x - kLiftGamma * (a + b);
    else if constexpr (S == 2)
      return x - kLiftBeta * (a + b);
    else
      return x - kLiftAlpha * (a + b);
  }
  template <int S>
  static float Mirrored(float x, float a) {
    return Step<S>(x, a, a);
  }
  static constexpr bool kShortCases = false;
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
void StepRow(typename K::Sample* __restrict x, const typename K::Sample* __restrict a,
             const typename K::Sample* __restrict b, std::uint32_t w) {
  for (std::uint32_t i = 0; i < w; ++i) x[i] = K::template Step<S>(x[i], a[i], b[i]);
}

// Step s over x between rows a and b; with a the same row as b, the mirrored
// form of the step.
template <class K, int S>
void StepRowOrMirror(typename K::Sample* x, const typename K::Sample* a, const typename K::Sample* b,
                     std::uint32_t w) {
  if (a != b) return StepRow<K, S>(x, a, b, w);
  for (std::uint32_t i = 0; i < w; ++i) x[i] = K::template Mirrored<S>(x[i], a[i]);
}

template <class K>
void StepRowDispatch(int s, typename K::Sample* x, const typename K::Sample* a, const typename K::Sample* b,
                     std::uint32_t w) {
  switch (s) {
    case 0:
      StepRowOrMirror<K, 0>(x, a, b, w);
      break;
    case 1:
      StepRowOrMirror<K, 1>(x, a, b, w);
      break;
    case 2:
      if constexpr (K::kSteps > 2) StepRowOrMirror<K, 2>(x, a, b, w);
      break;
    default:
      if constexpr (K::kSteps > 3) StepRowOrMirror<K, 3>(x, a, b, w);
      break;
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
  // Row p lies at base + (p & ringMask) x step: a plane, or a ring of
  // ringMask + 1 rows (a power of two) through which the rows pass.
  ColumnLifter(std::uint8_t* base, std::int32_t step, std::uint32_t w, std::uint32_t h, std::uint32_t phase,
               bool fused, std::uint32_t ringMask = ~0u)
      : base_(base), step_(step), w_(w), h_(h), phase_(phase), ringMask_(ringMask), fused_(fused) {}

  // Wavefronts to run (a single row, and two or three rows of a kernel with
  // short cases, take Finish only).
  std::uint32_t Count() const {
    if (K::kShortCases && h_ <= 3) return 0;
    return h_ >= 2 && w_ ? h_ + K::kSteps - 1 : 0;
  }

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
      if constexpr (std::is_same_v<K, Kernel97Float>)
        imgInvLift97Wavefront_32f(r, static_cast<int>(w_));
      else
        K::ColumnStep(r, w_);
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

  // A single row at an odd position is half its high coefficient; two and
  // three rows of a kernel with short cases are made at once.
  void Finish() {
    if constexpr (K::kShortCases) {
      T* const r[3] = {Row(0), h_ > 1 ? Row(1) : nullptr, h_ > 2 ? Row(2) : nullptr};
      if (h_ == 2) return Q16::Column2(r, phase_, w_);
      if (h_ == 3) return Q16::Column3(r, phase_, w_);
    }
    if (h_ != 1 || !phase_) return;
    T* r = Row(0);
    for (std::uint32_t i = 0; i < w_; ++i) r[i] = K::Single(r[i], true);
  }

 private:
  T* Row(std::uint32_t p) const {
    return reinterpret_cast<T*>(base_ + static_cast<std::ptrdiff_t>(p & ringMask_) * step_);
  }
  std::uint8_t* base_;
  std::int32_t step_;
  std::uint32_t w_, h_, phase_, ringMask_;
  bool fused_;
};

// One row (n >= 2 samples) lifted on its separated halves: lo[0..nL) the low
// samples, hi[0..nH) the high ones, each with room for one sample on either
// side.  Low sample k sits between high samples k - 1 and k at phase 0 and
// between k and k + 1 at phase 1; high sample k between low k and k + 1 at
// phase 0, k - 1 and k at phase 1.  A neighbour beyond either end of a half
// is the mirror image of the one inside (the step's mirrored form).
template <class K, int S>
void LiftHalf(typename K::Sample* x, std::uint32_t nx, const typename K::Sample* y, std::uint32_t ny,
              std::ptrdiff_t first) {
  // x[i] lies between y[i + first] and y[i + first + 1]; a neighbour beyond
  // either end of y is mirrored.
  std::uint32_t begin = 0, end = nx;
  if (first < 0) {
    x[0] = K::template Mirrored<S>(x[0], y[0]);
    begin = 1;
  }
  if (end > begin && static_cast<std::ptrdiff_t>(end - 1) + first + 1 >= static_cast<std::ptrdiff_t>(ny)) {
    x[end - 1] = K::template Mirrored<S>(x[end - 1], y[ny - 1]);
    --end;
  }
  if (end > begin) StepRow<K, S>(x + begin, y + begin + first, y + begin + first + 1, end - begin);
}

template <class K>
void LiftHalves(typename K::Sample* lo, std::uint32_t nL, typename K::Sample* hi, std::uint32_t nH,
                std::uint32_t phase) {
  const std::ptrdiff_t lowFirst = phase == 0 ? -1 : 0;   // hi offset of a low sample's left neighbour
  const std::ptrdiff_t highFirst = phase == 0 ? 0 : -1;  // lo offset of a high sample's left neighbour
  LiftHalf<K, 0>(lo, nL, hi, nH, lowFirst);
  LiftHalf<K, 1>(hi, nH, lo, nL, highFirst);
  if constexpr (K::kSteps > 2) {
    LiftHalf<K, 2>(lo, nL, hi, nH, lowFirst);
    LiftHalf<K, 3>(hi, nH, lo, nL, highFirst);
  }
}

// o[2k] = even[k] (k < nE), o[2k + 1] = odd[k] (k < nO); nE is nO or nO + 1.
// Floats move as their 32-bit patterns.
template <typename T>
void Interleave(T* o, const T* even, std::uint32_t nE, const T* odd, std::uint32_t nO) {
  const int ne = static_cast<int>(nE), no = static_cast<int>(nO);
  if constexpr (sizeof(T) == 2)
    imgInterleaveHalves_16s(even, ne, odd, no, o);
  else
    imgInterleaveHalves_32s(reinterpret_cast<const Prim32s*>(even), ne, reinterpret_cast<const Prim32s*>(odd),
                            no, reinterpret_cast<Prim32s*>(o));
}

struct PlaneRef {
  const std::uint8_t* data;
  std::int32_t step;
};

// Subband kinds a level reads: 0 HL, 1 LH, 2 HH (as DecompositionLevel
// numbers them) and its LL.
constexpr std::uint32_t kRowsLL = 3;

inline void CopyRow(PlaneRef p, std::uint32_t row, void* dst, std::size_t bytes) {
  if (bytes) std::memcpy(dst, p.data + static_cast<std::ptrdiff_t>(row) * p.step, bytes);
}

// The rows of one level read from sample planes: its LL from `ll` (the
// level above, or the set's LL plane), the others from the level's planes.
template <typename T>
struct PlaneRows {
  PlaneRef ll;
  const DecompositionLevel* lv;
  // Row `row` of the LL plane, read in place.
  const T* LowRow(std::uint32_t row) const {
    return reinterpret_cast<const T*>(ll.data + static_cast<std::ptrdiff_t>(row) * ll.step);
  }
  void Read(std::uint32_t kind, std::uint32_t row, T* dst, std::uint32_t n) const {
    if (kind == kRowsLL) return CopyRow(ll, row, dst, std::size_t{n} * sizeof(T));
    const SubbandPlane& p = kind == 0 ? lv->hl : kind == 1 ? lv->lh : lv->hh;
    CopyRow({static_cast<const std::uint8_t*>(p.data), p.step}, row, dst, std::size_t{n} * sizeof(T));
  }
};

// The rows of level `level` from a row source; the LL of the coarsest level
// too (`ll` null), the LL of the others from the level above.
struct SourceRows {
  PlaneRef ll;
  const FloatBandRows* bands;
  std::uint32_t level;
  std::uint32_t levels;
  // Row `row` of the LL plane in place, or null when the row is made.
  const float* LowRow(std::uint32_t row) const {
    if (!ll.data) return nullptr;
    return reinterpret_cast<const float*>(ll.data + static_cast<std::ptrdiff_t>(row) * ll.step);
  }
  void Read(std::uint32_t kind, std::uint32_t row, float* dst, std::uint32_t n) const {
    if (n == 0) return;
    if (kind != kRowsLL) return bands->Read(level, kind, row, dst, n);
    if (ll.data) return CopyRow(ll, row, dst, std::size_t{n} * sizeof(float));
    bands->Read(levels, 0, row, dst, n);
  }
};

// Synthesises one level, row by row: output rectangle r from its LL and its
// HL, LH and HH subbands, whose rows `rows` supplies.  Each wavefront of the
// vertical synthesis runs as soon as the rows it reads are made, while they
// are still in the cache; `reference` makes every row first and then runs
// the wavefronts one row operation at a time.  The output rows go to a
// plane, or pass through a ring of kRingRows rows (ring true), from which
// each must be taken once it is final and before it is overwritten.
template <class K, class Rows>
class LevelSynthesis {
 public:
  using T = typename K::Sample;
  // Rows a ring holds: the wavefronts run before row j is made reach back to
  // row j - 6, and rows up to j - 5 are final by then.
  static constexpr std::uint32_t kRingRows = 8;

  LevelSynthesis(const Rows& rows, std::uint8_t* out, std::int32_t outStep, const Rect& r, bool reference,
                 bool ring = false)
      : rows_(rows),
        out_(out),
        outStep_(outStep),
        w_(r.width),
        h_(r.height),
        px_(r.x & 1),
        py_(r.y & 1),
        ringMask_(ring ? kRingRows - 1 : ~0u),
        reference_(reference),
        columns_(out, outStep, r.width, r.height, r.y & 1, !reference, ringMask_) {
    const std::uint64_t x1 = std::uint64_t{r.x} + w_;
    nL_ = static_cast<std::uint32_t>(((x1 + 1) >> 1) - ((std::uint64_t{r.x} + 1) >> 1));
    nH_ = static_cast<std::uint32_t>((x1 >> 1) - (r.x >> 1));
    // The halves with room for one sample on either side, and for fixed
    // point a row's interior.
    if (w_ && h_) lines_.Reset(std::size_t{nL_} + nH_ + 4 + (K::kShortCases ? w_ : 0));
    wavefronts_ = columns_.Count();
  }

  // Makes rows, and runs what is left once every row is made, until row
  // `row` is final.
  void MakeFinal(std::uint32_t row) {
    while (FinalRows() <= row) {
      if (made_ < h_)
        MakeRow(made_);
      else if (!flushed_)
        Flush();
      else
        break;
    }
  }

  // Makes row j (rows are made in order, 0 to h - 1).
  void MakeRow(std::uint32_t j) {
    made_ = j + 1;
    // Rows 0 .. j - 1 are made: wavefronts up to j - 2 may run.
    for (; !reference_ && done_ + 1 < j && done_ < wavefronts_; ++done_) columns_.Run(done_);
    T* o = Row(j);
    const bool lowRow = ((j + py_) & 1) == 0;
    const std::uint32_t band = lowRow ? (j - py_) >> 1 : (j + py_ - 1) >> 1;
    // The low and high halves, each contiguous with room for one mirrored
    // sample on either side.
    T* lo = lines_.Data() + 1;
    T* hi = lines_.Data() + nL_ + 3;
    if constexpr (std::is_same_v<K, Kernel97Float>) {
      if (!reference_ && w_ >= 2) {
        // The four steps and the interleave in one primitive, the LL row
        // read where it lies.
        const T* loIn = lowRow ? rows_.LowRow(band) : nullptr;
        if (!loIn) {
          rows_.Read(lowRow ? kRowsLL : 1, band, lo, nL_);
          loIn = lo;
        }
        rows_.Read(lowRow ? 0 : 2, band, hi, nH_);
        imgInvLift97Halves_32f(loIn, lo, static_cast<int>(nL_), hi, static_cast<int>(nH_),
                               static_cast<int>(px_), o);
        return;
      }
    }
    rows_.Read(lowRow ? kRowsLL : 1, band, lo, nL_);
    rows_.Read(lowRow ? 0 : 2, band, hi, nH_);
    if (w_ == 1) {
      // A lone sample: the low one as it is, or half the high one.
      o[0] = px_ == 0 ? lo[0] : K::Single(hi[0], false);
      return;
    }
    // Fixed point: the interior of a long row from the row primitive, which
    // rounds as the column steps do; the samples of both ends from the
    // lifting below.
    std::uint32_t pairs = 0;
    T* interior = lines_.Data() + nL_ + nH_ + 4;
    if constexpr (K::kShortCases) {
      if (w_ == 2) return Q16::Row2(lo, hi, px_, o);
      if (w_ == 3) return Q16::Row3(lo, hi, px_, o);
      pairs = InteriorPairs();
      if (pairs)
        imgInvLift97Rows_16s_C1R(lo + 2, static_cast<int>(2 * pairs), hi + 2, static_cast<int>(2 * pairs),
                                 static_cast<int>(pairs), 1, interior, static_cast<int>(4 * pairs),
                                 static_cast<int>(px_));
    }
    // The halves are lifted apart, then interleaved into the row: position
    // i is low when (i + px) is even.
    LiftHalves<K>(lo, nL_, hi, nH_, px_);
    if (px_ == 0)
      Interleave(o, lo, nL_, hi, nH_);
    else
      Interleave(o, hi, nH_, lo, nL_);
    if (pairs) std::memcpy(o + 4, interior, std::size_t{pairs} * 2 * sizeof(T));
  }

  // Sample pairs of a row that the row primitive makes, from sample 4 on:
  // none below 10 samples at phase 0 or 9 at phase 1.
  std::uint32_t InteriorPairs() const {
    const std::uint32_t half = px_ == 0 ? w_ >> 1 : (w_ + 1) >> 1;
    return half > 4 && w_ >= (px_ == 0 ? 10u : 9u) ? half - 4 : 0;
  }

  // Runs what is left once every row is made.
  void Flush() {
    for (; done_ < wavefronts_; ++done_) columns_.Run(done_);
    columns_.Finish();
    flushed_ = true;
  }

  // Rows 0 .. FinalRows() - 1 are final: a low row takes its last step in
  // wavefront p + 2, a high row in wavefront p + 3.
  std::uint32_t FinalRows() const {
    if (flushed_) return h_;
    return done_ >= 3 ? std::min(done_ - 3, h_) : 0;
  }

  T* Row(std::uint32_t p) const {
    return reinterpret_cast<T*>(out_ + static_cast<std::ptrdiff_t>(p & ringMask_) * outStep_);
  }

 private:
  const Rows& rows_;
  std::uint8_t* out_;
  std::int32_t outStep_;
  std::uint32_t w_, h_, px_, py_, ringMask_;
  bool reference_;
  ColumnLifter<K> columns_;
  std::uint32_t nL_ = 0, nH_ = 0;
  OwnedArray<T> lines_;
  std::uint32_t wavefronts_ = 0;
  std::uint32_t done_ = 0;  // wavefronts run
  std::uint32_t made_ = 0;  // rows made
  bool flushed_ = false;
};

// The rows of level `level` of one component synthesised line by line: the
// subbands from `bands`, the LL rows from the level above (`upstream`, made
// on demand through its ring while still in the cache), or from `bands` for
// the coarsest level.
struct CascadeRows;
using CascadeLevel = LevelSynthesis<Kernel97Float, CascadeRows>;
struct CascadeRows {
  const FloatBandRows* bands = nullptr;
  std::uint32_t level = 0;
  std::uint32_t levels = 0;
  CascadeLevel* upstream = nullptr;
  const float* LowRow(std::uint32_t row) const;
  void Read(std::uint32_t kind, std::uint32_t row, float* dst, std::uint32_t n) const;
};

template <class K, class Rows>
void SynthesizeLevel(const Rows& rows, std::uint8_t* out, std::int32_t outStep, const Rect& r,
                     bool reference) {
  if (r.width == 0 || r.height == 0) return;
  LevelSynthesis<K, Rows> level(rows, out, outStep, r, reference);
  for (std::uint32_t j = 0; j < r.height; ++j) level.MakeRow(j);
  level.Flush();
}

const float* CascadeRows::LowRow(std::uint32_t row) const {
  if (!upstream) return nullptr;
  upstream->MakeFinal(row);
  return upstream->Row(row);
}

void CascadeRows::Read(std::uint32_t kind, std::uint32_t row, float* dst, std::uint32_t n) const {
  if (n == 0) return;
  if (kind != kRowsLL) return bands->Read(level, kind, row, dst, n);
  if (upstream) {
    std::memcpy(dst, LowRow(row), std::size_t{n} * sizeof(float));
    return;
  }
  bands->Read(levels, 0, row, dst, n);
}

// All n levels: rowsOf(i, ll) gives the rows of level i whose LL is `ll`
// (null for the coarsest level); the LL of n = 0 levels is copied through
// rowsOf(0, null) as a whole-rectangle row source.
template <class K, class RowsOf>
void InvDWTLevels(std::uint32_t n, typename K::Sample* dst, std::int32_t dstStep, const Rect& rect,
                  bool reference, RowsOf&& rowsOf) {
  using T = typename K::Sample;
  if (rect.width == 0 || rect.height == 0) return;
  if (n == 0) {
    const auto rows = rowsOf(0u, PlaneRef{nullptr, 0});
    for (std::uint32_t y = 0; y < rect.height; ++y)
      rows.Read(kRowsLL, y,
                reinterpret_cast<T*>(reinterpret_cast<std::uint8_t*>(dst) +
                                     static_cast<std::ptrdiff_t>(y) * dstStep),
                rect.width);
    return;
  }
  SubbandPlane temp;
  if (n >= 2) {
    const Rect llRect = ResolutionRect(rect, 1);
    temp.AllocPlaneOrThrow(llRect.width, llRect.height, sizeof(T));
  }
  PlaneRef ll{nullptr, 0};
  for (std::uint32_t i = n; i-- > 0;) {
    // Level 0 writes the destination; the levels before it alternate.
    const bool toDst = (i % 2) == 0;
    std::uint8_t* out = toDst ? reinterpret_cast<std::uint8_t*>(dst) : static_cast<std::uint8_t*>(temp.data);
    const std::int32_t outStep = toDst ? dstStep : temp.step;
    SynthesizeLevel<K>(rowsOf(i, ll), out, outStep, ResolutionRect(rect, i), reference);
    ll = {out, outStep};
  }
}

template <class K>
void InvDWT(const LevelSet& set, typename K::Sample* dst, std::int32_t dstStep, const Rect& rect,
            bool reference = false) {
  using T = typename K::Sample;
  if (!set.ll.data && set.levels == 0) return;
  InvDWTLevels<K>(set.levels, dst, dstStep, rect, reference, [&](std::uint32_t i, PlaneRef ll) {
    if (!ll.data) ll = {static_cast<const std::uint8_t*>(set.ll.data), set.ll.step};
    return PlaneRows<T>{ll, set.levels ? &set.level[i] : nullptr};
  });
}

}  // namespace

void InvDWT97_32fTogether(const FloatBandRows* const bands[3], std::uint32_t levels, const Rect& rect,
                          FloatRowSink& sink) {
  if (rect.width == 0 || rect.height == 0 || levels == 0) return;
  // Every level of every component is made line by line through a ring of
  // rows: a level makes the rows of the level above as it needs their LL
  // rows, so no level is kept whole.
  OwnedArray<CascadeRows> rows;
  OwnedArray<SubbandPlane> rings;
  OwnedArray<OwnedPtr<CascadeLevel>> chain;
  rows.Reset(std::size_t{3} * levels);
  rings.Reset(std::size_t{3} * levels);
  chain.Reset(std::size_t{3} * levels);
  CascadeLevel* finest[3] = {};
  for (std::uint32_t c = 0; c < 3; ++c)
    for (std::uint32_t i = levels; i-- > 0;) {
      const std::size_t k = std::size_t{c} * levels + i;
      const Rect r = ResolutionRect(rect, i);
      rings[k].AllocPlaneOrThrow(r.width, CascadeLevel::kRingRows, sizeof(float));
      rows[k] = {bands[c], i, levels, i + 1 < levels ? chain[k + 1].Get() : nullptr};
      chain[k].Make(rows[k], static_cast<std::uint8_t*>(rings[k].data), rings[k].step, r, false, true);
      if (i == 0) finest[c] = chain[k].Get();
    }
  std::uint32_t taken = 0;
  // The three share one geometry, so their rows become final together.
  auto take = [&](std::uint32_t upTo) {
    for (; taken < upTo; ++taken) {
      float* const r[3] = {finest[0]->Row(taken), finest[1]->Row(taken), finest[2]->Row(taken)};
      sink.Rows(taken, r, rect.width);
    }
  };
  for (std::uint32_t j = 0; j < rect.height; ++j) {
    for (CascadeLevel* l : finest) l->MakeRow(j);
    take(finest[0]->FinalRows());
  }
  for (CascadeLevel* l : finest) l->Flush();
  take(rect.height);
}

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
void InvDWT97_32f(const FloatBandRows& bands, std::uint32_t levels, float* dst, std::int32_t dstStep,
                  const Rect& rect) {
  InvDWTLevels<Kernel97Float>(levels, dst, dstStep, rect, false, [&](std::uint32_t i, PlaneRef ll) {
    return SourceRows{ll, &bands, i, levels};
  });
}

}  // namespace Codec
