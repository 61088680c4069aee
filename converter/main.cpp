// dcp2mov: converts a Digital Cinema picture track file into a QuickTime
// movie.
#include <cstdint>
#include <cstdio>

#include "converter/converter_run.h"
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
  for (std::uint64_t wanted : {2048u, 1024u}) {
    if (platformEnsureOpenFileLimit(wanted)) return;
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
  // Every page the run touches is fresh once (buffers are kept from frame to
  // frame), and the encoder asks for large pages for its frames: ordinary
  // pages make that first touch much cheaper in system time here, for the
  // same peak memory.
  platformDeclineLargePages();
  RaiseOpenFileLimit();
  TArguments arguments{argc, argv};
  const std::int32_t code = ConverterGuardedRun(&RunBody, &arguments);
  ConverterLeaveMain();
  return code;
}
