// Sweeps a threshold kernel over lengths and byte offsets 0..15 of each
// pointer (also offsets that break the element alignment), out of place and
// in place, with guard bytes around the output.  Every output element is
// checked against an expectation, and every offset must give the same bytes.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace threshold_sweep {

inline constexpr unsigned char kGuard = 0xA5;

// A 64-byte aligned scratch area with `offset` bytes in front of the data.
struct Area {
  std::vector<unsigned char> bytes;
  unsigned char* base;
  Area(std::size_t size) : bytes(size + 128, kGuard) {
    base = bytes.data() + ((64 - reinterpret_cast<std::uintptr_t>(bytes.data()) % 64) % 64);
  }
};

template <class E>
std::vector<E> read(const unsigned char* p, int n) {
  std::vector<E> v(n);
  std::memcpy(v.data(), p, n * sizeof(E));
  return v;
}

inline bool guardsIntact(const Area& a, const unsigned char* from, const unsigned char* to) {
  for (const unsigned char* p = a.bytes.data(); p < a.bytes.data() + a.bytes.size(); ++p)
    if ((p < from || p >= to) && *p != kGuard) return false;
  return true;
}

// check(in, out, i) returns true when out[i] is right for in[i]; `in` holds
// the n source elements.  run(src, dst, n) runs the kernel; with dst == src
// it must give the same elements in place.
template <class E, class Run, class Check>
void sweep(const std::vector<E>& pool, const std::vector<int>& lengths, Run run, Check check,
           bool outOfPlace = true) {
  for (int n : lengths) {
    ASSERT_LE(n, static_cast<int>(pool.size()));
    const std::size_t bytes = n * sizeof(E);
    const unsigned char* in = reinterpret_cast<const unsigned char*>(pool.data() + (pool.size() - n) / 2);
    std::vector<E> inVec = read<E>(in, n);
    std::vector<unsigned char> first;
    auto verify = [&](const Area& a, const unsigned char* out, const char* what, int so, int dof) {
      ASSERT_TRUE(guardsIntact(a, out, out + bytes))
          << what << ": write outside the vector, len " << n << " offsets " << so << "/" << dof;
      const std::vector<E> got = read<E>(out, n);
      for (int i = 0; i < n; ++i)
        ASSERT_TRUE(check(inVec, got, i))
            << what << ": element " << i << " of " << n << ", offsets " << so << "/" << dof;
      if (first.empty()) first.assign(out, out + bytes);
      ASSERT_EQ(0, std::memcmp(first.data(), out, bytes))
          << what << ": result depends on the offsets, len " << n << " offsets " << so << "/" << dof;
    };
    for (int so = 0; so < 16 && outOfPlace; ++so) {
      for (int dof = 0; dof < 16; ++dof) {
        Area src(bytes + 16), dst(bytes + 16);
        std::memcpy(src.base + so, in, bytes);
        run(reinterpret_cast<const E*>(src.base + so), reinterpret_cast<E*>(dst.base + dof), n);
        ASSERT_EQ(0, std::memcmp(src.base + so, in, bytes)) << "source changed";
        verify(dst, dst.base + dof, "out of place", so, dof);
      }
    }
    for (int off = 0; off < 16; ++off) {
      Area a(bytes + 16);
      std::memcpy(a.base + off, in, bytes);
      E* p = reinterpret_cast<E*>(a.base + off);
      run(p, p, n);
      verify(a, a.base + off, "in place", off, off);
    }
  }
}

// Lengths around the head (up to 3 elements), the body blocks and the tails.
inline std::vector<int> lengths() {
  std::vector<int> v;
  for (int n = 1; n <= 27; ++n) v.push_back(n);
  for (int n : {31, 32, 33, 40, 63, 64, 65, 100}) v.push_back(n);
  return v;
}

// A copy of `data` on a read-only page, 64-byte aligned: a kernel that stores
// into it faults, so a call that must leave memory unwritten can be checked.
class ReadOnlyCopy {
 public:
  ReadOnlyCopy(const void* data, std::size_t n) : size_(4096 * ((n + 4095) / 4096)) {
    void* m = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    map_ = static_cast<unsigned char*>(m);
    std::memcpy(map_, data, n);
    mprotect(map_, size_, PROT_READ);
  }
  ~ReadOnlyCopy() { munmap(map_, size_); }
  template <class E>
  E* as() const {
    return reinterpret_cast<E*>(map_);
  }

 private:
  std::size_t size_;
  unsigned char* map_;
};

template <class T>
bool sameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

}  // namespace threshold_sweep
