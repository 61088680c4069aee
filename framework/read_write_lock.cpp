#include "framework/read_write_lock.h"

#include "platform/system.h"

TReadWriteLock::TReadWriteLock() { mReaders.reserve(7); }

TReadWriteLock::TReader* TReadWriteLock::FindReader(std::uint32_t thread) {
  for (TReader& reader : mReaders) {
    if (reader.thread == thread) return &reader;
  }
  return nullptr;
}

void TReadWriteLock::LockRead() {
  const std::uint32_t t = platformCurrentThreadId();
  mSection.Enter();
  for (;;) {
    if (FindReader(t)) break;
    if (mWaitingWriters.load() + mWriteHolds == 0) break;
    if (mWriter == t && mWriteHolds > 0) break;
    mSection.Leave();
    mReleased.Wait(kPollMs);
    mSection.Enter();
  }
  if (TReader* reader = FindReader(t)) {
    ++reader->holds;
  } else {
    mReaders.push_back({t, 1});
  }
  mSection.Leave();
}

void TReadWriteLock::UnlockRead() {
  const std::uint32_t t = platformCurrentThreadId();
  TCriticalSectionLock lock(&mSection);
  for (auto it = mReaders.begin(); it != mReaders.end(); ++it) {
    if (it->thread != t) continue;
    if (--it->holds == 0) {
      mReaders.erase(it);
      mReleased.Set();
    }
    return;
  }
}

void TReadWriteLock::LockWrite() {
  mSection.Enter();
  const std::uint32_t t = platformCurrentThreadId();
  // The waiting count stays raised from the first wait until the hold is
  // taken, so that no new reader slips in between two polls.
  bool waiting = false;
  while (mWriteHolds + static_cast<std::int32_t>(mReaders.size()) != 0) {
    if (mWriter == t) break;
    if (mReaders.size() == 1 && mReaders[0].thread == t) break;  // a lone reader upgrades
    if (!waiting) {
      mWaitingWriters.fetch_add(1);
      waiting = true;
    }
    mSection.Leave();
    mReleased.Wait(kPollMs);
    mSection.Enter();
  }
  if (waiting) mWaitingWriters.fetch_sub(1);
  ++mWriteHolds;
  mWriter = t;
  mSection.Leave();
}

void TReadWriteLock::UnlockWrite() {
  TCriticalSectionLock lock(&mSection);
  if (mWriteHolds <= 0 || mWriter != platformCurrentThreadId()) return;
  if (--mWriteHolds == 0) {
    mWriter = 0;
    mReleased.Set();
  }
}

std::int32_t TReadWriteLock::ReadHoldCount(std::uint32_t threadId) {
  TCriticalSectionLock lock(&mSection);
  TReader* reader = FindReader(threadId);
  return reader ? reader->holds : 0;
}

std::int32_t TReadWriteLock::ReaderCount() {
  TCriticalSectionLock lock(&mSection);
  return static_cast<std::int32_t>(mReaders.size());
}

std::int32_t TReadWriteLock::WriteHoldCount() {
  TCriticalSectionLock lock(&mSection);
  return mWriteHolds;
}

std::uint32_t TReadWriteLock::WriterThreadId() {
  TCriticalSectionLock lock(&mSection);
  return mWriter;
}
