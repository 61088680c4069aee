#include "framework/thread_communicator.h"

#include "framework/framework_hooks.h"
#include "framework/thread_manager.h"

// --- TCommandQueue ------------------------------------------------------------

void TCommandQueue::Push(TCommand* command) {
  command->AddReference();
  TCommand* head = mHead.load(std::memory_order_relaxed);
  do {
    command->mLink = head;
  } while (!mHead.compare_exchange_weak(head, command, std::memory_order_release, std::memory_order_relaxed));
}

TCommand* TCommandQueue::TakeAllInOrder() {
  TCommand* chain = mHead.exchange(nullptr, std::memory_order_acquire);
  TCommand* ordered = nullptr;
  while (chain) {
    TCommand* next = chain->mLink;
    chain->mLink = ordered;
    ordered = chain;
    chain = next;
  }
  return ordered;
}

void TCommandQueue::Dispatch() {
  if (mHead.load(std::memory_order_acquire) == nullptr) return;
  // The busy flag keeps a second dispatcher of this queue out; it is taken
  // with a compare-and-swap so that two dispatchers cannot both see it free.
  std::int32_t idle = 0;
  if (!mBusy.compare_exchange_strong(idle, 1, std::memory_order_acq_rel)) return;
  struct BusyRelease {
    std::atomic<std::int32_t>& busy;
    ~BusyRelease() { busy.fetch_sub(1, std::memory_order_release); }
  } release{mBusy};

  TCommand* command = TakeAllInOrder();
  while (command) {
    TCommand* next = command->mLink;
    command->mLink = nullptr;
    try {
      command->Execute();
    } catch (...) {
      // A command that fails counts as done: it is released like any other.
    }
    command->ReleaseReference();
    command = next;
  }
}

// --- TThreadCommunicator --------------------------------------------------------

namespace {

bool HookCommunicatorExists() { return TThreadCommunicator::Instance() != nullptr; }

void HookPostCommand(std::int32_t target, TCommand* command) {
  if (TThreadCommunicator* communicator = TThreadCommunicator::Instance()) {
    communicator->PostCommand(target, command);
  }
}

bool ValidTarget(std::int32_t id) { return id >= 0 && id < TThreadCommunicator::kThreadCount; }

}  // namespace

TThreadCommunicator::TThreadCommunicator() : mQueues{}, mNoIdQueues{} {
  try {
    for (TCommandQueue*& queue : mQueues) queue = new TCommandQueue;
    for (TCommandQueue*& queue : mNoIdQueues) queue = new TCommandQueue;
  } catch (...) {
    for (TCommandQueue* queue : mQueues) delete queue;
    for (TCommandQueue* queue : mNoIdQueues) delete queue;
    throw;
  }
  TFrameworkHooks& hooks = FrameworkHooks();
  hooks.communicatorExists = &HookCommunicatorExists;
  hooks.postCommand = &HookPostCommand;
}

TThreadCommunicator::~TThreadCommunicator() {
  TFrameworkHooks& hooks = FrameworkHooks();
  if (hooks.communicatorExists == &HookCommunicatorExists) hooks.communicatorExists = nullptr;
  if (hooks.postCommand == &HookPostCommand) hooks.postCommand = nullptr;
  for (TCommandQueue* queue : mQueues) delete queue;
  for (TCommandQueue* queue : mNoIdQueues) delete queue;
}

TCommandQueue* TThreadCommunicator::Queue(std::int32_t sender, std::int32_t target) {
  if (!ValidTarget(target)) return nullptr;
  if (sender == -1) return mNoIdQueues[target];
  if (!ValidTarget(sender)) return nullptr;
  return mQueues[sender * kThreadCount + target];
}

void TThreadCommunicator::PostCommand(std::int32_t target, TCommand* command) {
  if (!command || !ValidTarget(target)) return;
  TThreadManager* manager = TThreadManager::Instance();
  std::int32_t sender = manager ? manager->GetLogicalThreadId() : -1;
  if (!ValidTarget(sender)) sender = -1;
  Queue(sender, target)->Push(command);
}

std::int32_t TThreadCommunicator::DispatchAll() {
  TThreadManager* manager = TThreadManager::Instance();
  if (manager) manager->UnregisterLogicalThread(TThreadManager::kMainThread);
  std::int32_t passes = 0;
  bool foundWork = true;
  while (foundWork && passes < kMaxDispatchPasses) {
    foundWork = false;
    ++passes;
    for (std::int32_t target = 0; target < kThreadCount; ++target) {
      // No thread can take this id while the main thread acts as it.
      TCriticalSectionLock idHold(manager ? &manager->LogicalThreadSection(target) : nullptr);
      if (manager) manager->RegisterLogicalThread(target);
      for (std::int32_t sender = 0; sender <= kThreadCount; ++sender) {
        TCommandQueue* queue =
            sender < kThreadCount ? mQueues[sender * kThreadCount + target] : mNoIdQueues[target];
        if (!queue->HasWork()) continue;
        foundWork = true;
        TCriticalSectionLock dispatchHold(&mDispatchSections[target]);
        queue->Dispatch();
      }
      if (manager) manager->UnregisterLogicalThread(target);
    }
  }
  if (manager) manager->RegisterLogicalThread(TThreadManager::kMainThread);
  return passes;
}

TThreadCommunicator* CreateThreadCommunicator() {
  return CreateSingleton<TThreadCommunicator>(
      []() -> TThreadCommunicator* { return new TThreadCommunicator; });
}

void DestroyThreadCommunicator() { DestroySingleton<TThreadCommunicator>(); }
