// The file-system calls whose failures carry the system's error code: what
// is at a path, whether it may be written, and the first bytes of a file;
// the open of a regular file for reading, which refuses anything else
// without waiting; and the new file made under an unused name, which leaves
// whatever is already at the names it tries; which folders are shared as
// /tmp is, which are sticky, and whether this process may act as any file's
// owner; and the rename that takes only a free name.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace {

TEST(FileSystem, FailuresCarryTheSystemsErrorCode) {
  char made[] = "/tmp/platform_files_XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const std::string folder = made;
  std::ofstream(folder + "/ten") << "0123456789";
  std::ofstream(folder + "/two") << "ab";
  std::ofstream(folder + "/empty");

  const struct {
    const char* name;
    bool read;
    const char* start;  // the bytes read, at most 4
    int error;          // of the read, and of the entry's kind unless a folder
  } cases[] = {{"ten", true, "0123", 0}, {"two", true, "ab", 0},      {"empty", true, "", 0},
               {"", false, "", EISDIR},  {"gone", false, "", ENOENT}, {"ten/x", false, "", ENOTDIR}};
  for (const auto& c : cases) {
    const std::string path = folder + "/" + c.name;
    char bytes[4] = {0, 0, 0, 0};
    std::size_t count = 99;
    int error = 0;
    EXPECT_EQ(platformReadFileStart(path.c_str(), bytes, sizeof bytes, &count, &error), c.read) << c.name;
    EXPECT_EQ(std::string(bytes, count), c.start) << c.name;
    EXPECT_EQ(error, c.read ? 0 : c.error) << c.name;
    // What is missing has no kind and may not be written, for the same reason.
    const bool missing = c.error != 0 && c.error != EISDIR;
    int kindError = 0, writeError = 0;
    EXPECT_EQ(platformEntryKind(path.c_str(), true, &kindError) == PlatformEntryKind::kNone, missing)
        << c.name;
    EXPECT_EQ(platformMayWrite(path.c_str(), &writeError), !missing) << c.name;
    EXPECT_EQ(kindError, missing ? c.error : 0) << c.name;
    EXPECT_EQ(writeError, missing ? c.error : 0) << c.name;
  }
  std::filesystem::remove_all(folder);
}

TEST(FileSystem, OnlyARegularFileIsOpenedForReadingAndNothingWaits) {
  char made[] = "/tmp/platform_files_XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const std::string folder = made;
  std::ofstream(folder + "/file") << "bytes";
  ASSERT_EQ(symlink("file", (folder + "/link").c_str()), 0);
  ASSERT_EQ(mkfifo((folder + "/fifo").c_str(), 0600), 0);
  for (const char* name : {"file", "link"}) {
    std::FILE* stream = platformOpenRegularFileForReading((folder + "/" + name).c_str());
    ASSERT_NE(stream, nullptr) << name;
    char bytes[8] = {};
    EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, stream), 5u) << name;
    EXPECT_EQ(std::string(bytes), "bytes") << name;
    std::fclose(stream);
  }
  // A FIFO that no process writes to, read in a child whose alarm ends it
  // should the open wait.
  const std::string fifo = folder + "/fifo";
  EXPECT_EXIT(
      {
        alarm(120);
        std::_Exit(platformOpenRegularFileForReading(fifo.c_str()) == nullptr ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  for (const std::string& path : {folder, folder + "/gone", std::string("/dev/null")})
    EXPECT_EQ(platformOpenRegularFileForReading(path.c_str()), nullptr) << path;
  std::filesystem::remove_all(folder);
}

// A name source for the tests: the names of gNames in turn, then false.
std::vector<std::string> gNames;
std::size_t gNamesGiven = 0;
bool ListedNames(char* characters, std::size_t count) {
  if (gNamesGiven == gNames.size()) return false;
  const std::string& name = gNames[gNamesGiven++];
  if (name.size() != count) return false;
  std::memcpy(characters, name.data(), count);
  return true;
}

// The first `count` names of a list of unused-name characters.
std::vector<std::string> NameList(std::size_t count) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    std::string name = "name" + std::to_string(i);
    name.resize(kPlatformUnusedNameCharacters, 'x');
    names.push_back(name);
  }
  return names;
}

std::filesystem::perms PermissionsOf(const std::string& path) {
  return std::filesystem::symlink_status(path).permissions();
}

TEST(FileSystem, NewFileUnderAnUnusedNameLeavesWhatIsAtTheOthers) {
  char made[] = "/tmp/platform_files_XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const std::string folder = made;
  const std::string before = folder + "/.x-";
  const auto at = [&](const std::string& name) { return before + name + ".part"; };
  std::ofstream(folder + "/victim") << "victim";
  ASSERT_EQ(chmod((folder + "/victim").c_str(), 0600), 0);
  // Taken: a link to a file, a dangling link, a file, a folder, a FIFO (which
  // must not be opened); the sixth name is free.
  gNames = NameList(7);
  ASSERT_EQ(symlink("victim", at(gNames[0]).c_str()), 0);
  ASSERT_EQ(symlink("nowhere", at(gNames[1]).c_str()), 0);
  std::ofstream(at(gNames[2])) << "leftover";
  ASSERT_EQ(chmod(at(gNames[2]).c_str(), 0600), 0);
  ASSERT_EQ(mkdir(at(gNames[3]).c_str(), 0700), 0);
  ASSERT_EQ(mkfifo(at(gNames[4]).c_str(), 0600), 0);
  const mode_t mask = umask(022);
  gNamesGiven = 0;
  char path[4096];
  int error = 0;
  const int fd = platformCreateUnusedFile(kPlatformCurrentFolder, before.c_str(), ".part", path, sizeof path,
                                          &error, &ListedNames);
  umask(mask);
  ASSERT_GE(fd, 0) << std::strerror(error);
  EXPECT_EQ(std::string(path), at(gNames[5]));
  EXPECT_EQ(gNamesGiven, 6u);
  // The file is the one open, new, with a new file's permissions.
  ASSERT_EQ(write(fd, "movie", 5), 5);
  platformCloseFile(fd);
  EXPECT_EQ(PermissionsOf(path), std::filesystem::perms(0644));
  std::ifstream written(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "movie");
  // Everything else is as it was.
  EXPECT_EQ(std::filesystem::read_symlink(at(gNames[0])), "victim");
  EXPECT_EQ(std::filesystem::read_symlink(at(gNames[1])), "nowhere");
  EXPECT_FALSE(std::filesystem::exists(folder + "/nowhere"));
  std::ifstream victim(folder + "/victim"), leftover(at(gNames[2]));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "victim");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(leftover), {}), "leftover");
  EXPECT_EQ(PermissionsOf(folder + "/victim"), std::filesystem::perms(0600));
  EXPECT_EQ(PermissionsOf(at(gNames[2])), std::filesystem::perms(0600));
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::symlink_status(at(gNames[3]))));
  EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(at(gNames[4]))));
  const std::size_t entries = 7;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), entries);

  // Every name taken: the tries end, with EEXIST, and nothing is made.
  gNames.assign(kPlatformUnusedNameTries + 1, NameList(1)[0]);
  gNamesGiven = 0;
  EXPECT_EQ(platformCreateUnusedFile(kPlatformCurrentFolder, before.c_str(), ".part", path, sizeof path,
                                     &error, &ListedNames),
            -1);
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(gNamesGiven, std::size_t{kPlatformUnusedNameTries});
  // A source that gives no name, a path that does not fit, a missing folder.
  gNames.clear();
  gNamesGiven = 0;
  EXPECT_EQ(platformCreateUnusedFile(kPlatformCurrentFolder, before.c_str(), ".part", path, sizeof path,
                                     &error, &ListedNames),
            -1);
  EXPECT_NE(error, 0);
  EXPECT_EQ(platformCreateUnusedFile(kPlatformCurrentFolder, before.c_str(), ".part", path,
                                     before.size() + 20, &error),
            -1);
  EXPECT_EQ(error, ENAMETOOLONG);
  const std::string missing = folder + "/gone/.x-";
  EXPECT_EQ(
      platformCreateUnusedFile(kPlatformCurrentFolder, missing.c_str(), ".part", path, sizeof path, &error),
      -1);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), entries);

  // The system's source: letters and digits, another name each time.
  std::string names[2];
  for (std::string& name : names) {
    const int made =
        platformCreateUnusedFile(kPlatformCurrentFolder, before.c_str(), ".part", path, sizeof path, &error);
    ASSERT_GE(made, 0) << std::strerror(error);
    platformCloseFile(made);
    name = path;
    ASSERT_EQ(name.size(), before.size() + kPlatformUnusedNameCharacters + 5);
    EXPECT_EQ(name.compare(0, before.size(), before), 0);
    for (std::size_t i = before.size(); i < before.size() + kPlatformUnusedNameCharacters; ++i)
      EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(name[i]))) << name;
  }
  EXPECT_NE(names[0], names[1]);
  std::filesystem::remove_all(folder);
}

// Sticky: the sticky bit, whoever may write into the folder; shared: with
// the group's or others' write right too; neither for a file.
TEST(FileSystem, StickyAndSharedStickyFolders) {
  char made[] = "/tmp/platform_files_XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const std::string folder = made;
  const struct {
    const char* name;
    mode_t mode;
    bool shared;
    bool sticky;
  } cases[] = {{"tmp", 01777, true, true},     {"group", 01770, true, true}, {"others", 01703, true, true},
               {"closed", 01755, false, true}, {"open", 0777, false, false}, {"file", 01777, false, false}};
  for (const auto& c : cases) {
    const std::string path = folder + "/" + c.name;
    if (std::string(c.name) == "file")
      std::ofstream(path) << "bytes";
    else
      ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << c.name;
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0) << c.name;
    PlatformEntryInfo info;
    ASSERT_TRUE(platformDescribeEntry(kPlatformCurrentFolder, path.c_str(), false, &info)) << c.name;
    EXPECT_EQ(info.owner, geteuid()) << c.name;
    EXPECT_EQ(info.mode, c.mode) << c.name;
    EXPECT_EQ(platformIsSharedStickyFolder(info), c.shared) << c.name;
    EXPECT_EQ(platformIsStickyFolder(info), c.sticky) << c.name;
  }
  std::filesystem::remove_all(folder);
}

// The right to act as any file's owner as the system reports it (CapEff in
// /proc/self/status, CAP_FOWNER being 3).
TEST(FileSystem, TheRightToActAsAnyFileOwner) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line) && line.rfind("CapEff:", 0) != 0) {
  }
  ASSERT_EQ(line.rfind("CapEff:", 0), 0u);
  EXPECT_EQ(platformMayActAsAnyFileOwner(), ((std::stoull(line.substr(7), nullptr, 16) >> 3) & 1) != 0);
}

// A free name is taken; a taken one, even by a dangling link, is left as it
// is, and so is the file that was to take it.
TEST(FileSystem, RenameToAFreeNameReplacesNothing) {
  char made[] = "/tmp/platform_files_XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const std::string folder = made;
  std::ofstream(folder + "/movie") << "movie";
  std::ofstream(folder + "/taken") << "taken";
  ASSERT_EQ(symlink("nowhere", (folder + "/dangling").c_str()), 0);
  for (const char* name : {"/taken", "/dangling"}) {
    int error = 0;
    EXPECT_FALSE(platformRenameToFreeName(kPlatformCurrentFolder, (folder + "/movie").c_str(),
                                          (folder + name).c_str(), &error));
    EXPECT_EQ(error, EEXIST) << name;
  }
  EXPECT_EQ(std::filesystem::read_symlink(folder + "/dangling"), "nowhere");
  std::string bytes;
  std::ifstream(folder + "/taken") >> bytes;
  EXPECT_EQ(bytes, "taken");
  int error = 0;
  EXPECT_TRUE(platformRenameToFreeName(kPlatformCurrentFolder, (folder + "/movie").c_str(),
                                       (folder + "/free").c_str(), &error));
  std::ifstream(folder + "/free") >> bytes;
  EXPECT_EQ(bytes, "movie");
  EXPECT_FALSE(std::filesystem::exists(folder + "/movie"));
  std::filesystem::remove_all(folder);
}

}  // namespace
