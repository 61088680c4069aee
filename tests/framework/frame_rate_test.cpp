#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "framework/frame_rate.h"

namespace {

TEST(FrameRates, Bands) {
  struct Case {
    double rate;
    std::int32_t index;
  } cases[] = {
      {23.976, 0},  {23.0, 0},   {22.9995, 0}, {22.999, -1}, {23.9994, 0}, {23.9995, 1},
      {24.0, 1},    {24.999, 1}, {25.0, 2},    {25.9, 2},    {26.0, -1},   {29.0, -1},
      {29.0005, 3}, {29.97, 3},  {29.9994, 3}, {30.0, 5},    {30.999, 5},  {31.0, -1},
      {48.0, -1},   {50.0, 6},   {50.5, 6},    {51.0, -1},   {59.0, 7},    {59.94, 7},
      {60.0, 8},    {120.0, 8},  {1000.0, 8},  {0.0, -1},    {-24.0, -1},  {-0.0004, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameRateToIndex(c.rate), c.index) << c.rate;
}

TEST(FrameRates, UnclassifiableRates) {
  EXPECT_EQ(FrameRateToIndex(std::numeric_limits<double>::quiet_NaN()), -1);
  EXPECT_EQ(FrameRateToIndex(std::numeric_limits<double>::infinity()), -1);
  EXPECT_EQ(FrameRateToIndex(-std::numeric_limits<double>::infinity()), -1);
  EXPECT_EQ(FrameRateToIndex(2147483.0), 8);   // the largest that fits
  EXPECT_EQ(FrameRateToIndex(2147484.0), -1);  // thousandths beyond 32 bits
  EXPECT_EQ(FrameRateToIndex(1e300), -1);
}

TEST(FrameRates, TablesAreBounded) {
  const std::int32_t whole[9] = {24, 24, 25, 30, 30, 30, 50, 60, 60};
  const double exact[9] = {23.976, 24.0, 25.0, 29.97, 29.97, 30.0, 50.0, 59.94, 60.0};
  for (std::int32_t i = 0; i < 9; ++i) {
    EXPECT_EQ(FrameRateIndexToInteger(i), whole[i]);
    EXPECT_EQ(FrameRateIndexToDouble(i), exact[i]);
    // Every exact rate but the unused index 4 maps back to its own index.
    if (i != 4) {
      EXPECT_EQ(FrameRateToIndex(exact[i]), i);
    }
  }
  EXPECT_EQ(FrameRateIndexToInteger(-1), 0);
  EXPECT_EQ(FrameRateIndexToInteger(9), 0);
  EXPECT_EQ(FrameRateIndexToDouble(-1), 0.0);
  EXPECT_EQ(FrameRateIndexToDouble(1 << 30), 0.0);
}

}  // namespace
