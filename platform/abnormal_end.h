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

// The longest path (with its terminating zero) that can be named.
inline constexpr unsigned kPlatformAbnormalEndPathCapacity = 4096;

// Names `path` as the file to remove when the process ends by one of those
// signals or crashes (replacing any file named before), and installs the
// handlers of the ending signals once.  A signal the process ignores stays
// ignored, and one that already has a handler keeps it.  False when the path
// does not fit or a handler could not be installed.
bool platformRemoveFileOnAbnormalEnd(const char* path);
// The named file is no longer to be removed (it was kept or removed by the
// program itself).
void platformCancelRemovalOnAbnormalEnd();
// Removes the named file now, once, and forgets it.  Safe inside a signal
// handler.
void platformRemoveFileOfAbnormalEnd();
