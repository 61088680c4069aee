// Unbuffered file access through descriptors, for the log and the crash
// handler.  Paths are zero-terminated UTF-8.  The write, close and open calls
// here, the locks and the file identity check are plain system calls, safe
// to use from a signal handler.
#pragma once

#include <cstddef>
#include <cstdint>

// Opens the regular file at `path` (links followed) for appending, created
// new when missing (never through a dangling link at `path`, which is
// refused) and emptied first when `truncate`; -1 on failure.  Anything
// but a regular file (a FIFO, a device, a folder) is refused without being
// waited for.  The descriptor is open for reading too where the file may be
// read, else for writing alone; either way it can hold an exclusive lock.
int platformRawOpenForAppend(const char* path, bool truncate);
// Opens the existing regular file at `path` for reading and writing,
// refusing anything else as platformRawOpenForAppend does; -1 on failure
// (also when the file may not be both read and written).
int platformRawOpenExisting(const char* path);
// Opens the existing regular file at `path` for reading only, refusing
// anything else as platformRawOpenForAppend does; -1 on failure.
int platformRawOpenForReadingOnly(const char* path);
// Makes every later write through `fd` go to the end of the file in the
// same step, as through a descriptor of platformRawOpenForAppend; false on
// failure.
bool platformRawSetAppending(int fd);
// Writes all `size` bytes (retrying short writes); false on failure.
bool platformRawWriteAll(int fd, const void* data, std::size_t size);
// Appends `size` bytes to a file opened by platformRawOpenForAppend in one
// write call, so that what other descriptors of the file (other threads,
// other processes) append lands before or after them, never between them.
// False when the write fails or falls short (a full device).
bool platformRawAppendWhole(int fd, const void* data, std::size_t size);
// Reads exactly `size` bytes from `offset`; false on failure or end of file.
bool platformRawReadAt(int fd, void* data, std::size_t size, std::uint64_t offset);
// Writes the file's data to the device; false on failure.
bool platformRawSync(int fd);
void platformRawClose(int fd);

// Advisory exclusive record locks on single bytes of a file (the bytes need
// not exist; what is written is not held back), which every process taking
// them on the same file honours, also on NFS.  Each opening of the file
// (descriptor) holds its own locks, so two descriptors of one process
// exclude each other as two processes do.  Closing the descriptor (or the
// end of the process) releases them.  The lock needs a descriptor open for
// writing.
//
// Each call waits at most `waitMs` milliseconds for a lock that another
// descriptor holds (0: it tries once and never waits), so that no holder
// (a process stopped with Ctrl-Z, say) can hold the caller up for long.
enum class PlatformLock {
  kHad,
  kBusy,     // another descriptor held a conflicting lock all the time
  kNone,     // the file system gives no lock
  kRefused,  // the descriptor's access does not allow the lock
};
PlatformLock platformRawLockExclusive(int fd, std::uint64_t byte, std::uint32_t waitMs);
void platformRawUnlock(int fd, std::uint64_t byte);
// Whether the open file `fd` is the file now at `path` (links followed):
// the same device and inode.  False when either cannot be examined (nothing
// at `path`, say).
bool platformRawIsFileAtPath(int fd, const char* path);
// The size of the open file; false when it cannot be had.
bool platformRawOpenFileSize(int fd, std::uint64_t* size);

// Whether a regular file / a folder exists at `path`.
bool platformRawFileExists(const char* path);
bool platformRawFolderExists(const char* path);
// The size of the file at `path`; false when it cannot be had.
bool platformRawFileSize(const char* path, std::uint64_t* size);
// Replaces `to` by `from` in one step; false on failure.
bool platformRawRename(const char* from, const char* to);
bool platformRawRemove(const char* path);
// Creates the folder and its missing parents; true when it exists afterwards.
bool platformRawCreateFolders(const char* path);
