#include "framework/system_startup.h"

#include <cstdlib>
#include <exception>

#include "framework/command_pool.h"
#include "framework/console.h"
#include "framework/crash_handler.h"
#include "framework/error_report.h"
#include "framework/exceptions.h"
#include "framework/files.h"
#include "framework/folders.h"
#include "framework/log.h"
#include "framework/system_info.h"
#include "framework/thread_communicator.h"
#include "framework/thread_context.h"
#include "framework/thread_manager.h"
#include "framework/tstring.h"
#include "platform/system.h"
#include "primitives/core/cpu.h"

namespace {

TSystemStepObserver gObserver = nullptr;
TProcessorFeatureQuery gFeatureQuery = nullptr;

void Step(const char* name) {
  if (gObserver) gObserver(name);
}

TSystemGlobals* NewSystemGlobals() { return new TSystemGlobals; }

// Runs one shutdown step; a failure is already logged by the exception
// itself and does not keep the later steps from running.
template <class F>
void ShutdownStep(const char* name, F step) {
  Step(name);
  try {
    step();
  } catch (...) {
  }
}

}  // namespace

void TSystem::Startup() {
  Step("SeedRandom");
  std::srand(static_cast<unsigned>(platformMonotonicMs()));
  Step("primInitCpuDispatch");
  primInitCpuDispatch();
  Step("DetectProcessor");
  DetectProcessor();
  Step("EnableLowFragmentationHeap");
  EnableLowFragmentationHeap();
  Step("CreateThreadManager");
  CreateThreadManager();
  Step("CreateThreadCommunicator");
  CreateThreadCommunicator();
  Step("CreateSystemGlobals");
  CreateSingleton<TSystemGlobals>(&NewSystemGlobals);
  Step("StartStringSystem");
  StartStringSystem();
  Step("SetOutOfMemoryText");
  SetOutOfMemoryText();
  Step("CreateCommandPool");
  CreateCommandPool();
  Step("OpenApplicationLog");
  OpenApplicationLog();
  Step("RemoveStaleTempFolders");
  RemoveStaleTempFolders();
  Step("TestSSE");
  const std::uint32_t features = gFeatureQuery ? gFeatureQuery() : GetProcessorFeatures();
  if (!(features & kProcessorFeatureSSE)) {
    if (TLog* log = TLog::Instance()) {
      log->Write("CPU", "SSE instruction set not supported. Bailing out..");
    }
    throw TReadableException(TString::ExpandTemplates(
        TString(u"$MProductString requires a CPU with the SSE instruction set enabled and hence "
                u"cannot run on this computer.")));
  }
}

void TSystem::Shutdown() {
  ShutdownStep("DispatchAll", [] {
    if (TThreadCommunicator* communicator = TThreadCommunicator::Instance()) {
      communicator->DispatchAll();
    }
  });
  ShutdownStep("DeleteTempFolder", [] {
    const TString folder = TempFolder();
    if (FolderExists(folder)) DeleteFolderTree(folder);
  });
  ShutdownStep("CloseApplicationLog", [] { CloseApplicationLog(); });
  ShutdownStep("DestroyCommandPool", [] { DestroyCommandPool(); });
  ShutdownStep("ClearOutOfMemoryText", [] { ClearOutOfMemoryText(); });
  ShutdownStep("StopStringSystem", [] { StopStringSystem(); });
  ShutdownStep("DestroySystemGlobals", [] { DestroySingleton<TSystemGlobals>(); });
  ShutdownStep("DestroyThreadCommunicator", [] { DestroyThreadCommunicator(); });
  ShutdownStep("DestroyThreadManager", [] { DestroyThreadManager(); });
  ShutdownStep("ClearRegistrations", [] { TThreadContext::ClearRegistrations(); });
}

int RunGuardedMain(int (*run)(void* argument), void* argument) {
  InstallCrashHandler();
  try {
    TSystem::Startup();
    const int code = run ? run(argument) : 0;
    TSystem::Shutdown();
    return code;
  } catch (...) {
    LogUnhandledException(std::current_exception());
  }
  try {
    TSystem::Shutdown();
  } catch (...) {
  }
  return 1;
}

void SetSystemStepObserver(TSystemStepObserver observer) { gObserver = observer; }

void SetProcessorFeatureQueryForTesting(TProcessorFeatureQuery query) { gFeatureQuery = query; }
