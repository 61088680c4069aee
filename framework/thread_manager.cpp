#include "framework/thread_manager.h"

#include <atomic>
#include <cstdio>
#include <new>
#include <vector>

#include "framework/framework_hooks.h"
#include "framework/tstring.h"
#include "platform/system.h"
#include "platform/threads.h"

namespace {

std::atomic<bool> gManagerEnabled{false};

// The multimedia scheduler's entry points; this system has none, so they
// stay null and threads run without the "Pro Audio" task.
using AvSetCharacteristicsFn = std::uintptr_t (*)(const char16_t* task, std::uint32_t* index);
using AvSetPriorityFn = bool (*)(std::uintptr_t task, std::int32_t priority);
using AvRevertFn = bool (*)(std::uintptr_t task);
AvSetCharacteristicsFn gAvSetCharacteristics = nullptr;
AvSetPriorityFn gAvSetPriority = nullptr;
AvRevertFn gAvRevert = nullptr;

// Where a started thread leaves its exit code for the thread that waits.
struct TThreadExit {
  std::atomic<std::uint32_t> code{0};
};

// Everything a new thread needs, complete before its procedure runs.  The
// thread owns it from its first instruction and frees it at its end.
struct TThreadStartRecord {
  std::int32_t creatorContext = -1;
  TThreadManager::ThreadProcedure procedure = nullptr;
  void* argument = nullptr;
  std::int32_t logicalId = -1;
  std::int32_t level = 2;
  PlatformThreadHandle handle = 0;
  std::uint32_t threadId = 0;
  TThreadExit* exit = nullptr;
  // The thread reports its id, then waits until its creator has filled in
  // the handle: the "created suspended" state.
  TEvent started;
  TEvent resume;
  // The creator and the thread each hold the record while they may touch
  // its events; the last one to let go frees it.
  std::atomic<int> holders{2};
};

void LetGo(TThreadStartRecord* record) {
  if (record->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete record;
}

void LogThreadFailure(int errorCode) {
  auto write = FrameworkHooks().writeLog;
  if (!write) return;
  char reason[256];
  platformErrorText(errorCode, reason, sizeof reason);
  char line[400];
  std::snprintf(line, sizeof line, "Creating a new thread failed with the error: '%s'!", reason);
  try {
    write("System", TString::FromNarrow(line, 0));
  } catch (...) {
    // Nothing that goes wrong while logging reaches the caller.
  }
}

bool HookThreadManagerExists() { return TThreadManager::Instance() != nullptr; }

std::int32_t HookLogicalThreadId() {
  TThreadManager* manager = TThreadManager::Instance();
  return manager ? manager->GetLogicalThreadId() : -1;
}

bool ValidLogicalId(std::int32_t id) { return id >= 0 && id < TThreadManager::kLogicalThreadCount; }

}  // namespace

// Threads started here and not yet waited for.
struct TThreadManager::TStartedThreads {
  struct Entry {
    std::uint32_t threadId;
    PlatformThreadHandle handle;
    TThreadExit* exit;
  };
  std::vector<Entry> entries;
};

TThreadManager::TThreadManager() : mStarted(new TStartedThreads) {
  TFrameworkHooks& hooks = FrameworkHooks();
  hooks.threadManagerExists = &HookThreadManagerExists;
  hooks.logicalThreadId = &HookLogicalThreadId;
  RegisterLogicalThread(kMainThread);
}

TThreadManager::~TThreadManager() {
  TFrameworkHooks& hooks = FrameworkHooks();
  if (hooks.threadManagerExists == &HookThreadManagerExists) hooks.threadManagerExists = nullptr;
  if (hooks.logicalThreadId == &HookLogicalThreadId) hooks.logicalThreadId = nullptr;
  {
    TCriticalSectionLock hold(&mRecordSection);
    // Threads nobody waited for run on by themselves; their exit blocks
    // stay, since they may still write to them.
    for (const TStartedThreads::Entry& entry : mStarted->entries) platformDetachThread(entry.handle);
    mStarted->entries.clear();
    for (std::int32_t i = 0; i < mRecords.Count(); ++i) delete mRecords[i];
  }
  delete mStarted;
}

TThreadManager* TThreadManager::Instance() {
  return gManagerEnabled.load(std::memory_order_acquire) ? TSingleton<TThreadManager>::Instance() : nullptr;
}

TThreadManager::TLocalThreadInfo& TThreadManager::GetThreadRecord() {
  auto* record = static_cast<TLocalThreadInfo*>(mRecordSlot.GetValue());
  if (record) return *record;
  record = new TLocalThreadInfo;
  {
    TCriticalSectionLock hold(&mRecordSection);
    try {
      mRecords.Append(record);
    } catch (...) {
      delete record;
      throw;
    }
  }
  mRecordSlot.SetValue(record);
  return *record;
}

std::int32_t TThreadManager::RecordCount() {
  TCriticalSectionLock hold(&mRecordSection);
  return mRecords.Count();
}

void TThreadManager::RegisterLogicalThread(std::int32_t id) {
  if (!ValidLogicalId(id)) return;
  TCriticalSectionLock hold(&mIdSections[id]);
  TLocalThreadInfo& record = GetThreadRecord();
  record.logicalId = id;
  record.workerIndex = -1;
}

void TThreadManager::UnregisterLogicalThread(std::int32_t id) {
  if (!ValidLogicalId(id)) return;
  TLocalThreadInfo& record = GetThreadRecord();
  record.logicalId = -1;
  record.workerIndex = -1;
}

std::int32_t TThreadManager::GetLogicalThreadId() {
  const TLocalThreadInfo& record = GetThreadRecord();
  return record.workerIndex == -1 ? record.logicalId : -1;
}

bool TThreadManager::IsWorkerOf(std::int32_t id) {
  const TLocalThreadInfo& record = GetThreadRecord();
  return record.logicalId == id && record.workerIndex != -1;
}

std::int32_t TThreadManager::GetWorkerIndex() { return GetThreadRecord().workerIndex; }

std::uint32_t TThreadManager::CreateThread(ThreadProcedure procedure, void* argument, std::int32_t logicalId,
                                           std::int32_t level) {
  auto* record = new (std::nothrow) TThreadStartRecord;
  auto* exit = new (std::nothrow) TThreadExit;
  if (!record || !exit) {
    delete record;
    delete exit;
    LogThreadFailure(12 /* out of memory */);
    return 0;
  }
  record->creatorContext = TThreadContext::CurrentIndex();
  record->procedure = procedure;
  record->argument = argument;
  record->logicalId = logicalId;
  record->level = level;
  record->exit = exit;

  PlatformThreadHandle handle = 0;
  int error = 0;
  if (!platformStartThread(&TThreadManager::ThreadEntry, record, &handle, &error)) {
    LogThreadFailure(error);
    delete record;
    delete exit;
    return 0;
  }
  record->started.Wait(TEvent::kInfinite);
  const std::uint32_t threadId = record->threadId;
  record->handle = handle;
  bool kept = true;
  {
    TCriticalSectionLock hold(&mRecordSection);
    try {
      mStarted->entries.push_back({threadId, handle, exit});
    } catch (...) {
      kept = false;
    }
  }
  if (!kept) platformDetachThread(handle);  // runs on, cannot be waited for
  record->resume.Set();
  LetGo(record);
  return threadId;
}

bool TThreadManager::WaitForThread(std::uint32_t threadId, std::uint32_t* exitCode) {
  // A thread cannot wait for its own end.
  if (threadId == platformCurrentThreadId()) return false;
  TStartedThreads::Entry found{};
  bool known = false;
  {
    TCriticalSectionLock hold(&mRecordSection);
    auto& entries = mStarted->entries;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      if (it->threadId == threadId) {
        found = *it;
        entries.erase(it);
        known = true;
        break;
      }
    }
  }
  if (!known) return false;
  platformJoinThread(found.handle);
  if (exitCode) *exitCode = found.exit->code.load(std::memory_order_acquire);
  delete found.exit;
  return true;
}

void TThreadManager::ThreadEntry(void* raw) {
  auto* record = static_cast<TThreadStartRecord*>(raw);
  record->threadId = platformCurrentThreadId();
  record->started.Set();
  record->resume.Wait(TEvent::kInfinite);

  // The runtime's random generator is one per process here; the start-up
  // seeds it, so a new thread leaves it alone.
  TThreadContextSwitch context(record->creatorContext);
  SetThreadPriorityLevel(record->level);
  std::uintptr_t task = 0;
  const std::int32_t schedulerPriority = ProAudioPriorityFor(record->logicalId, record->level);
  if (schedulerPriority >= 0) task = JoinProAudioTask(schedulerPriority);

  const std::int32_t id = record->logicalId;
  if (id != -1) {
    if (TThreadManager* manager = Instance()) manager->RegisterLogicalThread(id);
  }
  const std::uint32_t code = record->procedure(record->argument);
  if (id != -1) {
    if (TThreadManager* manager = Instance()) manager->UnregisterLogicalThread(id);
  }
  if (task) RevertMultimediaScheduling(task);
  record->exit->code.store(code, std::memory_order_release);
  LetGo(record);
}

void CreateThreadManager() {
  LoadMultimediaScheduling();
  gManagerEnabled.store(true, std::memory_order_release);
  try {
    CreateSingleton<TThreadManager>([]() -> TThreadManager* { return new TThreadManager; });
  } catch (...) {
    gManagerEnabled.store(false, std::memory_order_release);
    throw;
  }
}

void DestroyThreadManager() {
  gManagerEnabled.store(false, std::memory_order_release);
  DestroySingleton<TThreadManager>();
}

std::int32_t PriorityOfLevel(std::int32_t level) {
  static constexpr std::int32_t kPriorities[6] = {-2, -1, 0, 1, 2, 15};
  return level >= 0 && level < 6 ? kPriorities[level] : kPriorityUnchanged;
}

void SetThreadPriorityLevel(std::int32_t level) {
  // The system's priorities by niceness: lowest, below normal, normal,
  // above normal, highest, time critical.
  int niceness;
  switch (PriorityOfLevel(level)) {
    case -2:
      niceness = 10;
      break;
    case -1:
      niceness = 5;
      break;
    case 0:
      niceness = 0;
      break;
    case 1:
      niceness = -5;
      break;
    case 2:
      niceness = -10;
      break;
    case 15:
      niceness = -20;
      break;
    default:
      return;
  }
  // Best effort: without the privilege a higher priority is refused and the
  // thread keeps the one it has.
  platformSetCurrentThreadNiceness(niceness);
}

void LoadMultimediaScheduling() {
  // No multimedia class scheduler on this system: the entry points stay
  // absent.
  gAvSetCharacteristics = nullptr;
  gAvSetPriority = nullptr;
  gAvRevert = nullptr;
}

std::uintptr_t JoinProAudioTask(std::int32_t schedulerPriority) {
  if (!gAvSetCharacteristics || !gAvSetPriority) return 0;
  std::uint32_t taskIndex = 0;
  std::uintptr_t task = gAvSetCharacteristics(u"Pro Audio", &taskIndex);
  if (task) gAvSetPriority(task, schedulerPriority);
  return task;
}

void RevertMultimediaScheduling(std::uintptr_t task) {
  if (gAvRevert) gAvRevert(task);
}

std::int32_t ProAudioPriorityFor(std::int32_t logicalId, std::int32_t level) {
  if (logicalId == 0 || logicalId == 1) return 2;
  if (logicalId == 2) return 1;
  if (logicalId >= 3 && logicalId <= 6) return -1;
  if (level == 4) return 0;
  if (level == 5) return 1;
  return -1;
}
