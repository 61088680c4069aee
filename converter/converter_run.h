// The tool's run after start-up: the process's arguments split, the
// single-instance hand-over, then the options acted on (usage, version or the
// conversion) and turned into the exit code.
#pragma once

#include <cstdint>

#include "framework/arrays.h"

// The process's run after start-up: the arguments split, the single-instance
// hand-over tried, then RunConverter.  The exit code.
std::int32_t SplitCommandLine(int argc, const char* const* argv);

// Hands the file arguments to another running instance of the tool.  No
// other instance ever announces itself to this tool, so this finds none and
// answers false.
bool HandOverToRunningInstance(const TStringArray& arguments);

// One run: options, usage and version, then the conversion; the exit code.
std::int32_t RunConverter(const TStringArray& arguments);
