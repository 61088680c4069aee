// The command line: the process's arguments joined and split, the options
// record and its parse, the usage and version texts, and the exit codes.
// The run that acts on the options is converter/converter_run.h.
#pragma once

#include <cstdint>

#include "framework/arrays.h"
#include "framework/tstring.h"

// Exit codes of the process.
inline constexpr std::int32_t kExitOk = 0;
inline constexpr std::int32_t kExitFailed = 1;
inline constexpr std::int32_t kExitCommandLine = 3;
inline constexpr std::int32_t kExitUnsupported = 5;

class TCommandLineOptions {
 public:
  // Parses the arguments (element 0, the program, is skipped).  Notes about
  // a faulty command line are printed here.
  explicit TCommandLineOptions(const TStringArray& arguments);

  bool HasParseError() const { return mParseError != 0; }

  std::uint8_t mHelpRequested = 0;
  std::uint8_t mVersionRequested = 0;
  std::uint8_t mVerbose = 0;
  std::uint8_t mReadOnly = 0;  // -W: frames are read and decoded, no movie is written
  std::int32_t mStartFrame = 0;
  std::int32_t mFrameCount = -1;          // the whole file
  std::uint32_t mCodecType = 0x61766331;  // 'avc1'
  TString mInputPath;
  TString mOutputPrefix;
  std::uint8_t mParseError = 1;
};

// A command line as one text, split into arguments: blanks separate them
// outside double quotes; a quote not preceded by a backslash toggles
// quoting; then each argument loses its enclosing quotes and every
// backslash-quote pair becomes a lone quote.  The line is trimmed first
// (tabs become two blanks).
TStringArray SplitCommandLineText(const TString& line);

// The process's arguments joined into one command line that
// SplitCommandLineText takes apart again into the same arguments: quoted
// where they hold white space or are empty, with their quotes escaped.
TString JoinCommandLine(int argc, const char* const* argv);

// The arguments of the process: argv joined into a command line and split by
// the rule above.  When an argument cannot pass the rule unchanged (a tab, or
// a backslash right before the closing quote of an argument with a blank),
// the arguments are taken from argv as given.
TStringArray SplitProcessArguments(int argc, const char* const* argv);

void PrintUsage();
void PrintVersion();

// The program's own file name, as usage and notes show it.
TString ProgramFileName();
