#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/sync.h"

namespace {

TEST(Event, AutoResetSignals) {
  TEvent event;
  EXPECT_FALSE(event.Wait(0));  // not signalled at construction
  event.Set();
  EXPECT_TRUE(event.Wait(0));  // a zero wait consumes the signal
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  event.Set();  // two sets with no waiter leave one signal
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
  EXPECT_FALSE(event.Wait(1));  // a time-out gives false
}

TEST(Event, EachSetReleasesOneWaiter) {
  TEvent start;
  TEvent done;
  std::atomic<int> woken{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&] {
      start.Wait(TEvent::kInfinite);
      ++woken;
      done.Set();
    });
  }
  for (int round = 1; round <= 3; ++round) {
    start.Set();
    ASSERT_TRUE(done.Wait(TEvent::kInfinite));
    EXPECT_EQ(woken.load(), round);
  }
  for (std::thread& t : threads) t.join();
}

TEST(Event, PingPongBetweenThreads) {
  TEvent ping;
  TEvent pong;
  int value = 0;  // handed over by the events alone
  std::thread worker([&] {
    for (int i = 0; i < 1000; ++i) {
      ping.Wait(TEvent::kInfinite);
      ++value;
      pong.Set();
    }
  });
  for (int i = 0; i < 1000; ++i) {
    ping.Set();
    pong.Wait(TEvent::kInfinite);
    ASSERT_EQ(value, i + 1);
  }
  worker.join();
}

TEST(Stopwatch, NeverNegative) {
  TStopwatch watch;
  float first = watch.ElapsedMs();
  EXPECT_GE(first, 0.0f);
  float later = watch.ElapsedMs();
  EXPECT_GE(later, first);
  watch.Restart();
  EXPECT_GE(watch.ElapsedMs(), 0.0f);
}

TEST(CriticalSection, ReentrantAndNullLock) {
  TCriticalSection section;
  section.Enter();
  section.Enter();  // the owner enters again without blocking
  section.Leave();
  section.Leave();
  { TCriticalSectionLock none(nullptr); }
  {
    TCriticalSectionLock outer(&section);
    TCriticalSectionLock inner(&section);
  }
  // Left as often as entered: another thread can take it now.
  std::thread other([&] { TCriticalSectionLock lock(&section); });
  other.join();
}

TEST(CriticalSection, MutualExclusion) {
  TCriticalSection section;
  long counter = 0;  // guarded by the section only
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        TCriticalSectionLock lock(&section);
        TCriticalSectionLock again(&section);
        ++counter;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
}

TEST(CriticalSection, LockIsLeftWhenAnExceptionPasses) {
  TCriticalSection section;
  try {
    TCriticalSectionLock lock(&section);
    throw 1;
  } catch (int) {
  }
  std::thread other([&] { TCriticalSectionLock lock(&section); });
  other.join();
}

}  // namespace
