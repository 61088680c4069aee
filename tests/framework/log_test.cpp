#include "framework/log.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "framework/crash_handler.h"
#include "framework/exceptions.h"
#include "tests/framework/startup_test_util.h"
#include "tests/framework/framework_test_env.h"

namespace {

const std::string kRule(60, '=');

// Whether `text` matches `shape`, where '9' stands for any digit and every
// other character for itself.
bool MatchesShape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (shape[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i]) {
      return false;
    }
  }
  return true;
}

// The clock the blank-line tests move by hand.
std::uint64_t gNow = 0;
std::uint64_t TestClock() { return gNow; }

class LogTest : public FrameworkTest {
 protected:
  // `base`: the folder the scratch folder is made in (else TMPDIR's).
  explicit LogTest(const char* base = nullptr) : mScratch(base) {}
  ~LogTest() override { SetApplicationLog(nullptr); }

  TPtr<TLog> MakeLog(std::int32_t mode = 0, const char* name = "Log.txt") {
    return TPtr<TLog>(new TLog(mScratch.Folder(), TString::FromNarrow(name, 3), mode, false));
  }
  std::string LogPath(const char* name = "Log.txt") const { return mScratch.Path() + name; }
  std::vector<std::string> Lines(const char* name = "Log.txt") const {
    return LogLines(ReadWholeFile(LogPath(name)));
  }
  // The names in the scratch folder, sorted (no cut left a file behind).
  std::vector<std::string> FolderNames() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(mScratch.Path().c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchFolder mScratch;
};

// Index of the first line after the header block that starts at `from`.
std::size_t AfterHeader(const std::vector<std::string>&, std::size_t from) { return from + 6; }

void ExpectHeaderAt(const std::vector<std::string>& lines, std::size_t at) {
  ASSERT_GE(lines.size(), at + 6);
  EXPECT_EQ(lines[at], kRule);
  EXPECT_EQ(lines[at + 1], "Version : Tarvo V0.0.1 (Dec  7 2016)");
  EXPECT_TRUE(MatchesShape(lines[at + 2], "Date    : 9999-99-99")) << lines[at + 2];
  // The time of day 00:00:00 has no text.
  EXPECT_TRUE(MatchesShape(lines[at + 3], "Time    : 99:99:99") || lines[at + 3] == "Time    : ")
      << lines[at + 3];
  EXPECT_EQ(lines[at + 4].rfind("OS      : ", 0), 0u);
  EXPECT_GT(lines[at + 4].size(), 10u);
  EXPECT_EQ(lines[at + 5], kRule);
}

TEST_F(LogTest, FirstLineOpensTheFileWithTheHeaderAndTheLastCloses) {
  TPtr<TLog> log = MakeLog();
  EXPECT_FALSE(log->IsOpen());
  EXPECT_FALSE(PathExists(LogPath()));
  log->WriteMessage("App", "hello");
  EXPECT_TRUE(log->IsOpen());
  log.Reset();
  const std::string contents = ReadWholeFile(LogPath());
  const std::vector<std::string> lines = LogLines(contents);
  ExpectHeaderAt(lines, 0);
  const std::vector<std::string> rest(lines.begin() + 6, lines.end());
  EXPECT_EQ(rest, (std::vector<std::string>{"", "App: hello", "", "Closing log file..."}));
  // Every line ends in CR LF; no bare LF anywhere.
  ASSERT_GE(contents.size(), 2u);
  EXPECT_EQ(contents.substr(contents.size() - 2), "\r\n");
  EXPECT_EQ(std::count(contents.begin(), contents.end(), '\n'),
            std::count(contents.begin(), contents.end(), '\r'));
}

TEST_F(LogTest, EachRunAppendsItsHeaderAfterFourLineBreaks) {
  MakeLog()->WriteMessage("Run", "one");
  MakeLog()->WriteMessage("Run", "two");
  const std::vector<std::string> lines = Lines();
  // Run one: header, blank, line, blank, closing line (10 lines); then four
  // empty lines and the second run.
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines[7], "Run: one");
  EXPECT_EQ(lines[9], "Closing log file...");
  for (std::size_t i = 10; i < 14; ++i) EXPECT_EQ(lines[i], "") << i;
  ExpectHeaderAt(lines, 14);
  EXPECT_EQ(lines[21], "Run: two");
  EXPECT_EQ(lines[23], "Closing log file...");
}

TEST_F(LogTest, OverwriteModeStartsAFreshFile) {
  WriteWholeFile(LogPath(), "old contents\r\n");
  MakeLog(1)->WriteMessage("New", "line");
  const std::vector<std::string> lines = Lines();
  ExpectHeaderAt(lines, 0);
  EXPECT_EQ(lines[7], "New: line");
  EXPECT_EQ(ReadWholeFile(LogPath()).find("old contents"), std::string::npos);
}

TEST_F(LogTest, BlankLinesSeparateCategoriesAndPausesOverTwoSeconds) {
  TPtr<TLog> log = MakeLog();
  log->SetClockForTesting(&TestClock);
  gNow = 10000;
  log->WriteMessage("A", "first");  // new category: blank line
  gNow += 1000;
  log->WriteMessage("A", "same, 1000 ms");  // directly after
  gNow += 2000;
  log->WriteMessage("A", "same, 2000 ms");  // exactly 2000: still directly
  gNow += 2001;
  log->WriteMessage("A", "same, 2001 ms");   // pause: blank line
  log->WriteMessage("B", "other category");  // blank line
  log->WriteMessage("B", "same again");
  log->WriteMessage("", "no category");  // blank line, no ": "
  log->WriteMessage("", "still none");
  log.Reset();
  const std::vector<std::string> lines = Lines();
  const std::vector<std::string> body(lines.begin() + AfterHeader(lines, 0), lines.end());
  EXPECT_EQ(body, (std::vector<std::string>{"", "A: first", "A: same, 1000 ms", "A: same, 2000 ms", "",
                                            "A: same, 2001 ms", "", "B: other category", "B: same again", "",
                                            "no category", "still none", "Closing log file..."}));
}

TEST_F(LogTest, LinesAreUtf8WithCrLf) {
  TPtr<TLog> log = MakeLog();
  log->WriteText("Ünïcode", TString(u"Grüße € \U0001D11E"));
  log.Reset();
  const std::string contents = ReadWholeFile(LogPath());
  EXPECT_NE(contents.find("\r\n\r\n\xC3\x9Cn\xC3\xAF"
                          "code: Gr\xC3\xBC\xC3\x9F"
                          "e \xE2\x82\xAC "
                          "\xF0\x9D\x84\x9E\r\n"),
            std::string::npos);
}

TEST_F(LogTest, FormattedLinesAreCutAtTheBufferWithoutSplittingACharacter) {
  TPtr<TLog> log = MakeLog();
  const std::string plain(5000, 'a');
  log->Write("Cut", "%s", plain.c_str());
  // 4094 bytes, then a three-byte character of which only one byte fits.
  const std::string split = std::string(4094, 'b') + "\xE2\x82\xAC" + "tail";
  log->Write("Cut", "%s", split.c_str());
  // A character that ends exactly at the cut is kept.
  const std::string exact = std::string(4092, 'c') + "\xE2\x82\xAC" + "tail";
  log->Write("Cut", "%s", exact.c_str());
  log->Write("Num", "%d-%s", 42, "x");
  log.Reset();
  const std::vector<std::string> lines = Lines();
  const std::size_t first = AfterHeader(lines, 0) + 1;
  ASSERT_GT(lines.size(), first + 4);
  EXPECT_EQ(lines[first], "Cut: " + std::string(4095, 'a'));
  EXPECT_EQ(lines[first + 1], "Cut: " + std::string(4094, 'b'));
  EXPECT_EQ(lines[first + 2], "Cut: " + std::string(4092, 'c') + "\xE2\x82\xAC");
  EXPECT_EQ(lines[first + 4], "Num: 42-x");
}

// A log of `size` bytes whose every byte depends on its position, so that a
// kept tail can be checked exactly.
std::string PatternedLog(std::size_t size) {
  std::string text(size, ' ');
  for (std::size_t i = 0; i < size; ++i) {
    text[i] = static_cast<char>('A' + (i * 7 + i / 977) % 26);
  }
  return text;
}

TEST_F(LogTest, ALogOfExactlyFourMegabytesIsKeptWhole) {
  const std::string old = PatternedLog(4194304);
  WriteWholeFile(LogPath(), old);
  MakeLog()->WriteMessage("After", "cut?");
  const std::string contents = ReadWholeFile(LogPath());
  ASSERT_GT(contents.size(), old.size());
  EXPECT_TRUE(contents.compare(0, old.size(), old) == 0);
  EXPECT_EQ(contents.compare(old.size(), 8 + 60, "\r\n\r\n\r\n\r\n" + kRule), 0);
}

TEST_F(LogTest, ALongerLogIsCutToItsLastMegabyteBeforeTheNewHeader) {
  for (std::size_t size : {std::size_t{4194305}, std::size_t{5 * 1024 * 1024}}) {
    const std::string old = PatternedLog(size);
    WriteWholeFile(LogPath(), old);
    MakeLog()->WriteMessage("After", "cut");
    const std::string contents = ReadWholeFile(LogPath());
    ASSERT_GT(contents.size(), 1048576u) << size;
    EXPECT_TRUE(contents.compare(0, 1048576, old, size - 1048576, 1048576) == 0) << size;
    EXPECT_EQ(contents.compare(1048576, 8 + 60, "\r\n\r\n\r\n\r\n" + kRule), 0) << size;
    EXPECT_NE(contents.find("After: cut\r\n"), std::string::npos);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"Log.txt"});
  }
}

// A cut that cannot be made (here the log's name leaves no room in the
// folder for the longer name of the cut's new file; a full device does the
// same) leaves the log as it was, and the run's lines go into it uncut.
TEST_F(LogTest, AFailedCutKeepsTheLogWholeAndItsLines) {
  const std::string name(250, 'L');
  const std::string old = PatternedLog(4194305);
  WriteWholeFile(LogPath(name.c_str()), old);
  TPtr<TLog> log = MakeLog(0, name.c_str());
  log->WriteMessage("Kept", "one");
  EXPECT_TRUE(log->IsOpen());
  log->WriteMessage("Kept", "two");
  log.Reset();
  const std::string contents = ReadWholeFile(LogPath(name.c_str()));
  ASSERT_GT(contents.size(), old.size());
  EXPECT_EQ(contents.compare(0, old.size(), old), 0);
  EXPECT_EQ(contents.compare(old.size(), 8 + 60, "\r\n\r\n\r\n\r\n" + kRule), 0);
  const std::vector<std::string> lines = LogLines(contents.substr(old.size() + 8));
  ExpectHeaderAt(lines, 0);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()),
            (std::vector<std::string>{"", "Kept: one", "Kept: two", "", "Closing log file..."}));
  EXPECT_EQ(FolderNames(), std::vector<std::string>{name});
}

// A line whose text holds line breaks: each ends in CR LF in the file, as
// every line does.
TEST_F(LogTest, LineBreaksInsideALineEndInCrLfToo) {
  MakeLog()->WriteMessage("Cmd-line", "\n\nERROR: Program stopped with:\n  cause\r\n  file\n");
  const std::string contents = ReadWholeFile(LogPath());
  EXPECT_NE(contents.find("Cmd-line: \r\n\r\nERROR: Program stopped with:\r\n  cause\r\n  file\r\n\r\n"),
            std::string::npos);
  for (std::size_t at = contents.find('\n'); at != std::string::npos; at = contents.find('\n', at + 1)) {
    ASSERT_TRUE(at > 0 && contents[at - 1] == '\r') << at;
  }
}

// A run that opened the log before another run cut it: everything it
// writes afterwards, its closing line included, is in the log that is now
// at the path, after the kept tail, which is there once.
TEST_F(LogTest, ARunGoesOnWritingIntoTheLogAnotherRunCut) {
  WriteWholeFile(LogPath(), PatternedLog(4194304));
  TPtr<TLog> early = MakeLog();
  early->WriteMessage("Early", "before the cut");
  // The early run's header made the log longer than the cut size.
  const std::string beforeCut = ReadWholeFile(LogPath());
  ASSERT_GT(beforeCut.size(), 4194304u);
  TPtr<TLog> late = MakeLog();
  late->WriteMessage("Late", "cut the log");
  early->WriteMessage("Early", "after the cut");
  late.Reset();
  early->WriteMessage("Early", "after the other run closed");
  early.Reset();

  const std::string contents = ReadWholeFile(LogPath());
  ASSERT_GT(contents.size(), 1048576u);
  EXPECT_EQ(contents.compare(0, 1048576, beforeCut, beforeCut.size() - 1048576, 1048576), 0);
  const std::vector<std::string> lines = LogLines(contents.substr(1048576));
  const auto count = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
  EXPECT_EQ(count("Late: cut the log"), 1);
  EXPECT_EQ(count("Early: after the cut"), 1);
  EXPECT_EQ(count("Early: after the other run closed"), 1);
  EXPECT_EQ(count("Closing log file..."), 2);
  EXPECT_EQ(lines.back(), "Closing log file...");
  // The tail, which holds the early run's first line, is not repeated.
  EXPECT_EQ(count("Early: before the cut"), 0);
  EXPECT_EQ(contents.find("Early: before the cut"), contents.rfind("Early: before the cut"));
  EXPECT_EQ(FolderNames(), std::vector<std::string>{"Log.txt"});
}

// The crash handler's lines, once another run has cut the log, go into the
// log now at the path too.
TEST_F(LogTest, CrashLinesGoIntoTheLogAnotherRunCut) {
  WriteWholeFile(LogPath(), PatternedLog(4194304));
  TPtr<TLog> log = MakeLog();
  SetApplicationLog(log.Get());
  log->WriteMessage("Early", "before the cut");
  WriteCrashLogLine("before the cut");
  MakeLog()->WriteMessage("Late", "cut the log");
  WriteCrashLogLine("after the cut");
  SetApplicationLog(nullptr);
  log.Reset();
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Late: cut the log"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "CrashLog: after the cut"), 1);
}

// The old fixed name of the cut's new file, or any other, holding a link
// (anyone who may write into the folder can plant one): the cut neither
// follows nor replaces it, and the log stays a file of its own, with its
// permissions.
TEST_F(LogTest, TheCutLeavesALinkAtItsOldNameAlone) {
  const std::string victim = mScratch.Path() + "victim.txt";
  WriteWholeFile(victim, "not the log's");
  ASSERT_EQ(symlink(victim.c_str(), LogPath("Log.txt.cut").c_str()), 0);
  const std::string old = PatternedLog(5 * 1024 * 1024);
  WriteWholeFile(LogPath(), old);
  ASSERT_EQ(chmod(LogPath().c_str(), 0604), 0);
  MakeLog()->WriteMessage("After", "cut");

  EXPECT_TRUE(ReadWholeFile(victim) == "not the log's");
  char target[4096] = {};
  ASSERT_GT(readlink(LogPath("Log.txt.cut").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), victim);
  struct stat info {};
  ASSERT_EQ(lstat(LogPath().c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0604u);
  const std::string contents = ReadWholeFile(LogPath());
  EXPECT_EQ(contents.compare(0, 1048576, old, old.size() - 1048576, 1048576), 0);
  EXPECT_NE(contents.find("After: cut\r\n"), std::string::npos);
  EXPECT_EQ(FolderNames(), (std::vector<std::string>{"Log.txt", "Log.txt.cut", "victim.txt"}));
}

TEST_F(LogTest, MissingFoldersAreCreated) {
  const TString folder = TString::FromNarrow((mScratch.Path() + "a/b/c/").c_str(), 3);
  TPtr<TLog> log(new TLog(folder, TString(u"Log.txt"), 0, false));
  log->WriteMessage("Deep", "line");
  log.Reset();
  EXPECT_NE(ReadWholeFile(mScratch.Path() + "a/b/c/Log.txt").find("Deep: line"), std::string::npos);
}

TEST_F(LogTest, ExceptionsAreLoggedButNotTheOnesTheLogCausesItself) {
  TPtr<TLog> log = MakeLog();
  SetApplicationLog(log.Get());
  EXPECT_EQ(TLog::Instance(), log.Get());
  { TReadableException outside(TString(u"made outside the log")); }

  // A log on a device that is always full: its writes fail inside the log,
  // and the exception that failure makes must not come back into any log
  // on this thread, nor hang it.
  TPtr<TLog> full(new TLog(TString(u"/dev/"), TString(u"full"), 0, false));
  full->WriteMessage("Never", "written");
  full->WriteMessage("Never", "written either");
  full.Reset();

  // The same with the failing log as the application's log.
  TPtr<TLog> fullApp(new TLog(TString(u"/dev/"), TString(u"full"), 0, false));
  SetApplicationLog(fullApp.Get());
  fullApp->WriteMessage("Never", "written");
  SetApplicationLog(log.Get());
  fullApp.Reset();

  log->WriteMessage("Still", "working");
  SetApplicationLog(nullptr);
  log.Reset();
  const std::string contents = ReadWholeFile(LogPath());
  EXPECT_NE(contents.find("Exception: made outside the log\r\n"), std::string::npos);
  EXPECT_EQ(contents.find("enough space"), std::string::npos);
  EXPECT_NE(contents.find("Still: working\r\n"), std::string::npos);
}

TEST_F(LogTest, EightThreadsLoggingAtOnceLoseAndMixNothing) {
  TPtr<TLog> log = MakeLog();
  constexpr int kThreads = 8;
  constexpr int kLines = 1500;
  const std::string padding(100, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string category = std::string("T").append(std::to_string(t));
      for (int i = 0; i < kLines; ++i) {
        if (i % 2 == 0) {
          log->Write(category.c_str(), "thread %d line %d %s", t, i, padding.c_str());
        } else {
          log->WriteText(category.c_str(), TString::FromNarrow(std::string("thread ")
                                                                   .append(std::to_string(t))
                                                                   .append(" line ")
                                                                   .append(std::to_string(i))
                                                                   .append(" ")
                                                                   .append(padding)
                                                                   .c_str(),
                                                               3));
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  log.Reset();
  const std::vector<std::string> lines = Lines();
  std::vector<int> next(kThreads, 0);
  int counted = 0;
  for (std::size_t i = AfterHeader(lines, 0); i + 1 < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    int t = -1, same = -2, number = -1, consumed = 0;
    ASSERT_EQ(std::sscanf(lines[i].c_str(), "T%d: thread %d line %d %n", &t, &same, &number, &consumed), 3)
        << "line " << i << ": " << lines[i];
    ASSERT_TRUE(t >= 0 && t < kThreads && t == same) << lines[i];
    // The whole line, and nothing of another line in it.
    ASSERT_EQ(lines[i], std::string("T")
                            .append(std::to_string(t))
                            .append(": thread ")
                            .append(std::to_string(t))
                            .append(" line ")
                            .append(std::to_string(number))
                            .append(" ")
                            .append(padding));
    EXPECT_EQ(number, next[static_cast<std::size_t>(t)]) << "thread " << t;
    next[static_cast<std::size_t>(t)] = number + 1;
    ++counted;
  }
  EXPECT_EQ(counted, kThreads * kLines);
  EXPECT_EQ(lines.back(), "Closing log file...");
}

// Runs at the same time, each with its own descriptor of the file as two
// processes have: the file must be a sequence of whole entries (a header
// block after its four blank lines, a line after its blank line, a closing
// line), every run's lines complete and in order.
TEST_F(LogTest, RunsSharingTheFileAppendWholeEntries) {
  constexpr int kWriters = 3;
  constexpr int kRuns = 60;
  constexpr int kLines = 20;
  const std::string padding(200, 'p');
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (int run = 0; run < kRuns; ++run) {
        TPtr<TLog> log = MakeLog();
        // Alternating categories: every line has its blank line.
        for (int i = 0; i < kLines; ++i) {
          log->Write(i % 2 ? "V" : "W", "%d %d %d %s", w, run, i, padding.c_str());
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> lines = Lines();
  std::vector<int> next(kWriters, 0);  // run * kLines + line expected next
  int headers = 0, closings = 0;
  std::size_t i = 0;
  while (i < lines.size()) {
    std::size_t blanks = 0;
    while (i < lines.size() && lines[i].empty()) ++blanks, ++i;
    ASSERT_LT(i, lines.size()) << "blank lines at the end";
    if (lines[i] == kRule) {
      // The very first header, or one whose run found no file yet, has no
      // blank lines before it.
      ASSERT_TRUE(blanks == 4 || blanks == 0) << "line " << i;
      ASSERT_LE(i + 6, lines.size());
      const char* starts[] = {"Version : ", "Date    : ", "Time    : ", "OS      : "};
      for (int k = 0; k < 4; ++k) ASSERT_EQ(lines[i + 1 + k].rfind(starts[k], 0), 0u) << "line " << i + 1 + k;
      ASSERT_EQ(lines[i + 5], kRule) << "line " << i + 5;
      ++headers;
      i += 6;
      continue;
    }
    ASSERT_EQ(blanks, 1u) << "line " << i << ": " << lines[i];
    if (lines[i] == "Closing log file...") {
      ++closings;
      ++i;
      continue;
    }
    char category = 0;
    int w = -1, run = -1, line = -1;
    ASSERT_EQ(std::sscanf(lines[i].c_str(), "%c: %d %d %d", &category, &w, &run, &line), 4) << lines[i];
    ASSERT_TRUE(w >= 0 && w < kWriters) << lines[i];
    EXPECT_EQ(lines[i], std::string(1, line % 2 ? 'V' : 'W') + ": " + std::to_string(w) + " " +
                            std::to_string(run) + " " + std::to_string(line) + " " + padding);
    EXPECT_EQ(run * kLines + line, next[static_cast<std::size_t>(w)]) << lines[i];
    next[static_cast<std::size_t>(w)] = run * kLines + line + 1;
    ++i;
  }
  EXPECT_EQ(headers, kWriters * kRuns);
  EXPECT_EQ(closings, kWriters * kRuns);
  for (int w = 0; w < kWriters; ++w) EXPECT_EQ(next[static_cast<std::size_t>(w)], kRuns * kLines) << w;
}

// A log run in a process of its own (the runner program), with a pipe to
// its standard input and one from its standard output.
struct RunnerProcess {
  pid_t pid = -1;
  int input = -1;
  int output = -1;
};

// Another user, whom root's tests give the runner to.
constexpr int kOtherUser = 54321;

// The runner's environment: this process's, with `env` ("NAME=value")
// given; its user `user` when not -1 (root drops to it before the exec).
RunnerProcess StartRunner(const std::vector<std::string>& arguments, const std::vector<std::string>& env = {},
                          int user = -1) {
  const std::string program = std::string(DCP_BINARY_DIR) + "/tests/framework/framework_log_runner";
  RunnerProcess runner;
  // Close-on-exec: no other child holds an end, so closing `input` ends
  // the runner's standard input.
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return runner;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return runner;
  }
  std::vector<std::string> all{program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = ChildEnvironment(env);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  runner.pid = fork();
  if (runner.pid == 0) {
    const bool dropped = user < 0 || (setgroups(0, nullptr) == 0 && setgid(static_cast<gid_t>(user)) == 0 &&
                                      setuid(static_cast<uid_t>(user)) == 0);
    if (dropped && dup2(in[0], 0) == 0 && dup2(out[1], 1) == 1)
      execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  runner.input = in[1];
  runner.output = out[0];
  return runner;
}

// Reads what the runner says on its standard output until it has said a
// whole line, or until its end (`untilEnd`); false when the watchdog (a
// hang, no timing measurement) gave up.
bool ReadRunner(const RunnerProcess& runner, bool untilEnd, std::string& said) {
  while (untilEnd || said.find('\n') == std::string::npos) {
    pollfd p{runner.output, POLLIN, 0};
    if (poll(&p, 1, 120000) <= 0) return false;
    char buffer[64];
    const ssize_t n = read(runner.output, buffer, sizeof buffer);
    if (n <= 0) return untilEnd && n == 0;
    said.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

// Ends the runner's standard input and waits for its end; its exit code
// (-1 when it did not exit by itself within the watchdog's two minutes, with
// the signal that ended it in *endSignal when given), with what it said
// meanwhile in `said`.
int FinishRunner(RunnerProcess& runner, std::string& said, int* endSignal = nullptr) {
  if (runner.input >= 0) close(runner.input);
  runner.input = -1;
  const bool ended = runner.output >= 0 && ReadRunner(runner, true, said);
  if (runner.output >= 0) close(runner.output);
  runner.output = -1;
  if (runner.pid < 0) return -1;
  if (!ended) kill(runner.pid, SIGKILL);
  int status = 0;
  waitpid(runner.pid, &status, 0);
  runner.pid = -1;
  if (endSignal) *endSignal = ended && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Ends the runners a test left running when it stopped early.
class RunnerReaper {
 public:
  explicit RunnerReaper(std::vector<RunnerProcess>& runners) : mRunners(runners) {}
  ~RunnerReaper() {
    for (RunnerProcess& runner : mRunners) {
      if (runner.pid > 0) kill(runner.pid, SIGKILL);
      std::string ignored;
      FinishRunner(runner, ignored);
    }
  }
  RunnerReaper(const RunnerReaper&) = delete;
  RunnerReaper& operator=(const RunnerReaper&) = delete;

 private:
  std::vector<RunnerProcess>& mRunners;
};

// The runner's environment for a library preloaded into it (log_shim.cpp)
// that makes the conditions `given` names.
std::vector<std::string> ShimEnvironment(const std::vector<std::string>& given) {
  std::vector<std::string> env = given;
  env.push_back("LD_PRELOAD=" + std::string(DCP_BINARY_DIR) + "/tests/framework/libframework_log_shim.so");
  // In the sanitizer build the preloaded library comes before the
  // sanitizers' runtime.
  const char* asan = std::getenv("ASAN_OPTIONS");
  env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
  return env;
}

// Runs in several processes at once: writers that opened the log before
// it was cut and write until the cutting ends, and runs that cut it again
// and again (each leaves it over the cut size for the next).  Every line
// that the file still holds is whole; every run's lines in it follow each
// other without a gap or a repeat (a lost line or a tail kept twice would
// show); and the writers' last lines, written after the last cut, are
// there.  Also when the writers may only write the log (root's, mode
// 0602, written by another user): their descriptors are open for writing
// alone.
class SharedLogTest : public LogTest, public ::testing::WithParamInterface<bool> {
 protected:
  // The other user reaches the log through /tmp, whatever TMPDIR is.
  SharedLogTest() : LogTest(GetParam() ? "/tmp" : nullptr) {}
};

TEST_P(SharedLogTest, RunsInSeveralProcessesThatCutAndWriteLoseNothing) {
  const bool writeOnly = GetParam();
  if (writeOnly && geteuid() != 0) GTEST_SKIP() << "only root can run the writers as another user";
  constexpr int kWriters = 4;
  constexpr int kWriterPadding = 100;
  constexpr int kCutters = 2;
  constexpr int kCutterRuns = 4;
  constexpr int kCutterLines = 1100;
  constexpr int kCutterPadding = 3000;
  // At the cut size: the writers' headers take it over.
  WriteWholeFile(LogPath(), PatternedLog(4194304));
  if (writeOnly) {
    ASSERT_EQ(chmod(mScratch.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(LogPath().c_str(), 0602), 0);
  }

  std::vector<RunnerProcess> writers;
  std::vector<RunnerProcess> cutters;
  const RunnerReaper writerReaper(writers);
  const RunnerReaper cutterReaper(cutters);
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back(StartRunner({mScratch.Path(), std::string("W").append(std::to_string(w)), "1", "0",
                                   std::to_string(kWriterPadding), "until-closed"},
                                  {}, writeOnly ? kOtherUser : -1));
    ASSERT_GT(writers.back().pid, 0);
  }
  for (RunnerProcess& writer : writers) {
    std::string said;
    ASSERT_TRUE(ReadRunner(writer, false, said));
    ASSERT_EQ(said, "ready\n");
  }
  for (int c = 0; c < kCutters; ++c) {
    cutters.push_back(
        StartRunner({mScratch.Path(), std::string("C").append(std::to_string(c)), std::to_string(kCutterRuns),
                     std::to_string(kCutterLines), std::to_string(kCutterPadding)}));
    ASSERT_GT(cutters.back().pid, 0);
  }
  for (RunnerProcess& cutter : cutters) {
    std::string said;
    EXPECT_EQ(FinishRunner(cutter, said), 0) << said;
  }
  // Now that no run cuts any more, each writer writes its last line.
  std::vector<int> written;
  for (RunnerProcess& writer : writers) {
    std::string said;
    EXPECT_EQ(FinishRunner(writer, said), 0) << said;
    int count = -1;
    EXPECT_EQ(std::sscanf(said.c_str(), "wrote %d", &count), 1) << said;
    written.push_back(count);
  }

  const std::string contents = ReadWholeFile(LogPath());
  // It was cut: it is shorter than what the cutting runs alone wrote.
  EXPECT_LT(contents.size(), std::size_t{kCutters} * kCutterRuns * kCutterLines * kCutterPadding);
  const std::vector<std::string> lines = LogLines(contents);
  std::map<std::string, int> last;  // the number of each run's last line seen
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line == kRule || line == "Closing log file...") continue;
    bool header = false;
    for (const char* start : {"Version : ", "Date    : ", "Time    : ", "OS      : "}) {
      header = header || line.rfind(start, 0) == 0;
    }
    if (header) continue;
    char tag[8] = {};
    int run = -1, number = -1;
    const bool parsed = std::sscanf(line.c_str(), "%7[^:]: %d %d", tag, &run, &number) == 3;
    const bool writer = parsed && tag[0] == 'W';
    const std::string expected = std::string(tag) + ": " + std::to_string(run) + " " +
                                 std::to_string(number) + " " +
                                 std::string(writer ? kWriterPadding : kCutterPadding, 'p');
    if (!parsed || line != expected) {
      // The first line may be the end of one the cut split.
      ASSERT_EQ(i, 0u) << "line " << i << ": " << line.substr(0, 200);
      continue;
    }
    const int sequence = writer ? number : run * kCutterLines + number;
    const auto seen = last.find(tag);
    if (seen != last.end()) {
      ASSERT_EQ(sequence, seen->second + 1) << "line " << i << " of " << tag << " after " << seen->second;
    }
    last[tag] = sequence;
  }
  for (int w = 0; w < kWriters; ++w) {
    const std::string tag = std::string("W").append(std::to_string(w));
    ASSERT_EQ(last.count(tag), 1u) << tag;
    EXPECT_EQ(last[tag], written[static_cast<std::size_t>(w)] - 1) << tag;
  }
  for (int c = 0; c < kCutters; ++c) {
    const std::string tag = std::string("C").append(std::to_string(c));
    // A cutter's lines may all have been cut away by the other's later runs.
    if (last.count(tag)) {
      EXPECT_EQ(last[tag], kCutterRuns * kCutterLines - 1) << tag;
    }
  }
  std::vector<std::string> names = FolderNames();
  EXPECT_EQ(names, std::vector<std::string>{"Log.txt"});
}

INSTANTIATE_TEST_SUITE_P(Locks, SharedLogTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "WriteOnlyWriters" : "LocalLocks";
                         });

// A run ended by a signal in the middle of its cut, once the tail is
// written and before the new file takes the log's place: the new file goes
// with the run, and the log is as it was.
TEST_F(LogTest, ASignalDuringTheCutLeavesNoFileBehind) {
  const std::string old = PatternedLog(4194305);
  WriteWholeFile(LogPath(), old);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    RunnerProcess runner =
        StartRunner({mScratch.Path(), "S", "1", "1", "1"},
                    ShimEnvironment({"DCP_SHIM_SIGNAL_BEFORE_CUT_RENAME=" + std::to_string(signal)}));
    std::vector<RunnerProcess> running{runner};
    const RunnerReaper reaper(running);
    std::string said;
    int ended = 0;
    EXPECT_EQ(FinishRunner(running[0], said, &ended), -1) << said;
    EXPECT_EQ(ended, signal);
    EXPECT_TRUE(ReadWholeFile(LogPath()) == old);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"Log.txt"});
  }
}

// What a run killed during its cut (by SIGKILL, which no handler sees)
// leaves is removed by the next cut; nothing else named like it is.
TEST_F(LogTest, TheNextCutRemovesTheFilesOfKilledCuts) {
  WriteWholeFile(LogPath("Log.txt.cut-K1lledRun000000A"), "left by a killed cut");
  WriteWholeFile(LogPath("Log.txt.cut-short"), "not a cut's");
  WriteWholeFile(LogPath("Other.txt.cut-K1lledRun000000B"), "another log's");
  ASSERT_EQ(symlink(LogPath("Log.txt.cut-short").c_str(), LogPath("Log.txt.cut-ALinkNotAFile000").c_str()),
            0);
  WriteWholeFile(LogPath(), PatternedLog(4194305));
  MakeLog()->WriteMessage("After", "cut");
  EXPECT_EQ(ReadWholeFile(LogPath()).size() < 1100000, true);
  EXPECT_EQ(FolderNames(), (std::vector<std::string>{"Log.txt", "Log.txt.cut-ALinkNotAFile000",
                                                     "Log.txt.cut-short", "Other.txt.cut-K1lledRun000000B"}));
}

// Waits until the runner, a child of this process, stops itself; false when
// it ended instead.
bool StoppedItself(const RunnerProcess& runner) {
  int status = 0;
  return waitpid(runner.pid, &status, WUNTRACED) == runner.pid && WIFSTOPPED(status);
}

// A cut stopped (as by Ctrl-Z, or a slow disk) after its copy of the tail
// holds the lock: at the sync of its new file, or at the rename of that
// file over the log.  Another run waits for the lock once and logs without
// it, into the log the cut is about to replace.  What it logged is in the
// cut log, after the kept tail and before the lines of the cutting run.
class StoppedCutLogTest : public LogTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StoppedCutLogTest, WhatIsLoggedWhileACutIsStoppedIsKept) {
  const std::string old = PatternedLog(4194305);
  WriteWholeFile(LogPath(), old);
  std::vector<RunnerProcess> runners{
      StartRunner({mScratch.Path(), "Cutter", "1", "1", "1"}, ShimEnvironment({GetParam()}))};
  const RunnerReaper reaper(runners);
  ASSERT_TRUE(StoppedItself(runners[0]));
  {
    TPtr<TLog> other = MakeLog();
    other->SetClockForTesting(&TestClock);
    other->WriteMessage("Other", "one");
    other->WriteMessage("Other", "two");
  }
  kill(runners[0].pid, SIGCONT);
  std::string said;
  EXPECT_EQ(FinishRunner(runners[0], said), 0) << said;

  const std::string contents = ReadWholeFile(LogPath());
  ASSERT_LT(contents.size(), old.size());
  EXPECT_EQ(contents.compare(0, 1048576, old, old.size() - 1048576, 1048576), 0);
  const std::vector<std::string> lines = LogLines(contents.substr(1048576));
  ASSERT_EQ(lines.size(), 29u);
  for (const std::size_t header : {4u, 19u}) ExpectHeaderAt(lines, header);
  const std::vector<std::string> other(lines.begin() + 10, lines.begin() + 15);
  EXPECT_EQ(other, (std::vector<std::string>{"", "Other: one", "Other: two", "", "Closing log file..."}));
  const std::vector<std::string> cutter(lines.begin() + 25, lines.end());
  EXPECT_EQ(cutter, (std::vector<std::string>{"", "Cutter: 0 0 p", "", "Closing log file..."}));
  EXPECT_EQ(FolderNames(), std::vector<std::string>{"Log.txt"});
}

INSTANTIATE_TEST_SUITE_P(Stops, StoppedCutLogTest,
                         ::testing::Values("DCP_SHIM_STOP_AT_CUT_SYNC=1", "DCP_SHIM_STOP_AT_CUT_RENAME=1"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).find("SYNC") != std::string::npos ? "AtTheSync"
                                                                                            : "AtTheRename";
                         });

// Two appends exclude each other (on NFS each client works out where the
// file ends, so two at once could write over each other): while a run is
// stopped in the middle of its append, no other append has the lock.
TEST_F(LogTest, AnAppendKeepsOthersOutUntilItIsDone) {
  std::vector<RunnerProcess> runners{StartRunner({mScratch.Path(), "Held", "1", "1", "1"},
                                                 ShimEnvironment({"DCP_SHIM_STOP_AT_WRITE_OF=Held:"}))};
  const RunnerReaper reaper(runners);
  ASSERT_TRUE(StoppedItself(runners[0]));
  int fd = open(LogPath().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const std::string entry = "\r\nMeanwhile: appended\r\n";
  bool busy = false;
  EXPECT_TRUE(AppendToSharedLog(&fd, LogPath().c_str(), entry.data(), entry.size(), 0, &busy));
  EXPECT_TRUE(busy);
  close(fd);
  kill(runners[0].pid, SIGCONT);
  std::string said;
  EXPECT_EQ(FinishRunner(runners[0], said), 0) << said;
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Meanwhile: appended"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Held: 0 0 p"), 1);
}

// A log the run may not replace, however long: the run never tries to cut
// it (a cut tried would end the run at its rename), the log keeps its file,
// and no file is left beside it.  A log the run may only read it does not
// write either; root may write any file, so there the run is another
// user's, who owns the folder and the file.  Another user's log that anyone
// may write, in a third user's sticky folder (a log kept in a shared
// folder), gets the lines of a fourth user's run after its old bytes; only
// root can give the log and the folder away.  These runs of other users
// reach the log through /tmp, whatever TMPDIR is.
struct UnreplaceableLog {
  const char* name;
  bool sticky;  // the shared sticky folder's case, else the log the run may only read
};
void PrintTo(const UnreplaceableLog& log, std::ostream* out) { *out << log.name; }

class UnreplaceableLogTest : public LogTest, public ::testing::WithParamInterface<UnreplaceableLog> {
 protected:
  UnreplaceableLogTest() : LogTest(geteuid() == 0 ? "/tmp" : nullptr) {}
};

// The owner of the sticky folder, and the user whose run logs there.
constexpr int kFolderOwner = 54322;
constexpr int kFourthUser = 54323;

TEST_P(UnreplaceableLogTest, ALogTheRunMayNotReplaceIsNotCut) {
  const bool sticky = GetParam().sticky;
  const bool root = geteuid() == 0;
  if (sticky && !root) GTEST_SKIP() << "only root can give the log and its sticky folder to other users";
  const std::string old = PatternedLog(4194305);
  WriteWholeFile(LogPath(), old);
  int user = -1;
  if (sticky) {
    ASSERT_EQ(chown(mScratch.Path().c_str(), kFolderOwner, kFolderOwner), 0);
    ASSERT_EQ(chmod(mScratch.Path().c_str(), 01777), 0);
    ASSERT_EQ(chown(LogPath().c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod(LogPath().c_str(), 0666), 0);
    user = kFourthUser;
  } else {
    ASSERT_EQ(chmod(LogPath().c_str(), 0444), 0);
    if (root) {
      ASSERT_EQ(chown(mScratch.Path().c_str(), kOtherUser, kOtherUser), 0);
      ASSERT_EQ(chown(LogPath().c_str(), kOtherUser, kOtherUser), 0);
      user = kOtherUser;
    }
  }
  struct stat before {};
  ASSERT_EQ(stat(LogPath().c_str(), &before), 0);
  std::vector<RunnerProcess> runners{
      StartRunner({mScratch.Path(), "R", "1", "1", "1"},
                  ShimEnvironment({"DCP_SHIM_SIGNAL_BEFORE_CUT_RENAME=" + std::to_string(SIGTERM)}), user)};
  const RunnerReaper reaper(runners);
  std::string said;
  EXPECT_EQ(FinishRunner(runners[0], said), 0) << said;
  struct stat after {};
  ASSERT_EQ(stat(LogPath().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  const std::string contents = ReadWholeFile(LogPath());
  if (sticky) {
    ASSERT_GT(contents.size(), old.size());
    EXPECT_EQ(contents.compare(0, old.size(), old), 0);
    const std::vector<std::string> lines = LogLines(contents.substr(old.size()));
    ASSERT_EQ(lines.size(), 14u);
    ExpectHeaderAt(lines, 4);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), std::vector<std::string>(4));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 10, lines.end()),
              (std::vector<std::string>{"", "R: 0 0 p", "", "Closing log file..."}));
  } else {
    EXPECT_TRUE(contents == old);
  }
  EXPECT_EQ(FolderNames(), std::vector<std::string>{"Log.txt"});
}

INSTANTIATE_TEST_SUITE_P(Logs, UnreplaceableLogTest,
                         ::testing::Values(UnreplaceableLog{"MayOnlyRead", false},
                                           UnreplaceableLog{"AnothersInASharedStickyFolder", true}),
                         [](const ::testing::TestParamInfo<UnreplaceableLog>& info) {
                           return info.param.name;
                         });

TEST_F(LogTest, EchoWritesTheLineToTheConsole) {
  const std::string capture = mScratch.Path() + "stdout.txt";
  fflush(stdout);
  const int saved = dup(1);
  FILE* file = fopen(capture.c_str(), "w");
  ASSERT_NE(file, nullptr);
  dup2(fileno(file), 1);
  {
    TPtr<TLog> log = MakeLog();
    log->SetEchoToConsole(true);
    EXPECT_TRUE(log->IsEchoToConsole());
    log->WriteMessage("Cat", "echoed");
    log->SetEchoToConsole(false);
    log->WriteMessage("Cat", "quiet");
  }
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  fclose(file);
  const std::string echoed = ReadWholeFile(capture);
  EXPECT_NE(echoed.find("Tarvo LOG> Cat: echoed\n"), std::string::npos);
  EXPECT_EQ(echoed.find("quiet"), std::string::npos);
  // The header lines are echoed too, without a category.
  EXPECT_NE(echoed.find("Tarvo LOG> Version : Tarvo V0.0.1"), std::string::npos);
}

TEST_F(LogTest, ALogThatCannotOpenStillEchoesItsLinesWithoutHeaders) {
  // A folder where the file should be: it cannot be opened.
  ASSERT_EQ(mkdir(LogPath().c_str(), 0755), 0);
  const std::string capture = mScratch.Path() + "stdout.txt";
  fflush(stdout);
  const int saved = dup(1);
  FILE* file = fopen(capture.c_str(), "w");
  ASSERT_NE(file, nullptr);
  dup2(fileno(file), 1);
  {
    TPtr<TLog> log = MakeLog();
    log->SetEchoToConsole(true);
    log->WriteMessage("A", "one");
    log->WriteMessage("A", "two");
    EXPECT_FALSE(log->IsOpen());
  }
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  fclose(file);
  EXPECT_EQ(ReadWholeFile(capture), "Tarvo LOG> A: one\nTarvo LOG> A: two\n");
}

}  // namespace
