// The user's files stay safe, the tool run as a child process: a movie never
// takes the place of its own input, a destination whose name is too long is
// refused before the first frame, a track without frames makes no movie, and
// the hidden temporary movie goes when a signal or a crash ends the run; in a
// shared folder (sticky, as /tmp) no other user's link is followed and no
// other user's file replaced, and in any sticky folder an entry the system
// would not let the user replace stops the run before its first frame.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "mxf/AS_DCP.h"
#include "mxf/writer.h"
#include "tests/converter/tool_runner.h"
#include "tests/platform/quicktime/media_tools.h"
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

// --- the temporary movie ------------------------------------------------------

// What a child plants, before it becomes the tool, at the name the temporary
// movie of its process id would have had (`.dcp2mov-<pid>.part`): a link
// to another file, or a file of its own (the leftover of a killed run whose
// process id came back).
enum class Plant { kLink, kFile };

// Runs the tool as a child process under the file mask 022 (so that a new
// movie's permissions do not depend on the caller's) with its output
// discarded, after the child planted `plant` in `folder` (a link to
// `victim`, or a file holding "leftover"); the exit code, -1 when it did not
// exit.
int RunPlanting(const std::vector<std::string>& arguments, const std::string& folder, Plant plant,
                const std::string& victim) {
  std::vector<std::string> all{DCP2MOV_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The name is completed in the child, which knows its process id; the
  // child only makes calls that are safe after a fork.
  char name[4096];
  const std::string prefix = folder + "/.dcp2mov-";
  if (prefix.size() + 32 > sizeof name) return -1;
  std::memcpy(name, prefix.data(), prefix.size());
  const int discard = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = fork();
  if (pid == 0) {
    char digits[24];
    int count = 0;
    for (long id = getpid(); id > 0; id /= 10) digits[count++] = static_cast<char>('0' + id % 10);
    char* end = name + prefix.size();
    while (count > 0) *end++ = digits[--count];
    std::memcpy(end, ".part", 6);
    if (plant == Plant::kLink) {
      if (symlink(victim.c_str(), name) != 0) _exit(126);
    } else {
      const int file = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (file < 0 || write(file, "leftover", 8) != 8 || close(file) != 0) _exit(126);
    }
    umask(022);
    dup2(discard, 1);
    dup2(discard, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(discard);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::filesystem::perms PermissionsOf(const std::string& path) {
  return std::filesystem::symlink_status(path).permissions();
}

// A link or a file already at the name the temporary movie of the run's
// process id would have had is left exactly as it was: the movie is made
// under another name, new, and takes the destination's place with the
// permissions of the file it replaces (or those of a new file).
TEST_F(FileSafety, WhatIsAtTheTemporaryNameIsLeftAsItWas) {
  const std::string track = Wrap("track.mxf", frames_);
  convtest::WriteFile(Path("victim.txt"), "victim");
  ASSERT_EQ(chmod(Path("victim.txt").c_str(), 0600), 0);
  convtest::WriteFile(Path("movie.mov"), "an earlier movie");
  ASSERT_EQ(chmod(Path("movie.mov").c_str(), 0640), 0);
  const struct {
    Plant plant;
    const char* prefix;
    bool replaces;  // an earlier movie is there
  } cases[] = {{Plant::kLink, "movie", true},
               {Plant::kFile, "movie", true},
               {Plant::kLink, "fresh", false},
               {Plant::kFile, "new", false}};
  for (const auto& c : cases) {
    const std::string movie = Path(std::string(c.prefix) + ".mov");
    SCOPED_TRACE(movie + (c.plant == Plant::kLink ? " with a link planted" : " with a file planted"));
    std::set<std::string> before = Names();
    if (c.replaces) {
      ASSERT_EQ(chmod(movie.c_str(), 0640), 0);
    }
    EXPECT_EQ(RunPlanting({track, Path(c.prefix)}, temp_.Path(), c.plant, "victim.txt"), 0);
    // Only the movie is new, beside the planted entry.
    std::set<std::string> planted;
    for (const std::string& name : Names()) {
      if (before.count(name) == 0 && Path(name) != movie) planted.insert(name);
    }
    ASSERT_EQ(planted.size(), 1u) << "expected the planted entry alone";
    const std::string plantedPath = Path(*planted.begin());
    EXPECT_EQ(planted.begin()->rfind(".dcp2mov-", 0), 0u) << *planted.begin();
    if (c.plant == Plant::kLink) {
      ASSERT_TRUE(std::filesystem::is_symlink(plantedPath));
      EXPECT_EQ(std::filesystem::read_symlink(plantedPath), "victim.txt");
    } else {
      ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(plantedPath)));
      EXPECT_EQ(ReadFile(plantedPath), "leftover");
      EXPECT_EQ(PermissionsOf(plantedPath), std::filesystem::perms(0600));
    }
    std::filesystem::remove(plantedPath);
    EXPECT_EQ(ReadFile(Path("victim.txt")), "victim");
    EXPECT_EQ(PermissionsOf(Path("victim.txt")), std::filesystem::perms(0600));
    // The movie: a file of its own, with its frames, and the permissions of
    // the file it replaced, or those of a new file under the mask 022.
    ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(movie)));
    EXPECT_EQ(qttest::Probe(movie)["nb_read_frames"], "3");
    EXPECT_EQ(PermissionsOf(movie), std::filesystem::perms(c.replaces ? 0640 : 0644));
  }
}

// --- signals and crashes -------------------------------------------------------

// Ctrl-C, the signals of a shell, a reader that goes away, a file-size
// limit, a user's signal, an alarm; two crashes.
constexpr int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGPIPE,
                                  SIGXFSZ, SIGUSR1, SIGALRM, SIGSEGV, SIGABRT};

// Starts the tool with `out` as its standard output, `err` as its standard
// error (-1: discarded), every signal at its default action and unblocked,
// and no core file.
pid_t StartTool(const std::vector<std::string>& arguments, int out, int err = -1) {
  std::vector<std::string> all{DCP2MOV_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int discard = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out, 1);
    dup2(err >= 0 ? err : discard, 2);
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

// Makes a pipe whose writing end (ends[1]) is already full: a run with it as
// its standard output waits at its first progress line, with the temporary
// movie made and no frame read, until the pipe is read or closed.
bool MakeFullPipe(int ends[2]) {
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const char block[512] = {};
  while (write(ends[1], block, sizeof block) > 0) {
  }
  while (write(ends[1], block, 1) > 0) {
  }
  fcntl(ends[1], F_SETFL, 0);
  return true;
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
    // The run waits at its first progress line, with the temporary movie
    // made, until the pipe is read or closed.
    int pipeEnds[2];
    ASSERT_TRUE(MakeFullPipe(pipeEnds));
    const pid_t pid = StartTool({track, Path("movie")}, pipeEnds[1]);
    close(pipeEnds[1]);
    ASSERT_GT(pid, 0);
    // The temporary movie: a new hidden file whose name the run chose.
    const auto made = [&] {
      for (const std::string& name : Names()) {
        if (names.count(name) == 0 && name.rfind(".dcp2mov-", 0) == 0 && name.size() > 14 &&
            name.compare(name.size() - 5, 5, ".part") == 0)
          return true;
      }
      return false;
    };
    int status = 0;
    bool reaped = false;
    WaitFor([&] {
      reaped = waitpid(pid, &status, WNOHANG) == pid;
      return reaped || made();
    });
    if (!reaped && !made()) {
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

// --- shared folders ------------------------------------------------------------

// Run as root, which may give links and files to other users and which the
// system lets replace anyone's file: only the tool's own checks keep another
// user's entries in a shared folder safe.
class SharedFolders : public FileSafety {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to give links and files to other users (chown)";
    FileSafety::SetUp();
  }

  // A folder of the test's folder with `mode` and `owner`.
  std::string Folder(const std::string& name, mode_t mode, uid_t owner = 0) {
    const std::string path = Path(name);
    EXPECT_EQ(mkdir(path.c_str(), 0700), 0) << path;
    EXPECT_EQ(chown(path.c_str(), owner, 0), 0) << path;
    EXPECT_EQ(chmod(path.c_str(), mode), 0) << path;
    return path;
  }

  // The names in each folder, and each entry's owner, kind and permissions,
  // and its bytes (the size of a larger file) or a link's target.
  static std::string Snapshot(const std::vector<std::string>& folders) {
    std::string shot;
    for (const std::string& folder : folders) {
      std::set<std::string> names;
      for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path());
      for (const std::string& name : names) {
        struct stat info {};
        lstat(name.c_str(), &info);
        shot += name + " " + std::to_string(info.st_uid) + " " + std::to_string(info.st_mode) + " ";
        const std::string bytes =
            S_ISLNK(info.st_mode) ? std::filesystem::read_symlink(name).string() : ReadFile(name);
        shot += bytes.size() <= 64 ? bytes : std::to_string(bytes.size()) + " bytes";
        shot += "\n";
      }
    }
    return shot;
  }
};

// Other users: a neighbour who may write into the shared folders, a third
// user whose files a neighbour's link may point to, and a fourth whose
// shared folders a third user's run writes into.
constexpr uid_t kNeighbour = 54321;
constexpr uid_t kThirdUser = 54322;
constexpr uid_t kFourthUser = 54323;

void MakeLink(const std::string& target, const std::string& path, uid_t owner) {
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
  ASSERT_EQ(lchown(path.c_str(), owner, 0), 0) << path;
}

void MakeFile(const std::string& path, const std::string& bytes, mode_t mode, uid_t owner) {
  convtest::WriteFile(path, bytes);
  ASSERT_EQ(chown(path.c_str(), owner, 0), 0) << path;
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

const std::string kNotFollowed = "another user's link in a shared folder is not followed";
const std::string kNotReplaced = "another user's file in a shared folder is not replaced";

// A run refused before anything is written, naming `file` and `cause`.
void ExpectRefused(const convtest::ToolRun& run, const std::string& file, const std::string& cause) {
  EXPECT_EQ(run.exitCode, 1) << file;
  EXPECT_EQ(run.out, "") << file;
  EXPECT_EQ(run.err, kRefused + "  File '" + file + "': " + cause + "\n");
}

// The movie that took the place of an earlier file: a file with the frames,
// with the earlier file's permissions.
void ExpectMovie(const std::string& path, std::filesystem::perms permissions) {
  ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path))) << path;
  EXPECT_EQ(qttest::Probe(path)["nb_read_frames"], "3") << path;
  EXPECT_EQ(PermissionsOf(path), permissions) << path;
}

TEST_F(SharedFolders, OnlyTheCallersAndTheFolderOwnersLinksAreFollowed) {
  const std::string track = Wrap("track.mxf", frames_);
  // Two shared folders of the caller's, one of the neighbour's, and an
  // ordinary one that anyone may write into.
  const std::string shared = Folder("shared", 01777);
  const std::string other = Folder("other", 01777);
  const std::string owned = Folder("owned", 01777, kNeighbour);
  const std::string plain = Folder("plain", 0777);

  // Refused: the neighbour's link to the third user's file, and the
  // caller's own link to the neighbour's link in the other shared folder.
  MakeFile(shared + "/victim.txt", "the third user's", 0644, kThirdUser);
  MakeLink("victim.txt", shared + "/planted.mov", kNeighbour);
  MakeFile(shared + "/mine.txt", "the caller's", 0600, 0);
  MakeLink(other + "/hop.mov", shared + "/chain.mov", 0);
  MakeLink(shared + "/mine.txt", other + "/hop.mov", kNeighbour);
  const std::string before = Snapshot({shared, other});
  ExpectRefused(RunTool({track, shared + "/planted"}), shared + "/planted.mov", kNotFollowed);
  ExpectRefused(RunTool({track, shared + "/chain"}), other + "/hop.mov", kNotFollowed);
  EXPECT_EQ(Snapshot({shared, other}), before);

  // Followed: the caller's link, the folder owner's link, and another user's
  // link in an ordinary folder; each movie replaces the caller's file it
  // points to.
  MakeFile(shared + "/earlier.mov", "an earlier movie", 0640, 0);
  MakeLink("earlier.mov", shared + "/own.mov", 0);
  MakeFile(owned + "/earlier.mov", "an earlier movie", 0604, 0);
  MakeLink("earlier.mov", owned + "/owners.mov", kNeighbour);
  MakeFile(plain + "/earlier.mov", "an earlier movie", 0644, 0);
  MakeLink("earlier.mov", plain + "/neighbours.mov", kNeighbour);
  const struct {
    std::string prefix;
    std::string target;
    std::filesystem::perms permissions;
  } followed[] = {{shared + "/own", shared + "/earlier.mov", std::filesystem::perms(0640)},
                  {owned + "/owners", owned + "/earlier.mov", std::filesystem::perms(0604)},
                  {plain + "/neighbours", plain + "/earlier.mov", std::filesystem::perms(0644)}};
  for (const auto& f : followed) {
    const auto run = RunTool({track, f.prefix});
    EXPECT_EQ(run.exitCode, 0) << f.prefix << ": " << run.err;
    EXPECT_EQ(std::filesystem::read_symlink(f.prefix + ".mov"), "earlier.mov");
    ExpectMovie(f.target, f.permissions);
  }
  EXPECT_EQ(Names(), (std::set<std::string>{"track.mxf", "shared", "other", "owned", "plain"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(owned), {}), 2);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(plain), {}), 2);
}

// The links at the folders' names of the movie's path, and those a link at
// the name leads through, are held to the same rule, in a folder that others
// may write into whether all may or only its group.
TEST_F(SharedFolders, LinksAtTheFoldersOfThePathAreCheckedToo) {
  const std::string track = Wrap("track.mxf", frames_);
  const std::string shared = Folder("shared", 01777);
  const std::string group = Folder("group", 01770);
  const std::string owned = Folder("owned", 01777, kNeighbour);
  const std::string third = Folder("third", 0755, kThirdUser);
  const std::string mine = Folder("mine", 0755);
  MakeFile(third + "/report.mov", "the third user's", 0644, kThirdUser);
  MakeFile(mine + "/report.mov", "an earlier movie", 0640, 0);

  // Refused: the neighbour's links to the third user's folder and to the
  // caller's, and the caller's link at the name that leads through one.
  MakeLink(third, shared + "/render", kNeighbour);
  MakeLink(mine, shared + "/chosen", kNeighbour);
  MakeLink(mine, group + "/render", kNeighbour);
  MakeLink("render/report.mov", shared + "/own.mov", 0);
  const std::vector<std::string> folders{shared, group, owned, third, mine};
  const std::string before = Snapshot(folders);
  ExpectRefused(RunTool({track, shared + "/render/report"}), shared + "/render", kNotFollowed);
  ExpectRefused(RunTool({track, shared + "/chosen/report"}), shared + "/chosen", kNotFollowed);
  ExpectRefused(RunTool({track, group + "/render/report"}), group + "/render", kNotFollowed);
  ExpectRefused(RunTool({track, shared + "/own"}), shared + "/render", kNotFollowed);
  EXPECT_EQ(Snapshot(folders), before);

  // Followed: the caller's link and the folder owner's; the movie takes the
  // earlier movie's place in the folder they lead to.
  MakeLink(mine, shared + "/mine", 0);
  MakeLink(mine, owned + "/render", kNeighbour);
  for (const std::string& prefix : {shared + "/mine/report", owned + "/render/report"}) {
    const auto run = RunTool({track, prefix});
    EXPECT_EQ(run.exitCode, 0) << prefix << ": " << run.err;
    ExpectMovie(mine + "/report.mov", std::filesystem::perms(0640));
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mine), {}), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(owned), {}), 1);
}

TEST_F(SharedFolders, OnlyTheCallersAndTheFolderOwnersFilesAreReplaced) {
  const std::string track = Wrap("track.mxf", frames_);
  const std::string shared = Folder("shared", 01777);
  const std::string other = Folder("other", 01777);
  const std::string owned = Folder("owned", 01777, kNeighbour);
  const std::string plain = Folder("plain", 0777);

  // Refused: the neighbour's world-writable file at the movie's name, the
  // third user's file that the caller's own link points to, and the
  // neighbour's dangling link (which the movie would replace).
  MakeFile(shared + "/left.mov", "the neighbour's", 0666, kNeighbour);
  MakeFile(other + "/theirs.mov", "the third user's", 0666, kThirdUser);
  MakeLink(other + "/theirs.mov", shared + "/to-theirs.mov", 0);
  MakeLink("nowhere", shared + "/dangling.mov", kNeighbour);
  const std::string before = Snapshot({shared, other});
  ExpectRefused(RunTool({track, shared + "/left"}), shared + "/left.mov", kNotReplaced);
  ExpectRefused(RunTool({track, shared + "/to-theirs"}), other + "/theirs.mov", kNotReplaced);
  ExpectRefused(RunTool({track, shared + "/dangling"}), shared + "/dangling.mov",
                "another user's link in a shared folder is not replaced");
  EXPECT_EQ(Snapshot({shared, other}), before);

  // Replaced, with their permissions: the caller's file, the folder owner's
  // file, and another user's file in an ordinary folder.
  MakeFile(shared + "/mine.mov", "an earlier movie", 0640, 0);
  MakeFile(owned + "/owners.mov", "an earlier movie", 0666, kNeighbour);
  MakeFile(plain + "/neighbours.mov", "an earlier movie", 0606, kNeighbour);
  const struct {
    std::string prefix;
    std::filesystem::perms permissions;
  } replaced[] = {{shared + "/mine", std::filesystem::perms(0640)},
                  {owned + "/owners", std::filesystem::perms(0666)},
                  {plain + "/neighbours", std::filesystem::perms(0606)}};
  for (const auto& r : replaced) {
    const auto run = RunTool({track, r.prefix});
    EXPECT_EQ(run.exitCode, 0) << r.prefix << ": " << run.err;
    ExpectMovie(r.prefix + ".mov", r.permissions);
  }
}

// Runs the tool as `user` with HOME, XDG_DATA_HOME and TMPDIR at `home`,
// so that its log is its own.
convtest::ToolRun RunToolAs(uid_t user, const std::vector<std::string>& arguments, const std::string& home) {
  return RunTool(arguments, {"HOME=" + home, "XDG_DATA_HOME=" + home, "TMPDIR=" + home},
                 static_cast<int>(user));
}

// Run as another user, who may not act as any file's owner: in a sticky
// folder, the folder owner's file or link at the movie's name is trusted,
// but the system would refuse the rename after the last frame; the run is
// refused before the first.  The user's own file there is replaced.
TEST_F(SharedFolders, AFileTheSystemWillNotLetTheUserReplaceStopsTheRunFirst) {
  const std::string track = Wrap("track.mxf", frames_);
  ASSERT_EQ(chmod(temp_.Path().c_str(), 0755), 0);
  const std::string home = Folder("home", 0700, kThirdUser);
  const std::string sticky = Folder("s3", 01777, kNeighbour);
  MakeFile(sticky + "/out.mov", "the folder owner's", 0666, kNeighbour);
  MakeLink("nowhere", sticky + "/dangling.mov", kNeighbour);
  const std::string before = Snapshot({sticky});
  const std::string cause = "only its owner or the folder's owner may replace this ";
  ExpectRefused(RunToolAs(kThirdUser, {track, sticky + "/out"}, home), sticky + "/out.mov",
                cause + "file in a sticky folder");
  ExpectRefused(RunToolAs(kThirdUser, {track, sticky + "/dangling"}, home), sticky + "/dangling.mov",
                cause + "link in a sticky folder");
  EXPECT_EQ(Snapshot({sticky}), before);

  MakeFile(sticky + "/mine.mov", "an earlier movie", 0640, kThirdUser);
  const auto run = RunToolAs(kThirdUser, {track, sticky + "/mine"}, home);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ExpectMovie(sticky + "/mine.mov", std::filesystem::perms(0640));
}

// A name that was free when the run began may hold another user's file by
// the time the movie is kept: the movie does not replace it.
TEST_F(SharedFolders, AnotherUsersFileMadeDuringTheRunIsNotReplaced) {
  const std::string track = Wrap("track.mxf", frames_);
  const std::string shared = Folder("shared", 01777);
  const std::string movie = shared + "/late.mov";
  const int err = open(Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(err, 0);
  int pipeEnds[2];
  ASSERT_TRUE(MakeFullPipe(pipeEnds));
  const pid_t pid = StartTool({track, shared + "/late"}, pipeEnds[1], err);
  close(pipeEnds[1]);
  close(err);
  ASSERT_GT(pid, 0);
  // The run waits with its temporary movie made (or it ended).
  int status = 0;
  bool ended = false;
  const bool made =
      WaitFor([&] {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        return ended || std::filesystem::directory_iterator(shared) != std::filesystem::directory_iterator();
      }) &&
      !ended;
  if (made) MakeFile(movie, "the neighbour's", 0666, kNeighbour);
  char bytes[4096];
  while (read(pipeEnds[0], bytes, sizeof bytes) > 0) {
  }
  close(pipeEnds[0]);
  if (!ended) {
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
  }
  ASSERT_TRUE(made) << "the run did not make its temporary movie";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(ReadFile(Path("stderr")),
            kErrorHead + "  QuickTimeVideoFile: Failed to save the movie file\n  File '" + movie +
                "': the movie could not be given this name: " + kNotReplaced + "\n");
  EXPECT_EQ(Snapshot({shared}), movie + " " + std::to_string(kNeighbour) + " " +
                                    std::to_string(S_IFREG | 0666) + " the neighbour's\n");
}

// What a neighbour does at the moments a run is most exposed (a preloaded
// library acts for it): a file put at a free name in the last moment
// before the rename, where the file system has a rename that replaces
// nothing and where it has not, or just after the run's last look at the
// name; a link to the caller's folder made at a folder's name just after
// the run found nothing there.  Nothing of the neighbour's is replaced or
// followed, and the caller's earlier movie stays as it was.  A second name
// whose making answered that the name was taken (a link sent again on NFS)
// is the movie's own: the movie keeps its name and no hidden second one.
TEST_F(SharedFolders, WhatANeighbourDoesDuringTheRunIsNeitherReplacedNorFollowed) {
  const std::string track = Wrap("track.mxf", frames_);
  const std::string shared = Folder("shared", 01777);
  const std::string mine = Folder("mine", 0755);
  MakeFile(mine + "/out.mov", "an earlier movie", 0640, 0);
  const std::string mineBefore = Snapshot({mine});
  const std::string neighbour = std::to_string(kNeighbour);
  const std::string plant = "DCP_SHIM_PLANT_BEFORE_MOVIE_RENAME=" + neighbour;
  const std::string notSaved = kErrorHead + "  QuickTimeVideoFile: Failed to save the movie file\n  File '";
  const std::string notReplaced = ".mov': the movie could not be given this name: " + kNotReplaced + "\n";
  const struct {
    std::string prefix;
    std::vector<std::string> environment;
    int exitCode;
    std::string err;
  } cases[] = {
      {"late", {plant}, 1, notSaved + shared + "/late" + notReplaced},
      {"later", {plant, "DCP_SHIM_NO_RENAME_NOREPLACE=1"}, 1, notSaved + shared + "/later" + notReplaced},
      {"latest",
       {plant, "DCP_SHIM_PLANT_AT_LOOK=latest.mov"},
       1,
       notSaved + shared + "/latest" + notReplaced},
      {"newdir/out",
       {"DCP_SHIM_LINK_AFTER_LOOK=newdir:" + mine + ":" + neighbour},
       1,
       kRefused + "  File '" + shared + "/newdir/out.mov': No such file or directory\n"},
      {"lost", {"DCP_SHIM_NO_RENAME_NOREPLACE=1", "DCP_SHIM_LINK_ANSWER_LOST=1"}, 0, ""},
  };
  // In the sanitizer build the preloaded library comes before the
  // sanitizers' runtime.
  const char* asan = std::getenv("ASAN_OPTIONS");
  for (const auto& c : cases) {
    std::vector<std::string> environment = c.environment;
    environment.push_back(std::string("LD_PRELOAD=") + NEIGHBOUR_SHIM_PATH);
    environment.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
    const auto run = RunTool({track, shared + "/" + c.prefix}, environment);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.prefix;
    EXPECT_EQ(run.err, c.err) << c.prefix;
  }
  std::string planted;
  for (const std::string name : {"late", "later", "latest"}) {
    planted += shared + "/" + name + ".mov " + neighbour + " " + std::to_string(S_IFREG | 0666) +
               " the neighbour's\n";
  }
  const std::string lost = shared + "/lost.mov";
  planted += shared + "/newdir " + neighbour + " " + std::to_string(S_IFLNK | 0777) + " " + mine + "\n";
  std::string left = Snapshot({shared});
  const std::size_t movie = left.find(lost + " ");
  ASSERT_NE(movie, std::string::npos) << left;
  left.erase(movie, left.find('\n', movie) + 1 - movie);
  EXPECT_EQ(left, planted);
  EXPECT_EQ(Snapshot({mine}), mineBefore);
  struct stat kept {};
  ASSERT_EQ(lstat(lost.c_str(), &kept), 0);
  EXPECT_EQ(kept.st_nlink, 1u);
  EXPECT_EQ(qttest::Probe(lost)["nb_read_frames"], "3");
}

// A user namespace of its own (as rootless containers and sandboxes have)
// shows every owner it does not map as one id: there the neighbour's link
// looks like the folder owner's, in a third user's folder that all may
// write into, in a group's, and in root's; and the neighbour's file at the
// movie's name looks replaceable by the right to act as any file's owner
// that the namespace gives.  Such owners are no one's: the links are not
// followed, the file is not replaced, before anything is written.  The
// caller's own link is followed.
TEST_F(SharedFolders, OwnersAUserNamespaceDoesNotMapAreNoOnes) {
  const std::string track = Wrap("track.mxf", frames_);
  ASSERT_EQ(chmod(temp_.Path().c_str(), 0755), 0);
  const std::string home = Folder("home", 0700, kThirdUser);
  const std::vector<std::string> environment{"HOME=" + home, "XDG_DATA_HOME=" + home, "TMPDIR=" + home};
  const auto probe = RunTool({"-V"}, environment, static_cast<int>(kThirdUser), true);
  if (probe.exitCode != 0) GTEST_SKIP() << "no user namespace can be made here: " << probe.err;
  const std::string mine = Folder("mine", 0755, kThirdUser);
  MakeFile(mine + "/report.mov", "an earlier movie", 0640, kThirdUser);
  const std::string fourth = Folder("fourth", 01777, kFourthUser);
  const std::string group = Folder("group", 01770, kFourthUser);
  ASSERT_EQ(chown(group.c_str(), kFourthUser, kThirdUser), 0);
  const std::string shared = Folder("shared", 01777);
  for (const std::string& folder : {fourth, group, shared}) MakeLink(mine, folder + "/render", kNeighbour);
  MakeFile(fourth + "/out.mov", "the neighbour's", 0666, kNeighbour);
  const std::vector<std::string> folders{mine, fourth, group, shared};
  const std::string before = Snapshot(folders);
  for (const std::string& folder : {fourth, group, shared}) {
    ExpectRefused(
        RunTool({track, folder + "/render/report"}, environment, static_cast<int>(kThirdUser), true),
        folder + "/render", kNotFollowed);
  }
  ExpectRefused(RunTool({track, fourth + "/out"}, environment, static_cast<int>(kThirdUser), true),
                fourth + "/out.mov", kNotReplaced);
  EXPECT_EQ(Snapshot(folders), before);

  MakeLink(mine, shared + "/mine", kThirdUser);
  const auto run = RunTool({track, shared + "/mine/report"}, environment, static_cast<int>(kThirdUser), true);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ExpectMovie(mine + "/report.mov", std::filesystem::perms(0640));
}

}  // namespace
