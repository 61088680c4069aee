// Preloaded (LD_PRELOAD) into the tool by the file-safety tests, to act as
// another user in the moment between the tool's last look at the movie's
// name and the rename that gives the movie that name:
//
//   DCP_SHIM_PLANT_BEFORE_MOVIE_RENAME=UID
//       the first rename, renameat2 or link of a path holding ".dcp2mov-"
//       first makes a file at the name it goes to, owned by UID, with the
//       permissions 0666 and the bytes "the neighbour's".
//   DCP_SHIM_NO_RENAME_NOREPLACE=1
//       renameat2 with RENAME_NOREPLACE fails with EINVAL, as on a file
//       system that has no such rename.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void PlantBefore(const char* from, const char* to) {
  static bool planted = false;
  const char* owner = getenv("DCP_SHIM_PLANT_BEFORE_MOVIE_RENAME");
  if (planted || !owner || !strstr(from, ".dcp2mov-")) return;
  planted = true;
  const int fd = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const char bytes[] = "the neighbour's";
  if (write(fd, bytes, sizeof bytes - 1) < 0 || fchown(fd, static_cast<uid_t>(atoi(owner)), 0) != 0 ||
      fchmod(fd, 0666) != 0) {
  }
  close(fd);
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
  static const auto real = Next<int (*)(const char*, const char*)>("rename");
  PlantBefore(from, to);
  return real(from, to);
}

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  static const auto real = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  if ((flags & RENAME_NOREPLACE) != 0 && getenv("DCP_SHIM_NO_RENAME_NOREPLACE")) {
    errno = EINVAL;
    return -1;
  }
  PlantBefore(from, to);
  return real(fromFolder, from, toFolder, to, flags);
}

extern "C" int link(const char* from, const char* to) {
  static const auto real = Next<int (*)(const char*, const char*)>("link");
  PlantBefore(from, to);
  return real(from, to);
}
