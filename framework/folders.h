// The per-user application-data folder (one per product version, with the
// settings of the newest older version carried over on the first run) and
// the per-process temporary folder.
#pragma once

#include <cstdint>

#include "framework/tstring.h"

// $XDG_DATA_HOME (else ~/.local/share) + "Tarvo/" + "V0.0.1/", created;
// the program's folder when that cannot be had.  Computed once; the first
// call carries the settings of an older version over.
TString ApplicationDataFolder();

// The per-process temporary folder: $TMPDIR (else /tmp) + TempFolderName,
// else the program's folder + "Temp/" + TempFolderName.  Created 0700 and
// accepted only when it is a real folder owned by this user.  Recomputed
// when it has disappeared.
TString TempFolder();
// product "-" context index (0 when the thread has none) "-" process id.
TString TempFolderName();
// Forgets the kept temporary folder (the next TempFolder computes it anew).
void ForgetTempFolder();

// Start-up: unless another instance runs, deletes the temporary folders of
// processes that no longer run next to this process's own.
void RemoveStaleTempFolders();
// The same without asking whether another instance runs: the stale folders
// next to this process's own temporary folder.  Returns the number deleted.
std::int32_t RemoveStaleTempFoldersBesideOwn();
// The same within `root`: every sub-folder named product "-" index "-" pid
// whose pid is neither this process nor a running process, and which is a
// real folder (not a link) of this user, is deleted.  Returns the number of
// folders deleted.
std::int32_t RemoveStaleTempFoldersIn(const TString& root);
// Whether a process of that id runs.
bool ProcessIsRunning(std::uint32_t pid);

// Copies "*.db", "*.xml", "Template*" files and the sub-folders not named
// "CrashBackups..." of the newest older version folder into the current
// one, unless the current one has settings already.
void CarryOverSettings();
// The carry-over into the version folder `current` for a program of
// version (major, minor, patch); the number of items copied.
std::int32_t CarryOverSettingsInto(const TString& current, std::int32_t major, std::int32_t minor,
                                   std::int32_t patch);

// Test control: forgets the kept application-data folder and the
// carry-over flag.
void ResetApplicationDataFolderForTesting();
