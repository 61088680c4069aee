// POSIX implementation of the unbuffered file access.
#include "platform/raw_io.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

int OpenWithFlags(const char* path, int flags) {
  int fd;
  do {
    fd = open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens the regular file at `path` with `flags` and `access` (else, where
// that is not allowed, `fallback`'s access; -1: none).  What the path names
// is looked at first, so that no FIFO waits for its other end and no device
// is opened (a tape would rewind); and again once it is open (without
// waiting), should the path have been changed in between.
int OpenRegularFile(const char* path, int flags, int access, int fallback) {
  struct stat info;
  if (stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  int fd = OpenWithFlags(path, access | flags);
  if (fd < 0 && errno == EACCES && fallback >= 0) fd = OpenWithFlags(path, fallback | flags);
  if (fd < 0) return -1;
  const int status = fcntl(fd, F_GETFL);
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || status < 0 ||
      fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

}  // namespace

int platformRawOpenForAppend(const char* path, bool truncate) {
  // An existing file is opened where its name leads (a link to it is
  // followed); a missing one is made new, never through a link at its name
  // (a dangling one would make the file it names).  Another process may make
  // it in between: that one is then opened.
  const int flags = O_APPEND | (truncate ? O_TRUNC : 0);
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = OpenRegularFile(path, flags, O_RDWR, O_WRONLY);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = OpenRegularFile(path, flags | O_CREAT | O_EXCL, O_RDWR, O_WRONLY);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

int platformRawOpenExisting(const char* path) { return OpenRegularFile(path, 0, O_RDWR, -1); }

int platformRawOpenForReadingOnly(const char* path) { return OpenRegularFile(path, 0, O_RDONLY, -1); }

bool platformRawSetAppending(int fd) {
  const int status = fcntl(fd, F_GETFL);
  return status >= 0 && fcntl(fd, F_SETFL, status | O_APPEND) == 0;
}

bool platformRawWriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool platformRawAppendWhole(int fd, const void* data, std::size_t size) {
  if (size == 0) return true;
  ssize_t n;
  // Interrupted before anything was written: nothing to split yet.
  do {
    n = write(fd, data, size);
  } while (n < 0 && errno == EINTR);
  return n >= 0 && static_cast<std::size_t>(n) == size;
}

bool platformRawReadAt(int fd, void* data, std::size_t size, std::uint64_t offset) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool platformRawSync(int fd) { return fsync(fd) == 0 || errno == EINVAL; }

void platformRawClose(int fd) {
  if (fd >= 0) close(fd);
}

namespace {

std::uint64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

// Sets the lock of `type` (F_WRLCK, F_UNLCK) on `byte` of the
// descriptor's open file.
int SetByteLock(int fd, short type, std::uint64_t byte) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(byte);
  lock.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &lock);
}

// Takes the lock of `type` without blocking in the system: tries again
// after pauses that grow from 1 to 16 ms until `waitMs` have passed.  Only
// plain system calls, for the crash handler.
PlatformLock LockByte(int fd, short type, std::uint64_t byte, std::uint32_t waitMs) {
  std::uint64_t start = 0;
  long pauseNs = 1000000;
  for (;;) {
    if (SetByteLock(fd, type, byte) == 0) return PlatformLock::kHad;
    if (errno == EINTR) continue;
    // A descriptor without the access the lock needs, which says nothing
    // of whether the file system gives locks.
    if (errno == EBADF) return PlatformLock::kRefused;
    if (errno != EAGAIN && errno != EACCES) return PlatformLock::kNone;
    if (waitMs == 0) return PlatformLock::kBusy;
    const std::uint64_t now = MonotonicNs();
    if (start == 0) start = now;
    if (now - start >= std::uint64_t{waitMs} * 1000000u) return PlatformLock::kBusy;
    timespec pause{0, pauseNs};
    nanosleep(&pause, nullptr);
    if (pauseNs < 16000000) pauseNs *= 2;
  }
}

}  // namespace

PlatformLock platformRawLockExclusive(int fd, std::uint64_t byte, std::uint32_t waitMs) {
  return LockByte(fd, F_WRLCK, byte, waitMs);
}

void platformRawUnlock(int fd, std::uint64_t byte) {
  if (fd >= 0) SetByteLock(fd, F_UNLCK, byte);
}

bool platformRawIsFileAtPath(int fd, const char* path) {
  struct stat open;
  struct stat named;
  return path && fstat(fd, &open) == 0 && stat(path, &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

bool platformRawOpenFileSize(int fd, std::uint64_t* size) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool platformRawFileExists(const char* path) {
  struct stat st;
  return path && path[0] && stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool platformRawFolderExists(const char* path) {
  struct stat st;
  return path && path[0] && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool platformRawFileSize(const char* path, std::uint64_t* size) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool platformRawRename(const char* from, const char* to) { return rename(from, to) == 0; }

bool platformRawRemove(const char* path) { return unlink(path) == 0; }

bool platformRawCreateFolders(const char* path) {
  if (!path || !path[0]) return false;
  if (platformRawFolderExists(path)) return true;
  char buffer[4096];
  const std::size_t length = strlen(path);
  if (length >= sizeof buffer) return false;
  memcpy(buffer, path, length + 1);
  // Create each level in turn, from the root down.
  for (std::size_t i = 1; i <= length; ++i) {
    if (buffer[i] != '/' && buffer[i] != 0) continue;
    const char saved = buffer[i];
    buffer[i] = 0;
    if (mkdir(buffer, 0755) != 0 && errno != EEXIST) {
      buffer[i] = saved;
      return false;
    }
    buffer[i] = saved;
  }
  return platformRawFolderExists(path);
}
