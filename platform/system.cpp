// POSIX/Linux implementations of the operating-system services.
#include "platform/system.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

std::size_t platformPageSize() {
  long size = sysconf(_SC_PAGESIZE);
  return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

namespace {

// Gives `advice` for the whole units of `unit` bytes (a power of two) inside
// [p, p + bytes).
void AdviseWholeUnits(void* p, std::size_t bytes, std::uintptr_t unit, int advice) {
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  if (!p || begin > UINTPTR_MAX - bytes) return;
  const std::uintptr_t first = (begin + unit - 1) & ~(unit - 1);
  const std::uintptr_t last = (begin + bytes) & ~(unit - 1);
  if (last > first) (void)madvise(reinterpret_cast<void*>(first), last - first, advice);
}

}  // namespace

void platformAdviseLargePages(void* p, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  AdviseWholeUnits(p, bytes, std::uintptr_t{2} << 20, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

void platformPrefault(void* p, std::size_t bytes) {
#if defined(MADV_POPULATE_WRITE)
  AdviseWholeUnits(p, bytes, platformPageSize(), MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)bytes;
#endif
}

bool platformDeclineLargePages() {
#if defined(PR_SET_THP_DISABLE)
  return prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) == 0;
#else
  return false;
#endif
}

void platformKeepFreedMemory() {
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD)
  (void)mallopt(M_MMAP_THRESHOLD, 64 << 20);
  (void)mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

std::uint64_t platformMonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

std::uint32_t platformCurrentThreadId() {
  // The kernel's thread id: unique among living threads, stable for a
  // thread's lifetime, and never 0.  Cached per thread: the system call
  // costs more than the lookups that use it.
  thread_local std::uint32_t id = static_cast<std::uint32_t>(syscall(SYS_gettid));
  return id;
}

PlatformLocalTime platformLocalTime() {
  time_t now = time(nullptr);
  tm parts{};
  localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

bool platformTlsAlloc(PlatformTlsKey* key) {
  pthread_key_t k;
  if (pthread_key_create(&k, nullptr) != 0) return false;
  *key = static_cast<PlatformTlsKey>(k);
  return true;
}

void platformTlsFree(PlatformTlsKey key) { pthread_key_delete(static_cast<pthread_key_t>(key)); }

void* platformTlsGet(PlatformTlsKey key) { return pthread_getspecific(static_cast<pthread_key_t>(key)); }

bool platformTlsSet(PlatformTlsKey key, void* value) {
  return pthread_setspecific(static_cast<pthread_key_t>(key), value) == 0;
}

bool platformEnsureOpenFileLimit(std::uint64_t count) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur >= count) return true;
  limit.rlim_cur = static_cast<rlim_t>(count);
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}
