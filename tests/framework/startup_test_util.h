// Helpers of the log, error-report and start-up tests: scratch folders,
// whole-file reads, and running the probe program in a child process.
#pragma once

#include <string>
#include <vector>

#include "framework/tstring.h"

// A fresh folder under `base` (else the system's temporary folder),
// deleted with its contents at the end of the scope.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* base = nullptr);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder with a trailing "/".
  const std::string& Path() const { return mPath; }
  TString Folder() const { return TString::FromNarrow(mPath.c_str(), 3); }

 private:
  std::string mPath;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& contents);
bool PathExists(const std::string& path);

// The lines of a log (split at CR LF; a lone LF is kept inside a line so
// that a wrong line end shows).
std::vector<std::string> LogLines(const std::string& contents);

// The result of a child process.
struct ChildResult {
  bool exited = false;  // ended by exit (not by a signal, not hung)
  int exitCode = -1;
  int signal = 0;         // the signal that ended it, when not exited
  bool timedOut = false;  // killed by the watchdog (a deadlock)
  std::string output;     // stdout and stderr together
};

// The environment of a child: the inherited variables, with those that
// `env` names ("NAME=value") replaced by its values and the others of `env`
// added.  Every name appears once, so the child sees the given value
// whatever this process inherited (a HOME or XDG_DATA_HOME of the user's).
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& env);

// Runs `program` with `arguments` in ChildEnvironment(`env`), collecting
// its output.  The watchdog kills a child that runs longer than
// `watchdogSeconds` (a hang counts as a failure, it is no timing
// measurement).
ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& env, int watchdogSeconds = 120);

// The probe program built next to the tests.
std::string ProbeProgram();
