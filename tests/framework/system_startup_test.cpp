// Start-up, shutdown and the crash handler, each run in a child process
// (the probe program) with its own HOME, XDG_DATA_HOME and TMPDIR, so that
// the real user's folders are never touched.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/framework/startup_test_util.h"

namespace {

// Sets an environment variable of this process for one scope and restores
// what it was (or its absence) afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : mName(name) {
    if (const char* old = getenv(name)) mOld = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (mOld) {
      setenv(mName, mOld->c_str(), 1);
    } else {
      unsetenv(mName);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* mName;
  std::optional<std::string> mOld;
};

// A user whose environment names folders of their own: the child gets the
// folders the test gives instead, each variable once.
TEST(ChildEnvironment, GivenVariablesReplaceTheInheritedOnes) {
  const ScopedVariable home("HOME", "/user/home");
  const ScopedVariable data("XDG_DATA_HOME", "/user/data");
  const ScopedVariable tmp("TMPDIR", "/user/tmp");
  const ChildResult result = RunChild("/usr/bin/env", {}, {"HOME=/given/home", "XDG_DATA_HOME=/given/data"});
  ASSERT_TRUE(result.exited) << result.output;
  ASSERT_EQ(result.exitCode, 0) << result.output;
  std::vector<std::string> seen;
  std::size_t start = 0;
  while (start < result.output.size()) {
    std::size_t end = result.output.find('\n', start);
    if (end == std::string::npos) end = result.output.size();
    const std::string line = result.output.substr(start, end - start);
    for (const char* name : {"HOME=", "XDG_DATA_HOME=", "TMPDIR="}) {
      if (line.rfind(name, 0) == 0) seen.push_back(line);
    }
    start = end + 1;
  }
  // The variable the test did not give is inherited as it is.
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen,
            (std::vector<std::string>{"HOME=/given/home", "TMPDIR=/user/tmp", "XDG_DATA_HOME=/given/data"}))
      << result.output;
}

class ProbeTest : public ::testing::Test {
 protected:
  ProbeTest() {
    mkdir((mScratch.Path() + "home").c_str(), 0700);
    mkdir((mScratch.Path() + "data").c_str(), 0700);
    mkdir((mScratch.Path() + "tmp").c_str(), 0700);
  }

  ChildResult Run(const char* mode, const std::string& program = ProbeProgram()) {
    return RunChild(program, {mode},
                    {"HOME=" + mScratch.Path() + "home", "XDG_DATA_HOME=" + mScratch.Path() + "data",
                     "TMPDIR=" + mScratch.Path() + "tmp"});
  }
  std::string LogPath() const { return mScratch.Path() + "data/Tarvo/V0.0.1/Log.txt"; }
  std::string Log() const { return ReadWholeFile(LogPath()); }
  // The names in the child's TMPDIR.
  std::vector<std::string> TempEntries() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir((mScratch.Path() + "tmp").c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    return names;
  }

  // The lines of `text` (split at LF) that start with `prefix`.
  static std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
      start = end + 1;
    }
    return found;
  }

  ScratchFolder mScratch;
};

TEST_F(ProbeTest, StartupAndShutdownRunEveryStepInOrder) {
  // A temporary folder of a process that no longer runs, and one that is
  // not named like the framework's.
  const std::string stale = mScratch.Path() + "tmp/Tarvo-0-3999999";
  const std::string foreign = mScratch.Path() + "tmp/Tarvo-notes";
  ASSERT_EQ(mkdir(stale.c_str(), 0700), 0);
  WriteWholeFile(stale + "/left.bin", "x");
  ASSERT_EQ(mkdir(foreign.c_str(), 0700), 0);
  // Stale folders are only removed when no other process runs the same
  // program, and other probe tests may run meanwhile: this one runs a copy
  // of the probe under a name of its own.
  const std::string copy = mScratch.Path() + "order-probe-" + std::to_string(getpid());
  WriteWholeFile(copy, ReadWholeFile(ProbeProgram()));
  ASSERT_EQ(chmod(copy.c_str(), 0700), 0);
  const ChildResult result = Run("order", copy);
  ASSERT_TRUE(result.exited) << result.output;
  EXPECT_EQ(result.exitCode, 7) << result.output;  // the run's own result
  const std::vector<std::string> steps = LinesStartingWith(result.output, "step: ");
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "SeedRandom", "primInitCpuDispatch", "DetectProcessor", "EnableLowFragmentationHeap",
                       "CreateThreadManager", "CreateThreadCommunicator", "CreateSystemGlobals",
                       "StartStringSystem", "SetOutOfMemoryText", "CreateCommandPool", "OpenApplicationLog",
                       "RemoveStaleTempFolders", "TestSSE",
                       // shutdown
                       "DispatchAll", "DeleteTempFolder", "CloseApplicationLog", "DestroyCommandPool",
                       "ClearOutOfMemoryText", "StopStringSystem", "DestroySystemGlobals",
                       "DestroyThreadCommunicator", "DestroyThreadManager", "ClearRegistrations"}));
  EXPECT_EQ(LinesStartingWith(result.output, "started: "), std::vector<std::string>{"yes"});
  EXPECT_EQ(LinesStartingWith(result.output, "main thread: "), std::vector<std::string>{"3"});
  EXPECT_EQ(LinesStartingWith(result.output, "stopped: "), std::vector<std::string>{"yes"});

  // The command posted during the run executed in the shutdown dispatch,
  // before the log closed.
  const std::string log = Log();
  const std::size_t running = log.find("Probe: running\r\n");
  const std::size_t command = log.find("Command: dispatched at shutdown\r\n");
  const std::string closingLine = "\r\n\r\nClosing log file...\r\n";
  const std::size_t closing = log.find(closingLine);
  ASSERT_NE(running, std::string::npos) << log;
  ASSERT_NE(command, std::string::npos) << log;
  ASSERT_NE(closing, std::string::npos) << log;
  EXPECT_LT(running, command);
  EXPECT_LT(command, closing);
  EXPECT_EQ(closing + closingLine.size(), log.size());

  // The process's temporary folder is gone with its contents.
  const std::vector<std::string> temp = LinesStartingWith(result.output, "temp: ");
  ASSERT_EQ(temp.size(), 1u);
  EXPECT_EQ(temp[0].rfind(mScratch.Path() + "tmp/Tarvo-", 0), 0u) << temp[0];
  EXPECT_FALSE(PathExists(temp[0]));
  // Start-up removed the stale folder and left the foreign one alone.
  EXPECT_FALSE(PathExists(stale));
  EXPECT_TRUE(PathExists(foreign));
}

TEST_F(ProbeTest, AProcessorWithoutSseIsRefusedLoggedAndEndsWithOne) {
  const ChildResult result = Run("no-sse");
  ASSERT_TRUE(result.exited) << result.output;
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output.find("run reached"), std::string::npos);
  const std::string log = Log();
  const std::string cpu = "CPU: SSE instruction set not supported. Bailing out..\r\n";
  const std::string exception =
      "Exception: Tarvo requires a CPU with the SSE instruction set enabled and hence cannot "
      "run on this computer.\r\n";
  const std::size_t cpuAt = log.find(cpu);
  const std::size_t exceptionAt = log.find(exception);
  ASSERT_NE(cpuAt, std::string::npos) << log;
  ASSERT_NE(exceptionAt, std::string::npos) << log;
  EXPECT_LT(cpuAt, exceptionAt);
  // The shutdown ran after the refusal: the log was closed and no temporary
  // folder is left.
  EXPECT_NE(log.find("Closing log file...\r\n", exceptionAt), std::string::npos);
  EXPECT_EQ(TempEntries(), std::vector<std::string>{});
  // The lines reached the console through the log's own echo.
  EXPECT_NE(result.output.find("Tarvo LOG> CPU: SSE instruction set not supported."), std::string::npos);
}

TEST_F(ProbeTest, ACppExceptionReachingMainIsLoggedShutsDownAndEndsWithOne) {
  const ChildResult result = Run("throw");
  ASSERT_TRUE(result.exited) << result.output;
  EXPECT_EQ(result.exitCode, 1);
  const std::string log = Log();
  const std::size_t at = log.find("CrashLog: Unhandled exception: probe failure\r\n");
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_NE(log.find("Closing log file...\r\n", at), std::string::npos);
  // The shutdown after the failure still removed the temporary folder.
  const std::vector<std::string> temp = LinesStartingWith(result.output, "temp: ");
  ASSERT_EQ(temp.size(), 1u);
  EXPECT_FALSE(PathExists(temp[0]));
  EXPECT_EQ(TempEntries(), std::vector<std::string>{});
}

// Whether `line` reads "CrashLog: <address>: <name> +<5 or more hex digits>".
bool IsFrameLine(const std::string& line) {
  const std::string prefix = "CrashLog: ";
  if (line.rfind(prefix, 0) != 0) return false;
  std::size_t pos = prefix.size();
  if (line.compare(pos, 5, "(nil)") == 0) {
    pos += 5;
  } else {
    if (line.compare(pos, 2, "0x") != 0) return false;
    pos += 2;
    const std::size_t digits = pos;
    while (pos < line.size() && std::isxdigit(static_cast<unsigned char>(line[pos])) &&
           !std::isupper(static_cast<unsigned char>(line[pos]))) {
      ++pos;
    }
    if (pos == digits) return false;
  }
  if (line.compare(pos, 2, ": ") != 0) return false;
  const std::size_t plus = line.rfind(" +");
  if (plus == std::string::npos || plus <= pos + 2) return false;
  const std::string displacement = line.substr(plus + 2);
  if (displacement.size() < 5) return false;
  for (char c : displacement) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) || std::islower(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

// The crash lines of a log: the signal code line and the frame lines, one
// block that nothing else logged meanwhile comes into.
void ExpectCrashTrace(const std::string& log, const char* code, const char* function) {
  const std::size_t at = log.find(std::string("\r\nCrashLog: Handling Exception! Code : ") + code + "\r\n");
  ASSERT_NE(at, std::string::npos) << log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
  std::size_t frames = 0;
  bool named = false;
  bool ended = false;
  std::size_t start = log.find("\r\n", at + 2) + 2;
  while (start < log.size()) {
    const std::size_t end = log.find('\n', start);
    if (end == std::string::npos) break;
    std::string line = log.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("CrashLog: ", 0) != 0) {
      ended = true;
    } else {
      EXPECT_FALSE(ended) << "the trace is split: " << line;
      EXPECT_TRUE(IsFrameLine(line)) << line;
      if (frames == 0 && function) {
        named = line.find(function) != std::string::npos;
      }
      ++frames;
    }
    start = end + 1;
  }
  EXPECT_GE(frames, 1u);
  if (function) {
    EXPECT_TRUE(named) << "first frame should be in " << function;
  }
}

TEST_F(ProbeTest, AFaultInAWorkerThreadLeavesAStackTraceAndEndsWithOne) {
  const ChildResult result = Run("fault-worker");
  ASSERT_FALSE(result.timedOut) << "the crash handler hung";
  ASSERT_TRUE(result.exited) << "ended by signal " << result.signal;
  EXPECT_EQ(result.exitCode, 1);
  const std::string log = Log();
  EXPECT_NE(log.find("Worker: about to fault\r\n"), std::string::npos);
  ExpectCrashTrace(log, "B", "ProbeWriteThroughNull(int volatile*)");
}

TEST_F(ProbeTest, AStackOverflowInAWorkerIsHandledOnTheAlternateStack) {
  const ChildResult result = Run("overflow-worker");
  ASSERT_FALSE(result.timedOut) << "the crash handler hung";
  ASSERT_TRUE(result.exited) << "ended by signal " << result.signal;
  EXPECT_EQ(result.exitCode, 1);
  ExpectCrashTrace(Log(), "B", "ProbeRecurse(int)");
}

TEST_F(ProbeTest, AnAbortIsHandledLikeAFault) {
  const ChildResult result = Run("abort");
  ASSERT_FALSE(result.timedOut);
  ASSERT_TRUE(result.exited) << "ended by signal " << result.signal;
  EXPECT_EQ(result.exitCode, 1);
  ExpectCrashTrace(Log(), "6", nullptr);
  // The log echoes to the console, so the crash lines reach it too.
  EXPECT_NE(result.output.find("Tarvo LOG> CrashLog: Handling Exception! Code : 6\n"), std::string::npos);
}

// Nothing at the log's name holds a run up: not a lock that another process
// keeps (a run stopped with Ctrl-Z in its cut, any program that locks the
// file, with either kind of lock), nor a FIFO.  With the lock kept, the
// run's lines and its crash lines are appended without it and the cut is
// left to a later run; without a regular file the run goes on without its
// log.
TEST_F(ProbeTest, NothingAtTheLogsNameHoldsARunUp) {
  std::filesystem::create_directories(mScratch.Path() + "data/Tarvo/V0.0.1");
  const std::string old = std::string(4194305, 'x') + "\r\n";
  WriteWholeFile(LogPath(), old);
  const int holder = open(LogPath().c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &whole), 0);
  ChildResult result = Run("fault-worker");
  close(holder);
  ASSERT_FALSE(result.timedOut) << "the run waited for the lock";
  EXPECT_TRUE(result.exited && result.exitCode == 1) << result.signal;
  const std::string log = Log();
  EXPECT_EQ(log.compare(0, old.size(), old), 0);
  EXPECT_NE(log.find("Worker: about to fault\r\n"), std::string::npos);
  ExpectCrashTrace(log, "B", "ProbeWriteThroughNull(int volatile*)");

  ASSERT_EQ(unlink(LogPath().c_str()), 0);
  ASSERT_EQ(mkfifo(LogPath().c_str(), 0600), 0);
  result = Run("fault-worker");
  ASSERT_FALSE(result.timedOut) << "the run waited for the FIFO";
  EXPECT_TRUE(result.exited && result.exitCode == 1) << result.signal;
  EXPECT_NE(result.output.find("Tarvo LOG> CrashLog: Handling Exception! Code : B\n"), std::string::npos);
  struct stat info {};
  ASSERT_EQ(lstat(LogPath().c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

}  // namespace
