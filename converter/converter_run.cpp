#include "converter/converter_run.h"

#include "converter/command_line.h"
#include "converter/console.h"
#include "converter/conversion_run.h"
#include "converter/framework_bridge.h"

namespace {

// The record another instance of the tool would share with this one: the
// window that takes file arguments and the user it runs for.  Nothing in
// this tool writes it, so it stays empty.
struct TSingleInstanceRecord {
  void* window = nullptr;
  char16_t userName[256] = {};
};
TSingleInstanceRecord gSingleInstance;

}  // namespace

std::int32_t SplitCommandLine(int argc, const char* const* argv) {
  const TStringArray arguments = SplitProcessArguments(argc, argv);
  if (HandOverToRunningInstance(arguments)) return kExitOk;
  return RunConverter(arguments);
}

bool HandOverToRunningInstance(const TStringArray& arguments) {
  // The other instance's window must be known before anything is sent.
  if (gSingleInstance.window == nullptr) return false;
  (void)arguments;
  return false;
}

std::int32_t RunConverter(const TStringArray& arguments) {
  ConverterSetLogEcho(false);
  SetConsoleFlags(kConsoleNotes);
  const TCommandLineOptions options(arguments);
  if (options.mVersionRequested) PrintVersion();
  if (options.mHelpRequested) PrintUsage();
  if (options.mVersionRequested || options.mHelpRequested) return kExitOk;
  if (options.HasParseError()) {
    PrintNote("There was a problem. Type %s -h for help.", ProgramFileName().ToNarrow(0));
    return kExitCommandLine;
  }
  if (options.mVerbose) SetConsoleFlags(kConsoleInfo | kConsoleNotes);
  return CheckEssenceAndConvert(options);
}
