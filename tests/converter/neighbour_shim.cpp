// Preloaded (LD_PRELOAD) into the tool by the file-safety tests, to act as
// another user at the moments a run is most exposed to one:
//
//   DCP_SHIM_PLANT_BEFORE_MOVIE_RENAME=UID
//       the first rename, renameat, renameat2, link or linkat of a path
//       holding ".dcp2mov-" first makes a file at the name it goes to, owned
//       by UID, with the permissions 0666 and the bytes "the neighbour's";
//   DCP_SHIM_PLANT_AT_LOOK=NAME
//       with the above, the file is made earlier when the run looks at the
//       name NAME (lstat, stat, fstatat, openat) after its temporary movie
//       was closed, and finds it free: just after that look;
//   DCP_SHIM_LINK_AFTER_LOOK=NAME:TARGET:UID
//       the first look at a name NAME that finds nothing is followed by a
//       link NAME -> TARGET, owned by UID, in the folder looked into;
//   DCP_SHIM_NO_RENAME_NOREPLACE=1
//       renameat2 with RENAME_NOREPLACE fails with EINVAL, as on a file
//       system that has no such rename;
//   DCP_SHIM_LINK_ANSWER_LOST=1
//       link and linkat make the link and then fail with EEXIST, as a link
//       on NFS whose answer was lost and that was sent again.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool gPlanted = false;
bool gMovieClosed = false;
bool gLinked = false;

// The neighbour's file at `to` of `folder`.
void Plant(int folder, const char* to) {
  const char* owner = getenv("DCP_SHIM_PLANT_BEFORE_MOVIE_RENAME");
  if (gPlanted || !owner) return;
  gPlanted = true;
  const int fd = openat(folder, to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const char bytes[] = "the neighbour's";
  if (write(fd, bytes, sizeof bytes - 1) < 0 || fchown(fd, static_cast<uid_t>(atoi(owner)), 0) != 0 ||
      fchmod(fd, 0666) != 0) {
  }
  close(fd);
}

void PlantBefore(int folder, const char* from, const char* to) {
  if (strstr(from, ".dcp2mov-")) Plant(folder, to);
}

const char* LastName(const char* path) {
  const char* slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// What a neighbour does after a look at `path` of `folder` found nothing.
void Act(int folder, const char* path) {
  const char* late = getenv("DCP_SHIM_PLANT_AT_LOOK");
  if (late && gMovieClosed && strcmp(LastName(path), late) == 0) Plant(folder, path);
  const char* spec = getenv("DCP_SHIM_LINK_AFTER_LOOK");
  if (!spec || gLinked) return;
  char name[PATH_MAX];
  char target[PATH_MAX];
  unsigned owner = 0;
  if (sscanf(spec, "%4095[^:]:%4095[^:]:%u", name, target, &owner) != 3 || strcmp(LastName(path), name) != 0)
    return;
  gLinked = true;
  if (symlinkat(target, folder, path) == 0) fchownat(folder, path, owner, 0, AT_SYMLINK_NOFOLLOW);
}

// After a look at `path` of `folder` that found nothing (`found` false).
void AfterLook(int folder, const char* path, bool found) {
  if (found) return;
  const int error = errno;
  Act(folder, path);
  errno = error;
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
  static const auto real = Next<int (*)(const char*, const char*)>("rename");
  PlantBefore(AT_FDCWD, from, to);
  return real(from, to);
}

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
  static const auto real = Next<int (*)(int, const char*, int, const char*)>("renameat");
  PlantBefore(toFolder, from, to);
  return real(fromFolder, from, toFolder, to);
}

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  static const auto real = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  if ((flags & RENAME_NOREPLACE) != 0 && getenv("DCP_SHIM_NO_RENAME_NOREPLACE")) {
    errno = EINVAL;
    return -1;
  }
  PlantBefore(toFolder, from, to);
  return real(fromFolder, from, toFolder, to, flags);
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
  static const auto real = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
  PlantBefore(toFolder, from, to);
  const int result = real(fromFolder, from, toFolder, to, flags);
  if (result == 0 && getenv("DCP_SHIM_LINK_ANSWER_LOST")) {
    errno = EEXIST;
    return -1;
  }
  return result;
}

extern "C" int link(const char* from, const char* to) { return linkat(AT_FDCWD, from, AT_FDCWD, to, 0); }

extern "C" int close(int fd) {
  static const auto real = Next<int (*)(int)>("close");
  char link[64];
  char name[PATH_MAX] = {};
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  if (!gMovieClosed && readlink(link, name, sizeof name - 1) > 0 && strstr(name, ".dcp2mov-"))
    gMovieClosed = true;
  return real(fd);
}

extern "C" int lstat(const char* path, struct stat* status) {
  static const auto real = Next<int (*)(const char*, struct stat*)>("lstat");
  const int result = real(path, status);
  AfterLook(AT_FDCWD, path, result == 0);
  return result;
}

extern "C" int stat(const char* path, struct stat* status) {
  static const auto real = Next<int (*)(const char*, struct stat*)>("stat");
  const int result = real(path, status);
  AfterLook(AT_FDCWD, path, result == 0);
  return result;
}

extern "C" int fstatat(int folder, const char* path, struct stat* status, int flags) {
  static const auto real = Next<int (*)(int, const char*, struct stat*, int)>("fstatat");
  const int result = real(folder, path, status, flags);
  AfterLook(folder, path, result == 0);
  return result;
}

extern "C" int openat(int folder, const char* path, int flags, ...) {
  static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, unsigned));
    va_end(arguments);
  }
  const int result = real(folder, path, flags, mode);
  if ((flags & O_CREAT) == 0) AfterLook(folder, path, result >= 0);
  return result;
}
