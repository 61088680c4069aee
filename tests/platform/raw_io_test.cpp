// The log's unbuffered file access: only a regular file is opened, without
// waiting for a FIFO's other end, and none is made through a dangling link; the descriptors hold the
// exclusive record lock, each its own, and a lock the access does not allow is refused; a lock that another
// descriptor keeps is waited for no longer than asked.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/raw_io.h"

namespace {

class RawIo : public ::testing::Test {
 protected:
  RawIo() {
    char made[] = "/tmp/raw_io_XXXXXX";
    if (mkdtemp(made)) mFolder = made;
  }
  ~RawIo() override {
    if (!mFolder.empty()) std::filesystem::remove_all(mFolder);
  }
  std::string Path(const char* name) const { return mFolder + "/" + name; }

  std::string mFolder;
};

TEST_F(RawIo, OnlyARegularFileIsOpenedAndNothingWaits) {
  ASSERT_FALSE(mFolder.empty());
  const std::string fifo = Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, mFolder, std::string("/dev/null")}) {
    EXPECT_EQ(platformRawOpenForAppend(path.c_str(), false), -1) << path;
    EXPECT_EQ(platformRawOpenForAppend(path.c_str(), true), -1) << path;
    EXPECT_EQ(platformRawOpenExisting(path.c_str()), -1) << path;
  }
  struct stat info {};
  ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));

  const std::string log = Path("Log.txt");
  EXPECT_EQ(platformRawOpenExisting(log.c_str()), -1);
  const int made = platformRawOpenForAppend(log.c_str(), false);
  ASSERT_GE(made, 0);
  EXPECT_TRUE(platformRawAppendWhole(made, "line\r\n", 6));
  platformRawClose(made);
  const int existing = platformRawOpenExisting(log.c_str());
  ASSERT_GE(existing, 0);
  char read[6] = {};
  EXPECT_TRUE(platformRawReadAt(existing, read, sizeof read, 0));
  EXPECT_EQ(std::string(read, sizeof read), "line\r\n");
  platformRawClose(existing);

  // A link to the file is followed; a dangling one makes no file.
  ASSERT_EQ(symlink(log.c_str(), Path("link").c_str()), 0);
  ASSERT_EQ(symlink(Path("made-by-link").c_str(), Path("dangling").c_str()), 0);
  const int linked = platformRawOpenForAppend(Path("link").c_str(), false);
  EXPECT_TRUE(platformRawAppendWhole(linked, "more\r\n", 6));
  platformRawClose(linked);
  EXPECT_EQ(std::filesystem::file_size(log), 12u);
  EXPECT_EQ(platformRawOpenForAppend(Path("dangling").c_str(), false), -1);
  EXPECT_FALSE(std::filesystem::exists(Path("made-by-link")));
}

TEST_F(RawIo, TheLogsDescriptorsHoldTheirOwnRecordLocks) {
  ASSERT_FALSE(mFolder.empty());
  const std::string log = Path("Log.txt");
  const int append = platformRawOpenForAppend(log.c_str(), false);
  const int existing = platformRawOpenExisting(log.c_str());
  ASSERT_GE(append, 0);
  ASSERT_GE(existing, 0);
  for (const int fd : {append, existing}) {
    EXPECT_EQ(platformRawLockExclusive(fd, 0, 0), PlatformLock::kHad);
    platformRawUnlock(fd, 0);
  }
  // Each descriptor holds its own locks, byte by byte.
  ASSERT_EQ(platformRawLockExclusive(append, 1, 0), PlatformLock::kHad);
  EXPECT_EQ(platformRawLockExclusive(existing, 1, 0), PlatformLock::kBusy);
  EXPECT_EQ(platformRawLockExclusive(existing, 1, 30), PlatformLock::kBusy);
  EXPECT_EQ(platformRawLockExclusive(existing, 0, 0), PlatformLock::kHad);
  // A lock let go while another waits for it is had.
  std::thread release([append] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    platformRawUnlock(append, 1);
  });
  EXPECT_EQ(platformRawLockExclusive(existing, 1, 60000), PlatformLock::kHad);
  release.join();
  EXPECT_EQ(platformRawLockExclusive(append, 1, 0), PlatformLock::kBusy);
  // Closing the descriptor lets its locks go.
  platformRawClose(existing);
  EXPECT_EQ(platformRawLockExclusive(append, 1, 0), PlatformLock::kHad);
  platformRawClose(append);
}

// A lock the descriptor's access does not allow is refused, not taken for
// a file system without locks; a descriptor open for writing alone holds
// the exclusive lock.
TEST_F(RawIo, ALockTheDescriptorMayNotHoldIsRefused) {
  ASSERT_FALSE(mFolder.empty());
  const std::string log = Path("Log.txt");
  platformRawClose(platformRawOpenForAppend(log.c_str(), false));
  const int reading = open(log.c_str(), O_RDONLY | O_CLOEXEC);
  const int writing = open(log.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(reading, 0);
  ASSERT_GE(writing, 0);
  EXPECT_EQ(platformRawLockExclusive(reading, 1, 0), PlatformLock::kRefused);
  EXPECT_EQ(platformRawLockExclusive(writing, 1, 0), PlatformLock::kHad);
  close(reading);
  close(writing);
}

}  // namespace
