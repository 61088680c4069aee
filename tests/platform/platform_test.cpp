#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "platform/threads.h"

namespace {

TEST(Platform, ThreadIdsAreStableAndDistinct) {
  const std::uint32_t mine = platformCurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(platformCurrentThreadId(), mine);
  std::vector<std::uint32_t> ids(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&ids, t] { ids[static_cast<size_t>(t)] = platformCurrentThreadId(); });
  }
  for (std::thread& t : threads) t.join();
  std::set<std::uint32_t> distinct(ids.begin(), ids.end());
  distinct.insert(mine);
  EXPECT_EQ(distinct.size(), 5u);
}

TEST(Platform, ThreadLocalSlotsHoldOneValuePerThread) {
  PlatformTlsKey key;
  ASSERT_TRUE(platformTlsAlloc(&key));
  int here = 1;
  int there = 2;
  EXPECT_EQ(platformTlsGet(key), nullptr);
  EXPECT_TRUE(platformTlsSet(key, &here));
  std::thread other([&] {
    EXPECT_EQ(platformTlsGet(key), nullptr);
    platformTlsSet(key, &there);
    EXPECT_EQ(platformTlsGet(key), &there);
  });
  other.join();
  EXPECT_EQ(platformTlsGet(key), &here);
  platformTlsFree(key);
}

TEST(Platform, ClockPageAndDate) {
  std::uint64_t a = platformMonotonicMs();
  std::uint64_t b = platformMonotonicMs();
  EXPECT_GE(b, a);
  std::size_t page = platformPageSize();
  EXPECT_GE(page, 4096u);
  EXPECT_EQ(page & (page - 1), 0u);
  PlatformLocalTime now = platformLocalTime();
  EXPECT_GE(now.year, 2000);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_LE(now.hour, 23);
}

TEST(Platform, ErrorCodesAndTheirTexts) {
  errno = ENOENT;
  EXPECT_EQ(platformLastErrorCode(), ENOENT);
  errno = 0;
  EXPECT_EQ(platformLastErrorCode(), 0);
  char buffer[64];
  platformErrorText(ENOENT, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "No such file or directory");
  platformErrorText(123456, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "Unknown error 123456");
  platformErrorText(ENOENT, buffer, 8);  // cut to the room there is
  EXPECT_STREQ(buffer, "No such");
}

TEST(Platform, TheOpenFileLimitIsKeptOrRaisedWithinTheHardLimit) {
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  ASSERT_GT(before.rlim_cur, 1u);
  auto current = [] {
    rlimit now{};
    getrlimit(RLIMIT_NOFILE, &now);
    return now;
  };
  // What is allowed already stays as it is.
  EXPECT_TRUE(platformEnsureOpenFileLimit(1));
  EXPECT_TRUE(platformEnsureOpenFileLimit(before.rlim_cur));
  EXPECT_EQ(current().rlim_cur, before.rlim_cur);
  // A lower soft limit is raised again (which also restores it).
  rlimit lowered = before;
  lowered.rlim_cur = before.rlim_cur - 1;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  EXPECT_TRUE(platformEnsureOpenFileLimit(before.rlim_cur));
  EXPECT_EQ(current().rlim_cur, before.rlim_cur);
  EXPECT_EQ(current().rlim_max, before.rlim_max);
  // Above the hard limit: refused with the system's reason, nothing changed.
  if (before.rlim_max != RLIM_INFINITY) {
    errno = 0;
    EXPECT_FALSE(platformEnsureOpenFileLimit(std::uint64_t{before.rlim_max} + 1));
    EXPECT_NE(platformLastErrorCode(), 0);
    EXPECT_EQ(current().rlim_cur, before.rlim_cur);
  }
}

// In a child process, so that this one keeps its setting: afterwards the
// system reports large pages declined.
TEST(Platform, LargePagesAreDeclinedForTheProcess) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool declined = platformDeclineLargePages();
    _exit(declined && prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0) == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
