// The file-system calls whose failures carry the system's error code: what
// is at a path, whether it may be written, and the first bytes of a file;
// and the open of a regular file for reading, which refuses anything else
// without waiting.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace
