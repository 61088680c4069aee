// The files that must not outlive an abnormal end of the process (the
// temporary movie, a log cut's new file): the signals whose default action
// ends a process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ,
// SIGXCPU, SIGUSR1 and the others) remove them and then end the process as
// their default action does; the crash signals (crash_signals.h) remove
// them before their handler runs.  Only SIGKILL (or the loss of the machine)
// can leave them behind.
//
// A file is named by a folder's descriptor (kPlatformCurrentFolder of
// file_system.h for the current folder) and its path from there; the
// descriptor must stay open until the removal is cancelled.  The paths are
// copied in advance, so that removing them inside a signal handler takes no
// allocation, no lock and no stdio: one unlinkat(2) each.  Any thread may
// name and cancel files.
#pragma once

#include <cstddef>

// The longest path (with its terminating zero) that can be named.
inline constexpr unsigned kPlatformAbnormalEndPathCapacity = 4096;
// How many files can be named at once.
inline constexpr int kPlatformAbnormalEndFiles = 4;

// Names `path` of `folder` as a file to remove when the process ends by one of those
// signals or crashes, and installs the handlers of the ending signals once.
// A signal the process ignores stays ignored, and one that already has a
// handler keeps it.  The token that cancels the removal; -1 when the path
// does not fit, kPlatformAbnormalEndFiles files are named already, or a
// handler could not be installed (the file is then not named).
int platformRemoveFileOnAbnormalEnd(int folder, const char* path);
// Creates a new file as platformCreateUnusedFile (file_system.h) does, in
// `folder` at `before` + characters no one can know in advance + `after`, and names it
// as a file to remove at an abnormal end, its token in *token.  The ending
// signals and the crash signals are held back in the calling thread from
// before the file is made until it is named, so that such a signal sent to
// the thread either comes before the file exists or finds it named.  (A
// signal sent to the process may be taken by another thread meanwhile.)
// The descriptor, with the path in `path`; -1 with the error code otherwise
// (a file made but not named is removed again).
int platformCreateFileRemovedOnAbnormalEnd(int folder, const char* before, const char* after, char* path,
                                           std::size_t capacity, int* errorCode, int* token);
// The file of `token` is no longer to be removed (it was kept or removed by
// the program itself); nothing for -1.  A token cancels once: cancelled
// again, it leaves alone whatever file was named since.
void platformCancelRemovalOnAbnormalEnd(int token);
// Removes the named files now, once each, and forgets them.  Safe inside a
// signal handler.
void platformRemoveFilesOfAbnormalEnd();
