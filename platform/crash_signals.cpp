// Linux implementation of the crash signals.
#include "platform/crash_signals.h"

#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>

#include "platform/abnormal_end.h"

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
// Room for the handler's stack walk, symbol lookup and demangling.
constexpr std::size_t kAltStackSize = 256 * 1024;

std::atomic<PlatformCrashHandler> gHandler{nullptr};
// The kernel id of the thread handling a crash; 0 while none does.
std::atomic<long> gHandlingThread{0};

// One thread's alternate stack, taken back when the thread ends.
struct ThreadAltStack {
  void* mapping = nullptr;
  std::size_t mappingSize = 0;

  ~ThreadAltStack() {
    if (!mapping) return;
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    sigaltstack(&disable, nullptr);
    munmap(mapping, mappingSize);
    mapping = nullptr;
  }
};

thread_local ThreadAltStack tAltStack;

void* InterruptedProgramCounter(void* context) {
  if (!context) return nullptr;
  const ucontext_t* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  return reinterpret_cast<void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return reinterpret_cast<void*>(uc->uc_mcontext.pc);
#else
  (void)uc;
  return nullptr;
#endif
}

void SleepForever() {
  while (true) {
    timespec pause{1, 0};
    nanosleep(&pause, nullptr);
  }
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
  const long self = syscall(SYS_gettid);
  long expected = 0;
  if (!gHandlingThread.compare_exchange_strong(expected, self)) {
    // A fault inside the handler ends the process now; a second thread's
    // fault waits for the first thread's handler to end the process.
    if (expected == self) platformExitNow(1);
    SleepForever();
  }
  // First the file that must not outlive the process: the handler's stack
  // walk could itself fault and end the process at once.
  platformRemoveFilesOfAbnormalEnd();
  PlatformCrashInfo crash{};
  crash.signal = signal;
  crash.code = info ? info->si_code : 0;
  crash.faultAddress = info ? info->si_addr : nullptr;
  crash.programCounter = InterruptedProgramCounter(context);
  if (PlatformCrashHandler handler = gHandler.load()) handler(crash);
  platformExitNow(1);
}

}  // namespace

bool platformInstallCrashSignals(PlatformCrashHandler handler) {
  platformPreloadBacktrace();
  platformPrepareThreadAltStack();
  gHandler.store(handler);
  struct sigaction action {};
  action.sa_sigaction = &OnFatalSignal;
  sigemptyset(&action.sa_mask);
  // SA_NODEFER: a fault inside the handler comes back to it (and ends the
  // process with 1) instead of killing the process by the default action.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  bool ok = true;
  for (int signal : kSignals) {
    if (sigaction(signal, &action, nullptr) != 0) ok = false;
  }
  return ok;
}

void platformRemoveCrashSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
  gHandler.store(nullptr);
}

bool platformPrepareThreadAltStack() {
  if (tAltStack.mapping) return true;
  long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) page = 4096;
  long minimum = sysconf(_SC_SIGSTKSZ);
  std::size_t size = kAltStackSize;
  if (minimum > 0 && static_cast<std::size_t>(minimum) * 4 > size) {
    size = static_cast<std::size_t>(minimum) * 4;
  }
  size = (size + static_cast<std::size_t>(page) - 1) & ~(static_cast<std::size_t>(page) - 1);
  // One guard page below the stack turns an overflow of the handler itself
  // into a fault instead of silent damage.
  const std::size_t mappingSize = size + static_cast<std::size_t>(page);
  void* mapping = mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) return false;
  mprotect(mapping, static_cast<std::size_t>(page), PROT_NONE);
  stack_t stack{};
  stack.ss_sp = static_cast<char*>(mapping) + page;
  stack.ss_size = size;
  stack.ss_flags = 0;
  if (sigaltstack(&stack, nullptr) != 0) {
    munmap(mapping, mappingSize);
    return false;
  }
  tAltStack.mapping = mapping;
  tAltStack.mappingSize = mappingSize;
  return true;
}

bool platformThreadHasAltStack() {
  stack_t current{};
  return sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE);
}

void platformPreloadBacktrace() {
  // The first call loads the unwinder library, which must not happen
  // inside a signal handler.
  void* frames[4];
  backtrace(frames, 4);
}

int platformBacktrace(void** frames, int maxFrames) {
  if (!frames || maxFrames <= 0) return 0;
  return backtrace(frames, maxFrames);
}

bool platformSymbolize(void* address, bool returnAddress, char* name, std::size_t nameSize,
                       std::uintptr_t* displacement, PlatformDemangler* work) {
  *displacement = 0;
  if (nameSize == 0) return false;
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t lookup = returnAddress && at > 0 ? at - 1 : at;
  Dl_info info{};
  if (at == 0 || dladdr(reinterpret_cast<void*>(lookup), &info) == 0 || !info.dli_sname || !info.dli_saddr) {
    strncpy(name, "???", nameSize - 1);
    name[nameSize - 1] = 0;
    return false;
  }
  if (!platformDemangle(info.dli_sname, name, nameSize, work)) {
    strncpy(name, info.dli_sname, nameSize - 1);
    name[nameSize - 1] = 0;
  }
  *displacement = at - reinterpret_cast<std::uintptr_t>(info.dli_saddr);
  return true;
}

void platformExitNow(int code) { _exit(code); }

void platformWriteText(int fd, const char* text) {
  if (fd < 0 || !text) return;
  std::size_t size = strlen(text);
  while (size > 0) {
    ssize_t n = write(fd, text, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (n == 0) return;
    text += n;
    size -= static_cast<std::size_t>(n);
  }
}
