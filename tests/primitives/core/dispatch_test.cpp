#include <gtest/gtest.h>

#include <vector>

#include "primitives/core/vec_memory.h"
#include "tests/support/generations.h"

class VecMemoryTest : public GenerationTest {};

TEST_P(VecMemoryTest, CopyMatchesSource) {
  std::vector<Prim8u> src(1000), dst(1000, 0);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<Prim8u>(i * 7);
  ASSERT_EQ(vecCopy_8u(src.data(), dst.data(), 1000), primResultOk);
  EXPECT_EQ(src, dst);
}

INSTANTIATE_GENERATIONS(VecMemoryTest);
