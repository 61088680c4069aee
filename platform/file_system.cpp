// POSIX/Linux file-system calls.
#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

static_assert(kPlatformCurrentFolder == AT_FDCWD, "the current folder is the system's own");

namespace {

PlatformEntryKind KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return PlatformEntryKind::kFolder;
  if (S_ISLNK(mode)) return PlatformEntryKind::kLink;
  if (S_ISREG(mode)) return PlatformEntryKind::kFile;
  return PlatformEntryKind::kOther;
}

void Describe(const struct stat& status, PlatformEntryInfo* info) {
  info->kind = KindOf(status.st_mode);
  info->owner = static_cast<std::uint32_t>(status.st_uid);
  info->group = static_cast<std::uint32_t>(status.st_gid);
  info->mode = static_cast<std::uint32_t>(status.st_mode & 07777);
  info->device = static_cast<std::uint64_t>(status.st_dev);
  info->inode = static_cast<std::uint64_t>(status.st_ino);
}

bool Fail(int* errorCode) {
  if (errorCode) *errorCode = errno;
  return false;
}

}  // namespace

bool platformDescribeEntry(int folder, const char* name, bool followLinks, PlatformEntryInfo* info,
                           int* errorCode) {
  struct stat status {};
  if (fstatat(folder, name, &status, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return Fail(errorCode);
  Describe(status, info);
  return true;
}

bool platformDescribeHeld(int held, PlatformEntryInfo* info) {
  struct stat status {};
  if (fstat(held, &status) != 0) return false;
  Describe(status, info);
  return true;
}

int platformHoldEntry(int folder, const char* name, int* errorCode) {
  // O_PATH: no right to read or write is asked for and nothing is opened
  // (no FIFO waits, no device wakes); the descriptor serves to look at the
  // entry, to read a link, and as a folder for the *at calls.
  int held;
  do {
    held = openat(folder, *name ? name : ".", O_PATH | O_NOFOLLOW | O_CLOEXEC);
  } while (held < 0 && errno == EINTR);
  if (held < 0 && errorCode) *errorCode = errno;
  return held;
}

bool platformReadHeldLink(int held, char* target, std::size_t capacity, int* errorCode) {
  if (capacity == 0) {
    if (errorCode) *errorCode = ENAMETOOLONG;
    return false;
  }
  const ssize_t n = readlinkat(held, "", target, capacity - 1);
  if (n < 0) return Fail(errorCode);
  if (static_cast<std::size_t>(n) >= capacity - 1) {
    if (errorCode) *errorCode = ENAMETOOLONG;
    return false;
  }
  target[n] = 0;
  return true;
}

bool platformNameFitsFolder(int folder, const char* name, int* errorCode) {
  struct stat status {};
  if (fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0) return true;
  int error = errno;
  if (error != ENAMETOOLONG) {
    // A missing name is not measured by every file system's lookup: its
    // length is compared with the folder's limit.
    long limit = -1;
    if (folder == AT_FDCWD) {
      limit = pathconf(".", _PC_NAME_MAX);
    } else {
      // fpathconf on an O_PATH descriptor reads the file system's limit.
      limit = fpathconf(folder, _PC_NAME_MAX);
    }
    if (limit <= 0 || std::strlen(name) <= static_cast<std::size_t>(limit)) return true;
    error = ENAMETOOLONG;
  }
  if (errorCode) *errorCode = error;
  return false;
}

bool platformMayWriteEntry(int folder, const char* name, int* errorCode) {
  if (faccessat(folder, name, W_OK, 0) == 0) return true;
  return Fail(errorCode);
}

bool platformRenameInFolder(int folder, const char* from, const char* to, int* errorCode) {
  if (renameat(folder, from, folder, to) == 0) return true;
  return Fail(errorCode);
}

bool platformRenameToFreeName(int folder, const char* from, const char* to, int* errorCode) {
  if (renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return true;
  int error = errno;
  if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
    // link never replaces an entry either.
    if (linkat(folder, from, folder, to, 0) == 0) {
      error = 0;
    } else {
      error = errno;
      // A link that worked but whose answer was lost and which was tried
      // again (NFS) finds its own second name: the same file.
      struct stat source {};
      struct stat target {};
      if (error == EEXIST && fstatat(folder, from, &source, AT_SYMLINK_NOFOLLOW) == 0 &&
          fstatat(folder, to, &target, AT_SYMLINK_NOFOLLOW) == 0 && source.st_dev == target.st_dev &&
          source.st_ino == target.st_ino)
        error = 0;
    }
    if (error == 0) {
      // The first name goes, so that no second name of the file stays;
      // gone already is as good (an unlink tried again on NFS).
      if (unlinkat(folder, from, 0) == 0 || errno == ENOENT) return true;
      error = errno;
      unlinkat(folder, to, 0);
    } else if (error == EPERM || error == ENOSYS || error == ENOTSUP) {
      error = ENOTSUP;
    }
  }
  if (errorCode) *errorCode = error;
  return false;
}

bool platformRemoveFileInFolder(int folder, const char* name) { return unlinkat(folder, name, 0) == 0; }

bool platformSetPermissionsOfOpenFile(int descriptor, std::uint32_t mode) {
  return fchmod(descriptor, static_cast<mode_t>(mode & 07777)) == 0;
}

bool platformCopyPermissionsToOpenFile(const char* from, int descriptor) {
  struct stat info {};
  return stat(from, &info) == 0 && S_ISREG(info.st_mode) && fchmod(descriptor, info.st_mode & 07777) == 0;
}

int platformCreateUnusedFile(int folder, const char* before, const char* after, char* path,
                             std::size_t capacity, int* errorCode, PlatformNameSource source) {
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
        fd = openat(folder, path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      } while (fd < 0 && errno == EINTR);
      if (fd >= 0) return fd;
      error = errno;
    }
  }
  if (capacity > 0) path[0] = 0;
  if (errorCode) *errorCode = error;
  return -1;
}

bool platformIsStickyFolder(const PlatformEntryInfo& folder) {
  return folder.kind == PlatformEntryKind::kFolder && (folder.mode & S_ISVTX) != 0;
}

bool platformIsSharedStickyFolder(const PlatformEntryInfo& folder) {
  return platformIsStickyFolder(folder) && (folder.mode & (S_IWGRP | S_IWOTH)) != 0;
}

namespace {

// The id the system shows for every owner (or group) that the process's
// user namespace does not map: the overflow id, or none (-1 as unsigned)
// where the namespace maps every id, as the first namespace does.
std::uint32_t UnmappedId(const char* map, const char* overflow) {
  std::ifstream lines(map);
  unsigned long long inside = 0, outside = 0, count = 0;
  while (lines >> inside >> outside >> count) {
    if (inside == 0 && count >= 0xFFFFFFFFull) return 0xFFFFFFFFu;
  }
  std::ifstream value(overflow);
  unsigned long long id = 65534;
  if (!(value >> id) || id >= 0xFFFFFFFFull) id = 65534;
  return static_cast<std::uint32_t>(id);
}

}  // namespace

bool platformIsUnmappedUser(std::uint32_t user) {
  static const std::uint32_t unmapped = UnmappedId("/proc/self/uid_map", "/proc/sys/kernel/overflowuid");
  return user == unmapped;
}

bool platformIsUnmappedGroup(std::uint32_t group) {
  static const std::uint32_t unmapped = UnmappedId("/proc/self/gid_map", "/proc/sys/kernel/overflowgid");
  return group == unmapped;
}

bool platformMayActAsAnyFileOwner() {
  __user_cap_header_struct header{};
  header.version = _LINUX_CAPABILITY_VERSION_3;
  __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, sets) != 0) return false;
  return (sets[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

bool platformSystemLetsReplace(const PlatformEntryInfo& folder, const PlatformEntryInfo& entry) {
  if (!platformIsStickyFolder(folder)) return true;
  const std::uint32_t user = platformUserId();
  if (!platformIsUnmappedUser(user) && (entry.owner == user || folder.owner == user)) return true;
  return platformMayActAsAnyFileOwner() && !platformIsUnmappedUser(entry.owner) &&
         !platformIsUnmappedGroup(entry.group);
}
