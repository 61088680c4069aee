// A run of the log (TLog) in a process of its own, for the tests of runs
// that share one log file:
//
//   framework_log_runner FOLDER TAG RUNS LINES PADDING
//       makes RUNS runs one after another, each a log of FOLDER/Log.txt
//       (which cuts the file when it is over its size as it opens) that
//       writes LINES lines "TAG: <run> <line> <PADDING x 'p'>" and closes;
//   framework_log_runner FOLDER TAG 1 0 PADDING until-closed
//       one run that writes its first line, says "ready" on its standard
//       output, goes on writing lines until its standard input ends, then
//       writes one more and says "wrote N" (the lines are numbered 0 to
//       N - 1).
//
// Exit code 0, or 2 for wrong arguments.
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/exceptions.h"
#include "framework/log.h"
#include "framework/tstring.h"

namespace {

// Whether the standard input has ended (without waiting for it).
bool InputEnded() {
  pollfd p{0, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0) return false;
  char byte;
  return read(0, &byte, 1) <= 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  const bool untilClosed = argc > 6 && std::strcmp(argv[6], "until-closed") == 0;
  const TString folder = TString::FromNarrow(argv[1], 3);
  const char* tag = argv[2];
  const int runs = std::atoi(argv[3]);
  const int lines = std::atoi(argv[4]);
  const std::string padding(static_cast<std::size_t>(std::atoi(argv[5])), 'p');
  StartStringSystem();
  SetOutOfMemoryText();
  if (untilClosed) {
    TPtr<TLog> log(new TLog(folder, TString(u"Log.txt"), 0, false));
    int line = 0;
    log->Write(tag, "0 %d %s", line++, padding.c_str());
    std::printf("ready\n");
    std::fflush(stdout);
    while (!InputEnded()) log->Write(tag, "0 %d %s", line++, padding.c_str());
    log->Write(tag, "0 %d %s", line++, padding.c_str());
    std::printf("wrote %d\n", line);
  } else {
    for (int run = 0; run < runs; ++run) {
      TPtr<TLog> log(new TLog(folder, TString(u"Log.txt"), 0, false));
      for (int line = 0; line < lines; ++line) log->Write(tag, "%d %d %s", run, line, padding.c_str());
    }
  }
  ClearOutOfMemoryText();
  StopStringSystem();
  return 0;
}
