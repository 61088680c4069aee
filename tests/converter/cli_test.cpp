// The tool's command line and essence-type check, run as a child process:
// exact texts on each stream and exit codes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/converter/tool_runner.h"
#include "tests/support/testdata.h"

using convtest::RunTool;

namespace {

const std::string kProblem = "There was a problem. Type dcp2mov -h for help.\n";
const std::string kUsage =
    "Usage:\n  dcp2mov [-h|-help] [-V]\n  dcp2mov [-v]\n  [-W] <input-file> [<file-prefix>]\n\n\n"
    "Options:\n"
    "  -h | -help        - Show help\n"
    "  -v                - Verbose, prints informative messages to stdout\n"
    "  -V                - Show version information\n"
    "  -W                - Read input file only, do not write destination file\n"
    "  \n"
    "  \n"
    "NOTES: There is no option grouping, all options must be distinct arguments.\n"
    "All option arguments must be separated from the option by whitespace.\n\n";
const std::string kErrorHead = "\n\nERROR: Program stopped with:\n";

TEST(CommandLine, NoArgumentsAsksForAFileName) {
  const auto run = RunTool({});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Option requires at least one filename argument.\n" + kProblem);
}

TEST(CommandLine, HelpInAnyCaseShowsUsage) {
  for (const char* word : {"-h", "-help", "-HELP", "-Help"}) {
    const auto run = RunTool({word});
    EXPECT_EQ(run.exitCode, 0) << word;
    EXPECT_EQ(run.out, "") << word;
    EXPECT_EQ(run.err, kUsage) << word;
  }
}

TEST(CommandLine, UnknownOptionsAndArgumentsStopTheParse) {
  struct Case {
    std::vector<std::string> args;
    std::string note;
  };
  const Case cases[] = {
      {{"-hv"}, "NOTE: Unrecognized argument: -hv\n"},
      {{"-x"}, "NOTE: Unrecognized option: -x\n"},
      {{"-1"}, "NOTE: Unrecognized option: -1\n"},
      {{"--help"}, "NOTE: Unrecognized argument: --help\n"},
      {{"-"}, "NOTE: Unrecognized argument: -\n"},
      // The parse stops at the first faulty argument: later ones, even help,
      // are not looked at.
      {{"-x", "-y", "-h"}, "NOTE: Unrecognized option: -x\n"},
      {{"in.mxf", "-vv", "-h"}, "NOTE: Unrecognized argument: -vv\n"},
  };
  for (const Case& c : cases) {
    const auto run = RunTool(c.args);
    EXPECT_EQ(run.exitCode, 3) << c.args[0];
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.note + kProblem);
  }
}

TEST(CommandLine, VersionThenUsageWithoutInput) {
  const auto run = RunTool({"-V", "-h"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "");
  const std::string version = "dcp2mov V0.0.1\n";
  ASSERT_EQ(run.err.substr(0, version.size()), version);
  ASSERT_GE(run.err.size(), kUsage.size());
  EXPECT_EQ(run.err.substr(run.err.size() - kUsage.size()), kUsage);
  // Only -V: the banner alone, three lines.
  const auto versionOnly = RunTool({"-V"});
  EXPECT_EQ(versionOnly.exitCode, 0);
  EXPECT_EQ(versionOnly.err, run.err.substr(0, run.err.size() - kUsage.size()));
  EXPECT_EQ(std::count(versionOnly.err.begin(), versionOnly.err.end(), '\n'), 3);
}

TEST(CommandLine, ParsedRunsGoOnToTheInput) {
  const std::string missing = "/nonexistent/folder/track.mxf";
  const std::string error =
      kErrorHead + "  FILEOPEN: File open failure.\n  File '" + missing + "': No such file or directory\n";
  // A third positional argument is ignored without a note; -W is accepted.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {missing}, {missing, "prefix", "third"}, {"-W", missing}, {missing, "-W"}}) {
    const auto run = RunTool(args);
    EXPECT_EQ(run.exitCode, 1) << args.size();
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, error);
  }
}

TEST(CommandLine, FileNamesWithBlanksAndQuotesArriveUnchanged) {
  // A timed-text track under awkward names: the note names the file exactly
  // as it reached the run.
  REQUIRE_TESTDATA(track, "mxf/timed_text.mxf");
  const convtest::ScopedTempFolder temp;
  const std::string& folder = temp.Path();
  for (const std::string name : {"a b.mxf", "quote\"in.mxf", "  lead and trail  ", "back\\\"slash.mxf",
                                 "\"enclosed\"", "tab\there.mxf", "two  blanks \\"}) {
    const std::string path = folder + "/" + name;
    ASSERT_EQ(symlink(track.c_str(), path.c_str()), 0) << name;
    const auto run = RunTool({path});
    EXPECT_EQ(run.exitCode, 5) << name;
    EXPECT_EQ(run.err, "ERROR: " + path + ": Unknown or unsupported input MXF video file type.\n\n") << name;
    std::remove(path.c_str());
  }
}

// --- essence types of real track files -------------------------------------

TEST(EssenceType, UnsupportedTracksGiveTheirNotes) {
  struct Case {
    const char* file;
    std::string note;
  };
  const Case cases[] = {
      {"mxf/op1a_mpeg2_d10.mxf", "ERROR: Mpeg streams not supported (only JPEG_2000).\n"},
      {"mxf/smpte_pcm_sound.mxf", "ERROR: Audio files are not supported.\n"},
      {"mxf/smpte_stereoscopic_picture.mxf", "ERROR: Stereoscopic files are not supported.\n"},
  };
  for (const Case& c : cases) {
    REQUIRE_TESTDATA(path, c.file);
    const auto run = RunTool({path});
    EXPECT_EQ(run.exitCode, 5) << c.file;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.note);
  }
}

TEST(EssenceType, TimedTextIsAnUnknownType) {
  REQUIRE_TESTDATA(path, "mxf/timed_text.mxf");
  const auto run = RunTool({"-v", path});
  EXPECT_EQ(run.exitCode, 5);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "ERROR: " + path + ": Unknown or unsupported input MXF video file type.\n\n");
}

TEST(EssenceType, EmptyAndMissingFilesStopWithTheLibraryError) {
  REQUIRE_TESTDATA(empty, "mxf/empty.mxf");
  auto run = RunTool({empty});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, kErrorHead + "  ENDOFFILE: Attempt to read past end of file.\n  File '" + empty +
                         "': the file is empty\n");
  run = RunTool({"/nonexistent.mxf"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(
      run.err,
      kErrorHead + "  FILEOPEN: File open failure.\n  File '/nonexistent.mxf': No such file or directory\n");
}

TEST(EssenceType, EncryptedPictureStopsAtTheFirstFrame) {
  REQUIRE_TESTDATA(path, "mxf/smpte_encrypted_picture.mxf");
  const convtest::ScopedTempFolder temp;
  const std::string& folder = temp.Path();
  const auto run = RunTool({path, folder + "/enc"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "\rProcessing frame 0/24");
  EXPECT_EQ(run.err, kErrorHead +
                         "  CRYPT_CTX: AESEncContext required when writing to encrypted file.\n  File '" +
                         path + "', frame 0: the frame is encrypted; this tool does not decrypt\n");
  EXPECT_EQ(run.out.find("Done"), std::string::npos);
  // No frame reached the movie the run made: it is gone.
  EXPECT_FALSE(std::filesystem::exists(folder + "/enc.mov"));
}

}  // namespace

namespace {

TEST(CommandLine, NotesAndErrorsAreLogged) {
  const char* data = std::getenv("XDG_DATA_HOME");
  ASSERT_NE(data, nullptr);
  const std::string log = std::string(data) + "/Tarvo/V0.0.1/Log.txt";
  RunTool({"-x"});
  RunTool({"/nonexistent.mxf"});
  const std::string text = convtest::ReadFile(log);
  EXPECT_NE(text.find("Cmd-line: NOTE: Unrecognized option: -x\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Cmd-line: There was a problem. Type dcp2mov -h for help.\r\n"), std::string::npos);
  EXPECT_NE(text.find("Cmd-line:   FILEOPEN: File open failure.\r\n"), std::string::npos);
}

}  // namespace
