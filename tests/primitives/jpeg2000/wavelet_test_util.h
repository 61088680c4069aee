// Buffers and random data shared by the wavelet and component-transform tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace wavelet_test {

// Rows of one image in one buffer: `height` rows of `step` samples; row r
// starts at sample `origin + r * step`.  The rest of the buffer is filled
// with a sentinel, so that writes outside the rows show.
template <class T>
struct Image {
  std::vector<T> buf;
  int origin = 0;
  int step = 0;  // in samples
  int height = 0;

  Image(int step_, int height_, int origin_, T fill) : origin(origin_), step(step_), height(height_) {
    buf.assign(static_cast<size_t>(step) * height + origin + 64, fill);
  }
  T* row(int r) { return buf.data() + origin + static_cast<size_t>(r) * step; }
  const T* row(int r) const { return buf.data() + origin + static_cast<size_t>(r) * step; }
  int stepBytes() const { return step * static_cast<int>(sizeof(T)); }
};

inline std::mt19937& rng() {
  static std::mt19937 r(20261207);
  return r;
}

template <class T>
void fillUniform(std::vector<T>& v, long long lo, long long hi) {
  std::uniform_int_distribution<long long> d(lo, hi);
  for (auto& x : v) x = static_cast<T>(d(rng()));
}

inline void fillUniformF(std::vector<float>& v, float lo, float hi) {
  std::uniform_real_distribution<float> d(lo, hi);
  for (auto& x : v) x = d(rng());
}

// Bit pattern of a float, for exact comparisons that also hold for NaNs.
inline std::uint32_t bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
inline float fromBits(std::uint32_t u) {
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

template <class T>
::testing::AssertionResult sameSamples(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (size_t i = 0; i < a.size(); ++i) {
    bool same;
    if constexpr (std::is_same_v<T, float>)
      same = bits(a[i]) == bits(b[i]);
    else
      same = a[i] == b[i];
    if (!same)
      return ::testing::AssertionFailure()
             << "first difference at index " << i << ": " << +a[i] << " vs " << +b[i];
  }
  return ::testing::AssertionSuccess();
}

}  // namespace wavelet_test
