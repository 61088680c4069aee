#include "converter/framework_bridge.h"

#include "framework/files.h"
#include "framework/log.h"
#include "framework/system_info.h"
#include "framework/system_startup.h"

void ConverterEnterMain() { EnterMainRunning(); }
void ConverterLeaveMain() { LeaveMainRunning(); }

void ConverterStartup() { TSystem::Startup(); }
void ConverterShutdown() { TSystem::Shutdown(); }

std::int32_t ConverterGuardedRun(std::int32_t (*body)(void* context), void* context) {
  return RunGuardedMain(body, context);
}

void ConverterLogMessage(const char* category, const char* text) {
  if (TLog* log = TLog::Instance()) log->WriteMessage(category, text);
}

bool ConverterLogEchoesToConsole() {
  const TLog* log = TLog::Instance();
  return log && log->IsEchoToConsole();
}

void ConverterSetLogEcho(bool echo) {
  if (TLog* log = TLog::Instance()) log->SetEchoToConsole(echo);
}

std::int32_t ConverterNumberOfProcessors() { return GetNumberOfProcessors(); }

TString ConverterModuleFilePath() { return GetModuleFilePath(); }

TString ConverterExtractFileName(const TString& path) { return ExtractFileName(path); }
TString ConverterRemoveFileExtension(const TString& path) { return RemoveFileExtension(path); }
