// The services of the files-and-folders, system-information and console
// layers that the log, the error reports and the start-up use, reached
// through one place.
#pragma once

#include <cstdint>

#include "framework/tstring.h"

// The per-version application-data folder (created), with a trailing "/".
TString ServiceApplicationDataFolder();
// The operating system's display name for the log header.
TString ServiceOperatingSystemName();
// One line on the standard output: a TString / an 8-bit text.
void ServiceConsoleLine(const TString& text);
void ServiceConsoleText(const char* text);
