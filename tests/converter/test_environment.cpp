// The primitives' build selection, the framework's string system, the
// processor count and the thread manager are there for every in-process test
// of the converter (the log is not: nothing is written to the user's folders).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/exceptions.h"
#include "framework/system_info.h"
#include "framework/thread_manager.h"
#include "framework/tstring.h"
#include "primitives/core/cpu.h"

namespace {

class ConverterEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The tool run as a child process writes its log here, not into the
    // user's own application-data folder.
    char folder[] = "/tmp/dcp2mov_data_XXXXXX";
    if (mkdtemp(folder) != nullptr) {
      dataFolder_ = folder;
      setenv("XDG_DATA_HOME", folder, 1);
    }
    primInitCpuDispatch();
    StartStringSystem();
    SetOutOfMemoryText();
    DetectProcessor();
    CreateThreadManager();
  }
  void TearDown() override {
    DestroyThreadManager();
    ClearOutOfMemoryText();
    StopStringSystem();
    // The folder goes with the logs the runs left in it.
    std::error_code ignored;
    if (!dataFolder_.empty()) std::filesystem::remove_all(dataFolder_, ignored);
  }

 private:
  std::string dataFolder_;
};

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new ConverterEnvironment);

}  // namespace
