// The primitives' build selection, the framework's string system, the
// processor count and the thread manager are there for every in-process test
// of the converter (the log is not: nothing is written to the user's folders).
#include <gtest/gtest.h>

#include <sys/stat.h>

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
    primInitCpuDispatch();
    StartStringSystem();
    SetOutOfMemoryText();
    DetectProcessor();
    CreateThreadManager();
    // The tool run as a child process (which inherits this environment)
    // keeps its log and its temporary folder here, never in the user's own
    // folders: HOME, XDG_DATA_HOME and TMPDIR are replaced, whatever the
    // user has set.
    char folder[] = "/tmp/dcp2mov_env_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr) << "no folder for the tool's runs";
    rootFolder_ = folder;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "TMPDIR"}) {
      const std::string path = rootFolder_ + "/" + name;
      ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
      ASSERT_EQ(setenv(name, path.c_str(), 1), 0) << name;
    }
  }
  void TearDown() override {
    DestroyThreadManager();
    ClearOutOfMemoryText();
    StopStringSystem();
    // The folder goes with everything the runs left in it.
    std::error_code ignored;
    if (!rootFolder_.empty()) std::filesystem::remove_all(rootFolder_, ignored);
  }

 private:
  std::string rootFolder_;
};

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new ConverterEnvironment);

}  // namespace
