#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "framework/files.h"
#include "framework/folders.h"
#include "framework/text.h"
#include "framework/thread_context.h"
#include "tests/framework/framework_test_env.h"
#include "tests/framework/temp_home.h"

namespace {

class ApplicationData : public FrameworkTest {
 protected:
  void SetUp() override {
    ResetApplicationDataFolderForTesting();
    unsetenv("XDG_DATA_HOME");
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    ResetApplicationDataFolderForTesting();
  }
};

TEST_F(ApplicationData, PerVersionFolderUnderTheUsersDataFolder) {
  const std::string expected = TestHome() + "/.local/share/Tarvo/V0.0.1/";
  EXPECT_EQ(Narrow(UserDataFolder()), TestHome() + "/.local/share/");
  EXPECT_EQ(Narrow(ApplicationDataFolder()), expected);
  EXPECT_TRUE(IsFolder(expected));
  // Kept: the same text without asking again.
  EXPECT_EQ(Narrow(ApplicationDataFolder()), expected);
}

TEST_F(ApplicationData, XdgDataHomeWins) {
  const std::string data = FreshFolder("xdg");
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  EXPECT_EQ(Narrow(ApplicationDataFolder()), data + "/Tarvo/V0.0.1/");
  // A relative value is not a data folder.
  ResetApplicationDataFolderForTesting();
  setenv("XDG_DATA_HOME", "relative/path", 1);
  EXPECT_EQ(Narrow(ApplicationDataFolder()), TestHome() + "/.local/share/Tarvo/V0.0.1/");
}

TEST_F(ApplicationData, WithoutADataFolderTheProgramsFolderServes) {
  const std::string data = FreshFolder("blocked");
  // A file where the folder should be: nothing can be created there.
  WriteTextFile(data + "/Tarvo", "in the way");
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  EXPECT_EQ(Narrow(ApplicationDataFolder()), Narrow(ModuleFolder()));
}

// The product folder with version folders for the carry-over tests.
std::string ProductWith(std::initializer_list<const char*> versions) {
  const std::string product = FreshFolder("product");
  for (const char* version : versions) mkdir((product + "/" + version).c_str(), 0755);
  return product;
}

TEST_F(ApplicationData, NothingOlderThanTheFirstVersionIsCarriedOver) {
  const std::string product = ProductWith({"V0.0.0", "V0.0.1"});
  WriteTextFile(product + "/V0.0.0/settings.xml", "old");
  EXPECT_EQ(CarryOverSettingsInto(Wide(product + "/V0.0.1/"), 0, 0, 1), 0);
  EXPECT_FALSE(PathExists(product + "/V0.0.1/settings.xml"));
}

TEST_F(ApplicationData, TheNewestOlderVersionIsCarriedOver) {
  const std::string product = ProductWith({"V0.0.9", "V0.1.5", "v0.1.2", "V1.0.0", "V0.2.0", "Misc"});
  const std::string source = product + "/V0.1.5";
  WriteTextFile(product + "/V0.0.9/old.xml", "too old");
  WriteTextFile(source + "/a.xml", "a");
  WriteTextFile(source + "/b.DB", "b");
  WriteTextFile(source + "/TemplateA.bin", "t");
  WriteTextFile(source + "/notes.txt", "n");
  mkdir((source + "/Presets").c_str(), 0755);
  WriteTextFile(source + "/Presets/p.cfg", "p");
  mkdir((source + "/CrashBackups2").c_str(), 0755);
  WriteTextFile(source + "/CrashBackups2/dump", "d");

  const std::string current = product + "/V0.2.0/";
  EXPECT_EQ(CarryOverSettingsInto(Wide(current), 0, 2, 0), 4);
  EXPECT_EQ(ReadTextFile(current + "a.xml"), "a");
  EXPECT_EQ(ReadTextFile(current + "b.DB"), "b");
  EXPECT_EQ(ReadTextFile(current + "TemplateA.bin"), "t");
  EXPECT_EQ(ReadTextFile(current + "Presets/p.cfg"), "p");
  EXPECT_FALSE(PathExists(current + "notes.txt"));
  EXPECT_FALSE(PathExists(current + "CrashBackups2"));
  EXPECT_FALSE(PathExists(current + "old.xml"));
  // Settings are there now: a second run copies nothing.
  WriteTextFile(source + "/later.xml", "l");
  EXPECT_EQ(CarryOverSettingsInto(Wide(current), 0, 2, 0), 0);
  EXPECT_FALSE(PathExists(current + "later.xml"));
}

class TemporaryFolders : public FrameworkTest {
 protected:
  void SetUp() override { ForgetTempFolder(); }
  void TearDown() override {
    const TString folder = TempFolder();
    DeleteFolderTree(folder);
    ForgetTempFolder();
  }
};

TEST_F(TemporaryFolders, OnePrivateFolderPerProcess) {
  const std::string name = "Tarvo-0-" + std::to_string(getpid());
  EXPECT_EQ(Narrow(TempFolderName()), name);
  const std::string expected = TestTmp() + "/" + name + "/";
  EXPECT_EQ(Narrow(TempFolder()), expected);
  EXPECT_TRUE(IsFolder(expected));
  EXPECT_EQ(ModeOf(TestTmp() + "/" + name), 0700);
  // Made again when it has gone.
  ASSERT_TRUE(DeleteFolderTree(Wide(expected)));
  EXPECT_EQ(Narrow(TempFolder()), expected);
  EXPECT_TRUE(IsFolder(expected));
}

TEST_F(TemporaryFolders, TheNameCarriesTheThreadsContext) {
  // A context of its own (made without any singleton factories).
  TThreadContext::ClearRegistrations();
  const std::int32_t index = TThreadContext::Create();
  {
    TThreadContextSwitch own(index);
    EXPECT_EQ(Narrow(TempFolderName()), "Tarvo-" + std::to_string(index) + "-" + std::to_string(getpid()));
  }
  TThreadContextSwitch first(0);
  EXPECT_EQ(Narrow(TempFolderName()), "Tarvo-0-" + std::to_string(getpid()));
}

TEST_F(TemporaryFolders, ALinkInTheWayIsNotAccepted) {
  // Someone placed a link under this process's name: the folder falls back
  // to the program's own "Temp" folder.
  const std::string elsewhere = FreshFolder("elsewhere");
  const std::string name = "Tarvo-0-" + std::to_string(getpid());
  ASSERT_EQ(symlink(elsewhere.c_str(), (TestTmp() + "/" + name).c_str()), 0);
  const std::string folder = Narrow(TempFolder());
  EXPECT_EQ(folder, Narrow(ModuleFolder()) + "Temp/" + name + "/");
  EXPECT_EQ(ModeOf(folder.substr(0, folder.size() - 1)), 0700);
  unlink((TestTmp() + "/" + name).c_str());
  DeleteFolderTree(Wide(folder));
  // The program's "Temp" folder itself is left empty; remove it when it is.
  rmdir((Narrow(ModuleFolder()) + "Temp").c_str());
  ForgetTempFolder();
}

// A process id that was used and has ended.
std::uint32_t DeadProcessId() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return static_cast<std::uint32_t>(child);
}

TEST_F(TemporaryFolders, StaleFoldersOfEndedProcessesAreRemoved) {
  const std::string root = FreshFolder("stale");
  const pid_t live = fork();
  if (live == 0) {
    pause();
    _exit(0);
  }
  ASSERT_GT(live, 0);
  const std::uint32_t dead = DeadProcessId();
  const std::uint32_t deadToo = DeadProcessId();
  const std::string self = "Tarvo-0-" + std::to_string(getpid());
  const std::string alive = "Tarvo-0-" + std::to_string(live);
  const std::string stale = "Tarvo-3-" + std::to_string(dead);
  const std::string odd = "Tarvo-x-" + std::to_string(dead);
  const std::string plainFile = "Tarvo-1-" + std::to_string(dead);
  const std::string link = "Tarvo-2-" + std::to_string(deadToo);
  for (const std::string& name : {self, alive, stale, odd}) {
    mkdir((root + "/" + name).c_str(), 0700);
    WriteTextFile(root + "/" + name + "/scratch", "s");
  }
  chmod((root + "/" + stale + "/scratch").c_str(), 0400);
  WriteTextFile(root + "/" + plainFile, "f");
  const std::string outside = FreshFolder("stale-outside");
  WriteTextFile(outside + "/keep", "k");
  ASSERT_EQ(symlink(outside.c_str(), (root + "/" + link).c_str()), 0);

  EXPECT_EQ(RemoveStaleTempFoldersIn(Wide(root)), 1);
  EXPECT_FALSE(PathExists(root + "/" + stale));
  EXPECT_TRUE(IsFolder(root + "/" + self));
  EXPECT_TRUE(IsFolder(root + "/" + alive));
  EXPECT_TRUE(IsFolder(root + "/" + odd));
  EXPECT_TRUE(PathExists(root + "/" + plainFile));
  EXPECT_TRUE(PathExists(root + "/" + link));
  EXPECT_EQ(ReadTextFile(outside + "/keep"), "k");

  kill(live, SIGKILL);
  int status = 0;
  waitpid(live, &status, 0);
  // Now that process has ended too.
  EXPECT_EQ(RemoveStaleTempFoldersIn(Wide(root)), 1);
  EXPECT_FALSE(PathExists(root + "/" + alive));
  EXPECT_TRUE(IsFolder(root + "/" + self));
  EXPECT_EQ(RemoveStaleTempFoldersIn(Wide(root + "/missing")), 0);
}

TEST_F(TemporaryFolders, StartUpCleanupLooksBesideTheOwnFolder) {
  const std::uint32_t dead = DeadProcessId();
  const std::string stale = TestTmp() + "/Tarvo-0-" + std::to_string(dead);
  mkdir(stale.c_str(), 0700);
  const std::string own = Narrow(TempFolder());
  // The instance check is left out: other copies of this test program come
  // and go while the suite runs in parallel.
  EXPECT_GE(RemoveStaleTempFoldersBesideOwn(), 1);
  EXPECT_FALSE(PathExists(stale));
  EXPECT_TRUE(IsFolder(own));
}

TEST(ProcessIds, RunningAndEnded) {
  EXPECT_TRUE(ProcessIsRunning(static_cast<std::uint32_t>(getpid())));
  EXPECT_TRUE(ProcessIsRunning(1));  // another user's process counts too
  EXPECT_FALSE(ProcessIsRunning(DeadProcessId()));
  EXPECT_FALSE(ProcessIsRunning(0));
  EXPECT_FALSE(ProcessIsRunning(0xFFFFFFFFu));
}

}  // namespace
