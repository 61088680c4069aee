// Caller image records: counted arrays, ranges, sampling, colour
// space record, header and plane layout.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "decoder/image_records.h"

using namespace Codec;

namespace {

void SetFactors(ImageSampling& s, std::initializer_list<SamplingPair> f) {
  ASSERT_EQ(s.ResetFactors(f.size()), 0);
  std::uint32_t c = 0;
  for (SamplingPair p : f) s.factors[c++] = p;
}

}  // namespace

TEST(CountedArrays, CountLivesInFrontOfTheElements) {
  auto* a = static_cast<std::uint32_t*>(AllocCountedArray(4, 5));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(CountedArraySize(a), 5u);
  std::uint32_t head;
  std::memcpy(&head, reinterpret_cast<std::uint8_t*>(a) - 32, 4);
  EXPECT_EQ(head, 5u);
  a[4] = 7;
  DeleteCountedArray(a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(CountedArraySize(nullptr), 0u);
  DeleteCountedArray(a);  // releasing twice is harmless

  std::uint8_t* bytes = nullptr;
  EXPECT_EQ(ResetCountedArray(bytes, 0, false), -1);
  EXPECT_EQ(bytes, nullptr);
  EXPECT_EQ(ResetCountedArray(bytes, 3, true), 0);
  EXPECT_EQ(bytes[2], 0);
  EXPECT_EQ(ResetCountedArray(bytes, 0, true), -1);  // releases the old array
  EXPECT_EQ(bytes, nullptr);

  // Counts beyond the 32-bit count word or sizes that overflow are refused.
  EXPECT_EQ(AllocCountedArray(1, std::size_t{1} << 32), nullptr);
  EXPECT_EQ(AllocCountedArray(std::size_t{1} << 62, 8), nullptr);
  std::int64_t** outer = nullptr;
  ASSERT_EQ(ResetCountedArray(outer, 2, true), 0);
  ASSERT_EQ(ResetCountedArray(outer[1], 4, false), 0);
  DeleteCountedArrayOfArrays(outer);
  EXPECT_EQ(outer, nullptr);
}

TEST(CountedArrays, DataTypeSizes) {
  const int want[] = {1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, -1};
  for (int t = 0; t < 12; ++t) EXPECT_EQ(DataTypeSize(t), want[t]) << t;
  EXPECT_EQ(DataTypeSize(-1), -1);
}

TEST(ComponentRanges, BitDepths) {
  ImageComponentDescr d;
  EXPECT_EQ(d.minimum, 0);
  EXPECT_EQ(d.maximum, 1);
  EXPECT_EQ(d.rangeDataType, 8);
  d.SetBitDepth(7, false);
  EXPECT_EQ(d.minimum, 0);
  EXPECT_EQ(d.maximum, 255);
  EXPECT_EQ(d.rangeDataType, 5);
  d.SetBitDepth(7, true);
  EXPECT_EQ(d.minimum, -128);
  EXPECT_EQ(d.maximum, 127);
  EXPECT_EQ(d.isSigned, 1);
  d.SetBitDepth(11, false);
  EXPECT_EQ(d.maximum, 4095);
  d.SetBitDepth(37, true);  // the deepest a codestream may declare
  EXPECT_EQ(d.minimum, -(std::int64_t{1} << 37));
  EXPECT_EQ(d.maximum, (std::int64_t{1} << 37) - 1);
  d.SetBitDepth(62, false);
  EXPECT_EQ(d.maximum, INT64_MAX);
  d.SetBitDepth(63, true);
  EXPECT_EQ(d.minimum, INT64_MIN);
  EXPECT_EQ(d.maximum, INT64_MAX);
  d.SetBitDepth(63, false);  // 2^64 gives 0 before the subtraction
  EXPECT_EQ(d.maximum, -1);
  d.SetBitDepth(200, true);
  EXPECT_EQ(d.minimum, 0);
  EXPECT_EQ(d.maximum, -1);
}

TEST(Sampling, GreatestCommonDivisorMatchesReference) {
  EXPECT_EQ(GreatestCommonDivisor(0, 6), 6u);
  EXPECT_EQ(GreatestCommonDivisor(6, 0), 6u);
  EXPECT_EQ(GreatestCommonDivisor(12, 18), 6u);
  EXPECT_EQ(GreatestCommonDivisor(7, 7), 7u);
  std::mt19937 rng(17);
  for (int i = 0; i < 2000; ++i) {
    const std::uint32_t a = rng() >> (rng() % 32), b = rng() >> (rng() % 32);
    EXPECT_EQ(GreatestCommonDivisor(a, b), std::gcd(a, b)) << a << " " << b;
  }
}

TEST(Sampling, Normalize) {
  ImageSampling s;
  s.rect = {3, 5, 9, 8};
  SetFactors(s, {{2, 2}, {4, 2}, {6, 4}});
  s.Normalize();
  EXPECT_EQ(s.factors[0].x, 1u);
  EXPECT_EQ(s.factors[0].y, 1u);
  EXPECT_EQ(s.factors[1].x, 2u);
  EXPECT_EQ(s.factors[1].y, 1u);
  EXPECT_EQ(s.factors[2].x, 3u);
  EXPECT_EQ(s.factors[2].y, 2u);
  // x0 = ceil(3/2) = 2, x1 = ceil(12/2) = 6; y0 = ceil(5/2) = 3, y1 = ceil(13/2) = 7.
  EXPECT_EQ(s.rect.x, 2u);
  EXPECT_EQ(s.rect.width, 4u);
  EXPECT_EQ(s.rect.y, 3u);
  EXPECT_EQ(s.rect.height, 4u);

  ImageSampling none;
  none.rect = {1, 2, 3, 4};
  none.Normalize();
  EXPECT_EQ(none.rect.width, 3u);

  ImageSampling zero;  // only zero factors: no division by zero
  zero.rect = {1, 2, 3, 4};
  SetFactors(zero, {{0, 0}});
  zero.Normalize();
  EXPECT_EQ(zero.rect.width, 3u);
}

TEST(Sampling, ChromaFormatsAndAssign) {
  ImageSampling s;
  SetFactors(s, {{5, 5}, {5, 5}});
  EXPECT_EQ(s.SetChromaFormat(1), -1);
  EXPECT_EQ(s.factors[0].x, 5u);
  EXPECT_EQ(s.SetChromaFormat(0), 0);
  EXPECT_EQ(s.factors[1].x, 1u);
  SetFactors(s, {{9, 9}, {9, 9}, {9, 9}, {9, 9}});
  EXPECT_EQ(s.SetChromaFormat(1), 0);
  EXPECT_EQ(s.factors[0].x, 2u);
  EXPECT_EQ(s.factors[0].y, 1u);
  EXPECT_EQ(s.factors[3].x, 2u);
  EXPECT_EQ(s.factors[1].x, 1u);
  EXPECT_EQ(s.SetChromaFormat(3), 0);
  EXPECT_EQ(s.factors[3].y, 2u);
  EXPECT_EQ(s.SetChromaFormat(4), -1);

  ImageSampling t;
  t.rect = {1, 1, 1, 1};
  s.rect = {7, 8, 9, 10};
  EXPECT_EQ(t.Assign(s), 0);
  EXPECT_EQ(t.count, 4u);
  EXPECT_EQ(t.factors[0].x, 2u);
  EXPECT_EQ(t.rect.height, 10u);
  EXPECT_EQ(t.Assign(t), 0);
  EXPECT_EQ(t.count, 4u);
}

TEST(ColourSpecAndHeader, AllocAndFree) {
  ImageColourSpec cs;
  ASSERT_EQ(cs.Alloc(3, 2, 256), 0);
  EXPECT_EQ(cs.channelCount, 3u);
  EXPECT_EQ(cs.paletteColumnCount, 2u);
  EXPECT_EQ(cs.paletteEntryCount, 256u);
  EXPECT_EQ(CountedArraySize(cs.palette), 2u);
  EXPECT_EQ(CountedArraySize(cs.palette[1]), 256u);
  cs.palette[1][255] = -5;
  EXPECT_EQ(cs.paletteRanges[1].maximum, 1);
  cs.Free();
  EXPECT_EQ(cs.palette, nullptr);
  EXPECT_EQ(cs.channelComponents, nullptr);
  EXPECT_EQ(cs.channelCount, 0u);
  cs.Free();

  ImageHeader h;
  EXPECT_EQ(h.SetComponentCount(3), 0);
  EXPECT_EQ(h.ComponentCount(), 3u);
  EXPECT_EQ(h.components[2].rangeDataType, 8);
  EXPECT_EQ(h.SetComponentCount(0), -1);
  EXPECT_EQ(h.components, nullptr);
}

TEST(Buffer, CinemaLayout) {
  ImageSampling s;
  s.rect = {0, 0, 2048, 1080};
  SetFactors(s, {{1, 1}, {1, 1}, {1, 1}});
  ImageBuffer b;
  ASSERT_EQ(b.Alloc(6, 0, s, 5, 1), 0);
  ASSERT_EQ(b.PlaneCount(), 3u);
  for (std::uint32_t p = 0; p < 3; ++p) {
    EXPECT_EQ(b.layout.sampleSteps[p], 4u);
    EXPECT_EQ(b.layout.rowSteps[p], 8192u);
    EXPECT_EQ(b.layout.PlaneSize(p), 8192u * 1080u);
    EXPECT_EQ(CountedArraySize(b.planes[p].owned), 8192u * 1080u);
    EXPECT_EQ(b.planePointers[p], b.planes[p].data);
    static_cast<std::uint8_t*>(b.planePointers[p])[8192u * 1080u - 1] = 1;
  }
  EXPECT_EQ(b.layout.sampling.count, 3u);
  b.Free();
  EXPECT_EQ(b.planes, nullptr);
  EXPECT_EQ(b.layout.rowSteps, nullptr);
  b.Free();
}

TEST(Buffer, RowStepsAndSubsampledPlanes) {
  ImageSampling s;
  s.rect = {3, 1, 1001, 7};
  SetFactors(s, {{1, 1}, {2, 2}});
  ImageBuffer b;
  ASSERT_EQ(b.Alloc(6, 0, s, 5, 1), 0);
  EXPECT_EQ(b.layout.rowSteps[0], 4032u);  // 1001 x 4 rounded up to 32
  // Component 1: x from ceil(3/2) = 2 to ceil(1004/2) = 502: 500 samples;
  // rows from ceil(1/2) = 1 to ceil(8/2) = 4: 3 rows.
  EXPECT_EQ(b.layout.rowSteps[1], 2016u);
  EXPECT_EQ(b.layout.PlaneSize(1), 2016u * 3);
  ImageBuffer c;
  ASSERT_EQ(c.Alloc(3, 0, s, 0, 0), 0);  // 16-bit, no alignment
  EXPECT_EQ(c.layout.rowSteps[0], 2002u);
  EXPECT_EQ(c.layout.sampleSteps[0], 2u);
}

TEST(Buffer, InterleavedLayout) {
  ImageSampling s;
  s.rect = {0, 0, 10, 4};
  SetFactors(s, {{1, 1}, {2, 1}, {2, 1}});
  ImageBuffer b;
  ASSERT_EQ(b.Alloc(3, 1, s, 2, 0), 0);
  ASSERT_EQ(b.PlaneCount(), 1u);
  // Block 4 x 1 (product of x factors 4 over the smallest 1): 4 + 2 + 2 samples.
  EXPECT_EQ(b.layout.sampleSteps[0], 16u);
  EXPECT_EQ(b.layout.rowSteps[0], 48u);  // ceil(10 / 4) = 3 blocks
  EXPECT_EQ(b.layout.PlaneSize(0), 48u * 4);
}

TEST(Buffer, FailuresAreFailures) {
  ImageSampling none;
  ImageBuffer b;
  EXPECT_EQ(b.Alloc(6, 0, none, 5, 1), -1);  // no components
  ImageSampling s;
  s.rect = {0, 0, 16, 16};
  SetFactors(s, {{1, 1}});
  EXPECT_EQ(b.Alloc(11, 0, s, 5, 1), -1);  // unknown data type
  EXPECT_EQ(b.Alloc(6, 0, s, 40, 1), -1);  // alignment beyond any step
  // Row step beyond 31 bits.
  s.rect = {0, 0, 0x7FFFFFFFu, 1};
  EXPECT_EQ(b.Alloc(8, 0, s, 5, 1), -1);
  // A plane beyond the 32-bit count: refused without allocating its bytes.
  s.rect = {0, 0, 65536, 65536};
  EXPECT_EQ(b.Alloc(6, 0, s, 5, 1), -1);
  ASSERT_EQ(b.PlaneCount(), 1u);
  EXPECT_EQ(b.planePointers[0], nullptr);
  EXPECT_EQ(b.planes[0].owned, nullptr);
  // Interleaved factors whose product leaves 32 bits.
  ImageSampling many;
  many.rect = {0, 0, 4, 4};
  ASSERT_EQ(many.ResetFactors(40), 0);
  for (std::uint32_t c = 0; c < 40; ++c) many.factors[c] = {2, 1};
  EXPECT_EQ(b.Alloc(6, 1, many, 5, 1), -1);
  // Interleaved with a zero factor.
  SetFactors(s, {{0, 1}});
  s.rect = {0, 0, 4, 4};
  EXPECT_EQ(b.Alloc(6, 1, s, 5, 1), -1);
  // The same record lays out again after failures.
  SetFactors(s, {{1, 1}});
  EXPECT_EQ(b.Alloc(6, 0, s, 5, 1), 0);
  EXPECT_EQ(b.layout.rowSteps[0], 32u);
}
