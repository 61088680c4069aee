// The one file that must not outlive an abnormal end of the process: the
// signals whose default action ends a process (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE, SIGXFSZ, SIGXCPU, SIGUSR1 and the others) remove it and
// then end the process as their default action does; the crash signals
// (crash_signals.h) remove it before their handler runs.  Only SIGKILL (or
// the loss of the machine) can leave it behind.
//
// The path is copied in advance, so that removing it inside a signal handler
// takes no allocation, no lock and no stdio: one unlink(2).
#pragma once

#include <cstddef>

// The longest path (with its terminating zero) that can be named.
inline constexpr unsigned kPlatformAbnormalEndPathCapacity = 4096;

// Names `path` as the file to remove when the process ends by one of those
// signals or crashes (replacing any file named before), and installs the
// handlers of the ending signals once.  A signal the process ignores stays
// ignored, and one that already has a handler keeps it.  False when the path
// does not fit or a handler could not be installed.
bool platformRemoveFileOnAbnormalEnd(const char* path);
// Creates a new file as platformCreateUnusedFile (file_system.h) does, at
// `before` + characters no one can know in advance + `after`, and names it
// as the file to remove at an abnormal end.  The ending signals and the
// crash signals are held back in the calling thread from before the file is
// made until it is named, so that such a signal either comes before the
// file exists or finds it named, and never removes a file this process did
// not make (the file named before is no longer named from the start).  Other
// threads are not covered: call it before they start.  The descriptor, with
// the path in `path`; -1 with the error code otherwise.
int platformCreateFileRemovedOnAbnormalEnd(const char* before, const char* after, char* path,
                                           std::size_t capacity, int* errorCode);
// The named file is no longer to be removed (it was kept or removed by the
// program itself).
void platformCancelRemovalOnAbnormalEnd();
// Removes the named file now, once, and forgets it.  Safe inside a signal
// handler.
void platformRemoveFileOfAbnormalEnd();
