// dcp2mov: converts a Digital Cinema picture track file into a QuickTime
// movie.
#include <sys/resource.h>

#include <cstdio>

#include "converter/command_line.h"
#include "converter/framework_bridge.h"
#include "platform/system.h"

namespace {

struct TArguments {
  int argc;
  const char* const* argv;
};

// Raises the limit of open files to 2048, else 1024; a failure is reported
// and the run goes on.
void RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    std::perror("_setmaxstdio(2048 or 1024) failed");
    return;
  }
  for (rlim_t wanted : {rlim_t{2048}, rlim_t{1024}}) {
    if (limit.rlim_cur >= wanted) return;
    rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) return;
  }
  std::perror("_setmaxstdio(2048 or 1024) failed");
}

std::int32_t RunBody(void* context) {
  const auto* arguments = static_cast<const TArguments*>(context);
  return SplitCommandLine(arguments->argc, arguments->argv);
}

}  // namespace

int main(int argc, char** argv) {
  ConverterEnterMain();
  // Every frame allocates and frees frame-sized buffers (decoding, colour
  // conversion, encoding).
  platformKeepFreedMemory();
  RaiseOpenFileLimit();
  TArguments arguments{argc, argv};
  const std::int32_t code = ConverterGuardedRun(&RunBody, &arguments);
  ConverterLeaveMain();
  return code;
}
