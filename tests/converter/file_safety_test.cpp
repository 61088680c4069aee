// The user's files stay safe, the tool run as a child process: a movie never
// takes the place of its own input, a destination whose name is too long is
// refused before the first frame, a track without frames makes no movie, and
// the hidden temporary movie goes when a signal or a crash ends the run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "mxf/AS_DCP.h"
#include "mxf/writer.h"
#include "tests/converter/tool_runner.h"
#include "tests/support/testdata.h"

namespace {

using convtest::ReadFile;
using convtest::RunTool;
using Frames = std::vector<std::vector<std::uint8_t>>;

const std::string kErrorHead = "\n\nERROR: Program stopped with:\n";
const std::string kRefused = kErrorHead + "  QuickTimeVideoFile: Failed to create a new movie\n";

class FileSafety : public ::testing::Test {
 protected:
  // Three frames of the small real picture track.
  void SetUp() override {
    const std::string path = testDataPath("mxf/smpte_dci_2k_picture.mxf");
    if (path.empty()) GTEST_SKIP() << "test data mxf/smpte_dci_2k_picture.mxf is absent";
    ASDCP::JP2K::MXFReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str()), Kumu::RESULT_OK);
    ASDCP::JP2K::FrameBuffer buffer(1302083);
    for (std::uint32_t i = 0; i < 3; ++i) {
      ASSERT_EQ(reader.ReadFrame(i, buffer), Kumu::RESULT_OK);
      frames_.emplace_back(buffer.RoData(), buffer.RoData() + buffer.Size());
    }
  }

  std::string Path(const std::string& name) const { return temp_.Path() + "/" + name; }

  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp_.Path()))
      names.insert(entry.path().filename());
    return names;
  }

  std::string Wrap(const std::string& name, const Frames& frames, bool index = true) {
    mxfwrite::TrackFileOptions options;
    options.write_index = index;
    const std::string path = Path(name);
    EXPECT_TRUE(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, options).Success());
    return path;
  }

  convtest::ScopedTempFolder temp_;
  Frames frames_;
};

TEST_F(FileSafety, DestinationsRefusedBeforeAnythingIsWritten) {
  const std::string reel = Wrap("reel.mov", frames_);
  const std::string track = Wrap("track.mxf", frames_);
  ASSERT_EQ(symlink("track.mxf", Path("link.mov").c_str()), 0);
  ASSERT_EQ(link(track.c_str(), Path("hard.mov").c_str()), 0);
  ASSERT_EQ(symlink("reel.mov", Path("alias.mxf").c_str()), 0);
  const std::string reelBytes = ReadFile(reel), trackBytes = ReadFile(track);
  const std::set<std::string> names = Names();
  const std::string tooLong = Path(std::string(300, 'n'));
  const struct {
    std::vector<std::string> arguments;
    std::string movie;
    std::string cause;
  } cases[] = {
      // A track file named .mov with the default prefix.
      {{reel}, reel, "the movie would replace the input file"},
      // A destination that is a link to the input, or another name of it.
      {{track, Path("link")}, Path("link.mov"), "the movie would replace the input file"},
      {{track, Path("hard")}, Path("hard.mov"), "the movie would replace the input file"},
      // The input named through a link.
      {{Path("alias.mxf"), Path("reel")}, reel, "the movie would replace the input file"},
      // A name longer than the folder allows: known before the first frame.
      {{track, tooLong}, tooLong + ".mov", "File name too long"},
  };
  for (const auto& c : cases) {
    const auto run = RunTool(c.arguments);
    EXPECT_EQ(run.exitCode, 1) << c.movie;
    EXPECT_EQ(run.out, "") << c.movie;
    EXPECT_EQ(run.err, kRefused + "  File '" + c.movie + "': " + c.cause + "\n");
  }
  EXPECT_EQ(Names(), names);
  EXPECT_TRUE(ReadFile(reel) == reelBytes) << "the input reel.mov was changed";
  EXPECT_TRUE(ReadFile(track) == trackBytes) << "the input track.mxf was changed";
}

// Every 8-byte big-endian `from` after the local tag `tag` becomes `to`.
void SetEightByteProperty(std::string& bytes, std::uint8_t tagHigh, std::uint8_t tagLow, std::uint8_t from,
                          std::uint8_t to) {
  const std::string property{char(tagHigh), char(tagLow), 0, 8, 0, 0, 0, 0, 0, 0, 0, char(from)};
  for (std::size_t at = bytes.find(property); at != std::string::npos; at = bytes.find(property, at + 1))
    bytes[at + property.size() - 1] = char(to);
}

TEST_F(FileSafety, TrackWithoutFramesMakesNoMovie) {
  // A one-frame track without an index whose frame becomes a fill item and
  // whose durations (ContainerDuration, the sequences' Duration) become 0.
  const std::string track = Wrap("empty.mxf", Frames{frames_[0]}, false);
  std::string bytes = ReadFile(track);
  SetEightByteProperty(bytes, 0x30, 0x02, 1, 0);
  SetEightByteProperty(bytes, 0x02, 0x02, 1, 0);
  const std::string element{0x06, 0x0e, 0x2b, 0x34, 0x01, 0x02, 0x01, 0x01, 0x0d, 0x01, 0x03, 0x01, 0x15};
  const std::string fill{0x06, 0x0e, 0x2b, 0x34, 0x01, 0x01, 0x01, 0x02,
                         0x03, 0x01, 0x02, 0x10, 0x01, 0x00, 0x00, 0x00};
  const std::size_t at = bytes.find(element);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, fill.size(), fill);
  convtest::WriteFile(track, bytes);
  ASDCP::JP2K::MXFReader reader;
  ASSERT_EQ(reader.OpenRead(track.c_str()), Kumu::RESULT_OK);
  ASDCP::JP2K::PictureDescriptor descriptor{};
  ASSERT_EQ(reader.FillPictureDescriptor(descriptor), Kumu::RESULT_OK);
  ASSERT_EQ(descriptor.ContainerDuration, 0u);

  convtest::WriteFile(Path("empty.mov"), "an earlier movie");
  const std::set<std::string> names = Names();
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{track}, {"-W", track}}) {
    const auto run = RunTool(arguments);
    EXPECT_EQ(run.exitCode, 1) << arguments[0];
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kErrorHead + "  RANGE: Frame number out of range.\n  File '" + track +
                           "': the track holds no frames\n");
  }
  EXPECT_EQ(ReadFile(Path("empty.mov")), "an earlier movie");
  EXPECT_EQ(Names(), names);
}

// --- signals and crashes -------------------------------------------------------

// Ctrl-C, the signals of a shell, a reader that goes away, a file-size
// limit, a user's signal, an alarm; two crashes.
constexpr int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGPIPE,
                                  SIGXFSZ, SIGUSR1, SIGALRM, SIGSEGV, SIGABRT};

// Starts the tool with `out` as its standard output, its standard error
// discarded, every signal at its default action and unblocked, and no core
// file.
pid_t StartTool(const std::vector<std::string>& arguments, int out) {
  std::vector<std::string> all{DCP2MOV_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int discard = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out, 1);
    dup2(discard, 2);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < 32; ++signal) ::signal(signal, SIG_DFL);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(discard);
  return pid;
}

// Waits at most two minutes for `done`; false when it never came.
template <typename Done>
bool WaitFor(Done done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST_F(FileSafety, SignalsAndCrashesRemoveTheTemporaryMovie) {
  const std::string track = Wrap("track.mxf", frames_);
  convtest::WriteFile(Path("movie.mov"), "an earlier movie");
  const std::set<std::string> names = Names();
  for (int signal : kEndingSignals) {
    SCOPED_TRACE(strsignal(signal));
    // The run's standard output is a pipe that is already full: the run
    // waits at its first progress line, with the temporary movie made and
    // no frame read, until the pipe is read or closed.
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
    const char block[512] = {};
    while (write(pipeEnds[1], block, sizeof block) > 0) {
    }
    while (write(pipeEnds[1], block, 1) > 0) {
    }
    fcntl(pipeEnds[1], F_SETFL, 0);
    const pid_t pid = StartTool({track, Path("movie")}, pipeEnds[1]);
    close(pipeEnds[1]);
    ASSERT_GT(pid, 0);
    const std::string part = Path(".dcp2mov-" + std::to_string(pid) + ".part");
    int status = 0;
    bool reaped = false;
    WaitFor([&] {
      reaped = waitpid(pid, &status, WNOHANG) == pid;
      return reaped || std::filesystem::exists(part);
    });
    if (!reaped && !std::filesystem::exists(part)) {
      kill(pid, SIGKILL);
      reaped = waitpid(pid, &status, 0) == pid;
    }
    if (reaped) {
      close(pipeEnds[0]);
      FAIL() << "the run did not start its movie (status " << status << ")";
    }
    // SIGPIPE as a reader that goes away makes it, as in `dcp2mov x.mxf | head`.
    if (signal == SIGPIPE)
      close(pipeEnds[0]);
    else
      kill(pid, signal);
    const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; });
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    if (signal != SIGPIPE) close(pipeEnds[0]);
    ASSERT_TRUE(ended) << "the run did not end";
    // The ending signals end the process as before; a crash ends it with 1.
    if (signal == SIGSEGV || signal == SIGABRT) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    }
    EXPECT_EQ(Names(), names);
  }
  EXPECT_EQ(ReadFile(Path("movie.mov")), "an earlier movie");
}

}  // namespace
