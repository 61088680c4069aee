#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "framework/reference_countable.h"
#include "tests/framework/framework_test_env.h"

namespace {

std::atomic<int> gDeleted{0};

class TTracked : public TReferenceCountable {
 public:
  explicit TTracked(bool mainThread = true, bool deletable = true)
      : mMainThread(mainThread), mDeletable(deletable) {}
  ~TTracked() override { ++gDeleted; }
  bool IsDeletedOnMainThread() const override { return mMainThread; }
  bool IsDeletable() const override { return mDeletable; }
  // Plain heap storage: some tests pretend main has ended, when the
  // framework's allocator no longer frees.
  static void* operator new(std::size_t size) { return std::malloc(size); }
  static void operator delete(void* block) noexcept { std::free(block); }
  int mValue = 7;

 private:
  bool mMainThread;
  bool mDeletable;
};

class Holders : public ::testing::Test {
 protected:
  void SetUp() override { gDeleted = 0; }
};

TEST_F(Holders, CountsFollowTheHolders) {
  auto* object = new TTracked();
  EXPECT_EQ(object->ReferenceCount(), 0);
  {
    TPtr<TTracked> a(object);
    EXPECT_EQ(object->ReferenceCount(), 1);
    TPtr<TTracked> b(a);
    EXPECT_EQ(object->ReferenceCount(), 2);
    TPtr<TTracked> c(static_cast<TPtr<TTracked>&&>(b));
    EXPECT_EQ(object->ReferenceCount(), 2);
    EXPECT_FALSE(b);
    EXPECT_EQ(c->mValue, 7);
    TPtr<TTracked> d;
    d = a;
    EXPECT_EQ(object->ReferenceCount(), 3);
    d.Reset();
    EXPECT_FALSE(d);
    EXPECT_EQ(object->ReferenceCount(), 2);
  }
  EXPECT_EQ(gDeleted, 1);
}

TEST_F(Holders, AssigningTheSameObjectChangesNoCount) {
  TPtr<TTracked> a(new TTracked());
  TPtr<TTracked> b(a);
  TTracked* object = a.Get();
  a = b;
  TPtr<TTracked>& self = a;
  a = self;
  a = static_cast<TPtr<TTracked>&&>(b);  // same object: the source stays
  EXPECT_TRUE(b);
  a.Reset(object);
  EXPECT_EQ(object->ReferenceCount(), 2);
  EXPECT_EQ(gDeleted, 0);
}

TEST_F(Holders, AssignmentReleasesTheOldObject) {
  TPtr<TTracked> a(new TTracked());
  TPtr<TTracked> b(new TTracked());
  a = b;
  EXPECT_EQ(gDeleted, 1);
  EXPECT_EQ(b->ReferenceCount(), 2);
  TPtr<TTracked> c(new TTracked());
  c = static_cast<TPtr<TTracked>&&>(a);
  EXPECT_EQ(gDeleted, 2);
  EXPECT_FALSE(a);
  c.Reset(new TTracked());
  EXPECT_EQ(gDeleted, 2);  // b still holds the shared one
  b.Release();
  EXPECT_EQ(gDeleted, 3);
}

TEST_F(Holders, UndeletableObjectsSurviveTheLastRelease) {
  auto* object = new TTracked(true, false);
  TPtr<TTracked>(object).Reset();
  EXPECT_EQ(gDeleted, 0);
  EXPECT_EQ(object->ReferenceCount(), -1);
  delete object;
}

TEST_F(Holders, ConcurrentHoldersDeleteOnce) {
  TPtr<TTracked> shared(new TTracked());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([copy = shared]() mutable {
      for (int i = 0; i < 20000; ++i) {
        TPtr<TTracked> a(copy);
        TPtr<TTracked> b;
        b = a;
      }
    });
  }
  shared.Reset();
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(gDeleted, 1);
}

// Deferred deletion through installed hooks that stand in for the thread
// manager, the command pool and the main thread's queue.
class DeferredDeletion : public FrameworkTest {
 protected:
  static thread_local std::int32_t tLogicalId;
  static std::vector<TCommand*> sQueue;
  static std::atomic<int> sCommandBlocks;

  void SetUp() override {
    gDeleted = 0;
    sQueue.clear();
    sCommandBlocks = 0;
    tLogicalId = 3;
    TFrameworkHooks& hooks = FrameworkHooks();
    hooks.isMainRunning = [] { return true; };
    hooks.threadManagerExists = [] { return true; };
    hooks.logicalThreadId = [] { return tLogicalId; };
    hooks.allocateCommandMemory = [](std::size_t size) -> void* {
      ++sCommandBlocks;
      return std::malloc(size);
    };
    hooks.freeCommandMemory = [](void* block) {
      --sCommandBlocks;
      std::free(block);
    };
    hooks.postCommand = [](std::int32_t target, TCommand* command) {
      EXPECT_EQ(target, 3);
      command->AddReference();  // the queue's own reference
      sQueue.push_back(command);
    };
  }
  // Runs the queue as the main thread's shutdown dispatch does.
  static void Dispatch() {
    std::vector<TCommand*> commands;
    commands.swap(sQueue);
    for (TCommand* command : commands) {
      command->Execute();
      command->ReleaseReference();
    }
  }
};
thread_local std::int32_t DeferredDeletion::tLogicalId = 3;
std::vector<TCommand*> DeferredDeletion::sQueue;
std::atomic<int> DeferredDeletion::sCommandBlocks{0};

TEST_F(DeferredDeletion, MainThreadDeletesAtOnce) {
  TPtr<TTracked> p(new TTracked());
  p.Reset();
  EXPECT_EQ(gDeleted, 1);
  EXPECT_TRUE(sQueue.empty());
}

TEST_F(DeferredDeletion, OtherLogicalThreadPostsTheDeletion) {
  TPtr<TTracked> p(new TTracked());
  tLogicalId = 5;
  p.Reset();
  tLogicalId = 3;
  EXPECT_EQ(gDeleted, 0);
  ASSERT_EQ(sQueue.size(), 1u);
  EXPECT_EQ(sCommandBlocks, 1);
  Dispatch();
  EXPECT_EQ(gDeleted, 1);
  EXPECT_EQ(sCommandBlocks, 0);  // the command went back to command memory
}

TEST_F(DeferredDeletion, ThreadWithoutLogicalIdPostsTheDeletion) {
  TPtr<TTracked> p(new TTracked());
  std::thread worker([moved = static_cast<TPtr<TTracked>&&>(p)]() mutable {
    tLogicalId = -1;
    moved.Reset();
  });
  worker.join();
  EXPECT_EQ(gDeleted, 0);
  ASSERT_EQ(sQueue.size(), 1u);
  Dispatch();
  EXPECT_EQ(gDeleted, 1);
}

TEST_F(DeferredDeletion, DeletedInPlaceWhenDeferralIsNotPossible) {
  tLogicalId = 5;
  {
    // An object that may be deleted on any thread.
    TPtr<TTracked> p(new TTracked(false));
  }
  EXPECT_EQ(gDeleted, 1);
  FrameworkHooks().isMainRunning = [] { return false; };
  { TPtr<TTracked> p(new TTracked()); }
  EXPECT_EQ(gDeleted, 2);
  FrameworkHooks().isMainRunning = [] { return true; };
  FrameworkHooks().threadManagerExists = [] { return false; };
  { TPtr<TTracked> p(new TTracked()); }
  EXPECT_EQ(gDeleted, 3);
  FrameworkHooks().threadManagerExists = [] { return true; };
  FrameworkHooks().allocateCommandMemory = [](std::size_t) -> void* { return nullptr; };
  { TPtr<TTracked> p(new TTracked()); }
  EXPECT_EQ(gDeleted, 4);
  FrameworkHooks().allocateCommandMemory = [](std::size_t) -> void* { throw 1; };
  { TPtr<TTracked> p(new TTracked()); }
  EXPECT_EQ(gDeleted, 5);
  FrameworkHooks().postCommand = nullptr;
  { TPtr<TTracked> p(new TTracked()); }
  EXPECT_EQ(gDeleted, 6);
  EXPECT_TRUE(sQueue.empty());
  tLogicalId = 3;
}

TEST_F(DeferredDeletion, CommandsAreDeletedOnAnyThread) {
  auto* command = new TDeleteCommand<>(new TTracked());
  EXPECT_FALSE(command->IsDeletedOnMainThread());
  EXPECT_TRUE(command->IsDeletable());
  EXPECT_EQ(command->mLink, nullptr);
  EXPECT_EQ(sCommandBlocks, 1);
  tLogicalId = 5;
  TPtr<TCommand> holder(command);
  command->Execute();
  EXPECT_EQ(gDeleted, 1);
  command->Execute();  // the object is gone: nothing more
  holder.Reset();
  tLogicalId = 3;
  EXPECT_TRUE(sQueue.empty());
  EXPECT_EQ(sCommandBlocks, 0);
}

}  // namespace
