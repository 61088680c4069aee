// Unbuffered file access through descriptors, for the log and the crash
// handler.  Paths are zero-terminated UTF-8.  The write, close and open calls
// here, the locks and the file identity check are plain system calls, safe
// to use from a signal handler.
#pragma once

#include <cstddef>
#include <cstdint>

// Opens for appending (created when missing), emptied first when
// `truncate`; -1 on failure.
int platformRawOpenForAppend(const char* path, bool truncate);
// Opens an existing file for reading; -1 on failure.
int platformRawOpenForReading(const char* path);
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

// Advisory whole-file locks that every process taking them on the same file
// honours (processes that take none are not held back).  Each opening of
// the file (descriptor) holds its own lock, so two descriptors of one
// process exclude each other as two processes do; locking again through the
// same descriptor changes the lock's kind.  Closing the descriptor (or the
// end of the process) releases it.  Both wait until the lock is had; false
// when the file system gives none.
bool platformRawLockShared(int fd);
bool platformRawLockExclusive(int fd);
void platformRawUnlock(int fd);
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
