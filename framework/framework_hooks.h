// Services of the upper framework layers (thread manager, thread
// communicator, command pool, system information, log, error reporting)
// that the lower layers - memory, reference counting, exceptions, strings -
// call.  The upper layers install them at start-up and remove them at
// shutdown, so that the lower layers do not depend on them at link time.
//
// Every entry may be null.  A null entry means:
//   isMainRunning            main counts as running (blocks are freed)
//   threadManagerExists      no thread manager: no logical ids, nothing is
//                            deferred to the main thread
//   logicalThreadId          -1 (no logical id) for every thread
//   allocate/freeCommandMemory  command memory comes from TMemory
//   postCommand              commands cannot be posted: a deletion meant for
//                            the main thread happens in place, the low-memory
//                            warning is skipped
//   communicatorExists       as postCommand being null
//   writeLog                 no log: nothing is logged
//   reportMessage            no report: the message is dropped
//
// Install the hooks while only one thread runs (start-up), and do not swap
// the command-memory pair while commands are alive.
#pragma once

#include <cstddef>
#include <cstdint>

class TCommand;
class TString;

struct TFrameworkHooks {
  bool (*isMainRunning)() = nullptr;
  bool (*threadManagerExists)() = nullptr;
  std::int32_t (*logicalThreadId)() = nullptr;
  bool (*communicatorExists)() = nullptr;
  void* (*allocateCommandMemory)(std::size_t size) = nullptr;
  void (*freeCommandMemory)(void* block) = nullptr;
  void (*postCommand)(std::int32_t target, TCommand* command) = nullptr;
  // Writes one line under a category when the log exists.
  void (*writeLog)(const char* category, const TString& text) = nullptr;
  // Reports a message: severity 0 information, 1 warning, 2 error.
  void (*reportMessage)(const TString& message, std::int32_t severity) = nullptr;
};

// The hooks in force (a process-wide record).
TFrameworkHooks& FrameworkHooks();

// Convenience queries over the hooks.
bool FrameworkIsMainRunning();
bool FrameworkThreadManagerExists();
// The calling thread's logical id, -1 when it has none or when there is no
// thread manager.
std::int32_t FrameworkLogicalThreadId();
