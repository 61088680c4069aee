// Start-up and shutdown of the framework, and the guard that main runs them
// in.
//
// TSystem::Startup creates the framework's singletons in a fixed order,
// selects the primitives' processor build, opens the log, removes stale
// temporary folders and refuses a processor without SSE.  TSystem::Shutdown
// runs the queued commands, removes the process's temporary folder, closes
// the log and destroys the singletons.  Both run on the main thread.
#pragma once

#include <cstdint>

class TSystem {
 public:
  // Throws TReadableException when the processor lacks SSE (after the
  // framework is fully started, so that the refusal is logged).
  static void Startup();
  // Safe after a failed or partial start-up: every step that has something
  // to undo runs, even when an earlier one failed.
  static void Shutdown();
};

// main's guard: installs the crash handler, then TSystem::Startup, `run`
// (its result is the exit code) and TSystem::Shutdown.  A C++ exception
// that escapes any of them is logged under "CrashLog", the framework is
// shut down and the exit code is 1.  Fatal signals are handled by the crash
// handler (log, exit code 1).
int RunGuardedMain(int (*run)(void* argument), void* argument);

// Test control: `observer` is told the name of each start-up and shutdown
// step as it begins (null: nobody).
using TSystemStepObserver = void (*)(const char* step);
void SetSystemStepObserver(TSystemStepObserver observer);
// Test control: the feature query of the SSE test (null: the detected
// processor's, GetProcessorFeatures).
using TProcessorFeatureQuery = std::uint32_t (*)();
void SetProcessorFeatureQueryForTesting(TProcessorFeatureQuery query);
