// The scalar scale-factor rule against an independent 128-bit reference.
#include "primitives/arith/scale_factor.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "primitives/core/prim_types.h"
#include "tests/primitives/arith/sfs_reference.h"

namespace sfs = prim::generic::sfs;

namespace {

// Every scale factor that selects a different case or threshold, and the
// extremes of the argument.
std::vector<std::int32_t> factors(int lo, int hi) {
  std::vector<std::int32_t> f;
  for (int s = lo; s <= hi; ++s) f.push_back(s);
  for (std::int32_t s : {INT_MIN, INT_MIN + 1, -100000, -64, -63, 63, 64, 100000, INT_MAX - 1, INT_MAX})
    f.push_back(s);
  return f;
}

TEST(ScaleFactorRule, Every16BitIntermediate) {
  // -65536 .. 65535 covers the sums and differences of two 16-bit elements.
  for (std::int32_t sf : factors(-20, 20)) {
    for (std::int64_t r = -65536; r <= 65535; ++r) {
      const Prim16s want = sfsref::apply<Prim16s>(r, sf);
      const Prim16s got = sfs::apply<Prim16s>(r, sf);
      if (got != want) {
        ADD_FAILURE() << "r=" << r << " sf=" << sf << " got " << got << " want " << want;
        return;
      }
    }
  }
}

TEST(ScaleFactorRule, ImageProductRange) {
  // The 16-bit image multiply's products reach -32768 * 32767 .. 2^30.
  std::mt19937_64 rng(7);
  std::vector<std::int64_t> rs = {-32768LL * 32767, 1LL << 30, (1LL << 30) - 1, -(1LL << 29), 0, 1, -1};
  for (int i = 0; i < 4000; ++i)
    rs.push_back(static_cast<std::int64_t>(static_cast<std::int16_t>(rng())) *
                 static_cast<std::int16_t>(rng()));
  for (std::int32_t sf : factors(-16, 32))
    for (std::int64_t r : rs)
      ASSERT_EQ(sfs::apply<Prim16s>(r, sf), sfsref::apply<Prim16s>(r, sf)) << r << " " << sf;
}

// Intermediates of the 32-bit primitives around every power of two, the
// ties of every factor, the ends of the 33-bit range and random values.
std::vector<std::int64_t> boundary32() {
  std::vector<std::int64_t> rs;
  for (int k = 0; k <= 32; ++k) {
    const std::int64_t p = std::int64_t{1} << k;
    for (std::int64_t d : {-2, -1, 0, 1, 2}) {
      rs.push_back(p + d);
      rs.push_back(-p + d);
      rs.push_back(3 * p + d);  // odd multiples of a power of two: the ties
      rs.push_back(-3 * p + d);
    }
  }
  for (std::int64_t r : {-(1LL << 32), (1LL << 32) - 2, (1LL << 32) - 1, -((1LL << 32) - 1), (1LL << 31) - 1,
                         -(1LL << 31) - 1, 0LL})
    rs.push_back(r);
  std::mt19937_64 rng(11);
  for (int i = 0; i < 3000; ++i)
    rs.push_back(static_cast<std::int64_t>(static_cast<std::int32_t>(rng())) +
                 static_cast<std::int32_t>(rng()));
  std::vector<std::int64_t> kept;
  for (std::int64_t r : rs)
    if (r >= -(1LL << 32) && r <= (1LL << 32) - 1) kept.push_back(r);
  return kept;
}

TEST(ScaleFactorRule, Boundaries32Bit) {
  const auto rs = boundary32();
  for (std::int32_t sf : factors(-40, 40))
    for (std::int64_t r : rs)
      ASSERT_EQ(sfs::apply<Prim32s>(r, sf), sfsref::apply<Prim32s>(r, sf)) << r << " " << sf;
}

TEST(ScaleFactorRule, RoundsHalfToEvenAndSaturates) {
  // Ties go to the even neighbour on both sides of zero.
  EXPECT_EQ(sfs::scaleRounded(3, 1), 2);    // 1.5
  EXPECT_EQ(sfs::scaleRounded(5, 1), 2);    // 2.5
  EXPECT_EQ(sfs::scaleRounded(-1, 1), 0);   // -0.5
  EXPECT_EQ(sfs::scaleRounded(-3, 1), -2);  // -1.5
  EXPECT_EQ(sfs::scaleRounded(7, 1), 4);
  EXPECT_EQ(sfs::scaleRounded(6, 2), 2);
  EXPECT_EQ(sfs::scaleRounded(10, 2), 2);
  EXPECT_EQ(sfs::scaleRounded(-10, 2), -2);
  EXPECT_EQ(sfs::scaleRounded(7, 2), 2);
  EXPECT_EQ(sfs::saturate<Prim16s>(32768), 32767);
  EXPECT_EQ(sfs::saturate<Prim16s>(-32769), -32768);
  EXPECT_EQ(sfs::saturate<Prim32s>(1LL << 31), INT32_MAX);
  EXPECT_EQ(sfs::saturate<Prim32s>(-(1LL << 31) - 1), INT32_MIN);
  // The subtraction at factor 1 is the one addition-free case that leaves
  // the range before saturation.
  EXPECT_EQ(sfs::apply<Prim16s>(65535, 1), 32767);
  EXPECT_EQ(sfs::apply<Prim32s>((1LL << 32) - 1, 1), INT32_MAX);
  // Thresholds: beyond 16 / 32 every 16- / 32-bit intermediate gives 0; below
  // -15 / -30 the sign alone decides.
  EXPECT_EQ(sfs::apply<Prim16s>(65534, 16), 1);
  EXPECT_EQ(sfs::apply<Prim16s>(32768, 16), 0);
  EXPECT_EQ(sfs::apply<Prim16s>(-32769, 16), -1);
  EXPECT_EQ(sfs::apply<Prim16s>(65535, 17), 0);
  EXPECT_EQ(sfs::apply<Prim32s>((1LL << 32) - 2, 32), 1);
  EXPECT_EQ(sfs::apply<Prim32s>(1LL << 31, 32), 0);
  EXPECT_EQ(sfs::apply<Prim32s>(-(1LL << 32), 32), -1);
  EXPECT_EQ(sfs::apply<Prim32s>(-(1LL << 32), 33), 0);
  EXPECT_EQ(sfs::apply<Prim16s>(1, -15), 32767);
  EXPECT_EQ(sfs::apply<Prim16s>(-1, -16), -32768);
  EXPECT_EQ(sfs::apply<Prim32s>(1, -30), 1 << 30);
  EXPECT_EQ(sfs::apply<Prim32s>(2, -30), INT32_MAX);
  EXPECT_EQ(sfs::apply<Prim32s>(-2, -30), INT32_MIN);
  EXPECT_EQ(sfs::apply<Prim32s>(-3, -30), INT32_MIN);
  EXPECT_EQ(sfs::apply<Prim32s>(0, INT_MIN), 0);
  EXPECT_EQ(sfs::apply<Prim32s>(-5, INT_MIN), INT32_MIN);
  EXPECT_EQ(sfs::apply<Prim32s>(-(1LL << 32), INT_MAX), 0);
  // The image multiply's extremes.
  EXPECT_EQ(sfs::apply<Prim16s>(1LL << 30, 30), 1);
  EXPECT_EQ(sfs::apply<Prim16s>(1LL << 30, 31), 0);
  EXPECT_EQ(sfs::apply<Prim16s>(1LL << 30, 15), 32767);
  EXPECT_EQ(sfs::apply<Prim16s>(-1, -14), -16384);
  EXPECT_EQ(sfs::apply<Prim16s>(-1, -15), -32768);
}

TEST(ScaleFactorRule, ReferenceAgreesWithTheStatedExamples) {
  // Guards the reference itself with hand-worked values.
  EXPECT_EQ(sfsref::apply<Prim16s>(3, 1), 2);
  EXPECT_EQ(sfsref::apply<Prim16s>(1, 1), 0);
  EXPECT_EQ(sfsref::apply<Prim16s>(-3, 1), -2);
  EXPECT_EQ(sfsref::apply<Prim16s>(-6, 2), -2);
  EXPECT_EQ(sfsref::apply<Prim16s>(-65536, 16), -1);
  EXPECT_EQ(sfsref::apply<Prim16s>(-32768, 16), 0);
  EXPECT_EQ(sfsref::apply<Prim32s>((1LL << 31) + 1, 32), 1);
  EXPECT_EQ(sfsref::apply<Prim32s>(-(1LL << 31), 32), 0);
}

}  // namespace
