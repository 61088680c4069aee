// The framework's string system and the primitives' build selection run for
// every in-process test of the converter.
#include <gtest/gtest.h>

#include "framework/exceptions.h"
#include "framework/tstring.h"
#include "primitives/core/cpu.h"

namespace {

class ConverterEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    primInitCpuDispatch();
    StartStringSystem();
    SetOutOfMemoryText();
  }
  void TearDown() override {
    ClearOutOfMemoryText();
    StopStringSystem();
  }
};

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new ConverterEnvironment);

}  // namespace
