// Preloaded (LD_PRELOAD) into the log runner by the log tests, to put a run
// into conditions that a local disk does not give:
//
//   DCP_SHIM_RECORD_LOCKS=FILE
//       flock takes an open-file record lock on the whole file instead, as
//       the NFS client does: a shared lock needs a descriptor open for
//       reading, an exclusive one a descriptor open for writing, else it
//       fails with EBADF; each such refusal adds a line to FILE.
//   DCP_SHIM_SIGNAL_BEFORE_CUT_RENAME=SIGNAL
//       a rename of a file whose name holds ".cut-" raises SIGNAL first;
//   DCP_SHIM_STOP_AT_WRITE_OF=TEXT
//       the run stops itself (SIGSTOP) before a write whose bytes hold TEXT.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

void NoteRefusal(const char* file) {
  const int fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const char line[] = "record lock refused\n";
  if (write(fd, line, sizeof line - 1) < 0) {
  }
  close(fd);
}

}  // namespace

extern "C" int flock(int fd, int operation) {
  using Flock = int (*)(int, int);
  static const Flock real = reinterpret_cast<Flock>(dlsym(RTLD_NEXT, "flock"));
  const char* refusals = getenv("DCP_SHIM_RECORD_LOCKS");
  if (!refusals) return real(fd, operation);
  struct flock lock {};
  const int kind = operation & ~LOCK_NB;
  lock.l_type = kind == LOCK_SH ? F_RDLCK : kind == LOCK_EX ? F_WRLCK : F_UNLCK;
  lock.l_whence = SEEK_SET;
  const int result = fcntl(fd, (operation & LOCK_NB) ? F_OFD_SETLK : F_OFD_SETLKW, &lock);
  if (result != 0 && errno == EBADF) NoteRefusal(refusals);
  if (result != 0 && errno == EAGAIN) errno = EWOULDBLOCK;
  return result;
}

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
