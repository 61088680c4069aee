// Linux implementation of the file removed at an abnormal end.
#include "platform/abnormal_end.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>

#include "platform/file_system.h"

namespace {

// Every signal whose default action ends the process, but for SIGKILL (which
// cannot be caught) and the crash signals.
constexpr int kEndingSignals[] = {SIGHUP,    SIGINT,  SIGQUIT, SIGTRAP,   SIGUSR1, SIGUSR2,
                                  SIGPIPE,   SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ,
                                  SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,    SIGSYS};

static_assert(std::atomic<unsigned>::is_always_lock_free, "the handlers test the states without a lock");

// A place for one named file.  Its word holds the place's state in its low
// bits and, above them, how often a name in it was cancelled: a token
// carries that count, so that a token cancelled once cancels nothing when
// the place is named again.  The path is written only while the place is
// kClaimed, and read only by the one caller that turns it from kNamed to
// kRemoved.  A removed place is not used again: the process is ending.
enum PlaceState : unsigned { kFree, kClaimed, kNamed, kRemoved };
constexpr unsigned kStateBits = 2;
constexpr unsigned kStateMask = (1u << kStateBits) - 1;
// The counts a token tells apart (so that every token is a positive int).
constexpr unsigned kTokenGenerations = 1u << 24;
struct Place {
  std::atomic<unsigned> word{kFree};
  int folder = AT_FDCWD;
  char path[kPlatformAbnormalEndPathCapacity];
};
Place gPlaces[kPlatformAbnormalEndFiles];

unsigned StateOf(unsigned word) { return word & kStateMask; }
unsigned GenerationOf(unsigned word) { return (word >> kStateBits) % kTokenGenerations; }

void OnEndingSignal(int signal) {
  const int savedErrno = errno;
  platformRemoveFilesOfAbnormalEnd();
  // The process now ends as the signal's default action ends it (with the
  // same status a parent sees): the signal, blocked while this handler runs,
  // is delivered again when it returns, with the default action.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
  errno = savedErrno;
}

bool InstallEndingSignals() {
  struct sigaction action {};
  action.sa_handler = &OnEndingSignal;
  // One ending signal at a time: another one waits until the first has
  // removed the file.
  sigemptyset(&action.sa_mask);
  for (int signal : kEndingSignals) sigaddset(&action.sa_mask, signal);
  action.sa_flags = SA_RESTART;
  bool ok = true;
  for (int signal : kEndingSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0) {
      ok = false;
      continue;
    }
    // Ignored (nohup, a shell's background job) or handled by someone else:
    // left as it is.
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
    if (sigaction(signal, &action, nullptr) != 0) ok = false;
  }
  return ok;
}

}  // namespace

int platformRemoveFileOnAbnormalEnd(int folder, const char* path) {
  static const bool installed = InstallEndingSignals();
  const std::size_t length = path ? strlen(path) : 0;
  if (!installed || length == 0 || length >= kPlatformAbnormalEndPathCapacity) return -1;
  for (int index = 0; index < kPlatformAbnormalEndFiles; ++index) {
    Place& place = gPlaces[index];
    unsigned word = place.word.load();
    if (StateOf(word) != kFree || !place.word.compare_exchange_strong(word, (word & ~kStateMask) | kClaimed))
      continue;
    place.folder = folder;
    memcpy(place.path, path, length + 1);
    place.word.store((word & ~kStateMask) | kNamed);
    return static_cast<int>(GenerationOf(word)) * kPlatformAbnormalEndFiles + index;
  }
  return -1;
}

int platformCreateFileRemovedOnAbnormalEnd(int folder, const char* before, const char* after, char* path,
                                           std::size_t capacity, int* errorCode, int* token) {
  *token = -1;
  // The crash signals are held back too, for another process may send them
  // (kill -SEGV); a real fault in these few calls would end the process at
  // once, without the crash handler.
  sigset_t ending;
  sigset_t previous;
  sigemptyset(&ending);
  for (int signal : kEndingSignals) sigaddset(&ending, signal);
  for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaddset(&ending, signal);
  const bool held = pthread_sigmask(SIG_BLOCK, &ending, &previous) == 0;
  int error = 0;
  int fd = platformCreateUnusedFile(folder, before, after, path, capacity, &error);
  if (fd >= 0) {
    *token = platformRemoveFileOnAbnormalEnd(folder, path);
    if (*token < 0) {
      // Not named: the file is not made at all.
      close(fd);
      unlinkat(folder, path, 0);
      fd = -1;
      error = ENOMEM;
    }
  }
  // A signal that came meanwhile is delivered now, and finds the file named.
  if (held) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (fd < 0 && errorCode) *errorCode = error;
  return fd;
}

void platformCancelRemovalOnAbnormalEnd(int token) {
  if (token < 0) return;
  Place& place = gPlaces[token % kPlatformAbnormalEndFiles];
  unsigned word = place.word.load();
  // Only the naming the token was given for; the place's next naming counts
  // one more cancel.
  if (StateOf(word) != kNamed ||
      GenerationOf(word) != static_cast<unsigned>(token / kPlatformAbnormalEndFiles))
    return;
  place.word.compare_exchange_strong(word, ((word & ~kStateMask) + (1u << kStateBits)) | kFree);
}

void platformRemoveFilesOfAbnormalEnd() {
  for (Place& place : gPlaces) {
    unsigned word = place.word.load();
    while (StateOf(word) == kNamed) {
      if (place.word.compare_exchange_weak(word, (word & ~kStateMask) | kRemoved)) {
        unlinkat(place.folder, place.path, 0);
        break;
      }
    }
  }
}
