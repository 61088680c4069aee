// The exact float synthesis kernels: every build against a scalar model of
// the synthesis written on the interleaved signal (whole-sample symmetric
// extension by mirrored indices), bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "primitives/jpeg2000/wavelet_exact.h"
#include "tests/primitives/jpeg2000/wavelet_test_util.h"
#include "tests/support/generations.h"

using namespace wavelet_test;

namespace {

const float kC0[2] = {1.2301741f, 0.36052364f}, kC1[2] = {0.8128931f, 0.8829111f};
const float kBeta = -0.052980117f, kAlpha = -1.5861343f;

float Step(int s, float x, float a, float b) {
  if (s == 0) return kC0[0] * x - kC0[1] * (a + b);
  if (s == 1) return kC1[0] * x - kC1[1] * (a + b);
  if (s == 2) return x - kBeta * (a + b);
  return x - kAlpha * (a + b);
}

// The row synthesis on the interleaved signal: low samples at even positions
// (phase 0) or odd ones; steps 0 and 2 on the low positions, 1 and 3 on the
// high ones, neighbours mirrored at both ends.
std::vector<float> ModelRow(const std::vector<float>& lo, const std::vector<float>& hi, int phase) {
  const int n = static_cast<int>(lo.size() + hi.size());
  std::vector<float> x(n);
  for (int i = 0; i < n; ++i) x[i] = ((i + phase) % 2 == 0) ? lo[(i + phase) / 2 - phase] : hi[i / 2];
  auto at = [&](int i) { return x[i < 0 ? -i : i >= n ? 2 * (n - 1) - i : i]; };
  for (int s = 0; s < 4; ++s)
    for (int i = 0; i < n; ++i)
      if (((i + phase) % 2 == 0) == (s % 2 == 0)) x[i] = Step(s, x[i], at(i - 1), at(i + 1));
  return x;
}

class WaveletExactTest : public GenerationTest {};

TEST_P(WaveletExactTest, HalvesGiveTheModelRow) {
  for (int phase = 0; phase < 2; ++phase)
    for (int n : {2, 3, 4, 5, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 1998, 2048}) {
      const int nL = phase == 0 ? (n + 1) / 2 : n / 2, nH = n - nL;
      for (bool inPlace : {true, false}) {
        std::vector<float> lo(nL), hi(nH);
        fillUniformF(lo, -4000.0f, 4000.0f);
        fillUniformF(hi, -900.0f, 900.0f);
        const std::vector<float> want = ModelRow(lo, hi, phase);
        std::vector<float> loBuf(nL + 2, 7.0f), hiBuf(nH + 2, 7.0f), dst(n + 9, 123.0f);
        std::copy(hi.begin(), hi.end(), hiBuf.begin() + 1);
        std::copy(lo.begin(), lo.end(), loBuf.begin() + 1);
        const float* in = inPlace ? loBuf.data() + 1 : lo.data();
        ASSERT_EQ(imgInvLift97Halves_32f(in, loBuf.data() + 1, nL, hiBuf.data() + 1, nH, phase, dst.data()),
                  primResultOk);
        const std::vector<float> got(dst.begin(), dst.begin() + n);
        EXPECT_TRUE(sameSamples(got, want)) << "n " << n << " phase " << phase << " in place " << inPlace;
        for (int i = n; i < n + 9; ++i) EXPECT_EQ(dst[i], 123.0f) << "wrote past the row at " << i;
      }
    }
}

TEST_P(WaveletExactTest, HalvesRefuseBadHalves) {
  float lo[4] = {}, hi[4] = {}, dst[8] = {};
  EXPECT_EQ(imgInvLift97Halves_32f(nullptr, lo + 1, 1, hi + 1, 1, 0, dst), primResultNullPointer);
  EXPECT_EQ(imgInvLift97Halves_32f(lo + 1, lo + 1, 0, hi + 1, 1, 0, dst), primResultBadSize);
  EXPECT_EQ(imgInvLift97Halves_32f(lo + 1, lo + 1, 1, hi + 1, 2, 0, dst), primResultBadSize);
  EXPECT_EQ(imgInvLift97Halves_32f(lo + 1, lo + 1, 2, hi + 1, 1, 1, dst), primResultBadSize);
}

TEST_P(WaveletExactTest, WavefrontRunsTheFourStepsInOrder) {
  for (int w : {0, 1, 3, 4, 7, 8, 9, 16, 17, 1023, 2048}) {
    std::vector<std::vector<float>> rows(6, std::vector<float>(w + 1));
    for (auto& r : rows) fillUniformF(r, -3000.0f, 3000.0f);
    std::vector<std::vector<float>> want = rows;
    for (int i = 0; i < w; ++i)
      for (int s = 0; s < 4; ++s) want[4 - s][i] = Step(s, want[4 - s][i], want[3 - s][i], want[5 - s][i]);
    float* p[6];
    for (int k = 0; k < 6; ++k) p[k] = rows[k].data();
    ASSERT_EQ(imgInvLift97Wavefront_32f(p, w), primResultOk);
    for (int k = 0; k < 6; ++k) EXPECT_TRUE(sameSamples(rows[k], want[k])) << "width " << w << " row " << k;
  }
  float* none[6] = {};
  EXPECT_EQ(imgInvLift97Wavefront_32f(none, 4), primResultNullPointer);
}

TEST_P(WaveletExactTest, DequantizeTakesMidpointScaleAndSign) {
  std::vector<std::uint32_t> words = {0,           0x80000000u, 1,           0x80000001u,
                                      2,           0x80000002u, 0x7FFFFFFFu, 0xFFFFFFFFu,
                                      0x00FFFFFFu, 0x01000001u, 0x80FFFFFFu};
  for (int i = 0; i < 200; ++i) words.push_back(static_cast<std::uint32_t>(rng()()));
  for (int i = 0; i < 60; ++i) words.push_back(static_cast<std::uint32_t>(rng()() & 0x80000003u));
  const float scales[] = {1.0f, 0.0078125f, 3.3e-3f, 1.9f, std::numeric_limits<float>::infinity()};
  for (int midpoint = 0; midpoint < 3; ++midpoint)
    for (float scale : scales)
      for (std::size_t len : {words.size(), std::size_t{7}, std::size_t{0}}) {
        std::vector<float> want(len), got(len + 3, 5.0f);
        for (std::size_t i = 0; i < len; ++i) {
          const std::uint32_t m = words[i] & 0x7FFFFFFFu;
          const bool take = midpoint == 1 ? m != 0 : midpoint == 2 ? m == 1 : false;
          const float f = (static_cast<float>(static_cast<std::int32_t>(m)) + (take ? 0.5f : 0.0f)) * scale;
          want[i] = fromBits(bits(f) | (words[i] & 0x80000000u));
        }
        ASSERT_EQ(
            imgDequantizeMidpoint_32u32f(words.data(), got.data(), static_cast<int>(len), midpoint, scale),
            primResultOk);
        EXPECT_TRUE(sameSamples(std::vector<float>(got.begin(), got.begin() + len), want))
            << "midpoint " << midpoint << " scale " << scale;
        EXPECT_EQ(got[len], 5.0f);
      }
  float out[1];
  EXPECT_EQ(imgDequantizeMidpoint_32u32f(words.data(), out, 1, 3, 1.0f), primResultBadArgument);
  EXPECT_EQ(imgDequantizeMidpoint_32u32f(nullptr, out, 1, 0, 1.0f), primResultNullPointer);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(AllBuilds, WaveletExactTest, ::testing::Range<std::int32_t>(0, 7),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return std::string(generationName(info.param));
                         });
