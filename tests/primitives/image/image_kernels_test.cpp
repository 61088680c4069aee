// The set module's row fills, masked and channel-copy kernels of every
// generation against plain models.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "primitives/image/image_builds.h"
#include "tests/support/generations.h"

namespace {

using Fill = void (*)(const Prim8u*, Prim8u*, int, int);
using Masked = void (*)(const Prim8u*, Prim8u*, int, const Prim8u*);

struct FillKernels {
  Fill f8, f16, f8c3, f32, f16c3, f16c4, f32c3, f32c4;
  Masked copy8, copy8c3, set8, set8c3;
};

#define KERNELS(g)                                                                                          \
  FillKernels {                                                                                             \
    g##_owniSetRow_8u, g##_owniSetRow_16s, g##_owniSetRow_8u_C3, g##_owniSetRow_32s, g##_owniSetRow_16s_C3, \
        g##_owniSetRow_16s_C4, g##_owniSetRow_32s_C3, g##_owniSetRow_32s_C4, g##_owniCopyRowMasked_8u,      \
        g##_owniCopyRowMasked_8u_C3, g##_owniSetRowMasked_8u, g##_owniSetRowMasked_8u_C3                    \
  }
const FillKernels kKernels[] = {KERNELS(sse2),  KERNELS(ssse3), KERNELS(ssse3),
                                KERNELS(sse41), KERNELS(avx),   KERNELS(avx2)};

class SetKernelTest : public GenerationTest {
 protected:
  const FillKernels& k() const { return kKernels[generation() - 1]; }
};

void checkFill(Fill fill, int P) {
  Prim8u pixel[16];
  for (int i = 0; i < P; ++i) pixel[i] = static_cast<Prim8u>(0x11 * (i + 1));
  Prim8u pattern[64];
  for (int i = 0; i < 64; ++i) pattern[i] = pixel[i % P];
  for (int pixels = 1; pixels <= 70; ++pixels) {
    for (int offset = 0; offset < 16; ++offset) {
      for (int nt = 0; nt < 2; ++nt) {
        std::vector<Prim8u> buf(pixels * P + 64, 0xEE);
        fill(pattern, buf.data() + 16 + offset, pixels * P, nt);
        for (size_t i = 0; i < buf.size(); ++i) {
          const long rel = static_cast<long>(i) - 16 - offset;
          const Prim8u want = rel >= 0 && rel < pixels * P ? pixel[rel % P] : 0xEE;
          ASSERT_EQ(buf[i], want) << "pixel size " << P << " pixels " << pixels << " offset " << offset;
        }
      }
    }
  }
}

TEST_P(SetKernelTest, FillsWriteExactlyTheRun) {
  checkFill(k().f8, 1);
  checkFill(k().f16, 2);
  checkFill(k().f8c3, 3);
  checkFill(k().f32, 4);
  checkFill(k().f16c3, 6);
  checkFill(k().f16c4, 8);
  checkFill(k().f32c3, 12);
  checkFill(k().f32c4, 16);
}

void checkMasked(Masked fn, int P, bool copy) {
  std::mt19937 rng(P);
  for (int pixels = 1; pixels < 40; ++pixels) {
    std::vector<Prim8u> src(pixels * P), dst(pixels * P), mask(pixels);
    for (auto& b : src) b = static_cast<Prim8u>(rng());
    for (auto& b : dst) b = static_cast<Prim8u>(rng());
    for (auto& m : mask) m = rng() % 3 ? static_cast<Prim8u>(rng() | 1) : 0;
    std::vector<Prim8u> want = dst;
    for (int i = 0; i < pixels; ++i)
      if (mask[i]) std::memcpy(want.data() + i * P, copy ? src.data() + i * P : src.data(), P);
    fn(src.data(), dst.data(), pixels, mask.data());
    ASSERT_EQ(dst, want) << "pixel size " << P;
  }
}

TEST_P(SetKernelTest, MaskedKernelsChangeOnlyMaskedPixels) {
  checkMasked(k().copy8, 1, true);
  checkMasked(k().copy8c3, 3, true);
  checkMasked(k().set8, 1, false);
  checkMasked(k().set8c3, 3, false);
  if (generation() == 1) {
    checkMasked(sse2_owniCopyRowMasked_16s, 2, true);
    checkMasked(sse2_owniCopyRowMasked_16s_C3, 6, true);
    checkMasked(sse2_owniSetRowMasked_16s, 2, false);
    checkMasked(sse2_owniSetRowMasked_16s_C3, 6, false);
    checkMasked(sse2_owniCopyRowMasked_32s, 4, true);
    checkMasked(sse2_owniCopyRowMasked_32s_C3, 12, true);
    checkMasked(sse2_owniSetRowMasked_32s, 4, false);
    checkMasked(sse2_owniSetRowMasked_32s_C3, 12, false);
  }
}

INSTANTIATE_GENERATIONS(SetKernelTest);

// Each kernel runs where this processor can run its build.
TEST(ChannelCopies, MoveTheChosenChannels) {
  Prim8u c4[32], c1[8], out4[32], out1[8];
  for (int i = 0; i < 32; ++i) c4[i] = static_cast<Prim8u>(i), out4[i] = 0xAA;
  for (int i = 0; i < 8; ++i) c1[i] = static_cast<Prim8u>(100 + i);
  sse2_owniCopyRowC1C4_8u(c1, out4 + 1, 8);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(out4[i], i % 4 == 1 ? 100 + i / 4 : 0xAA);
  if (primTestGenerationSupported(primGenAvx2)) {
    avx2_owniCopyRowC4C1_8u(c4 + 2, out1, 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out1[i], 4 * i + 2);
  }
  if (primTestGenerationSupported(primGenSse41)) {
    for (int i = 0; i < 32; ++i) out4[i] = 0xAA;
    sse41_owniCopyRowAC4_8u(c4, out4, 32);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(out4[i], i % 4 == 3 ? 0xAA : i);
  }
  if (primTestGenerationSupported(primGenAvx)) {
    Prim16s s16[16], d16[16];
    for (int i = 0; i < 16; ++i) s16[i] = static_cast<Prim16s>(i), d16[i] = -1;
    avx_owniCopyRowAC4_16s(s16, d16, 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(d16[i], i % 4 == 3 ? -1 : i);
  }
}

}  // namespace
