// POSIX/Linux threads, processes and processor queries.
#include "platform/threads.h"

#include "platform/crash_signals.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

struct StartBlock {
  void (*entry)(void*);
  void* argument;
};

void* StartRoutine(void* raw) {
  StartBlock block = *static_cast<StartBlock*>(raw);
  std::free(raw);
  // Every thread gets its own signal stack, so that the crash handler can
  // still run (and log) when this thread overflows its stack.
  platformPrepareThreadAltStack();
  block.entry(block.argument);
  return nullptr;
}

void CopyText(char* to, const char* from, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t n = std::strlen(from);
  if (n >= capacity) n = capacity - 1;
  std::memcpy(to, from, n);
  to[n] = 0;
}

}  // namespace

bool platformStartThread(void (*entry)(void*), void* argument, PlatformThreadHandle* handle, int* errorCode) {
  auto* block = static_cast<StartBlock*>(std::malloc(sizeof(StartBlock)));
  if (!block) {
    if (errorCode) *errorCode = ENOMEM;
    return false;
  }
  block->entry = entry;
  block->argument = argument;
  pthread_t thread;
  int rc = pthread_create(&thread, nullptr, &StartRoutine, block);
  if (rc != 0) {
    std::free(block);
    if (errorCode) *errorCode = rc;
    return false;
  }
  static_assert(sizeof(pthread_t) <= sizeof(PlatformThreadHandle));
  *handle = static_cast<PlatformThreadHandle>(thread);
  return true;
}

void platformJoinThread(PlatformThreadHandle handle) {
  pthread_join(static_cast<pthread_t>(handle), nullptr);
}

void platformDetachThread(PlatformThreadHandle handle) { pthread_detach(static_cast<pthread_t>(handle)); }

bool platformSetCurrentThreadNiceness(int niceness) {
  // On Linux the niceness of a thread id is the thread's own.
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, tid, niceness) == 0;
}

int platformCurrentThreadNiceness() {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  int value = getpriority(PRIO_PROCESS, tid);
  return errno == 0 ? value : 0;
}

void platformErrorText(int errorCode, char* text, std::size_t capacity) {
  if (capacity == 0) return;
  char buffer[256];
  // GNU strerror_r gives a pointer that may or may not be the buffer.
  const char* message = strerror_r(errorCode, buffer, sizeof buffer);
  CopyText(text, message && *message ? message : "Unknown error", capacity);
}

int platformLastErrorCode() { return errno; }

bool platformCpuid(std::uint32_t leaf, std::uint32_t regs[4]) {
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  // The leaf must not exceed the maximum of its range.
  // (The maximum is unsigned in one compiler's header and int in another's.)
  if (static_cast<std::uint32_t>(__get_cpuid_max(leaf & 0x80000000u, nullptr)) < leaf) return false;
  __cpuid_count(leaf, 0, a, b, c, d);
  regs[0] = a, regs[1] = b, regs[2] = c, regs[3] = d;
  return true;
#else
  (void)leaf;
  return false;
#endif
}

int platformAffinityProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 0;
  return CPU_COUNT(&set);
}

int platformOnlineProcessorCount() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 && n < INT_MAX ? static_cast<int>(n) : 0;
}

bool platformSystemName(char* system, char* release, char* machine, std::size_t capacity) {
  utsname names{};
  if (uname(&names) != 0) return false;
  CopyText(system, names.sysname, capacity);
  CopyText(release, names.release, capacity);
  CopyText(machine, names.machine, capacity);
  return true;
}

std::uint32_t platformProcessId() { return static_cast<std::uint32_t>(getpid()); }

bool platformProcessExists(std::uint32_t pid) {
  if (pid == 0 || pid > static_cast<std::uint32_t>(INT_MAX)) return false;
  if (kill(static_cast<pid_t>(pid), 0) == 0) return true;
  return errno == EPERM;  // it exists, but belongs to someone else
}

void platformEachProcess(void (*visit)(void* context, std::uint32_t pid), void* context) {
  DIR* dir = opendir("/proc");
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (*name < '1' || *name > '9') continue;
    char* end = nullptr;
    unsigned long pid = std::strtoul(name, &end, 10);
    if (*end != 0 || pid > 0xFFFFFFFFul) continue;
    visit(context, static_cast<std::uint32_t>(pid));
  }
  closedir(dir);
}

bool platformProcessProgramName(std::uint32_t pid, char* name, std::size_t capacity, bool* shortName) {
  if (capacity == 0) return false;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/exe", pid);
  char target[PATH_MAX];
  ssize_t n = readlink(path, target, sizeof target - 1);
  if (n > 0) {
    target[n] = 0;
    // A program replaced while it runs reads "<path> (deleted)".
    static const char kDeleted[] = " (deleted)";
    const std::size_t deletedLength = sizeof kDeleted - 1;
    if (static_cast<std::size_t>(n) > deletedLength &&
        std::strcmp(target + n - deletedLength, kDeleted) == 0) {
      target[n - deletedLength] = 0;
    }
    const char* slash = std::strrchr(target, '/');
    CopyText(name, slash ? slash + 1 : target, capacity);
    if (shortName) *shortName = false;
    return true;
  }
  std::snprintf(path, sizeof path, "/proc/%u/comm", pid);
  FILE* file = std::fopen(path, "re");
  if (!file) return false;
  char comm[64] = {};
  bool ok = std::fgets(comm, sizeof comm, file) != nullptr;
  std::fclose(file);
  if (!ok) return false;
  comm[std::strcspn(comm, "\n")] = 0;
  CopyText(name, comm, capacity);
  if (shortName) *shortName = true;
  return true;
}
