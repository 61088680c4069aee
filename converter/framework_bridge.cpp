#include "converter/framework_bridge.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <exception>

#include "framework/exceptions.h"
#include "framework/framework_hooks.h"
#include "primitives/core/cpu.h"

namespace {

std::atomic<bool> gLogEcho{false};

// Separators of a path on this system.
bool IsSeparator(char16_t c) { return c == u'/'; }

}  // namespace

void ConverterEnterMain() {}
void ConverterLeaveMain() {}

void ConverterStartup() {
  primInitCpuDispatch();
  StartStringSystem();
  SetOutOfMemoryText();
}

void ConverterShutdown() {
  ClearOutOfMemoryText();
  StopStringSystem();
}

std::int32_t ConverterGuardedRun(std::int32_t (*body)(void* context), void* context) {
  std::int32_t code = 1;
  try {
    ConverterStartup();
    code = body(context);
    ConverterShutdown();
  } catch (const std::exception& e) {
    ConverterLogMessage("CrashLog", e.what());
    try {
      ConverterShutdown();
    } catch (...) {
    }
    code = 1;
  } catch (...) {
    ConverterLogMessage("CrashLog", "Unknown exception");
    try {
      ConverterShutdown();
    } catch (...) {
    }
    code = 1;
  }
  return code;
}

void ConverterLogMessage(const char* category, const char* text) {
  auto write = FrameworkHooks().writeLog;
  if (!write) return;
  try {
    write(category, TString::FromNarrow(text, 3));
  } catch (...) {
    // A line that cannot be logged is lost; the run goes on.
  }
}

bool ConverterLogEchoesToConsole() { return gLogEcho.load(); }
void ConverterSetLogEcho(bool echo) { gLogEcho.store(echo); }

std::int32_t ConverterNumberOfProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<std::int32_t>(online) : 1;
}

TString ConverterModuleFilePath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return TString();
  path[n] = 0;
  return TString::FromNarrow(path, 3);
}

TString ConverterExtractFileName(const TString& path) {
  const std::int32_t length = path.Length();
  for (std::int32_t i = length - 2; i >= 0; --i) {
    if (IsSeparator(path.CharAt(i))) return path.SubString(i + 1, length);
  }
  return path;
}

TString ConverterRemoveFileExtension(const TString& path) {
  for (std::int32_t i = path.Length() - 1; i >= 1; --i) {
    const char16_t c = path.CharAt(i);
    if (IsSeparator(c)) return path;
    if (c == u'.') return path.SubString(0, i);
  }
  return path;
}

bool ConverterFileExists(const TString& path) {
  if (path.IsEmpty()) return false;
  struct stat st {};
  if (stat(path.ToNarrow(3), &st) != 0) return false;
  return !S_ISDIR(st.st_mode);
}
