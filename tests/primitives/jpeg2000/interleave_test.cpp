// The interleave of the two halves of a row.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "primitives/jpeg2000/wavelet.h"
#include "primitives/jpeg2000/wavelet_builds.h"
#include "tests/primitives/jpeg2000/wavelet_test_util.h"
#include "tests/support/generations.h"

using namespace wavelet_test;

namespace {

class InterleaveTest : public GenerationTest {};

// The px build and the forced generation's build against the definition, at
// lengths up to past two vectors and a long row, both parities and several
// alignments: the row exactly, nothing written after it.  The 32-bit words
// are random, NaN patterns among them, so floats move unchanged too.
template <class T, class Fn>
void checkInterleave(Fn pxBuild, Fn entry, long long lo, long long hi) {
  for (int nOdd : {0, 1, 3, 4, 7, 8, 9, 15, 16, 17, 33, 1001})
    for (int extra : {0, 1})
      for (int shift : {0, 1, 3}) {
        const int nEven = nOdd + extra, n = nEven + nOdd;
        std::vector<T> even(nEven + shift + 1), odd(nOdd + 1), want(n + shift + 8, T(0x5A5A));
        fillUniform(even, lo, hi);
        fillUniform(odd, lo, hi);
        for (int k = 0; k < nEven; ++k) want[shift + 2 * k] = even[shift + k];
        for (int k = 0; k < nOdd; ++k) want[shift + 2 * k + 1] = odd[1 + k];
        for (Fn fn : {pxBuild, entry}) {
          std::vector<T> dst(want.size(), T(0x5A5A));
          ASSERT_EQ(fn(even.data() + shift, nEven, odd.data() + 1, nOdd, dst.data() + shift), primResultOk);
          ASSERT_TRUE(sameSamples(dst, want)) << (fn == pxBuild ? "px" : "entry") << " odd " << nOdd
                                              << " even " << nEven << " shift " << shift;
        }
      }
}

TEST_P(InterleaveTest, HalvesGiveTheRow) {
  checkInterleave<Prim16s>(px_imgInterleaveHalves_16s, imgInterleaveHalves_16s, -32768, 32767);
  checkInterleave<Prim32s>(px_imgInterleaveHalves_32s, imgInterleaveHalves_32s, INT32_MIN, INT32_MAX);
}

TEST_P(InterleaveTest, ArgumentChecksComeFirstAndWriteNothing) {
  Prim16s e[2] = {1, 2}, o[2] = {3, 4}, d[4] = {7, 7, 7, 7};
  EXPECT_EQ(imgInterleaveHalves_16s(nullptr, 1, o, 1, d), primResultNullPointer);
  EXPECT_EQ(imgInterleaveHalves_16s(e, 1, nullptr, 1, d), primResultNullPointer);
  EXPECT_EQ(imgInterleaveHalves_16s(e, 1, o, 1, nullptr), primResultNullPointer);
  EXPECT_EQ(imgInterleaveHalves_16s(e, 0, o, 1, d), primResultBadSize);
  EXPECT_EQ(imgInterleaveHalves_16s(e, 2, o, 0, d), primResultBadSize);
  EXPECT_EQ(imgInterleaveHalves_16s(e, 0, o, -1, d), primResultBadSize);
  Prim32s e32[1] = {1}, o32[1] = {2}, d32[2] = {7, 7};
  EXPECT_EQ(imgInterleaveHalves_32s(e32, 1, nullptr, 0, d32), primResultNullPointer);
  EXPECT_EQ(imgInterleaveHalves_32s(e32, 1, o32, 2, d32), primResultBadSize);
  for (Prim16s v : d) EXPECT_EQ(v, 7);
  for (Prim32s v : d32) EXPECT_EQ(v, 7);
}

INSTANTIATE_GENERATIONS(InterleaveTest);

}  // namespace
