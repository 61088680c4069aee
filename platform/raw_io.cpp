// POSIX implementation of the unbuffered file access.
#include "platform/raw_io.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int platformRawOpenForAppend(const char* path, bool truncate) {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND | (truncate ? O_TRUNC : 0);
  int fd;
  do {
    fd = open(path, flags, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int platformRawOpenForReading(const char* path) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
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

// Waits for the lock of kind `operation`, through interruptions.
bool LockFile(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

}  // namespace

bool platformRawLockShared(int fd) { return LockFile(fd, LOCK_SH); }

bool platformRawLockExclusive(int fd) { return LockFile(fd, LOCK_EX); }

void platformRawUnlock(int fd) {
  if (fd >= 0) flock(fd, LOCK_UN);
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
