#include "framework/sync.h"

#include <chrono>

#include "platform/system.h"

void TStopwatch::Restart() { mStart = platformMonotonicMs(); }

float TStopwatch::ElapsedMs() const {
  std::uint64_t now = platformMonotonicMs();
  std::uint64_t diff = now >= mStart ? now - mStart : 0;
  return static_cast<float>(static_cast<double>(diff));
}

void TEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mFlag = true;
  }
  mSignalled.notify_one();
}

bool TEvent::Wait(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mMutex);
  if (timeoutMs == kInfinite) {
    mSignalled.wait(lock, [this] { return mFlag; });
  } else if (!mSignalled.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return mFlag; })) {
    return false;
  }
  mFlag = false;  // auto-reset: this wait consumes the signal
  return true;
}

void TCriticalSection::Enter() {
  for (int spin = 0; spin < kSpinCount; ++spin) {
    if (mMutex.try_lock()) return;
  }
  mMutex.lock();
}

void TCriticalSection::Leave() { mMutex.unlock(); }
