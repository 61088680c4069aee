// The file removed when a signal ends the process, in child processes: the
// ending signal removes it and still ends the process; a signal the process
// ignores (nohup) stays ignored and leaves it, as does a cancelled removal.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/abnormal_end.h"

namespace {

TEST(AbnormalEnd, TheEndingSignalRemovesTheFileUnlessIgnoredOrCancelled) {
  char folder[] = "/tmp/abnormal_end_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/.movie.part";
  std::ofstream(path) << "part";

  EXPECT_EXIT(
      {
        signal(SIGHUP, SIG_IGN);
        platformRemoveFileOnAbnormalEnd(path.c_str());
        raise(SIGHUP);
        std::_Exit(7);
      },
      ::testing::ExitedWithCode(7), "");
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EXIT(
      {
        platformRemoveFileOnAbnormalEnd(path.c_str());
        platformCancelRemovalOnAbnormalEnd();
        raise(SIGTERM);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EXIT(
      {
        platformRemoveFileOnAbnormalEnd(path.c_str());
        raise(SIGTERM);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_FALSE(std::filesystem::exists(path));

  // A path that does not fit is refused (and nothing is installed).
  EXPECT_FALSE(platformRemoveFileOnAbnormalEnd(std::string(kPlatformAbnormalEndPathCapacity, 'x').c_str()));
  std::filesystem::remove_all(folder);
}

}  // namespace
