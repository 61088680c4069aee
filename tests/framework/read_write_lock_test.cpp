#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/read_write_lock.h"
#include "platform/system.h"

namespace {

// Spins (yielding) until the condition holds; no time limit, no timing.
template <class Cond>
void WaitUntil(Cond cond) {
  while (!cond()) std::this_thread::yield();
}

TEST(ReadWriteLock, ReadHoldsNest) {
  TReadWriteLock lock;
  const std::uint32_t me = platformCurrentThreadId();
  lock.LockRead();
  lock.LockRead();
  EXPECT_EQ(lock.ReadHoldCount(me), 2);
  lock.UnlockRead();
  EXPECT_EQ(lock.ReaderCount(), 1);  // removed only at the second release
  lock.UnlockRead();
  EXPECT_EQ(lock.ReaderCount(), 0);
  lock.UnlockRead();  // without a hold: nothing
  EXPECT_EQ(lock.ReaderCount(), 0);
}

TEST(ReadWriteLock, WriterReentersBothHolds) {
  TReadWriteLock lock;
  const std::uint32_t me = platformCurrentThreadId();
  lock.LockWrite();
  lock.LockWrite();
  lock.LockRead();
  EXPECT_EQ(lock.WriteHoldCount(), 2);
  EXPECT_EQ(lock.WriterThreadId(), me);
  EXPECT_EQ(lock.ReadHoldCount(me), 1);
  lock.UnlockRead();
  lock.UnlockWrite();
  EXPECT_EQ(lock.WriterThreadId(), me);
  lock.UnlockWrite();
  EXPECT_EQ(lock.WriterThreadId(), 0u);
  EXPECT_EQ(lock.WriteHoldCount(), 0);
}

TEST(ReadWriteLock, LoneReaderUpgrades) {
  TReadWriteLock lock;
  lock.LockRead();
  lock.LockWrite();  // the only reader may become the writer at once
  EXPECT_EQ(lock.WriteHoldCount(), 1);
  lock.UnlockWrite();
  lock.UnlockRead();
  EXPECT_EQ(lock.ReaderCount(), 0);
}

TEST(ReadWriteLock, UpgradeWaitsForTheOtherReader) {
  TReadWriteLock lock;
  std::atomic<int> step{0};
  std::atomic<bool> upgraded{false};
  std::thread other([&] {
    lock.LockRead();
    step = 1;
    WaitUntil([&] { return step == 2; });
    lock.UnlockRead();
  });
  WaitUntil([&] { return step == 1; });
  lock.LockRead();
  std::thread release([&] {
    WaitUntil([&] { return lock.WaitingWriterCount() > 0; });
    EXPECT_FALSE(upgraded.load());
    step = 2;
  });
  lock.LockWrite();  // waits until the other reader is gone
  upgraded = true;
  EXPECT_EQ(lock.ReaderCount(), 1);
  lock.UnlockWrite();
  lock.UnlockRead();
  other.join();
  release.join();
}

TEST(ReadWriteLock, WaitingWriterGoesBeforeNewReaders) {
  TReadWriteLock lock;
  std::atomic<int> order{0};
  std::atomic<int> writerTurn{0};
  std::atomic<int> readerTurn{0};
  std::atomic<bool> readerStarted{false};

  lock.LockRead();
  std::thread writer([&] {
    lock.LockWrite();
    writerTurn = ++order;
    lock.UnlockWrite();
  });
  WaitUntil([&] { return lock.WaitingWriterCount() > 0; });
  std::thread reader([&] {
    readerStarted = true;
    lock.LockRead();
    readerTurn = ++order;
    lock.UnlockRead();
  });
  WaitUntil([&] { return readerStarted.load(); });
  // A thread that already holds a read hold gets another at once.
  lock.LockRead();
  EXPECT_EQ(order.load(), 0);
  lock.UnlockRead();
  lock.UnlockRead();
  writer.join();
  reader.join();
  EXPECT_EQ(writerTurn.load(), 1);
  EXPECT_EQ(readerTurn.load(), 2);
}

TEST(ReadWriteLock, LastNestedUnlockWakesAWaiter) {
  TReadWriteLock lock;
  std::atomic<bool> readerIn{false};
  lock.LockWrite();
  lock.LockWrite();
  std::thread reader([&] {
    lock.LockRead();
    readerIn = true;
    lock.UnlockRead();
  });
  lock.UnlockWrite();
  EXPECT_NE(lock.WriterThreadId(), 0u);
  lock.UnlockWrite();
  EXPECT_EQ(lock.WriterThreadId(), 0u);
  reader.join();
  EXPECT_TRUE(readerIn.load());
}

TEST(ReadWriteLock, UnlockWriteByAnotherThreadIsIgnored) {
  TReadWriteLock lock;
  lock.LockWrite();
  std::thread other([&] { lock.UnlockWrite(); });
  other.join();
  EXPECT_EQ(lock.WriteHoldCount(), 1);
  lock.UnlockWrite();
  EXPECT_EQ(lock.WriteHoldCount(), 0);
}

TEST(ReadWriteLock, ReadersAndWritersUnderLoad) {
  TReadWriteLock lock;
  std::atomic<int> readers{0};
  std::atomic<int> writers{0};
  std::atomic<int> violations{0};
  long shared = 0;  // written only under the write hold
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        if ((i + t) % 5 == 0) {
          TWriteLock hold(lock);
          if (++writers != 1 || readers != 0) ++violations;
          ++shared;
          --writers;
        } else {
          TReadLock hold(lock);
          TReadLock again(lock);  // re-entry under load
          ++readers;
          if (writers != 0) ++violations;
          --readers;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(violations.load(), 0);
  EXPECT_EQ(shared, 6 * 60);
}

}  // namespace
