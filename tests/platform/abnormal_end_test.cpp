// The file removed when a signal ends the process, in child processes: the
// ending signal removes it and still ends the process; a signal the process
// ignores (nohup) stays ignored and leaves it, as does a cancelled removal.
// A file made and named in one call is the one removed, and a signal held
// back while it was made finds it named.
#include <gtest/gtest.h>

#include <signal.h>
#include <errno.h>
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

TEST(AbnormalEnd, TheFileMadeAndNamedInOneCallIsTheOneRemoved) {
  char made[] = "/tmp/abnormal_end_XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const std::string folder = made;
  const std::string earlier = folder + "/earlier";
  std::ofstream(earlier) << "earlier";
  const std::string before = folder + "/.movie-";
  // Made and named: an ending signal removes it, and not the file named
  // before; also one that was already waiting, blocked by the caller, when
  // the call began (the call leaves the caller's mask as it was).
  for (const bool pending : {false, true}) {
    EXPECT_EXIT(
        {
          platformRemoveFileOnAbnormalEnd(earlier.c_str());
          sigset_t term;
          sigemptyset(&term);
          sigaddset(&term, SIGTERM);
          if (pending) {
            sigprocmask(SIG_BLOCK, &term, nullptr);
            raise(SIGTERM);
          }
          char path[kPlatformAbnormalEndPathCapacity];
          int error = 0;
          if (platformCreateFileRemovedOnAbnormalEnd(before.c_str(), ".part", path, sizeof path, &error) < 0)
            std::_Exit(2);
          if (pending) sigprocmask(SIG_UNBLOCK, &term, nullptr);
          raise(SIGTERM);
          std::_Exit(3);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_TRUE(std::filesystem::exists(earlier));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
  }
  // No file made: the file named before is no longer named either.
  EXPECT_EXIT(
      {
        platformRemoveFileOnAbnormalEnd(earlier.c_str());
        const std::string missing = folder + "/gone/.movie-";
        char path[kPlatformAbnormalEndPathCapacity];
        int error = 0;
        if (platformCreateFileRemovedOnAbnormalEnd(missing.c_str(), ".part", path, sizeof path, &error) >=
                0 ||
            error != ENOENT)
          std::_Exit(2);
        raise(SIGTERM);
        std::_Exit(3);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_TRUE(std::filesystem::exists(earlier));
  std::filesystem::remove_all(folder);
}

}  // namespace
