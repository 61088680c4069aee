#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/thread_manager.h"
#include "platform/system.h"
#include "platform/threads.h"
#include "tests/framework/framework_test_env.h"

namespace {

class ThreadManager : public FrameworkTest {
 protected:
  void SetUp() override { CreateThreadManager(); }
  void TearDown() override { DestroyThreadManager(); }
  static TThreadManager& Manager() { return *TThreadManager::Instance(); }
};

// What a thread body saw.
struct Observed {
  std::int32_t idInside = -2;
  std::uint32_t osThreadId = 0;
  std::int32_t contextInside = -2;
  int niceness = 0;
  TThreadManager::TLocalThreadInfo* record = nullptr;
};

std::uint32_t Observe(void* argument) {
  auto* seen = static_cast<Observed*>(argument);
  TThreadManager* manager = TThreadManager::Instance();
  seen->idInside = manager->GetLogicalThreadId();
  seen->osThreadId = platformCurrentThreadId();
  seen->contextInside = TThreadContext::CurrentIndex();
  seen->niceness = platformCurrentThreadNiceness();
  seen->record = &manager->GetThreadRecord();
  return 77;
}

TEST_F(ThreadManager, TheCreatingThreadIsTheMainThread) {
  ASSERT_NE(TThreadManager::Instance(), nullptr);
  EXPECT_EQ(Manager().GetLogicalThreadId(), 3);
  EXPECT_TRUE(Manager().IsLogicalThread(3));
  EXPECT_FALSE(Manager().IsWorkerOf(3));
  EXPECT_EQ(Manager().GetWorkerIndex(), -1);
  // The lower layers see the same through their hooks.
  EXPECT_TRUE(FrameworkThreadManagerExists());
  EXPECT_EQ(FrameworkLogicalThreadId(), 3);
}

TEST_F(ThreadManager, RegistrationFollowsTheCallingThread) {
  Manager().RegisterLogicalThread(5);
  EXPECT_EQ(Manager().GetLogicalThreadId(), 5);
  Manager().UnregisterLogicalThread(5);
  EXPECT_EQ(Manager().GetLogicalThreadId(), -1);
  // Ids outside 0-6 are not taken.
  Manager().RegisterLogicalThread(7);
  Manager().RegisterLogicalThread(-1);
  EXPECT_EQ(Manager().GetLogicalThreadId(), -1);
  Manager().RegisterLogicalThread(3);
  std::int32_t other = -2;
  std::thread plain([&] { other = TThreadManager::Instance()->GetLogicalThreadId(); });
  plain.join();
  EXPECT_EQ(other, -1);  // a thread nobody registered
  EXPECT_EQ(Manager().GetLogicalThreadId(), 3);
}

TEST_F(ThreadManager, ThreadWithAnIdActsAsItOnlyWhileItsProcedureRuns) {
  Observed seen;
  const std::uint32_t id = Manager().CreateThread(&Observe, &seen, 5, 2);
  ASSERT_NE(id, 0u);
  std::uint32_t code = 0;
  ASSERT_TRUE(Manager().WaitForThread(id, &code));
  EXPECT_EQ(code, 77u);
  EXPECT_EQ(seen.idInside, 5);
  // Back in the start routine the record is unregistered again; records
  // outlive their threads.
  ASSERT_NE(seen.record, nullptr);
  EXPECT_EQ(seen.record->logicalId, -1);
  EXPECT_EQ(seen.record->workerIndex, -1);
  EXPECT_EQ(Manager().GetLogicalThreadId(), 3);
}

TEST_F(ThreadManager, ThreadWithoutAnIdHasNone) {
  Observed seen;
  const std::uint32_t id = Manager().CreateThread(&Observe, &seen, -1, 4);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(Manager().WaitForThread(id));
  EXPECT_EQ(seen.idInside, -1);
}

TEST_F(ThreadManager, CreateThreadGivesTheOperatingSystemId) {
  Observed seen;
  const std::uint32_t id = Manager().CreateThread(&Observe, &seen, 1, 2);
  ASSERT_TRUE(Manager().WaitForThread(id));
  EXPECT_EQ(id, seen.osThreadId);
  EXPECT_NE(id, platformCurrentThreadId());
}

TEST_F(ThreadManager, ThreadsRunInTheirCreatorsContext) {
  Observed seen;
  ASSERT_TRUE(Manager().WaitForThread(Manager().CreateThread(&Observe, &seen, -1, 2)));
  EXPECT_EQ(seen.contextInside, TThreadContext::CurrentIndex());
  {
    TThreadContextSwitch own(0);
    Observed inner;
    ASSERT_TRUE(Manager().WaitForThread(Manager().CreateThread(&Observe, &inner, -1, 2)));
    EXPECT_EQ(inner.contextInside, 0);
  }
}

std::uint32_t WaitForItself(void* argument) {
  auto* waited = static_cast<bool*>(argument);
  *waited = TThreadManager::Instance()->WaitForThread(platformCurrentThreadId());
  return 1;
}

TEST_F(ThreadManager, AThreadCannotWaitForItself) {
  bool waited = true;
  const std::uint32_t id = Manager().CreateThread(&WaitForItself, &waited, -1, 2);
  std::uint32_t code = 0;
  ASSERT_TRUE(Manager().WaitForThread(id, &code));
  EXPECT_EQ(code, 1u);
  EXPECT_FALSE(waited);
}

TEST_F(ThreadManager, EachStartedThreadIsWaitedForOnce) {
  Observed seen;
  const std::uint32_t id = Manager().CreateThread(&Observe, &seen, -1, 2);
  EXPECT_TRUE(Manager().WaitForThread(id));
  EXPECT_FALSE(Manager().WaitForThread(id));
  EXPECT_FALSE(Manager().WaitForThread(platformCurrentThreadId()));
}

TEST_F(ThreadManager, ManyThreadsRegisterUnderTheirIds) {
  struct Slot {
    std::int32_t wanted;
    Observed seen;
  };
  std::vector<Slot> slots(24);
  std::vector<std::uint32_t> ids;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    slots[i].wanted = static_cast<std::int32_t>(i % 8) - 1;  // -1 and 0..6
    ids.push_back(Manager().CreateThread(
        [](void* argument) -> std::uint32_t {
          auto* slot = static_cast<Slot*>(argument);
          Observe(&slot->seen);
          return static_cast<std::uint32_t>(slot->wanted + 1);
        },
        &slots[i], slots[i].wanted, 2));
  }
  for (std::size_t i = 0; i < slots.size(); ++i) {
    std::uint32_t code = 0;
    ASSERT_TRUE(Manager().WaitForThread(ids[i], &code));
    EXPECT_EQ(code, static_cast<std::uint32_t>(slots[i].wanted + 1));
    EXPECT_EQ(slots[i].seen.idInside, slots[i].wanted);
  }
  EXPECT_EQ(Manager().GetLogicalThreadId(), 3);
}

TEST_F(ThreadManager, PriorityLevels) {
  const std::int32_t expected[6] = {-2, -1, 0, 1, 2, 15};
  for (std::int32_t level = 0; level < 6; ++level) EXPECT_EQ(PriorityOfLevel(level), expected[level]);
  EXPECT_EQ(PriorityOfLevel(6), kPriorityUnchanged);
  EXPECT_EQ(PriorityOfLevel(-1), kPriorityUnchanged);

  const int base = platformCurrentThreadNiceness();
  // A lower priority is always granted; from a niceness above it, only
  // with the privilege (otherwise the thread keeps what it inherited).
  Observed lowest;
  ASSERT_TRUE(Manager().WaitForThread(Manager().CreateThread(&Observe, &lowest, -1, 0)));
  EXPECT_TRUE(lowest.niceness == 10 || (base > 10 && lowest.niceness == base)) << lowest.niceness;
  // Level 6 keeps what the thread inherited.
  Observed unchanged;
  ASSERT_TRUE(Manager().WaitForThread(Manager().CreateThread(&Observe, &unchanged, -1, 6)));
  EXPECT_EQ(unchanged.niceness, base);
  // A higher one only with the privilege: either granted or left alone.
  Observed highest;
  ASSERT_TRUE(Manager().WaitForThread(Manager().CreateThread(&Observe, &highest, -1, 4)));
  EXPECT_TRUE(highest.niceness == -10 || highest.niceness == base) << highest.niceness;
}

TEST_F(ThreadManager, MultimediaSchedulingChoice) {
  // By logical id first, then by level.
  for (std::int32_t level = -1; level <= 6; ++level) {
    EXPECT_EQ(ProAudioPriorityFor(0, level), 2);
    EXPECT_EQ(ProAudioPriorityFor(1, level), 2);
    EXPECT_EQ(ProAudioPriorityFor(2, level), 1);
    for (std::int32_t id = 3; id <= 6; ++id) EXPECT_EQ(ProAudioPriorityFor(id, level), -1);
  }
  EXPECT_EQ(ProAudioPriorityFor(-1, 4), 0);
  EXPECT_EQ(ProAudioPriorityFor(-1, 5), 1);
  EXPECT_EQ(ProAudioPriorityFor(9, 5), 1);
  for (std::int32_t level : {-1, 0, 1, 2, 3, 6}) EXPECT_EQ(ProAudioPriorityFor(-1, level), -1);
  // This system has no "Pro Audio" task: joining gives no task.
  LoadMultimediaScheduling();
  EXPECT_EQ(JoinProAudioTask(0), 0u);
  RevertMultimediaScheduling(0);
}

TEST(ThreadManagerLifecycle, InstanceOnlyWhileEnabled) {
  HooksGuard hooks;
  EXPECT_EQ(TThreadManager::Instance(), nullptr);
  EXPECT_FALSE(FrameworkThreadManagerExists());
  CreateThreadManager();
  TThreadManager* manager = TThreadManager::Instance();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->RecordCount(), 1);  // the main thread's
  DestroyThreadManager();
  EXPECT_EQ(TThreadManager::Instance(), nullptr);
  EXPECT_FALSE(FrameworkThreadManagerExists());
  EXPECT_EQ(FrameworkLogicalThreadId(), -1);
  // A second manager starts afresh.
  CreateThreadManager();
  EXPECT_EQ(TThreadManager::Instance()->GetLogicalThreadId(), 3);
  DestroyThreadManager();
}

}  // namespace
