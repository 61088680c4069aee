// Inverse wavelet transforms against a forward transform written from the
// textbook lifting equations: the reversible 5/3 must give back every sample
// exactly, the 9/7 within the rounding of its path, for every origin parity,
// short signals (1 to 10 samples each way) and several level counts; and
// the 16-bit 9/7 path sample for sample against its arithmetic written out
// signal by signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "decoder/level_set.h"
#include "decoder/reconstruct/level_planes.h"
#include "decoder/reconstruct/lifting97_fixed.h"
#include "decoder/reconstruct/wavelet_inverse.h"

namespace {

using Codec::Rect;

// Forward 1-D lifting on signal x of positions i0 .. i0 + n - 1 with whole-
// sample symmetric extension.
void Forward53(std::vector<double>& x, std::uint32_t i0) {
  const std::int64_t n = static_cast<std::int64_t>(x.size());
  if (n == 1) {
    if (i0 & 1) x[0] *= 2;
    return;
  }
  auto at = [&](std::int64_t i) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * (n - 1) - i;
    return x[static_cast<std::size_t>(i)];
  };
  const std::uint32_t p = i0 & 1;
  std::vector<double> y = x;
  for (std::int64_t i = 0; i < n; ++i)
    if (((i + p) & 1) == 1) y[i] = x[i] - std::floor((at(i - 1) + at(i + 1)) / 2);
  x = y;
  for (std::int64_t i = 0; i < n; ++i)
    if (((i + p) & 1) == 0) y[i] = x[i] + std::floor((at(i - 1) + at(i + 1) + 2) / 4);
  x = y;
}

void Forward97(std::vector<double>& x, std::uint32_t i0) {
  const std::int64_t n = static_cast<std::int64_t>(x.size());
  if (n == 1) {
    if (i0 & 1) x[0] *= 2;
    return;
  }
  const double a = -1.586134342059924, b = -0.052980118572961, g = 0.882911075530934, d = 0.443506852043971,
               K = 1.230174104914001;
  const std::uint32_t p = i0 & 1;
  auto step = [&](int parity, double c) {
    std::vector<double> y = x;
    auto at = [&](std::int64_t i) {
      if (i < 0) i = -i;
      if (i >= n) i = 2 * (n - 1) - i;
      return x[static_cast<std::size_t>(i)];
    };
    for (std::int64_t i = 0; i < n; ++i)
      if (static_cast<int>((i + p) & 1) == parity) y[i] = x[i] + c * (at(i - 1) + at(i + 1));
    x = y;
  };
  step(1, a);
  step(0, b);
  step(1, g);
  step(0, d);
  for (std::int64_t i = 0; i < n; ++i) x[i] = ((i + p) & 1) ? x[i] * K : x[i] / K;
}

using Plane = std::vector<std::vector<double>>;  // [row][column]

// One level of the forward 2-D transform of the samples over rectangle r:
// columns, then rows; returns LL and fills HL, LH, HH.
Plane ForwardLevel(const Plane& img, const Rect& r, bool reversible, Plane& hl, Plane& lh, Plane& hh) {
  Plane t = img;
  const std::uint32_t w = r.width, h = r.height;
  for (std::uint32_t x = 0; x < w; ++x) {
    std::vector<double> col(h);
    for (std::uint32_t y = 0; y < h; ++y) col[y] = t[y][x];
    reversible ? Forward53(col, r.y) : Forward97(col, r.y);
    for (std::uint32_t y = 0; y < h; ++y) t[y][x] = col[y];
  }
  for (std::uint32_t y = 0; y < h; ++y) reversible ? Forward53(t[y], r.x) : Forward97(t[y], r.x);
  Plane ll;
  hl.clear();
  lh.clear();
  hh.clear();
  for (std::uint32_t y = 0; y < h; ++y) {
    const bool lowY = ((r.y + y) & 1) == 0;
    std::vector<double> lo, hi;
    for (std::uint32_t x = 0; x < w; ++x) (((r.x + x) & 1) == 0 ? lo : hi).push_back(t[y][x]);
    if (lowY) {
      ll.push_back(lo);
      hl.push_back(hi);
    } else {
      lh.push_back(lo);
      hh.push_back(hi);
    }
  }
  return ll;
}

template <typename T>
void Store(const Plane& src, Codec::SubbandPlane& p) {
  ASSERT_EQ(src.size(), p.height);
  for (std::uint32_t y = 0; y < p.height; ++y) {
    ASSERT_EQ(src[y].size(), p.width);
    T* row = reinterpret_cast<T*>(static_cast<std::uint8_t*>(p.data) + std::size_t{y} * p.step);
    for (std::uint32_t x = 0; x < p.width; ++x) {
      if constexpr (std::is_floating_point_v<T>)
        row[x] = static_cast<T>(src[y][x]);
      else
        row[x] = static_cast<T>(std::llround(src[y][x]));
    }
  }
}

// Forward transform of img over rect with n levels into `set` (already
// allocated for sample type T); `scale` multiplies every coefficient.
template <typename T>
void Analyse(const Plane& img, const Rect& rect, std::uint32_t n, bool reversible, Codec::LevelSet& set) {
  Plane cur = img;
  for (std::uint32_t i = 0; i < n; ++i) {
    Plane hl, lh, hh;
    cur = ForwardLevel(cur, Codec::ResolutionRect(rect, i), reversible, hl, lh, hh);
    Store<T>(hl, set.level[i].hl);
    Store<T>(lh, set.level[i].lh);
    Store<T>(hh, set.level[i].hh);
  }
  Store<T>(cur, set.ll);
}

Plane RandomImage(std::uint32_t w, std::uint32_t h, std::mt19937& rng, int lo, int hi) {
  std::uniform_int_distribution<int> d(lo, hi);
  Plane p(h, std::vector<double>(w));
  for (auto& row : p)
    for (auto& v : row) v = d(rng);
  return p;
}

struct Case {
  Rect rect;
  std::uint32_t levels;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (std::uint32_t w = 1; w <= 10; ++w)
    for (std::uint32_t h = 1; h <= 10; ++h)
      for (std::uint32_t o = 0; o < 4; ++o)
        cases.push_back({{o & 1 ? 7u : 4u, o & 2 ? 3u : 10u, w, h}, w * h % 3});
  cases.push_back({{0, 0, 64, 48}, 5});
  cases.push_back({{13, 29, 61, 37}, 4});
  cases.push_back({{1, 1, 33, 17}, 3});
  cases.push_back({{2, 5, 130, 9}, 6});
  cases.push_back({{0, 0, 1998, 24}, 5});
  cases.push_back({{0, 0, 20, 1080}, 5});
  return cases;
}

TEST(InverseWavelet, Reversible53GivesBackEverySample32) {
  std::mt19937 rng(11);
  for (const Case& c : Cases()) {
    const Plane img = RandomImage(c.rect.width, c.rect.height, rng, -2048, 2047);
    Codec::LevelSet set;
    Codec::AllocLevelSet32(set, c.rect, c.levels);
    Analyse<std::int32_t>(img, c.rect, c.levels, true, set);
    std::vector<std::int32_t> out(std::size_t{c.rect.width} * c.rect.height + 8, 0x5A5A5A5A);
    Codec::InvDWT53_32s(set, out.data(), static_cast<std::int32_t>(c.rect.width * 4), c.rect);
    for (std::uint32_t y = 0; y < c.rect.height; ++y)
      for (std::uint32_t x = 0; x < c.rect.width; ++x)
        ASSERT_EQ(out[y * c.rect.width + x], img[y][x])
            << "rect " << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x" << c.rect.height << " n "
            << c.levels << " at " << x << "," << y;
    for (std::size_t k = std::size_t{c.rect.width} * c.rect.height; k < out.size(); ++k)
      ASSERT_EQ(out[k], 0x5A5A5A5A) << "write past the destination";
  }
}

TEST(InverseWavelet, Reversible53GivesBackEverySample16) {
  std::mt19937 rng(12);
  for (const Case& c : Cases()) {
    const Plane img = RandomImage(c.rect.width, c.rect.height, rng, -2048, 2047);
    Codec::LevelSet set;
    Codec::AllocLevelSet16(set, c.rect, c.levels);
    Analyse<std::int16_t>(img, c.rect, c.levels, true, set);
    // A padded destination step: rows are not contiguous.
    const std::uint32_t stride = c.rect.width + 3;
    std::vector<std::int16_t> out(std::size_t{stride} * c.rect.height, 0x5A5A);
    Codec::InvDWT53_16s(set, out.data(), static_cast<std::int32_t>(stride * 2), c.rect);
    for (std::uint32_t y = 0; y < c.rect.height; ++y) {
      for (std::uint32_t x = 0; x < c.rect.width; ++x) ASSERT_EQ(out[y * stride + x], img[y][x]);
      for (std::uint32_t x = c.rect.width; x < stride; ++x) ASSERT_EQ(out[y * stride + x], 0x5A5A);
    }
  }
}

TEST(InverseWavelet, Irreversible97FloatWithinRounding) {
  std::mt19937 rng(13);
  for (const Case& c : Cases()) {
    const Plane img = RandomImage(c.rect.width, c.rect.height, rng, -2048, 2047);
    Codec::LevelSet set;
    Codec::AllocLevelSet32(set, c.rect, c.levels);
    Analyse<float>(img, c.rect, c.levels, false, set);
    std::vector<float> out(std::size_t{c.rect.width} * c.rect.height);
    Codec::InvDWT97_32f(set, out.data(), static_cast<std::int32_t>(c.rect.width * 4), c.rect);
    for (std::uint32_t y = 0; y < c.rect.height; ++y)
      for (std::uint32_t x = 0; x < c.rect.width; ++x)
        ASSERT_NEAR(out[y * c.rect.width + x], img[y][x], 0.02)
            << "rect " << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x" << c.rect.height << " n "
            << c.levels << " at " << x << "," << y;
  }
}

// The float synthesis sweeps a wavefront's lifting steps over the columns
// with vector instructions, row by row as the rows are made; it must give
// every bit the one-operation-at-a-time reference gives, on any coefficients.
TEST(InverseWavelet, Irreversible97FloatEqualsReferenceBitForBit) {
  std::mt19937 rng(15);
  std::uniform_real_distribution<float> coefficient(-3000.0f, 3000.0f);
  std::vector<Case> cases = Cases();
  cases.push_back({{3, 1, 1998, 41}, 5});
  cases.push_back({{0, 0, 2048, 64}, 5});
  for (const Case& c : cases) {
    Codec::LevelSet set;
    Codec::AllocLevelSet32(set, c.rect, c.levels);
    auto fill = [&](Codec::SubbandPlane& p) {
      for (std::uint32_t y = 0; y < p.height; ++y) {
        auto* row = reinterpret_cast<float*>(static_cast<std::uint8_t*>(p.data) + std::size_t{y} * p.step);
        for (std::uint32_t x = 0; x < p.width; ++x) row[x] = coefficient(rng);
      }
    };
    fill(set.ll);
    for (std::uint32_t i = 0; i < c.levels; ++i) {
      fill(set.level[i].hl);
      fill(set.level[i].lh);
      fill(set.level[i].hh);
    }
    const std::size_t n = std::size_t{c.rect.width} * c.rect.height;
    std::vector<float> swept(n), reference(n);
    const auto step = static_cast<std::int32_t>(c.rect.width * 4);
    Codec::InvDWT97_32f(set, swept.data(), step, c.rect);
    Codec::InvDWT97_32fReference(set, reference.data(), step, c.rect);
    ASSERT_EQ(std::memcmp(swept.data(), reference.data(), n * sizeof(float)), 0)
        << "rect " << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x" << c.rect.height << " n "
        << c.levels;
  }
}

TEST(InverseWavelet, Irreversible97FixedPointWithinRounding) {
  std::mt19937 rng(14);
  for (const Case& c : Cases()) {
    // 8-bit samples with 4 fractional bits, as the 16-bit path carries them.
    const Plane img = RandomImage(c.rect.width, c.rect.height, rng, -128, 127);
    Plane scaled = img;
    for (auto& row : scaled)
      for (auto& v : row) v *= 16;
    Codec::LevelSet set;
    Codec::AllocLevelSet16(set, c.rect, c.levels);
    Analyse<std::int16_t>(scaled, c.rect, c.levels, false, set);
    std::vector<std::int16_t> out(std::size_t{c.rect.width} * c.rect.height);
    Codec::InvDWT97_16s(set, out.data(), static_cast<std::int32_t>(c.rect.width * 2), c.rect);
    for (std::uint32_t y = 0; y < c.rect.height; ++y)
      for (std::uint32_t x = 0; x < c.rect.width; ++x)
        ASSERT_NEAR(out[y * c.rect.width + x] / 16.0, img[y][x], 0.75)
            << "rect " << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x" << c.rect.height << " n "
            << c.levels << " at " << x << "," << y;
  }
}

TEST(InverseWavelet, SignMagnitudeFlipIsItsOwnInverse) {
  Codec::LevelSet set;
  Codec::AllocLevelSet32(set, {3, 5, 9, 7}, 2);
  auto* ll = static_cast<std::uint32_t*>(set.ll.data);
  ll[0] = 0x80000005u;  // -5
  ll[1] = 0x80000000u;  // minus zero
  ll[2] = 7;
  Codec::FlipSignMagnitude(set);
  EXPECT_EQ(static_cast<std::int32_t>(ll[0]), -5);
  EXPECT_EQ(ll[1], 0x80000000u);
  EXPECT_EQ(ll[2], 7u);
  Codec::FlipSignMagnitude(set);
  EXPECT_EQ(ll[0], 0x80000005u);
  EXPECT_EQ(ll[1], 0x80000000u);
}

}  // namespace

namespace {

// The 16-bit 9/7 synthesis as described for this path, one signal at a time,
// written apart from the decoder: Q16 constants, products rounded
// R(p) = floor((p + 2^15) / 2^16), results saturated to 16 bits.
using I16 = std::vector<std::int16_t>;

std::int64_t Rq(std::int64_t p) { return (p + 32768) >> 16; }
std::int16_t Sat16(std::int64_t v) {
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(v, -32768, 32767));
}

// Lifting step `step` (0: K and delta, 1: 1/K and gamma, 2: beta, 3: alpha)
// of x with the neighbour sum `sum`, or with the one neighbour `sum` where the
// other is mirrored.  Steps 1 and 2 round each product, with the doubled
// constant rounded from its real value where a neighbour is mirrored; or,
// `once`, round the difference of the two products once.  Steps 3 and 4
// subtract the rounded product of the neighbour sum.
std::int16_t Step97(int step, std::int64_t x, std::int64_t sum, bool mirrored, bool once) {
  static const std::int64_t self[2] = {80621, 53274}, single[4] = {23627, 57862, -3472, -103949},
                            doubled[4] = {47255, 115725, -6944, -207898};
  const std::int64_t neighbours = mirrored ? doubled[step] * sum : single[step] * sum;
  if (step >= 2) return Sat16(x - Rq(neighbours));
  if (once) return Sat16(Rq(self[step] * x - neighbours));
  return Sat16(Rq(self[step] * x) - Rq(neighbours));
}

// The four lifting steps over signal s (s[i] low when i + phase is even),
// steps 1 and 2 rounded once where `once(i)`.
template <class Once>
void Lift(I16& s, std::uint32_t phase, Once&& once) {
  const std::int64_t n = static_cast<std::int64_t>(s.size());
  for (int step = 0; step < 4; ++step) {
    I16 t = s;
    for (std::int64_t i = 0; i < n; ++i) {
      if (((i + phase) & 1) != static_cast<std::uint32_t>(step & 1)) continue;
      const bool left = i > 0, right = i + 1 < n;
      const std::int64_t sum = (left ? s[i - 1] : 0) + (right ? s[i + 1] : 0);
      t[i] = Step97(step, s[i], sum, !(left && right), once(i));
    }
    s = t;
  }
}

// One row from its low and high samples.
I16 RowQ16(const I16& L, const I16& H, std::uint32_t phase) {
  const std::uint32_t w = static_cast<std::uint32_t>(L.size() + H.size());
  I16 x(w);
  auto at = [&](std::uint32_t i) { return ((i + phase) & 1) == 0 ? L[i / 2] : H[i / 2]; };
  if (w == 1) return {phase == 0 ? L[0] : static_cast<std::int16_t>(H[0] >> 1)};
  if (w == 2) {
    const std::int16_t e = Sat16(L[0] - (H[0] >> 1)), o = Sat16(H[0] + e);
    return phase == 0 ? I16{e, o} : I16{o, e};
  }
  if (w == 3 && phase == 0) {
    const std::int64_t t = H[0] >> 1, u = Rq(-7542 * (L[1] - L[0]));
    return {Sat16(L[0] - t + u), Sat16(((L[0] + L[1]) >> 1) + t), Sat16(L[1] - u - t)};
  }
  if (w == 3) {
    const std::int64_t d = H[1] - H[0];
    const std::int16_t x0 = Sat16((H[0] >> 1) + L[0] + Rq(-10253 * d));
    return {x0, Sat16(L[0] - ((H[0] + H[1]) >> 2)), Sat16(x0 + Rq(53274 * d))};
  }
  for (std::uint32_t i = 0; i < w; ++i) x[i] = at(i);
  I16 ends = x, inner = x;
  Lift(ends, phase, [](std::int64_t) { return false; });
  Lift(inner, phase, [](std::int64_t) { return true; });
  // The row primitive makes the samples from 4 on, (w / 2) - 4 pairs at
  // phase 0 from 10 samples, ((w + 1) / 2) - 4 at phase 1 from 9, lifted as
  // the interior is.
  const std::uint32_t pairs = phase == 0 ? (w >= 10 ? w / 2 - 4 : 0) : (w >= 9 ? (w + 1) / 2 - 4 : 0);
  for (std::uint32_t i = 4; i < 4 + 2 * pairs; ++i) ends[i] = inner[i];
  if (pairs == 1) {
    // One pair: one synthesis filter per sample, rounded once.
    auto l = [&](int k) -> std::int64_t { return L[static_cast<std::size_t>(2 + k)]; };
    auto g = [&](int k) -> std::int64_t { return H[static_cast<std::size_t>(2 + k)]; };
    const std::int64_t lowTaps =
        phase == 0 ? -3771 * (l(-1) + l(1)) + 73078 * l(0) + 1105 * (g(-2) + g(1)) - 17489 * (g(-1) + g(0))
                   : -3771 * (l(-1) + l(1)) + 73078 * l(0) + 1105 * (g(-1) + g(2)) - 17489 * (g(0) + g(1));
    const std::int64_t highTaps = phase == 0
                                      ? -5981 * (l(-1) + l(2)) + 38750 * (l(0) + l(1)) +
                                            1753 * (g(-2) + g(2)) - 5126 * (g(-1) + g(1)) + 39515 * g(0)
                                      : -5981 * (l(-2) + l(1)) + 38750 * (l(-1) + l(0)) +
                                            1753 * (g(-2) + g(2)) - 5126 * (g(-1) + g(1)) + 39515 * g(0);
    ends[4 + phase] = Sat16(Rq(lowTaps));
    ends[5 - phase] = Sat16(Rq(highTaps));
  }
  return ends;
}

// One column of h rows (low rows at the phase's parity), sums and differences
// saturating; halves rounded: R(2^15 x).
I16 ColumnQ16(I16 s, std::uint32_t phase) {
  const std::size_t h = s.size();
  auto half = [](std::int64_t v) { return Sat16(Rq(32768 * v)); };
  if (h == 1) return {phase == 0 ? s[0] : half(s[0])};
  if (h == 2) {
    const std::int16_t l = s[phase], hi = s[1 - phase];
    const std::int16_t e = Sat16(l - half(hi)), o = Sat16(hi + e);
    return phase == 0 ? I16{e, o} : I16{o, e};
  }
  if (h == 3 && phase == 0) {
    const std::int64_t l0 = s[0], h0 = s[1], l1 = s[2];
    const std::int64_t t = half(h0), u = Sat16(Rq(-7542 * Sat16(l1 - l0)));
    return {Sat16(Sat16(l0 + u) - t), Sat16(t + half(Sat16(l0 + l1))), Sat16(l1 - Sat16(u + t))};
  }
  if (h == 3) {
    const std::int64_t h0 = s[0], l0 = s[1], h1 = s[2];
    const std::int64_t d = Sat16(h1 - h0);
    const std::int16_t x0 = Sat16(l0 + Sat16(Sat16(Rq(-10253 * d)) + half(h0)));
    return {x0, Sat16(l0 - Sat16(Rq(16384 * Sat16(h0 + h1)))), Sat16(x0 + Sat16(Rq(53274 * d)))};
  }
  // The column steps (((h - phase) / 2) - 2 of them) make the first two
  // steps of rows 3 + phase .. 2 + phase + 2 x steps; the pipeline's start
  // and end the others.
  const std::int64_t steps = std::max<std::int64_t>((static_cast<std::int64_t>(h) - phase) / 2 - 2, 0);
  Lift(s, phase, [&](std::int64_t i) { return i >= 3 + phase && i < 3 + phase + 2 * steps; });
  return s;
}

}  // namespace

// The decoder's own fixed-point steps over every neighbour sum, and with every
// mirrored neighbour.
TEST(InverseWavelet, FixedPointStepsOverEveryNeighbourSum) {
  for (int x : {-20000, -1237, 0, 1, 4711, 32767}) {
    const auto v = static_cast<std::int16_t>(x);
    for (std::int32_t sum = -65536; sum <= 65534; ++sum) {
      const auto a = static_cast<std::int16_t>(sum / 2), b = static_cast<std::int16_t>(sum - sum / 2);
      ASSERT_EQ(Codec::Q16::Step<0>(v, a, b), Step97(0, x, sum, false, false)) << x << " " << sum;
      ASSERT_EQ(Codec::Q16::Step<1>(v, a, b), Step97(1, x, sum, false, false)) << x << " " << sum;
      ASSERT_EQ(Codec::Q16::Step<2>(v, a, b), Step97(2, x, sum, false, false)) << x << " " << sum;
      ASSERT_EQ(Codec::Q16::Step<3>(v, a, b), Step97(3, x, sum, false, false)) << x << " " << sum;
    }
    for (std::int32_t a = -32768; a <= 32767; ++a) {
      const auto n = static_cast<std::int16_t>(a);
      ASSERT_EQ(Codec::Q16::Mirrored<0>(v, n), Step97(0, x, a, true, false)) << x << " " << a;
      ASSERT_EQ(Codec::Q16::Mirrored<1>(v, n), Step97(1, x, a, true, false)) << x << " " << a;
      ASSERT_EQ(Codec::Q16::Mirrored<2>(v, n), Step97(2, x, a, true, false)) << x << " " << a;
      ASSERT_EQ(Codec::Q16::Mirrored<3>(v, n), Step97(3, x, a, true, false)) << x << " " << a;
    }
  }
}

// The 16-bit 9/7 path gives the samples of the arithmetic described for it,
// sample for sample: every short width and height at both phases (their own
// formulas), the ends of longer rows and columns (each product rounded, the
// doubled constants where mirrored) and their interiors (the row and column
// primitives' rounding, one pair filtered at once).  The coefficients are
// large enough that some steps saturate.
TEST(InverseWavelet, Irreversible97FixedPointIsTheDescribedArithmetic) {
  std::mt19937 rng(35);
  std::uniform_int_distribution<int> d(-9000, 9000);
  for (std::uint32_t w = 1; w <= 24; ++w)
    for (std::uint32_t h = 1; h <= 24; h += (h < 12 ? 1 : 5))
      for (std::uint32_t o = 0; o < 4; ++o) {
        const Rect r{5 + (o & 1), 2 + (o >> 1), w, h};
        Codec::LevelSet set;
        Codec::AllocLevelSet16(set, r, 1);
        auto fill = [&](Codec::SubbandPlane& p) {
          for (std::uint32_t y = 0; y < p.height; ++y)
            for (std::uint32_t x = 0; x < p.width; ++x)
              reinterpret_cast<std::int16_t*>(static_cast<std::uint8_t*>(p.data) + y * p.step)[x] =
                  static_cast<std::int16_t>(d(rng));
        };
        auto row = [](const Codec::SubbandPlane& p, std::uint32_t y) {
          const auto* q =
              reinterpret_cast<const std::int16_t*>(static_cast<const std::uint8_t*>(p.data) + y * p.step);
          return I16(q, q + p.width);
        };
        fill(set.ll), fill(set.level[0].hl), fill(set.level[0].lh), fill(set.level[0].hh);
        // Reference: rows of the vertically low and high bands, then columns.
        const std::uint32_t px = r.x & 1, py = r.y & 1;
        std::vector<I16> rows(h);
        for (std::uint32_t y = 0; y < h; ++y) {
          const bool low = ((y + py) & 1) == 0;
          const std::uint32_t band = y / 2;
          rows[y] = low ? RowQ16(row(set.ll, band), row(set.level[0].hl, band), px)
                        : RowQ16(row(set.level[0].lh, band), row(set.level[0].hh, band), px);
        }
        std::vector<std::int16_t> out(std::size_t{w} * h);
        Codec::InvDWT97_16s(set, out.data(), static_cast<std::int32_t>(w * 2), r);
        for (std::uint32_t x = 0; x < w; ++x) {
          I16 col(h);
          for (std::uint32_t y = 0; y < h; ++y) col[y] = rows[y][x];
          col = ColumnQ16(col, py);
          for (std::uint32_t y = 0; y < h; ++y)
            ASSERT_EQ(out[y * w + x], col[y])
                << "rect " << r.x << "," << r.y << " " << w << "x" << h << " at " << x << "," << y;
        }
      }
}
