// Tile output: dequantisation, the sample stage (component transforms, level
// shift, clamp, fractional bits, float rounding), the caller-image checks and
// the clipping of every write to the caller's planes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "decoder/codestream/codestream_header.h"
#include "decoder/image_records.h"
#include "decoder/reconstruct/level_planes.h"
#include "decoder/reconstruct/reconstruct.h"
#include "decoder/reconstruct/sample_rows.h"
#include "decoder/reconstruct/tile_output.h"
#include "decoder/tier2/lent_planes.h"

namespace {

using namespace Codec;

// A header of n components, one tile over a w x h image at (x0, y0).
void MakeHeader(CodestreamHeader& h, std::uint32_t n, std::uint32_t w, std::uint32_t hgt, std::uint8_t ssiz,
                std::uint32_t x0 = 0, std::uint32_t y0 = 0) {
  h.image = {x0, y0, w, hgt};
  h.tileOriginX = x0;
  h.tileOriginY = y0;
  h.tileWidth = w;
  h.tileHeight = hgt;
  h.componentCount = static_cast<std::uint16_t>(n);
  h.precisions.Reset(n);
  h.sampling.Reset(n);
  for (std::uint32_t c = 0; c < n; ++c) {
    h.precisions[c] = ssiz;
    h.sampling[c] = {1, 1};
  }
}

// Sign-magnitude coefficient.
std::uint32_t SM(std::int32_t v) {
  return v < 0 ? 0x80000000u | static_cast<std::uint32_t>(-v) : static_cast<std::uint32_t>(v);
}

// A set of 0 levels whose LL holds the given values (sign-magnitude).
void FillLL(LevelSet& set, const Rect& r, const std::vector<std::int32_t>& v) {
  AllocLevelSet32(set, r, 0);
  for (std::uint32_t y = 0; y < r.height; ++y)
    for (std::uint32_t x = 0; x < r.width; ++x)
      reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(set.ll.data) + y * set.ll.step)[x] =
          SM(v[(y * r.width + x) % v.size()]);
}

// A caller image laid out for the header.
struct Caller {
  ImageBuffer buf;
  explicit Caller(const CodestreamHeader& h, std::int32_t type) {
    ImageSampling s;
    s.ResetFactors(h.componentCount);
    s.rect = h.image;
    for (std::uint32_t c = 0; c < h.componentCount; ++c) s.factors[c] = h.sampling[c];
    EXPECT_EQ(buf.Alloc(type, 0, s, 6, 0), 0);
  }
  template <typename T>
  T At(std::uint32_t c, std::uint32_t x, std::uint32_t y) const {
    return reinterpret_cast<const T*>(static_cast<const std::uint8_t*>(buf.planePointers[c]) +
                                      std::size_t{y} * buf.layout.rowSteps[c])[x];
  }
};

struct TileSetup {
  LevelSet sets[4];
  std::uint32_t transforms[4] = {1, 1, 1, 1};
  QuantStyle quant[4];
  const QuantStyle* quantPtr[4] = {&quant[0], &quant[1], &quant[2], &quant[3]};
  TileOutputInput Input(const Rect& r, bool mct) {
    TileOutputInput in;
    in.rect = r;
    in.sets = sets;
    in.transforms = transforms;
    in.quant = quantPtr;
    in.applyMct = mct;
    return in;
  }
};

void Output(const CodestreamHeader& h, TileOutputInput in, Caller& caller) {
  std::vector<std::uint8_t*> data(h.componentCount);
  for (std::uint32_t c = 0; c < h.componentCount; ++c)
    data[c] = static_cast<std::uint8_t*>(caller.buf.planePointers[c]);
  CallerPlanes planes{data.data(), caller.buf.layout.rowSteps, caller.buf.layout.dataType};
  OutputTile(h, in, planes);
}

TEST(TileOutput, ReversibleComponentTransformShiftsAndClamps12BitUnsigned) {
  for (std::int32_t type : {kImageData16s, kImageData32s}) {
    CodestreamHeader h;
    MakeHeader(h, 3, 4, 2, 11);
    TileSetup t;
    const Rect r{0, 0, 4, 2};
    // Y, U, V per position; the last pair overflows the range on purpose.
    FillLL(t.sets[0], r, {0, 100, -2048, 2047, 10, 5, 2000, -2000});
    FillLL(t.sets[1], r, {0, 8, 0, 0, -4, 3, 1000, 0});
    FillLL(t.sets[2], r, {0, -8, 0, 0, 4, 1, 1000, 0});
    Caller caller(h, type);
    Output(h, t.Input(r, true), caller);
    const std::int32_t Y[8] = {0, 100, -2048, 2047, 10, 5, 2000, -2000};
    const std::int32_t U[8] = {0, 8, 0, 0, -4, 3, 1000, 0};
    const std::int32_t V[8] = {0, -8, 0, 0, 4, 1, 1000, 0};
    for (std::uint32_t i = 0; i < 8; ++i) {
      const std::int32_t g = Y[i] - ((U[i] + V[i]) >> 2);
      const std::int32_t rgb[3] = {V[i] + g, g, U[i] + g};
      for (std::uint32_t c = 0; c < 3; ++c) {
        const std::int32_t want = std::min(4095, std::max(0, rgb[c] + 2048));
        const std::int32_t got = type == kImageData16s ? caller.At<std::int16_t>(c, i % 4, i / 4)
                                                       : caller.At<std::int32_t>(c, i % 4, i / 4);
        EXPECT_EQ(got, want) << "type " << type << " component " << c << " sample " << i;
      }
    }
  }
}

TEST(TileOutput, FloatPathRoundsTiesToEvenThenShiftsAndClamps) {
  CodestreamHeader h;
  MakeHeader(h, 1, 5, 1, 11);  // 12-bit unsigned
  TileSetup t;
  t.transforms[0] = 0;
  // Step 0.5 on LL (Rb = 12, exponent 13): odd coefficients give ties.
  t.quant[0].style = kQuantExpounded;
  t.quant[0].ll = {0, 13};
  FillLL(t.sets[0], {0, 0, 5, 1}, {4095, -4099, 5, 7, -7});
  Caller caller(h, kImageData32s);
  Output(h, t.Input({0, 0, 5, 1}, false), caller);
  EXPECT_EQ(caller.At<std::int32_t>(0, 0, 0), 4095);  // 2047.5 -> 2048 -> 4096 -> 4095
  EXPECT_EQ(caller.At<std::int32_t>(0, 1, 0), 0);     // -2049.5 -> -2050 -> -2 -> 0
  EXPECT_EQ(caller.At<std::int32_t>(0, 2, 0), 2050);  // 2.5 -> 2
  EXPECT_EQ(caller.At<std::int32_t>(0, 3, 0), 2052);  // 3.5 -> 4
  EXPECT_EQ(caller.At<std::int32_t>(0, 4, 0), 2044);  // -3.5 -> -4
}

TEST(TileOutput, SixteenBitIrreversiblePathRemovesFractionAndClamps) {
  CodestreamHeader h;
  MakeHeader(h, 2, 3, 1, 7);  // 8-bit unsigned
  h.precisions[1] = 0x87;     // 8-bit signed
  TileSetup t;
  t.transforms[0] = t.transforms[1] = 0;
  for (auto& q : t.quant) {
    q.style = kQuantExpounded;
    q.ll = {0, 8};  // step 1 for an 8-bit LL
  }
  FillLL(t.sets[0], {0, 0, 3, 1}, {10, -200, 300});
  FillLL(t.sets[1], {0, 0, 3, 1}, {-3, 500, -500});
  Caller caller(h, kImageData16s);
  Output(h, t.Input({0, 0, 3, 1}, false), caller);
  EXPECT_EQ(caller.At<std::int16_t>(0, 0, 0), 138);
  EXPECT_EQ(caller.At<std::int16_t>(0, 1, 0), 0);    // clamped low
  EXPECT_EQ(caller.At<std::int16_t>(0, 2, 0), 255);  // clamped high
  EXPECT_EQ(caller.At<std::int16_t>(1, 0, 0), -3);
  EXPECT_EQ(caller.At<std::int16_t>(1, 1, 0), 127);
  EXPECT_EQ(caller.At<std::int16_t>(1, 2, 0), -128);
}

TEST(TileOutput, SignedComponentIsClampedNotShifted) {
  CodestreamHeader h;
  MakeHeader(h, 1, 3, 1, 0x87);
  TileSetup t;
  FillLL(t.sets[0], {0, 0, 3, 1}, {-129, 127, 128});
  Caller caller(h, kImageData32s);
  Output(h, t.Input({0, 0, 3, 1}, false), caller);
  EXPECT_EQ(caller.At<std::int32_t>(0, 0, 0), -128);
  EXPECT_EQ(caller.At<std::int32_t>(0, 1, 0), 127);
  EXPECT_EQ(caller.At<std::int32_t>(0, 2, 0), 127);
}

TEST(TileOutput, ComponentsBeyondTheThirdAreFinishedOnTheirOwn) {
  CodestreamHeader h;
  MakeHeader(h, 4, 2, 1, 7);
  TileSetup t;
  for (int c = 0; c < 4; ++c) FillLL(t.sets[c], {0, 0, 2, 1}, {0, 300});
  Caller caller(h, kImageData32s);
  Output(h, t.Input({0, 0, 2, 1}, true), caller);
  EXPECT_EQ(caller.At<std::int32_t>(3, 0, 0), 128);
  EXPECT_EQ(caller.At<std::int32_t>(3, 1, 0), 255);
}

TEST(TileOutput, MixedTransformsWarnAndEachComponentFollowsItsOwn) {
  struct Counter : BDiagnOutput {
    int mixed = 0, count = 0;
    void Warning(const BDiagnDescr& d) override {
      if (d.Code() == J2k::Warn_MCTIsNotApplicableForMixedWTTypes().Code()) ++mixed;
      if (d.Code() == J2k::Warn_MCTIsNotApplicableForNOfComponents().Code()) ++count;
    }
  } out;
  const std::uint32_t mixed[3] = {1, 1, 0};
  EXPECT_FALSE(CheckTileMCT(3, true, mixed, out));
  EXPECT_EQ(out.mixed, 1);
  const std::uint32_t same[3] = {0, 0, 0};
  EXPECT_TRUE(CheckTileMCT(3, true, same, out));
  EXPECT_FALSE(CheckTileMCT(1, true, same, out));
  EXPECT_EQ(out.count, 1);
  EXPECT_FALSE(CheckTileMCT(1, false, same, out));
  EXPECT_EQ(out.count, 1);

  CodestreamHeader h;
  MakeHeader(h, 3, 1, 1, 7);
  TileSetup t;
  t.transforms[2] = 0;
  t.quant[2].style = kQuantExpounded;
  t.quant[2].ll = {0, 8};
  for (int c = 0; c < 3; ++c) FillLL(t.sets[c], {0, 0, 1, 1}, {5});
  Caller caller(h, kImageData32s);
  Output(h, t.Input({0, 0, 1, 1}, false), caller);
  for (std::uint32_t c = 0; c < 3; ++c) EXPECT_EQ(caller.At<std::int32_t>(c, 0, 0), 133) << c;
}

TEST(TileOutput, ResampledComponentsAreRefusedOnlyUnderTheComponentTransform) {
  CodestreamHeader h;
  MakeHeader(h, 3, 4, 2, 7);
  h.sampling[1] = {2, 1};
  EXPECT_TRUE(IsMCTResampled(h));
  TileSetup t;
  FillLL(t.sets[0], {0, 0, 4, 2}, {1});
  FillLL(t.sets[1], {0, 0, 2, 2}, {1});
  FillLL(t.sets[2], {0, 0, 4, 2}, {1});
  Caller caller(h, kImageData32s);
  EXPECT_THROW(Output(h, t.Input({0, 0, 4, 2}, true), caller), J2k::Except_mctIsResampled);
  // Without the transform each component is output on its own.
  Caller plain(h, kImageData32s);
  Output(h, t.Input({0, 0, 4, 2}, false), plain);
  EXPECT_EQ(plain.At<std::int32_t>(1, 1, 1), 129);
}

TEST(TileOutput, CallerImageMustMatchTheHeader) {
  CodestreamHeader h;
  MakeHeader(h, 2, 8, 4, 7);
  Caller good(h, kImageData32s);
  EXPECT_TRUE(CheckCallerImage(h, good.buf.planePointers, good.buf.layout));
  {  // a row step below the width
    Caller c(h, kImageData32s);
    c.buf.layout.rowSteps[1] = 8;
    EXPECT_FALSE(CheckCallerImage(h, c.buf.planePointers, c.buf.layout));
  }
  {  // a null plane
    Caller c(h, kImageData32s);
    void* keep = c.buf.planePointers[0];
    c.buf.planePointers[0] = nullptr;
    EXPECT_FALSE(CheckCallerImage(h, c.buf.planePointers, c.buf.layout));
    c.buf.planePointers[0] = keep;
  }
  {  // other sampling
    Caller c(h, kImageData32s);
    c.buf.layout.sampling.factors[1] = {2, 2};
    EXPECT_FALSE(CheckCallerImage(h, c.buf.planePointers, c.buf.layout));
  }
  {  // fewer planes than components
    CodestreamHeader h1;
    MakeHeader(h1, 1, 8, 4, 7);
    Caller c(h1, kImageData32s);
    EXPECT_FALSE(CheckCallerImage(h, c.buf.planePointers, c.buf.layout));
  }
  {  // other image size
    CodestreamHeader h2;
    MakeHeader(h2, 2, 8, 5, 7);
    EXPECT_FALSE(CheckCallerImage(h2, good.buf.planePointers, good.buf.layout));
  }
  {  // interleaved layout
    Caller c(h, kImageData32s);
    c.buf.layout.planeLayout = 1;
    EXPECT_FALSE(CheckCallerImage(h, c.buf.planePointers, c.buf.layout));
  }
}

TEST(TileOutput, TileComponentLargerThanItsPlaneIsClipped) {
  // Sampling 2 on an odd origin: the tile-component rectangle of the tile is
  // wider than the image's component plane would place it.
  CodestreamHeader h;
  MakeHeader(h, 1, 6, 2, 7);
  TileSetup t;
  // The tile claims 4 columns at 0 while the image plane has 6: place a
  // tile-component that starts before the plane's origin.
  h.image = {2, 0, 6, 2};
  FillLL(t.sets[0], {0, 0, 4, 2}, {1, 2, 3, 4});
  Caller caller(h, kImageData32s);
  // Guard: the row after the plane must stay untouched.
  Output(h, t.Input({0, 0, 4, 2}, false), caller);
  EXPECT_EQ(caller.At<std::int32_t>(0, 0, 0), 128 + 3);
  EXPECT_EQ(caller.At<std::int32_t>(0, 1, 0), 128 + 4);
  EXPECT_EQ(caller.At<std::int32_t>(0, 0, 1), 128 + 3);
}

TEST(Dequantisation, StepsFollowMantissaAndExponent) {
  SubbandPlane f;
  f.AllocPlaneOrThrow(2, 1, 4);
  auto* v = static_cast<float*>(f.data);
  v[0] = 3.0f, v[1] = -1.0f;
  DequantizeBand32f(f, 512, 12, 10);  // 2^-2 x 1.25
  EXPECT_FLOAT_EQ(v[0], 0.9375f);
  EXPECT_FLOAT_EQ(v[1], -0.3125f);
  SubbandPlane empty;  // null plane: untouched, no crash
  DequantizeBand32f(empty, 0, 1, 1);
}

TEST(Reconstruction, SixteenBitPathSaturatesAndRestoresSignMagnitude) {
  LevelSet set;
  const Rect r{0, 0, 3, 1};
  FillLL(set, r, {40000, -40000, 2500});
  std::int16_t out[3];
  ComponentCoefficients c;
  c.set = &set;
  c.rect = r;
  c.transform = 1;
  ReconstructTile16(c, out, sizeof out);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  EXPECT_EQ(out[2], 2500);
  // Twice gives the same: the coefficients are back in sign-magnitude.
  ReconstructTile16(c, out, sizeof out);
  EXPECT_EQ(out[1], -32768);
  EXPECT_EQ(static_cast<std::uint32_t*>(set.ll.data)[1], SM(-40000));
  // 9/7 on 16 bits: the shift by 4 saturates instead of wrapping.
  QuantStyle q;
  q.style = kQuantExpounded;
  q.ll = {0, 8};
  c.transform = 0;
  c.quant = &q;
  c.precision = 7;
  ReconstructTile16(c, out, sizeof out);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  EXPECT_EQ(out[2], 32767);
}

}  // namespace

namespace {

TEST(Dequantisation, NarrowingSaturatesForEveryStep) {
  using namespace Codec;
  SubbandPlane src, dst;
  src.AllocPlaneOrThrow(4, 1, 4);
  dst.AllocPlaneOrThrow(4, 1, 2);
  auto* s = static_cast<std::uint32_t*>(src.data);
  auto* d = static_cast<std::int16_t*>(dst.data);
  s[0] = 0x7FFFFFFFu;  // the largest magnitude
  s[1] = 0xFFFFFFFFu;  // its negative
  s[2] = 3;
  s[3] = 0x80000000u;  // minus zero
  // Steps from 2^-20 to 2^31: large products saturate, none wraps.
  for (std::uint32_t e = 0; e < 32; ++e) {
    DequantizeNarrow16(src, dst, 2047, e, 20);
    EXPECT_EQ(d[0], e <= 30 ? 32767 : d[0]) << e;
    EXPECT_GE(d[0], 0) << e;
    EXPECT_LE(d[1], 0) << e;
    EXPECT_EQ(d[3], 0) << e;
  }
  // Unit step (exponent = Rb): 3 -> 48 (4 fractional bits); with the midpoint 56.
  DequantizeNarrow16(src, dst, 0, 9, 9);
  EXPECT_EQ(d[2], 48);
  DequantizeNarrow16(src, dst, 0, 9, 9, Midpoint::kAll);
  EXPECT_EQ(d[2], 56);
  DequantizeNarrow16(src, dst, 0, 9, 9, Midpoint::kMagnitudeOne);
  EXPECT_EQ(d[2], 48);
}

TEST(Dequantisation, MidpointConversionOfARectangle) {
  using namespace Codec;
  SubbandPlane src, dst;
  src.AllocPlaneOrThrow(3, 2, 4);
  dst.AllocPlaneOrThrow(3, 2, 4);
  auto* s = static_cast<std::uint32_t*>(src.data);
  const std::uint32_t values[3] = {0, 1, 0x80000005u};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(src.data) + y * src.step)[x] = values[x];
  ConvertPlaneSM32s32f(src, dst);
  auto row = [&](int y) {
    return reinterpret_cast<float*>(static_cast<std::uint8_t*>(dst.data) + y * dst.step);
  };
  EXPECT_EQ(row(0)[2], -5.0f);
  ConvertRectSM32s32fMidpoint(src, dst, Midpoint::kAll, 1, 1, 5, 5);  // clipped to the plane
  EXPECT_EQ(row(0)[1], 1.0f);
  EXPECT_EQ(row(1)[0], 0.0f);
  EXPECT_EQ(row(1)[1], 1.5f);
  EXPECT_EQ(row(1)[2], -5.5f);
  ConvertRectSM32s32fMidpoint(src, dst, Midpoint::kMagnitudeOne, 0, 0, 3, 1);
  EXPECT_EQ(row(0)[0], 0.0f);
  EXPECT_EQ(row(0)[1], 1.5f);
  EXPECT_EQ(row(0)[2], -5.0f);
  // With the dequantisation step: the product a separate multiplication gives.
  const float step = 0.3f;
  ConvertRectSM32s32fMidpoint(src, dst, Midpoint::kAll, 0, 0, 3, 1, step);
  EXPECT_EQ(row(0)[1], 1.5f * step);
  EXPECT_EQ(row(0)[2], -5.5f * step);
  (void)s;
}

// The one-pass float sample stage against the separate row passes it
// replaces, on values that round, tie, overflow, are infinite or not a
// number, for unsigned 12-bit, signed 8-bit and unsigned 23-bit components,
// at lengths that leave a tail after the vector lanes.
TEST(SampleStage, OnePassEqualsTheSeparatePasses) {
  const float special[] = {0.5f,
                           1.5f,
                           -2.5f,
                           2047.5f,
                           -1e9f,
                           3e9f,
                           -3e9f,
                           2147483520.0f,
                           2147483648.0f,
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN()};
  struct Bounds {
    std::int32_t offset, low, high;
  };
  const Bounds bounds[] = {{2048, 0, 4095}, {0, -128, 127}, {1 << 22, 0, (1 << 23) - 1}};
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> value(-5000.0f, 5000.0f);
  for (const Bounds& b : bounds)
    for (int len : {0, 1, 3, 4, 7, 8, 13, 37}) {
      std::vector<float> in[3];
      for (auto& v : in) {
        v.resize(static_cast<std::size_t>(len));
        for (int i = 0; i < len; ++i)
          v[static_cast<std::size_t>(i)] =
              (rng() % 3 == 0) ? special[rng() % std::size(special)] : value(rng);
      }
      std::vector<float> sep[3] = {in[0], in[1], in[2]}, one[3] = {in[0], in[1], in[2]};
      if (len > 0) {
        RowInvICT32f(sep[0].data(), sep[1].data(), sep[2].data(), len);
        for (auto& v : sep) {
          RowConvert32f32s(v.data(), len);
          auto* r = reinterpret_cast<std::int32_t*>(v.data());
          if (b.offset) RowAddC32s(r, b.offset, len);
          RowClamp32s(r, b.low, b.high, len);
        }
      }
      const std::int32_t offsets[3] = {b.offset, b.offset, b.offset}, lows[3] = {b.low, b.low, b.low},
                         highs[3] = {b.high, b.high, b.high};
      RowInvICTToSamples32(one[0].data(), one[1].data(), one[2].data(), len, offsets, lows, highs);
      for (int c = 0; c < 3; ++c)
        ASSERT_TRUE(len == 0 ||
                    std::memcmp(sep[c].data(), one[c].data(), static_cast<std::size_t>(len) * 4) == 0)
            << "component " << c << " length " << len << " high " << b.high;
    }
}

}  // namespace

namespace {

// Irreversible coding over `levels` levels with 4 x 4 code-blocks, derived
// quantisation.
void Irreversible4x4(CodingStyle& style, QuantStyle& quant, std::uint32_t levels) {
  style.transform = 0;
  style.levels = levels;
  style.codeBlockWidthExp = style.codeBlockHeightExp = 2;
  style.precincts.Reset(levels + 1);
  for (std::uint32_t i = 0; i <= levels; ++i) style.precincts[i] = {15, 15};
  quant.style = kQuantDerived;
  quant.base = {1234, 13};
  quant.guardBits = 2;
}

// One irreversible tile-component over `levels` levels with 4 x 4
// code-blocks bound to its planes, which hold random coefficients.
struct BlockComponent {
  CodingStyle style;
  QuantStyle quant;
  LevelSet set;
  TileComponent tc;
  BlockComponent(const Rect& r, std::uint32_t levels, std::mt19937& rng, bool clearLate = false) {
    Irreversible4x4(style, quant, levels);
    AllocLevelSet32(set, r, levels);
    BuildTileComponent(tc, r, style, quant, 12, 1, set, nullptr, clearLate);
    std::uniform_int_distribution<std::int32_t> d(-3000, 3000);
    auto fill = [&](SubbandPlane& p) {
      for (std::uint32_t y = 0; y < p.height; ++y)
        for (std::uint32_t x = 0; x < p.width; ++x)
          reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(p.data) + y * p.step)[x] = SM(d(rng));
    };
    fill(set.ll);
    for (std::uint32_t i = 0; i < levels; ++i)
      for (std::uint32_t b = 0; b < 3; ++b) fill(set.level[i].Band(b));
  }
  ComponentCoefficients Coefficients(const Rect& r) {
    ComponentCoefficients c;
    c.set = &set;
    c.rect = r;
    c.transform = 0;
    c.quant = &quant;
    c.precision = 11;
    c.blocks = &tc;
    return c;
  }
};

}  // namespace

// Three components synthesised together, row triples taken from the ring as
// they become final, give the samples of three separate syntheses followed
// by the sample stage, for every phase, small heights and several levels.
TEST(SampleStage, ComponentsTogetherEqualComponentsApart) {
  std::mt19937 rng(7);
  const std::int32_t offsets[3] = {2048, 2048, 2048}, lows[3] = {0, 0, 0}, highs[3] = {4095, 4095, 4095};
  for (const Rect r : {Rect{0, 0, 37, 29}, Rect{3, 5, 40, 1}, Rect{1, 0, 9, 2}, Rect{0, 1, 17, 7},
                       Rect{5, 3, 64, 9}, Rect{2, 2, 33, 70}})
    for (std::uint32_t levels = 1; levels <= 3; ++levels) {
      BlockComponent comps[3] = {{r, levels, rng}, {r, levels, rng}, {r, levels, rng}};
      ComponentCoefficients cc[3];
      for (int c = 0; c < 3; ++c) cc[c] = comps[c].Coefficients(r);
      // Apart: each into its own float plane, then the sample stage per row.
      std::vector<float> apart[3];
      for (int c = 0; c < 3; ++c) {
        apart[c].assign(std::size_t{r.width} * r.height, 0.0f);
        ReconstructTile32(cc[c], apart[c].data(), static_cast<std::int32_t>(r.width * 4));
      }
      for (std::uint32_t y = 0; y < r.height; ++y)
        RowInvICTToSamples32(apart[0].data() + y * r.width, apart[1].data() + y * r.width,
                             apart[2].data() + y * r.width, static_cast<int>(r.width), offsets, lows, highs);
      // Together.
      struct Collect final : FloatRowSink {
        std::vector<std::int32_t> out[3];
        std::vector<std::uint32_t> order;
        const std::int32_t *off, *lo, *hi;
        void Rows(std::uint32_t y, float* const rows[3], std::uint32_t width) override {
          order.push_back(y);
          void* o[3];
          for (int c = 0; c < 3; ++c) o[c] = out[c].data() + std::size_t{y} * width;
          RowInvICTToSamples32(rows, o, static_cast<int>(width), off, lo, hi);
        }
      } sink;
      sink.off = offsets;
      sink.lo = lows;
      sink.hi = highs;
      for (auto& o : sink.out) o.assign(std::size_t{r.width} * r.height, -1);
      ASSERT_TRUE(ReconstructTiles32Together(cc, sink));
      ASSERT_EQ(sink.order.size(), r.height);
      for (std::uint32_t y = 0; y < r.height; ++y) EXPECT_EQ(sink.order[y], y);
      for (int c = 0; c < 3; ++c) {
        std::vector<std::int32_t> want(apart[c].size());
        std::memcpy(want.data(), apart[c].data(), want.size() * 4);
        EXPECT_EQ(sink.out[c], want) << "rect " << r.x << "," << r.y << " " << r.width << "x" << r.height
                                     << " levels " << levels << " component " << c;
      }
    }
}

// Code-blocks whose clearing is still owed stand for zeros whatever their
// rectangles hold: every reconstruction path gives what it gives with those
// rectangles cleared.
TEST(Reconstruction, OwedCodeBlocksReadAsZeros) {
  for (const Rect r : {Rect{0, 0, 37, 29}, Rect{3, 5, 40, 9}})
    for (std::uint32_t levels = 1; levels <= 2; ++levels) {
      std::mt19937 rngA(11), rngB(11);
      BlockComponent a(r, levels, rngA), b(r, levels, rngB, true);
      // Same coefficients; every third block of b stays owed (its rectangle
      // keeps its random words), the others are settled with their words,
      // and a has zeros where b's blocks are owed.
      std::vector<CodeBlock*> blocksA;
      a.tc.ForEachCodeBlock([&](CodeBlock& cb) { blocksA.push_back(&cb); });
      std::size_t i = 0, owed = 0;
      b.tc.ForEachCodeBlock([&](CodeBlock& cb) {
        const CodeBlockParams& p = cb.Params();
        if (i % 3 == 0) {
          blocksA[i]->ZeroDestination();
          ++owed;
        } else {
          std::vector<std::uint32_t> keep(std::size_t{p.width} * p.height);
          auto row = [&](std::uint32_t y) {
            return reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(p.destination) +
                                                    y * p.step);
          };
          for (std::uint32_t y = 0; y < p.height; ++y)
            std::copy_n(row(y), p.width, keep.begin() + y * p.width);
          cb.ClearIfOwed();
          for (std::uint32_t y = 0; y < p.height; ++y)
            std::copy_n(keep.begin() + y * p.width, p.width, row(y));
        }
        ++i;
      });
      ASSERT_EQ(i, blocksA.size());
      ASSERT_GT(owed, 0u);
      const std::size_t n = std::size_t{r.width} * r.height;
      // Irreversible, 32-bit floats (rows made from the code-blocks).
      std::vector<float> fa(n), fb(n);
      ReconstructTile32(a.Coefficients(r), fa.data(), static_cast<std::int32_t>(r.width * 4));
      ReconstructTile32(b.Coefficients(r), fb.data(), static_cast<std::int32_t>(r.width * 4));
      EXPECT_EQ(std::memcmp(fa.data(), fb.data(), n * 4), 0) << "9/7, levels " << levels;
      // Irreversible, 16-bit.
      std::vector<std::int16_t> sa(n), sb(n);
      ReconstructTile16(a.Coefficients(r), sa.data(), static_cast<std::int32_t>(r.width * 2));
      ReconstructTile16(b.Coefficients(r), sb.data(), static_cast<std::int32_t>(r.width * 2));
      EXPECT_EQ(sa, sb) << "16-bit, levels " << levels;
      // Reversible, 32-bit integers.
      ComponentCoefficients ca = a.Coefficients(r), cb = b.Coefficients(r);
      ca.transform = cb.transform = 1;
      std::vector<std::int32_t> ia(n), ib(n);
      ReconstructTile32(ca, ia.data(), static_cast<std::int32_t>(r.width * 4));
      ReconstructTile32(cb, ib.data(), static_cast<std::int32_t>(r.width * 4));
      EXPECT_EQ(ia, ib) << "5/3, levels " << levels;
    }
}

namespace {

// Three irreversible tile-components of one rectangle with 4 x 4 code-blocks
// and random coefficients, in planes of their own or laid out in a caller's
// planes; with `owe`, every third code-block stays owed.
struct ThreeComponents {
  CodingStyle style;
  QuantStyle quant;
  const QuantStyle* quantPtr[3] = {&quant, &quant, &quant};
  std::uint32_t transforms[3] = {0, 0, 0};
  LevelSet sets[3];
  TileComponent tcs[3];
  ThreeComponents(const Rect& r, std::uint32_t levels, bool owe, ImageBuffer* lender) {
    Irreversible4x4(style, quant, levels);
    std::mt19937 rng(levels + r.width);
    std::uniform_int_distribution<std::int32_t> d(-3000, 3000);
    for (std::uint32_t c = 0; c < 3; ++c) {
      if (lender)
        PlaceLevelSet32(sets[c], r, levels, static_cast<std::uint8_t*>(lender->planePointers[c]),
                        static_cast<std::int32_t>(lender->layout.rowSteps[c]));
      else
        AllocLevelSet32(sets[c], r, levels);
      BuildTileComponent(tcs[c], r, style, quant, 12, 1, sets[c], nullptr, true);
      std::uint32_t i = 0;
      tcs[c].ForEachCodeBlock([&](CodeBlock& cb) {
        const CodeBlockParams& p = cb.Params();
        const bool owed = owe && i++ % 3 == 0;
        if (!owed) cb.ClearIfOwed();
        for (std::uint32_t y = 0; y < p.height; ++y)
          for (std::uint32_t x = 0; x < p.width; ++x) {
            const std::uint32_t v = SM(d(rng));
            // An owed block keeps what its plane held: zeros here, anything
            // in a lent plane.
            if (!owed || !lender)
              reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(p.destination) +
                                               y * p.step)[x] = owed ? 0 : v;
          }
      });
    }
  }
  TileOutputInput Input(const Rect& r, bool withBlocks, bool lent) {
    return {r, sets, transforms, quantPtr, true, withBlocks ? tcs : nullptr, lent};
  }
};

}  // namespace

// Coefficients laid out in the caller's planes give the samples they give
// in planes of their own, whatever the planes held: synthesised there
// together row by row, or moved out first for the component-by-component
// path (with no code-blocks to tell owed rectangles by), or moved out with
// their code-blocks bound to the new planes (the caller's planes are then
// scribbled over before the output reads anything).
TEST(TileOutput, CoefficientsInTheCallersPlanesGiveTheSameSamples) {
  enum Mode { kTogether, kMovedOut, kMovedWithBlocks };
  for (const Rect r :
       {Rect{0, 0, 37, 29}, Rect{3, 5, 40, 1}, Rect{1, 0, 9, 2}, Rect{5, 3, 64, 9}, Rect{2, 1, 33, 70}})
    for (std::uint32_t levels : {1u, 3u})
      for (Mode mode : {kTogether, kMovedOut, kMovedWithBlocks}) {
        CodestreamHeader h;
        MakeHeader(h, 3, r.width, r.height, 11, r.x, r.y);
        Caller own(h, kImageData32s), lent(h, kImageData32s);
        auto scribble = [&](int v) {
          for (std::uint32_t c = 0; c < 3; ++c)
            std::memset(lent.buf.planePointers[c], v, static_cast<std::size_t>(lent.buf.layout.PlaneSize(c)));
        };
        scribble(0xA5);
        const bool withBlocks = mode != kMovedOut;
        ThreeComponents a(r, levels, withBlocks, nullptr), b(r, levels, withBlocks, &lent.buf);
        Output(h, a.Input(r, true, false), own);
        if (mode == kMovedWithBlocks) {
          MoveOutOfLentPlanes(b.sets, b.tcs);
          scribble(0x3C);
          Output(h, b.Input(r, true, false), lent);
        } else {
          Output(h, b.Input(r, withBlocks, true), lent);
        }
        for (std::uint32_t c = 0; c < 3; ++c)
          for (std::uint32_t y = 0; y < r.height; ++y)
            for (std::uint32_t x = 0; x < r.width; ++x)
              ASSERT_EQ(lent.At<std::int32_t>(c, x, y), own.At<std::int32_t>(c, x, y))
                  << "rect " << r.x << "," << r.y << " " << r.width << "x" << r.height << " levels " << levels
                  << " mode " << mode << " component " << c << " at " << x << "," << y;
      }
}
