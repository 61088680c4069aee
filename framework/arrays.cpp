#include "framework/arrays.h"

std::int32_t TArrayGrowthPolicy::NewCapacity(std::size_t elementSize, std::int32_t count) {
  if (count == INT32_MAX) return INT32_MAX;
  if (elementSize >= 100) return count + 1;
  float factor;
  if (count >= 10000) {
    factor = 1.05f;
  } else if (count >= 1000) {
    factor = 1.15f;
  } else if (count >= 100) {
    factor = 1.25f;
  } else if (count >= 10) {
    factor = 1.5f;
  } else if (count >= 1) {
    return count + 2;
  } else {
    return count + 1 > 1 ? count + 1 : 1;
  }
  float grown = static_cast<float>(count) * factor;
  // 2147483648.0f is the first float at or above 2^31.
  if (grown >= 2147483648.0f) return INT32_MAX;
  return static_cast<std::int32_t>(grown);
}
