#include "tests/framework/startup_test_util.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

ScratchFolder::ScratchFolder(const char* base) {
  if (!base) base = getenv("TMPDIR");
  std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/framework-startup-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  mPath = std::string(buffer.data()) + "/";
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(mPath, ignored);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void WriteWholeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> LogLines(const std::string& contents) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < contents.size()) {
    const std::size_t end = contents.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(contents.substr(start));
      break;
    }
    lines.push_back(contents.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& env) {
  // The name of a "NAME=value" entry, with its "=".
  const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
  std::vector<std::string> result;
  for (char** e = environ; *e; ++e) {
    const std::string name = nameOf(*e);
    bool replaced = false;
    for (const std::string& given : env) replaced = replaced || nameOf(given) == name;
    if (!replaced) result.emplace_back(*e);
  }
  result.insert(result.end(), env.begin(), env.end());
  return result;
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& env, int watchdogSeconds) {
  ChildResult result;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return result;
  std::vector<std::string> argStrings;
  argStrings.push_back(program);
  argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings = ChildEnvironment(env);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(pipeFds[1]);
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  char buffer[4096];
  bool open = true;
  int status = 0;
  bool reaped = false;
  while (true) {
    if (open) {
      pollfd p{pipeFds[0], POLLIN, 0};
      if (poll(&p, 1, 200) > 0) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
          result.output.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          open = false;
        }
      }
    } else {
      usleep(20000);
    }
    if (!reaped && waitpid(pid, &status, WNOHANG) == pid) reaped = true;
    if (reaped && !open) break;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (!reaped && now.tv_sec - start.tv_sec > watchdogSeconds) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      reaped = true;
      result.timedOut = true;
    }
    if (reaped && result.timedOut) break;
  }
  close(pipeFds[0]);
  if (WIFEXITED(status)) {
    result.exited = !result.timedOut;
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

std::string ProbeProgram() {
  return std::string(DCP_BINARY_DIR) + "/tests/framework/framework_startup_probe";
}
