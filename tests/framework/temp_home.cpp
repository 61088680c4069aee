#include "tests/framework/temp_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/arrays.h"

namespace {

std::string gRoot;

// Removes a tree (test clean-up; independent of the code under test).
void RemoveAll(const std::string& path) {
  std::string command = "chmod -R u+rwx '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
  if (std::system(command.c_str()) != 0) {
    // Nothing more to do: the temporary folder stays behind.
  }
}

class TempHomeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/fw2test-XXXXXX";
    char* made = mkdtemp(pattern.data());
    ASSERT_NE(made, nullptr);
    gRoot = made;
    mkdir((gRoot + "/home").c_str(), 0700);
    mkdir((gRoot + "/tmp").c_str(), 0700);
    setenv("HOME", (gRoot + "/home").c_str(), 1);
    setenv("TMPDIR", (gRoot + "/tmp").c_str(), 1);
    unsetenv("XDG_DATA_HOME");
  }
  void TearDown() override {
    if (!gRoot.empty()) RemoveAll(gRoot);
  }
};

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new TempHomeEnvironment);

}  // namespace

const std::string& TestRoot() { return gRoot; }
std::string TestHome() { return gRoot + "/home"; }
std::string TestTmp() { return gRoot + "/tmp"; }

std::string FreshFolder(const std::string& name) {
  std::string path = gRoot + "/" + name;
  RemoveAll(path);
  mkdir(path.c_str(), 0755);
  return path;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int ModeOf(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

TString Wide(const std::string& text) { return TString::FromNarrow(text.c_str(), 3); }

std::string Narrow(const TString& text) {
  TByteArray bytes;
  text.ToNarrowArray(bytes, 3);
  return bytes.Size() > 0 ? std::string(bytes.Data(), static_cast<std::size_t>(bytes.Size())) : std::string();
}
