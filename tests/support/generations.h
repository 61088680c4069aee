// Runs a test once per processor generation 1..6 and compares with px.
//
//   class MyPrimTest : public GenerationTest {};
//   TEST_P(MyPrimTest, MatchesPx) {
//     ... call the px build directly, then the public entry (which now runs
//     the forced generation), or pick builds from a table with build(...) ...
//   }
//   INSTANTIATE_GENERATIONS(MyPrimTest);
//
// A generation this processor cannot run is skipped with a message.  The
// generation is forced through the core's test hook and set back to px after
// each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "primitives/core/test_hooks.h"

inline const char* generationName(std::int32_t g) {
  static const char* const names[] = {"px", "sse2", "ssse3", "movbe", "sse41", "avx", "avx2"};
  return g >= 0 && g < 7 ? names[g] : "?";
}

class GenerationTest : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam()))
      GTEST_SKIP() << "this processor cannot run the " << generationName(GetParam()) << " builds";
    ASSERT_EQ(primTestForceGeneration(GetParam()), 0);
  }
  void TearDown() override { primTestForceGeneration(0); }
  std::int32_t generation() const { return GetParam(); }
};

#define INSTANTIATE_GENERATIONS(fixture)                                             \
  INSTANTIATE_TEST_SUITE_P(AllBuilds, fixture, ::testing::Range<std::int32_t>(1, 7), \
                           [](const ::testing::TestParamInfo<std::int32_t>& info) {  \
                             return std::string(generationName(info.param));         \
                           })
