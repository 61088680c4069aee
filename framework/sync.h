// Events, the stopwatch and critical sections: the small synchronisation
// blocks the framework and the converter build on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Elapsed milliseconds since the last restart, from a monotonic 64-bit
// millisecond clock.  Not locked: each owner reads and restarts its own.
class TStopwatch {
 public:
  TStopwatch() { Restart(); }
  void Restart();
  // Milliseconds since the last restart; never negative.
  float ElapsedMs() const;

 private:
  std::uint64_t mStart = 0;
};

// Auto-reset event: Set leaves one signal, which releases exactly one waiter
// (or the next wait when nobody waits); two sets without a wait in between
// still leave only one signal.
class TEvent {
 public:
  // Time-out value that waits without limit.
  static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

  TEvent() = default;
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void Set();
  // True when the wait ended because the event was signalled (the signal is
  // consumed); false on time-out.  A time-out of 0 polls.
  bool Wait(std::uint32_t timeoutMs);

 private:
  std::mutex mMutex;
  std::condition_variable mSignalled;
  bool mFlag = false;
};

// Recursive lock: the owning thread may enter again and must leave as often
// as it entered.  Enter spins a while before it blocks, since the framework's
// sections guard short stretches.
class TCriticalSection {
 public:
  static constexpr int kSpinCount = 4000;

  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter();
  void Leave();

 private:
  std::recursive_mutex mMutex;
};

// Holds a critical section for the length of a block; a null section is
// ignored.
class TCriticalSectionLock {
 public:
  explicit TCriticalSectionLock(TCriticalSection* section) : mSection(section) {
    if (mSection) mSection->Enter();
  }
  ~TCriticalSectionLock() {
    if (mSection) mSection->Leave();
  }
  TCriticalSectionLock(const TCriticalSectionLock&) = delete;
  TCriticalSectionLock& operator=(const TCriticalSectionLock&) = delete;

 private:
  TCriticalSection* mSection;
};
