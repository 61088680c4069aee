// Preloaded (LD_PRELOAD) into the log runner by the log tests, to put a run
// into conditions that a local disk does not give:
//
//   DCP_SHIM_SIGNAL_BEFORE_CUT_RENAME=SIGNAL
//       a rename of a file whose name holds ".cut-" raises SIGNAL first;
//   DCP_SHIM_STOP_AT_WRITE_OF=TEXT
//       the run stops itself (SIGSTOP) before a write whose bytes hold TEXT.
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern "C" int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const Rename real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
  const char* signal = getenv("DCP_SHIM_SIGNAL_BEFORE_CUT_RENAME");
  if (signal && strstr(from, ".cut-")) raise(atoi(signal));
  return real(from, to);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  using Write = ssize_t (*)(int, const void*, size_t);
  static const Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  const char* text = getenv("DCP_SHIM_STOP_AT_WRITE_OF");
  if (text && text[0] && memmem(data, size, text, strlen(text))) raise(SIGSTOP);
  return real(fd, data, size);
}
