// Round trips: random code-blocks coded by the reference encoder in every
// code-block style must decode to exactly the coefficients the coded passes
// describe, in every build.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "primitives/core/test_hooks.h"
#include "tests/primitives/jpeg2000/codeblock_harness.h"

using namespace cbtest;

namespace {

struct Size {
  int w, h;
};
const Size kSizes[] = {{4, 4},   {1, 1},   {3, 5},    {7, 3},    {5, 9},   {16, 16},
                       {32, 32}, {64, 64}, {1024, 4}, {4, 1024}, {33, 17}, {64, 2}};

// Every combination of the six style bits.
std::vector<std::uint32_t> allStyles() {
  const std::uint32_t bits[] = {kCausal, kBypass, kTermAll, kReset, kSegSymbol, kPredictable};
  std::vector<std::uint32_t> out;
  for (int m = 0; m < 64; ++m) {
    std::uint32_t s = 0;
    for (int i = 0; i < 6; ++i)
      if (m & (1 << i)) s |= bits[i];
    out.push_back(s);
  }
  return out;
}

std::string styleName(std::uint32_t s) {
  std::string n;
  if (s & kCausal) n += "causal ";
  if (s & kBypass) n += "bypass ";
  if (s & kTermAll) n += "termall ";
  if (s & kReset) n += "reset ";
  if (s & kSegSymbol) n += "segsym ";
  if (s & kPredictable) n += "predictable ";
  return n.empty() ? "plain" : n;
}

void expectRoundTrip(const Build& b, const std::vector<std::int32_t>& c, const EncodeOptions& o,
                     Budget budget) {
  const EncodedBlock eb = encodeCodeBlock(c, o);
  const DecodeRun run = decodeBlock(b, eb, o, budget);
  for (PrimResult r : run.results) ASSERT_EQ(r, primResultOk);
  // A generous budget is left over, less the passes of the last call.
  EXPECT_EQ(run.passesLeft, budget == Budget::Generous ? 1024 - eb.segments.back().passes : 0);
  EXPECT_EQ(run.errorWord, 0u);
  ASSERT_EQ(run.coef, eb.expected);
  if (eb.passes == passCount(o.bitPlanes)) {
    // Every pass decoded: the coefficients themselves, in sign-magnitude.
    for (std::size_t i = 0; i < c.size(); ++i) ASSERT_EQ(run.coef[i], signMagnitude(c[i])) << i;
  }
}

TEST(CodeBlockRoundTrip, EveryStyleEverySizeFullyCoded) {
  std::mt19937 rng(1234);
  for (std::uint32_t style : allStyles())
    for (const Size& sz : kSizes) {
      if (sz.w * sz.h > 4096 && (style & 3) != 3) continue;  // keep the big ones for a few styles
      EncodeOptions o;
      o.width = sz.w;
      o.height = sz.h;
      o.band = static_cast<int>(rng() % 4);
      o.bitPlanes = 1 + static_cast<int>(rng() % 12);
      o.style = style;
      SCOPED_TRACE(styleName(style) + " " + std::to_string(sz.w) + "x" + std::to_string(sz.h) + " planes " +
                   std::to_string(o.bitPlanes) + " band " + std::to_string(o.band));
      const double density = (rng() % 3) == 0 ? 0.05 : ((rng() % 2) ? 0.4 : 0.9);
      const auto c = randomCoefficients(rng, sz.w, sz.h, o.bitPlanes, density);
      expectRoundTrip(kBuilds[0], c, o, Budget::Total);
    }
}

TEST(CodeBlockRoundTrip, ManyPlanesAndEveryBand) {
  std::mt19937 rng(77);
  for (int planes : {1, 2, 3, 4, 5, 6, 13, 20, 31})
    for (int band = 0; band < 8; ++band)
      for (std::uint32_t style : {0u, kBypass, kBypass | kTermAll | kCausal, kReset | kSegSymbol,
                                  kBypass | kPredictable | kSegSymbol}) {
        EncodeOptions o;
        o.width = 13;
        o.height = 11;
        o.band = band;
        o.bitPlanes = planes;
        o.style = style;
        SCOPED_TRACE(styleName(style) + " planes " + std::to_string(planes) + " band " +
                     std::to_string(band));
        expectRoundTrip(kBuilds[0], randomCoefficients(rng, 13, 11, planes, 0.5), o, Budget::Layered);
      }
}

TEST(CodeBlockRoundTrip, TruncatedAfterEveryPass) {
  std::mt19937 rng(99);
  for (std::uint32_t style : allStyles()) {
    EncodeOptions o;
    o.width = 9;
    o.height = 10;
    o.band = static_cast<int>(rng() % 4);
    o.bitPlanes = 7;
    o.style = style;
    const auto c = randomCoefficients(rng, o.width, o.height, o.bitPlanes, 0.6);
    for (int k = 0; k <= passCount(o.bitPlanes); ++k) {
      o.maxPasses = k;
      SCOPED_TRACE(styleName(style) + " passes " + std::to_string(k));
      expectRoundTrip(kBuilds[0], c, o, (k & 1) ? Budget::Total : Budget::Layered);
    }
  }
}

TEST(CodeBlockRoundTrip, GenerousBudgetStopsAtSegmentEnds) {
  std::mt19937 rng(5);
  for (std::uint32_t style : allStyles()) {
    EncodeOptions o;
    o.width = 16;
    o.height = 12;
    o.band = 1;
    o.bitPlanes = 9;
    o.style = style;
    SCOPED_TRACE(styleName(style));
    expectRoundTrip(kBuilds[0], randomCoefficients(rng, 16, 12, 9, 0.3), o, Budget::Generous);
  }
}

TEST(CodeBlockRoundTrip, RawSegmentsEndingInFF) {
  // Dense all-ones magnitudes make raw bytes of 0xFF; the final one may be
  // kept or dropped.
  for (bool drop : {false, true})
    for (int planes : {6, 9}) {
      EncodeOptions o;
      o.width = 8;
      o.height = 8;
      o.bitPlanes = planes;
      o.style = kBypass | (drop ? kTermAll : 0u);
      o.dropFinalRawFF = drop;
      std::vector<std::int32_t> c(64, (1 << planes) - 1);
      for (int i = 0; i < 64; i += 3) c[i] = -c[i];
      expectRoundTrip(kBuilds[0], c, o, Budget::Total);
    }
}

TEST(CodeBlockRoundTrip, DestinationRowStep) {
  std::mt19937 rng(8);
  EncodeOptions o;
  o.width = 10;
  o.height = 7;
  o.bitPlanes = 8;
  const auto c = randomCoefficients(rng, 10, 7, 8, 0.7);
  const EncodedBlock eb = encodeCodeBlock(c, o);
  for (int stride : {10, 11, 16, 100}) {
    const DecodeRun run = decodeBlock(kBuilds[0], eb, o, Budget::Total, 0, stride);
    EXPECT_EQ(run.coef, eb.expected) << stride;
  }
}

// Every build decodes the round trips too (the byte-for-byte comparison with
// px, state included, is in codeblock_test.cpp).
class CodeBlockRoundTripBuilds : public ::testing::TestWithParam<int> {};
TEST_P(CodeBlockRoundTripBuilds, EveryStyle) {
  if (!primTestGenerationSupported(GetParam()))
    GTEST_SKIP() << "this processor cannot run the " << kBuilds[GetParam()].name << " builds";
  const Build& b = kBuilds[GetParam()];
  std::mt19937 rng(4321 + GetParam());
  for (std::uint32_t style : allStyles())
    for (const Size& sz : {Size{32, 32}, Size{5, 7}, Size{64, 3}}) {
      EncodeOptions o;
      o.width = sz.w;
      o.height = sz.h;
      o.band = static_cast<int>(rng() % 4);
      o.bitPlanes = 1 + static_cast<int>(rng() % 14);
      o.style = style;
      o.maxPasses = (rng() % 3) ? 1 << 30 : static_cast<int>(rng() % 40);
      SCOPED_TRACE(styleName(style));
      expectRoundTrip(b, randomCoefficients(rng, sz.w, sz.h, o.bitPlanes, 0.5), o, Budget::Total);
    }
}
INSTANTIATE_TEST_SUITE_P(AllBuilds, CodeBlockRoundTripBuilds, ::testing::Range(0, 7),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(kBuilds[i.param].name);
                         });

}  // namespace
