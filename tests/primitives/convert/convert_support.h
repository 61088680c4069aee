// Helpers of the conversion and shift tests: caller MXCSR settings, guarded
// buffers at chosen byte offsets.
#pragma once

#include <xmmintrin.h>

#include <cstdint>
#include <cstring>
#include <vector>

// MXCSR values a caller may leave: rounding modes, DAZ, FTZ, raised flags and
// an unmasked invalid-operation exception.
struct CallerSetting {
  std::uint32_t mxcsr;
  const char* name;
};
inline constexpr CallerSetting kCallerSettings[] = {{0x1f80, "default"},
                                                    {0x3f80, "round down"},
                                                    {0x5f80, "round up"},
                                                    {0x7f80, "round toward zero"},
                                                    {0x1fc0, "denormals are zero"},
                                                    {0x9f80, "flush to zero"},
                                                    {0xffc0, "toward zero, DAZ, FTZ"},
                                                    {0x1fbf, "every flag raised"},
                                                    {0x1f00, "invalid unmasked"},
                                                    {0x5fff, "round up, DAZ, all flags"}};

// Runs f with the thread's MXCSR set to `mxcsr` and returns the MXCSR that f
// left; the test's own setting is back afterwards.
template <class F>
std::uint32_t runUnder(std::uint32_t mxcsr, F f) {
  const std::uint32_t saved = _mm_getcsr();
  _mm_setcsr(mxcsr);
  f();
  const std::uint32_t after = _mm_getcsr();
  _mm_setcsr(saved);
  return after;
}

// A byte buffer with `guard` bytes of 0xa5 around `bytes` bytes at a byte
// offset from a 64-byte boundary.
class Guarded {
 public:
  Guarded(std::size_t bytes, std::size_t offset) : bytes_(bytes), store_(bytes + offset + 256, 0xa5) {
    auto base = reinterpret_cast<std::uintptr_t>(store_.data());
    at_ = static_cast<std::size_t>(((base + 63) & ~std::uintptr_t{63}) - base) + 64 + offset;
  }
  template <class T>
  T* as() {
    return reinterpret_cast<T*>(store_.data() + at_);
  }
  void fill(const void* src) { std::memcpy(store_.data() + at_, src, bytes_); }
  // True when every byte outside the window is still the guard value.
  bool guardsIntact() const {
    for (std::size_t i = 0; i < store_.size(); ++i)
      if ((i < at_ || i >= at_ + bytes_) && store_[i] != 0xa5) return false;
    return true;
  }
  std::vector<unsigned char> window() const {
    return std::vector<unsigned char>(store_.begin() + at_, store_.begin() + at_ + bytes_);
  }

 private:
  std::size_t bytes_, at_ = 0;
  std::vector<unsigned char> store_;
};
