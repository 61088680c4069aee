// Re-entrant reader/writer lock that tracks its readers by operating-system
// thread id.  Writers are preferred: a thread without a read hold waits while
// any writer waits or writes.  Both holds are re-entrant, the writer may also
// take read holds, and the thread holding the only read hold may take the
// write hold.  Waiting is done in 5 ms polls on an auto-reset event that is
// set whenever a thread's last read hold or the last write hold ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "framework/sync.h"

class TReadWriteLock {
 public:
  static constexpr std::uint32_t kPollMs = 5;

  TReadWriteLock();
  TReadWriteLock(const TReadWriteLock&) = delete;
  TReadWriteLock& operator=(const TReadWriteLock&) = delete;

  void LockRead();
  // Gives one read hold back; nothing for a thread without one.
  void UnlockRead();
  void LockWrite();
  void UnlockWrite();

  // State, for diagnostics and tests.
  std::int32_t ReadHoldCount(std::uint32_t threadId);
  std::int32_t ReaderCount();
  std::int32_t WriteHoldCount();
  std::uint32_t WriterThreadId();
  std::int32_t WaitingWriterCount() const { return mWaitingWriters.load(); }

 private:
  struct TReader {
    std::uint32_t thread;
    std::int32_t holds;
  };
  TReader* FindReader(std::uint32_t thread);

  TCriticalSection mSection;
  TEvent mReleased;
  std::vector<TReader> mReaders;
  std::atomic<std::int32_t> mWaitingWriters{0};
  std::int32_t mWriteHolds = 0;
  std::uint32_t mWriter = 0;
};

// Scoped read hold.
class TReadLock {
 public:
  explicit TReadLock(TReadWriteLock& lock) : mLock(lock) { mLock.LockRead(); }
  ~TReadLock() { mLock.UnlockRead(); }
  TReadLock(const TReadLock&) = delete;
  TReadLock& operator=(const TReadLock&) = delete;

 private:
  TReadWriteLock& mLock;
};

// Scoped write hold.
class TWriteLock {
 public:
  explicit TWriteLock(TReadWriteLock& lock) : mLock(lock) { mLock.LockWrite(); }
  ~TWriteLock() { mLock.UnlockWrite(); }
  TWriteLock(const TWriteLock&) = delete;
  TWriteLock& operator=(const TWriteLock&) = delete;

 private:
  TReadWriteLock& mLock;
};
