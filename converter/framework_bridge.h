// The framework services of the upper layers (files and paths, system
// information, the log, start-up and shutdown) as the converter calls them.
// Each function here forwards to the framework; the converter calls nothing
// of those layers directly, so the coupling sits in this one file pair.
#pragma once

#include <cstdint>

#include "framework/tstring.h"

// The framework's count of nested main bodies (main is running while it is
// above zero).
void ConverterEnterMain();
void ConverterLeaveMain();

// Start-up and shutdown of the framework around one run of the tool.
void ConverterStartup();
void ConverterShutdown();

// Runs `body` (the run) inside the framework's guard: an exception escaping
// it is logged as a crash, the framework shuts down and the result is 1.
// Otherwise the framework shuts down and the result is what `body` gave.
std::int32_t ConverterGuardedRun(std::int32_t (*body)(void* context), void* context);

// The log: one line under a category (nothing when there is no log), and
// whether the log echoes its lines to the console itself.
void ConverterLogMessage(const char* category, const char* text);
bool ConverterLogEchoesToConsole();
void ConverterSetLogEcho(bool echo);

// The count of logical processors the process may use (at least 1).
std::int32_t ConverterNumberOfProcessors();

// The path of the running executable.
TString ConverterModuleFilePath();

// The part of a path after its last separator (the whole path when there is
// none); the path without its file extension (a dot before the last separator
// is kept).
TString ConverterExtractFileName(const TString& path);
TString ConverterRemoveFileExtension(const TString& path);
