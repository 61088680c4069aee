#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/command_pool.h"
#include "framework/system_info.h"
#include "framework/thread_communicator.h"
#include "framework/thread_manager.h"
#include "tests/framework/framework_test_env.h"

namespace {

// What the commands of one test did, in order.
std::mutex gLogLock;
std::vector<std::string> gLog;
std::atomic<int> gAlive{0};

void Note(const std::string& what) {
  std::lock_guard<std::mutex> hold(gLogLock);
  gLog.push_back(what);
}

class TNoteCommand : public TCommand {
 public:
  explicit TNoteCommand(std::string text, bool fail = false) : mText(std::move(text)), mFail(fail) {
    ++gAlive;
  }
  ~TNoteCommand() override { --gAlive; }
  bool IsDeletedOnMainThread() const override { return false; }
  void Execute() override {
    Note(mText + "@" + std::to_string(FrameworkLogicalThreadId()));
    if (mFail) throw std::runtime_error("failed command");
  }

 private:
  std::string mText;
  bool mFail;
};

// Posts a further command while it runs.
class TPostingCommand : public TCommand {
 public:
  bool IsDeletedOnMainThread() const override { return false; }
  void Execute() override {
    Note("poster");
    TThreadCommunicator::Instance()->PostCommand(3, new TNoteCommand("posted"));
  }
};

class Communicator : public FrameworkTest {
 protected:
  void SetUp() override {
    gLog.clear();
    gAlive = 0;
    CreateThreadManager();
    CreateThreadCommunicator();
  }
  void TearDown() override {
    DestroyThreadCommunicator();
    DestroyThreadManager();
  }
  static TThreadCommunicator& Comm() { return *TThreadCommunicator::Instance(); }
  static std::vector<std::string> Log() {
    std::lock_guard<std::mutex> hold(gLogLock);
    return gLog;
  }
  // Posts from a framework thread acting as logical thread `id` (-1: none).
  static void PostFrom(std::int32_t id, std::int32_t target, TCommand* command) {
    struct Job {
      std::int32_t target;
      TCommand* command;
    } job{target, command};
    TThreadManager* manager = TThreadManager::Instance();
    const std::uint32_t thread = manager->CreateThread(
        [](void* argument) -> std::uint32_t {
          auto* j = static_cast<Job*>(argument);
          TThreadCommunicator::Instance()->PostCommand(j->target, j->command);
          return 0;
        },
        &job, id, 2);
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(manager->WaitForThread(thread));
  }
};

TEST_F(Communicator, CommandsFromOneThreadRunInPostingOrder) {
  Comm().PostCommand(3, new TNoteCommand("a"));
  Comm().PostCommand(3, new TNoteCommand("b"));
  Comm().PostCommand(3, new TNoteCommand("c"));
  EXPECT_EQ(gAlive, 3);
  EXPECT_TRUE(Log().empty());          // nothing runs before the dispatch
  EXPECT_EQ(Comm().DispatchAll(), 2);  // one pass with work, one without
  EXPECT_EQ(Log(), (std::vector<std::string>{"a@3", "b@3", "c@3"}));
  EXPECT_EQ(gAlive, 0);
  EXPECT_EQ(TThreadManager::Instance()->GetLogicalThreadId(), 3);
}

TEST_F(Communicator, EachTargetRunsAsItsLogicalThreadAndTheNoIdQueueComesLast) {
  PostFrom(-1, 3, new TNoteCommand("none"));
  Comm().PostCommand(3, new TNoteCommand("main"));
  PostFrom(5, 3, new TNoteCommand("five"));
  PostFrom(0, 3, new TNoteCommand("zero"));
  Comm().PostCommand(6, new TNoteCommand("to six"));
  PostFrom(-1, 1, new TNoteCommand("to one"));
  EXPECT_NE(Comm().Queue(-1, 3), nullptr);
  EXPECT_FALSE(Comm().Queue(-1, 3)->IsEmpty());
  EXPECT_FALSE(Comm().Queue(5, 3)->IsEmpty());
  Comm().DispatchAll();
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"to one@1", "zero@3", "main@3", "five@3", "none@3", "to six@6"}));
  EXPECT_EQ(gAlive, 0);
}

TEST_F(Communicator, BadTargetsPostNothing) {
  auto* command = new TNoteCommand("never");
  for (std::int32_t target : {-1, 7, 49, -2}) Comm().PostCommand(target, command);
  EXPECT_EQ(command->ReferenceCount(), 0);
  EXPECT_EQ(command->mLink, nullptr);
  Comm().PostCommand(3, nullptr);
  EXPECT_EQ(Comm().DispatchAll(), 1);
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(Comm().Queue(7, 3), nullptr);
  EXPECT_EQ(Comm().Queue(3, -1), nullptr);
  delete command;
}

TEST_F(Communicator, CommandsPostedWhileRunningRunInTheNextPass) {
  Comm().PostCommand(3, new TPostingCommand);
  Comm().PostCommand(3, new TNoteCommand("after"));
  EXPECT_EQ(Comm().DispatchAll(), 3);
  EXPECT_EQ(Log(), (std::vector<std::string>{"poster", "after@3", "posted@3"}));
  EXPECT_EQ(gAlive, 0);
}

TEST_F(Communicator, PostingStopsAfterFivePasses) {
  // A command that posts itself again each time it runs.
  class TForever : public TCommand {
   public:
    bool IsDeletedOnMainThread() const override { return false; }
    void Execute() override {
      ++runs;
      TThreadCommunicator::Instance()->PostCommand(3, this);
    }
    int runs = 0;
  };
  auto* forever = new TForever;
  forever->AddReference();  // this test's own
  Comm().PostCommand(3, forever);
  EXPECT_EQ(Comm().DispatchAll(), 5);
  EXPECT_EQ(forever->runs, 5);
  // Still queued (and counted) after the last pass.
  EXPECT_FALSE(Comm().Queue(3, 3)->IsEmpty());
  EXPECT_EQ(forever->ReferenceCount(), 2);
  TCommand* rest = Comm().Queue(3, 3)->TakeAllInOrder();
  EXPECT_EQ(rest, forever);
  rest->mLink = nullptr;
  forever->ReleaseReference();
  forever->ReleaseReference();
}

TEST_F(Communicator, AThrowingCommandIsStillReleased) {
  Comm().PostCommand(3, new TNoteCommand("first"));
  Comm().PostCommand(3, new TNoteCommand("throws", true));
  Comm().PostCommand(3, new TNoteCommand("last"));
  Comm().DispatchAll();
  EXPECT_EQ(Log(), (std::vector<std::string>{"first@3", "throws@3", "last@3"}));
  EXPECT_EQ(gAlive, 0);
}

TEST_F(Communicator, EmptyQueuesTakeOnePass) {
  EXPECT_EQ(Comm().DispatchAll(), 1);
  EXPECT_EQ(TThreadManager::Instance()->GetLogicalThreadId(), 3);
}

TEST_F(Communicator, ConcurrentPostersKeepTheirOrder) {
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) {
        TThreadCommunicator::Instance()->PostCommand(
            3, new TNoteCommand(std::to_string(t) + ":" + std::to_string(i)));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  Comm().DispatchAll();
  const std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), static_cast<std::size_t>(kThreads * kEach));
  int next[kThreads] = {};
  for (const std::string& entry : log) {
    const int t = entry[0] - '0';
    const int i = std::stoi(entry.substr(2));
    EXPECT_EQ(i, next[t]) << entry;
    next[t] = i + 1;
  }
  EXPECT_EQ(gAlive, 0);
}

TEST(CommandQueue, ASecondDispatchOfABusyQueueReturnsAtOnce) {
  gLog.clear();
  TCommandQueue queue;
  class TReentrant : public TCommand {
   public:
    explicit TReentrant(TCommandQueue* q) : queue(q) {}
    bool IsDeletedOnMainThread() const override { return false; }
    void Execute() override {
      queue->Push(new TNoteCommand("late"));
      queue->Dispatch();  // busy: does nothing
      Note("outer");
    }
    TCommandQueue* queue;
  };
  queue.Push(new TReentrant(&queue));
  EXPECT_TRUE(queue.HasWork());
  queue.Dispatch();
  EXPECT_EQ(gLog, (std::vector<std::string>{"outer"}));
  EXPECT_FALSE(queue.IsEmpty());
  queue.Dispatch();
  EXPECT_EQ(gLog.back(), "late@-1");
  EXPECT_FALSE(queue.HasWork());
}

TEST(CommandQueue, TakeAllGivesTheOldestFirst) {
  TCommandQueue queue;
  std::vector<TNoteCommand*> commands;
  for (int i = 0; i < 5; ++i) {
    commands.push_back(new TNoteCommand(std::to_string(i)));
    queue.Push(commands.back());
    EXPECT_EQ(commands.back()->ReferenceCount(), 1);
  }
  TCommand* chain = queue.TakeAllInOrder();
  EXPECT_TRUE(queue.IsEmpty());
  for (TNoteCommand* expected : commands) {
    ASSERT_EQ(chain, expected);
    TCommand* next = chain->mLink;
    chain->mLink = nullptr;
    chain->ReleaseReference();
    chain = next;
  }
  EXPECT_EQ(chain, nullptr);
  EXPECT_EQ(queue.TakeAllInOrder(), nullptr);
}

// --- deferred deletion over the real queues and pool ---------------------------

std::atomic<int> gObjectsDeleted{0};

class TShared : public TReferenceCountable {
 public:
  ~TShared() override { ++gObjectsDeleted; }
  // Plain heap storage: one test pretends main has ended, when the
  // framework's allocator no longer frees.
  static void* operator new(std::size_t size) { return std::malloc(size); }
  static void operator delete(void* block) noexcept { std::free(block); }
};

class DeferredDeletionFramework : public FrameworkTest {
 protected:
  void SetUp() override {
    gObjectsDeleted = 0;
    DetectProcessor();
    CreateThreadManager();
    CreateThreadCommunicator();
    CreateCommandPool();
  }
  void TearDown() override {
    TThreadCommunicator::Instance()->DispatchAll();
    DestroyCommandPool();
    DestroyThreadCommunicator();
    DestroyThreadManager();
  }
  // Drops the last holder on a framework thread acting as `id`.
  static void ReleaseOn(std::int32_t id, TPtr<TShared>& holder) {
    TThreadManager* manager = TThreadManager::Instance();
    const std::uint32_t thread = manager->CreateThread(
        [](void* argument) -> std::uint32_t {
          static_cast<TPtr<TShared>*>(argument)->Reset();
          return 0;
        },
        &holder, id, 2);
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(manager->WaitForThread(thread));
  }
};

TEST_F(DeferredDeletionFramework, TheMainThreadDeletesAtOnce) {
  TPtr<TShared> holder(new TShared);
  holder.Reset();
  EXPECT_EQ(gObjectsDeleted, 1);
  EXPECT_TRUE(TThreadCommunicator::Instance()->Queue(3, 3)->IsEmpty());
}

TEST_F(DeferredDeletionFramework, OtherLogicalThreadsLeaveTheDeletionToTheMainThread) {
  TPtr<TShared> holder(new TShared);
  ReleaseOn(5, holder);
  EXPECT_EQ(gObjectsDeleted, 0);
  EXPECT_FALSE(TThreadCommunicator::Instance()->Queue(5, 3)->IsEmpty());
  TThreadCommunicator::Instance()->DispatchAll();
  EXPECT_EQ(gObjectsDeleted, 1);
}

TEST_F(DeferredDeletionFramework, ThreadsWithoutAnIdLeaveTheDeletionToTheMainThread) {
  TPtr<TShared> holder(new TShared);
  std::thread plain([&] { holder.Reset(); });
  plain.join();
  EXPECT_EQ(gObjectsDeleted, 0);
  EXPECT_FALSE(TThreadCommunicator::Instance()->Queue(-1, 3)->IsEmpty());
  TThreadCommunicator::Instance()->DispatchAll();
  EXPECT_EQ(gObjectsDeleted, 1);
}

TEST_F(DeferredDeletionFramework, TheDeleteCommandComesFromThePool) {
  // The command of a release on logical thread 2 lives in thread 2's
  // allocator; released elsewhere, in the shared one.
  TPtr<TShared> onTwo(new TShared);
  TPtr<TShared> onFour(new TShared);
  ReleaseOn(2, onTwo);
  ReleaseOn(4, onFour);
  TThreadCommunicator& comm = *TThreadCommunicator::Instance();
  TCommand* fromTwo = comm.Queue(2, 3)->TakeAllInOrder();
  TCommand* fromFour = comm.Queue(4, 3)->TakeAllInOrder();
  ASSERT_NE(fromTwo, nullptr);
  ASSERT_NE(fromFour, nullptr);
  TCommandPoolGlobals* pool = TCommandPoolGlobals::Instance();
  EXPECT_EQ(TCommandPoolAllocator::OwnerOf(fromTwo), pool->ThreadTwoAllocator()->Block(0));
  EXPECT_EQ(TCommandPoolAllocator::OwnerOf(fromFour), pool->SharedAllocator()->Block(0));
  EXPECT_LT(TCommandPoolAllocator::ChunkSizeWord(fromTwo), 0);
  // Run them as the dispatch would; the chunks go back to the pool.
  for (TCommand* command : {fromTwo, fromFour}) {
    command->Execute();
    command->ReleaseReference();
  }
  EXPECT_EQ(gObjectsDeleted, 2);
  EXPECT_GT(TCommandPoolAllocator::ChunkSizeWord(fromTwo), 0);
  EXPECT_GT(TCommandPoolAllocator::ChunkSizeWord(fromFour), 0);
}

TEST_F(DeferredDeletionFramework, AfterMainHasEndedObjectsAreDeletedInPlace) {
  EnterMainRunning();
  TPtr<TShared> during(new TShared);
  ReleaseOn(5, during);
  EXPECT_EQ(gObjectsDeleted, 0);
  TThreadCommunicator::Instance()->DispatchAll();
  EXPECT_EQ(gObjectsDeleted, 1);
  LeaveMainRunning();
  EXPECT_FALSE(IsMainRunning());
  // Deleted in place, on the releasing thread (the framework's allocator
  // keeps its block once main has ended).
  TPtr<TShared> after(new TShared);
  ReleaseOn(5, after);
  EXPECT_EQ(gObjectsDeleted, 2);
  EXPECT_TRUE(TThreadCommunicator::Instance()->Queue(5, 3)->IsEmpty());
  // Back to "main runs" for the shutdown of the fixture.
  FrameworkHooks().isMainRunning = nullptr;
}

TEST_F(DeferredDeletionFramework, ALowMemoryWarningWaitsForTheDispatch) {
  std::vector<std::int32_t> reported;
  static std::vector<std::int32_t>* sReported;
  sReported = &reported;
  FrameworkHooks().reportMessage = [](const TString&, std::int32_t severity) {
    sReported->push_back(severity);
  };
  TThreadCommunicator::Instance()->PostCommand(3, new TMemoryLowMemoryWarningCommand);
  EXPECT_TRUE(reported.empty());
  TThreadCommunicator::Instance()->DispatchAll();
  EXPECT_EQ(reported, (std::vector<std::int32_t>{1}));
}

}  // namespace
