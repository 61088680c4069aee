// Inverse wavelet transforms against a forward transform written from the
// textbook lifting equations: the reversible 5/3 must give back every sample
// exactly, the 9/7 within the rounding of its path, for every origin parity,
// short signals (1 to 10 samples each way) and several level counts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "decoder/level_set.h"
#include "decoder/reconstruct/level_planes.h"
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
