#include "framework/frame_rate.h"

#include <cmath>

namespace {
constexpr std::int32_t kWhole[9] = {24, 24, 25, 30, 30, 30, 50, 60, 60};
constexpr double kExact[9] = {23.976, 24.0, 25.0, 29.97, 29.97, 30.0, 50.0, 59.94, 60.0};
}  // namespace

std::int32_t FrameRateToIndex(double rate) {
  if (!std::isfinite(rate)) return -1;
  // The rate in thousandths, rounded half away from zero to a 32-bit integer.
  double scaled = rate * 1000.0;
  scaled = scaled >= 0.0 ? scaled + 0.5 : scaled - 0.5;
  if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) return -1;
  const std::int32_t n = static_cast<std::int32_t>(scaled);
  const double q = n * 0.001;
  const std::int32_t k = static_cast<std::int32_t>(q);
  if (q >= 23.0 && q < 24.0) return 0;
  if (k == 24) return 1;
  if (k == 25) return 2;
  if (q > 29.0 && q < 30.0) return 3;
  if (k == 30) return 5;
  if (k == 50) return 6;
  if (k == 59) return 7;
  if (k >= 60) return 8;
  return -1;
}

std::int32_t FrameRateIndexToInteger(std::int32_t index) {
  return index >= 0 && index < 9 ? kWhole[index] : 0;
}

double FrameRateIndexToDouble(std::int32_t index) { return index >= 0 && index < 9 ? kExact[index] : 0.0; }
