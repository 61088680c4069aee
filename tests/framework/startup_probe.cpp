// A small program that the start-up, shutdown and crash tests run as a
// child process: it starts the framework the way main does (RunGuardedMain)
// and then does what its first argument asks.
//
//   order          prints each start-up and shutdown step, checks the
//                  started state, posts a command, makes the temp folder
//   no-sse         start-up on an injected processor without SSE
//   throw          the run throws a C++ exception
//   fault-worker   a worker thread writes through a null pointer while the
//                  main thread keeps logging
//   overflow-worker  a worker thread overflows its stack
//   abort          the main thread aborts
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "framework/command_pool.h"
#include "framework/crash_handler.h"
#include "framework/error_report.h"
#include "framework/files.h"
#include "framework/folders.h"
#include "framework/log.h"
#include "framework/system_info.h"
#include "framework/system_startup.h"
#include "framework/thread_communicator.h"
#include "framework/thread_manager.h"

// Kept out of line and exported, so that the stack trace can name them.  The
// sanitizers' own checks are off here: the fault itself is what is tested.
__attribute__((noinline, no_sanitize("address", "undefined"))) void ProbeWriteThroughNull(
    volatile int* target) {
  *target = 42;
  asm volatile("" ::: "memory");
}

// Never ends by itself: the counter only stops it once it wraps around.
__attribute__((noinline)) int ProbeRecurse(int depth) {
  volatile char chunk[512];
  chunk[0] = static_cast<char>(depth);
  if (depth == -1) return 0;
  return ProbeRecurse(depth + 1) + chunk[0];
}

namespace {

const char* gMode = "";

void PrintStep(const char* step) {
  std::printf("step: %s\n", step);
  std::fflush(stdout);
}

std::uint32_t NoSse() { return kProcessorFeatureMMX; }

class LogAtShutdown : public TCommand {
 public:
  void Execute() override {
    if (TLog* log = TLog::Instance()) log->WriteMessage("Command", "dispatched at shutdown");
  }
};

std::uint32_t FaultingWorker(void*) {
  PrepareThreadForCrashHandling();
  if (TLog* log = TLog::Instance()) log->WriteMessage("Worker", "about to fault");
  ProbeWriteThroughNull(nullptr);
  return 0;
}

std::uint32_t OverflowingWorker(void*) {
  PrepareThreadForCrashHandling();
  if (TLog* log = TLog::Instance()) log->WriteMessage("Worker", "about to overflow");
  return static_cast<std::uint32_t>(ProbeRecurse(0));
}

int RunOrder() {
  std::printf("run\n");
  const bool started = TLog::Instance() && TSystemGlobals::Instance() && TThreadManager::Instance() &&
                       TThreadCommunicator::Instance() && TCommandPoolGlobals::Instance();
  std::printf("started: %s\n", started ? "yes" : "no");
  std::printf("main thread: %d\n", TThreadManager::Instance()->GetLogicalThreadId());
  TLog::Instance()->SetEchoToConsole(false);
  TLog::Instance()->WriteMessage("Probe", "running");
  // The command waits in its queue until the shutdown dispatch.
  TThreadCommunicator::Instance()->PostCommand(3, new LogAtShutdown);
  const TString temp = TempFolder();
  TFile scratch(AppendPath(temp, TString(u"scratch.bin")));
  if (scratch.Open(TFile::kWrite)) {
    scratch.Write("x", 1);
    scratch.Close();
  }
  std::printf("temp: %s\n", temp.ToNarrow(3));
  std::fflush(stdout);
  return 7;
}

int RunFaultWorker(bool overflow) {
  TLog::Instance()->SetEchoToConsole(false);
  TThreadManager::Instance()->CreateThread(overflow ? &OverflowingWorker : &FaultingWorker, nullptr, -1, 2);
  // The main thread keeps taking the log's lock while the worker crashes.
  for (long i = 0;; ++i) TLog::Instance()->Write("Main", "tick %ld", i);
}

int Run(void*) {
  if (std::strcmp(gMode, "order") == 0) return RunOrder();
  if (std::strcmp(gMode, "no-sse") == 0) {
    std::printf("run reached\n");
    return 0;
  }
  if (std::strcmp(gMode, "throw") == 0) {
    // The temporary folder exists when the run fails.
    std::printf("temp: %s\n", TempFolder().ToNarrow(3));
    std::fflush(stdout);
    throw std::runtime_error("probe failure");
  }
  if (std::strcmp(gMode, "fault-worker") == 0) return RunFaultWorker(false);
  if (std::strcmp(gMode, "overflow-worker") == 0) return RunFaultWorker(true);
  if (std::strcmp(gMode, "abort") == 0) std::abort();
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  gMode = argv[1];
  EnterMainRunning();
  if (std::strcmp(gMode, "order") == 0) SetSystemStepObserver(&PrintStep);
  if (std::strcmp(gMode, "no-sse") == 0) SetProcessorFeatureQueryForTesting(&NoSse);
  const int code = RunGuardedMain(&Run, nullptr);
  if (std::strcmp(gMode, "order") == 0) {
    const bool stopped = !TLog::Instance() && !TSystemGlobals::Instance() && !TThreadManager::Instance() &&
                         !TThreadCommunicator::Instance() && !TCommandPoolGlobals::Instance();
    std::printf("stopped: %s\n", stopped ? "yes" : "no");
  }
  LeaveMainRunning();
  std::fflush(stdout);
  return code;
}
