// Length, alignment, guard-byte and in-place sweep shared by the kernel
// tests of this folder.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/primitives/convert/convert_support.h"

// run(src, dst, len) at every length of `lengths`, every destination byte
// offset below 16 and source offsets 0, 1 and 4, must leave want[0..len) in
// the destination and its guard bytes intact; with inPlace (same element
// size) also with the destination the source array itself.
template <class S, class D, class Run>
void checkWalks(const std::vector<S>& src, const std::vector<D>& want, const std::vector<int>& lengths,
                Run run, bool inPlace = false) {
  for (int len : lengths) {
    const std::size_t sb = std::size_t(len) * sizeof(S), db = std::size_t(len) * sizeof(D);
    for (std::size_t so : {0, 1, 4}) {
      for (std::size_t dof = 0; dof < 16; ++dof) {
        Guarded s(sb, so), d(db, dof);
        s.fill(src.data());
        run(s.template as<S>(), d.template as<D>(), len);
        ASSERT_TRUE(d.guardsIntact()) << "len " << len << " dst offset " << dof;
        ASSERT_EQ(0, std::memcmp(d.window().data(), want.data(), db))
            << "len " << len << " offsets " << so << "/" << dof;
      }
      if (!inPlace) continue;
      Guarded io(sb, so);
      io.fill(src.data());
      run(io.template as<S>(), io.template as<D>(), len);
      ASSERT_TRUE(io.guardsIntact()) << "in place, len " << len;
      ASSERT_EQ(0, std::memcmp(io.window().data(), want.data(), db)) << "in place, len " << len;
    }
  }
}

// 1..n and a few lengths around the 64- and 128-byte steps.
inline std::vector<int> sweepLengths(int n, std::initializer_list<int> more) {
  std::vector<int> v;
  for (int len = 1; len <= n; ++len) v.push_back(len);
  v.insert(v.end(), more);
  return v;
}
