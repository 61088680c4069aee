// The thread manager: logical thread identities and the start of new
// threads.
//
// The framework knows seven logical threads, ids 0 to 6.  A thread that is
// registered under an id acts as that logical thread for the command queues,
// the command pool, deferred deletion and the log.  Id 3 is the main thread:
// the thread that constructs the manager registers itself as 3.  Threads
// started without an id (-1) have no logical identity.
//
// Every thread started here stays joinable: its owner waits for it with
// TThreadManager::WaitForThread, which also gives the procedure's exit code.
#pragma once

#include <cstdint>

#include "framework/arrays.h"
#include "framework/sync.h"
#include "framework/thread_context.h"

class TThreadManager : public TSingleton<TThreadManager> {
 public:
  static constexpr std::int32_t kLogicalThreadCount = 7;
  static constexpr std::int32_t kMainThread = 3;
  static constexpr std::int32_t kNoLogicalThread = -1;

  // One per thread that ever asked; kept until the manager is destroyed.
  struct TLocalThreadInfo {
    std::int32_t logicalId = -1;
    std::int32_t workerIndex = -1;
  };

  // A thread's procedure: one pointer-sized argument, a 32-bit exit code.
  using ThreadProcedure = std::uint32_t (*)(void* argument);

  // Builds the sections and the record table, then registers the
  // constructing thread as logical thread 3.
  TThreadManager();
  ~TThreadManager() override;
  TThreadManager(const TThreadManager&) = delete;
  TThreadManager& operator=(const TThreadManager&) = delete;

  // The manager while it is enabled; null before CreateThreadManager and
  // from the start of DestroyThreadManager on.
  static TThreadManager* Instance();

  // Starts `procedure(argument)` on a new thread acting as logical thread
  // `logicalId` (-1: none) at priority `level` (0 lowest .. 2 normal .. 5
  // time critical; other values leave the priority alone).  The thread's
  // record is complete before the procedure runs.  Returns the new thread's
  // operating-system id, or 0 when no thread could be made (the failure is
  // logged under "System").
  std::uint32_t CreateThread(ThreadProcedure procedure, void* argument, std::int32_t logicalId,
                             std::int32_t level);
  // Waits until the thread with operating-system id `threadId` (as returned
  // by CreateThread) has ended and gives its exit code.  False when no
  // unjoined thread of that id was started here.  Call it once per thread,
  // never from the thread itself.
  bool WaitForThread(std::uint32_t threadId, std::uint32_t* exitCode = nullptr);

  // The calling thread's record := {id, -1}, under section id.  Ids outside
  // 0-6 are ignored.
  void RegisterLogicalThread(std::int32_t id);
  // The calling thread's record := {-1, -1}.
  void UnregisterLogicalThread(std::int32_t id);
  // The record's id when it is not a worker, else -1.
  std::int32_t GetLogicalThreadId();
  bool IsLogicalThread(std::int32_t id) { return GetLogicalThreadId() == id; }
  bool IsWorkerOf(std::int32_t id);
  std::int32_t GetWorkerIndex();
  // The calling thread's record, made {-1, -1} on first use.
  TLocalThreadInfo& GetThreadRecord();

  // The section of logical id `id` (0-6): held while a thread registers
  // under the id and while the shutdown dispatch acts as it.
  TCriticalSection& LogicalThreadSection(std::int32_t id) { return mIdSections[id]; }

  // Number of thread records made so far.
  std::int32_t RecordCount();

 private:
  static void ThreadEntry(void* startRecord);

  TCriticalSection mIdSections[kLogicalThreadCount];
  TCriticalSection mRecordSection;
  TGrowableArray<TLocalThreadInfo*> mRecords;
  TThreadLocalSlot mRecordSlot;
  struct TStartedThreads;
  TStartedThreads* mStarted;
};

// Start-up and shutdown of the manager: CreateThreadManager loads the
// multimedia scheduling, enables the manager and creates the singleton (the
// calling thread becomes logical thread 3); DestroyThreadManager disables it
// first, then destroys it.
void CreateThreadManager();
void DestroyThreadManager();

// Operating-system priority of a thread by the six-step level: 0 lowest,
// 1 below normal, 2 normal, 3 above normal, 4 highest, 5 time critical.
// Any other level leaves the priority unchanged.  Levels above normal are
// best effort (they need privileges this process may not have).  Returns
// the priority value the level maps to, or kPriorityUnchanged.
constexpr std::int32_t kPriorityUnchanged = 0x7FFFFFFF;
std::int32_t PriorityOfLevel(std::int32_t level);
void SetThreadPriorityLevel(std::int32_t level);  // of the calling thread

// Multimedia class scheduling.  This system has no "Pro Audio" task, so the
// entry points stay absent: JoinProAudioTask gives 0 and nothing is
// reverted, the path of a system without the scheduler.
void LoadMultimediaScheduling();
std::uintptr_t JoinProAudioTask(std::int32_t schedulerPriority);
void RevertMultimediaScheduling(std::uintptr_t task);
// The scheduler priority a thread joins the task with (0 normal, 1 high,
// 2 critical), or -1 for none, chosen by logical id, then by level.
std::int32_t ProAudioPriorityFor(std::int32_t logicalId, std::int32_t level);
