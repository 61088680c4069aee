// The file removed when a signal ends the process, in child processes: the
// ending signal removes it and still ends the process; a signal the process
// ignores (nohup) stays ignored and leaves it, as does a cancelled removal
// (a token cancelled twice leaves what was named since alone).
// A file made and named in one call is the one removed, and a signal held
// back while it was made finds it named.
#include <gtest/gtest.h>

#include <signal.h>
#include <errno.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/abnormal_end.h"
#include "platform/file_system.h"

namespace {

TEST(AbnormalEnd, TheEndingSignalRemovesTheFilesUnlessIgnoredOrCancelled) {
  char folder[] = "/tmp/abnormal_end_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string movie = std::string(folder) + "/.movie.part";
  const std::string cut = std::string(folder) + "/Log.txt.cut";
  std::ofstream(movie) << "part";
  std::ofstream(cut) << "cut";

  EXPECT_EXIT(
      {
        signal(SIGHUP, SIG_IGN);
        platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, movie.c_str());
        raise(SIGHUP);
        std::_Exit(7);
      },
      ::testing::ExitedWithCode(7), "");
  EXPECT_TRUE(std::filesystem::exists(movie));
  // One of two named files cancelled: only the other goes.
  EXPECT_EXIT(
      {
        platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, movie.c_str());
        platformCancelRemovalOnAbnormalEnd(
            platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, cut.c_str()));
        raise(SIGTERM);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_FALSE(std::filesystem::exists(movie));
  EXPECT_TRUE(std::filesystem::exists(cut));
  std::ofstream(movie) << "part";
  EXPECT_EXIT(
      {
        platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, cut.c_str());
        platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, movie.c_str());
        raise(SIGINT);
      },
      ::testing::KilledBySignal(SIGINT), "");
  EXPECT_FALSE(std::filesystem::exists(movie));
  EXPECT_FALSE(std::filesystem::exists(cut));

  // A token cancels once: the file named in its place since (a log cut's
  // new file after the movie's own token was cancelled) stays named when
  // that token is cancelled again, and goes with the signal.
  std::ofstream(movie) << "part";
  std::ofstream(cut) << "cut";
  EXPECT_EXIT(
      {
        const int first = platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, movie.c_str());
        platformCancelRemovalOnAbnormalEnd(first);
        if (platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, cut.c_str()) < 0) std::_Exit(2);
        platformCancelRemovalOnAbnormalEnd(first);
        platformCancelRemovalOnAbnormalEnd(first);
        raise(SIGTERM);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_TRUE(std::filesystem::exists(movie));
  EXPECT_FALSE(std::filesystem::exists(cut));

  // A path that does not fit is refused, as is a file beyond the places;
  // a cancelled file's place is free again.
  EXPECT_EQ(platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder,
                                            std::string(kPlatformAbnormalEndPathCapacity, 'x').c_str()),
            -1);
  std::vector<int> tokens;
  for (int i = 0; i < kPlatformAbnormalEndFiles; ++i)
    tokens.push_back(platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, movie.c_str()));
  EXPECT_EQ(std::set<int>(tokens.begin(), tokens.end()).size(), tokens.size());
  EXPECT_EQ(platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, movie.c_str()), -1);
  platformCancelRemovalOnAbnormalEnd(tokens[1]);
  tokens[1] = platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, movie.c_str());
  EXPECT_GE(tokens[1], 0);
  for (const int token : tokens) platformCancelRemovalOnAbnormalEnd(token);
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
          platformCancelRemovalOnAbnormalEnd(
              platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, earlier.c_str()));
          sigset_t term;
          sigemptyset(&term);
          sigaddset(&term, SIGTERM);
          if (pending) {
            sigprocmask(SIG_BLOCK, &term, nullptr);
            raise(SIGTERM);
          }
          char path[kPlatformAbnormalEndPathCapacity];
          int error = 0;
          int token = -1;
          if (platformCreateFileRemovedOnAbnormalEnd(kPlatformCurrentFolder, before.c_str(), ".part", path,
                                                     sizeof path, &error, &token) < 0 ||
              token < 0)
            std::_Exit(2);
          if (pending) sigprocmask(SIG_UNBLOCK, &term, nullptr);
          raise(SIGTERM);
          std::_Exit(3);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_TRUE(std::filesystem::exists(earlier));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
  }
  // Made in a held folder: it goes from that folder, wherever the folder's
  // path leads by the time of the signal.
  const std::string moved = folder + ".moved";
  EXPECT_EXIT(
      {
        const int held = platformHoldEntry(kPlatformCurrentFolder, folder.c_str(), nullptr);
        char path[kPlatformAbnormalEndPathCapacity];
        int error = 0;
        int token = -1;
        if (held < 0 ||
            platformCreateFileRemovedOnAbnormalEnd(held, ".movie-", ".part", path, sizeof path, &error,
                                                   &token) < 0 ||
            rename(folder.c_str(), moved.c_str()) != 0 || mkdir(folder.c_str(), 0700) != 0)
          std::_Exit(2);
        raise(SIGTERM);
        std::_Exit(3);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(moved), {}), 1);
  std::filesystem::remove_all(folder);
  std::filesystem::rename(moved, folder);
  // No file made, and none named; nor when every place is taken.
  EXPECT_EXIT(
      {
        const std::string missing = folder + "/gone/.movie-";
        char path[kPlatformAbnormalEndPathCapacity];
        int error = 0;
        int token = 0;
        if (platformCreateFileRemovedOnAbnormalEnd(kPlatformCurrentFolder, missing.c_str(), ".part", path,
                                                   sizeof path, &error, &token) >= 0 ||
            error != ENOENT || token != -1)
          std::_Exit(2);
        const std::string elsewhere = folder + "/elsewhere";
        for (int i = 0; i < kPlatformAbnormalEndFiles; ++i)
          platformRemoveFileOnAbnormalEnd(kPlatformCurrentFolder, elsewhere.c_str());
        if (platformCreateFileRemovedOnAbnormalEnd(kPlatformCurrentFolder, before.c_str(), ".part", path,
                                                   sizeof path, &error, &token) >= 0 ||
            token != -1)
          std::_Exit(4);
        raise(SIGTERM);
        std::_Exit(3);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_TRUE(std::filesystem::exists(earlier));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
  std::filesystem::remove_all(folder);
}

}  // namespace
