#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "platform/system.h"

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

}  // namespace
