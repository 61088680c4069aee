// POSIX/Linux file-system calls.
#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/raw_io.h"

PlatformEntryKind platformEntryKind(const char* path, bool followLinks, int* errorCode) {
  struct stat info {};
  int rc = followLinks ? stat(path, &info) : lstat(path, &info);
  if (rc != 0) {
    if (errorCode) *errorCode = errno;
    return PlatformEntryKind::kNone;
  }
  if (S_ISDIR(info.st_mode)) return PlatformEntryKind::kFolder;
  if (S_ISLNK(info.st_mode)) return PlatformEntryKind::kLink;
  if (S_ISREG(info.st_mode)) return PlatformEntryKind::kFile;
  return PlatformEntryKind::kOther;
}

bool platformListFolder(const char* path, void (*visit)(void* context, const char* name), void* context) {
  DIR* dir = opendir(path);
  if (!dir) return false;
  bool ok = true;
  for (;;) {
    errno = 0;
    dirent* entry = readdir(dir);
    if (!entry) {
      ok = errno == 0;
      break;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    visit(context, name);
  }
  closedir(dir);
  return ok;
}

bool platformMakeFolder(const char* path, std::uint32_t permissions, int* errorCode) {
  if (mkdir(path, static_cast<mode_t>(permissions)) == 0) return true;
  if (errorCode) *errorCode = errno;
  return false;
}

bool platformIsOwnFolder(const char* path) {
  struct stat info {};
  return lstat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

bool platformRemoveFolder(const char* path) { return rmdir(path) == 0; }

bool platformRemoveFile(const char* path) { return unlink(path) == 0; }

bool platformMakeFolderAccessible(const char* path) {
  struct stat info {};
  if (lstat(path, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if ((info.st_mode & S_IRWXU) == S_IRWXU) return true;
  return chmod(path, (info.st_mode & 07777) | S_IRWXU) == 0;
}

bool platformRename(const char* from, const char* to, int* errorCode) {
  if (rename(from, to) == 0) return true;
  if (errorCode) *errorCode = errno;
  return false;
}

bool platformRenameToFreeName(const char* from, const char* to, int* errorCode) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  int error = errno;
  if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
    // link never replaces an entry either.
    if (link(from, to) == 0) {
      unlink(from);
      return true;
    }
    error = errno;
    if (error == EPERM || error == ENOSYS || error == ENOTSUP) error = ENOTSUP;
  }
  if (errorCode) *errorCode = error;
  return false;
}

namespace {

bool WriteAll(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t n = write(fd, bytes, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool platformCopyFile(const char* from, const char* to) {
  int in = open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info {};
  if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(in);
    return false;
  }
  int out = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, (info.st_mode & 0777) | S_IWUSR);
  if (out < 0) {
    close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(out, buffer, static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  close(in);
  if (close(out) != 0) ok = false;
  if (ok) ok = chmod(to, info.st_mode & 07777) == 0;
  if (!ok) unlink(to);
  return ok;
}

bool platformReadLink(const char* path, char* target, std::size_t capacity) {
  if (capacity == 0) return false;
  ssize_t n = readlink(path, target, capacity - 1);
  if (n < 0 || static_cast<std::size_t>(n) >= capacity - 1) return false;
  target[n] = 0;
  return true;
}

bool platformMakeLink(const char* target, const char* path) { return symlink(target, path) == 0; }

bool platformDeviceOf(const char* path, std::uint64_t* device) {
  struct stat info {};
  if (lstat(path, &info) != 0) return false;
  *device = static_cast<std::uint64_t>(info.st_dev);
  return true;
}

bool platformSameFile(const char* first, const char* second) {
  struct stat a {};
  struct stat b {};
  return stat(first, &a) == 0 && stat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool platformNameFitsFolder(const char* path, int* errorCode) {
  struct stat info {};
  if (lstat(path, &info) == 0) return true;
  int error = errno;
  if (error != ENAMETOOLONG) {
    // A missing name is not measured by every file system's lookup: its
    // length is compared with the folder's limit.
    const char* slash = std::strrchr(path, '/');
    const std::string folder = !slash          ? std::string(".")
                               : slash == path ? std::string("/")
                                               : std::string(path, slash);
    const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0 || std::strlen(slash ? slash + 1 : path) <= static_cast<std::size_t>(limit)) return true;
    error = ENAMETOOLONG;
  }
  if (errorCode) *errorCode = error;
  return false;
}

bool platformOwnerOf(const char* path, std::uint32_t* owner) {
  struct stat info {};
  if (lstat(path, &info) != 0) return false;
  *owner = static_cast<std::uint32_t>(info.st_uid);
  return true;
}

bool platformIsSharedStickyFolder(const char* path, std::uint32_t* owner) {
  struct stat info {};
  if (stat(path, &info) != 0 || !S_ISDIR(info.st_mode) || (info.st_mode & S_ISVTX) == 0 ||
      (info.st_mode & (S_IWGRP | S_IWOTH)) == 0)
    return false;
  *owner = static_cast<std::uint32_t>(info.st_uid);
  return true;
}

bool platformIsStickyFolder(const char* path, std::uint32_t* owner) {
  struct stat info {};
  if (stat(path, &info) != 0 || !S_ISDIR(info.st_mode) || (info.st_mode & S_ISVTX) == 0) return false;
  *owner = static_cast<std::uint32_t>(info.st_uid);
  return true;
}

bool platformMayActAsAnyFileOwner() {
  __user_cap_header_struct header{};
  header.version = _LINUX_CAPABILITY_VERSION_3;
  __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, sets) != 0) return false;
  return (sets[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

bool platformMayWrite(const char* path, int* errorCode) {
  if (access(path, W_OK) == 0) return true;
  if (errorCode) *errorCode = errno;
  return false;
}

std::FILE* platformOpenRegularFileForReading(const char* path) {
  const int fd = platformRawOpenForReadingOnly(path);
  if (fd < 0) return nullptr;
  std::FILE* stream = fdopen(fd, "rb");
  if (!stream) close(fd);
  return stream;
}

bool platformReadFileStart(const char* path, void* bytes, std::size_t capacity, std::size_t* count,
                           int* errorCode) {
  *count = 0;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errorCode) *errorCode = errno;
    return false;
  }
  char* const start = static_cast<char*>(bytes);
  while (*count < capacity) {
    const ssize_t n = read(fd, start + *count, capacity - *count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (errorCode) *errorCode = errno;
      close(fd);
      return false;
    }
    if (n == 0) break;
    *count += static_cast<std::size_t>(n);
  }
  close(fd);
  return true;
}

bool platformCopyPermissionsToOpenFile(const char* from, int descriptor) {
  struct stat info {};
  return stat(from, &info) == 0 && S_ISREG(info.st_mode) && fchmod(descriptor, info.st_mode & 07777) == 0;
}

void platformCloseFile(int descriptor) {
  if (descriptor >= 0) close(descriptor);
}

bool platformRandomNameCharacters(char* characters, std::size_t count) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  constexpr unsigned kLetters = sizeof kAlphabet - 1;
  // Bytes from 248 up are dropped, so that every character is as likely.
  constexpr unsigned kFairBytes = 256 / kLetters * kLetters;
  std::size_t made = 0;
  while (made < count) {
    unsigned char bytes[64];
    const ssize_t got = getrandom(bytes, sizeof bytes, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    for (ssize_t i = 0; i < got && made < count; ++i) {
      if (bytes[i] < kFairBytes) characters[made++] = kAlphabet[bytes[i] % kLetters];
    }
  }
  return true;
}

int platformCreateUnusedFile(const char* before, const char* after, char* path, std::size_t capacity,
                             int* errorCode, PlatformNameSource source) {
  const std::size_t head = std::strlen(before);
  const std::size_t tail = std::strlen(after);
  int error = ENAMETOOLONG;
  if (head + kPlatformUnusedNameCharacters + tail < capacity) {
    std::memcpy(path, before, head);
    std::memcpy(path + head + kPlatformUnusedNameCharacters, after, tail + 1);
    error = EEXIST;
    for (int attempt = 0; attempt < kPlatformUnusedNameTries && error == EEXIST; ++attempt) {
      errno = 0;
      if (!(source ? source : &platformRandomNameCharacters)(path + head, kPlatformUnusedNameCharacters)) {
        error = errno != 0 ? errno : EIO;
        break;
      }
      // O_EXCL with O_CREAT fails on anything at the name, a link included;
      // O_NOFOLLOW says so once more.
      int fd;
      do {
        fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      } while (fd < 0 && errno == EINTR);
      if (fd >= 0) return fd;
      error = errno;
    }
  }
  if (capacity > 0) path[0] = 0;
  if (errorCode) *errorCode = error;
  return -1;
}

bool platformCurrentFolder(char* path, std::size_t capacity) { return getcwd(path, capacity) != nullptr; }

bool platformProgramPath(char* path, std::size_t capacity) {
  return platformReadLink("/proc/self/exe", path, capacity);
}

const char* platformEnvironment(const char* name) { return std::getenv(name); }

const char* platformUserDatabaseHome() {
  passwd* entry = getpwuid(geteuid());
  return entry && entry->pw_dir && *entry->pw_dir ? entry->pw_dir : nullptr;
}

std::uint32_t platformUserId() { return static_cast<std::uint32_t>(geteuid()); }

bool platformCreateNewFile(const char* path, const char* bytes, std::size_t count) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes, count);
  if (close(fd) != 0) ok = false;
  if (!ok) unlink(path);
  return ok;
}
