// File-system calls behind the framework's files and folders, named for
// what they do.  Paths are zero-terminated 8-bit (UTF-8) texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum class PlatformEntryKind { kNone, kFile, kFolder, kLink, kOther };

// What is at `path`: with `followLinks` a link counts as what it points to
// (kNone for a dangling one); without it a link is kLink.  kNone comes with
// the system's error code in *errorCode when it is given (ENOENT for a
// missing entry, ENOTDIR for a path through a file).
PlatformEntryKind platformEntryKind(const char* path, bool followLinks, int* errorCode = nullptr);
// Calls `visit(context, name)` for every entry of the folder other than "."
// and "..", in the order the system gives them.  False when the folder
// cannot be read.
bool platformListFolder(const char* path, void (*visit)(void* context, const char* name), void* context);
// mkdir with the given permissions (the process's mask applies).  True when
// made; false with the error code otherwise.
bool platformMakeFolder(const char* path, std::uint32_t permissions, int* errorCode);
// Whether `path` is a folder itself (not a link) owned by this user.
bool platformIsOwnFolder(const char* path);
// rmdir; unlink (never a folder).
bool platformRemoveFolder(const char* path);
bool platformRemoveFile(const char* path);
// Gives the owner read, write and search rights on a folder (so that its
// entries can be listed and removed).
bool platformMakeFolderAccessible(const char* path);
// rename; false with the error code.
bool platformRename(const char* from, const char* to, int* errorCode);
// Copies a regular file's bytes and permissions to a new file (an existing
// one is refused).  False when anything failed (a partial target is
// removed).
bool platformCopyFile(const char* from, const char* to);
// Reads a symbolic link's target; makes a symbolic link.
bool platformReadLink(const char* path, char* target, std::size_t capacity);
bool platformMakeLink(const char* target, const char* path);
// Device number of what is at `path` (no link followed); false when absent.
bool platformDeviceOf(const char* path, std::uint64_t* device);
// Whether this user may write the file (or folder) at `path`; false with
// the error code in *errorCode when it is given.
bool platformMayWrite(const char* path, int* errorCode = nullptr);
// Opens the regular file at `path` (links followed) as a buffered stream for
// reading ("rb").  Anything else (a folder, a pipe or FIFO, a device, a
// socket) is refused, and the call never waits: a FIFO that no process
// writes to is refused at once, as is one that a path names only after it
// was checked.  Null when refused or when the file cannot be opened.
std::FILE* platformOpenRegularFileForReading(const char* path);
// Reads the first bytes of the file at `path`: `capacity` bytes, fewer when
// the file is shorter (*count tells how many).  False with the error code
// when the file cannot be opened or read (EISDIR for a folder).  Neither the
// open nor the reads wait (for a FIFO's writer, say).
bool platformReadFileStart(const char* path, void* bytes, std::size_t capacity, std::size_t* count,
                           int* errorCode);
// Closes a descriptor of the calls here.
void platformCloseFile(int descriptor);

// The characters of a new file's name that no one can know in advance:
// fills `count` characters, letters and digits, from the system's random
// source; false when it cannot be had.  Tests may give their own source.
using PlatformNameSource = bool (*)(char* characters, std::size_t count);
bool platformRandomNameCharacters(char* characters, std::size_t count);
// How many such characters a name takes, and how many names are tried.
inline constexpr std::size_t kPlatformUnusedNameCharacters = 16;
inline constexpr int kPlatformUnusedNameTries = 100;
// The current folder, zero-terminated; false when it does not fit.
bool platformCurrentFolder(char* path, std::size_t capacity);
// The program file's path; false when it cannot be read.
bool platformProgramPath(char* path, std::size_t capacity);
// An environment variable, or null.
const char* platformEnvironment(const char* name);
// The user's home folder from the user database, or null.
const char* platformUserDatabaseHome();
// The user id of this process.
std::uint32_t platformUserId();
// Creates a new file exclusively with the given bytes; false when it exists
// or cannot be written.
bool platformCreateNewFile(const char* path, const char* bytes, std::size_t count);

// --- Entries of a folder held by its descriptor ---------------------------
//
// A folder held open stays the folder it was when it was reached, whatever
// is done to the names on its path afterwards: the calls below name an entry
// by a folder's descriptor and a name in it (a path relative to it), so that
// what was checked is what is used.  kPlatformCurrentFolder stands for the
// current folder, where a name is read as any path is.

inline constexpr int kPlatformCurrentFolder = -100;

// What an entry is and whose, as the system shows it to this process.
struct PlatformEntryInfo {
  PlatformEntryKind kind = PlatformEntryKind::kNone;
  std::uint32_t owner = 0;  // user id
  std::uint32_t group = 0;  // group id
  std::uint32_t mode = 0;   // the permission bits with the set-id and sticky bits (07777)
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Describes the entry `name` of `folder` (with `followLinks` what a link
// there leads to); false with the system's error code otherwise.
bool platformDescribeEntry(int folder, const char* name, bool followLinks, PlatformEntryInfo* info,
                           int* errorCode = nullptr);
// Describes what the descriptor `held` holds.
bool platformDescribeHeld(int held, PlatformEntryInfo* info);
// Holds the entry `name` of `folder` without opening it for reading or
// writing and without following a link at it (a link is held as the link
// itself, a folder as a folder for the calls here): its descriptor, to close
// with platformCloseFile; -1 with the system's error code otherwise.  An
// empty name, "." and ".." hold `folder` itself and its parent.
int platformHoldEntry(int folder, const char* name, int* errorCode);
// Reads the target of the link that `held` holds (zero-terminated); false
// with the error code when it is not a link, cannot be read or does not fit
// (ENAMETOOLONG).
bool platformReadHeldLink(int held, char* target, std::size_t capacity, int* errorCode);
// Whether a file of the name `name` can exist in `folder` as far as its
// length goes (true for a name that exists); false with the error code
// (ENAMETOOLONG) otherwise.
bool platformNameFitsFolder(int folder, const char* name, int* errorCode);
// Whether this user may write the entry `name` of `folder` (links
// followed); false with the error code in *errorCode when it is given.
bool platformMayWriteEntry(int folder, const char* name, int* errorCode = nullptr);
// rename within `folder`; false with the error code.
bool platformRenameInFolder(int folder, const char* from, const char* to, int* errorCode);
// Gives the entry `from` of `folder` the name `to` there only while nothing
// is at `to`, in one step that never replaces an entry: a rename that
// replaces nothing, or, on a file system without one, a second name for the
// file and then the removal of the first.  False with the error code
// otherwise: EEXIST when something is at `to` (it is left as it is), ENOTSUP
// when the file system can do neither, or the error of a first name that
// could not be removed (the second is then removed again).
bool platformRenameToFreeName(int folder, const char* from, const char* to, int* errorCode);
// unlink within `folder` (never a folder).
bool platformRemoveFileInFolder(int folder, const char* name);
// Gives the open file `descriptor` the permission bits `mode` (07777).
bool platformSetPermissionsOfOpenFile(int descriptor, std::uint32_t mode);
// Gives the open file `descriptor` the permission bits of the regular file
// at `from` (links followed); false when `from` is not one or the bits could
// not be set.  The file itself is changed, whatever its name now names.
bool platformCopyPermissionsToOpenFile(const char* from, int descriptor);
// Creates a new file, open for reading and writing, in `folder` at `before`
// + kPlatformUnusedNameCharacters characters of `source` (the system's
// random source when null) + `after`.  The file is made new, and no link is
// followed: whatever is already at a name (a file, a link, a dangling link)
// is left exactly as it is and another name is tried, at most
// kPlatformUnusedNameTries names.  The new file has the permissions of a new
// file (0666 less the process's file mask).  Its descriptor, with its path
// (relative to `folder`) in `path`; -1 with the error code otherwise
// (EEXIST when every name tried was taken, ENAMETOOLONG when the path does
// not fit `capacity`).
int platformCreateUnusedFile(int folder, const char* before, const char* after, char* path,
                             std::size_t capacity, int* errorCode, PlatformNameSource source = nullptr);

// --- Who may do what with an entry ----------------------------------------

// Whether the folder `folder` has the sticky bit, whoever may write into it:
// there only an entry's owner, the folder's owner and a process that may act
// as any file's owner may remove or rename over the entry.
bool platformIsStickyFolder(const PlatformEntryInfo& folder);
// Whether the folder `folder` is one that others may put entries into but
// not remove another's from, as /tmp: sticky, and writable by its group or
// by others.
bool platformIsSharedStickyFolder(const PlatformEntryInfo& folder);
// Whether a user or group id that an entry shows is one that this process's
// user namespace does not map (the system then shows every such owner as the
// same overflow id, /proc/sys/kernel/overflowuid and overflowgid): it names
// no one in particular, never this user nor a folder's owner.  Never so in a
// namespace that maps every id.
bool platformIsUnmappedUser(std::uint32_t user);
bool platformIsUnmappedGroup(std::uint32_t group);
// Whether this process may act as the owner of any file (CAP_FOWNER in its
// effective set); the system honours that only for a file whose owner and
// group its namespace maps.
bool platformMayActAsAnyFileOwner();
// Whether the system lets this process remove the entry `entry` of the
// folder `folder`, or rename another over it: anywhere but in a sticky
// folder; there, when the entry or the folder is this user's, or the process
// may act as the entry's owner.
bool platformSystemLetsReplace(const PlatformEntryInfo& folder, const PlatformEntryInfo& entry);
