#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "framework/exceptions.h"
#include "framework/thread_context.h"
#include "tests/framework/framework_test_env.h"

namespace {

int gCreated = 0;
int gOnCreated = 0;
int gOnDestroying = 0;
int gDestroyed = 0;

class TSampleSingleton : public TSingleton<TSampleSingleton> {
 public:
  TSampleSingleton() : mContext(TThreadContext::Current()) { ++gCreated; }
  ~TSampleSingleton() override { ++gDestroyed; }
  void OnCreated() override { ++gOnCreated; }
  void OnDestroying() override { ++gOnDestroying; }
  static TSampleSingleton* Make() { return new TSampleSingleton(); }
  TThreadContext* mContext;
};

class TFailingSingleton : public TSingleton<TFailingSingleton> {
 public:
  static TFailingSingleton* Make() {
    // The half-built instance has stored itself already; the failure must
    // leave the slot empty again.
    auto* half = new TFailingSingleton();
    delete half;
    throw TReadableException(TString(u"factory failed"));
  }
};

class ThreadContexts : public FrameworkTest {
 protected:
  void SetUp() override { gCreated = gOnCreated = gOnDestroying = gDestroyed = 0; }
  void TearDown() override {
    DestroySingleton<TSampleSingleton>();
    TThreadContext::ClearRegistrations();
  }
};

TEST_F(ThreadContexts, ThreadsWithoutContextUseTheDefault) {
  const std::int32_t slot = TThreadContext::AllocateSlot();
  int marker = 0;
  TThreadContext::SetValue(slot, &marker);
  std::thread other([&] {
    EXPECT_EQ(TThreadContext::CurrentIndex(), -1);
    EXPECT_EQ(TThreadContext::GetValue(slot), &marker);
    EXPECT_EQ(TThreadContext::Current()->Index(), 0);
  });
  other.join();
  EXPECT_EQ(TThreadContext::CurrentIndex(), -1);
  TThreadContext::SetValue(slot, nullptr);
  // Slot indices outside the context read as null and are not written.
  EXPECT_EQ(TThreadContext::GetValue(-1), nullptr);
  EXPECT_EQ(TThreadContext::GetValue(TThreadContext::kSlotCount), nullptr);
  TThreadContext::SetValue(TThreadContext::kSlotCount, &marker);
}

TEST_F(ThreadContexts, SwitchesNestAndRestore) {
  const std::int32_t second = TThreadContext::Create();
  EXPECT_GE(second, 1);
  {
    TThreadContextSwitch none(-1);  // no context: nothing changes
    EXPECT_EQ(TThreadContext::CurrentIndex(), -1);
    TThreadContextSwitch toSecond(second);
    EXPECT_EQ(TThreadContext::CurrentIndex(), second);
    {
      TThreadContextSwitch same(second);
      EXPECT_EQ(TThreadContext::CurrentIndex(), second);
      TThreadContextSwitch toFirst(0);
      EXPECT_EQ(TThreadContext::CurrentIndex(), 0);
    }
    EXPECT_EQ(TThreadContext::CurrentIndex(), second);
  }
  EXPECT_EQ(TThreadContext::CurrentIndex(), -1);
}

TEST_F(ThreadContexts, UnknownContextIndexThrows) {
  try {
    TThreadContextSwitch bad(TThreadContext::Count() + 5);
    FAIL();
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
  }
  EXPECT_THROW(TThreadContextSwitch(-2), std::out_of_range);
  EXPECT_EQ(TThreadContext::CurrentIndex(), -1);
}

TEST_F(ThreadContexts, SingletonLifecycle) {
  EXPECT_EQ(TSampleSingleton::Instance(), nullptr);
  DestroySingleton<TSampleSingleton>();  // nothing to destroy
  EXPECT_EQ(gOnDestroying, 0);
  TSampleSingleton* instance = CreateSingleton(&TSampleSingleton::Make);
  EXPECT_EQ(TSampleSingleton::Instance(), instance);
  EXPECT_EQ(gOnCreated, 1);
  std::thread other([&] { EXPECT_EQ(TSampleSingleton::Instance(), instance); });
  other.join();
  DestroySingleton<TSampleSingleton>();
  EXPECT_EQ(gOnDestroying, 1);
  EXPECT_EQ(gDestroyed, 1);
  EXPECT_EQ(TSampleSingleton::Instance(), nullptr);
}

TEST_F(ThreadContexts, CustomDestroyerIsUsed) {
  static int custom = 0;
  CreateSingleton<TSampleSingleton>(&TSampleSingleton::Make, [](TSampleSingleton* s) {
    ++custom;
    delete s;
  });
  DestroySingleton<TSampleSingleton>();
  EXPECT_EQ(custom, 1);
}

TEST_F(ThreadContexts, LaterContextGetsItsOwnInstance) {
  TSampleSingleton* first = CreateSingleton(&TSampleSingleton::Make);
  const std::int32_t index = TThreadContext::Create();
  EXPECT_EQ(gCreated, 2);
  {
    TThreadContextSwitch use(index);
    TSampleSingleton* own = TSampleSingleton::Instance();
    ASSERT_NE(own, nullptr);
    EXPECT_NE(own, first);
    // Made while the new context was current.
    EXPECT_EQ(own->mContext->Index(), index);
    DestroySingleton<TSampleSingleton>();
    EXPECT_EQ(TSampleSingleton::Instance(), nullptr);
  }
  EXPECT_EQ(TSampleSingleton::Instance(), first);
}

TEST_F(ThreadContexts, FailingFactoryLeavesTheSlotEmpty) {
  EXPECT_THROW(CreateSingleton(&TFailingSingleton::Make), TReadableException);
  EXPECT_EQ(TFailingSingleton::Instance(), nullptr);
  DestroySingleton<TFailingSingleton>();
}

TEST_F(ThreadContexts, SlotsAreDistinctPerClass) {
  EXPECT_NE(TSampleSingleton::Slot(), TFailingSingleton::Slot());
  EXPECT_GE(TSampleSingleton::Slot(), 0);
  EXPECT_LT(TSampleSingleton::Slot(), TThreadContext::kSlotCount);
}

}  // namespace
