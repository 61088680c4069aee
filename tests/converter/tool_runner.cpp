#include "tests/converter/tool_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace convtest {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempFolder() {
  char tmpl[] = "/tmp/dcp2mov_test_XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d != nullptr ? std::string(d) : std::string("/tmp");
}

ScopedTempFolder::~ScopedTempFolder() {
  std::error_code ignored;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

namespace {

ToolRun RunToolWith(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                    int user, bool ownUserNamespace, int input, int limitSeconds) {
  ToolRun run;
  const std::string folder = TempFolder();
  const std::string outPath = folder + "/stdout";
  const std::string errPath = folder + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // Another user's run: util-linux's setpriv drops to it, and its unshare
  // makes the namespace; then each becomes the next program.
  std::vector<std::string> all;
  if (user >= 0) {
    const std::string id = std::to_string(user);
    all = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
  }
  if (ownUserNamespace) all.insert(all.end(), {"/usr/bin/unshare", "-r"});
  all.push_back(DCP2MOV_PATH);
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The test's variables but those of the names given, then the given.
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable) {
    const std::string entry = *variable;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool given = false;
    for (const std::string& g : environment) given = given || g.compare(0, name.size(), name) == 0;
    if (!given) variables.push_back(entry);
  }
  variables.insert(variables.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    if (limitSeconds > 0) {
      const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
      while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > limit) {
          kill(pid, SIGKILL);
          waitpid(pid, &status, 0);
          run.stopped = true;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    } else {
      waitpid(pid, &status, 0);
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  rmdir(folder.c_str());
  return run;
}

}  // namespace

ToolRun RunTool(const std::vector<std::string>& arguments) { return RunToolWithin(arguments, -1, 0); }

ToolRun RunTool(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                int user, bool ownUserNamespace) {
  return RunToolWith(arguments, environment, user, ownUserNamespace, -1, 0);
}

ToolRun RunToolWithin(const std::vector<std::string>& arguments, int input, int limitSeconds) {
  return RunToolWith(arguments, {}, -1, false, input, limitSeconds);
}

}  // namespace convtest
