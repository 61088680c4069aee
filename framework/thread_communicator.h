// The thread communicator: lock-free command queues between logical
// threads.
//
// Each ordered pair of logical threads has its own queue, and threads
// without a logical id share one queue per target.  Posting never blocks.
// Queued commands run at one point only: TThreadCommunicator::DispatchAll,
// the first step of the shutdown, where the main thread acts in turn as each
// logical thread and executes that thread's queues.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/reference_countable.h"
#include "framework/sync.h"
#include "framework/thread_context.h"

// A stack of posted commands, newest at the head, chained through
// TCommand::mLink.  A queued command holds one reference of its own.
class TCommandQueue {
 public:
  TCommandQueue() = default;
  TCommandQueue(const TCommandQueue&) = delete;
  TCommandQueue& operator=(const TCommandQueue&) = delete;

  // Count + 1, then lock-free insertion at the head.
  void Push(TCommand* command);
  // Detaches the whole chain and returns it oldest first (or null).
  TCommand* TakeAllInOrder();
  // Executes the queued commands oldest first and releases each one's
  // queue reference; a command that throws is released like one that ran.
  // Returns at once when the queue is empty or another dispatch of it runs.
  void Dispatch();

  // Whether commands wait or a dispatch runs.
  bool HasWork() const {
    return mHead.load(std::memory_order_acquire) != nullptr || mBusy.load(std::memory_order_acquire) != 0;
  }
  bool IsEmpty() const { return mHead.load(std::memory_order_acquire) == nullptr; }

 private:
  std::atomic<std::int32_t> mBusy{0};
  std::atomic<TCommand*> mHead{nullptr};
};

class TThreadCommunicator : public TSingleton<TThreadCommunicator> {
 public:
  static constexpr std::int32_t kThreadCount = 7;
  static constexpr std::int32_t kMaxDispatchPasses = 5;

  // Allocates the 56 queues; installs the framework's posting hooks.
  TThreadCommunicator();
  // Frees the queues; commands still queued are neither run nor released.
  ~TThreadCommunicator() override;
  TThreadCommunicator(const TThreadCommunicator&) = delete;
  TThreadCommunicator& operator=(const TThreadCommunicator&) = delete;

  // Queues `command` for logical thread `target` (0-6) on the queue of the
  // calling thread's logical id (the no-id queue for a thread without one).
  // A null command, target -1 or any target outside 0-6 posts nothing and
  // leaves the command's count alone.
  void PostCommand(std::int32_t target, TCommand* command);
  // The shutdown dispatch on the calling (main) thread: passes over targets
  // 0 to 6, each acting as that logical thread, while a pass found work, at
  // most five; the caller is logical thread 3 again afterwards.  Returns the
  // number of passes made.
  std::int32_t DispatchAll();

  // Queue of `sender` (0-6, or -1 for the no-id queue) to `target` (0-6);
  // null outside those ranges.
  TCommandQueue* Queue(std::int32_t sender, std::int32_t target);

 private:
  TCommandQueue* mQueues[kThreadCount * kThreadCount];
  TCommandQueue* mNoIdQueues[kThreadCount];
  TCriticalSection mDispatchSections[kThreadCount];
};

// Start-up and shutdown: CreateSingleton / DestroySingleton of the
// communicator.
TThreadCommunicator* CreateThreadCommunicator();
void DestroyThreadCommunicator();
