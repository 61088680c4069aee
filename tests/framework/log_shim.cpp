// Preloaded (LD_PRELOAD) into the log runner by the log tests, to put a run
// into conditions that a local disk does not give:
//
//   DCP_SHIM_SIGNAL_BEFORE_CUT_RENAME=SIGNAL
//       a rename of a file whose name holds ".cut-" raises SIGNAL first;
//   DCP_SHIM_STOP_AT_CUT_SYNC=1
//       the run stops itself (SIGSTOP) before its first sync of a file
//       whose name holds ".cut-", as a cut stopped with Ctrl-Z or a slow
//       disk would hold it there;
//   DCP_SHIM_STOP_AT_CUT_RENAME=1
//       the run stops itself before its first rename of a file whose name
//       holds ".cut-", as a cut stopped with Ctrl-Z or a slow disk would
//       hold it there;
//   DCP_SHIM_STOP_AT_WRITE_OF=TEXT
//       the run stops itself before a write whose bytes hold TEXT.
#include <dlfcn.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

namespace {

// Stops the run when `variable` is set, the first time only.
void StopOnceWhenAsked(const char* variable, std::atomic<bool>& stopped) {
  if (getenv(variable) && !stopped.exchange(true)) raise(SIGSTOP);
}

std::atomic<bool> gStoppedAtSync{false};
std::atomic<bool> gStoppedAtRename{false};

}  // namespace

extern "C" int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const Rename real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
  if (strstr(from, ".cut-")) {
    const char* signal = getenv("DCP_SHIM_SIGNAL_BEFORE_CUT_RENAME");
    if (signal) raise(atoi(signal));
    StopOnceWhenAsked("DCP_SHIM_STOP_AT_CUT_RENAME", gStoppedAtRename);
  }
  return real(from, to);
}

extern "C" int fsync(int fd) {
  using Fsync = int (*)(int);
  static const Fsync real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
  if (getenv("DCP_SHIM_STOP_AT_CUT_SYNC")) {
    char link[64];
    char name[PATH_MAX] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (readlink(link, name, sizeof name - 1) > 0 && strstr(name, ".cut-"))
      StopOnceWhenAsked("DCP_SHIM_STOP_AT_CUT_SYNC", gStoppedAtSync);
  }
  return real(fd);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  using Write = ssize_t (*)(int, const void*, size_t);
  static const Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  const char* text = getenv("DCP_SHIM_STOP_AT_WRITE_OF");
  if (text && text[0] && memmem(data, size, text, strlen(text))) raise(SIGSTOP);
  return real(fd, data, size);
}
