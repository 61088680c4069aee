// Runs the dcp2mov executable as a child process with exact arguments and
// collects its exit code, standard output and standard error.
#pragma once

#include <string>
#include <vector>

namespace convtest {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  bool stopped = false;  // killed after its time limit (RunToolWithin)
};

// The arguments go to the program unchanged (no shell).
ToolRun RunTool(const std::vector<std::string>& arguments);
// The same with the variables `environment` (NAME=value) set for the run,
// in place of the test's own of those names, as the user `user` (its group
// the same number, no other group) when not -1, which root may ask, and,
// with `ownUserNamespace`, in a user namespace of its own where that user
// is root and every other user and group is unmapped (`unshare -r`).
ToolRun RunTool(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                int user = -1, bool ownUserNamespace = false);
// The same with the descriptor `input` as the program's standard input (-1:
// the test's own), for a run that could wait for ever: a run still going
// after `limitSeconds` is killed and marked `stopped`, so that the test
// fails instead of hanging.
ToolRun RunToolWithin(const std::vector<std::string>& arguments, int input, int limitSeconds);

// A fresh folder for one test's files.
std::string TempFolder();
// A fresh folder that goes, with everything in it, when the object does.
class ScopedTempFolder {
 public:
  ScopedTempFolder() : path_(TempFolder()) {}
  ~ScopedTempFolder();
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace convtest
