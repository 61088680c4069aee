// The file-system calls whose failures carry the system's error code: what
// is at a path, whether it may be written, and the first bytes of a file.
#include <gtest/gtest.h>

#include <stdlib.h>

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

}  // namespace
