#include "tests/framework/framework_test_env.h"

#include "framework/exceptions.h"
#include "framework/tstring.h"

namespace {

class FrameworkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    StartStringSystem();
    SetOutOfMemoryText();
  }
  void TearDown() override {
    ClearOutOfMemoryText();
    StopStringSystem();
  }
};

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new FrameworkEnvironment);

}  // namespace
